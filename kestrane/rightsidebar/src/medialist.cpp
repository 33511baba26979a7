#include "kestrane/medialist.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPixmap>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <thread>

#include "kestrane/delegates.h"
#include "kestrane/gconfig.h"
#include "kestrane/mediatable.h"
#include "kestrane/pictureprobe.h"
#include "kestrane/prompt.h"
#include "kestrane/utils.h"
#include "kestrane/videoprobe.h"

namespace {

constexpr int kThumbWidth = 43;
constexpr int kThumbHeight = 32;

// Runs the event loop for about `ms` so the window stays live.
void waitInLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Holds a flag (and the table's) for the length of a nested event loop.
class BusyScope {
public:
    BusyScope(bool& flag, MediaTable* table) : m_flag(flag), m_table(table) {
        m_flag = true;
        m_table->setBusy(true);
    }
    ~BusyScope() {
        m_flag = false;
        m_table->setBusy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
    MediaTable* m_table;
};

}  // namespace

MediaList::MediaList(QWidget* parent) : QWidget(parent) {
    m_pictureSuffixes = QStringList{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("gif")};
    m_mediaSuffixes = QStringList{QStringLiteral("wmv"), QStringLiteral("avi"), QStringLiteral("mp4"),
                       QStringLiteral("mkv"), QStringLiteral("rmvb"), QStringLiteral("png"),
                       QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("gif")};
    GConfig::instance().mediaList = this;
    initUi();
}

MediaList::~MediaList() {
    GConfig& config = GConfig::instance();
    if (config.mediaList == this) config.mediaList = nullptr;
}

void MediaList::setVideoProbe(kestrane::VideoProbe* probe) { m_probe = probe; }

void MediaList::initUi() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 1);
    layout->setSpacing(0);

    auto* top = new QWidget(this);
    top->setObjectName(QStringLiteral("medialistTopPanel"));
    top->setFixedHeight(31);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 3, 0, 5);
    topLayout->setSpacing(0);
    const struct {
        const char* name;
        const char* text;
        int width;
    } headers[] = {{"medialistTopbt1", "缩略图", 58},
                   {"medialistTopbt2", "文件名", 0},
                   {"medialistTopbt3", "信息", 45},
                   {"medialistTopbt4", "时长", 61}};
    for (const auto& h : headers) {
        auto* label = new QLabel(QString::fromUtf8(h.text), top);
        label->setObjectName(QString::fromLatin1(h.name));
        if (h.width > 0)
            label->setFixedWidth(h.width);
        else
            label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        topLayout->addWidget(label);
    }
    layout->addWidget(top);

    m_table = new MediaTable;
    GConfig::instance().mediaTable = m_table;
    m_table->setSuffixes(m_pictureSuffixes, m_mediaSuffixes);
    connect(m_table, &MediaTable::addOutFiles, this, &MediaList::addOutFiles);
    layout->addWidget(m_table);

    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("medialistBottompanel"));
    bottom->setFixedHeight(16);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(0);

    m_addBox = new QComboBox(bottom);
    m_addBox->setObjectName(QStringLiteral("medialistCombobox"));
    m_addBox->setMaxVisibleItems(12);
    m_addBox->setFixedSize(103, 16);
    m_addBox->view()->setItemDelegate(new DelegateForMediaListComBox(m_addBox));
    m_addBox->view()->setStyleSheet(QStringLiteral(
        "QListView {background:#313131;color:#aeaeae;border:0px;padding:2px;}"
        "QListView::item {background:#313131;border:0px;outline:0px;padding-top:1px;padding-bottom:1px;}"
        "QListView::item:selected {background:#141414;border:0px;outline:0px;color:#aeaeae;}"));
    m_addBox->addItem(QStringLiteral("添加媒体"));
    m_addBox->addItems(GConfig::instance().addMediaTexts());
    if (auto* list = qobject_cast<QListView*>(m_addBox->view())) {
        list->setRowHidden(0, true);
        list->setRowHidden(2, true);
    }
    for (int i = 4; i < m_addBox->count(); ++i)
        m_addBox->view()->setItemDelegateForRow(i, new DelegateForComboBox(m_addBox));
    connect(m_addBox, QOverload<int>::of(&QComboBox::activated), this, &MediaList::addSource);
    bottomLayout->addWidget(m_addBox);

    const auto button = [bottom, bottomLayout](const char* name, int w) {
        auto* b = new QPushButton(bottom);
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(w, 16);
        bottomLayout->addWidget(b);
        return b;
    };
    connect(button("medialistAddfolder", 17), &QPushButton::clicked, this, &MediaList::addFolder);
    button("mediaListShow", 17);
    button("mediaThumbShow", 17);
    auto* fill = new QWidget(bottom);
    fill->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    bottomLayout->addWidget(fill);
    connect(button("medialistDelbt", 15), &QPushButton::clicked, this, &MediaList::delSource);
    layout->addWidget(bottom);
}

