// The console's calibration commands, sent to a running display server by
// the stage-server client, reach the picture on the screen: two channels on
// the two halves of the test's X screen, an edge blend between them, a colour
// ratio on the right one and a warp on the left one.
#include <cmath>
#include <cstring>
#include <string>

#include "support/ProgramHarness.h"
#include "support/XScreen.h"
#include "lintra/KestraneStageServer.h"

namespace {

using namespace e2e;

constexpr int kHalf = 960;
constexpr int kHeight = 1080;
constexpr int kBlendCells = 8;                         // of 40 per channel side
constexpr int kBlendPixels = kHalf * kBlendCells / 40;  // 192
constexpr double kLift = 0.2;                           // warp: wire units of 2 per channel height
constexpr int kUncovered = static_cast<int>(kHeight * kLift / 2);  // 108 rows at the bottom

class OutputFrameTest : public SolvaneProgramFixture {
protected:
    // A console record for display `id` with the undistorted wire grid.
    static CHANNEL_BASE_INFO Record(int32_t id) {
        CHANNEL_BASE_INFO rec;
        std::memset(static_cast<void*>(&rec), 0, sizeof rec);
        rec.channelId = id;
        rec.rect = RECT{(id - 1) * kHalf, 0, id * kHalf, kHeight};
        for (int i = 0; i < 41; ++i)
            for (int j = 0; j < 41; ++j) rec.grid[i][j] = DOUBLE_POINT{i / 20.0 - 1.0, j / 20.0 - 1.0};
        for (float& c : rec.colorRatio) c = 1.0f;
        return rec;
    }

    void SaveArtefact(const Screenshot& shot, const std::string& name) {
        const char* bin = std::getenv("SV_BINARY_DIR");
        const fs::path folder = fs::path(bin ? bin : ".") / "artefacts";
        std::error_code ec;
        fs::create_directories(folder, ec);
        shot.Save((folder / (name + ".ppm")).string());
    }
};

// What the commands below make of the screen, at a few telling places.
bool ShowsTheCalibration(const Screenshot& s) {
    if (s.width < 2 * kHalf || s.height < kHeight) return false;
    const int mid = kHeight / 3;
    const bool leftWhite = s.R(100, mid) == 255 && s.G(100, mid) == 255 && s.B(100, mid) == 255;
    const bool leftWarped = s.R(100, kHeight - 20) < 8 && s.G(100, kHeight - 20) < 8;
    const bool rightRatio = std::abs(s.G(1500, mid) - 128) <= 2 && s.R(1500, mid) == 255;
    const bool seamDark = s.R(kHalf - 2, mid) < 40 && s.R(kHalf + 1, mid) < 40;
    return leftWhite && leftWarped && rightRatio && seamDark;
}

TEST_F(OutputFrameTest, BlendRampColourRatioAndWarpReachTheScreen) {
    // Two displays of 960 x 1080 side by side on the one output of Xvfb.
    ASSERT_TRUE(SplitScreenIntoMonitors(2));
    ASSERT_TRUE(StartServer());

    CKestraneStageServer console;
    ASSERT_EQ(console.ConnectServer("127.0.0.1", 30100, 5), 1);

    WORLD_BASE_INFO world;
    std::memset(static_cast<void*>(&world), 0, sizeof world);
    world.channelCount = 2;
    world.width = kHalf;
    world.height = kHeight;
    world.channels[0] = Record(1);
    world.channels[1] = Record(2);
    ASSERT_EQ(console.ResetWorldConfig(world), 0) << "set world refused";

    // Every channel filled with white (the solid background colour).
    ASSERT_EQ(console.SetCommonData(5, 0xFFFFFF, nullptr, 0), 0);
    // The blend where the channels meet.
    ASSERT_EQ(console.SetBlendData(1, 0, 0, kBlendCells, 0), 0);
    ASSERT_EQ(console.SetBlendData(2, kBlendCells, 0, 0, 0), 0);
    // Half green on the right channel.
    ASSERT_EQ(console.SetGlobalColorRatio(2, 1.0f, 0.5f, 1.0f), 0);
    // The left channel's grid lifted by a tenth of its height.
    static DOUBLE_POINT grid[41][41];
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) grid[i][j] = DOUBLE_POINT{i / 20.0 - 1.0, j / 20.0 - 1.0 + kLift};
    ASSERT_EQ(console.SetVertexData(1, grid), 0);

    Screenshot shot;
    const bool shown = testsupport::WaitUntil([&] { return GrabScreen(shot) && ShowsTheCalibration(shot); }, 60s);
    SaveArtefact(shot, "e2e_blend_ratio_warp");
    ASSERT_TRUE(shown) << "the screen never showed the calibration (see artefacts/e2e_blend_ratio_warp.ppm)";

    const int y = kHeight / 3;
    // Left channel: white up to its blend zone, then falling towards the seam.
    EXPECT_EQ(shot.R(kHalf - kBlendPixels - 10, y), 255);
    int previous = 256;
    for (int x = kHalf - kBlendPixels; x < kHalf; x += 8) {
        EXPECT_LE(shot.R(x, y), previous) << "x " << x;
        EXPECT_EQ(shot.R(x, y), shot.B(x, y)) << "x " << x;
        previous = shot.R(x, y);
    }
    EXPECT_GT(shot.R(kHalf - kBlendPixels + 4, y), 215);
    EXPECT_LT(shot.R(kHalf - 4, y), 40);

    // Right channel: rising from the seam, with green at half of red.
    previous = -1;
    for (int x = kHalf; x < kHalf + kBlendPixels; x += 8) {
        EXPECT_GE(shot.R(x, y), previous) << "x " << x;
        EXPECT_NEAR(shot.G(x, y), shot.R(x, y) / 2.0, 2.0) << "x " << x;
        previous = shot.R(x, y);
    }
    EXPECT_EQ(shot.R(kHalf + kBlendPixels + 10, y), 255);
    EXPECT_NEAR(shot.G(kHalf + kBlendPixels + 10, y), 127.5, 1.0);
    EXPECT_EQ(shot.B(kHalf + kBlendPixels + 10, y), 255);

    // The warp: the left channel's picture ends a tenth above the bottom; the
    // right channel still reaches it.
    EXPECT_EQ(shot.R(300, kHeight - kUncovered - 6), 255);
    EXPECT_LT(shot.R(300, kHeight - kUncovered + 6), 8);
    EXPECT_LT(shot.R(300, kHeight - 1), 8);
    EXPECT_EQ(shot.R(1500, kHeight - 10), 255);

    // The server reports the world it shows.
    WORLD_BASE_INFO back;
    std::memset(static_cast<void*>(&back), 0, sizeof back);
    EXPECT_EQ(console.GetWorldConfig(back), 0);
    EXPECT_EQ(back.channelCount, 2);
    EXPECT_EQ(back.width, kHalf);
    console.Disconnect();
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
