// The media library's table: one row per media item or media folder, in
// the order of the project's media library list. Folders group media one
// level deep and can be collapsed and renamed in place. Rows are dragged to
// the stage, the time axis and within the table; files dropped from the
// desktop are handed to the media library for import.
#pragma once

#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <memory>

#include "kestrane/common.h"

class QMimeData;

// Keeps the selection from covering the thumbnail column and draws the
// other selected cells in the panel's text colour.
class DelegateForTransparentItem : public QStyledItemDelegate {
public:
    explicit DelegateForTransparentItem(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class MediaTable : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kMediaRowHeight = 40;
    static constexpr int kFolderRowHeight = 22;
    static constexpr int kScrollBarWidth = 17;
    static constexpr int kRecordRole = Qt::UserRole + 1;     // MediaSource of a media row (column 2)
    static constexpr int kFolderKeyRole = Qt::UserRole + 2;  // folder key of a member row (column 2)
    static constexpr int kRemovalRole = Qt::UserRole + 3;    // 1: the row goes once its copy is in
    static constexpr int kFolderKind = 99;

    explicit MediaTable(QWidget* parent = nullptr);
    ~MediaTable() override;

    void initTable();
    void setSuffixes(const QStringList& pictureSuffixes, const QStringList& mediaSuffixes);
    QStringList mediaSuffixes() const { return m_mediaSuffixes; }

    // Row -1: the top selected row, else 0. Returns the folder's row.
    int insertFolderRow(const MediaSource& folder, int row);
    // A media inserted before a folder member (folderKey 0) joins that folder.
    void insertMediaRow(const MediaSource& media, int row, qint64 folderKey);
    void hideFolderRows(qint64 folderKey);
    // `name`, or a numbered variant no other library entry than exceptIndex carries.
    QString uniqueFolderName(QString name, int exceptIndex) const;
    // Rewrites the project's media library list from the rows.
    void updateMediaOrder();

    // The row's record: a media row's from its column-2 item, a folder row's
    // from its row widget; a default record for anything else.
    MediaSource rowRecord(int row) const;
    bool isFolderRow(int row) const;
    // Rows of all selected ranges, each once, ascending.
    QList<int> selectedRowList() const;

    // Drag and drop, in content coordinates (viewport y + scroll offset).
    int rowAtY(const QPoint& point) const;
    int dropTarget(const QPoint& point, bool* inFolder) const;
    // Moves the rows (and the members of moved folders) before `target`, or
    // into the folder at `target`; false when the move is refused.
    bool dropRows(int target, QList<int> rows, bool inFolder);
    // Builds and runs the drag of the current row; returns when it ended.
    void startMediaDrag(const QPoint& pressPoint);
    // Importable files of a desktop drop (folders walked), or none.
    QStringList droppedFiles(const QMimeData* data) const;
    QWidget* dropIndicator() const { return m_dropIndicator; }

    // While the library imports or deletes, drops, drags and keys are refused.
    void setBusy(bool busy) { m_busy = busy; }
    bool isBusy() const { return m_busy; }

public slots:
    void hideFolder(bool on);

signals:
    void addOutFiles(QStringList files, int row, bool inFolder);

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

private:
    int defaultRow(int row) const;
    int scrollOffset() const;
    void startRename(QWidget* rowWidget);
    void finishRename(QWidget* rowWidget);
    // The checks shared by a drag move and a drop: the rows a move would
    // take, and the folder it goes to; false when refused.
    bool planMove(int target, bool inFolder, const QList<int>& selected, QList<int>* moving,
                  qint64* targetFolder, bool* hideIndicator) const;
    qint64 folderKeyOfRow(int row) const;

    QPoint m_pressPoint;
    QWidget* m_dropIndicator = nullptr;
    QStringList m_pictureSuffixes;
    QStringList m_mediaSuffixes;
    bool m_busy = false;
    // Delete went down on the table itself, not in a folder's name editor:
    // only then does its release delete.
    bool m_deletePressed = false;
};

namespace kestrane {

// The drag of a media row or folder row: its record (a QMimeData with the
// properties "mediaType", "mediaItem", "sourceType", "mediaSource",
// "selectedNum" and the text), its picture and hot spot.
struct MediaDrag {
    std::unique_ptr<QMimeData> mime;  // null: no drag starts
    QPixmap picture;
    QPoint hotSpot;
};
MediaDrag makeMediaDrag(const MediaTable* table, const QPoint& pressPoint);

}  // namespace kestrane
