// The project file: one data stream of the whole project, closed by the
// record mark. Reading parses every field into a value first and applies it
// only when the whole file was sound, so a damaged file changes nothing.
#include <QDebug>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QVariant>

#include <algorithm>
#include <cmath>

#include "blobio.h"
#include "kestrane/gconfig.h"
#include "kestrane/settings.h"

using kestrane::BlobReader;
using kestrane::BlobWriter;

namespace {

constexpr double kMinStageZoom = 0.125;
constexpr double kMaxStageZoom = 1.0;
// Nesting allowed inside a saved variant (a row map holds only plain values).
constexpr int kMaxVariantDepth = 8;

// What one file may ask for. Far above any real show (a wall has tens of
// devices, a show some hundreds of layers), low enough that the console
// builds it in seconds rather than freezing on a damaged or hostile file.
constexpr quint32 kMaxMedia = 20000;
constexpr quint32 kMaxDevices = 1024;
constexpr quint32 kMaxRows = 5000;  // a layer takes five rows with its effect rows
constexpr quint32 kMaxControls = 10000;
// Stage positions and sizes in stage units; anything beyond cannot be a
// place on a wall and would not fit the servers' 32-bit rectangles.
constexpr double kMaxStageExtent = 1.0e7;

// Row roles of the time axis.
constexpr int kLayerRole = 100;
constexpr int kFolderRole = 101;
constexpr int kEffectRole = 102;
constexpr int kEffectRowsPerLayer = 4;

struct ProjectData {
    QMap<int, MediaSource> media;
    QMap<int, DeviceRecord> devices;
    int rowCount = 0;
    QList<MediaSource> library;
    int axisLength = 0;
    int timelineStart = 0;
    int timelineLength = 0;
    QStringList rowColors;
    QMap<int, int> folderPositions;
    QMap<int, int> devicePositions;
    QList<DeviceFolderRecord> folders;
    QList<QVariantMap> rows;
    QList<PlayControlRecord> playControls;
    QList<OutControlRecord> outControls;
    QList<LayerIORecord> layerIOs;
    double stageZoom = kMinStageZoom;
    int stageVScroll = 0;
    int stageHScroll = 0;
    TimeAxisViewState axis;
    QList<int> splitter1;
    QList<int> splitter2;
};

// Reads the saved project. Every count is checked against the bytes left
// before anything is made for it; a duplicate key, a record that does not
// decode, or anything but the mark at the very end refuses the file.
class ProjectParser {
public:
    explicit ProjectParser(const QByteArray& bytes) : r_(bytes) {}

    bool parse(ProjectData& d, QString& error) {
        if (!blobMap(d.media, "media items", kMaxMedia) || !blobMap(d.devices, "devices", kMaxDevices) ||
            !value(d.rowCount, "row count") || !blobList(d.library, "media library", kMaxMedia) || !value(d.axisLength, "display length") ||
            !value(d.timelineStart, "timeline start") || !value(d.timelineLength, "timeline length") ||
            !stringList(d.rowColors) || !intMap(d.folderPositions, "folder positions") ||
            !intMap(d.devicePositions, "device positions") || !folders(d.folders) || !rows(d.rows) ||
            !blobList(d.playControls, "play controls", kMaxControls) ||
            !blobList(d.outControls, "output controls", kMaxControls) ||
            !blobList(d.layerIOs, "output commands", kMaxControls) || !value(d.stageZoom, "stage zoom") ||
            !value(d.stageVScroll, "stage scroll") || !value(d.stageHScroll, "stage scroll") ||
            !value(d.axis.scale, "time-axis scale") || !value(d.axis.speedIndex, "play speed") ||
            !value(d.axis.checked, "check button") || !value(d.axis.playHead, "play head") ||
            !intList(d.splitter1) || !intList(d.splitter2)) {
            error = error_.isEmpty() ? QStringLiteral("the file ends early") : error_;
            return false;
        }
        QVariant last;
        quint32 mark = 0;
        if (!variant(last, 0) || !r_.read(mark)) {
            error = QStringLiteral("the file ends early");
            return false;
        }
        if (mark != kestrane::kRecordMagic) {
            error = QStringLiteral("the end mark is %1").arg(mark, 8, 16, QLatin1Char('0'));
            return false;
        }
        if (!r_.atEnd()) {
            error = QStringLiteral("%1 bytes follow the end mark").arg(r_.left());
            return false;
        }
        return true;
    }