// ---------------------------------------------------------------------------
// Keys and names

qint64 MediaList::newKey(int span) const {
    QSet<qint64> taken;
    for (const MediaSource& m : GConfig::instance().mediaLibrary()) taken << m.sourceKey << m.folderKey;
    for (const MediaSource& m : GConfig::instance().media()) taken << m.sourceKey;
    // Rows inserted since the list was last rebuilt count too.
    for (int r = 0; r < m_table->rowCount(); ++r) {
        const MediaSource m = m_table->rowRecord(r);
        taken << m.sourceKey << m.folderKey;
    }
    for (;;) {
        const qint64 key = QDateTime::currentMSecsSinceEpoch() + QRandomGenerator::global()->bounded(1, span);
        if (!taken.contains(key)) return key;
    }
}

QString MediaList::nextFolderName() const {
    static const QRegularExpression numbered(QStringLiteral("分组([1-9][0-9]*)"));
    int n = 0;
    for (const MediaSource& m : GConfig::instance().mediaLibrary()) {
        if (m.kind != kFolderKind) continue;
        const QRegularExpressionMatch match = numbered.match(m.path);
        if (match.hasMatch()) n = std::max(n, match.captured(1).toInt());
    }
    return QStringLiteral("分组%1").arg(n + 1);
}

int MediaList::indexInLibrary(const QString& path) const {
    const QList<MediaSource>& library = GConfig::instance().mediaLibrary();
    for (int i = 0; i < library.size(); ++i)
        if (library.at(i).path == path) return i;
    return -1;
}

QList<int> MediaList::placedMediaIds(qint64 mediaKey) const {
    QList<int> ids;
    const QMap<int, MediaSource>& media = GConfig::instance().media();
    for (auto it = media.cbegin(); it != media.cend(); ++it)
        if (it->sourceKey == mediaKey) ids << it.key();
    return ids;
}

// ---------------------------------------------------------------------------
// Import

