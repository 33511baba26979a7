#include <gtest/gtest.h>

#include <QCoreApplication>

#include "kestrane/gconfig.h"
#include "qt/qtapp.h"
#include "support/QtSpin.h"
#include "windowrecorder.h"

namespace {

class LaterQt : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        c.setHooks(nullptr);
        c.clearProject();
        c.setHooks(&w);
        w.log.clear();
    }
    void TearDown() override {
        c.setHooks(nullptr);
        c.clearProject();
    }

    GConfig& c = GConfig::instance();
    WindowRecorder w;
};

}  // namespace

TEST_F(LaterQt, SidePanelCallsWaitForTheEventLoopAndKeepTheirOrder) {
    for (int id : {1, 2, 3, 4}) {
        MediaSource m;
        m.sourceKey = id == 3 ? 20 : 10;
        c.media().insert(id, m);
    }
    w.selectedMedia = {4, 1, 3, 99};  // 4 and 1 share a library entry; 99 has no record
    c.showMediaLater(3, true);
    c.syncSelectionLater();
    c.showDeviceLater(0, false);
    c.refreshDeviceListLater();
    c.refreshStage();
    // Only the scene's advance has run; the rest waits for the loop.
    EXPECT_EQ(w.log, QStringList{QStringLiteral("advance")});
    ASSERT_TRUE(spinUntil([&] { return w.log.size() >= 6; }));
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("advance"), QStringLiteral("showMedia 3 1"), QStringLiteral("rows [10,20]"),
                                  QStringLiteral("showDevice 0 0"), QStringLiteral("deviceNames"),
                                  QStringLiteral("update")}));
}

TEST_F(LaterQt, RecordRemovalFollowsTheBlockLater) {
    LayerIORecord r;
    r.id = 5;
    c.addLayerIO(r);
    c.removeLayerIO(5, true);
    EXPECT_EQ(w.log, QStringList{QStringLiteral("removeIOBlock 5")});
    EXPECT_NE(c.findLayerIO(5), nullptr);
    ASSERT_TRUE(spinUntil([&] { return c.findLayerIO(5) == nullptr; }));
}