    // Whether the file asked for more than the console takes.
    bool tooLarge() const { return tooLarge_; }

private:
    bool fail(const QString& what) {
        if (error_.isEmpty()) error_ = what;
        return false;
    }

    template <class T>
    bool value(T& v, const char* what) {
        return r_.read(v) || fail(QStringLiteral("the %1 is cut short").arg(QLatin1String(what)));
    }

    bool within(quint32 n, quint32 limit, const char* what) {
        if (n <= limit) return true;
        tooLarge_ = true;
        return fail(QStringLiteral("the file asks for %1 %2, more than %3").arg(n).arg(QLatin1String(what)).arg(limit));
    }

    bool count(quint32& n, qint64 elementSize, const char* what) {
        return r_.count(n, elementSize) ||
               fail(QStringLiteral("the %1 count is missing or larger than the file").arg(QLatin1String(what)));
    }

    template <class Record>
    static bool decode(const QByteArray& blob, Record& record) {
        return record.fromBlob(blob);
    }

    template <class Record>
    bool blobMap(QMap<int, Record>& out, const char* what, quint32 limit) {
        quint32 n = 0;
        // A pair takes at least a key and a byte-array length.
        if (!count(n, 8, what) || !within(n, limit, what)) return false;
        for (quint32 k = 0; k < n; ++k) {
            qint32 key = 0;
            QByteArray blob;
            if (!r_.read(key) || !r_.read(blob)) return fail(QStringLiteral("the %1 are cut short").arg(what));
            if (out.contains(key)) return fail(QStringLiteral("%1 has key %2 twice").arg(what).arg(key));
            Record record;
            if (!decode(blob, record)) return fail(QStringLiteral("%1 record %2 does not decode").arg(what).arg(key));
            out.insert(key, record);
        }
        return true;
    }

    template <class Record>
    bool blobList(QList<Record>& out, const char* what, quint32 limit) {
        quint32 n = 0;
        if (!count(n, 4, what) || !within(n, limit, what)) return false;
        for (quint32 k = 0; k < n; ++k) {
            QByteArray blob;
            if (!r_.read(blob)) return fail(QStringLiteral("the %1 are cut short").arg(what));
            Record record;
            if (!decode(blob, record)) return fail(QStringLiteral("%1 entry %2 does not decode").arg(what).arg(k));
            out.append(record);
        }
        return true;
    }

    bool intMap(QMap<int, int>& out, const char* what) {
        quint32 n = 0;
        if (!count(n, 8, what)) return false;
        for (quint32 k = 0; k < n; ++k) {
            qint32 key = 0, v = 0;
            if (!r_.read(key) || !r_.read(v)) return fail(QStringLiteral("the %1 are cut short").arg(what));
            if (out.contains(key)) return fail(QStringLiteral("%1 has key %2 twice").arg(what).arg(key));
            out.insert(key, v);
        }
        return true;
    }

    bool intList(QList<int>& out) {
        quint32 n = 0;
        if (!count(n, 4, "splitter")) return false;
        for (quint32 k = 0; k < n; ++k) {
            qint32 v = 0;
            if (!r_.read(v)) return fail(QStringLiteral("the splitter sizes are cut short"));
            out.append(v);
        }
        return true;
    }

