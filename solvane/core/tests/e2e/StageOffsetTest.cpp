// The display server's outputs on a stage that does not start at the
// desktop's origin, and the desktop capture as their background: the test's
// X screen is split into an operator's display on the left and a projector
// on the right, and the screen is read back.
#include <cstring>
#include <string>

#include "support/ProgramHarness.h"
#include "support/XScreen.h"
#include "lintra/KestraneStageServer.h"
// X last: its macros clash with other headers.
#include "support/XScene.h"

namespace {

using namespace e2e;

constexpr int kHalf = 960;
constexpr int kHeight = 1080;

class StageOffsetTest : public SolvaneProgramFixture {
protected:
    // One channel, on display 2 (the right one) only.
    static WORLD_BASE_INFO RightOnly() {
        WORLD_BASE_INFO world;
        std::memset(static_cast<void*>(&world), 0, sizeof world);
        world.channelCount = 1;
        world.width = kHalf;
        world.height = kHeight;
        CHANNEL_BASE_INFO& rec = world.channels[0];
        rec.channelId = 2;
        rec.rect = RECT{kHalf, 0, 2 * kHalf, kHeight};
        for (int i = 0; i < 41; ++i)
            for (int j = 0; j < 41; ++j) rec.grid[i][j] = DOUBLE_POINT{i / 20.0 - 1.0, j / 20.0 - 1.0};
        for (float& c : rec.colorRatio) c = 1.0f;
        return world;
    }

    void SaveArtefact(const Screenshot& shot, const std::string& name) {
        const char* bin = std::getenv("SV_BINARY_DIR");
        const fs::path folder = fs::path(bin ? bin : ".") / "artefacts";
        std::error_code ec;
        fs::create_directories(folder, ec);
        shot.Save((folder / (name + ".ppm")).string());
    }

    // A command head with its first integer parameter (+4), answered.
    static bool Command(uint32_t code, int32_t first) {
        const int fd = Connect(30100);
        if (fd < 0) return false;
        tagNETHEAD head{};
        head.command = code;
        std::memcpy(reinterpret_cast<uint8_t*>(&head) + 4, &first, sizeof first);
        tagNETHEAD reply{};
        bool ok = send(fd, &head, sizeof head, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof head) &&
                  ReadExactly(fd, &reply, sizeof reply);
        if (ok && reply.bodyLength > 0) {
            std::string b(reply.bodyLength, '\0');
            ok = ReadExactly(fd, b.data(), b.size());
        }
        close(fd);
        return ok;
    }
};

TEST_F(StageOffsetTest, ChannelRightOfTheOperatorsDisplayFillsIt) {
    ASSERT_TRUE(SplitScreenIntoMonitors(2));
    ASSERT_TRUE(StartServer());
    CKestraneStageServer console;
    ASSERT_EQ(console.ConnectServer("127.0.0.1", 30100, 5), 1);
    ASSERT_EQ(console.ResetWorldConfig(RightOnly()), 0);
    ASSERT_EQ(console.SetCommonData(5, 0x00FFFF, nullptr, 0), 0);  // yellow

    auto yellowOnTheRight = [](const Screenshot& s) {
        if (s.width < 2 * kHalf || s.height < kHeight) return false;
        for (int x : {kHalf + 2, kHalf + 480, 2 * kHalf - 3})
            for (int y : {2, kHeight / 2, kHeight - 3})
                if (s.R(x, y) != 255 || s.G(x, y) != 255 || s.B(x, y) != 0) return false;
        return true;
    };
    Screenshot shot;
    const bool shown = testsupport::WaitUntil([&] { return GrabScreen(shot) && yellowOnTheRight(shot); }, 60s);
    SaveArtefact(shot, "e2e_stage_offset");
    ASSERT_TRUE(shown) << "the right display never turned yellow (see artefacts/e2e_stage_offset.ppm)";
    // The operator's display is left alone.
    for (int x : {2, 480, kHalf - 3}) EXPECT_FALSE(shot.R(x, kHeight / 2) == 255 && shot.G(x, kHeight / 2) == 255) << x;
    console.Disconnect();
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(StageOffsetTest, DesktopCaptureShowsTheOperatorsDisplayOnTheWall) {
    ASSERT_TRUE(SplitScreenIntoMonitors(2));
    // The operator's display: red above, blue below.
    testsupport::XScene scene;
    ASSERT_TRUE(scene.OpenScene());
    scene.Fill(0, 0, kHalf, kHeight / 2, 0xFF0000);
    scene.Fill(0, kHeight / 2, kHalf, kHeight / 2, 0x0000FF);
    ASSERT_TRUE(StartServer());
    CKestraneStageServer console;
    ASSERT_EQ(console.ConnectServer("127.0.0.1", 30100, 5), 1);
    ASSERT_EQ(console.ResetWorldConfig(RightOnly()), 0);
    ASSERT_TRUE(Command(305, 1));

    // Rows away from the info text of an empty media list.
    auto captured = [](const Screenshot& s) {
        if (s.width < 2 * kHalf || s.height < kHeight) return false;
        for (int x : {kHalf + 20, 2 * kHalf - 20}) {
            if (s.R(x, 40) != 255 || s.B(x, 40) != 0) return false;
            if (s.B(x, kHeight - 40) != 255 || s.R(x, kHeight - 40) != 0) return false;
        }
        return true;
    };
    Screenshot shot;
    const bool shown = testsupport::WaitUntil([&] { return GrabScreen(shot) && captured(shot); }, 60s);
    SaveArtefact(shot, "e2e_desktop_capture");
    ASSERT_TRUE(shown) << "the wall never showed the captured display (see artefacts/e2e_desktop_capture.ppm)";

    // Switched off, the capture leaves the wall.
    ASSERT_TRUE(Command(305, 0));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return GrabScreen(shot) && !captured(shot); }, 60s));
    console.Disconnect();
    scene.CloseScene();
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
