#include "kestrane/mediatable.h"

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "kestrane/clicklabel.h"
#include "kestrane/gconfig.h"
#include "kestrane/medialist.h"
#include "kestrane/utils.h"

Q_DECLARE_METATYPE(QPushButton*)

namespace {

const char* const kPlayLengthFormat = "%1:%2";

// "m:ss" with the seconds' fraction as it stands: 65,000 -> 1:05, 5,500 -> 0:05.5.
QString playLengthText(int ms) {
    const int minutes = ms / 60000;
    const double seconds = (ms - minutes * 60000) / 1000.0;
    QString s = QString::number(seconds, 'g', 6);
    if (seconds < 10) s.prepend(QLatin1Char('0'));
    return QString::fromLatin1(kPlayLengthFormat).arg(minutes).arg(s);
}

}  // namespace

// ---------------------------------------------------------------------------
// Delegate

DelegateForTransparentItem::DelegateForTransparentItem(QObject* parent) : QStyledItemDelegate(parent) {}

void DelegateForTransparentItem::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    QStyleOptionViewItem o(option);
    o.state &= ~QStyle::State_HasFocus;
    QPalette palette = o.palette;
    if (index.column() == 0) {
        const QBrush clear(QColor(0, 0, 0, 0));
        palette.setBrush(QPalette::All, QPalette::Text, clear);
        palette.setBrush(QPalette::All, QPalette::HighlightedText, clear);
        palette.setBrush(QPalette::All, QPalette::Highlight, clear);
    } else {
        const QBrush text(QColor(QStringLiteral("#c8c8c8")));
        palette.setBrush(QPalette::All, QPalette::HighlightedText, text);
        palette.setBrush(QPalette::All, QPalette::Highlight, text);
    }
    o.palette = palette;
    QStyledItemDelegate::paint(painter, o, index);
}

// ---------------------------------------------------------------------------
// Table

MediaTable::MediaTable(QWidget* parent) : QTableWidget(parent) {
    qRegisterMetaType<QPushButton*>("QPushButton*");
    kestrane::registerRecordTypes();
    initTable();
    setObjectName(QStringLiteral("mediaTable"));
}

MediaTable::~MediaTable() {
    GConfig& config = GConfig::instance();
    if (config.mediaTable == this) config.mediaTable = nullptr;
}

void MediaTable::initTable() {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setColumnCount(4);
    setRowCount(0);
    setColumnWidth(0, 58);
    setColumnWidth(2, 45);
    setColumnWidth(3, 45);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    // Rows keep their own heights (40 media, 22 folder, 0 hidden).
    verticalHeader()->setMinimumSectionSize(0);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Drag positions are content pixels (viewport y + scroll value).
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAcceptDrops(true);
    setItemDelegate(new DelegateForTransparentItem(this));

    m_dropIndicator = new QWidget(this);
    m_dropIndicator->setGeometry(QRect(QPoint(0, 0), QPoint(width() - kScrollBarWidth - 1, 0)));
    m_dropIndicator->setStyleSheet(QStringLiteral("border:1px solid #787878;"));
    m_dropIndicator->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dropIndicator->hide();
}

void MediaTable::setSuffixes(const QStringList& pictureSuffixes, const QStringList& mediaSuffixes) {
    m_pictureSuffixes = pictureSuffixes;
    m_mediaSuffixes = mediaSuffixes;
}

int MediaTable::defaultRow(int row) const {
    if (row != -1) return row;
    const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    if (ranges.isEmpty()) return 0;
    int top = ranges.first().topRow();
    for (const QTableWidgetSelectionRange& r : ranges) top = std::min(top, r.topRow());
    return top;
}

int MediaTable::scrollOffset() const { return verticalScrollBar()->value(); }

