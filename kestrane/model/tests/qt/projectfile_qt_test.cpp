// The project file: golden bytes of an empty and a full project, a load
// through recording windows that saves the same bytes again, damaged files
// refused without touching the open project, missing media, the view state
// clamped, the recent list.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "blobbytes.h"
#include "kestrane/gconfig.h"
#include "kestrane/settings.h"
#include "qt/qtapp.h"
#include "support/support.h"

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

// A window set that keeps what the loader hands it and answers the writer
// with it, as the real windows do.
class ProjectHooks : public ConsoleHooks {
public:
    QStringList calls;
    QList<QVariantMap> rows;
    QMap<int, int> folderPositions;
    QList<std::pair<int, int>> inserted;  // device id, folder id, in insertion order
    StageViewport view;
    TimeAxisViewState axis;
    QList<int> splitter1, splitter2;

    int layerRowCount() const override { return rows.size(); }
    QList<QVariantMap> layerRowStates() const override { return rows; }
    QStringList layerRowColors() const override {
        QStringList out;
        for (const QVariantMap& r : rows)
            if (r.value("role").toInt() != 102) out << r.value("color").toString();
        return out;
    }
    void restoreLayerRow(const QVariantMap& row) override {
        rows << row;
        calls << QStringLiteral("row %1").arg(row.value("role").toInt());
    }
    void insertFolderRow(const MediaSource& f) override { calls << "folder row " + f.path; }
    void insertMediaRow(const MediaSource& m, qint64 key) override {
        calls << QStringLiteral("media row %1 in %2").arg(m.fileName).arg(key);
    }
    void loadTree(const QList<DeviceFolderRecord>& folders, const QMap<int, int>& positions) override {
        folderPositions = positions;
        calls << QStringLiteral("tree %1 folders").arg(folders.size());
    }
    void insertDeviceItem(int id, int folder, bool loading) override {
        inserted << std::make_pair(id, folder);
        calls << QStringLiteral("device %1 in %2%3").arg(id).arg(folder).arg(loading ? "" : " (not loading)");
    }
    // Each device went to index 0 of its folder when it was inserted.
    void collectTreeOrder(QMap<int, int>& folders, QMap<int, int>& devices) const override {
        folders = folderPositions;
        for (int k = 0; k < inserted.size(); ++k) {
            int index = 0;
            for (int later = k + 1; later < inserted.size(); ++later)
                if (inserted[later].second == inserted[k].second) ++index;
            devices.insert(inserted[k].first, index);
        }
    }
    void restoreExpandState() override { calls << "expand"; }
    void addLoadedDeviceItem(int id) override { calls << QStringLiteral("stage device %1").arg(id); }
    void addMediaItem(int id) override { calls << QStringLiteral("stage media %1").arg(id); }
    void addMediaBlock(int id, int row) override { calls << QStringLiteral("block %1 on %2").arg(id).arg(row); }
    void addPlayControlBlock(int id) override { calls << QStringLiteral("play control %1").arg(id); }
    void addOutControlItem(int id) override { calls << QStringLiteral("out control %1").arg(id); }
    void addLayerIOBlock(int id) override { calls << QStringLiteral("output command %1").arg(id); }
    StageViewport viewport() const override { return view; }
    void setScrollValues(int h, int v) override {
        view.hScroll = h;
        view.vScroll = v;
    }
    TimeAxisViewState viewState() const override { return axis; }
    void setViewState(const TimeAxisViewState& s) override { axis = s; }
    QList<int> verticalSplitterSizes() const override { return splitter1; }
    QList<int> horizontalSplitterSizes() const override { return splitter2; }
    void setSplitterSizes(const QList<int>& a, const QList<int>& b) override {
        splitter1 = a;
        splitter2 = b;
    }
    void createVideoItems() override { calls << "video items"; }
};

