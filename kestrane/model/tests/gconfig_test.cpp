#include <gtest/gtest.h>

#include <QFile>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <thread>
#include <vector>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"
#include "support/RecordingPreview.h"
#include "support/support.h"

namespace {

// Records what the configuration object asks of the views.
class RecordingHooks : public ConsoleHooks {
public:
    int position = 0;
    QList<bool> saved;
    QList<int> updates;
    QList<int> removedIOBlocks;
    QList<int> removedPlayBlocks;

    int playPosition() const override { return position; }
    void setPlayPosition(int ms) override { position = ms; }
    void savedChanged(bool s) override { saved.append(s); }
    void mediaUpdateRequest(int kind) override { updates.append(kind); }
    void removeLayerIOBlock(int id) override { removedIOBlocks.append(id); }
    void removePlayControlBlock(int id) override { removedPlayBlocks.append(id); }
};

class GConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        c.setHooks(nullptr);
        c.clearProject();
        c.setRealtimeUpdate(false);
        c.setHooks(&hooks);
        c.setPreview(&preview);
    }
    void TearDown() override {
        c.setHooks(nullptr);
        c.clearProject();
        c.setRealtimeUpdate(false);
        c.setPreview(nullptr);
    }

    EffectKey key(int id, int kind, int time, double v1, double v2 = 0, bool disabled = false) {
        EffectKey e;
        e.id = id;
        e.kind = kind;
        e.time = time;
        e.value1 = v1;
        e.value2 = v2;
        e.disabled = disabled;
        return e;
    }
    // A media item with the given keys, placed at `start`.
    int addMedia(int id, int start, const QList<EffectKey>& keys) {
        MediaSource m;
        m.id = id;
        m.start = start;
        for (const EffectKey& k : keys) m.effects.insert(k.id, k);
        for (int kind = 1; kind <= 4; ++kind) m.refreshEffectIndex(kind);
        c.media().insert(id, m);
        return id;
    }

    GConfig& c = GConfig::instance();
    RecordingHooks hooks;
    RecordingPreview preview;
};

}  // namespace

TEST_F(GConfigTest, OneInstanceWithItsFixedTexts) {
    EXPECT_EQ(&GConfig::instance(), &c);
    const QStringList presets = c.resolutionPresets();
    ASSERT_EQ(presets.size(), 12);
    EXPECT_EQ(presets[0], QStringLiteral("添加设备"));
    EXPECT_EQ(presets[1], QStringLiteral("VGA  (640x480)"));
    EXPECT_EQ(presets[3], QStringLiteral("XGA  (1024x768)"));
    EXPECT_EQ(presets[9], QStringLiteral("HD   (1920x1080)"));
    EXPECT_EQ(presets[10], QStringLiteral("UHD  (1920x1200)"));
    EXPECT_EQ(presets[11], QStringLiteral("自定义"));
    const QStringList add = c.addMediaTexts();
    ASSERT_EQ(add.size(), 11);
    EXPECT_EQ(add[0], QStringLiteral("添加视频、图片"));
    EXPECT_EQ(add[6], QStringLiteral("添加MDX512记录"));
    EXPECT_EQ(add[10], QStringLiteral("添加媒体特效"));
    EXPECT_TRUE(c.menuItems(QStringLiteral("none")).isEmpty());
    EXPECT_TRUE(c.toolIcons(QStringLiteral("none")).isEmpty());
    EXPECT_EQ(c.stageZoom(), 0.125);
    EXPECT_EQ(c.editMode(), 1);
    EXPECT_EQ(c.defaultPicDurationMs(), 30000);
    EXPECT_EQ(c.worldBlock().channelCount, 0);
}