int MediaTable::insertFolderRow(const MediaSource& folder, int row) {
    const bool chosen = row == -1;
    row = std::clamp(defaultRow(row), 0, rowCount());
    // Folders hold media one level deep: a new folder placed by the
    // selection goes above the folder of a selected member, never between
    // that folder and its members.
    if (chosen)
        while (row > 0 && row < rowCount() && item(row, 2) && item(row, 2)->data(kFolderKeyRole).toLongLong() > 0)
            --row;
    insertRow(row);
    setRowHeight(row, kFolderRowHeight);
    setSpan(row, 0, 1, 4);

    auto* w = new QWidget;
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->setSpacing(5);

    auto* arrow = new QPushButton(w);
    arrow->setObjectName(QStringLiteral("mediaTableArrow"));
    arrow->setFixedSize(8, 8);
    arrow->setCheckable(true);
    arrow->setChecked(folder.collapsed);
    arrow->setProperty("folderId", QVariant::fromValue<qlonglong>(folder.folderKey));
    connect(arrow, &QPushButton::toggled, this, &MediaTable::hideFolder);

    auto* icon = new QPushButton(w);
    icon->setObjectName(QStringLiteral("mediaTableIcon"));
    icon->setFixedSize(11, 11);

    auto* label = new ClickLabel(w);
    label->setObjectName(QStringLiteral("folderName"));
    label->setText(folder.path);
    label->setStyleSheet(QStringLiteral("color:#c8c8c8"));

    auto* editor = new QLineEdit(w);
    editor->setObjectName(QStringLiteral("folderNameEditor"));
    editor->setFixedSize(90, 16);
    editor->setStyleSheet(QStringLiteral(".QlineEdit {border:1px solid #c8c8c8;}"));
    editor->hide();

    auto* spacer = new QWidget(w);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layout->addWidget(arrow);
    layout->addWidget(icon);
    layout->addWidget(label);
    layout->addWidget(editor);
    layout->addWidget(spacer);

    w->setProperty("mediaSource", QVariant::fromValue(folder));
    w->setProperty("title", folder.path);
    w->setProperty("bt", QVariant::fromValue(arrow));
    w->setProperty("arrow", QVariant::fromValue(arrow));
    setCellWidget(row, 0, w);

    connect(label, &ClickLabel::doubleClicked, this, [this, w] { startRename(w); });
    connect(editor, &QLineEdit::editingFinished, this, [this, w] { finishRename(w); });
    QTimer::singleShot(0, this, [this, row] {
        if (row < rowCount()) setCurrentCell(row, 0);
    });
    return row;
}

