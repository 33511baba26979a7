// World configurations built from device records, and the session registry.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"
#include "platform/packed.h"

namespace {

using platform::ReadAt;

struct Dev {
    int id;
    const char* ip;
    int output;
    int width;
    int height;
    double x = 0;
    double y = 0;
};

struct WantWorld {
    const char* ip;
    int width;
    int height;
    std::vector<int> channelIds;  // in order
};

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        c.setHooks(nullptr);
        c.clearProject();
    }
    void TearDown() override { c.clearProject(); }

    DeviceRecord& add(const Dev& d) {
        DeviceRecord r;
        r.serverIp = QString::fromLatin1(d.ip);
        r.outputIndex = d.output;
        r.width = d.width;
        r.height = d.height;
        r.stageX = d.x;
        r.stageY = d.y;
        c.devices().insert(d.id, r);
        return c.devices()[d.id];
    }
    // What the connect path does: empty the map, then every device in
    // ascending id order.
    void rebuild() {
        c.worlds().clear();
        for (int id : c.deviceIds()) c.updateWorldConfigs(id);
    }
    const WORLD_BASE_INFO* world(const char* ip) {
        auto it = c.worlds().find(QString::fromLatin1(ip));
        return it == c.worlds().end() ? nullptr : it->second.get();
    }

    GConfig& c = GConfig::instance();
};

}  // namespace