// Variants and maps in their stream form, built by hand.
struct V {
    enum { Int, Bool, Str } kind;
    int i = 0;
    bool b = false;
    QString s;
};
V vi(int i) { return V{V::Int, i, false, {}}; }
V vb(bool b) { return V{V::Bool, 0, b, {}}; }
V vs(const QString& s) { return V{V::Str, 0, false, s}; }

void putValue(Bytes& b, const V& v) {
    switch (v.kind) {
    case V::Int: b.u32(2).i8(0).i32(v.i); break;
    case V::Bool: b.u32(1).i8(0).boolean(v.b); break;
    case V::Str: b.u32(10).i8(0).str(v.s); break;
    }
}
// A map goes out from its greatest key down.
void putMap(Bytes& b, const std::map<QString, V>& m) {
    b.u32(uint32_t(m.size()));
    for (auto it = m.rbegin(); it != m.rend(); ++it) {
        b.str(it->first);
        putValue(b, it->second);
    }
}
QVariantMap toVariantMap(const std::map<QString, V>& m) {
    QVariantMap out;
    for (const auto& [k, v] : m)
        out.insert(k, v.kind == V::Int ? QVariant(v.i) : v.kind == V::Bool ? QVariant(v.b) : QVariant(v.s));
    return out;
}

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        save("XDG_CONFIG_HOME", dir.str() + "/config");
        c().setHooks(&hooks);
        c().clearProject();
        c().setAutostartRun(true);
    }
    void TearDown() override {
        // A test may have installed windows of its own, gone by now.
        c().setHooks(&hooks);
        c().setAutostartRun(false);
        c().clearProject();
        c().setHooks(nullptr);
        for (const auto& [name, value] : saved) {
            if (value.first)
                setenv(name.c_str(), value.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    static GConfig& c() { return GConfig::instance(); }
    void save(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved.emplace_back(name, std::make_pair(old != nullptr, std::string(old ? old : "")));
        setenv(name.c_str(), value.c_str(), 1);
    }
    QString path(const char* name) const { return QString::fromStdString((dir / name).string()); }
    static QByteArray readAll(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The records of the full project.
    QString picture;
    MediaSource media, libraryFile, libraryFolder;
    DeviceRecord dev1, dev2;
    PlayControlRecord play;
    OutControlRecord out;
    LayerIORecord io;
    std::vector<std::map<QString, V>> rowMaps;
    DeviceFolderRecord folder;

    void makeRecords() {
        picture = path("片头.png");
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::blue);
        ASSERT_TRUE(image.save(picture));

        media.kind = 1;
        media.path = picture;
        media.fileName = q("片头.png");
        media.start = 0;
        media.duration = 5000;
        media.layer = 0;
        media.id = 3;
        media.x = 10;
        media.y = 20;
        media.width = 400;
        media.height = 300;
        media.sourceKey = 1700000000123;
        EffectKey key;
        key.id = 1;
        key.kind = kestrane::EffectPosition;
        key.time = 1000;
        key.value1 = 50;
        key.value2 = 60;
        media.effects.insert(1, key);

        libraryFolder.kind = 99;
        libraryFolder.path = q("素材夹");
        libraryFolder.folderKey = 42;
        libraryFile = media;
        libraryFile.layer = -1;
        libraryFile.folderKey = 42;
        libraryFile.effects.clear();

        dev1.name = q("左屏");
        dev1.serverIp = "127.0.0.2";
        dev1.width = 1920;
        dev1.height = 1080;
        dev1.outputIndex = 1;
        dev2 = dev1;
        dev2.name = q("右屏");
        dev2.outputIndex = 2;
        dev2.stageX = 1920;

        play.id = 1;
        play.name = q("暂停一");
        play.time = 2000;
        out.id = 1;
        out.name = q("串口");
        out.type = 1;
        out.ip = "127.0.0.9";
        out.port = 5000;
        io.id = 1;
        io.outControlId = 1;
        io.name = q("开灯");
        io.data = "ON";
        io.time = 3000;

        rowMaps = {
            {{"role", vi(100)}, {"eyeIsHidden", vb(false)}, {"isLock", vb(true)}, {"name", vs(q("图层1"))},
             {"color", vs("#ff0000")}, {"type", vi(0)}},
            {{"role", vi(102)}, {"eyeIsHidden", vb(false)}, {"isLock", vb(false)}},
            {{"role", vi(101)}, {"eyeIsHidden", vb(true)}, {"isLock", vb(false)}, {"name", vs(q("分组"))},
             {"color", vs("#00ff00")}, {"type", vi(1)}, {"folderStatus", vb(true)}},
        };
        folder.id = 5;
        folder.name = q("机柜");
        folder.parentId = 0;
        folder.isExpanded = true;
    }

    void fillProject() {
        c().media().insert(3, media);
        c().devices().insert(1, dev1);
        c().devices().insert(2, dev2);
        c().mediaLibrary() << libraryFolder << libraryFile;
        c().setTimelineStartValue(0);
        c().setTimelineLengthValue(60000);
        c().setTimeAxisLengthValue(60000);
        c().addPlayControl(play);
        c().addOutControl(out);
        c().addLayerIO(io);
        c().deviceFolders = {folder};
        c().setStageZoomValue(0.5);
        for (const auto& m : rowMaps) hooks.rows << toVariantMap(m);
        hooks.folderPositions = {{5, 2}};
        // Device 2 above device 1 in the tree.
        hooks.inserted = {{1, 0}, {2, 0}};
        hooks.view.hScroll = 40;
        hooks.view.vScroll = 30;
        hooks.axis = TimeAxisViewState{3, 2, true, 1234};
        hooks.splitter1 = {1200, 500};
        hooks.splitter2 = {1680, 240};
    }

    // The full project's fields, one entry per field, in file order.
    std::vector<QByteArray> fullFields() const {
        std::vector<Bytes> f(26);
        f[0].u32(1).i32(3).bytes(media.toBlob());
        f[1].u32(2).i32(2).bytes(dev2.toBlob()).i32(1).bytes(dev1.toBlob());
        f[2].i32(3);
        f[3].u32(2).bytes(libraryFolder.toBlob()).bytes(libraryFile.toBlob());
        f[4].i32(60000);
        f[5].i32(0);
        f[6].i32(60000);
        f[7].u32(2).str("#ff0000").str("#00ff00");
        f[8].u32(1).i32(5).i32(2);
        f[9].u32(2).i32(2).i32(0).i32(1).i32(1);
        f[10].u32(1);
        putMap(f[10], {{"id", vi(5)}, {"name", vs(q("机柜"))}, {"parentId", vi(0)}, {"isExpanded", vb(true)}});
        f[11].u32(3);
        for (const auto& m : rowMaps) {
            f[11].u32(8).i8(0);
            putMap(f[11], m);
        }
        f[12].u32(1).bytes(play.toBlob());
        f[13].u32(1).bytes(out.toBlob());
        f[14].u32(1).bytes(io.toBlob());
        f[15].f64(0.5);
        f[16].i32(30);
        f[17].i32(40);
        f[18].i32(3);
        f[19].i32(2);
        f[20].boolean(true);
        f[21].i32(1234);
        f[22].u32(2).i32(1200).i32(500);
        f[23].u32(2).i32(1680).i32(240);
        f[24].u32(0).i8(1);
        f[25].u32(0xCC0D8983u);
        std::vector<QByteArray> out;
        for (const Bytes& b : f) out.push_back(b.data());
        return out;
    }
    static QByteArray join(const std::vector<QByteArray>& fields) {
        QByteArray all;
        for (const QByteArray& f : fields) all += f;
        return all;
    }

    // A small open project that a refused file must leave as it is.
    void sentinelProject() {
        DeviceRecord d;
        d.name = q("留着");
        c().devices().insert(7, d);
        c().setProjectPath("/old/open.vadra");
        hooks.calls.clear();
    }
    void expectSentinelUntouched() {
        EXPECT_EQ(c().deviceIds(), QList<int>{7});
        EXPECT_TRUE(c().mediaIds().isEmpty());
        EXPECT_TRUE(c().mediaLibrary().isEmpty());
        EXPECT_TRUE(c().deviceFolders.isEmpty());
        EXPECT_TRUE(c().playControls().isEmpty());
        EXPECT_EQ(c().projectPath(), "/old/open.vadra");
        EXPECT_TRUE(hooks.calls.isEmpty()) << hooks.calls.join(", ").toStdString();
    }

    testsupport::TempDir dir;
    ProjectHooks hooks;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved;
};

}  // namespace

TEST_F(ProjectFileTest, AnEmptyProjectIs106BytesAndLoadsBackEmpty) {
    c().setTimelineStartValue(0);
    c().setTimelineLengthValue(0);
    c().setTimeAxisLengthValue(0);
    c().setStageZoomValue(0.125);
    Bytes b;
    b.u32(0).u32(0).i32(0).u32(0);               // media, devices, rows, library
    b.i32(0).i32(0).i32(0);                      // display length, start, length
    b.u32(0).u32(0).u32(0).u32(0).u32(0);        // colours, two tree maps, folders, rows
    b.u32(0).u32(0).u32(0);                      // show-control lists
    b.f64(0.125).i32(0).i32(0);                  // stage
    b.i32(0).i32(0).boolean(false).i32(0);       // time axis
    b.u32(0).u32(0);                             // splitters
    b.u32(0).i8(1).u32(0xCC0D8983u);             // invalid variant, mark
    ASSERT_EQ(b.data().size(), 106);

    const QString file = path("空.vadra");
    ASSERT_TRUE(c().saveProjectFile(file));
    EXPECT_EQ(readAll(file), b.data());
    EXPECT_EQ(c().projectPath(), file);
    EXPECT_EQ(c().titleText(), q("空.vadra"));
    EXPECT_TRUE(c().isSaved());

    QStringList missing{"stale"};
    EXPECT_TRUE(c().checkProjectFile(b.data(), missing));
    EXPECT_TRUE(missing.isEmpty());
    c().clearProject();
    ASSERT_TRUE(c().loadProjectData(b.data(), file));
    EXPECT_TRUE(c().mediaIds().isEmpty());
    EXPECT_TRUE(c().deviceIds().isEmpty());
    EXPECT_EQ(c().projectFileBytes(), b.data());
}

TEST_F(ProjectFileTest, FullProjectSavesAsGoldenAndLoadsThroughTheWindowsToTheSameBytes) {
    makeRecords();
    fillProject();
    const QByteArray golden = join(fullFields());
    const QString file = path("演出.vadra");
    ASSERT_TRUE(c().saveProjectFile(file));
    ASSERT_EQ(readAll(file).toHex().toStdString(), golden.toHex().toStdString());

    QStringList missing;
    EXPECT_TRUE(c().checkProjectFile(golden, missing));
    EXPECT_TRUE(missing.isEmpty());

    c().clearProject();
    ProjectHooks fresh;
    c().setHooks(&fresh);
    c().setStageZoomValue(0.125);
    ASSERT_TRUE(c().loadProjectData(golden, file));
    // Rows, the library table from its last entry, the tree, the devices by
    // saved position (the higher first), media, blocks, controls.
    EXPECT_EQ(fresh.calls, (QStringList{
                               "row 100", "row 101",
                               "media row " + q("片头.png") + " in 42", "folder row " + q("素材夹"),
                               "tree 1 folders",
                               "device 1 in 0", "stage device 1", "device 2 in 0", "stage device 2",
                               "stage media 3", "block 3 on 0",
                               "play control 1", "out control 1", "output command 1",
                               "expand",
                           }));
    EXPECT_EQ(c().deviceFolders, QList<DeviceFolderRecord>{folder});
    EXPECT_EQ(c().devices().value(2).name, q("右屏"));
    EXPECT_EQ(c().mediaRecord(3).effects.value(1).value2, 60.0);
    EXPECT_EQ(c().stageZoom(), 0.5);
    EXPECT_EQ(c().playPositionCopy(), 1234);
    EXPECT_EQ(c().timeAxisLength(), 60000);
    EXPECT_EQ(c().titleText(), q("演出.vadra"));
    EXPECT_TRUE(c().isSaved());
    // The loaded tree keeps the saved folder positions; the rows that were
    // restored come back with the effect row rebuilt by the time axis.
    fresh.rows.insert(1, toVariantMap(rowMaps[1]));
    EXPECT_EQ(c().projectFileBytes().toHex().toStdString(), golden.toHex().toStdString());
}

TEST_F(ProjectFileTest, DamagedFilesAreRefusedAndTheOpenProjectStays) {
    makeRecords();
    const std::vector<QByteArray> fields = fullFields();
    const QByteArray whole = join(fields);
    auto with = [&](int index, const QByteArray& replacement) {
        std::vector<QByteArray> f = fields;
        f[index] = replacement;
        return join(f);
    };
    QByteArray shortGrid = dev1.toBlob();
    const int at = shortGrid.indexOf(QByteArray::fromHex("00000691"));
    ASSERT_GT(at, 0);
    shortGrid.replace(at, 4, QByteArray::fromHex("00000690"));
    shortGrid.remove(at + 4, 16);

    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"mark changed", with(25, Bytes().u32(0xCC0D8984u).data())},
        {"mark missing", whole.left(whole.size() - 4)},
        {"a byte after the mark", whole + QByteArray(1, '\0')},
        {"cut after one byte", whole.left(1)},
        {"cut in the middle", whole.left(whole.size() / 2)},
        {"cut one byte short", whole.left(whole.size() - 1)},
        {"empty", QByteArray()},
        {"huge media count", with(0, Bytes().u32(0x7FFFFFF0u).raw(fields[0].mid(4)).data())},
        {"huge library count", with(3, Bytes().u32(0x7FFFFFF0u).raw(fields[3].mid(4)).data())},
        {"huge row count", with(11, Bytes().u32(0x7FFFFFF0u).raw(fields[11].mid(4)).data())},
        {"media key twice", with(0, Bytes().u32(2).i32(3).bytes(media.toBlob()).i32(3).bytes(media.toBlob()).data())},
        {"tree key twice", with(8, Bytes().u32(2).i32(5).i32(2).i32(5).i32(3).data())},
        {"device grid of 1680 points", with(1, Bytes().u32(1).i32(1).bytes(shortGrid).data())},
        {"media record cut short", with(0, Bytes().u32(1).i32(3).bytes(media.toBlob().left(20)).data())},
        {"a value of a foreign type", with(24, Bytes().u32(64).i8(0).data())},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        sentinelProject();
        QStringList missing{"stale"};
        EXPECT_FALSE(c().checkProjectFile(bytes, missing));
        EXPECT_TRUE(missing.isEmpty());
        EXPECT_FALSE(c().loadProjectData(bytes, "/new/file.vadra"));
        expectSentinelUntouched();
        c().clearProject();
    }
    // The untouched table is sound.
    QStringList missing;
    EXPECT_TRUE(c().checkProjectFile(whole, missing));
}

