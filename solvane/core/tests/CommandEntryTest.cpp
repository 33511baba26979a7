#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/CommandEntry.h"
#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "lintra/netcodes.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

// A core whose families record the heads that reach them and answer with a
// reply the test chooses.
class EntryCore : public CMediaManager {
public:
    explicit EntryCore(const std::string& folder) : CMediaManager(folder) {
        SetServices({&output, &media, &displays, &system});
    }

    int32_t OnWorldCommand(const tagNETHEAD& h, const uint8_t* b, uint32_t n, tagNETHEAD& r,
                           std::vector<uint8_t>& rb) override {
        return Hit(h, b, n, r, rb);
    }
    int32_t OnBlendCommand(const tagNETHEAD& h, const uint8_t* b, uint32_t n, tagNETHEAD& r,
                           std::vector<uint8_t>& rb) override {
        return Hit(h, b, n, r, rb);
    }
    int32_t OnMediaCommand(const tagNETHEAD& h, const uint8_t* b, uint32_t n, tagNETHEAD& r,
                           std::vector<uint8_t>& rb) override {
        return Hit(h, b, n, r, rb);
    }
    int32_t OnTimeSyncCommand(const tagNETHEAD& h, tagNETHEAD& r) override {
        std::vector<uint8_t> none;
        timeQueries++;
        return Hit(h, nullptr, 0, r, none);
    }
    int32_t OnSystemCommand(const tagNETHEAD& h, const uint8_t* b, uint32_t n, tagNETHEAD& r,
                            std::vector<uint8_t>& rb) override {
        return Hit(h, b, n, r, rb);
    }
    int32_t OnLayerCommand(const tagNETHEAD& h, const uint8_t* b, uint32_t n, tagNETHEAD& r,
                           std::vector<uint8_t>& rb) override {
        return Hit(h, b, n, r, rb);
    }

    // What a handler answers: reply int[0], an optional body and its
    // announced length (by default the body's size).
    int32_t replyResult = 1;
    std::vector<uint8_t> replyBodyBytes;
    int64_t announcedLength = -1;
    double replyReals[2] = {0, 0};

    std::vector<tagNETHEAD> heads;
    std::vector<std::vector<uint8_t>> bodies;
    int timeQueries = 0;

    FakeOutputWindow output;
    FakeMediaFactory media;
    FakeDisplayList displays;
    FakeSystemServices system;

private:
    int32_t Hit(const tagNETHEAD& h, const uint8_t* b, uint32_t n, tagNETHEAD& r, std::vector<uint8_t>& rb) {
        heads.push_back(h);
        bodies.emplace_back(b, b + n);
        r.command = h.command;
        r.intParam[0] = replyResult;
        r.realParam[0] = replyReals[0];
        r.realParam[1] = replyReals[1];
        rb = replyBodyBytes;
        r.bodyLength = announcedLength >= 0 ? static_cast<uint32_t>(announcedLength)
                                            : static_cast<uint32_t>(rb.size());
        return 42;
    }
};

class CommandEntryTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    EntryCore core{dir.str()};
};

tagNETHEAD Head(uint32_t code, std::function<void(tagNETHEAD&)> fill = {}) {
    tagNETHEAD h{};
    h.command = code;
    if (fill) fill(h);
    return h;
}

void Text(tagNETHEAD& h, const char* s) { std::strncpy(h.textParam, s, sizeof h.textParam - 1); }

struct Row {
    const char* line;
    tagNETHEAD expected;
};

std::string Hex(const tagNETHEAD& h) {
    std::string out;
    const auto* p = reinterpret_cast<const uint8_t*>(&h);
    char buf[4];
    for (size_t i = 0; i < sizeof h; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", p[i]);
        out += buf;
    }
    return out;
}

