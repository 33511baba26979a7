// The media folder of a running server: the console names its files by bare
// name, and asks for the list of the folder's videos.
#include <cstring>

#include "lintra/ClientSession.h"
#include "lintra/KestraneStageServer.h"
#include "support/ProgramHarness.h"
#include "support/XScreen.h"

namespace {

using namespace e2e;

class MediaFolderTest : public SolvaneProgramFixture {};

TEST_F(MediaFolderTest, BareNamesLoadFromTheMediaFolderAndTheVideoListAnswers) {
    const fs::path media = base / "media";
    fs::create_directories(media);
    int status = 0;
    testsupport::RunShell("ffmpeg -v error -y -f lavfi -i color=c=red:s=64x48 -frames:v 1 '" +
                              (media / "red.png").string() + "' 2>&1",
                          &status);
    ASSERT_EQ(status, 0);
    testsupport::WriteFile(media / "clip.mp4", "not really a video");
    testsupport::WriteFile(media / "notes.txt", "x");
    ASSERT_TRUE(StartServer());

    tagNETHEAD reply{};
    std::string body;
    ASSERT_TRUE(Exchange(520, reply, &body));
    EXPECT_EQ(reply.intParam[0], 1);
    EXPECT_NE(body.find("clip.mp4"), std::string::npos) << body;
    EXPECT_EQ(body.find("notes.txt"), std::string::npos) << body;

    CClientSession session;
    ASSERT_EQ(session.ConnectServer("127.0.0.1", 30100, 5), 1);
    struct Case {
        const char* name;
        bool loads;
    } cases[] = {{"red.png", true}, {"D:\\console\\media\\red.png", true}, {"missing.png", false}, {"..", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tagNETHEAD add;
        lintra::InitHead(add, 528);
        add.intParam[0] = 2;  // a picture
        add.realParam[0] = 0.0;
        add.realParam[1] = 100.0;
        std::memset(add.textParam, 0, sizeof add.textParam);
        std::strncpy(add.textParam, c.name, sizeof add.textParam - 1);
        ASSERT_EQ(session.SendSimpleCommand(add), 1);
        EXPECT_EQ(add.intParam[0] != 0, c.loads);
    }
    EXPECT_EQ(server.Stop(), 0);
}

// A picture named by a console path that exists only on the console's
// machine is drawn from the server's media folder at its place.
TEST_F(MediaFolderTest, APictureNamedByAForeignPathIsDrawnFromTheMediaFolder) {
    const fs::path media = base / "media";
    fs::create_directories(media);
    int status = 0;
    testsupport::RunShell("ffmpeg -v error -y -f lavfi -i color=c=red:s=400x300 -frames:v 1 '" +
                              (media / "wand.png").string() + "' 2>&1",
                          &status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(StartServer());

    Screenshot shot;
    ASSERT_TRUE(GrabScreen(shot));
    CKestraneStageServer console;
    ASSERT_EQ(console.ConnectServer("127.0.0.1", 30100, 5), 1);
    WORLD_BASE_INFO world;
    std::memset(static_cast<void*>(&world), 0, sizeof world);
    world.channelCount = 1;
    world.width = shot.width;
    world.height = shot.height;
    CHANNEL_BASE_INFO& ch = world.channels[0];
    ch.channelId = 1;
    ch.rect = RECT{0, 0, shot.width, shot.height};
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) ch.grid[i][j] = DOUBLE_POINT{i / 20.0 - 1.0, j / 20.0 - 1.0};
    for (float& c : ch.colorRatio) c = 1.0f;
    ASSERT_EQ(console.ResetWorldConfig(world), 0);

    MEDIA_LEVEL_INFO info;
    info.type = 2;
    std::strncpy(info.name, "/home/operator/shows/wand.png", sizeof info.name - 1);
    info.startTime = 0;
    info.stopTime = 100;
    info.rect = RECT{200, 100, 600, 400};
    ASSERT_NE(console.AddMedia(1, &info), 0u);
    console.SetCurrentTimeLine(0.0);

    const auto red = [&](int x, int y) { return shot.R(x, y) > 200 && shot.G(x, y) < 60 && shot.B(x, y) < 60; };
    const bool shown = testsupport::WaitUntil(
        [&] {
            return GrabScreen(shot) && red(204, 104) && red(596, 396) && red(400, 250) && !red(196, 250) &&
                   !red(604, 250) && !red(400, 96) && !red(400, 404);
        },
        60s);
    const char* bin = std::getenv("SV_BINARY_DIR");
    const fs::path folder = fs::path(bin ? bin : ".") / "artefacts";
    std::error_code ec;
    fs::create_directories(folder, ec);
    shot.Save((folder / "e2e_media_folder_picture.ppm").string());
    EXPECT_TRUE(shown) << "see artefacts/e2e_media_folder_picture.ppm";
}

}  // namespace