    bool stringList(QStringList& out) {
        quint32 n = 0;
        if (!count(n, 4, "row colour")) return false;
        for (quint32 k = 0; k < n; ++k) {
            QString s;
            if (!r_.read(s)) return fail(QStringLiteral("the row colours are cut short"));
            out.append(s);
        }
        return true;
    }

    bool variantMap(QVariantMap& out, int depth) {
        quint32 n = 0;
        // A key text length and a variant's type and null flag.
        if (!count(n, 9, "map")) return false;
        for (quint32 k = 0; k < n; ++k) {
            QString key;
            QVariant v;
            if (!r_.read(key)) return fail(QStringLiteral("a map is cut short"));
            if (!variant(v, depth + 1)) return false;
            if (out.contains(key)) return fail(QStringLiteral("a map has the key \"%1\" twice").arg(key));
            out.insert(key, v);
        }
        return true;
    }

    // Plain values and the containers of plain values; any other type is no
    // part of a project file.
    bool variant(QVariant& out, int depth) {
        if (depth > kMaxVariantDepth) return fail(QStringLiteral("values nest too deep"));
        quint32 type = 0;
        qint8 isNull = 0;
        if (!r_.read(type) || !r_.read(isNull)) return fail(QStringLiteral("a value is cut short"));
        auto plain = [&](auto v) {
            if (!r_.read(v)) return fail(QStringLiteral("a value is cut short"));
            out = QVariant::fromValue(v);
            return true;
        };
        switch (type) {
        case QMetaType::UnknownType: out = QVariant(); return true;
        case QMetaType::Bool: return plain(bool{});
        case QMetaType::Int: return plain(qint32{});
        case QMetaType::UInt: return plain(quint32{});
        case QMetaType::LongLong: return plain(qint64{});
        case QMetaType::ULongLong: return plain(quint64{});
        case QMetaType::Double: return plain(double{});
        case QMetaType::QString: return plain(QString{});
        case QMetaType::QByteArray: return plain(QByteArray{});
        case QMetaType::QStringList: {
            QStringList list;
            if (!stringList(list)) return false;
            out = list;
            return true;
        }
        case QMetaType::QVariantList: {
            quint32 n = 0;
            if (!count(n, 5, "list")) return false;
            QVariantList list;
            for (quint32 k = 0; k < n; ++k) {
                QVariant v;
                if (!variant(v, depth + 1)) return false;
                list.append(v);
            }
            out = list;
            return true;
        }
        case QMetaType::QVariantMap: {
            QVariantMap map;
            if (!variantMap(map, depth)) return false;
            out = map;
            return true;
        }
        default: return fail(QStringLiteral("a value of type %1 has no place here").arg(type));
        }
    }

    bool folders(QList<DeviceFolderRecord>& out) {
        quint32 n = 0;
        if (!count(n, 4, "device folder")) return false;
        for (quint32 k = 0; k < n; ++k) {
            QVariantMap map;
            if (!variantMap(map, 0)) return false;
            DeviceFolderRecord f;
            f.id = map.value(QStringLiteral("id")).toInt();
            f.name = map.value(QStringLiteral("name")).toString();
            f.parentId = map.value(QStringLiteral("parentId")).toInt();
            f.isExpanded = map.value(QStringLiteral("isExpanded")).toBool();
            out.append(f);
        }
        return true;
    }

    bool rows(QList<QVariantMap>& out) {
        quint32 n = 0;
        if (!count(n, 5, "timeline row") || !within(n, kMaxRows, "timeline rows")) return false;
        for (quint32 k = 0; k < n; ++k) {
            QVariant v;
            if (!variant(v, 0)) return false;
            out.append(v.toMap());
        }
        return true;
    }