// One row per keyword plus the edge cases; the whole 384-byte head that
// reaches the dispatcher is compared.
TEST_F(CommandEntryTest, EveryKeywordFillsTheWholeHead) {
    const std::vector<Row> rows = {
        {"hit 7", Head(105, [](auto& h) { h.intParam[0] = 7; })},
        {"resetworld 3 4", Head(5, [](auto& h) { h.intParam[0] = 3; h.intParam[1] = 4; })},
        {"resetworld 3", Head(5, [](auto& h) { h.intParam[0] = 3; h.intParam[1] = 3; })},
        {"play", Head(506)},
        {"PLAY\r\n", Head(506)},
        {"play now please", Head(506)},
        {"pause", Head(507)},
        {"stop", Head(508)},
        {"switch  a.mp4 ", Head(505, [](auto& h) { Text(h, "a.mp4"); })},
        {"update b.mp4", Head(505, [](auto& h) { Text(h, "b.mp4"); h.intParam[1] = 1; })},
        {"showimage c.jpg", Head(505, [](auto& h) { Text(h, "c.jpg"); h.intParam[0] = 2; h.intParam[1] = 1; })},
        {"AddDesktop", Head(505, [](auto& h) { Text(h, "\\\\.\\DISPLAY1"); h.intParam[0] = 3; h.intParam[1] = 1; })},
        {"AddDesktop 1234", Head(505, [](auto& h) { Text(h, "\\\\.\\DISPLAY1"); h.intParam[0] = 3; h.intParam[1] = 1; })},
        {"AddDesktop DISPLAY2",
         Head(505, [](auto& h) { Text(h, "\\\\.\\DISPLAY2"); h.intParam[0] = 3; h.intParam[1] = 1; })},
        {"AddDesktop \\\\.\\DISPLAY3",
         Head(505, [](auto& h) { Text(h, "\\\\.\\DISPLAY3"); h.intParam[0] = 3; h.intParam[1] = 1; })},
        {"ChangeBkImage bk.jpg", Head(525, [](auto& h) { Text(h, "bk.jpg"); })},
        {"ModifyBkImage bk.jpg", Head(525, [](auto& h) { Text(h, "bk.jpg"); h.intParam[0] = 1; })},
        {"showcapture 2", Head(505, [](auto& h) { Text(h, "video capture"); h.intParam[0] = 1; h.intParam[2] = 2; })},
        {"getframe", Head(516)},
        {"RetriveVideoFiles", Head(520)},
        {"SetVolume 250", Head(513, [](auto& h) { h.intParam[1] = 250; })},
        {"ClearMedia", Head(505)},
        {"GoForward", Head(518, [](auto& h) { h.realParam[0] = 5.0; })},
        {"GoBack", Head(519, [](auto& h) { h.realParam[0] = 5.0; })},
        {"GoBack 2.5", Head(519, [](auto& h) { h.realParam[0] = 2.5; })},
        {"MoveToFrame 12.25", Head(517, [](auto& h) { h.realParam[0] = 12.25; })},
        {"IncVolume", Head(511, [](auto& h) { h.intParam[1] = 5; })},
        {"IncVolume 250", Head(511, [](auto& h) { h.intParam[1] = 100; })},
        {"IncVolume -3", Head(511, [](auto& h) { h.intParam[1] = 0; })},
        {"DecVolume 30", Head(512, [](auto& h) { h.intParam[1] = 30; })},
        {"Cod1D", Head(119, [](auto& h) { h.intParam[0] = 1; })},
        {"Cod2D", Head(119, [](auto& h) { h.intParam[0] = 2; })},
        {"Cod3D", Head(119, [](auto& h) { h.intParam[0] = 3; })},
        {"cod4d", Head(119, [](auto& h) { h.intParam[0] = 4; })},
        {"Cod5D", Head(119, [](auto& h) { h.intParam[0] = 5; })},
        {"CodDefault", Head(119)},
        {"DoTask  evening show ", Head(1103, [](auto& h) { Text(h, "evening show"); })},
        {"RestartServer", Head(1001)},
        {"ChangeConfigFile wall.cfg\n", Head(1006, [](auto& h) { Text(h, "wall.cfg"); })},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        core.heads.clear();
        tagNETHEAD head{}, reply{};
        std::vector<uint8_t> body;
        const int result = ParseUserCommand(core, head, row.line, reply, body);
        ASSERT_EQ(core.heads.size(), 1u);
        EXPECT_EQ(Hex(core.heads[0]), Hex(row.expected));
        EXPECT_EQ(Hex(head), Hex(row.expected));
        EXPECT_EQ(result, 42);
    }
}

TEST_F(CommandEntryTest, UnknownKeywordIsInvalidAndDispatchesNothing) {
    for (const char* line : {"dance", "", "\r\n", " play", "playy", "Cod6D"}) {
        SCOPED_TRACE(line);
        tagNETHEAD head{}, reply{};
        std::vector<uint8_t> body;
        EXPECT_EQ(ParseUserCommand(core, head, line, reply, body), -1);
        EXPECT_EQ(AnswerUserCommand(core, line, false), "invalid");
    }
    EXPECT_TRUE(core.heads.empty());
}

