#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kestrane/gconfig.h"
#include "support/RecordingPreview.h"
#include "windowrecorder.h"

namespace {

class Coordination : public ::testing::Test {
protected:
    void SetUp() override {
        c.setHooks(nullptr);
        c.clearProject();
        c.setHooks(&w);
        c.setPreview(&preview);
        c.setTimelineLengthValue(0);
        c.setTimelineStartValue(0);
        c.setTimeAxisLengthValue(0);
        c.setMinimumSpan(0);
        c.setStageZoomValue(0.125);
        w.log.clear();
    }
    void TearDown() override {
        c.setHooks(nullptr);
        c.clearProject();
        c.setPreview(nullptr);
        c.setMinimumSpan(0);
        c.setStageZoomValue(0.125);
        c.setEditModeValue(1);
    }

    void addMedia(int id, int start, int duration, int layer = 0) {
        MediaSource m;
        m.id = id;
        m.start = start;
        m.duration = duration;
        m.layer = layer;
        c.media().insert(id, m);
    }
    DeviceRecord& addDevice(int id, double x, double y, qint64 group) {
        DeviceRecord d;
        d.stageX = x;
        d.stageY = y;
        d.groupStamp = group;
        if (group) {
            d.matrixCell = id;
            std::fill(std::begin(d.matrixValues), std::end(d.matrixValues), 3);
        }
        c.devices().insert(id, d);
        return c.devices()[id];
    }

    GConfig& c = GConfig::instance();
    WindowRecorder w;
    RecordingPreview preview;
};

}  // namespace

TEST_F(Coordination, TheTitleCarriesOneStarWhileModified) {
    c.setTitleText(QStringLiteral("演出.vadra"));
    c.setSaved(false);
    c.setSaved(false);
    EXPECT_EQ(c.titleText(), QStringLiteral("演出.vadra*"));
    c.setSaved(true);
    EXPECT_EQ(c.titleText(), QStringLiteral("演出.vadra"));
    c.setSaved(true);
    EXPECT_EQ(c.titleText(), QStringLiteral("演出.vadra"));
    EXPECT_EQ(w.only(QStringLiteral("title")).last(), QStringLiteral("title 演出.vadra"));
    EXPECT_EQ(w.only(QStringLiteral("title")).value(1), QStringLiteral("title 演出.vadra*"));
}

TEST_F(Coordination, FittingTheTimelineToItsMedia) {
    struct Case {
        const char* what;
        bool grow;
        int length, start, span, axis;  // before
        int mediaEnd;
        int wantLength, wantAxis;
        bool changed;
    };
    const Case cases[] = {
        {"grows to a later end", true, 60000, 0, 0, 90000, 90000, 90000, 90000, true},
        {"grow leaves a longer timeline", true, 60000, 0, 0, 90000, 50000, 60000, 90000, false},
        {"shrink brings a wide axis to 1.2x", false, 80000, 0, 0, 100000, 60000, 60000, 72000, true},
        {"shrink keeps an axis within 1.2x", false, 80000, 0, 0, 70000, 60000, 60000, 70000, true},
        {"shrink stops at start + span", false, 80000, 10000, 30000, 45000, 5000, 40000, 45000, true},
        {"shrink leaves a shorter timeline", false, 60000, 0, 0, 60000, 90000, 60000, 60000, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        c.media().clear();
        addMedia(1, 1000, 2000);
        addMedia(2, k.mediaEnd - 4000, 4000);
        c.setTimelineLengthValue(k.length);
        c.setTimelineStartValue(k.start);
        c.setMinimumSpan(k.span);
        c.setTimeAxisLengthValue(k.axis);
        c.setSaved(true);
        w.log.clear();
        c.fitTimelineLength(k.grow);
        EXPECT_EQ(c.timelineLength(), k.wantLength);
        EXPECT_EQ(c.timeAxisLength(), k.wantAxis);
        EXPECT_EQ(c.isSaved(), !k.changed);
        EXPECT_EQ(w.only(QStringLiteral("refreshRows")).size(), k.changed ? 1 : 0);
        EXPECT_EQ(w.only(QStringLiteral("axis")).size(), k.wantAxis != k.axis ? 1 : 0);
    }
}

TEST_F(Coordination, TheAxisLengthIsAtLeastTheTimelineAndMinusOneTakesTheMedia) {
    c.setTimelineLengthValue(30000);
    addMedia(1, 10000, 50000);
    c.setTimeAxisLength(-1, true);
    EXPECT_EQ(c.timeAxisLength(), 60000);
    c.setTimeAxisLength(20000, false);
    EXPECT_EQ(c.timeAxisLength(), 30000);
    c.fitTimeAxisToMedia(true);
    EXPECT_EQ(w.only(QStringLiteral("axis")),
              (QStringList{QStringLiteral("axis 60000 1"), QStringLiteral("axis 30000 0"), QStringLiteral("axis 60000 1")}));
}

TEST_F(Coordination, ZoomKeepsThePointUnderTheAnchor) {
    w.view.hScroll = 1000;
    w.view.vScroll = 500;
    c.setStageZoom(0.25, 100, 50);
    EXPECT_DOUBLE_EQ(c.stageZoom(), 0.25);
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("zoom 0.25"), QStringLiteral("scroll 2100 1050"),
                                  QStringLiteral("customScale 0.25")}));

    // The stage point under the anchor, (scroll + anchor) / zoom, stays put;
    // a fractional scroll value is cut.
    w.log.clear();
    c.setStageZoomValue(0.125);
    w.view.hScroll = 1000;
    w.view.vScroll = 0;
    c.setStageZoom(0.13125, 33, 7);
    EXPECT_EQ(w.only(QStringLiteral("scroll")), QStringList{QStringLiteral("scroll 1051 0")});

    // Outside the stage's range the zoom is held at its ends; no number is no zoom.
    c.setStageZoom(3.0, 0, 0);
    EXPECT_DOUBLE_EQ(c.stageZoom(), 1.0);
    c.setStageZoom(std::numeric_limits<double>::quiet_NaN(), 0, 0);
    EXPECT_DOUBLE_EQ(c.stageZoom(), 1.0);
}