TEST_F(ProjectFileTest, MissingMediaAreListedAndLeftOutFoldersNeverChecked) {
    makeRecords();
    const QByteArray file = join(fullFields());
    ASSERT_TRUE(QFile::remove(picture));
    QStringList missing;
    EXPECT_FALSE(c().checkProjectFile(file, missing));
    EXPECT_EQ(missing, QStringList{picture});

    ASSERT_TRUE(c().loadProjectData(file, path("演出.vadra")));
    EXPECT_TRUE(c().mediaIds().isEmpty());
    ASSERT_EQ(c().mediaLibrary().size(), 1);
    EXPECT_EQ(c().mediaLibrary()[0].kind, 99);
    EXPECT_EQ(c().deviceIds(), (QList<int>{1, 2}));
}

TEST_F(ProjectFileTest, ViewStateIsClampedAndABlockWithoutItsRowKeepsItsRecord) {
    makeRecords();
    struct Case {
        double zoom;
        int speed;
        double zoomAfter;
        int speedAfter;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {0.5, 1, 0.5, 1}, {nan, 2, 0.125, 2}, {inf, 0, 0.125, 0}, {5.0, 7, 1.0, 2},
        {0.01, -1, 0.125, 0}, {-3.0, 3, 0.125, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.zoom);
        std::vector<QByteArray> f = fullFields();
        f[15] = Bytes().f64(k.zoom).data();
        f[19] = Bytes().i32(k.speed).data();
        MediaSource stray = media;
        stray.layer = 9;
        f[0] = Bytes().u32(1).i32(3).bytes(stray.toBlob()).data();
        hooks.calls.clear();
        ASSERT_TRUE(c().loadProjectData(join(f), path("v.vadra")));
        EXPECT_EQ(c().stageZoom(), k.zoomAfter);
        EXPECT_EQ(hooks.axis.speedIndex, k.speedAfter);
        EXPECT_EQ(c().mediaIds(), QList<int>{3});
        EXPECT_EQ(hooks.calls.filter("block").size(), 0);
        c().clearProject();
        hooks.rows.clear();
        hooks.inserted.clear();
    }
}

