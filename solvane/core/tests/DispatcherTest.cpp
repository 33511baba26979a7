#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using namespace std::chrono_literals;

// A core whose families record what reached them and answer with a result
// that names the family.
class RecordingCore : public CMediaManager {
public:
    explicit RecordingCore(const std::string& folder) : CMediaManager(folder) {}

    int32_t OnWorldCommand(const tagNETHEAD& h, const uint8_t*, uint32_t, tagNETHEAD&,
                           std::vector<uint8_t>&) override {
        return Hit("world", h);
    }
    int32_t OnBlendCommand(const tagNETHEAD& h, const uint8_t*, uint32_t, tagNETHEAD&,
                           std::vector<uint8_t>&) override {
        return Hit("blend", h);
    }
    int32_t OnColorCommand(const tagNETHEAD& h, const uint8_t*, uint32_t, tagNETHEAD&,
                           std::vector<uint8_t>&) override {
        return Hit("color", h);
    }
    int32_t OnBlendSettingCommand(const tagNETHEAD& h, const uint8_t*, uint32_t, tagNETHEAD&,
                                  std::vector<uint8_t>&) override {
        return Hit("blendsetting", h);
    }
    int32_t OnMediaCommand(const tagNETHEAD& h, const uint8_t*, uint32_t, tagNETHEAD&,
                           std::vector<uint8_t>&) override {
        return Hit("media", h);
    }
    int32_t OnSyncCommand(const tagNETHEAD& h, tagNETHEAD&) override { return Hit("sync", h); }
    int32_t OnTimeSyncCommand(const tagNETHEAD& h, tagNETHEAD&) override { return Hit("timesync", h); }
    int32_t OnSystemCommand(const tagNETHEAD& h, const uint8_t*, uint32_t, tagNETHEAD&,
                            std::vector<uint8_t>&) override {
        return Hit("system", h);
    }
    int32_t OnLayerCommand(const tagNETHEAD& h, const uint8_t*, uint32_t, tagNETHEAD&,
                           std::vector<uint8_t>&) override {
        return Hit("layer", h);
    }
    int32_t OnFileUploadCommand(const tagNETHEAD& h, const uint8_t* body, uint32_t length, tagNETHEAD& reply,
                                std::vector<uint8_t>& replyBody) override {
        // Echoes the body to show that body and reply body pass through.
        replyBody.assign(body, body + length);
        reply.bodyLength = length;
        return Hit("upload", h);
    }

    std::string last;
    bool lockFreeInHandler = false;
    bool runningInHandler = false;   // the watchdog saw this command running
    // Runs inside every handler (tests block or delay here).
    std::function<void()> inHandler;

private:
    int32_t Hit(const char* family, const tagNETHEAD& h) {
        last = family;
        // Whether another thread could take the core lock now.
        lockFreeInHandler = RunElsewhere([this] {
            if (!m_csCore.try_lock()) return false;
            m_csCore.unlock();
            return true;
        });
        {
            std::lock_guard watch(m_csCmdWatch);
            runningInHandler = m_bCmdRunning;
        }
        if (inHandler) inHandler();
        return static_cast<int32_t>(h.command) + 100000;
    }
    static bool RunElsewhere(const std::function<bool()>& f) {
        bool r = false;
        std::thread t([&] { r = f(); });
        t.join();
        return r;
    }
};

int32_t Dispatch(CMediaManager& core, uint32_t code, std::vector<uint8_t>* replyBody = nullptr,
                 const std::vector<uint8_t>& body = {}) {
    tagNETHEAD head{};
    head.command = code;
    head.bodyLength = static_cast<uint32_t>(body.size());
    tagNETHEAD reply{};
    std::vector<uint8_t> rb;
    const int32_t r =
        core.DispatchCommand(head, body.data(), static_cast<uint32_t>(body.size()), reply, replyBody ? *replyBody : rb,
                             nullptr);
    return r;
}

}  // namespace