bool MediaList::importMediaFiles(const QString& path, qint64 folderKey, qint64 mediaKey, int row) {
    GConfig& config = GConfig::instance();
    const QStringList texts = config.addMediaTexts();
    const QFileInfo info(path);
    MediaSource rec;
    rec.path = path;
    rec.fileName = info.fileName();
    rec.folderPath = info.absolutePath();
    rec.fileSize = info.size();

    // A FIFO or a device named like a media file would block its reader
    // for ever: only regular files are imported.
    if (!kestrane::isRegularFile(path)) return false;
    kestrane::VideoProbe* probe = m_probe ? m_probe : &kestrane::renderingLibraryProbe();
    void* handle = nullptr;
    if (m_pictureSuffixes.contains(info.suffix().toLower())) {
        // Decoding is off the GUI thread, which keeps serving events (the
        // command monitor among them) while it waits.
        kestrane::PictureProbe picture;
        std::atomic<bool> probed{false};
        std::thread worker([&] {
            picture = kestrane::probePicture(path, QSize(kThumbWidth, kThumbHeight), true);
            probed.store(true);
        });
        while (!probed.load()) waitInLoop(10);
        worker.join();
        if (!picture.ok) return false;
        rec.kind = 1;
        rec.kindText = texts.value(1);
        rec.thumbnail = picture.thumbnail;
        rec.nativeWidth = picture.size.width();
        rec.nativeHeight = picture.size.height();
    } else {
        handle = probe->open(path);
        if (!handle) return false;
        // The decoder brings the first picture on its own thread; under load
        // that takes longer than the first 100 ms.
        waitInLoop(100);
        QElapsedTimer waited;
        waited.start();
        while (!probe->hasPicture(handle) && waited.elapsed() < 2000) waitInLoop(10);
        kestrane::VideoProbeInfo v;
        if (!probe->info(handle, &v)) {
            probe->close(handle);
            return false;
        }
        rec.kind = 0;
        rec.kindText = texts.value(0);
        if (!v.frame.isNull() && v.width > 0 && v.height > 0)
            rec.thumbnail = kestrane::makeVideoThumbnail(v.frame, kThumbWidth, kThumbHeight, true).toImage();
        if (rec.thumbnail.isNull())
            rec.thumbnail = QImage(QStringLiteral(":/images/video.png"))
                                .scaled(kThumbWidth + 2, kThumbHeight + 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // A clip shorter than a second still plays for one.
        const int seconds = int(v.duration);
        rec.duration = std::max(seconds, 1) * 1000;
        rec.naturalLength = rec.duration;
        rec.nativeWidth = v.width;
        rec.nativeHeight = v.height;
    }
    rec.width = rec.nativeWidth;
    rec.height = rec.nativeHeight;
    rec.sourceKey = mediaKey > 0 ? mediaKey : newKey(99999);
    rec.folderKey = folderKey > 0 ? folderKey : 0;
    m_table->insertMediaRow(rec, row, rec.folderKey);
    if (handle) probe->close(handle);
    return true;
}

QStringList MediaList::importPaths(const QStringList& paths, qint64 folderKey, const QMap<QString, qint64>& oldKeys,
                                   int* row, QStringList* done) {
    GConfig& config = GConfig::instance();
    config.showWaiting(true);
    config.showDialogAt(true);
    QStringList failed;
    for (int i = 0; i < paths.size(); ++i) {
        const QString& path = paths.at(i);
        if (importMediaFiles(path, folderKey, oldKeys.value(path, 0), row ? *row : -1)) {
            if (row) ++*row;
            *done << path;
        } else {
            failed << path;
        }
        QCoreApplication::processEvents();
        config.showMediaSyncDialog(i + 1, paths.size(), QFileInfo(path).fileName());
        // Taking the progress down cancels after the current file.
        if (config.isWaitingHidden()) break;
    }
    config.showDialogAt(false);
    config.showWaiting(false);
    return failed;
}

QMap<QString, qint64> MediaList::markReimports(const QStringList& paths) {
    QMap<QString, qint64> keys;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QTableWidgetItem* it = m_table->item(r, 2);
        if (!it) continue;
        const MediaSource rec = it->data(MediaTable::kRecordRole).value<MediaSource>();
        if (!paths.contains(rec.path)) continue;
        it->setData(MediaTable::kRemovalRole, 1);
        keys.insert(rec.path, rec.sourceKey);
    }
    return keys;
}

void MediaList::removeReimported(const QStringList& imported) {
    // Only rows whose file came in again go: files a cancel never reached,
    // or that failed, keep their rows.
    for (int r = 0; r < m_table->rowCount();) {
        QTableWidgetItem* it = m_table->item(r, 2);
        if (it && it->data(MediaTable::kRemovalRole).toInt() == 1 &&
            imported.contains(it->data(MediaTable::kRecordRole).value<MediaSource>().path)) {
            m_table->removeRow(r);
            continue;
        }
        if (it) it->setData(MediaTable::kRemovalRole, QVariant());
        ++r;
    }
}

