// What a show wall shows and answers, read from outside: the picture of a
// paused video stays still unless the settings ask for the moving badge, the
// idle screen names the server's address, and a slave that joined a playing
// wall answers the frame query in step with the main server.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "support/RemoteServer.h"
#include "support/XScreen.h"

namespace {

using namespace e2e;

std::string ArtefactFolder() {
    const char* bin = std::getenv("SV_BINARY_DIR");
    const fs::path folder = fs::path(bin ? bin : ".") / "artefacts";
    std::error_code ec;
    fs::create_directories(folder, ec);
    return folder.string();
}

// One text command on the server's text port; the answer as it came
// (empty when none came).
std::string TextCommand(const std::string& host, const std::string& line, size_t answerSize) {
    const int fd = Connect(30101, host);
    if (fd < 0) return {};
    std::string answer;
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
        char buf[64];
        while (answer.size() < answerSize && answer != "fail" && answer != "ok" && answer != "invalid") {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            answer.append(buf, static_cast<size_t>(n));
        }
    }
    close(fd);
    return answer;
}

// The current video's position in seconds, by "getframe"; none on "fail".
std::optional<double> FramePosition(const std::string& host) {
    const std::string answer = TextCommand(host, "getframe", 16);
    if (answer.size() != 16) return std::nullopt;
    double position = 0;
    std::memcpy(&position, answer.data(), sizeof position);
    return position;
}

std::string MakeClip(const fs::path& folder, int seconds) {
    const std::string clip = (folder / "clip.mp4").string();
    if (fs::exists(clip)) return clip;
    int status = -1;
    const std::string text = testsupport::RunShell(
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x180:rate=25 -t " + std::to_string(seconds) +
            " -pix_fmt yuv420p '" + clip + "' 2>&1",
        &status);
    EXPECT_EQ(status, 0) << text;
    return clip;
}

size_t DifferingPixels(const Screenshot& a, const Screenshot& b) {
    if (a.rgb.size() != b.rgb.size()) return SIZE_MAX;
    size_t n = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3)
        if (std::memcmp(&a.rgb[i], &b.rgb[i], 3) != 0) ++n;
    return n;
}

TEST(ShowWallTest, APausedVideoLeavesTheScreenStillUnlessTheBadgeIsAskedFor) {
    testsupport::TempDir dir;
    const std::string clip = MakeClip(dir.path(), 10);
    struct Case {
        const char* name;
        const char* settings;  // mediacfg.ini
        bool still;
    } cases[] = {
        {"default", "", true},
        {"badge", "[Setting]\nShowMatting=1\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoteServer server;
        const fs::path base = dir / c.name;
        fs::create_directories(base);
        testsupport::WriteFile(base / "mediacfg.ini", c.settings);
        ASSERT_TRUE(server.Start(1, base)) << server.ErrorText();
        const std::string host = server.Address();
        ASSERT_EQ(TextCommand(host, "update " + clip, 2), "ok");
        // Playing, then paused: the position stops moving.
        ASSERT_TRUE(testsupport::WaitUntil([&] { return FramePosition(host).value_or(0) > 0.5; }, 60s));
        ASSERT_EQ(TextCommand(host, "pause", 2), "ok");
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] {
                const auto a = FramePosition(host);
                std::this_thread::sleep_for(200ms);
                const auto b = FramePosition(host);
                return a && b && *a == *b;
            },
            30s));
        // The paused frame has reached the screen once two grabs agree.
        Screenshot before, after;
        if (c.still) {
            ASSERT_TRUE(testsupport::WaitUntil(
                [&] {
                    Screenshot again;
                    if (!GrabScreen(before, server.Display())) return false;
                    std::this_thread::sleep_for(200ms);
                    return GrabScreen(again, server.Display()) && DifferingPixels(before, again) == 0;
                },
                30s));
        } else {
            ASSERT_TRUE(GrabScreen(before, server.Display()));
        }
        // What is watched: the screen over two seconds.
        std::this_thread::sleep_for(2s);
        ASSERT_TRUE(GrabScreen(after, server.Display()));
        after.Save(ArtefactFolder() + "/e2e_paused_" + c.name + ".ppm");
        // The video is on the screen (the test picture's colour bars).
        size_t coloured = 0;
        for (int y = 0; y < after.height; y += 8)
            for (int x = 0; x < after.width; x += 8)
                if (std::max({after.R(x, y), after.G(x, y), after.B(x, y)}) -
                        std::min({after.R(x, y), after.G(x, y), after.B(x, y)}) > 150)
                    ++coloured;
        EXPECT_GT(coloured, 0u) << "no video on the screen";
        const size_t moved = DifferingPixels(before, after);
        if (c.still)
            EXPECT_EQ(moved, 0u);
        else
            EXPECT_GT(moved, 100u) << "the badge does not move over the paused picture";
        EXPECT_EQ(server.Stop(), 0);
    }
}