TEST_F(GConfigTest, MediaAndDeviceIdsComeAfterTheLargest) {
    EXPECT_EQ(c.nextMediaId(), 1);
    EXPECT_EQ(c.nextDeviceId(), 1);
    for (int id : {1, 2, 7}) c.media().insert(id, MediaSource());
    EXPECT_EQ(c.nextMediaId(), 8);
    c.media().remove(2);  // a freed id below the largest is not reused
    EXPECT_EQ(c.nextMediaId(), 8);
    c.media().remove(7);  // a freed largest id is
    EXPECT_EQ(c.nextMediaId(), 2);
    c.devices().insert(4, DeviceRecord());
    EXPECT_EQ(c.nextDeviceId(), 5);
    EXPECT_EQ(c.deviceIds(), QList<int>{4});
    EXPECT_EQ(c.mediaIds(), QList<int>{1});
}

TEST_F(GConfigTest, ControlIdsCountFromZero) {
    EXPECT_EQ(c.nextOutControlId(), 1);
    EXPECT_EQ(c.nextLayerIOId(), 1);
    EXPECT_EQ(c.nextPlayControlId(), 1);
    OutControlRecord o;
    o.id = 3;
    c.addOutControl(o);
    o.id = 1;
    c.addOutControl(o);
    EXPECT_EQ(c.nextOutControlId(), 4);
    LayerIORecord l;
    l.id = -5;
    c.addLayerIO(l);
    l.id = 0;
    c.addLayerIO(l);
    EXPECT_EQ(c.nextLayerIOId(), 1);
    PlayControlRecord p;
    p.id = 6;
    c.addPlayControl(p);
    EXPECT_EQ(c.nextPlayControlId(), 7);
}

// Ids stored in a project can sit at INT_MAX; the next record takes the
// smallest free id rather than a wrapped, negative one.
TEST_F(GConfigTest, IdsAtTheLimitTakeTheSmallestFreeOne) {
    const int top = std::numeric_limits<int>::max();
    struct Case {
        QList<int> ids;
        int next;
    } cases[] = {
        {{}, 1},
        {{top}, 1},
        {{1, 2, top}, 3},
        {{top, 2, 1, 4}, 3},
        {{-7, 0, top}, 1},
        {{top - 1}, top},
        {{1, top - 1, top}, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::PrintToString(k.ids.toVector().toStdVector()));
        EXPECT_EQ(kestrane::nextFreeId(k.ids), k.next);
    }

    c.devices().insert(top, DeviceRecord());
    c.devices().insert(1, DeviceRecord());
    EXPECT_EQ(c.nextDeviceId(), 2);
    c.media().insert(top, MediaSource());
    EXPECT_EQ(c.nextMediaId(), 1);
    OutControlRecord o;
    o.id = top;
    c.addOutControl(o);
    EXPECT_EQ(c.nextOutControlId(), 1);
    LayerIORecord l;
    l.id = top;
    c.addLayerIO(l);
    l.id = 1;
    c.addLayerIO(l);
    EXPECT_EQ(c.nextLayerIOId(), 2);
    PlayControlRecord p;
    p.id = top;
    c.addPlayControl(p);
    EXPECT_EQ(c.nextPlayControlId(), 1);
}

TEST_F(GConfigTest, LookupsFindInPlaceRecords) {
    OutControlRecord o;
    o.id = 2;
    o.name = QStringLiteral("a");
    c.addOutControl(o);
    ASSERT_NE(c.findOutControl(2), nullptr);
    c.findOutControl(2)->baud = 115200;
    EXPECT_EQ(c.outControls().first()->baud, 115200);
    EXPECT_EQ(c.findOutControl(3), nullptr);
    EXPECT_EQ(c.findLayerIO(1), nullptr);
    EXPECT_EQ(c.findPlayControl(1), nullptr);
    EXPECT_TRUE(c.eraseOutControl(2));
    EXPECT_FALSE(c.eraseOutControl(2));
    EXPECT_TRUE(c.outControls().isEmpty());

    // A missing media record is a default one.
    const MediaSource none = c.mediaRecord(99);
    EXPECT_EQ(none.id, -1);
    EXPECT_EQ(none.start, -1);
    EXPECT_EQ(c.mediaSource(99), nullptr);
    EXPECT_EQ(c.device(99), nullptr);
}