TEST_F(CommandEntryTest, SetVideoSyncIsLocalAndABadParameterIsACodeWithoutHandler) {
    EXPECT_EQ(AnswerUserCommand(core, "SetVideoSync enable", false), "ok");
    EXPECT_EQ(core.m_nSyncMediaEnable, 1);
    EXPECT_EQ(AnswerUserCommand(core, "SetVideoSync 0\r\n", false), "ok");
    EXPECT_EQ(core.m_nSyncMediaEnable, 0);
    EXPECT_EQ(AnswerUserCommand(core, "setvideosync DISABLE", false), "ok");
    EXPECT_EQ(AnswerUserCommand(core, "SetVideoSync 1", false), "ok");
    EXPECT_EQ(core.m_nSyncMediaEnable, 1);
    EXPECT_TRUE(core.heads.empty());

    tagNETHEAD head{}, reply{};
    std::vector<uint8_t> body;
    EXPECT_EQ(ParseUserCommand(core, head, "SetVideoSync maybe", reply, body), 0);
    EXPECT_EQ(Hex(head), Hex(tagNETHEAD{}));
    EXPECT_EQ(AnswerUserCommand(core, "SetVideoSync maybe", false), "fail");
    EXPECT_EQ(core.m_nSyncMediaEnable, 1);
}

TEST_F(CommandEntryTest, WindowCommandsGoToTheOutputWindowAndAnswerOk) {
    EXPECT_EQ(AnswerUserCommand(core, "MinWnd", false), "ok");
    EXPECT_EQ(AnswerUserCommand(core, "RestoreWnd", false), "ok");
    EXPECT_EQ(core.output.Count("minimise"), 1u);
    EXPECT_EQ(core.output.Count("restore"), 1u);
}

TEST_F(CommandEntryTest, SynchronisedSlaveRefusesPlaybackAndTasksOnly) {
    core.m_nSyncMediaEnable = 1;
    core.m_nMainServer = 0;
    util::LogCapture log;
    for (const char* line : {"play", "pause", "stop", "switch a.mp4", "DoTask t"})
        EXPECT_EQ(AnswerUserCommand(core, line, false), "fail") << line;
    EXPECT_TRUE(core.heads.empty());
    EXPECT_TRUE(log.Contains("命令失败！启用同步后不响应控制命令"));
    core.replyReals[0] = 1.5;
    EXPECT_NE(AnswerUserCommand(core, "getframe", false), "fail");
    EXPECT_EQ(AnswerUserCommand(core, "hit 1", false), "ok");
    core.m_nMainServer = 1;
    EXPECT_EQ(AnswerUserCommand(core, "play", false), "ok");
}

TEST_F(CommandEntryTest, AnswersFollowTheReply) {
    core.replyResult = 1;
    EXPECT_EQ(AnswerUserCommand(core, "play", false), "ok");
    core.replyResult = 0;
    EXPECT_EQ(AnswerUserCommand(core, "play", false), "fail");

    // 516: the two doubles as they stand in the reply head, or "fail".
    core.replyResult = 1;
    core.replyReals[0] = 12.5;
    core.replyReals[1] = -3.0;
    const std::string frame = AnswerUserCommand(core, "getframe", false);
    ASSERT_EQ(frame.size(), 16u);
    double d[2];
    std::memcpy(d, frame.data(), 16);
    EXPECT_EQ(d[0], 12.5);
    EXPECT_EQ(d[1], -3.0);
    core.replyResult = 0;
    EXPECT_EQ(AnswerUserCommand(core, "getframe", false), "fail");

    // 520: the reply body, whatever the result; never past what was filled.
    const std::string files = "a.mp4|b.mp4|";
    core.replyBodyBytes.assign(files.begin(), files.end());
    EXPECT_EQ(AnswerUserCommand(core, "RetriveVideoFiles", false), files);
    core.announcedLength = 1000;
    EXPECT_EQ(AnswerUserCommand(core, "RetriveVideoFiles", false), files);
}

TEST_F(CommandEntryTest, TheResultIsLogged) {
    util::LogCapture log;
    core.replyResult = 1;
    AnswerUserCommand(core, "play\r\n", false);
    EXPECT_TRUE(log.Contains("user command=play.cmd=play,param="));
    EXPECT_TRUE(log.Contains("result of command:play. 1"));
    AnswerUserCommand(core, "stop", true);
    EXPECT_TRUE(log.Contains("serail result of command:stop. 1"));
}

