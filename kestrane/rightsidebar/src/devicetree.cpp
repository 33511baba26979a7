#include "kestrane/devicetree.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "kestrane/delegates.h"
#include "kestrane/devicelist.h"
#include "kestrane/gconfig.h"

namespace {

const QString kFolder = QStringLiteral("folder");
const QString kItem = QStringLiteral("item");

GConfig& cfg() { return GConfig::instance(); }

// Visits every item below `parent` (the whole tree when null), depth first in child order.
void walk(const QTreeWidget* tree, QTreeWidgetItem* parent, const std::function<bool(QTreeWidgetItem*)>& visit) {
    const int n = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        QTreeWidgetItem* child = parent ? parent->child(i) : tree->topLevelItem(i);
        if (!visit(child)) return;
        walk(tree, child, visit);
    }
}

bool isBelow(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        if (p == ancestor) return true;
    return false;
}

int indexIn(const QTreeWidget* tree, QTreeWidgetItem* item) {
    return item->parent() ? item->parent()->indexOfChild(item) : tree->indexOfTopLevelItem(item);
}

// Strict tree order: an ancestor before its descendants.
bool pathBefore(QTreeWidgetItem* a, QTreeWidgetItem* b) {
    QList<int> pa, pb;
    DeviceTree::itemPath(a, pa);
    DeviceTree::itemPath(b, pb);
    return std::lexicographical_compare(pa.begin(), pa.end(), pb.begin(), pb.end());
}

QPixmap darkened(const QPixmap& source) {
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), qAlpha(line[x]) * 90 / 255);
    }
    return QPixmap::fromImage(image);
}

}  // namespace