TEST_F(GConfigTest, NameAndCommandChecks) {
    struct Case {
        int id;
        QString name;
        bool free;
    };
    OutControlRecord o;
    o.id = 1;
    o.name = QStringLiteral("serial");
    c.addOutControl(o);
    o.id = 2;
    o.name = QString();
    c.addOutControl(o);
    o.id = 3;
    o.name = QStringLiteral("");
    c.addOutControl(o);
    const QList<Case> cases = {
        {5, QString(), true},                   // empty: free although others are empty
        {5, QStringLiteral(""), true},
        {1, QStringLiteral("serial"), true},    // only the same record bears it
        {4, QStringLiteral("serial"), false},   // another record bears it
        {4, QStringLiteral("Serial"), true},    // case-sensitive
    };
    for (const Case& k : cases) EXPECT_EQ(c.isOutControlNameFree(k.id, k.name), k.free) << k.id << k.name.toStdString();

    EXPECT_TRUE(c.isPlayControlNameFree(1, QStringLiteral("x")));  // empty list
    PlayControlRecord p;
    p.id = 8;
    p.name = QStringLiteral("f1");
    p.command = QStringLiteral("start");
    c.addPlayControl(p);
    EXPECT_FALSE(c.isPlayControlNameFree(9, QStringLiteral("f1")));
    EXPECT_TRUE(c.isPlayControlNameFree(8, QStringLiteral("f1")));
    EXPECT_FALSE(c.isPlayControlCommandFree(9, QStringLiteral("start")));
    EXPECT_TRUE(c.isPlayControlCommandFree(9, QStringLiteral("stop")));
    LayerIORecord l;
    l.id = 1;
    l.name = QStringLiteral("cue");
    c.addLayerIO(l);
    EXPECT_FALSE(c.isLayerIONameFree(2, QStringLiteral("cue")));
    EXPECT_TRUE(c.isLayerIONameFree(1, QStringLiteral("cue")));
}

TEST_F(GConfigTest, RemovingControlsTakesTheBlockAndWithTheFlagTheRecord) {
    LayerIORecord l;
    l.id = 4;
    c.addLayerIO(l);
    PlayControlRecord p;
    p.id = 6;
    c.addPlayControl(p);
    c.removeLayerIO(4, false);
    EXPECT_EQ(hooks.removedIOBlocks, QList<int>{4});
    EXPECT_NE(c.findLayerIO(4), nullptr);
    c.removeLayerIO(4, true);  // no event loop here: at once
    EXPECT_EQ(c.findLayerIO(4), nullptr);
    c.removePlayControl(6, true);
    EXPECT_EQ(hooks.removedPlayBlocks, QList<int>{6});
    EXPECT_EQ(c.findPlayControl(6), nullptr);
    c.removePlayControl(123, true);  // absent: nothing changes
    EXPECT_TRUE(c.playControls().isEmpty());
}

TEST_F(GConfigTest, MediaOnALayerInAscendingIdOrder) {
    for (int id : {9, 3, 5, 1}) {
        MediaSource m;
        m.layer = id == 1 ? 0 : 2;
        c.media().insert(id, m);
    }
    EXPECT_EQ(c.mediaIdsOnLayer(2), (QList<int>{3, 5, 9}));
    EXPECT_EQ(c.mediaIdsOnLayer(0), QList<int>{1});
    EXPECT_TRUE(c.mediaIdsOnLayer(7).isEmpty());
}

TEST_F(GConfigTest, SetMediaRecordMarksTheProjectModified) {
    c.setSaved(true);
    MediaSource m;
    m.fileName = QStringLiteral("x.png");
    c.setMediaRecord(m, 3);
    EXPECT_FALSE(c.isSaved());
    EXPECT_EQ(hooks.saved.last(), false);
    EXPECT_EQ(c.mediaRecord(3).fileName, QStringLiteral("x.png"));
    m.fileName = QStringLiteral("y.png");
    c.setMediaRecord(m, 3);
    EXPECT_EQ(c.mediaIds(), QList<int>{3});
    EXPECT_EQ(c.mediaRecord(3).fileName, QStringLiteral("y.png"));
}