void MediaTable::insertMediaRow(const MediaSource& media, int row, qint64 folderKey) {
    row = std::clamp(defaultRow(row), 0, rowCount());
    if (row < rowCount() && folderKey == 0) {
        const QTableWidgetItem* next = item(row, 2);
        if (next && next->data(kFolderKeyRole).toLongLong() > 0) folderKey = next->data(kFolderKeyRole).toLongLong();
    }
    MediaSource rec = media;
    rec.folderKey = folderKey;

    insertRow(row);
    setRowHeight(row, kMediaRowHeight);

    auto* thumb = new QLabel;
    const QPixmap pixmap = QPixmap::fromImage(rec.thumbnail);
    if (folderKey > 0) {
        // Members sit indented, with a smaller picture.
        thumb->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        thumb->setPixmap(pixmap.isNull() ? pixmap
                                         : pixmap.scaled(38, 28, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    } else {
        thumb->setAlignment(Qt::AlignCenter);
        thumb->setPixmap(pixmap);
    }
    setCellWidget(row, 0, thumb);

    auto* name = new QTableWidgetItem(rec.fileName);
    name->setToolTip(rec.fileName);
    setItem(row, 1, name);

    auto* path = new QTableWidgetItem(rec.path);
    path->setToolTip(rec.path);
    path->setData(kRecordRole, QVariant::fromValue(rec));
    if (folderKey > 0) path->setData(kFolderKeyRole, QVariant::fromValue<qlonglong>(folderKey));
    setItem(row, 2, path);

    if (rec.duration != -1) setItem(row, 3, new QTableWidgetItem(playLengthText(rec.duration)));
}

void MediaTable::hideFolder(bool on) {
    auto* button = qobject_cast<QPushButton*>(sender());
    if (!button) return;
    const qint64 key = button->property("folderId").toLongLong();
    for (MediaSource& rec : GConfig::instance().mediaLibrary())
        if (rec.kind == kFolderKind && rec.folderKey == key) rec.collapsed = button->isChecked();
    // The row widget is what the next rebuild of the list reads.
    for (int r = 0; r < rowCount(); ++r) {
        QWidget* w = cellWidget(r, 0);
        if (!w || item(r, 2)) continue;
        MediaSource rec = w->property("mediaSource").value<MediaSource>();
        if (rec.kind == kFolderKind && rec.folderKey == key) {
            rec.collapsed = button->isChecked();
            w->setProperty("mediaSource", QVariant::fromValue(rec));
        }
    }
    for (int r = 0; r < rowCount(); ++r)
        if (item(r, 2) && item(r, 2)->data(kFolderKeyRole).toLongLong() == key) setRowHidden(r, on);
}

void MediaTable::hideFolderRows(qint64 folderKey) {
    if (folderKey <= 0) return;
    for (int r = 0; r < rowCount(); ++r)
        if (item(r, 2) && item(r, 2)->data(kFolderKeyRole).toLongLong() == folderKey) setRowHidden(r, true);
}

QString MediaTable::uniqueFolderName(QString name, int exceptIndex) const {
    const QList<MediaSource>& library = GConfig::instance().mediaLibrary();
    static const QRegularExpression trailingNumber(QStringLiteral("\\((\\d+)\\)$"));
    for (;;) {
        bool taken = false;
        for (int i = 0; i < library.size() && !taken; ++i)
            taken = i != exceptIndex && library.at(i).path == name;
        if (!taken) return name;
        // Only a number at the very end is a counter; "(1)" inside a name is part of it.
        const QRegularExpressionMatch m = trailingNumber.match(name);
        if (m.hasMatch()) {
            bool ok = false;
            const qlonglong n = m.captured(1).toLongLong(&ok);
            name = name.left(m.capturedStart(0)) + QStringLiteral("(%1)").arg(ok ? n + 1 : 2);
        } else {
            name += QStringLiteral("(2)");
        }
    }
}

void MediaTable::updateMediaOrder() {
    QList<MediaSource>& library = GConfig::instance().mediaLibrary();
    library.clear();
    for (int r = 0; r < rowCount(); ++r) {
        if (const QTableWidgetItem* it = item(r, 2)) {
            MediaSource rec = it->data(kRecordRole).value<MediaSource>();
            const qint64 key = it->data(kFolderKeyRole).toLongLong();
            if (key > 0) rec.folderKey = key;
            library.append(rec);
        } else if (const QWidget* w = cellWidget(r, 0)) {
            const MediaSource rec = w->property("mediaSource").value<MediaSource>();
            if (rec.collapsed) hideFolderRows(rec.folderKey);
            library.append(rec);
        }
    }
}

MediaSource MediaTable::rowRecord(int row) const {
    if (const QTableWidgetItem* it = item(row, 2)) {
        MediaSource rec = it->data(kRecordRole).value<MediaSource>();
        const qint64 key = it->data(kFolderKeyRole).toLongLong();
        if (key > 0) rec.folderKey = key;
        return rec;
    }
    if (const QWidget* w = cellWidget(row, 0)) return w->property("mediaSource").value<MediaSource>();
    return MediaSource();
}

bool MediaTable::isFolderRow(int row) const {
    return row >= 0 && row < rowCount() && !item(row, 2) && cellWidget(row, 0);
}

QList<int> MediaTable::selectedRowList() const {
    QList<int> rows;
    for (const QTableWidgetSelectionRange& r : selectedRanges())
        for (int i = r.topRow(); i <= r.bottomRow(); ++i)
            if (!rows.contains(i)) rows << i;
    std::sort(rows.begin(), rows.end());
    return rows;
}

// ---------------------------------------------------------------------------
// Folder rename

void MediaTable::startRename(QWidget* rowWidget) {
    auto* label = rowWidget->findChild<ClickLabel*>(QStringLiteral("folderName"));
    auto* editor = rowWidget->findChild<QLineEdit*>(QStringLiteral("folderNameEditor"));
    if (!label || !editor) return;
    label->hide();
    editor->setText(label->text());
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    editor->selectAll();
}

void MediaTable::finishRename(QWidget* rowWidget) {
    auto* label = rowWidget->findChild<ClickLabel*>(QStringLiteral("folderName"));
    auto* editor = rowWidget->findChild<QLineEdit*>(QStringLiteral("folderNameEditor"));
    // Return and the loss of focus both finish; the second finds the editor closed.
    if (!label || !editor || editor->isHidden()) return;
    MediaSource rec = rowWidget->property("mediaSource").value<MediaSource>();
    const QList<MediaSource>& library = GConfig::instance().mediaLibrary();
    int index = -1;
    for (int i = 0; i < library.size() && index < 0; ++i)
        if (library.at(i).kind == kFolderKind && library.at(i).path == rec.path) index = i;
    QString name = editor->text().trimmed();
    if (name.isEmpty()) {
        editor->hide();
        label->show();
        return;
    }
    name = uniqueFolderName(name, index);
    label->setText(name);
    editor->hide();
    label->show();
    rec.path = name;
    rowWidget->setProperty("mediaSource", QVariant::fromValue(rec));
    // A later drag of the folder carries its new name.
    rowWidget->setProperty("title", name);
    updateMediaOrder();
}

// ---------------------------------------------------------------------------
// Mouse and keys

void MediaTable::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_pressPoint = QPoint(event->pos().x(), event->pos().y() + scrollOffset());
    QTableWidget::mousePressEvent(event);
}

void MediaTable::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        const QPoint now(event->pos().x(), event->pos().y() + scrollOffset());
        if ((now - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
            startMediaDrag(m_pressPoint);
            return;
        }
    }
    QTableWidget::mouseMoveEvent(event);
}