DeviceTree::DeviceTree(QWidget* parent) : QTreeWidget(parent) {
    qRegisterMetaType<QList<QTreeWidgetItem*>>("QList<QTreeWidgetItem*>");
    setObjectName(QStringLiteral("deviceTree"));
    setHeaderHidden(true);
    setItemDelegate(new NoFocusDelegate(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setColumnCount(1);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIndentation(17);
    setEditTriggers(QAbstractItemView::DoubleClicked);
    setAcceptDrops(true);

    m_dropIndicator = new QWidget(viewport());
    m_dropIndicator->setStyleSheet(QStringLiteral("border:1px solid #787878;"));
    m_dropIndicator->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dropIndicator->hide();

    connect(this, &QTreeWidget::itemChanged, this, &DeviceTree::slotItemChanged);
    connect(this, &QTreeWidget::itemCollapsed, this, &DeviceTree::expandStatusChanged);
    connect(this, &QTreeWidget::itemExpanded, this, &DeviceTree::expandStatusChanged);
}

DeviceTree::~DeviceTree() {
    // The records must not keep pointers to the items deleted with the tree.
    for (DeviceRecord& d : cfg().devices())
        if (d.treeItem && d.treeItem->treeWidget() == this) d.treeItem = nullptr;
    if (cfg().deviceTree == this) cfg().deviceTree = nullptr;
}

int DeviceTree::itemId(const QTreeWidgetItem* item) { return item ? item->data(0, IdRole).toInt() : 0; }
bool DeviceTree::isFolder(const QTreeWidgetItem* item) { return item && item->data(0, KindRole).toString() == kFolder; }
bool DeviceTree::isDevice(const QTreeWidgetItem* item) { return item && item->data(0, KindRole).toString() == kItem; }

// ---------------------------------------------------------------------------
// Inserting

void DeviceTree::place(QTreeWidgetItem* reference, QTreeWidgetItem** parent, int* index) const {
    if (!reference) {
        *parent = nullptr;
        *index = 0;
    } else if (isFolder(reference) && reference->isExpanded()) {
        *parent = reference;
        *index = 0;
    } else {
        *parent = reference->parent();
        *index = indexIn(this, reference);
    }
}

void DeviceTree::insertAt(QTreeWidgetItem* parent, int index, QTreeWidgetItem* item) {
    if (parent)
        parent->insertChild(index, item);
    else
        insertTopLevelItem(index, item);
}

QTreeWidgetItem* DeviceTree::insertDeviceItem(int id, QTreeWidgetItem* reference, bool loading, int folderId) {
    DeviceRecord* record = cfg().device(id);
    if (!record) return nullptr;
    // Built whole before it enters the tree: every later setData is a change
    // the tree answers.
    auto* item = new QTreeWidgetItem;
    item->setText(0, record->name);
    item->setData(0, IdRole, id);
    item->setData(0, KindRole, kItem);
    item->setSizeHint(0, QSize(100, rowHeight));
    item->setFlags(item->flags() | Qt::ItemIsEditable);

    QTreeWidgetItem* parent = nullptr;
    int index = 0;
    if (loading)
        parent = folderId != 0 ? findFolderItem(folderId) : nullptr;
    else
        place(reference, &parent, &index);
    insertAt(parent, index, item);
    if (parent) parent->setExpanded(true);
    record->treeItem = item;
    if (!loading) {
        record->folderId = parent ? itemId(parent) : 0;
        cfg().setSaved(false);
        const QPersistentModelIndex where = indexFromItem(item);
        QTimer::singleShot(0, this, [this, where] {
            if (where.isValid()) setCurrentIndex(where);
        });
    }
    return item;
}

QTreeWidgetItem* DeviceTree::insertFolderItem(QTreeWidgetItem* reference, const QString& name, int folderId,
                                              bool loading) {
    int id = folderId;
    if (id == -1) {
        // The largest id + 1: a removed last folder's id is never handed out
        // while records of its sub-folders could still name it.
        QList<int> ids;
        for (const DeviceFolderRecord& f : std::as_const(cfg().deviceFolders)) ids.append(f.id);
        id = kestrane::nextFreeId(ids);
    }
    const QString text = name.isEmpty() ? nextFolderName() : name;

    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, IdRole, id);
    item->setData(0, KindRole, kFolder);
    item->setIcon(0, QIcon(QStringLiteral(":/images/folder.png")));
    item->setSizeHint(0, QSize(100, rowHeight));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    // The placeholder makes an empty folder expandable and stays its last child.
    auto* placeholder = new QTreeWidgetItem;
    placeholder->setSizeHint(0, QSize(2, 0));
    placeholder->setDisabled(true);
    placeholder->setFlags(Qt::NoItemFlags);
    item->addChild(placeholder);

    QTreeWidgetItem* parent = nullptr;
    int index = 0;
    if (loading)
        parent = reference;
    else
        place(reference, &parent, &index);
    insertAt(parent, index, item);
    if (folderId == -1) {
        DeviceFolderRecord record;
        record.name = text;
        record.id = id;
        record.parentId = parent ? itemId(parent) : 0;
        cfg().deviceFolders.append(record);
    }
    if (!loading && parent) parent->setExpanded(true);
    return item;
}

// ---------------------------------------------------------------------------
// Project file

void DeviceTree::collectTreeOrder(QMap<int, int>& folderPositions, QMap<int, int>& devicePositions) const {
    walk(this, nullptr, [&](QTreeWidgetItem* item) {
        const int id = itemId(item);
        if (id != 0) (isFolder(item) ? folderPositions : devicePositions).insert(id, indexIn(this, item));
        return true;
    });
}

void DeviceTree::loadTree(QList<DeviceFolderRecord>& pending, const QMap<int, int>& folderPositions,
                          QTreeWidgetItem* parent, int parentId) {
    QList<DeviceFolderRecord> level;
    for (const DeviceFolderRecord& f : std::as_const(pending))
        if (f.parentId == parentId) level.append(f);
    // Each goes in at index 0, so the largest position first.
    std::stable_sort(level.begin(), level.end(), [&](const DeviceFolderRecord& a, const DeviceFolderRecord& b) {
        return folderPositions.value(a.id, 0) > folderPositions.value(b.id, 0);
    });
    QList<QPair<QTreeWidgetItem*, int>> made;
    for (const DeviceFolderRecord& f : std::as_const(level)) {
        // A record that an earlier level used already (a cycle of parents) is not shown twice.
        bool stillPending = false;
        for (const DeviceFolderRecord& p : std::as_const(pending))
            if (p.id == f.id && p.name == f.name && p.parentId == f.parentId) stillPending = true;
        if (!stillPending) continue;
        QTreeWidgetItem* item = insertFolderItem(parent, f.name, f.id, true);
        item->setData(0, ExpandedRole, f.isExpanded);
        item->setData(0, SavedExpandedRole, f.isExpanded);
        pending.erase(std::remove_if(pending.begin(), pending.end(),
                                     [&](const DeviceFolderRecord& p) {
                                         return p.id == f.id && p.name == f.name && p.parentId == f.parentId;
                                     }),
                      pending.end());
        made.append({item, f.id});
    }
    for (const auto& [item, id] : std::as_const(made)) loadTree(pending, folderPositions, item, id);
}

void DeviceTree::restoreExpandState(QTreeWidgetItem* parent) {
    // Every folder, also inside a collapsed one: a folder that received a
    // device while loading was opened, and must close again when it was saved closed.
    const int n = parent ? parent->childCount() : topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        QTreeWidgetItem* child = parent ? parent->child(i) : topLevelItem(i);
        if (!child->data(0, ExpandedRole).isValid()) continue;
        const QVariant saved = child->data(0, SavedExpandedRole);
        if (saved.isValid()) child->setExpanded(saved.toBool());
        restoreExpandState(child);
    }
}