TEST_F(GConfigTest, RealtimeUpdateRequestsOnlyWhileSwitchedOn) {
    c.requestRealtimeUpdate(true);
    EXPECT_TRUE(hooks.updates.isEmpty());
    c.setRealtimeUpdate(true);
    c.requestRealtimeUpdate(true);
    c.requestRealtimeUpdate(false);
    EXPECT_EQ(hooks.updates, (QList<int>{2, 3}));
    MediaSource m;
    m.effects.insert(1, key(1, 1, 0, 1, 1));
    m.rebuildEffectIndex(1);
    EXPECT_EQ(hooks.updates.last(), 3);
}

// ---------------------------------------------------------------------------
// Effect evaluation

TEST_F(GConfigTest, DefaultsWithoutKeys) {
    EXPECT_EQ(GConfig::effectDefaults(1), (QList<double>{-1.0, -1.0}));
    EXPECT_EQ(GConfig::effectDefaults(2), QList<double>{0.0});
    EXPECT_EQ(GConfig::effectDefaults(3), (QList<double>{0.0, 0.0}));
    EXPECT_EQ(GConfig::effectDefaults(4), QList<double>{0.0});
    EXPECT_TRUE(GConfig::effectDefaults(5).isEmpty());
    EXPECT_TRUE(GConfig::effectDefaults(0).isEmpty());
    addMedia(1, 0, {key(1, 1, 0, 5, 5, true)});  // only a disabled key
    EXPECT_EQ(c.effectPosAt(1, 0), (QList<double>{-1.0, -1.0}));
    EXPECT_EQ(c.effectRotationAt(1, 0), QList<double>{0.0});
    EXPECT_EQ(c.effectPosAt(42, 0), (QList<double>{-1.0, -1.0}));  // no such media
    EXPECT_FALSE(c.hasEffects(1));
    EXPECT_FALSE(c.hasEffects(42));
    // A placed item without position keys answers its own place.
    c.media()[1].x = 320;
    c.media()[1].y = 180;
    EXPECT_EQ(c.effectPosAt(1, 0), (QList<double>{320.0, 180.0}));
}

TEST_F(GConfigTest, PositionAndOpacityTable) {
    // Item starts at 1,000 ms; keys at 0 and 1,000 ms of the item, values 0 and 1.
    addMedia(1, 1000, {key(1, 1, 0, 0, 10), key(2, 1, 1000, 1, 30), key(3, 4, 0, 0.0), key(4, 4, 1000, 1.0)});
    EXPECT_TRUE(c.hasEffects(1));
    struct Case {
        int t;
        double x, y, opacity;
    };
    const QList<Case> cases = {
        {0, 0, 10, 0},       // before the first key: its values
        {999, 0, 10, 0},
        {1000, 0, 10, 0},    // on a key
        {1250, 0.25, 15, 0.25},
        {1500, 0.5, 20, 0.5},
        {2000, 1, 30, 1},    // on the last key
        {9000, 1, 30, 1},    // after it
    };
    for (const Case& k : cases) {
        const QList<double> p = c.effectPosAt(1, k.t);
        ASSERT_EQ(p.size(), 2);
        EXPECT_DOUBLE_EQ(p[0], k.x) << k.t;
        EXPECT_DOUBLE_EQ(p[1], k.y) << k.t;
        const QList<double> o = c.effectOpacityAt(1, k.t);
        ASSERT_EQ(o.size(), 1);
        EXPECT_DOUBLE_EQ(o[0], k.opacity) << k.t;
    }
    // -1: the play position of the time axis.
    hooks.position = 1250;
    EXPECT_DOUBLE_EQ(c.effectPosAt(1)[0], 0.25);
    EXPECT_EQ(c.currentTime(), 1250);
}

