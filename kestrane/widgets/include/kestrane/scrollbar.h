// The scroll bar class that the time axis and the side panels style by name.
#pragma once

#include <QScrollBar>

class ScrollBar : public QScrollBar {
    Q_OBJECT
public:
    using QScrollBar::QScrollBar;
};