// ---------------------------------------------------------------------------
// Lookup and removal

QTreeWidgetItem* DeviceTree::findItemById(int id, QTreeWidgetItem* parent) const {
    QTreeWidgetItem* found = nullptr;
    walk(this, parent, [&](QTreeWidgetItem* item) {
        if (isDevice(item) && itemId(item) == id) found = item;
        return !found;
    });
    return found;
}

QTreeWidgetItem* DeviceTree::findFolderItem(int id, QTreeWidgetItem* parent) const {
    QTreeWidgetItem* found = nullptr;
    walk(this, parent, [&](QTreeWidgetItem* item) {
        if (isFolder(item) && itemId(item) == id) found = item;
        return !found;
    });
    return found;
}

QList<QTreeWidgetItem*> DeviceTree::collectDeviceItems(QTreeWidgetItem* folder) const {
    QList<QTreeWidgetItem*> out;
    if (!folder || isDevice(folder)) return out;
    walk(this, folder, [&](QTreeWidgetItem* item) {
        if (isDevice(item)) out.append(item);
        return true;
    });
    return out;
}

bool DeviceTree::containsDevice(QTreeWidgetItem* item) const {
    if (isDevice(item)) return true;
    return !collectDeviceItems(item).isEmpty();
}

void DeviceTree::normaliseSelection(QList<QTreeWidgetItem*>& items) const {
    QList<QTreeWidgetItem*> nested;
    for (QTreeWidgetItem* item : std::as_const(items))
        if (item->parent() && items.contains(item->parent())) nested.append(item);
    for (QTreeWidgetItem* item : std::as_const(nested)) {
        if (isDevice(item)) {
            items.removeAll(item);
        } else {
            for (QTreeWidgetItem* device : collectDeviceItems(item)) items.removeAll(device);
        }
    }
}

void DeviceTree::dropNestedItems(QList<QTreeWidgetItem*>& items) {
    QList<QTreeWidgetItem*> kept;
    for (QTreeWidgetItem* item : std::as_const(items)) {
        if (kept.contains(item)) continue;
        bool nested = false;
        for (QTreeWidgetItem* other : std::as_const(items))
            if (other != item && isBelow(item, other)) nested = true;
        if (!nested) kept.append(item);
    }
    items = kept;
}

void DeviceTree::itemPath(QTreeWidgetItem* item, QList<int>& path) {
    path.clear();
    for (QTreeWidgetItem* i = item; i; i = i->parent())
        path.prepend(i->parent() ? i->parent()->indexOfChild(i) : i->treeWidget()->indexOfTopLevelItem(i));
}