    BlobReader r_;
    QString error_;
    bool tooLarge_ = false;
};

bool readable(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

QVariantMap folderMap(const DeviceFolderRecord& f) {
    return QVariantMap{{QStringLiteral("id"), f.id},
                       {QStringLiteral("name"), f.name},
                       {QStringLiteral("parentId"), f.parentId},
                       {QStringLiteral("isExpanded"), f.isExpanded}};
}

template <class T>
QList<QByteArray> blobsOf(const QList<T*>& records) {
    QList<QByteArray> out;
    for (const T* r : records) out.append(r->toBlob());
    return out;
}

bool onStage(double v) { return std::isfinite(v) && std::fabs(v) <= kMaxStageExtent; }

// Positions and sizes a file may hold: the console never writes others, and
// the servers take them as 32-bit integers.
QString stageProblem(const ProjectData& d) {
    for (auto it = d.media.constBegin(); it != d.media.constEnd(); ++it)
        if (!onStage(it->x) || !onStage(it->y) || !onStage(it->width) || !onStage(it->height))
            return QStringLiteral("media %1 has a position or size off the stage").arg(it.key());
    for (auto it = d.devices.constBegin(); it != d.devices.constEnd(); ++it)
        if (!onStage(it->stageX) || !onStage(it->stageY) || !onStage(it->width) || !onStage(it->height))
            return QStringLiteral("device %1 has a position or size off the stage").arg(it.key());
    return {};
}

// Parses and vets the file; `refusal` gets the operator's text when the file
// is refused for its size or its stage values.
bool parseProject(const QByteArray& bytes, ProjectData& d, QString& refusal) {
    refusal.clear();
    QString error;
    ProjectParser parser(bytes);
    if (!parser.parse(d, error)) {
        if (parser.tooLarge())
            refusal = QStringLiteral("项目文件过大，超出程序可以打开的范围（最多%1个媒体、%2个设备、%3个图层）")
                          .arg(kMaxMedia)
                          .arg(kMaxDevices)
                          .arg(kMaxRows / 5);
        qWarning().noquote() << "not a project file:" << error;
        return false;
    }
    if (const QString problem = stageProblem(d); !problem.isEmpty()) {
        refusal = QStringLiteral("项目文件中的位置或尺寸超出舞台范围，无法打开");
        qWarning().noquote() << "project file refused:" << problem;
        return false;
    }
    return true;
}

}  // namespace

void SidePanelHooks::loadTree(const QList<DeviceFolderRecord>& folders, const QMap<int, int>& folderPositions) {
    QList<QVariantMap> maps;
    for (const DeviceFolderRecord& f : folders) maps.append(folderMap(f));
    loadTree(maps, folderPositions);
}

QByteArray GConfig::projectFileBytes() const {
    BlobWriter w;
    QDataStream& s = w.s();

    QMap<int, QByteArray> media, devices;
    for (auto it = m_media.constBegin(); it != m_media.constEnd(); ++it) media.insert(it.key(), it->toBlob());
    for (auto it = m_devices.constBegin(); it != m_devices.constEnd(); ++it) devices.insert(it.key(), it->toBlob());
    QList<QByteArray> library;
    for (const MediaSource& m : m_mediaLibrary) library.append(m.toBlob());
    s << media << devices << qint32(m_timeAxisHooks->layerRowCount()) << library;
    s << qint32(m_timeAxisLength) << qint32(m_timelineStart) << qint32(m_timelineLength);
    s << m_timeAxisHooks->layerRowColors();

    QMap<int, int> folderPositions, devicePositions;
    m_sidePanelHooks->collectTreeOrder(folderPositions, devicePositions);
    QList<QVariantMap> folders;
    for (const DeviceFolderRecord& f : deviceFolders) folders.append(folderMap(f));
    s << folderPositions << devicePositions << folders;

    QVariantList rows;
    for (const QVariantMap& row : m_timeAxisHooks->layerRowStates()) rows.append(QVariant(row));
    s << rows;
    s << blobsOf(playControls()) << blobsOf(outControls()) << blobsOf(layerIOs());

    const StageViewport view = m_stageHooks->viewport();
    s << m_stageZoom << qint32(view.vScroll) << qint32(view.hScroll);
    const TimeAxisViewState axis = m_timeAxisHooks->viewState();
    s << qint32(axis.scale) << qint32(axis.speedIndex) << axis.checked << qint32(axis.playHead);
    s << m_mainWindowHooks->verticalSplitterSizes() << m_mainWindowHooks->horizontalSplitterSizes();
    s << QVariant() << quint32(kestrane::kRecordMagic);
    return w.take();
}

bool GConfig::saveProjectFile(const QString& path) {
    const QByteArray bytes = projectFileBytes();
    // The old file stays whole until the new one is written completely.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << "cannot write the project file" << path << file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning().noquote() << "writing the project file failed" << path << file.errorString();
        file.cancelWriting();
        return false;
    }
    const QString name = QFileInfo(path).fileName();
    m_projectPath = path;
    m_titleText = name;
    setSaved(true);
    auto settings = kestrane::openSettings();
    updateRecentProjects(*settings, name, path, false);
    return true;
}