TEST_F(ProjectFileTest, FailedSaveChangesNothingAndTheRecentListStaysUnique) {
    c().setProjectPath("/old/open.vadra");
    c().setSaved(false);
    const QString title = c().titleText();
    EXPECT_FALSE(c().saveProjectFile(path("no-such-folder/x.vadra")));
    EXPECT_EQ(c().projectPath(), "/old/open.vadra");
    EXPECT_EQ(c().titleText(), title);
    EXPECT_FALSE(c().isSaved());

    auto recent = [] {
        QStringList paths;
        for (const QVariant& e : kestrane::openSettings()->value("projects/projectData").toList())
            paths << e.toStringList().value(1);
        return paths;
    };
    const QString a = path("a.vadra");
    ASSERT_TRUE(c().saveProjectFile(a));
    ASSERT_TRUE(c().saveProjectFile(a));
    EXPECT_EQ(recent(), QStringList{a});
    QStringList expected{a};
    for (int k = 1; k <= 6; ++k) {
        const QString p = path(("p" + std::to_string(k) + ".vadra").c_str());
        ASSERT_TRUE(c().saveProjectFile(p));
        expected.prepend(p);
    }
    EXPECT_EQ(recent(), expected.mid(0, 6));
    EXPECT_FALSE(recent().contains(a));
}