void DeviceTree::removeItemById(int id) {
    QTreeWidgetItem* item = findItemById(id);
    if (!item) return;
    if (DeviceRecord* record = cfg().device(id)) record->treeItem = nullptr;
    delete item;  // takes itself out of its parent or the top level
}

void DeviceTree::removeFolderItem(QTreeWidgetItem* folder) {
    if (!isFolder(folder)) return;
    QList<int> folderIds{itemId(folder)};
    walk(this, folder, [&](QTreeWidgetItem* item) {
        if (isFolder(item)) folderIds.append(itemId(item));
        if (isDevice(item))
            if (DeviceRecord* record = cfg().device(itemId(item)))
                if (record->treeItem == item) record->treeItem = nullptr;
        return true;
    });
    delete folder;
    // Sub-folder records go with their folder, or they would come back under
    // a folder that reuses the id.
    QList<DeviceFolderRecord>& records = cfg().deviceFolders;
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [&](const DeviceFolderRecord& f) { return folderIds.contains(f.id); }),
                  records.end());
}

void DeviceTree::selectItemById(int id) {
    QTreeWidgetItem* item = id != 0 ? findItemById(id) : nullptr;
    setCurrentItem(item);
    if (!item) clearSelection();
}

void DeviceTree::updateDeviceNames() {
    walk(this, nullptr, [&](QTreeWidgetItem* item) {
        if (!isDevice(item)) return true;
        if (DeviceRecord* record = cfg().device(itemId(item)))
            if (item->text(0) != record->name) item->setText(0, record->name);
        return true;
    });
}

QString DeviceTree::uniqueName(const QString& name, int id, int kind) const {
    auto taken = [&](const QString& candidate) {
        if (kind == 0) {
            for (const DeviceFolderRecord& f : std::as_const(cfg().deviceFolders))
                if (f.id != id && f.name == candidate) return true;
            return false;
        }
        const QMap<int, DeviceRecord>& devices = cfg().devices();
        for (auto d = devices.constBegin(); d != devices.constEnd(); ++d)
            if (d.key() != id && d->name == candidate) return true;
        return false;
    };
    // Only a number closing the name is a counter: "(1)" inside a name such
    // as "Proj (1) left" is part of it and must not be cut.
    static const QRegularExpression number(QStringLiteral("\\(([0-9]+)\\)$"));
    QString result = name;
    // Each step renames; the number of records bounds the steps needed.
    for (int guard = 0; guard < 100000 && taken(result); ++guard) {
        const QRegularExpressionMatch m = number.match(result);
        if (m.hasMatch()) {
            const QString digits = m.captured(1);
            const QString next = QString::number(digits.toULongLong() + 1);
            result = result.left(result.size() - (digits.size() + 1)) + next + QLatin1Char(')');
        } else {
            result += QStringLiteral("(2)");
        }
    }
    return result;
}

QString DeviceTree::nextFolderName() const {
    static const QRegularExpression pattern(QStringLiteral("分组([1-9][0-9]*)"));
    qulonglong n = 0;
    for (const DeviceFolderRecord& f : std::as_const(cfg().deviceFolders)) {
        auto it = pattern.globalMatch(f.name);
        while (it.hasNext()) n = std::max(n, it.next().captured(1).toULongLong());
    }
    return QStringLiteral("分组%1").arg(n + 1);
}

void DeviceTree::clearTree() {
    for (DeviceRecord& d : cfg().devices()) d.treeItem = nullptr;
    m_anchor = QPersistentModelIndex();
    clear();
}

QList<QTreeWidgetItem*> DeviceTree::selectedInTreeOrder() const {
    QList<QTreeWidgetItem*> items = selectedItems();
    std::sort(items.begin(), items.end(), pathBefore);
    return items;
}

// ---------------------------------------------------------------------------
// Slots

