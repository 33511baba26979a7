// The whole display server under hostile input from its show network: worlds
// that used to hang every start, a media folder in a system tree, idle text
// clients by the thousand and huge announced bodies. Each test runs the
// program in a private network namespace.
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "channel/ChannelLayout.h"
#include "core/SettingsRecord.h"
#include "support/ProgramHarness.h"

namespace {

using namespace e2e;

// Sends a head with its body and reads the reply head (and drops its body);
// false when no reply came within the deadline.
bool ExchangeHead(const tagNETHEAD& head, const std::string& body, tagNETHEAD& reply) {
    const int fd = Connect(30100);
    if (fd < 0) return false;
    // Generous: a loaded machine may be slow, but a hung command never answers.
    timeval tv{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    tagNETHEAD h = head;
    h.bodyLength = static_cast<uint32_t>(body.size());
    bool ok = send(fd, &h, sizeof h, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof h) &&
              (body.empty() || send(fd, body.data(), body.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(body.size())) &&
              ReadExactly(fd, &reply, sizeof reply);
    if (ok && reply.bodyLength > 0) {
        std::string b(reply.bodyLength, '\0');
        ok = ReadExactly(fd, b.data(), b.size());
    }
    close(fd);
    return ok;
}

tagNETHEAD Head(uint32_t code, std::initializer_list<int32_t> ints = {}, const std::string& text = {}) {
    tagNETHEAD h{};
    h.command = code;
    int k = 0;
    for (int32_t v : ints) h.intParam[k++] = v;
    std::memcpy(h.textParam, text.data(), std::min(text.size(), sizeof h.textParam - 1));
    return h;
}

// A status value of /proc/<pid>/status ("Threads", "VmRSS" in kB); -1 when absent.
long ProcStatus(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size() + 1, key + ":") == 0) return std::stol(line.substr(key.size() + 1));
    return -1;
}

class HostileInputTest : public SolvaneProgramFixture {
protected:
    pid_t ServerPid() {
        const std::vector<pid_t> pids = ServersOf(base.string());
        return pids.empty() ? -1 : pids.front();
    }
};

// Reset world to a 1 x 1-pixel channel at a far-out origin, save, reload: the
// reload used to loop over hundreds of millions of rows until the watchdog
// restarted the server, which then hung on the saved file at every start.
TEST_F(HostileInputTest, FarOutWorldIsRefusedAtOnceAndTheServerKeepsAnswering) {
    ASSERT_TRUE(StartServer());
    tagNETHEAD reply{};
    ASSERT_TRUE(ExchangeHead(Head(5, {1, 1, 1, 1, 0x30000000, 0x30000000, 0}), {}, reply));
    EXPECT_EQ(reply.intParam[0], 0);
    ASSERT_TRUE(ExchangeHead(Head(6), {}, reply));
    ASSERT_TRUE(ExchangeHead(Head(1006, {}, "default.cfg"), {}, reply));
    ASSERT_TRUE(ExchangeHead(Head(901), {}, reply));
    EXPECT_FALSE(fs::exists(base / "default.cfg.bad"));
}

// A layout file that fails the bounds at start-up is kept aside and the
// server starts with the default world.
TEST_F(HostileInputTest, BadLayoutFileAtStartUpIsKeptAsideAndTheServerAnswers) {
    CChannelLayout far;
    far.m_nOriginX = 0x30000000;
    far.m_nOriginY = 0x30000000;
    far.m_nChannelWidth = 1;
    far.m_nChannelHeight = 1;
    ASSERT_TRUE(far.SaveCodFile((base / "default.cfg").string()));
    ASSERT_TRUE(StartServer());
    tagNETHEAD reply{};
    ASSERT_TRUE(ExchangeHead(Head(901), {}, reply));
    EXPECT_TRUE(fs::exists(base / "default.cfg.bad"));
    EXPECT_NE(Log().find("kept aside as"), std::string::npos);
}

// Uploads write into the media folder with the server's rights: a system
// tree is refused and mediacfg.ini is left as it was.
TEST_F(HostileInputTest, MediaFolderInASystemTreeIsRefusedAndNothingIsSaved) {
    ASSERT_TRUE(StartServer());
    auto record = [](const std::string& folder) {
        SERVER_SETTINGS_RECORD rec;
        std::memset(static_cast<void*>(&rec), 0, sizeof rec);
        std::memcpy(rec.mediaFolder, folder.data(), std::min(folder.size(), sizeof rec.mediaFolder - 1));
        return std::string(reinterpret_cast<const char*>(&rec), sizeof rec);
    };
    const std::string before = testsupport::ReadFile(base / "mediacfg.ini");
    // A home folder outside the server's media root is refused as well:
    // an upload into its autostart folder would run at that user's log-in.
    fs::create_directories(dir / "home" / ".config" / "autostart");
    for (const std::string& folder : {std::string("/etc"), std::string("/"), (dir / "home").string(),
                                      (dir / "home" / ".config" / "autostart").string()}) {
        SCOPED_TRACE(folder);
        tagNETHEAD reply{};
        ASSERT_TRUE(ExchangeHead(Head(1003), record(folder), reply));
        EXPECT_EQ(reply.intParam[0], 0);
        EXPECT_EQ(testsupport::ReadFile(base / "mediacfg.ini"), before);
    }
    // The same record with a folder below the server's base folder (the
    // default media root) is taken.
    const fs::path own = base / "shows";
    fs::create_directories(own);
    tagNETHEAD reply{};
    ASSERT_TRUE(ExchangeHead(Head(1003), record(own.string()), reply));
    EXPECT_EQ(reply.intParam[0], 1);
    EXPECT_NE(testsupport::ReadFile(base / "mediacfg.ini").find(own.string()), std::string::npos);
}

// A picture of a few hundred bytes whose header claims 65,500 x 65,500
// pixels used to be decoded at that size under the command lock, until the
// watchdog ended the server.
TEST_F(HostileInputTest, APictureHeaderClaimingGigabytesIsRefusedAndTheServerKeepsAnswering) {
    const fs::path bomb = dir / "bomb.jpg";
    int status = -1;
    const std::string out = testsupport::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=red:s=16x8 "
                                                  "-frames:v 1 '" + bomb.string() + "' 2>&1",
                                                  &status);
    ASSERT_EQ(status, 0) << out;
    std::string bytes = testsupport::ReadFile(bomb);
    const size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    ASSERT_LT(sof + 8, bytes.size());
    for (size_t k = 5; k <= 8; ++k) bytes[sof + k] = static_cast<char>(k % 2 ? 0xFF : 0xDC);  // 65,500 each way
    testsupport::WriteFile(bomb, bytes);