TEST_F(ProjectFileTest, ASavedFileIsReplacedOnlyWhole) {
    const QString file = path("keep.vadra");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    ASSERT_TRUE(c().saveProjectFile(file));
    EXPECT_EQ(readAll(file), c().projectFileBytes());
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(QString::fromStdString(dir.str())).entryList(QDir::Files), QStringList{"keep.vadra"});
}

TEST_F(ProjectFileTest, SeededMutationsNeverHalfLoad) {
    makeRecords();
    const QByteArray whole = join(fullFields());
    std::mt19937 rng(20261211);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes = whole;
        const int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
            const int at = int(rng() % uint32_t(bytes.size()));
            switch (rng() % 4) {
            case 0: bytes[at] = char(rng()); break;
            case 1: bytes.truncate(at); break;
            case 2: bytes.insert(at, char(rng())); break;
            case 3: bytes.replace(at, 4, QByteArray::fromHex("7ffffff0")); break;
            }
        }
        sentinelProject();
        QStringList missing;
        const bool checked = c().checkProjectFile(bytes, missing);
        const bool loaded = c().loadProjectData(bytes, "/new/file.vadra");
        if (!loaded) {
            ++refused;
            EXPECT_FALSE(checked);
            EXPECT_TRUE(missing.isEmpty());
            expectSentinelUntouched();
        }
        c().clearProject();
        hooks.rows.clear();
        hooks.inserted.clear();
    }
    EXPECT_GT(refused, 250);
}

