// The strip of page buttons at the top of the right sidebar's pages.
#pragma once

#include <QList>

#include <initializer_list>

class QPushButton;
class QVBoxLayout;
class QWidget;

namespace kestrane::sidebar {

struct Tab {
    const char* name;  // object name, for the style sheet
    const char* text;
};

// Adds a 39-pixel strip named `panelName` to `layout`: one checkable 40 x 39
// button per tab, the first checked, then a filler. `spacing` < 0 keeps the
// style's spacing between the buttons.
QList<QPushButton*> addTabStrip(QWidget* owner, QVBoxLayout* layout, const char* panelName,
                                std::initializer_list<Tab> tabs, int spacing = -1);

}  // namespace kestrane::sidebar