void MediaTable::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        QTableWidget::mouseReleaseEvent(event);
        return;
    }
    if (m_busy) return;
    QMenu menu(this);
    QAction* remove = menu.addAction(QStringLiteral("删除"));
    if (menu.exec(QCursor::pos()) == remove) {
        if (MediaList* list = GConfig::instance().mediaList) list->delSource();
    }
}

void MediaTable::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat()) m_deletePressed = true;
    QTableWidget::keyPressEvent(event);
}

void MediaTable::keyReleaseEvent(QKeyEvent* event) {
    // A folder's name editor takes the press of Delete but leaves its
    // release to travel up to the table: that release must not delete rows.
    const bool ours = event->key() == Qt::Key_Delete && !event->isAutoRepeat() && m_deletePressed;
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat()) m_deletePressed = false;
    if (ours && event->modifiers() == Qt::NoModifier && !m_busy) {
        if (MediaList* list = GConfig::instance().mediaList) list->delSource();
    }
    QWidget::keyReleaseEvent(event);
}

// ---------------------------------------------------------------------------
// Drag and drop

int MediaTable::rowAtY(const QPoint& point) const {
    int bottom = 0;
    for (int r = 0; r < rowCount(); ++r) {
        bottom += rowHeight(r);
        if (bottom > point.y()) return r;
    }
    return rowCount();
}

int MediaTable::dropTarget(const QPoint& point, bool* inFolder) const {
    int top = 0;
    for (int r = 0; r < rowCount(); ++r) {
        const int h = rowHeight(r);
        const int d = point.y() - top;
        if (h == kMediaRowHeight) {
            *inFolder = false;
            if (d <= h / 2) return r;
        } else if (d <= h / 4) {
            *inFolder = false;
            return r;
        } else if (d <= 3 * h / 4) {
            *inFolder = true;
            return r;
        }
        top += h;
    }
    return rowCount();
}

qint64 MediaTable::folderKeyOfRow(int row) const {
    const QList<MediaSource>& library = GConfig::instance().mediaLibrary();
    return row >= 0 && row < library.size() ? library.at(row).folderKey : 0;
}

bool MediaTable::planMove(int target, bool inFolder, const QList<int>& selected, QList<int>* moving,
                          qint64* targetFolder, bool* hideIndicator) const {
    const QList<MediaSource>& library = GConfig::instance().mediaLibrary();
    QList<qint64> selectedFolders;
    for (int r : selected)
        if (r < library.size() && library.at(r).kind == kFolderKind) selectedFolders << library.at(r).folderKey;
    *targetFolder = 0;
    if (target < rowCount() && target < library.size()) {
        const MediaSource& t = library.at(target);
        if (t.kind == kFolderKind)
            *targetFolder = inFolder ? t.folderKey : 0;
        else
            *targetFolder = t.folderKey;
    }
    if (inFolder && !selectedFolders.isEmpty()) {
        *hideIndicator = true;
        return false;
    }
    // Folders do not nest.
    if (!selectedFolders.isEmpty() && *targetFolder != 0) return false;
    QList<int> rows = selected;
    for (int r = 0; r < library.size(); ++r)
        if (library.at(r).kind != kFolderKind && selectedFolders.contains(library.at(r).folderKey) &&
            !rows.contains(r))
            rows << r;
    std::sort(rows.begin(), rows.end());
    if (rows.contains(target)) return false;
    *moving = rows;
    return true;
}

QStringList MediaTable::droppedFiles(const QMimeData* data) const {
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (info.isDir()) {
            for (const QString& f : kestrane::collectFiles(path))
                if (m_mediaSuffixes.contains(QFileInfo(f).suffix())) files << f;
        } else if (m_mediaSuffixes.contains(info.suffix())) {
            files << path;
        }
    }
    return files;
}

