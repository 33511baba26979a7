#include "controllistparts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "kestrane/delegates.h"

namespace kestrane::controllist {

Parts build(QWidget* list, QTableWidget* table, const QStringList& entries) {
    auto* layout = new QVBoxLayout(list);
    layout->setContentsMargins(0, 0, 0, 1);
    layout->setSpacing(0);

    auto* top = new QWidget(list);
    top->setObjectName(QStringLiteral("medialistTopPanel"));
    top->setFixedHeight(31);
    auto* th = new QHBoxLayout(top);
    th->setContentsMargins(0, 3, 0, 5);
    th->setSpacing(0);
    const struct {
        const char* name;
        const char* text;
        int width;  // 0: expanding
    } captions[] = {{"medialistTopbt1", "名称", 80}, {"medialistTopbt2", "描述", 0}, {"medialistTopbt3", "值", 65}};
    for (const auto& c : captions) {
        auto* label = new QLabel(QString::fromUtf8(c.text), top);
        label->setObjectName(QLatin1String(c.name));
        if (c.width)
            label->setFixedWidth(c.width);
        else
            label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        th->addWidget(label);
    }
    layout->addWidget(top);

    table->setObjectName(QStringLiteral("inputControlTable"));
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->setColumnCount(3);
    table->setRowCount(0);
    table->setColumnWidth(0, 80);
    table->setColumnWidth(2, 49);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table->setShowGrid(false);
    table->setItemDelegate(new NoFocusDelegate(table));
    layout->addWidget(table);

    auto* bottom = new QWidget(list);
    bottom->setObjectName(QStringLiteral("medialistBottompanel"));
    bottom->setFixedHeight(16);
    auto* bh = new QHBoxLayout(bottom);
    bh->setContentsMargins(0, 0, 0, 0);
    bh->setSpacing(0);
    Parts parts;
    parts.combo = new QComboBox(bottom);
    parts.combo->setObjectName(QStringLiteral("medialistCombobox"));
    parts.combo->setMaxVisibleItems(12);
    parts.combo->setFixedSize(103, 16);
    parts.combo->view()->setItemDelegate(new DelegateForMediaListComBox(parts.combo));
    parts.combo->view()->setStyleSheet(QStringLiteral(
        "QListView {background:#313131;color:#aeaeae;border:0px;padding:2px;}"
        "QListView::item {background:#313131;border:0px;outline:0px;padding-top:1px;padding-bottom:1px;}"
        "QListView::item:selected {background:#141414;border:0px;outline:0px;color:#aeaeae;}"));
    parts.combo->addItems(entries);
    // The first entry is the caption: shown, never offered.
    if (auto* view = qobject_cast<QListView*>(parts.combo->view())) view->setRowHidden(0, true);
    bh->addWidget(parts.combo);
    auto* spacer = new QWidget(bottom);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bh->addWidget(spacer);
    parts.deleteButton = new QPushButton(bottom);
    parts.deleteButton->setObjectName(QStringLiteral("medialistDelbt"));
    parts.deleteButton->setFixedSize(15, 16);
    bh->addWidget(parts.deleteButton);
    layout->addWidget(bottom);
    return parts;
}

}  // namespace kestrane::controllist