void MediaList::addSource(int typeIndex) {
    if (m_busy) return;
    GConfig& config = GConfig::instance();
    config.pausePlayback();
    const QList<MediaSource> before = config.mediaLibrary();
    m_addBox->setCurrentIndex(0);
    if (typeIndex < 0 || typeIndex > config.addMediaTexts().size()) return;

    if (typeIndex == 1) {
        QString suffixes;
        for (const QString& s : m_mediaSuffixes) suffixes += QStringLiteral(" *.") + s;
        QStringList paths = kestrane::prompt::openFileNames(this, QStringLiteral("添加视频、图片(可多选)"), QString(),
                                                           QStringLiteral("media(%1)").arg(suffixes.trimmed()));
        if (paths.isEmpty()) return;
        int duplicates = 0;
        for (int i = paths.size() - 1; i >= 0; --i) {
            if (indexInLibrary(paths.at(i)) != -1) {
                paths.removeAt(i);
                ++duplicates;
            }
        }
        QStringList done;
        QStringList failed;
        {
            BusyScope busy(m_busy, m_table);
            failed = importPaths(paths, 0, {}, nullptr, &done);
        }
        if (!done.isEmpty()) config.setSaved(false);
        QString text = done.isEmpty() ? QStringLiteral("未导入新的媒体") : QStringLiteral("成功导入%1个媒体").arg(done.size());
        if (duplicates > 0) text += QStringLiteral("，%1个媒体与已导入媒体重复").arg(duplicates);
        if (!failed.isEmpty()) text += QStringLiteral("，%1个媒体无法导入").arg(failed.size());
        if (duplicates > 0 || !failed.isEmpty())
            kestrane::prompt::information(this, QStringLiteral("导入完毕"), text, QMessageBox::Ok);
        m_table->updateMediaOrder();
    } else if (typeIndex == 3) {
        importFolder();
        m_table->updateMediaOrder();
    }
    selectNewRows(before);
}

void MediaList::importFolder() {
    const QString dir = kestrane::prompt::existingDirectory(this, QStringLiteral("选择媒体文件夹"), QString(),
                                                            QFileDialog::ShowDirsOnly);
    if (dir.isEmpty()) return;
    const QString name = QDir(dir).dirName();
    QStringList files;
    for (const QFileInfo& info : QDir(dir).entryInfoList())
        if (info.isFile() && m_mediaSuffixes.contains(info.suffix())) files << info.filePath();
    if (files.isEmpty()) {
        kestrane::prompt::warning(this, QStringLiteral("媒体文件为空"), QStringLiteral("当前文件夹内没有媒体文件"),
                                  QMessageBox::Ok);
        return;
    }
    if (indexInLibrary(name) != -1) {
        kestrane::prompt::warning(this, QStringLiteral("文件夹已存在"),
                                  QStringLiteral("您要添加的文件夹%1已经存在").arg(name), QMessageBox::Ok);
        return;
    }
    qint64 folderKey = 0;
    const int folderRow = createFolder(name, &folderKey);
    GConfig::instance().setSaved(false);
    BusyScope busy(m_busy, m_table);
    const QMap<QString, qint64> oldKeys = markReimports(files);
    int row = folderRow + 1;
    QStringList done;
    importPaths(files, folderKey, oldKeys, &row, &done);
    removeReimported(done);
}

void MediaList::addOutFiles(QStringList files, int row, bool inFolder) {
    // A file named twice in one drop is one media item: two rows would
    // share its key.
    files.removeDuplicates();
    if (m_busy || files.isEmpty()) return;
    qint64 folderKey = 0;
    int insertAt = row;
    if (inFolder && m_table->isFolderRow(row)) {
        folderKey = m_table->rowRecord(row).folderKey;
        insertAt = row + 1;
        // After the folder's last member.
        for (int r = row + 1; r < m_table->rowCount() && !m_table->isFolderRow(r); ++r) {
            const QTableWidgetItem* it = m_table->item(r, 2);
            if (it && it->data(MediaTable::kFolderKeyRole).toLongLong() == folderKey) insertAt = r + 1;
        }
    }
    BusyScope busy(m_busy, m_table);
    const QMap<QString, qint64> oldKeys = markReimports(files);
    QStringList done;
    importPaths(files, folderKey, oldKeys, &insertAt, &done);
    m_table->setCurrentCell(std::max(insertAt - 1, 0), 0);
    removeReimported(done);
    m_table->updateMediaOrder();
    GConfig::instance().setSaved(false);
}

void MediaList::selectNewRows(const QList<MediaSource>& before) {
    QSet<QString> old;
    for (const MediaSource& m : before) old << m.path;
    QList<int> rows;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        const QTableWidgetItem* it = m_table->item(r, 2);
        if (it && !old.contains(it->data(MediaTable::kRecordRole).value<MediaSource>().path)) rows << r;
    }
    if (rows.isEmpty()) return;
    m_table->selectRow(rows.first());
    std::sort(rows.begin(), rows.end());
    m_table->setRangeSelected(QTableWidgetSelectionRange(rows.first(), 0, rows.last(), 3), true);
}

// ---------------------------------------------------------------------------
// Folders