void MediaTable::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->property("type").toString() == QLatin1String("layerPanel")) return;
    event->acceptProposedAction();
}

void MediaTable::dragMoveEvent(QDragMoveEvent* event) {
    GConfig::instance().pausePlayback();
    const QMimeData* data = event->mimeData();
    const bool files = data->hasFormat(QStringLiteral("text/uri-list"));
    bool inFolder = false;
    const int target = dropTarget(QPoint(event->pos().x(), event->pos().y() + scrollOffset()), &inFolder);
    if (target > rowCount() || target < -1) {
        m_dropIndicator->hide();
        return;
    }
    bool ok = false;
    const int source = data->property("mediaItem").toInt(&ok);
    const bool move = ok && source != target && (source - target != -1 || inFolder);
    if (!move && !files) return;

    QList<int> moving;
    qint64 targetFolder = 0;
    bool hide = false;
    if (!planMove(target, inFolder, selectedRowList(), &moving, &targetFolder, &hide)) {
        if (hide) m_dropIndicator->hide();
        return;
    }

    int y = -scrollOffset();
    for (int r = 0; r < target; ++r) y += rowHeight(r);
    if (target == rowCount()) y -= 4;
    const int w = width() - verticalScrollBar()->width();
    if (inFolder && (data->property("mediaType").toString() == QLatin1String("item") || files))
        m_dropIndicator->setGeometry(0, y, w, rowHeight(target));
    else
        m_dropIndicator->setGeometry(0, y, w, 1);
    m_dropIndicator->show();
    m_dropIndicator->raise();
    event->acceptProposedAction();
}

void MediaTable::dragLeaveEvent(QDragLeaveEvent* /*event*/) { m_dropIndicator->hide(); }

void MediaTable::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (m_busy) {
        m_dropIndicator->hide();
        return;
    }
    QStringList files;
    const bool isFileDrop = data->hasFormat(QStringLiteral("text/uri-list"));
    if (isFileDrop) {
        files = droppedFiles(data);
        if (files.isEmpty()) {
            m_dropIndicator->hide();
            return;
        }
        event->setDropAction(Qt::MoveAction);
    } else {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }
    bool inFolder = false;
    const int target = dropTarget(QPoint(event->pos().x(), event->pos().y() + scrollOffset()), &inFolder);
    if (target > rowCount()) {
        m_dropIndicator->hide();
        return;
    }
    if (isFileDrop) {
        emit addOutFiles(files, target, inFolder);
        m_dropIndicator->hide();
        return;
    }
    bool ok = false;
    const int source = data->property("mediaItem").toInt(&ok);
    if (!ok || source == target || (source - target == -1 && !inFolder)) return;
    dropRows(target, selectedRowList(), inFolder);
    m_dropIndicator->hide();
}

bool MediaTable::dropRows(int target, QList<int> rows, bool inFolder) {
    QList<int> moving;
    qint64 targetFolder = 0;
    bool hide = false;
    if (!planMove(target, inFolder, rows, &moving, &targetFolder, &hide)) return false;
    const QList<MediaSource> library = GConfig::instance().mediaLibrary();

    for (int r : moving) {
        if (QTableWidgetItem* it = item(r, 2))
            it->setData(kRemovalRole, 1);
        else if (QWidget* w = cellWidget(r, 0))
            w->setProperty("delStatus", 1);
    }

    int insertAt = inFolder && target < rowCount() ? target + 1 : target;
    QList<qint64> movedFolders;
    QList<qint64> keys;
    for (int r : moving) {
        if (r >= library.size()) continue;
        const MediaSource& rec = library.at(r);
        if (rec.kind == kFolderKind) {
            insertFolderRow(rec, insertAt);
            movedFolders << rec.folderKey;
            keys << rec.folderKey;
        } else {
            const qint64 folder = movedFolders.contains(rec.folderKey) ? rec.folderKey : targetFolder;
            insertMediaRow(rec, insertAt, folder);
            keys << rec.sourceKey;
        }
        ++insertAt;
    }

    if (inFolder && target < rowCount()) {
        if (const QWidget* w = cellWidget(target, 0)) {
            auto* arrow = w->property("arrow").value<QPushButton*>();
            if (arrow && arrow->isChecked()) hideFolderRows(arrow->property("folderId").toLongLong());
        }
    }

    for (int r = 0; r < rowCount();) {
        const QTableWidgetItem* it = item(r, 2);
        const QWidget* w = cellWidget(r, 0);
        const bool marked = it ? it->data(kRemovalRole).toInt() == 1 : (w && w->property("delStatus").toInt() == 1);
        if (marked)
            removeRow(r);
        else
            ++r;
    }

    updateMediaOrder();
    GConfig::instance().setSaved(false);

    QTimer::singleShot(0, this, [this, keys] {
        setCurrentItem(nullptr);
        clearSelection();
        const QList<MediaSource>& lib = GConfig::instance().mediaLibrary();
        int first = -1, last = -1;
        for (int i = 0; i < lib.size(); ++i) {
            const MediaSource& rec = lib.at(i);
            const bool moved =
                rec.kind == kFolderKind ? keys.contains(rec.folderKey) : (keys.contains(rec.sourceKey) || keys.contains(rec.folderKey));
            if (!moved) continue;
            if (first < 0) first = i;
            last = i;
        }
        if (first >= 0) setRangeSelected(QTableWidgetSelectionRange(first, 0, last, 3), true);
    });
    return true;
}