// The rising columns of light in a band of rows: one per glyph of a line of
// text when the glyphs stand apart.
int GlyphColumns(const Screenshot& s, int top, int bottom) {
    int glyphs = 0;
    bool inGlyph = false;
    for (int x = 0; x < s.width; ++x) {
        bool lit = false;
        for (int y = std::max(top, 0); y < std::min(bottom, s.height) && !lit; ++y) lit = s.R(x, y) > 128;
        if (lit && !inGlyph) ++glyphs;
        inGlyph = lit;
    }
    return glyphs;
}

TEST(ShowWallTest, TheIdleScreenNamesTheServersAddress) {
    testsupport::TempDir dir;
    RemoteServer server;
    ASSERT_TRUE(server.Start(3, dir / "wall")) << server.ErrorText();
    const std::string expected = "Ip:" + server.Address();  // 198.18.3.2
    Screenshot shot;
    // The first of the overlay's four lines sits a fifth of the height below
    // the middle; the lines are 2.5 % of the height apart.
    int top = 0, bottom = 0;
    const bool shown = testsupport::WaitUntil(
        [&] {
            if (!GrabScreen(shot, server.Display())) return false;
            const int baseline = static_cast<int>(shot.height * 0.6);
            top = baseline - static_cast<int>(shot.height * 0.025) + 2;
            bottom = baseline + 2;
            return GlyphColumns(shot, top, bottom) >= static_cast<int>(expected.size());
        },
        60s);
    shot.Save(ArtefactFolder() + "/e2e_idle_address.ppm");
    ASSERT_TRUE(shown) << GlyphColumns(shot, top, bottom) << " glyphs on the address line, "
                       << expected.size() << " expected (see artefacts/e2e_idle_address.ppm)";
    EXPECT_EQ(GlyphColumns(shot, top, bottom), static_cast<int>(expected.size()));
    EXPECT_EQ(server.Stop(), 0);
}

TEST(ShowWallTest, ASlaveThatJoinedAPlayingWallAnswersTheFrameQueryInStep) {
    testsupport::TempDir dir;
    const std::string clip = MakeClip(dir.path(), 120);
    RemoteServer main, slave;
    ASSERT_TRUE(main.Start(4, dir / "main")) << main.ErrorText();
    auto toMain = main.ConnectSession();
    ASSERT_TRUE(toMain);
    tagNETHEAD role = SyncRoleCommand(1, 1);
    ASSERT_EQ(toMain->SendSimpleCommand(role), 1);
    ASSERT_EQ(TextCommand(main.Address(), "update " + clip, 2), "ok");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return FramePosition(main.Address()).value_or(0) > 1.0; }, 60s));

    // The slave comes later and catches up through the node synchronisation.
    ASSERT_TRUE(slave.Start(5, dir / "slave")) << slave.ErrorText();
    auto toSlave = slave.ConnectSession();
    ASSERT_TRUE(toSlave);
    // A slave, told where the main server is, as the console tells it.
    role = SyncRoleCommand(1, 0);
    const std::string mainAddress = main.Address();
    std::memcpy(reinterpret_cast<uint8_t*>(&role) + 124, mainAddress.c_str(), mainAddress.size() + 1);
    ASSERT_EQ(toSlave->SendSimpleCommand(role), 1);

    // Main, slave, main: the slave's frame lies between the two main ones,
    // give or take a frame (25 per second).
    constexpr double kFrame = 1.0 / 25;
    auto inStep = [&](std::string* why) {
        const auto before = FramePosition(main.Address());
        const auto mid = FramePosition(slave.Address());
        const auto after = FramePosition(main.Address());
        if (!before || !after) {
            *why = "the main server answers fail";
            return false;
        }
        if (!mid) {
            *why = "the slave answers fail";
            return false;
        }
        *why = "slave at " + std::to_string(*mid) + " s, main between " + std::to_string(*before) + " and " +
               std::to_string(*after) + " s";
        return *mid >= *before - kFrame && *mid <= *after + kFrame;
    };
    std::string why;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return inStep(&why); }, 90s)) << why;
    // And it stays so while both play.
    const auto started = FramePosition(slave.Address());
    ASSERT_TRUE(started);
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(inStep(&why)) << why;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return FramePosition(slave.Address()).value_or(0) > *started + 0.5; }, 30s))
        << "the slave does not play";
    EXPECT_EQ(slave.Stop(), 0);
    EXPECT_EQ(main.Stop(), 0);
}

}  // namespace