TEST(Dispatcher, RoutesEveryRangeBoundary) {
    struct Case {
        uint32_t code;
        const char* family;   // empty: no handler
    };
    const Case cases[] = {
        {0, ""},         {1, ""},         {2, "world"},    {13, "world"},   {14, ""},
        {100, ""},       {101, "blend"},  {134, "blend"},  {136, "blend"},  {137, ""},
        {200, ""},       {201, "color"},  {206, "color"},  {207, ""},       {300, ""},
        {301, "blendsetting"}, {311, "blendsetting"}, {312, ""}, {500, ""}, {501, "media"},
        {502, "media"},  {541, "media"},  {542, ""},       {800, ""},       {801, "sync"},
        {807, "sync"},   {812, "sync"},   {813, ""},       {900, ""},       {901, "timesync"},
        {902, ""},       {1000, ""},      {1001, "system"}, {1009, "system"}, {1010, ""},
        {1100, ""},      {1101, "layer"}, {1110, "layer"}, {1111, ""},      {1200, ""},
        {1201, "upload"}, {1204, "upload"}, {1205, ""},    {0xFFFFFFFFu, ""},
    };
    testsupport::TempDir dir;
    RecordingCore core(dir.str());
    for (const Case& c : cases) {
        core.last.clear();
        const uint64_t begun = core.m_nCmdCount;
        core.runningInHandler = false;
        const int32_t result = Dispatch(core, c.code);
        const bool handled = c.family[0] != '\0';
        EXPECT_EQ(core.last, c.family) << c.code;
        EXPECT_EQ(result, handled ? static_cast<int32_t>(c.code) + 100000 : 0) << c.code;
        const bool sync = std::string(c.family) == "sync";
        // Synchronisation runs outside the lock and outside the watchdog's view.
        EXPECT_EQ(core.m_nCmdCount - begun, sync ? 0u : 1u) << c.code;
        EXPECT_FALSE(core.m_bCmdRunning) << c.code;
        if (handled) {
            EXPECT_EQ(core.runningInHandler, !sync) << c.code;
        }
        if (handled) {
            EXPECT_EQ(core.lockFreeInHandler, sync) << c.code;
        }
    }
}

TEST(Dispatcher, LogsEveryCommand) {
    testsupport::TempDir dir;
    CMediaManager core(dir.str());
    util::LogCapture log;
    tagNETHEAD head{};
    head.command = 5;
    head.intParam[0] = 1;
    head.intParam[1] = -2;
    head.intParam[2] = 3;
    head.intParam[3] = 4;
    head.intParam[4] = 99;
    tagNETHEAD reply{};
    std::vector<uint8_t> body;
    EXPECT_EQ(core.DispatchCommand(head, nullptr, 0, reply, body, nullptr), 0);
    head.command = 4000;
    core.DispatchCommand(head, nullptr, 0, reply, body, nullptr);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "***********cmdType=5.param = 1,-2,3,4\n"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "***********cmdType=4000.param = 1,-2,3,4\n"));
}

TEST(Dispatcher, PassesBodyAndReplyBody) {
    testsupport::TempDir dir;
    RecordingCore core(dir.str());
    std::vector<uint8_t> replyBody;
    Dispatch(core, 1202, &replyBody, {1, 2, 3, 4, 5});
    EXPECT_EQ(replyBody, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST(Dispatcher, SyncCommandCompletesWhileAnotherHoldsTheCoreLock) {
    testsupport::TempDir dir;
    RecordingCore core(dir.str());
    platform::Event entered(true, false), release(true, false);
    core.inHandler = [&] {
        if (core.last == "world") {
            entered.Set();
            release.Wait(10000);
        }
    };
    std::thread busy([&] { Dispatch(core, 10); });
    ASSERT_TRUE(entered.Wait(10000));

    std::atomic<bool> done{false};
    std::atomic<int32_t> result{0};
    std::thread sync([&] {
        result = Dispatch(core, 807);
        done = true;
    });
    const bool completed = testsupport::WaitUntil([&] { return done.load(); }, 10s);
    release.Set();
    sync.join();
    busy.join();
    EXPECT_TRUE(completed);
    EXPECT_EQ(result.load(), 807 + 100000);
}

class Watchdog : public ::testing::Test {
protected:
    void Start(int limitMs) {
        core.SetServices({&output, nullptr, nullptr, &system});
        core.m_nWaitFreezeTime = limitMs;
        core.StartCommandWatchdog();
    }
    testsupport::TempDir dir;
    FakeOutputWindow output;
    FakeSystemServices system;
    RecordingCore core{dir.str()};
};

TEST_F(Watchdog, RestartsOnceForACommandPastTheLimit) {
    Start(100);
    util::LogCapture log;
    // The handler runs until the watchdog has acted (deadline 10 s), so it
    // outlasts the 100 ms limit whatever the machine's load.
    core.inHandler = [&] { system.restarted.Wait(10000); };
    Dispatch(core, 10);
    ASSERT_TRUE(system.restarted.IsSet());
    ASSERT_TRUE(output.quit.Wait(10000));
    // The watchdog has ended: later slow commands restart nothing more.
    Dispatch(core, 10);
    EXPECT_EQ(system.RestartCount(), 1u);
    EXPECT_EQ(output.Count("quit"), 1u);
    EXPECT_EQ(log.Count("命令处理超时，重新启动服务器"), 1u);
    EXPECT_EQ(system.Restarts()[0], BuildRestartHelperArgv(system.self));
}

TEST_F(Watchdog, NeverRestartsForCommandsWithinTheLimit) {
    Start(1000);
    core.inHandler = [] { std::this_thread::sleep_for(50ms); };
    for (int i = 0; i < 3; ++i) Dispatch(core, 501);
    // A command that has returned cannot be timed out any more; end the
    // watchdog and look.
    core.m_quitEvent.Set();
    EXPECT_EQ(system.RestartCount(), 0u);
    EXPECT_EQ(output.Count("quit"), 0u);
}

TEST_F(Watchdog, BackToBackCommandsFromSeveralClientsNeverTripItButAHangStillDoes) {
    // Short against a show's 15 s, yet far above what a command of this
    // test takes even on a loaded machine.
    constexpr int kLimitMs = 1500;
    Start(kLimitMs);
    util::LogCapture log;
    // Several clients with no gap between their commands: begins and ends
    // follow each other closer than any watchdog can look.
    constexpr int kClients = 4, kCommands = 1500;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&] {
            for (int i = 0; i < kCommands; ++i) Dispatch(core, 501 + static_cast<uint32_t>(i % 3));
        });
    for (std::thread& t : clients) t.join();
    EXPECT_EQ(core.m_nCmdCount, uint64_t{kClients} * kCommands);
    // Nothing runs now; give the watchdog two limits to misjudge that.
    EXPECT_FALSE(system.restarted.Wait(2 * kLimitMs));
    EXPECT_EQ(log.Count("命令处理超时，重新启动服务器"), 0u);

    // It still watches: a command that hangs is ended.
    core.inHandler = [&] { system.restarted.Wait(10000); };
    Dispatch(core, 10);
    EXPECT_TRUE(system.restarted.IsSet());
    EXPECT_TRUE(output.quit.Wait(10000));
    EXPECT_EQ(system.RestartCount(), 1u);
    EXPECT_EQ(log.Count("命令处理超时，重新启动服务器"), 1u);
}