TEST_F(GConfigTest, KeysOnOneTimeDoNotDivideByZero) {
    addMedia(1, 0, {key(1, 3, 500, 1, 1), key(2, 3, 500, 3, 3), key(3, 3, 1500, 5, 5)});
    // Scale keys from 500 ms: a resting key at 0 with scale 0.
    EXPECT_EQ(c.effectScaleAt(1, 0), (QList<double>{0.0, 0.0}));
    EXPECT_EQ(c.effectScaleAt(1, 500), (QList<double>{1.0, 1.0}));
    EXPECT_EQ(c.effectScaleAt(1, 1000), (QList<double>{4.0, 4.0}));
    EXPECT_EQ(c.effectScaleAt(1, 250), (QList<double>{0.5, 0.5}));
}

TEST_F(GConfigTest, RotationTable) {
    struct Case {
        const char* what;
        QList<EffectKey> keys;
        int t;
        double want;
    };
    const QList<Case> cases = {
        {"on a key with turns", {key(1, 2, 0, 30, 2)}, 0, 750},
        {"after the last key, turns kept", {key(1, 2, 0, 30, 2)}, 5000, 750},
        {"between: from the angle to turns and angle", {key(1, 2, 0, 90, 0), key(2, 2, 1000, 90, 1)}, 500, 270},
        // The preview turns as the wall does: straight between the two
        // whole rotations, whichever their signs.
        {"towards a negative angle straight", {key(1, 2, 0, 90, 0), key(2, 2, 1000, -90, 0)}, 500, 0},
        {"towards negative turns straight", {key(1, 2, 0, 90, 0), key(2, 2, 1000, 0, -1)}, 500, -135},
        {"from a non-positive angle no shift", {key(1, 2, 0, 0, 0), key(2, 2, 1000, -90, 0)}, 500, -45},
        // No jump of a whole turn just after a key with turns.
        {"turns of the earlier key count between", {key(1, 2, 0, 10, 1), key(2, 2, 1000, 20, 1)}, 500, 375},
        {"just after a key with turns", {key(1, 2, 0, 10, 1), key(2, 2, 1000, 20, 1)}, 1, 370.01},
        {"negative turns from a key with turns", {key(1, 2, 0, 0, 1), key(2, 2, 1000, 0, -1)}, 500, 0},
    };
    int id = 1;
    for (const Case& k : cases) {
        addMedia(id, 0, k.keys);
        const QList<double> r = c.effectRotationAt(id, k.t);
        ASSERT_EQ(r.size(), 1) << k.what;
        EXPECT_NEAR(r[0], k.want, 1e-9) << k.what;
        ++id;
    }
}

TEST_F(GConfigTest, StagePositionUnderTheScaleEffect) {
    MediaSource m;
    m.x = 100;
    m.y = 50;
    m.width = 200;
    m.height = 80;
    m.start = 0;
    c.media().insert(1, m);
    EXPECT_EQ(c.mediaStagePos(1), std::make_pair(100.0, 50.0));
    EXPECT_EQ(c.effectAdjustedPos(1, 7, 8), std::make_pair(7.0, 8.0));
    c.media()[1].effects.insert(1, key(1, 3, 0, 1.0, 0.5));
    c.media()[1].refreshEffectIndex(3);
    hooks.position = 10;
    EXPECT_EQ(c.mediaStagePos(1), std::make_pair(0.0, 30.0));
    EXPECT_EQ(c.effectAdjustedPos(1, 0.0, 30.0), std::make_pair(100.0, 50.0));
}