bool GConfig::checkProjectFile(const QByteArray& bytes, QStringList& missing) const {
    missing.clear();
    ProjectData d;
    if (!parseProject(bytes, d, m_projectFileRefusal)) return false;
    for (const MediaSource& m : d.library)
        if (m.kind != 99 && !readable(m.path)) missing.append(m.path);
    return missing.isEmpty();
}

bool GConfig::loadProjectData(const QByteArray& bytes, const QString& path) {
    ProjectData d;
    if (!parseProject(bytes, d, m_projectFileRefusal)) return false;

    // Media items and library entries whose file has gone are left out.
    for (auto it = d.media.constBegin(); it != d.media.constEnd(); ++it)
        if (it->kind == 99 || readable(it->path)) m_media.insert(it.key(), it.value());
    for (auto it = d.devices.constBegin(); it != d.devices.constEnd(); ++it) m_devices.insert(it.key(), it.value());
    for (const MediaSource& m : d.library)
        if (m.kind == 99 || readable(m.path)) m_mediaLibrary.append(m);
    m_timelineStart = d.timelineStart;
    m_timelineLength = d.timelineLength;

    // Table row of each file row: a layer brings its four effect rows, so an
    // honest file maps onto itself; a hand-made one may not. An effect row
    // stands for the layer it belongs to when media or blocks name it.
    QVector<int> tableRow(d.rows.size(), -1);
    QVector<int> ownerRow(d.rows.size(), -1);
    int lastLayer = -1;
    int effectsLeft = 0;
    QList<std::pair<int, QVariantMap>> effectStates;
    for (int i = 0; i < d.rows.size(); ++i) {
        const QVariantMap& row = d.rows[i];
        const int role = row.value(QStringLiteral("role")).toInt();
        if (role == kLayerRole || role == kFolderRole) {
            const int at = m_timeAxisHooks->layerRowCount();
            m_timeAxisHooks->restoreLayerRow(row);
            tableRow[i] = at;
            ownerRow[i] = role == kLayerRole ? at : -1;
            lastLayer = role == kLayerRole ? at : -1;
            effectsLeft = role == kLayerRole ? kEffectRowsPerLayer : 0;
        } else if (role == kEffectRole && lastLayer >= 0) {
            ownerRow[i] = lastLayer;
            if (effectsLeft > 0) {
                tableRow[i] = lastLayer + 1 + kEffectRowsPerLayer - effectsLeft;
                effectStates.append({tableRow[i], row});
                --effectsLeft;
            }
        }
    }
    // The layer a file row index stands for in the table, or -1.
    auto layerOf = [&](int fileRow) { return fileRow >= 0 && fileRow < ownerRow.size() ? ownerRow[fileRow] : -1; };

    // The table inserts at row 0, so the last entry goes in first.
    const QList<MediaSource> library = m_mediaLibrary;
    for (auto it = library.crbegin(); it != library.crend(); ++it) {
        if (it->kind == 99)
            m_sidePanelHooks->insertFolderRow(*it);
        else
            m_sidePanelHooks->insertMediaRow(*it, it->folderKey);
    }
    m_sidePanelHooks->updateMediaOrder();

    deviceFolders = d.folders;
    m_sidePanelHooks->loadTree(deviceFolders, d.folderPositions);
    // Each device goes to index 0 of its folder: the last inserted ends first.
    QList<int> ids = m_devices.keys();
    std::stable_sort(ids.begin(), ids.end(), [&](int a, int b) {
        return d.devicePositions.value(a, 0) > d.devicePositions.value(b, 0);
    });
    for (int id : ids) {
        m_sidePanelHooks->insertDeviceItem(id, m_devices.value(id).folderId, true);
        m_stageHooks->addLoadedDeviceItem(id);
    }

    for (int id : m_media.keys()) m_stageHooks->addMediaItem(id);
    setTimeAxisLength(-1, false);
    QList<int> rowsWithMedia;
    for (auto it = m_media.begin(); it != m_media.end(); ++it) {
        const int row = layerOf(it->layer);
        if (row < 0) {
            // The record stays: the operator can still see and move it.
            qWarning().noquote() << "media" << it.key() << "names layer row" << it->layer
                                 << "which is no layer of the file";
            continue;
        }
        it->layer = row;
        m_timeAxisHooks->addMediaBlock(it.key(), row);
        if (!rowsWithMedia.contains(row)) rowsWithMedia.append(row);
    }
    // The key-frame bars under each layer, from the media's keys.
    for (int row : rowsWithMedia) refreshLayerEffectRows(row);
    // Once the bars are there: a hidden effect row disables their keys.
    for (const auto& [row, state] : effectStates) m_timeAxisHooks->restoreEffectRow(row, state);

    // A block names its row as the media do.
    for (PlayControlRecord r : d.playControls) {
        if (const int row = layerOf(r.layerRow); row >= 0) r.layerRow = row;
        m_timeAxisHooks->addPlayControlBlock(addPlayControl(r)->id);
    }
    for (const OutControlRecord& r : d.outControls) addOutControlRow(addOutControl(r)->id);
    for (LayerIORecord r : d.layerIOs) {
        if (const int row = layerOf(r.layerRow); row >= 0) r.layerRow = row;
        m_timeAxisHooks->addLayerIOBlock(addLayerIO(r)->id);
    }

    // A hand-edited or damaged view state must not leave the stage unusable.
    m_stageZoom = std::isfinite(d.stageZoom) ? std::clamp(d.stageZoom, kMinStageZoom, kMaxStageZoom) : kMinStageZoom;
    m_stageHooks->applyZoom(m_stageZoom);
    m_stageHooks->setScrollValues(d.stageHScroll, d.stageVScroll);
    m_stageHooks->showCustomScale(m_stageZoom);
    TimeAxisViewState axis = d.axis;
    axis.speedIndex = std::clamp(axis.speedIndex, 0, 2);
    notePlayPosition(axis.playHead);
    m_timeAxisHooks->setViewState(axis);
    m_timeAxisHooks->applyFolderStates();
    m_mainWindowHooks->setSplitterSizes(d.splitter1, d.splitter2);
    m_timeAxisHooks->relayoutBlocks();

    if (!path.isEmpty()) m_projectPath = path;
    m_titleText = QFileInfo(m_projectPath).fileName();
    setSaved(true);
    refreshStage();
    m_sidePanelHooks->restoreExpandState();

    if (m_autostartRun) return true;
    m_stageHooks->createVideoItems();
    if (kestrane::openSettings()->value(QStringLiteral("GeneralSettings/clientAutoConnectWhenOpen"), false).toBool())
        runLater([this] { m_mainWindowHooks->connectDevices(); }, 100);
    return true;
}