namespace {

// The rows as the time axis builds them: a layer brings its four effect rows.
class TableHooks : public ProjectHooks {
public:
    void restoreLayerRow(const QVariantMap& row) override {
        ProjectHooks::restoreLayerRow(row);
        if (row.value("role").toInt() == 100)
            for (int k = 0; k < 4; ++k) rows << QVariantMap{{"role", 102}};
    }
    void restoreEffectRow(int row, const QVariantMap& state) override {
        calls << QStringLiteral("effect row %1 eye %2 lock %3")
                     .arg(row)
                     .arg(state.value("eyeIsHidden").toBool())
                     .arg(state.value("isLock").toBool());
    }
    void addEffect(int row, int kind, int mediaId, const QList<int>& keys) override {
        calls << QStringLiteral("keys of %1 kind %2 on %3: %4").arg(mediaId).arg(kind).arg(row).arg(keys.size());
    }
};

}  // namespace

TEST_F(ProjectFileTest, EffectRowsComeBackWithEyeAndLockAndMediaOnAnEffectRowGoToItsLayer) {
    makeRecords();
    TableHooks table;
    c().setHooks(&table);
    // Two layers with their effect rows; the second layer's scale row is
    // hidden and its opacity row locked.
    const std::map<QString, V> layer1 = rowMaps[0];
    std::map<QString, V> layer2 = rowMaps[0];
    layer2["name"] = vs(q("图层2"));
    auto effect = [](bool eye, bool lock) {
        return std::map<QString, V>{{"role", vi(102)}, {"eyeIsHidden", vb(eye)}, {"isLock", vb(lock)}};
    };
    const std::vector<std::map<QString, V>> rows = {
        layer1, effect(false, false), effect(false, false), effect(false, false), effect(false, false),
        layer2, effect(false, false), effect(true, false),  effect(false, false), effect(false, true),
    };
    std::vector<QByteArray> f = fullFields();
    Bytes r;
    r.u32(uint32_t(rows.size()));
    for (const auto& m : rows) {
        r.u32(8).i8(0);
        putMap(r, m);
    }
    f[11] = r.data();
    // Media naming, in the file's rows: the first layer, an effect row of
    // the first layer, an effect row of the second.
    struct Case {
        int fileRow;
        int layer;
    };
    const Case cases[] = {{0, 0}, {3, 0}, {7, 5}, {9, 5}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.fileRow);
        MediaSource m = media;
        m.layer = k.fileRow;
        io.layerRow = k.fileRow;
        f[0] = Bytes().u32(1).i32(3).bytes(m.toBlob()).data();
        f[14] = Bytes().u32(1).bytes(io.toBlob()).data();
        table.calls.clear();
        ASSERT_TRUE(c().loadProjectData(join(f), path("e.vadra")));
        EXPECT_EQ(c().mediaRecord(3).layer, k.layer);
        EXPECT_TRUE(table.calls.contains(QStringLiteral("block 3 on %1").arg(k.layer)))
            << table.calls.join(", ").toStdString();
        // The position keys on the layer's position row.
        EXPECT_TRUE(table.calls.contains(QStringLiteral("keys of 3 kind 1 on %1: 1").arg(k.layer + 1)));
        ASSERT_EQ(c().layerIOs().size(), 1);
        EXPECT_EQ(c().layerIOs().first()->layerRow, k.layer);
        EXPECT_EQ(table.calls.filter("effect row"),
                  (QStringList{"effect row 1 eye 0 lock 0", "effect row 2 eye 0 lock 0", "effect row 3 eye 0 lock 0",
                               "effect row 4 eye 0 lock 0", "effect row 6 eye 0 lock 0", "effect row 7 eye 1 lock 0",
                               "effect row 8 eye 0 lock 0", "effect row 9 eye 0 lock 1"}));
        c().clearProject();
        table.rows.clear();
        table.inserted.clear();
    }
    c().setHooks(&hooks);
}