    ASSERT_TRUE(StartServer());
    const pid_t pid = ServerPid();
    ASSERT_GT(pid, 0);
    tagNETHEAD reply{};
    ASSERT_TRUE(ExchangeHead(Head(901), {}, reply));
    const long rssBefore = ProcStatus(pid, "VmRSS");
    ASSERT_GT(rssBefore, 0);
    for (int i = 0; i < 3; ++i) {
        // Refused, or taken with the picture left out: either way at once.
        ASSERT_TRUE(ExchangeHead(Head(503, {2}, bomb.string()), {}, reply)) << i;
    }
    ASSERT_TRUE(ExchangeHead(Head(901), {}, reply));
    const long growthKb = ProcStatus(pid, "VmRSS") - rssBefore;
    EXPECT_LT(growthKb, 200L * 1024) << growthKb << " kB";
    EXPECT_EQ(ServersOf(base.string()), std::vector<pid_t>{pid}) << "the server was restarted";
}

// Idle clients of the text port used to get a thread each, without limit.
TEST_F(HostileInputTest, ThousandsOfIdleTextClientsLeaveFewThreadsAndTheServerAnswering) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
    setrlimit(RLIMIT_NOFILE, &files);
    const int clients = files.rlim_cur >= 2100 ? 2000 : static_cast<int>(files.rlim_cur) - 100;
    ASSERT_GT(clients, 200);

    ASSERT_TRUE(StartServer());
    const pid_t pid = ServerPid();
    ASSERT_GT(pid, 0);
    std::vector<int> fds;
    for (int i = 0; i < clients; ++i) {
        const int fd = Connect(30101);
        if (fd >= 0) fds.push_back(fd);
    }
    EXPECT_GT(fds.size(), 64u);
    tagNETHEAD reply{};
    EXPECT_TRUE(ExchangeHead(Head(901), {}, reply));
    EXPECT_LT(ProcStatus(pid, "Threads"), 100);
    for (int fd : fds) close(fd);
    EXPECT_TRUE(ExchangeHead(Head(901), {}, reply));
}

// Bodies announced at 200 MiB each used to be reserved whole when their head
// arrived; they now grow as their bytes do.
TEST_F(HostileInputTest, SlowHugeBodiesDoNotReserveTheirAnnouncedSize) {
    ASSERT_TRUE(StartServer());
    const pid_t pid = ServerPid();
    ASSERT_GT(pid, 0);
    tagNETHEAD reply{};
    ASSERT_TRUE(ExchangeHead(Head(901), {}, reply));
    const long rssBefore = ProcStatus(pid, "VmRSS");
    ASSERT_GT(rssBefore, 0);

    const std::string chunk(1 << 20, 'x');
    std::vector<int> fds;
    for (int i = 0; i < 8; ++i) {
        const int fd = Connect(30100);
        ASSERT_GE(fd, 0);
        tagNETHEAD h = Head(1203);
        h.bodyLength = 200u << 20;
        send(fd, &h, sizeof h, MSG_NOSIGNAL);
        send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    // The server has read on: another client is answered.
    EXPECT_TRUE(ExchangeHead(Head(901), {}, reply));
    const long growthKb = ProcStatus(pid, "VmRSS") - rssBefore;
    EXPECT_LT(growthKb, 300L * 1024) << growthKb << " kB";
    for (int fd : fds) close(fd);
    EXPECT_TRUE(ExchangeHead(Head(901), {}, reply));
}

}  // namespace