TEST_F(CommandEntryTest, LongTextIsCutToTheField) {
    const std::string name(400, 'x');
    tagNETHEAD head{}, reply{};
    std::vector<uint8_t> body;
    ParseUserCommand(core, head, ("switch " + name).c_str(), reply, body);
    EXPECT_EQ(strnlen(head.textParam, sizeof head.textParam), 255u);
    // A UTF-8 name is stored in GBK like a name from the console.
    ParseUserCommand(core, head, "switch 视频.mp4", reply, body);
    EXPECT_STREQ(head.textParam, "\xCA\xD3\xC6\xB5.mp4");
}

// ---- binary entry ----

std::string ReadAll(int fd, size_t want) {
    std::string out;
    char buf[65536];
    while (out.size() < want) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

class ProtocolEntryTest : public CommandEntryTest {
protected:
    void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
    void TearDown() override {
        close(fds[0]);
        close(fds[1]);
    }
    int fds[2] = {-1, -1};
};

TEST_F(ProtocolEntryTest, ReplyHeadThenBodyGoBack) {
    core.replyBodyBytes = {1, 2, 3, 4, 5};
    const uint8_t body[3] = {9, 8, 7};
    const tagNETHEAD head = Head(530, [](auto& h) { h.intParam[1] = 77; h.bodyLength = 3; });
    ServeProtocolCommand(core, fds[0], head, body, 3, nullptr);
    ASSERT_EQ(core.bodies.size(), 1u);
    EXPECT_EQ(core.bodies[0], (std::vector<uint8_t>{9, 8, 7}));
    const std::string got = ReadAll(fds[1], 384 + 5);
    ASSERT_EQ(got.size(), 389u);
    tagNETHEAD reply;
    std::memcpy(&reply, got.data(), 384);
    EXPECT_EQ(reply.command, 530u);
    EXPECT_EQ(reply.intParam[0], 1);
    EXPECT_EQ(reply.bodyLength, 5u);
    EXPECT_EQ(got.substr(384), std::string("\1\2\3\4\5", 5));
}

// A reply far larger than the socket buffer goes out whole after its head,
// and a length announced beyond the body is cut to what is there.
TEST_F(ProtocolEntryTest, LargeReplyIsSentWholeAndTheHeadMatchesTheBody) {
    core.replyBodyBytes.assign(3 * 1024 * 1024, 0x5A);
    core.announcedLength = 5 * 1024 * 1024;
    std::string got;
    std::thread reader([&] { got = ReadAll(fds[1], 384 + 3 * 1024 * 1024); });
    ServeProtocolCommand(core, fds[0], Head(501), nullptr, 0, nullptr);
    reader.join();
    ASSERT_EQ(got.size(), 384u + 3 * 1024 * 1024);
    tagNETHEAD reply;
    std::memcpy(&reply, got.data(), 384);
    EXPECT_EQ(reply.bodyLength, 3u * 1024 * 1024);
    EXPECT_EQ(got.find_first_not_of('\x5A', 384), std::string::npos);
}

TEST_F(ProtocolEntryTest, MulticastCommandIsExecutedButNeverAnswered) {
    ServeProtocolCommand(core, kNoReplySocket, Head(506), nullptr, 0, nullptr);
    EXPECT_EQ(core.heads.size(), 1u);
    ServeProtocolCommand(core, fds[0], Head(507), nullptr, 0, nullptr);
    // Only the second command's reply is in the stream.
    const std::string got = ReadAll(fds[1], 384);
    ASSERT_EQ(got.size(), 384u);
    tagNETHEAD reply;
    std::memcpy(&reply, got.data(), 384);
    EXPECT_EQ(reply.command, 507u);
}

TEST_F(ProtocolEntryTest, TimeQueryBypassesTheCoreLock) {
    platform::Event release{true, false};
    platform::Event holding{true, false};
    std::thread holder([&] {
        std::lock_guard hold(core.m_csCore);
        holding.Set();
        release.Wait(10000);
    });
    ASSERT_TRUE(holding.Wait(5000));
    std::atomic<bool> answered{false};
    std::thread query([&] {
        tagNETHEAD reply{};
        std::vector<uint8_t> replyBody;
        ExecuteProtocolCommand(core, Head(NETCMD::TimeQuery), nullptr, 0, nullptr, reply, replyBody);
        answered = true;
    });
    EXPECT_TRUE(testsupport::WaitUntil([&] { return answered.load(); }));
    release.Set();
    query.join();
    holder.join();
    EXPECT_EQ(core.timeQueries, 1);
}

}  // namespace