TEST_F(ProjectFileTest, AFileAskingForTooMuchIsRefusedWithItsReason) {
    makeRecords();
    // Field, count and the smallest bytes of one entry. Filler bytes make
    // the count fit the file, so only the bound can refuse it.
    struct Case {
        int field;
        uint32_t count;
        int entryBytes;
        bool loads;
    };
    const Case cases[] = {
        {0, 20001, 8, false},   // media items
        {1, 1025, 8, false},    // devices
        {3, 20001, 4, false},   // library entries
        {11, 5001, 5, false},   // timeline rows
        {12, 10001, 4, false},  // play controls
        {14, 10001, 4, false},  // output commands
        {11, 5000, 5, true},    // rows at the bound: each an empty row
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.field);
        SCOPED_TRACE(k.count);
        std::vector<QByteArray> f = fullFields();
        Bytes b;
        b.u32(k.count);
        QByteArray field = b.data();
        if (k.field == 11)
            for (uint32_t i = 0; i < k.count; ++i) field += Bytes().u32(0).i8(1).data();
        else
            field += QByteArray(int(k.count) * k.entryBytes, '\0');
        f[size_t(k.field)] = field;
        sentinelProject();
        QStringList missing;
        EXPECT_EQ(c().checkProjectFile(join(f), missing), k.loads);
        EXPECT_EQ(c().projectFileRefusal().isEmpty(), k.loads) << c().projectFileRefusal().toStdString();
        EXPECT_EQ(c().loadProjectData(join(f), path("big.vadra")), k.loads);
        if (!k.loads) {
            EXPECT_TRUE(missing.isEmpty());
            EXPECT_TRUE(c().projectFileRefusal().contains(q("项目文件过大")));
            expectSentinelUntouched();
        }
        c().clearProject();
        hooks.rows.clear();
        hooks.inserted.clear();
    }
}

