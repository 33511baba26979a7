// The title strip of the calibration dialogs: a 28-pixel grey strip that
// drags the dialog and toggles it maximised on a double click, with the
// title on the left and the close button on the right.
#pragma once

#include <QBoxLayout>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "kestrane/radiusbackgroundwidget.h"

namespace calibration {

struct TitleStrip {
    RadiusBackgroundWidget* panel = nullptr;
    QLabel* title = nullptr;
    QPushButton* close = nullptr;
};

inline TitleStrip addTitleStrip(QDialog* dialog, QBoxLayout* into, const QString& text) {
    TitleStrip s;
    s.panel = new RadiusBackgroundWidget(dialog);
    s.panel->setObjectName(QStringLiteral("topPanel"));
    s.panel->setFixedHeight(28);
    s.panel->brush = QBrush(QColor(QStringLiteral("#c9c9c9")));
    s.panel->radius = 0;
    s.panel->dragWindow = dialog;
    QObject::connect(s.panel, &RadiusBackgroundWidget::doubleCliked, dialog,
                     [dialog] { dialog->isMaximized() ? dialog->showNormal() : dialog->showMaximized(); });
    auto* row = new QHBoxLayout(s.panel);
    row->setContentsMargins(8, 0, 0, 0);
    s.title = new QLabel(text, s.panel);
    s.title->setObjectName(QStringLiteral("label_2"));
    s.title->setStyleSheet(QStringLiteral("color:#191919;"));
    s.close = new QPushButton(s.panel);
    s.close->setObjectName(QStringLiteral("close"));
    s.close->setFixedSize(28, 28);
    s.close->setStyleSheet(QStringLiteral("QPushButton{border-image:url(:/images/close2.png);}"
                                          "QPushButton:hover{border-image:url(:/images/close2_hover.png);}"));
    row->addWidget(s.title);
    row->addStretch();
    row->addWidget(s.close);
    into->addWidget(s.panel);
    return s;
}

}  // namespace calibration