TEST_F(WorldTest, LayoutsGiveHeadersAndChannelOrder) {
    struct Case {
        const char* name;
        std::vector<Dev> devices;
        std::vector<WantWorld> worlds;
    };
    const std::vector<Case> cases = {
        {"one device", {{1, "10.0.0.1", 3, 1920, 1080}}, {{"10.0.0.1", 1920, 1080, {3}}}},
        {"two outputs in id order",
         {{2, "10.0.0.1", 1, 1280, 720}, {5, "10.0.0.1", 0, 1280, 720}},
         {{"10.0.0.1", 1280, 720, {1, 0}}}},
        {"same output index: the later device replaces the earlier",
         {{1, "10.0.0.1", 2, 1920, 1080}, {4, "10.0.0.1", 2, 1920, 1080}},
         {{"10.0.0.1", 1920, 1080, {2}}}},
        {"the lowest id sets the size",
         {{1, "10.0.0.1", 0, 1920, 1080}, {2, "10.0.0.1", 1, 1024, 768}},
         {{"10.0.0.1", 1920, 1080, {0, 1}}}},
        {"two servers",
         {{1, "10.0.0.1", 0, 800, 600}, {2, "10.0.0.2", 0, 1024, 768}, {3, "10.0.0.1", 1, 800, 600}},
         {{"10.0.0.1", 800, 600, {0, 1}}, {"10.0.0.2", 1024, 768, {0}}}},
        {"a ninth output of one server is left out",
         {{1, "10.0.0.1", 0, 640, 480},
          {2, "10.0.0.1", 1, 640, 480},
          {3, "10.0.0.1", 2, 640, 480},
          {4, "10.0.0.1", 3, 640, 480},
          {5, "10.0.0.1", 4, 640, 480},
          {6, "10.0.0.1", 5, 640, 480},
          {7, "10.0.0.1", 6, 640, 480},
          {8, "10.0.0.1", 7, 640, 480},
          {9, "10.0.0.1", 8, 640, 480},
          {10, "10.0.0.1", 3, 640, 480}},
         {{"10.0.0.1", 640, 480, {0, 1, 2, 3, 4, 5, 6, 7}}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c.devices().clear();
        for (const Dev& d : k.devices) add(d);
        rebuild();
        EXPECT_EQ(c.worlds().size(), k.worlds.size());
        for (const WantWorld& w : k.worlds) {
            const WORLD_BASE_INFO* got = world(w.ip);
            ASSERT_NE(got, nullptr) << w.ip;
            EXPECT_EQ(got->width, w.width);
            EXPECT_EQ(got->height, w.height);
            ASSERT_EQ(got->channelCount, static_cast<int>(w.channelIds.size()));
            for (size_t i = 0; i < w.channelIds.size(); ++i) {
                const int32_t id = got->channels[i].channelId;  // packed: read by value
                EXPECT_EQ(id, w.channelIds[i]);
            }
        }
    }
}

TEST_F(WorldTest, ReplacingChannelCarriesTheLaterDevicesValues) {
    add({1, "10.0.0.1", 2, 1920, 1080, 0, 0}).blendLeft = 4;
    add({2, "10.0.0.1", 2, 1920, 1080, 1920, 0}).blendLeft = 9;
    rebuild();
    const WORLD_BASE_INFO* w = world("10.0.0.1");
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->channelCount, 1);
    const RECT blend = w->channels[0].blendWidth;
    const RECT rect = w->channels[0].rect;
    EXPECT_EQ(blend.left, 9);
    EXPECT_EQ(rect.left, 1920);
}

TEST_F(WorldTest, HeaderComesFromTheFirstDeviceOfTheServer) {
    DeviceRecord& first = add({1, "10.0.0.1", 0, 1920, 1080});
    first.offsetMode = 2;
    first.offsetX = -30;
    first.offsetY = 45;
    DeviceRecord& second = add({2, "10.0.0.1", 1, 1920, 1080});
    second.offsetMode = 1;
    second.offsetX = 7;
    second.offsetY = 8;
    rebuild();
    const WORLD_BASE_INFO* w = world("10.0.0.1");
    ASSERT_NE(w, nullptr);
    // Read back at the offsets the server reads.
    EXPECT_EQ(ReadAt<int32_t>(w, 0), 2);
    EXPECT_EQ(ReadAt<int32_t>(w, 12), 2);
    EXPECT_EQ(ReadAt<int32_t>(w, 16), -30);
    EXPECT_EQ(ReadAt<int32_t>(w, 20), 45);
}

TEST_F(WorldTest, ChannelRecordFieldsFromTheDevice) {
    DeviceRecord& d = add({1, "10.0.0.1", 5, 1280, 800, 10.5, -0.7});
    d.blendLeft = 1;
    d.blendTop = 2;
    d.blendRight = 3;
    d.blendBottom = 40;
    d.rotation = 90.0f;
    d.grid[3][7] = DOUBLE_POINT{-0.875, 0.3125};
    d.colorRatio[0] = 0.5f;
    d.colorRatio[1] = 0.25f;
    d.colorRatio[2] = 0.75f;
    d.colorCurve[1][4] = 0x55;
    d.colorCurve[2][17] = 0xAB;  // the 18th byte travels as it is
    d.edgeParam[2][1] = 0.125f;
    rebuild();
    const WORLD_BASE_INFO* w = world("10.0.0.1");
    ASSERT_NE(w, nullptr);
    const auto* ch = reinterpret_cast<const uint8_t*>(&w->channels[0]);
    EXPECT_EQ(ReadAt<int32_t>(ch, 0), 5);
    EXPECT_EQ(ReadAt<int32_t>(ch, 4), 1);
    EXPECT_EQ(ReadAt<int32_t>(ch, 8), 2);
    EXPECT_EQ(ReadAt<int32_t>(ch, 12), 3);
    EXPECT_EQ(ReadAt<int32_t>(ch, 16), 40);
    EXPECT_EQ(ReadAt<float>(ch, 20), 90.0f);
    EXPECT_EQ(ReadAt<int32_t>(ch, 24), 11);        // 10.5 + 0.5
    EXPECT_EQ(ReadAt<int32_t>(ch, 28), 0);         // -0.7 + 0.5, cut toward zero
    EXPECT_EQ(ReadAt<int32_t>(ch, 32), 11 + 1280);
    EXPECT_EQ(ReadAt<int32_t>(ch, 36), 800);
    // Grid in wire order and units: point (i, j) at i * 41 + j, x then y.
    EXPECT_EQ(std::memcmp(ch + 40, &d.grid, sizeof(VERTEX_GRID)), 0);
    EXPECT_EQ(ReadAt<double>(ch, 40 + (3 * 41 + 7) * 16), -0.875);
    EXPECT_EQ(ReadAt<double>(ch, 40 + (3 * 41 + 7) * 16 + 8), 0.3125);
    EXPECT_EQ(ReadAt<double>(ch, 40 + (40 * 41 + 40) * 16), 1.0);  // top right of the default grid
    EXPECT_EQ(ReadAt<double>(ch, 40), -1.0);                       // bottom left
    EXPECT_EQ(ReadAt<float>(ch, 26936), 0.5f);
    EXPECT_EQ(ReadAt<float>(ch, 26940), 0.25f);
    EXPECT_EQ(ReadAt<float>(ch, 26944), 0.75f);
    EXPECT_EQ(ch[26948 + 5], 0x4F);                 // red curve, level 5
    EXPECT_EQ(ch[26948 + 18 + 4], 0x55);
    EXPECT_EQ(ch[26948 + 36 + 17], 0xAB);
    EXPECT_EQ(ReadAt<float>(ch, 27002), 1.2f);
    EXPECT_EQ(ReadAt<float>(ch, 27002 + 4), 0.5f);
    EXPECT_EQ(ReadAt<float>(ch, 27002 + 8), 1.0f);
    EXPECT_EQ(ReadAt<float>(ch, 27002 + 28), 0.125f);
}

TEST_F(WorldTest, RectangleEdgesFromStagePositions) {
    struct Case {
        double stage;
        int32_t edge;
    };
    const std::vector<Case> cases = {
        {10.5, 11}, {-0.7, 0}, {2.49, 2}, {-1.0, 0},  // -1: a device not placed
        {-1.6, -1}, {99999.5, 100000}, {std::nan(""), 0},
        {1e12, INT32_MAX}, {-1e12, INT32_MIN},  // damaged files: held, not wrapped
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.stage);
        c.devices().clear();
        add({1, "10.0.0.1", 0, 1920, 1080, k.stage, 0});
        rebuild();
        const RECT r = world("10.0.0.1")->channels[0].rect;
        EXPECT_EQ(r.left, k.edge);
        EXPECT_EQ(r.right, k.edge == INT32_MAX ? INT32_MAX : k.edge + 1920);
    }
}

