#include "kestrane/stageitems.h"

#include <QCursor>
#include <QGraphicsItem>
#include <QPixmap>
#include <QGraphicsScene>
#include <QMenu>

#include "kestrane/gconfig.h"
#include "kestrane/stagemenu.h"

namespace stage {

double zoom() { return GConfig::instance().stageZoom(); }

int itemType(const QGraphicsItem* item) {
    const QVariant v = item ? item->data(kTypeKey) : QVariant();
    return v.isValid() ? v.toInt() : -1;
}

int itemId(const QGraphicsItem* item) { return item ? item->data(kIdKey).toInt() : 0; }

QGraphicsItem* findItem(QGraphicsScene* scene, int id, int type) {
    if (!scene) return nullptr;
    // Unsorted: a stacking-order sort per lookup made loading a large
    // project quadratic in its items, and an id names one item anyway.
    for (QGraphicsItem* item : scene->items(Qt::SortOrder(-1)))
        if (itemType(item) == type && itemId(item) == id) return item;
    return nullptr;
}

QCursor handCursor() {
    QPixmap hand(QStringLiteral(":/images/cursor-openhand.png"));
    return hand.isNull() ? QCursor(Qt::OpenHandCursor) : QCursor(hand, hand.width() / 2, hand.height() / 2);
}

namespace {
MenuRunner& runner() {
    static MenuRunner r;
    return r;
}
}  // namespace

MenuRunner setMenuRunner(MenuRunner r) {
    MenuRunner old = std::move(runner());
    runner() = std::move(r);
    return old;
}

QAction* runMenu(QMenu* menu, const QPoint& globalPos) {
    if (runner()) return runner()(menu, globalPos);
    return menu->exec(globalPos);
}

}  // namespace stage