void DeviceTree::slotItemChanged(QTreeWidgetItem* item, int column) {
    const int id = itemId(item);
    if (id == 0) return;
    const bool device = isDevice(item);
    const QString unique = uniqueName(item->text(column).trimmed(), id, device ? 1 : 0);
    QString* stored = nullptr;
    if (device) {
        if (DeviceRecord* record = cfg().device(id)) stored = &record->name;
    } else {
        for (DeviceFolderRecord& f : cfg().deviceFolders)
            if (f.id == id) stored = &f.name;
    }
    if (!stored) return;
    if (unique.isEmpty()) {
        // A name of blanks is refused: the old one comes back.
        if (item->text(column) != *stored) item->setText(column, *stored);
        return;
    }
    if (item->text(column) != unique) {
        item->setText(column, unique);  // comes back here and stores it
        return;
    }
    const bool renamed = *stored != unique;
    *stored = unique;
    cfg().setSaved(false);
    // The property panel must not write its old text back on its next edit.
    if (device && renamed) cfg().showDeviceLater(id, false);
}

void DeviceTree::expandStatusChanged(QTreeWidgetItem* item) {
    const int id = itemId(item);
    if (id == 0) return;
    const bool expanded = item->treeWidget() ? item->isExpanded() : false;
    for (DeviceFolderRecord& f : cfg().deviceFolders)
        if (f.id == id) f.isExpanded = expanded;
    item->setData(0, ExpandedRole, expanded);
}

// ---------------------------------------------------------------------------
// Mouse and keys

void DeviceTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressPos = event->pos();
        m_leftPressed = true;
    } else if (event->button() == Qt::RightButton) {
        QTreeWidgetItem* item = itemAt(event->pos());
        if (item && !item->isSelected()) setCurrentItem(item);
    }
}

void DeviceTree::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !m_leftPressed) return;
    if ((event->pos() - m_pressPos).manhattanLength() < QApplication::startDragDistance()) return;
    m_leftPressed = false;
    startDeviceDrag(m_pressPos);
}

void DeviceTree::mouseReleaseEvent(QMouseEvent* event) {
    m_leftPressed = false;
    QTreeWidgetItem* item = itemAt(event->pos());
    if (!item) {
        setCurrentItem(nullptr);
        clearSelection();
        m_anchor = QPersistentModelIndex();
        QTreeWidget::mousePressEvent(event);
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    if (event->button() == Qt::RightButton) {
        QMenu menu(this);
        QAction* remove = menu.addAction(QStringLiteral("删除"));
        if (menu.exec(event->globalPos()) == remove && cfg().deviceList) cfg().deviceList->delFolderOrDevice();
        return;
    }
    const bool editing = state() == QAbstractItemView::EditingState;
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (isDevice(item) && !editing && mods == Qt::NoModifier) cfg().selectStageDevice(itemId(item));
    if (mods == Qt::ControlModifier) {
        m_anchor = indexFromItem(item);
        item->setSelected(true);
        return;
    }
    if (mods == Qt::ShiftModifier) {
        item->setSelected(true);
        QTreeWidgetItem* anchor = m_anchor.isValid() ? itemFromIndex(m_anchor) : nullptr;
        if (!anchor || anchor == item) return;
        QTreeWidgetItem* later = pathBefore(anchor, item) ? item : anchor;
        QTreeWidgetItem* earlier = later == item ? anchor : item;
        for (QTreeWidgetItem* row = itemAbove(later); row && row != earlier; row = itemAbove(row))
            if (!row->isDisabled()) row->setSelected(true);
        return;
    }
    m_anchor = indexFromItem(item);
    if (!editing) {
        setCurrentItem(nullptr);
        clearSelection();
        item->setSelected(true);
    }
    QTreeWidget::mousePressEvent(event);
    QTreeWidget::mouseReleaseEvent(event);
}

void DeviceTree::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat())
        m_deletePressed = state() != QAbstractItemView::EditingState;
    QTreeWidget::keyPressEvent(event);
}