TEST_F(Coordination, CentredPlaceInTheVisibleStage) {
    w.view = StageViewport{200, 100, 800, 601};
    EXPECT_EQ(c.centeredStagePos(1920, 1081), QPoint(200 + (800 - 240) / 2, 100 + (601 - 135) / 2));
}

TEST_F(Coordination, AGroupedMoveTakesOnlyItsGroup) {
    addDevice(1, 100, 100, 77);
    addDevice(2, 300, 100, 77);
    addDevice(3, 500, 500, 88);
    addDevice(4, 900, 900, 0);
    c.moveDevice(1, 150, 80);
    EXPECT_EQ(c.devices()[1].stageX, 150);
    EXPECT_EQ(c.devices()[1].stageY, 80);
    EXPECT_EQ(c.devices()[2].stageX, 350);
    EXPECT_EQ(c.devices()[2].stageY, 80);
    EXPECT_EQ(c.devices()[3].stageX, 500);
    EXPECT_EQ(c.devices()[4].stageX, 900);
    c.moveDevice(4, 10, 20);
    EXPECT_EQ(c.devices()[4].stageX, 10);
    EXPECT_EQ(c.devices()[4].stageY, 20);
    EXPECT_EQ(c.devices()[1].stageX, 150);
    c.moveDevice(99, 1, 1);  // absent: nothing
    EXPECT_EQ(c.devices().size(), 4);
}

TEST_F(Coordination, RemovingADeviceDissolvesAGroupLeftWithOne) {
    addDevice(1, 0, 0, 77);
    addDevice(2, 0, 0, 77);
    addDevice(3, 0, 0, 88);
    addDevice(4, 0, 0, 88);
    addDevice(5, 0, 0, 88);

    w.deviceTree = false;
    c.removeDevice(1);
    EXPECT_TRUE(c.devices().contains(1));
    EXPECT_TRUE(w.log.isEmpty());

    w.deviceTree = true;
    c.setSaved(true);
    w.log.clear();
    c.removeDevice(1);
    EXPECT_EQ(w.log.filter(QRegularExpression(QStringLiteral("^(pause|stageRemove|treeRemove)"))),
              (QStringList{QStringLiteral("pause"), QStringLiteral("stageRemove 1"), QStringLiteral("treeRemove 1")}));
    EXPECT_FALSE(c.devices().contains(1));
    EXPECT_FALSE(c.isSaved());
    const DeviceRecord& left = c.devices()[2];
    EXPECT_EQ(left.groupStamp, 0);
    EXPECT_EQ(left.matrixCell, -1);
    EXPECT_EQ(left.matrixValues[0] + left.matrixValues[1] + left.matrixValues[2] + left.matrixValues[3], 0);

    // Two stay: they keep their group.
    c.removeDevice(3);
    EXPECT_EQ(c.devices()[4].groupStamp, 88);
    EXPECT_EQ(c.devices()[5].groupStamp, 88);
    EXPECT_EQ(c.devices()[5].matrixCell, 5);
}

