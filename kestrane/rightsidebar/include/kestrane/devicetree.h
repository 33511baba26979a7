// The tree of display devices and device folders in the device tab. It is a
// view over the project's device and folder records: the records live in
// GConfig, the tree keeps their order and each folder's expanded flag.
#pragma once

#include <QList>
#include <QMap>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QString>
#include <QTreeWidget>

#include "kestrane/common.h"

class DeviceTree : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int IdRole = Qt::UserRole + 1;             // device or folder id; 0 on a placeholder
    static constexpr int KindRole = Qt::UserRole + 2;           // "folder" or "item"
    static constexpr int ExpandedRole = Qt::UserRole + 3;       // folder: live expanded flag
    static constexpr int SavedExpandedRole = Qt::UserRole + 4;  // folder: flag as loaded
    static constexpr int rowHeight = 26;
    static constexpr int scrollBarAllowance = 17;
    enum DropMode { DropBefore = 1, DropAfter = 2, DropInto = 3 };

    explicit DeviceTree(QWidget* parent = nullptr);
    ~DeviceTree() override;

    // ---- Inserting. `reference` is where the operator is (the first selected
    // item in tree order, or none).
    QTreeWidgetItem* insertDeviceItem(int id, QTreeWidgetItem* reference, bool loading, int folderId);
    // folderId -1: a new folder with a new id and record; an empty name gets the next default name.
    QTreeWidgetItem* insertFolderItem(QTreeWidgetItem* reference, const QString& name, int folderId, bool loading);

    // ---- Project file
    void collectTreeOrder(QMap<int, int>& folderPositions, QMap<int, int>& devicePositions) const;
    void loadTree(QList<DeviceFolderRecord>& pending, const QMap<int, int>& folderPositions,
                  QTreeWidgetItem* parent, int parentId);
    void restoreExpandState(QTreeWidgetItem* parent = nullptr);

    // ---- Lookup and removal
    QTreeWidgetItem* findItemById(int id, QTreeWidgetItem* parent = nullptr) const;
    QTreeWidgetItem* findFolderItem(int id, QTreeWidgetItem* parent = nullptr) const;
    QList<QTreeWidgetItem*> collectDeviceItems(QTreeWidgetItem* folder) const;
    bool containsDevice(QTreeWidgetItem* item) const;
    // Drops listed devices that travel with a listed folder (a listed folder
    // inside another listed folder stays listed).
    void normaliseSelection(QList<QTreeWidgetItem*>& items) const;
    // Drops every listed item that lies anywhere below another listed item,
    // so that a deletion touches each item once.
    static void dropNestedItems(QList<QTreeWidgetItem*>& items);
    static void itemPath(QTreeWidgetItem* item, QList<int>& path);
    void removeItemById(int id);
    // The folder with everything below it, and the records of the folder and
    // of every folder below it.
    void removeFolderItem(QTreeWidgetItem* folder);
    void selectItemById(int id);
    void updateDeviceNames();
    // kind 0 folders, 1 devices; the record `id` itself is not compared.
    QString uniqueName(const QString& name, int id, int kind) const;
    QString nextFolderName() const;
    // Every item, and the anchor of Shift clicks.
    void clearTree();

    static int itemId(const QTreeWidgetItem* item);
    static bool isFolder(const QTreeWidgetItem* item);
    static bool isDevice(const QTreeWidgetItem* item);
    // The selected items in tree order.
    QList<QTreeWidgetItem*> selectedInTreeOrder() const;

    // ---- Drag and drop within the tree
    void startDeviceDrag(const QPoint& pressPos);
    void moveItems(QTreeWidgetItem* target, const QList<QTreeWidgetItem*>& dragged, int mode);
    static bool itemPathLess(QTreeWidgetItem* a, QTreeWidgetItem* b);
    void setParentId(int id, int parentId, bool isFolder);
    // Where a drop at `pos` (viewport coordinates) goes: the mode, or 0 when
    // nothing may be dropped there; `target` and `line` (indicator geometry)
    // are filled for a valid place.
    int dropPlace(const QPoint& pos, const QList<QTreeWidgetItem*>& dragged, QTreeWidgetItem** target,
                  QRect* line) const;
    QWidget* dropIndicator() const { return m_dropIndicator; }

public slots:
    void slotItemChanged(QTreeWidgetItem* item, int column);
    void expandStatusChanged(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

private:
    void place(QTreeWidgetItem* reference, QTreeWidgetItem** parent, int* index) const;
    void insertAt(QTreeWidgetItem* parent, int index, QTreeWidgetItem* item);
    void restoreSubtreeExpansion(QTreeWidgetItem* item);
    QList<QTreeWidgetItem*> draggedItems(const QMimeData* mime) const;

    QPoint m_pressPos;
    bool m_leftPressed = false;
    // Delete went down on the tree itself, not in its rename editor: only
    // then does its release delete.
    bool m_deletePressed = false;
    QWidget* m_dropIndicator = nullptr;
    // The item of the last plain or Ctrl click; a persistent index forgets a
    // deleted item by itself.
    QPersistentModelIndex m_anchor;
};

Q_DECLARE_METATYPE(QList<QTreeWidgetItem*>)
