// The media folder of a running server: the console names its files by bare
// name, and asks for the list of the folder's videos.
#include <cstring>

#include "lintra/ClientSession.h"
#include "support/ProgramHarness.h"

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

}  // namespace