void MediaTable::startMediaDrag(const QPoint& pressPoint) {
    if (m_busy) return;
    kestrane::MediaDrag d = kestrane::makeMediaDrag(this, pressPoint);
    if (!d.mime) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(d.mime.release());
    drag->setPixmap(d.picture);
    drag->setHotSpot(d.hotSpot);
    drag->exec(Qt::MoveAction);
    m_dropIndicator->hide();
}

namespace kestrane {

MediaDrag makeMediaDrag(const MediaTable* table, const QPoint& pressPoint) {
    MediaDrag out;
    const int r = table->currentRow();
    if (r < 0) return out;
    const QTableWidgetItem* third = table->item(r, 2);
    QWidget* first = table->cellWidget(r, 0);
    if (!third && !first) return out;
    if (table->rowAtY(pressPoint) != r) return out;

    auto mime = std::make_unique<QMimeData>();
    if (third) {
        mime->setText(third->text());
        mime->setProperty("mediaType", QStringLiteral("item"));
    } else {
        mime->setText(first->property("title").toString());
        mime->setProperty("mediaType", QStringLiteral("folder"));
    }
    mime->setProperty("mediaItem", r);
    mime->setProperty("sourceType", QStringLiteral("media"));
    if (!first || !first->property("mediaSource").isValid())
        mime->setProperty("mediaSource", third ? third->data(MediaTable::kRecordRole) : QVariant());
    else
        mime->setProperty("mediaSource", first->property("mediaSource"));

    // The picture: the selected rows from the first to the last, the rows
    // between them left as transparent gaps.
    const int w = table->width() - MediaTable::kScrollBarWidth;
    const QList<int> selected = table->selectedRowList();
    int selectedNum = 0;
    int total = 0;
    int referenceTop = 0;
    int hotY = 0;
    QMap<int, QPixmap> pieces;
    if (!selected.isEmpty()) {
        for (int row = selected.first(); row <= selected.last(); ++row) {
            QRect rect;
            if (const QTableWidgetItem* it = table->item(row, 2)) {
                const QRect v = table->visualItemRect(it);
                rect = QRect(0, v.top(), w, v.height());
            } else {
                const QWidget* cw = table->cellWidget(row, 0);
                rect = QRect(0, table->rowViewportPosition(row), w, cw ? cw->height() : table->rowHeight(row));
            }
            if (table->isRowHidden(row)) rect.setHeight(0);
            if (row == selected.first()) referenceTop = rect.top();
            if (selected.contains(row)) {
                if (rect.height() > 0) pieces.insert(rect.top(), table->viewport()->grab(rect));
                if (table->item(row, 2)) ++selectedNum;
            }
            total += rect.height();
            if (row == r) hotY = rect.top() - referenceTop + rect.height() / 2;
        }
    }
    QPixmap picture(std::max(w, 1), std::max(total, 1));
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        for (auto it = pieces.cbegin(); it != pieces.cend(); ++it)
            painter.drawPixmap(0, it.key() - referenceTop, it.value());
    }
    setPixmapOpacity(picture, 50);

    mime->setProperty("selectedNum", selectedNum);
    out.mime = std::move(mime);
    out.picture = picture;
    out.hotSpot = QPoint(pressPoint.x(), hotY);
    return out;
}

}  // namespace kestrane