TEST_F(Coordination, SelectingAnEffectRowChecksItsLayerAndClearsTheRest) {
    w.roles = {100, 102, 102, 102, 102, 101, 100, 102};
    c.selectEffectRow(0);  // a layer: nothing
    c.selectEffectRow(9);  // outside: nothing
    EXPECT_TRUE(w.log.isEmpty());
    c.selectEffectRow(3);
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("check 0 1"), QStringLiteral("effect 1 0"), QStringLiteral("effect 2 0"),
                                  QStringLiteral("effect 3 1"), QStringLiteral("effect 4 0"), QStringLiteral("check 5 0"),
                                  QStringLiteral("check 6 0"), QStringLiteral("effect 7 0")}));
    w.log.clear();
    c.selectEffectRow(7);
    EXPECT_TRUE(w.log.contains(QStringLiteral("check 6 1")));
    EXPECT_TRUE(w.log.contains(QStringLiteral("check 0 0")));
}

TEST_F(Coordination, TimelineSelectionDropsMediaOfLockedLayers) {
    w.roles = {100, 102, 100};
    w.lockedRows = {0};
    addMedia(1, 0, 100, 0);
    addMedia(2, 0, 100, 2);
    addMedia(3, 0, 100, 2);
    for (int id : {1, 2}) c.media()[id].selected = true;
    c.syncTimelineSelection();
    EXPECT_FALSE(c.media()[1].selected);
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("block 1 0"), QStringLiteral("block 2 1"), QStringLiteral("block 3 0")}));

    // The stage follows the records.
    w.log.clear();
    c.syncStageSelection();
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("item 1 0"), QStringLiteral("item 2 1"), QStringLiteral("item 3 0")}));
}

TEST_F(Coordination, EffectRowsUnderALayerByKind) {
    MediaSource m;
    m.layer = 4;
    auto key = [&](int id, int kind) {
        EffectKey k;
        k.id = id;
        k.kind = kind;
        m.effects.insert(id, k);
    };
    key(1, kestrane::EffectPosition);
    key(2, kestrane::EffectScale);
    key(3, kestrane::EffectPosition);
    key(5, kestrane::EffectOpacity);
    c.media().insert(6, m);
    addMedia(7, 0, 10, 4);  // no keys: nothing
    c.refreshLayerEffectRows(4);
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("addEffect 5 1 6 [1,3]"), QStringLiteral("addEffect 6 3 6 [2]"),
                                  QStringLiteral("addEffect 8 4 6 [5]")}));
}

TEST_F(Coordination, HandToolEditModeAndStageInfo) {
    c.setHandTool(true);
    EXPECT_TRUE(c.handTool());
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("hand 1"), QStringLiteral("clearSelection"), QStringLiteral("advance")}));

    w.log.clear();
    c.setMediaEditMode(1, true);  // already media editing: nothing
    EXPECT_TRUE(w.log.isEmpty());
    addMedia(3, 0, 10);
    c.setMediaEditMode(0, true);
    EXPECT_EQ(c.editMode(), 0);
    // Without an event loop the scene's update runs at once.
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("selectMode 0 1"), QStringLiteral("advance"), QStringLiteral("update"),
                                  QStringLiteral("item 3 0")}));

    w.log.clear();
    addDevice(2, 120.5, 40, 0);
    c.media()[3].x = 300;
    c.media()[3].y = 200;
    c.showStageInfo(2, true);
    c.showStageInfo(3, false);
    c.showStageInfo(0, true);
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("info 2 1 120.5 40 -1"), QStringLiteral("info 3 0 300 200 -1"),
                                  QStringLiteral("clearInfo")}));
}

TEST_F(Coordination, PreviewCallsAndTheirUnits) {
    EXPECT_EQ(c.playPreview(1.5), 1);
    EXPECT_TRUE(c.previewPlaying());
    c.pausePreview();
    c.pausePreview();
    EXPECT_FALSE(c.previewPlaying());
    EXPECT_TRUE(c.setPreviewTime(1500));
    void* h = reinterpret_cast<void*>(0x2a);
    EXPECT_TRUE(c.setPreviewMediaLayer(h, 2, 4000, 6000));
    // The end is start + duration; a sum past the int range is no overflow.
    c.setPreviewMediaLayer(h, 1, 2000000000, 2000000000);
    EXPECT_EQ(preview.calls, (QStringList{QStringLiteral("rate 1.5 0"), QStringLiteral("play"), QStringLiteral("pause"),
                                          QStringLiteral("time 1.5"), QStringLiteral("layer 42 2 4 10"),
                                          QStringLiteral("layer 42 1 2e+06 4e+06")}));
    preview.result = 0;
    EXPECT_FALSE(c.setPreviewTime(0));
    EXPECT_EQ(c.playPreview(1.0), 0);
    EXPECT_FALSE(c.setPreviewMediaLayer(h, 1, 0, 1));
    // Seeking does not touch the playing flag.
    EXPECT_TRUE(c.previewPlaying());
}