TEST_F(Watchdog, QuitWhileACommandRunsEndsItWithoutRestart) {
    Start(60000);
    platform::Event entered(true, false), release(true, false);
    core.inHandler = [&] {
        entered.Set();
        release.Wait(10000);
    };
    std::thread busy([&] { Dispatch(core, 10); });
    ASSERT_TRUE(entered.Wait(10000));
    core.m_quitEvent.Set();
    release.Set();
    busy.join();
    EXPECT_EQ(system.RestartCount(), 0u);
}

TEST_F(Watchdog, ALimitOfZeroOrLessMeansNoWatchdog) {
    for (int limit : {0, -1, -15000}) {
        SCOPED_TRACE(limit);
        util::LogCapture log;
        RecordingCore idle{dir.str()};
        idle.SetServices({&output, nullptr, nullptr, &system});
        idle.m_nWaitFreezeTime = limit;
        idle.StartCommandWatchdog();
        EXPECT_EQ(idle.m_nWatchdogRunning, 0);
        // Long enough that a zero limit would surely have passed.
        idle.inHandler = [] { std::this_thread::sleep_for(20ms); };
        for (int i = 0; i < 3; ++i) Dispatch(idle, 501);
        EXPECT_EQ(log.Count("command watchdog off: WaitFreezeTime=" + std::to_string(limit)), 1u);
    }
    EXPECT_EQ(system.RestartCount(), 0u);
    EXPECT_EQ(output.Count("quit"), 0u);
}

TEST(RestartHelper, CommandLineIsGolden) {
    ProcessIdentity self{4242, "/opt/solvane/solvane", {"--base-dir", "/srv/wall one", "it's"}};
    EXPECT_EQ(QuoteCommandLine(BuildRestartHelperArgv(self)),
              "'/bin/sh' '-c' 'timeout 3 cat <&3 >/dev/null || { kill -9 4242 2>/dev/null; cat <&3 >/dev/null; }; "
              "exec 3<&-; exec \"$0\" \"$@\"' '/opt/solvane/solvane' '--base-dir' "
              "'/srv/wall one' 'it'\\''s'");
}

TEST(RestartHelper, ScriptWaitsForEofThenStartsTheProgramWithItsArguments) {
    // Descriptor 3 at EOF stands for an old process that has already gone;
    // the "program" is printf, which shows the arguments it was given. The
    // process id is one that cannot exist.
    ProcessIdentity self{2147483000, "/usr/bin/printf", {"[%s]", "two words", "x"}};
    int status = -1;
    const std::string out =
        testsupport::RunShell(QuoteCommandLine(BuildRestartHelperArgv(self, 30)) + " 3</dev/null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "[two words][x]");
}