TEST_F(WorldTest, MissingDeviceChangesNothing) {
    add({1, "10.0.0.1", 0, 800, 600});
    rebuild();
    c.updateWorldConfigs(42);
    ASSERT_EQ(c.worlds().size(), 1u);
    EXPECT_EQ(world("10.0.0.1")->channelCount, 1);
}

TEST_F(WorldTest, MergingOneDeviceKeepsTheOthers) {
    add({1, "10.0.0.1", 0, 800, 600});
    add({2, "10.0.0.1", 1, 800, 600});
    rebuild();
    // The layout editor accepts a new place for device 2 only.
    c.devices()[2].stageX = 800;
    c.updateWorldConfigs(2);
    const WORLD_BASE_INFO* w = world("10.0.0.1");
    ASSERT_EQ(w->channelCount, 2);
    const RECT first = w->channels[0].rect;
    const RECT second = w->channels[1].rect;
    EXPECT_EQ(first.left, 0);
    EXPECT_EQ(second.left, 800);
}

// ---------------------------------------------------------------------------
// Sessions

TEST_F(WorldTest, ADroppedSessionStaysSafeForAHolder) {
    const QString ip = QStringLiteral("10.0.0.9");
    CKestraneStageServer* held = c.clientSession(ip, 1);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(c.clientSession(ip, 2), nullptr);
    EXPECT_EQ(c.clientSession(ip, 0), nullptr);
    // A thread that fetched the pointer before the drop still gets an answer.
    EXPECT_EQ(held->IsConnected(), 0);
    EXPECT_EQ(held->PlayMedia(), 2);
    EXPECT_EQ(held->SetGlobalColorRatio(0, 1, 1, 1), -1);
    CKestraneStageServer* fresh = c.clientSession(ip, 1);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(c.clientSession(ip, 0), fresh);
}
