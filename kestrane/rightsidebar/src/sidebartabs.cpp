#include "sidebartabs.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace kestrane::sidebar {

QList<QPushButton*> addTabStrip(QWidget* owner, QVBoxLayout* layout, const char* panelName,
                                std::initializer_list<Tab> tabs, int spacing) {
    auto* top = new QWidget(owner);
    top->setObjectName(QLatin1String(panelName));
    top->setFixedHeight(39);
    auto* h = new QHBoxLayout(top);
    h->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0) h->setSpacing(spacing);
    QList<QPushButton*> buttons;
    for (const Tab& t : tabs) {
        auto* b = new QPushButton(QString::fromUtf8(t.text), top);
        b->setObjectName(QLatin1String(t.name));
        b->setFixedSize(40, 39);
        b->setCheckable(true);
        h->addWidget(b);
        buttons.append(b);
    }
    if (!buttons.isEmpty()) buttons.first()->setChecked(true);
    auto* filler = new QWidget(top);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    h->addWidget(filler);
    layout->addWidget(top);
    return buttons;
}

}  // namespace kestrane::sidebar