int MediaList::createFolder(const QString& name, qint64* folderKey) {
    GConfig& config = GConfig::instance();
    config.pausePlayback();
    MediaSource folder;
    folder.kind = kFolderKind;
    folder.path = name;
    folder.folderKey = newKey(999999);
    const int row = m_table->insertFolderRow(folder, -1);
    config.setSaved(false);
    m_table->updateMediaOrder();
    if (folderKey) *folderKey = folder.folderKey;
    return row;
}

void MediaList::addFolder() {
    if (m_busy) return;
    createFolder(nextFolderName(), nullptr);
}

// ---------------------------------------------------------------------------
// Deletion

bool MediaList::collectDeletion(QList<int>* rows, QList<int>* usedRows, QList<int>* folderRows) {
    GConfig& config = GConfig::instance();
    const QList<MediaSource>& library = config.mediaLibrary();
    QList<int> selected;
    for (const QTableWidgetSelectionRange& range : m_table->selectedRanges())
        for (int r = range.topRow(); r <= range.bottomRow(); ++r)
            if (!selected.contains(r)) selected << r;

    const QList<int> picked = selected;
    for (int r : picked) {
        if (r >= library.size() || library.at(r).kind != kFolderKind) continue;
        *folderRows << r;
        const qint64 key = library.at(r).folderKey;
        for (int m = r + 1; m < library.size() && library.at(m).folderKey == key; ++m)
            if (!selected.contains(m)) selected << m;
    }

    QSet<qint64> placedKeys;
    for (int id : config.mediaIds()) placedKeys << config.media().value(id).sourceKey;

    QStringList usedNames;
    QList<qint64> usedKeys;
    for (int r : selected) {
        if (r >= library.size() || library.at(r).kind == kFolderKind) continue;
        if (!placedKeys.contains(library.at(r).sourceKey)) continue;
        if (!usedRows->contains(r)) *usedRows << r;
        usedNames << library.at(r).fileName;
        usedKeys << library.at(r).sourceKey;
    }

    QStringList locked;
    for (int id : config.mediaIds()) {
        const MediaSource& m = config.media()[id];
        if (usedKeys.contains(m.sourceKey) && config.isLayerLocked(m.layer) && !locked.contains(m.fileName))
            locked << m.fileName;
    }
    if (!locked.isEmpty()) {
        kestrane::prompt::warning(this, QStringLiteral("删除错误"),
                                  QStringLiteral("以下媒体文件已被应用且在图层被锁定：\n%1\n").arg(locked.join(QStringLiteral(", "))),
                                  QMessageBox::Ok);
        return false;
    }
    if (!usedRows->isEmpty()) {
        const auto answer = kestrane::prompt::question(
            this, QStringLiteral("删除确认"),
            QStringLiteral("以下媒体文件已被应用：\n%1\n是否确定删除？").arg(usedNames.join(QStringLiteral(", "))),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return false;
    }
    *rows = selected;
    return true;
}

void MediaList::delSource() {
    if (m_busy) return;
    QList<int> rows, usedRows, folderRows;
    if (!collectDeletion(&rows, &usedRows, &folderRows) || rows.isEmpty()) return;
    std::sort(rows.begin(), rows.end(), std::greater<int>());

    GConfig& config = GConfig::instance();
    config.pausePlayback();
    config.showWaiting(true);
    // The list keeps the order from before the deletion until it is rebuilt.
    const QList<MediaSource> library = config.mediaLibrary();
    bool removedPlaced = false;
    {
        BusyScope busy(m_busy, m_table);
        for (int r : rows) {
            m_table->removeRow(r);
            if (folderRows.contains(r) || !usedRows.contains(r) || r >= library.size()) continue;
            for (int id : placedMediaIds(library.at(r).sourceKey)) {
                config.removeMedia(id);
                removedPlaced = true;
                QCoreApplication::processEvents();
                QCoreApplication::processEvents();
            }
        }
    }
    config.showWaiting(false);
    config.setSaved(false);
    m_table->updateMediaOrder();
    if (removedPlaced) QTimer::singleShot(0, this, [] { GConfig::instance().fitTimelineLength(false); });
}

void MediaList::setSingleSelected() {
    if (m_table->selectedItems().size() > 1) m_table->selectRow(m_table->currentRow());
}