TEST_F(GConfigTest, SpecialActionTextInTheCLocale) {
    QMap<int, QVector<ACTION_LEVEL_INFO>> actions;
    EXPECT_EQ(GConfig::specialActionText(actions), QByteArray());
    actions[1] = {};
    actions[3] = {ACTION_LEVEL_INFO{1.5, 2, -0.25, 0, 0}};
    actions[4] = {};
    const std::string comma = testsupport::FindCommaDecimalLocale();
    if (!comma.empty()) std::setlocale(LC_ALL, comma.c_str());
    const QByteArray text = GConfig::specialActionText(actions);
    std::setlocale(LC_ALL, "C");
    // A kind without key points leaves only its separator.
    EXPECT_EQ(text, QByteArray(";3:{1.500000,2.000000/-0.250000/0.000000/0.000000};"));
    actions[1] = {ACTION_LEVEL_INFO{0, 1, 2, 3, 4}, ACTION_LEVEL_INFO{2, 5, 6, 7, 8}};
    EXPECT_EQ(GConfig::specialActionText(actions),
              QByteArray("1:{0.000000,1.000000/2.000000/3.000000/4.000000}"
                         "{2.000000,5.000000/6.000000/7.000000/8.000000};"
                         "3:{1.500000,2.000000/-0.250000/0.000000/0.000000};"));
}

// ---------------------------------------------------------------------------
// Servers

TEST_F(GConfigTest, SessionsFindCreateDrop) {
    const QString ip = QStringLiteral("127.0.0.1");
    EXPECT_EQ(c.clientSession(ip, 0), nullptr);
    EXPECT_EQ(c.clientSession(ip, 2), nullptr);  // nothing to drop
    CKestraneStageServer* s = c.clientSession(ip, 1);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->IsConnected());
    EXPECT_EQ(c.clientSession(ip, 0), s);
    EXPECT_EQ(c.clientSession(ip, 1), s);  // a live session is kept
    EXPECT_EQ(c.clientSession(ip, 2), nullptr);
    EXPECT_EQ(c.clientSession(ip, 0), nullptr);
    EXPECT_NE(c.clientSession(ip, 1), nullptr);
    EXPECT_EQ(c.clientSession(QStringLiteral("127.0.0.01"), 0), nullptr);  // exact text
    EXPECT_EQ(c.clientSession(ip, 7), nullptr);
}

TEST_F(GConfigTest, DroppedSocketsFromManyThreads) {
    c.droppedServers(2);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int k = 0; k < 100; ++k) c.droppedServers(1, t * 1000 + k);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(c.droppedServers(0).size(), 400);
    EXPECT_TRUE(c.droppedServers(2).isEmpty());
    EXPECT_TRUE(c.droppedServers(0).isEmpty());
}

TEST_F(GConfigTest, ServerOutputChecks) {
    auto add = [&](int id, const char* ip, int index, int w, int h) {
        DeviceRecord d;
        d.serverIp = QString::fromLatin1(ip);
        d.outputIndex = index;
        d.width = w;
        d.height = h;
        c.devices().insert(id, d);
    };
    add(1, "10.0.0.1", 1, 1920, 1080);
    add(2, "10.0.0.2", 1, 1024, 768);
    EXPECT_EQ(c.checkServerOutput(QStringLiteral("10.0.0.1"), 2, 1920, 1080), 0);
    EXPECT_EQ(c.checkServerOutput(QStringLiteral("10.0.0.1"), 1, 1920, 1080), 1);
    EXPECT_EQ(c.checkServerOutput(QStringLiteral("10.0.0.1"), 2, 1280, 720), -2);
    EXPECT_EQ(c.checkServerOutput(QStringLiteral("10.0.0.3"), 1, 1, 1), 0);
    for (int k = 2; k <= 8; ++k) add(10 + k, "10.0.0.1", k, 1920, 1080);
    EXPECT_EQ(c.checkServerOutput(QStringLiteral("10.0.0.1"), 9, 1920, 1080), -1);
    // A conflict among the eight wins over the count.
    EXPECT_EQ(c.checkServerOutput(QStringLiteral("10.0.0.1"), 5, 1920, 1080), 1);
    EXPECT_EQ(c.checkServerOutput(QStringLiteral("10.0.0.1"), 9, 800, 600), -2);
}