void DeviceTree::keyReleaseEvent(QKeyEvent* event) {
    // The rename editor takes the press of Delete but leaves its release to
    // travel up to the tree: that release must not delete the device.
    const bool ours = event->key() == Qt::Key_Delete && !event->isAutoRepeat() && m_deletePressed;
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat())
        m_deletePressed = false;
    if (ours && event->modifiers() == Qt::NoModifier && state() != QAbstractItemView::EditingState &&
        !cfg().isConnected() && cfg().deviceList)
        cfg().deviceList->delFolderOrDevice();
    QTreeWidget::keyReleaseEvent(event);
}

void DeviceTree::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool selected = selectionModel() && selectionModel()->isSelected(index);
    painter->fillRect(rect, QColor(selected ? "#4b5367" : "#343434"));
    painter->restore();
    QTreeWidget::drawBranches(painter, rect, index);
}

// ---------------------------------------------------------------------------
// Drag and drop

void DeviceTree::startDeviceDrag(const QPoint& pressPos) {
    QTreeWidgetItem* item = itemAt(pressPos);
    if (!item || item->isDisabled()) return;
    if (!item->isSelected()) {
        setCurrentItem(nullptr);
        clearSelection();
        item->setSelected(true);
    }
    const QList<QTreeWidgetItem*> selected = selectedItems();
    auto* mime = new QMimeData;
    mime->setProperty("dragType", QStringLiteral("device"));
    mime->setProperty("data", QVariant::fromValue(selected));

    const int w = std::max(1, width() - scrollBarAllowance);
    int minTop = INT_MAX, maxTop = INT_MIN, bottomHeight = 0;
    for (QTreeWidgetItem* s : selected) {
        const QRect r = visualItemRect(s);
        minTop = std::min(minTop, r.top());
        if (r.top() > maxTop) {
            maxTop = r.top();
            bottomHeight = r.height();
        }
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    if (minTop != INT_MAX) {
        QPixmap picture(w, std::max(1, maxTop + bottomHeight - minTop));
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        for (QTreeWidgetItem* s : selected) {
            const QRect r = visualItemRect(s);
            painter.drawPixmap(0, r.top() - minTop, viewport()->grab(QRect(0, r.top(), w, r.height())));
        }
        painter.end();
        drag->setPixmap(darkened(picture));
        const QRect pressed = visualItemRect(item);
        drag->setHotSpot(QPoint(pressPos.x(), pressed.top() + pressed.height() / 2 - minTop));
    }
    drag->exec(Qt::MoveAction);
    m_dropIndicator->hide();
}

QList<QTreeWidgetItem*> DeviceTree::draggedItems(const QMimeData* mime) const {
    if (!mime || mime->property("dragType").toString() != QLatin1String("device")) return {};
    return mime->property("data").value<QList<QTreeWidgetItem*>>();
}

int DeviceTree::dropPlace(const QPoint& pos, const QList<QTreeWidgetItem*>& dragged, QTreeWidgetItem** target,
                          QRect* line) const {
    QTreeWidgetItem* item = itemAt(pos);
    if (!item || item->isDisabled() || dragged.contains(item)) return 0;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        if (dragged.contains(p)) return 0;
    const QRect r = visualItemRect(item);
    const int top = r.top();
    const int bottom = r.bottom();
    const int h = bottom - top + 1;
    const int right = width() - verticalScrollBar()->width() - 1;
    int mode;
    if (isFolder(item)) {
        mode = pos.y() < top + h / 3 ? DropBefore : pos.y() < top + (2 * h) / 3 ? DropInto : DropAfter;
    } else {
        mode = pos.y() < top + h / 2 ? DropBefore : DropAfter;
    }
    if (target) *target = item;
    if (line) {
        if (mode == DropInto)
            *line = QRect(QPoint(0, top), QPoint(right, bottom));
        else
            *line = QRect(0, mode == DropBefore ? top : bottom + 1, right + 1, 1);
    }
    return mode;
}

void DeviceTree::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() && event->mimeData()->property("dragType").toString() == QLatin1String("device"))
        event->acceptProposedAction();
}