TEST_F(ProjectFileTest, StagePositionsThatAreNoPlaceOnAWallAreRefused) {
    makeRecords();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::function<void(MediaSource&, DeviceRecord&)> set;
        bool loads;
    };
    const Case cases[] = {
        {"media x NaN", [&](MediaSource& m, DeviceRecord&) { m.x = nan; }, false},
        {"media y 1e300", [](MediaSource& m, DeviceRecord&) { m.y = 1e300; }, false},
        {"media width -inf", [&](MediaSource& m, DeviceRecord&) { m.width = -inf; }, false},
        {"media height 2^31", [](MediaSource& m, DeviceRecord&) { m.height = 2147483648.0; }, false},
        {"device x 1e300", [](MediaSource&, DeviceRecord& d) { d.stageX = 1e300; }, false},
        {"device y NaN", [&](MediaSource&, DeviceRecord& d) { d.stageY = nan; }, false},
        {"far but on a wall", [](MediaSource& m, DeviceRecord& d) { m.x = -250000; d.stageX = 3840000; }, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        MediaSource m = media;
        DeviceRecord d = dev1;
        k.set(m, d);
        std::vector<QByteArray> f = fullFields();
        f[0] = Bytes().u32(1).i32(3).bytes(m.toBlob()).data();
        f[1] = Bytes().u32(2).i32(2).bytes(dev2.toBlob()).i32(1).bytes(d.toBlob()).data();
        sentinelProject();
        QStringList missing;
        EXPECT_EQ(c().checkProjectFile(join(f), missing), k.loads);
        EXPECT_EQ(c().loadProjectData(join(f), path("far.vadra")), k.loads);
        if (!k.loads) {
            EXPECT_TRUE(c().projectFileRefusal().contains(q("超出舞台范围")));
            expectSentinelUntouched();
        }
        c().clearProject();
        hooks.rows.clear();
        hooks.inserted.clear();
    }
}