TEST_F(GConfigTest, ClosingPortsLeavesTheMapButNoLiveHandle) {
    OutControlRecord net;
    net.id = 1;
    net.type = 1;
    c.addOutControl(net);
    // Handles the library never gave out are refused, whatever their kind.
    c.ioPorts().insert(1, reinterpret_cast<void*>(0x10));
    c.ioPorts().insert(2, nullptr);
    c.ioPorts().insert(3, reinterpret_cast<void*>(0x20));  // no record
    c.closeIoPorts();
    EXPECT_EQ(c.ioPorts().size(), 3);
    for (void* h : c.ioPorts()) EXPECT_EQ(h, nullptr);
    c.ioPorts().clear();
}

// ---------------------------------------------------------------------------
// Settings and clearing

TEST_F(GConfigTest, DefaultPictureDurationFromTheSettings) {
    testsupport::TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", (dir.str() + "/cfg").c_str(), 1);
    const QString path = GConfig::settingsFilePath(false);
    EXPECT_EQ(path, QString::fromStdString(dir.str() + "/cfg/setting.ini"));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dir.str() + "/cfg")));  // folder made

    struct Case {
        const char* file;
        int want;
    };
    const QList<Case> cases = {
        {nullptr, 10000},
        {"[GeneralSettings]\ndefaultPicDuration=25\n", 25000},
        {"[GeneralSettings]\ndefaultPicDuration=abc\n", 10000},
        {"[GeneralSettings]\ndefaultPicDuration=99999999\n", 10000},
        {"[GeneralSettings]\ndefaultPicDuration=-3\n", 10000},
        {"[base]\ndefaultPicDuration=5\n", 10000},
    };
    for (const Case& k : cases) {
        QFile::remove(path);
        if (k.file) testsupport::WriteFile(path.toStdString(), k.file);
        EXPECT_EQ(c.defaultPicDuration(), k.want) << (k.file ? k.file : "(none)");
        EXPECT_EQ(c.defaultPicDurationMs(), k.want);
    }
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST_F(GConfigTest, ClearingEmptiesTheProjectAndThePreview) {
    MediaSource m;
    m.previewHandle = reinterpret_cast<void*>(0x51);
    c.media().insert(1, m);
    m.previewHandle = nullptr;
    c.media().insert(2, m);
    m.previewHandle = reinterpret_cast<void*>(0x53);
    c.media().insert(3, m);
    c.mediaLibrary().append(m);
    c.devices().insert(1, DeviceRecord());
    c.clientSession(QStringLiteral("10.1.1.1"), 1);
    c.worlds()[QStringLiteral("10.1.1.1")] = std::make_unique<WORLD_BASE_INFO>();
    c.setProjectPath(QStringLiteral("/tmp/a.vadra"));
    c.addPlayControl(PlayControlRecord());
    c.addOutControl(OutControlRecord());
    c.addLayerIO(LayerIORecord());
    c.setClearedTimelineLength(60000);
    c.setTimelineLengthValue(5000);
    c.setTimelineStartValue(700);
    c.setSaved(true);

    c.clearProject();
    EXPECT_EQ(preview.calls, (QStringList{QStringLiteral("remove 81"), QStringLiteral("remove 83")}));
    EXPECT_TRUE(c.media().isEmpty());
    EXPECT_TRUE(c.devices().isEmpty());
    EXPECT_TRUE(c.mediaLibrary().isEmpty());
    EXPECT_EQ(c.clientSession(QStringLiteral("10.1.1.1"), 0), nullptr);
    EXPECT_TRUE(c.worlds().empty());
    EXPECT_TRUE(c.projectPath().isEmpty());
    EXPECT_TRUE(c.playControls().isEmpty());
    EXPECT_TRUE(c.outControls().isEmpty());
    EXPECT_TRUE(c.layerIOs().isEmpty());
    EXPECT_EQ(c.timelineLength(), 60000);
    EXPECT_EQ(c.timelineStart(), 0);
    EXPECT_FALSE(c.isSaved());
}