void DeviceTree::dragMoveEvent(QDragMoveEvent* event) {
    cfg().pausePlayback();
    QRect line;
    if (dropPlace(event->pos(), draggedItems(event->mimeData()), nullptr, &line) == 0) {
        m_dropIndicator->hide();
        return;
    }
    m_dropIndicator->setGeometry(line);
    m_dropIndicator->show();
    m_dropIndicator->raise();
}

void DeviceTree::dragLeaveEvent(QDragLeaveEvent* /*event*/) { m_dropIndicator->hide(); }

void DeviceTree::dropEvent(QDropEvent* event) {
    m_dropIndicator->hide();
    const QList<QTreeWidgetItem*> dragged = draggedItems(event->mimeData());
    if (dragged.isEmpty()) return;
    // The items must still be this tree's: the record holds raw pointers.
    for (QTreeWidgetItem* item : dragged)
        if (!item || indexFromItem(item).model() != model()) return;
    QTreeWidgetItem* target = nullptr;
    const int mode = dropPlace(event->pos(), dragged, &target, nullptr);
    if (mode == 0) return;
    moveItems(target, dragged, mode);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

bool DeviceTree::itemPathLess(QTreeWidgetItem* a, QTreeWidgetItem* b) {
    QList<int> pa, pb;
    itemPath(a, pa);
    itemPath(b, pb);
    const int n = std::min(pa.size(), pb.size());
    for (int i = 0; i < n; ++i)
        if (pa[i] != pb[i]) return pa[i] < pb[i];
    return true;
}

void DeviceTree::setParentId(int id, int parentId, bool folder) {
    if (folder) {
        for (DeviceFolderRecord& f : cfg().deviceFolders)
            if (f.id == id) f.parentId = parentId;
    } else if (DeviceRecord* record = cfg().device(id)) {
        record->folderId = parentId;
    }
}

void DeviceTree::restoreSubtreeExpansion(QTreeWidgetItem* item) {
    const QVariant flag = item->data(0, ExpandedRole);
    if (flag.isValid()) item->setExpanded(flag.toBool());
    for (int i = 0; i < item->childCount(); ++i) restoreSubtreeExpansion(item->child(i));
}

void DeviceTree::moveItems(QTreeWidgetItem* target, const QList<QTreeWidgetItem*>& dragged, int mode) {
    setCurrentItem(nullptr);
    clearSelection();
    QList<QTreeWidgetItem*> items = dragged;
    if (!target || items.contains(target)) return;
    for (QTreeWidgetItem* p = target->parent(); p; p = p->parent())
        if (items.contains(p)) return;  // never into its own descendant
    normaliseSelection(items);
    std::stable_sort(items.begin(), items.end(), pathBefore);
    if (items.isEmpty()) return;

    if (mode == DropAfter) {
        QTreeWidgetItem* below = itemBelow(target);
        if (below && !below->isDisabled() && !items.contains(below)) {
            target = below;
            mode = DropBefore;
        }
    }
    QTreeWidgetItem* parent = target->parent();
    const int parentId = itemId(parent);
    const int targetId = itemId(target);

    for (int k = 0; k < items.size(); ++k) {
        QTreeWidgetItem* item = items[k];
        const int id = itemId(item);
        if (id == 0) continue;
        if (item->parent())
            item->parent()->removeChild(item);
        else
            takeTopLevelItem(indexOfTopLevelItem(item));
        int newParent = parentId;
        const int at = indexIn(this, target);
        if (mode == DropBefore) {
            insertAt(parent, at, item);
        } else if (mode == DropAfter) {
            int index = at + 1 + k;
            // Inside a folder never past its placeholder; a place beyond the
            // end would make the insertion fail and lose the item.
            index = parent ? std::min(index, parent->childCount() - 1) : std::min(index, topLevelItemCount());
            insertAt(parent, std::max(0, index), item);
        } else {
            if (target->childCount() == 0)
                target->addChild(item);
            else
                target->insertChild(std::min(k, target->childCount() - 1), item);
            target->setExpanded(true);
            newParent = targetId;
        }
        setParentId(id, newParent, isFolder(item));
        restoreSubtreeExpansion(item);
        item->setSelected(true);
    }
    cfg().setSaved(false);
}
