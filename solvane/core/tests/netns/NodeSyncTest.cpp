// Master and slaves of node synchronisation in one process, each on its own
// loopback address with the fixed ports, with short timings.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "core/NodeSync.h"
#include "core/ServerClock.h"
#include "core/SocketManager.h"
#include "platform/tick.h"
#include "support/support.h"
#include "util/LogCapture.h"

using namespace std::chrono_literals;
using testsupport::TempDir;
using testsupport::WaitUntil;

namespace {

constexpr const char* kMasterAddress = "127.0.0.1";

NodeSyncOptions FastOptions(const std::string& address) {
    NodeSyncOptions o;
    o.bindAddress = address;
    o.heartbeatMs = 50;
    // Long enough that a loaded machine never misses an answer by chance.
    o.slaveExpiryMs = 2000;
    o.masterAnswerMs = 2000;
    o.startSettleMs = 0;
    o.minAckWaitMs = 0;
    o.longAckWaitMs = 3000;
    o.redoPauseMs = 0;
    o.redoAfterWaitMs = 0;
    return o;
}

// A video file with a position.
class PositionedMedia : public FakeMedia {
public:
    explicit PositionedMedia(int32_t type) : FakeMedia(type) {}
    PositionedMedia(const std::string& name, int64_t position, int32_t state) : FakeMedia(kMediaFileVideo) {
        common_.name = name;
        common_.state = state;
        position_ = position;
    }
    bool GetSeekPosition(int64_t& position) override {
        position = position_;
        return true;
    }
    bool SeekTo(int64_t position) override {
        position_ = position;
        return true;
    }

private:
    int64_t position_ = 0;
};

class PositionedFactory : public IMediaFactory {
public:
    std::unique_ptr<IMedia> CreateMedia(int32_t type) override { return std::make_unique<PositionedMedia>(type); }
};

struct Broadcast {
    std::string name;
    int64_t position = 0;
    int32_t value1 = 0;
    int32_t value2 = 0;
    int32_t value3 = 0;
    int32_t value5 = 0;
    int32_t bits = 0;
};

// Records the broadcasts instead of sending them; ending the tasks destroys
// every media, as the task code does.
class TestNodeSync : public CNodeSync {
public:
    TestNodeSync(CMediaManager& core, CServerClock& clock, const NodeSyncOptions& options)
        : CNodeSync(&core, &clock, options), core_(core) {}

    std::vector<Broadcast> Broadcasts() {
        std::lock_guard lock(mu_);
        return broadcasts_;
    }
    std::function<void(int32_t bits)> onBroadcast;

protected:
    void BroadcastSync(const SyncMediaInfo& info, int32_t bits) override {
        {
            std::lock_guard lock(mu_);
            broadcasts_.push_back({info.name, info.position, info.value1, info.value2, info.value3, info.value5, bits});
        }
        if (onBroadcast) onBroadcast(bits);
    }
    void StopAllTasks() override {
        std::lock_guard lock(core_.m_csMedia);
        for (IMedia* m : core_.m_mediaList) core_.DestroyMediaObject(m);
        core_.m_mediaList.clear();
    }

private:
    CMediaManager& core_;
    std::mutex mu_;
    std::vector<Broadcast> broadcasts_;
};

// One display server as far as node synchronisation sees it.
struct Node {
    Node(const std::string& address, bool master)
        : core(dir.str()), clock(0u, &tick), sync(core, clock, FastOptions(address)) {
        CoreServices services;
        services.media = &factory;
        core.SetServices(services);
        core.m_nSyncMediaEnable = 1;
        core.m_nMainServer = master ? 1 : 0;
    }
    ~Node() { sync.Stop(); }

    void AddVideo(const std::string& name, int64_t position, int32_t state) {
        std::lock_guard lock(core.m_csMedia);
        core.m_mediaList.push_back(new PositionedMedia(name, position, state));
    }
    struct Video {
        std::string name;
        int64_t position;
        int32_t state;
        bool operator==(const Video&) const = default;
    };
    std::vector<Video> Videos() {
        std::lock_guard lock(core.m_csMedia);
        std::vector<Video> out;
        for (IMedia* m : core.m_mediaList) {
            int64_t position = -1;
            if (!m->GetSeekPosition(position)) position = -1;
            out.push_back({m->Common().name, position, m->Common().state});
        }
        return out;
    }

    TempDir dir;
    PositionedFactory factory;
    CMediaManager core;
    platform::ManualTickSource tick;
    CServerClock clock;
    TestNodeSync sync;
};

// A bare peer: sends what the test says from its own address and records
// what arrives on its two ports.
class Probe {
public:
    explicit Probe(const std::string& address) : sender_(nullptr, nullptr, FastOptions(address)) {
        const NodeSyncOptions o = FastOptions(address);
        for (int i = 0; i < 2; ++i) {
            ports_[i].probe = this;
            ports_[i].index = i;
            endpoints_[i].SetCommandCallback(&Probe::OnCommand);
            endpoints_[i].SetUserPointer(&ports_[i]);
            EXPECT_TRUE(endpoints_[i].Start(i == 0 ? o.statePort : o.heartbeatPort, address.c_str()));
        }
    }
    void Send(uint16_t port, std::vector<uint8_t> payload) {
        ASSERT_GT(sender_.SendTo(kMasterAddress, port, payload.data(), static_cast<uint32_t>(payload.size())), 0);
    }
    void SendTo(const std::string& address, uint16_t port, std::vector<uint8_t> payload) {
        ASSERT_GT(sender_.SendTo(address, port, payload.data(), static_cast<uint32_t>(payload.size())), 0);
    }
    void Heartbeat() { Send(sender_.Options().heartbeatPort, {kNodeSyncHeartbeat, 0}); }

    struct Message {
        uint8_t command;
        std::string rest;
    };
    std::vector<Message> State() { return Got(0); }
    std::vector<Message> Heartbeats() { return Got(1); }

private:
    struct Port {
        Probe* probe;
        int index;
    };
    static void OnCommand(int, const char*, int, uint8_t command, const uint8_t* data, uint32_t length, void* user) {
        auto* port = static_cast<Port*>(user);
        std::lock_guard lock(port->probe->mu_);
        port->probe->got_[port->index].push_back({command, std::string(reinterpret_cast<const char*>(data), length)});
    }
    std::vector<Message> Got(int i) {
        std::lock_guard lock(mu_);
        return got_[i];
    }

    CNodeSync sender_;  // never started: only its SendTo
    Port ports_[2];
    CSocketManager endpoints_[2];
    std::mutex mu_;
    std::vector<Message> got_[2];
};

class NodeSyncTest : public ::testing::Test {
protected:
    void SetUp() override { SetControllerAddress(kMasterAddress); }
    void TearDown() override { SetControllerAddress(""); }
    util::LogCapture log_;
};

}  // namespace

TEST_F(NodeSyncTest, FirstHeartbeatGetsTheClockAndTheStateLaterOnesAnAnswer) {
    Node master(kMasterAddress, true);
    master.AddVideo("/m/a.mp4", 42, kMediaPlaying);
    const uint32_t before = platform::GetTickCount();
    ASSERT_EQ(master.sync.Start(), 1);
    Probe probe("127.0.0.9");

    probe.Heartbeat();
    ASSERT_TRUE(WaitUntil([&] { return !probe.State().empty() && !probe.Heartbeats().empty(); }));
    const uint32_t after = platform::GetTickCount();
    const auto heartbeats = probe.Heartbeats();
    ASSERT_EQ(heartbeats.size(), 1u) << "no answer 4 to the first heartbeat";
    EXPECT_EQ(heartbeats[0].command, kNodeSyncTime);
    ASSERT_EQ(heartbeats[0].rest.size(), 9u);
    uint32_t masterTime = 0;
    std::memcpy(&masterTime, heartbeats[0].rest.data(), 4);
    EXPECT_GE(masterTime, before + 2);
    EXPECT_LE(masterTime, after + 2);
    EXPECT_EQ(heartbeats[0].rest.substr(4), std::string(5, '\0'));
    const auto state = probe.State();
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0].command, kNodeSyncState);
    EXPECT_EQ(state[0].rest, std::string("/m/a.mp4<42,1>") + '\0');
    EXPECT_EQ(master.sync.SlaveAddresses(), (std::vector<std::string>{"127.0.0.9"}));
    EXPECT_TRUE(log_.Contains(LOGTEXT::Level::Info, " 新的节点加入。127.0.0.9"));

    probe.Heartbeat();
    ASSERT_TRUE(WaitUntil([&] { return probe.Heartbeats().size() == 2; }));
    EXPECT_EQ(probe.Heartbeats()[1].command, kNodeSyncAlive);
    EXPECT_EQ(probe.State().size(), 1u);
}

TEST_F(NodeSyncTest, SlaveTakesTheMastersClock) {
    Node master(kMasterAddress, true);
    Node slave("127.0.0.2", false);
    ASSERT_EQ(master.sync.Start(), 1);
    const uint32_t before = platform::GetTickCount();
    ASSERT_EQ(slave.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return slave.sync.MasterAlive(); }));
    const uint32_t after = platform::GetTickCount();
    // The slave's own tick stands still: its clock shows the base it was given.
    EXPECT_GE(slave.clock.GetTime(), before + 2);
    EXPECT_LE(slave.clock.GetTime(), after + 2);
    EXPECT_EQ(master.sync.SlaveAddresses(), (std::vector<std::string>{"127.0.0.2"}));
}

TEST_F(NodeSyncTest, SilentSlaveIsDroppedWhileLiveOnesStay) {
    Node master(kMasterAddress, true);
    Node slave("127.0.0.2", false);
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(slave.sync.Start(), 1);
    Probe probe("127.0.0.9");
    probe.Heartbeat();
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 2; }));

    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 1; }));
    EXPECT_EQ(master.sync.SlaveAddresses(), (std::vector<std::string>{"127.0.0.2"}));
    EXPECT_TRUE(log_.Contains(LOGTEXT::Level::Info, "节点 127.0.0.9 在规定时间内没响应，移除"));

    slave.sync.Stop();
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 0; }));
}

TEST_F(NodeSyncTest, SlaveReportsTheMasterLostOnceAndItsReturnOnce) {
    Node master(kMasterAddress, true);
    Node slave("127.0.0.2", false);
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(slave.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return slave.sync.MasterAlive(); }));
    const size_t lostBefore = log_.Count("主控没有响应了");
    const size_t backBefore = log_.Count("恢复到主控了");

    master.sync.Stop();
    ASSERT_TRUE(WaitUntil([&] { return log_.Count("主控没有响应了") == lostBefore + 1; }));
    EXPECT_FALSE(slave.sync.MasterAlive());
    {
        // The slave goes on sending heartbeats into the silence: several of
        // them pass without a second report.
        Probe stand(kMasterAddress);
        ASSERT_TRUE(WaitUntil([&] { return stand.Heartbeats().size() >= 5; }));
    }
    EXPECT_EQ(log_.Count("主控没有响应了"), lostBefore + 1);

    // The restarted master knows no slave: its first answer is the clock,
    // which counts as an answer.
    const size_t clocks = log_.Count("收到同步时间。");
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return log_.Count("恢复到主控了") == backBefore + 1; }));
    EXPECT_TRUE(slave.sync.MasterAlive());
    EXPECT_GT(log_.Count("收到同步时间。"), clocks);
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 1; }));
    EXPECT_EQ(log_.Count("恢复到主控了"), backBefore + 1);
    EXPECT_EQ(log_.Count("主控没有响应了"), lostBefore + 1);
}

TEST_F(NodeSyncTest, SlaveWithTheSameFilesKeepsThemPausedAndAsksForARedo) {
    Node master(kMasterAddress, true);
    master.AddVideo("/m/a.mp4", 10, kMediaPlaying);
    master.AddVideo("D:\\m\\B.mp4", 20, kMediaPaused);
    Node slave("127.0.0.2", false);
    slave.AddVideo("/other/A.MP4", 1, kMediaPlaying);
    slave.AddVideo("/x/b.mp4", 2, kMediaPlaying);
    // Each replayed record with bit 0x1000 is acknowledged by the slave.
    master.sync.onBroadcast = [&](int32_t bits) {
        if (bits & 0x1000) slave.sync.SendUpdateAcknowledgement();
    };

    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(slave.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return master.sync.Broadcasts().size() == 4; }));
    ASSERT_TRUE(WaitUntil([&] { return log_.Contains("wait all slave node. wait="); }));

    EXPECT_EQ(slave.Videos(), (std::vector<Node::Video>{{"/other/A.MP4", 1, kMediaPaused}, {"/x/b.mp4", 2, kMediaPaused}}));
    const auto b = master.sync.Broadcasts();
    EXPECT_EQ(b[0].bits, 2);
    EXPECT_EQ(b[0].value1, kMediaPaused);
    EXPECT_EQ(b[0].name, "");
    EXPECT_EQ(b[1].bits, 0x1281);
    EXPECT_EQ(b[1].name, "/m/a.mp4");
    EXPECT_EQ(b[1].position, 10);
    EXPECT_EQ(b[1].value1, kMediaPaused);
    EXPECT_EQ(b[2].bits, 0x1281);
    EXPECT_EQ(b[2].name, "D:\\m\\B.mp4");
    EXPECT_EQ(b[2].position, 20);
    // Only the video that played before the redo plays again.
    EXPECT_EQ(b[3].bits, 2);
    EXPECT_EQ(b[3].name, "/m/a.mp4");
    EXPECT_EQ(b[3].value1, kMediaPlaying);
    EXPECT_TRUE(log_.Contains("wait all slave node. wait=0")) << "the acknowledgements ended the wait";
    ASSERT_TRUE(WaitUntil([&] { return master.Videos()[0].state == kMediaPlaying; }));
    EXPECT_EQ(master.Videos()[1].state, kMediaPaused);
}

TEST_F(NodeSyncTest, SlaveWithOtherFilesLoadsTheMastersListPausedAtItsPositions) {
    struct Case {
        const char* what;
        std::vector<std::string> slaveFiles;
    };
    const Case cases[] = {
        {"another number of files", {"/other/a.mp4"}},
        {"other names", {"/other/a.mp4", "/other/c.mp4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Node master(kMasterAddress, true);
        const std::string a = (master.dir / "a.mp4").string();
        const std::string b = (master.dir / "b.mp4").string();
        testsupport::WriteFile(a, "a");
        testsupport::WriteFile(b, "b");
        master.AddVideo(a, 111, kMediaPlaying);
        master.AddVideo(b, 222, kMediaPaused);
        Node slave("127.0.0.2", false);
        for (const auto& f : c.slaveFiles) slave.AddVideo(f, 5, kMediaPlaying);

        ASSERT_EQ(master.sync.Start(), 1);
        ASSERT_EQ(slave.sync.Start(), 1);
        ASSERT_TRUE(WaitUntil([&] { return slave.Videos().size() == 2 && slave.Videos()[0].name == a; }));
        EXPECT_EQ(slave.Videos(), (std::vector<Node::Video>{{a, 111, kMediaPaused}, {b, 222, kMediaPaused}}));
        ASSERT_TRUE(WaitUntil([&] { return !master.sync.Broadcasts().empty(); })) << "the slave asked for a redo";
    }
}

TEST_F(NodeSyncTest, EmptyStateOnASlaveWithoutVideosSendsNothing) {
    Node master(kMasterAddress, true);
    Node slave("127.0.0.2", false);
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(slave.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return log_.Contains("init requst response. "); }));
    EXPECT_FALSE(WaitUntil([&] { return log_.Contains("do all sync again"); }, 300ms));
    EXPECT_TRUE(master.sync.Broadcasts().empty());
}

TEST_F(NodeSyncTest, RedoWithoutVideosBroadcastsOnlyThePauseAndDoesNotWait) {
    Node master(kMasterAddress, true);
    ASSERT_EQ(master.sync.Start(), 1);
    Probe probe("127.0.0.9");
    probe.Heartbeat();
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 1; }));
    probe.Send(master.sync.Options().statePort, {kNodeSyncRedo, 0});
    ASSERT_TRUE(WaitUntil([&] { return !master.sync.Broadcasts().empty(); }));
    EXPECT_FALSE(WaitUntil([&] { return log_.Contains("wait all slave node"); }, 300ms));
    const auto b = master.sync.Broadcasts();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].bits, 2);
    EXPECT_EQ(b[0].value1, kMediaPaused);
}

TEST_F(NodeSyncTest, AfterAJoinTheRoundNeedsOneAcknowledgementMore) {
    Node master(kMasterAddress, true);
    Node b("127.0.0.2", false);
    Node c("127.0.0.3", false);
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(b.sync.Start(), 1);
    ASSERT_EQ(c.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 2; }));

    // Two slaves, but the count starts at -1 after the last join.
    b.sync.SendLoadAcknowledgement();
    c.sync.SendUpdateAcknowledgement();
    ASSERT_TRUE(WaitUntil([&] { return log_.Contains("slave node count=2.action count=1"); }));
    EXPECT_FALSE(log_.Contains("ok event"));
    EXPECT_FALSE(master.sync.WaitAllSlaveNodes(100));

    // A new round begins from 0: one acknowledgement per slave.
    master.sync.BeginAcknowledgementRound();
    b.sync.SendLoadAcknowledgement();
    c.sync.SendLoadAcknowledgement();
    ASSERT_TRUE(WaitUntil([&] { return log_.Contains("set load ok event"); }));
    EXPECT_TRUE(master.sync.WaitAllSlaveNodes(3000));
}

TEST_F(NodeSyncTest, AcknowledgementsBeforeTheWaitBeginsCount) {
    Node master(kMasterAddress, true);
    Node b("127.0.0.2", false);
    Node c("127.0.0.3", false);
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(b.sync.Start(), 1);
    ASSERT_EQ(c.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 2; }));

    // The round begins before the broadcast; one slave answers before the
    // main server starts waiting, the other while it waits.
    master.sync.BeginAcknowledgementRound();
    b.sync.SendUpdateAcknowledgement();
    ASSERT_TRUE(WaitUntil([&] { return log_.Contains("slave node count=2.action count=1"); }));
    auto wait = std::async(std::launch::async, [&] { return master.sync.WaitAllSlaveNodes(60000); });
    c.sync.SendUpdateAcknowledgement();
    ASSERT_EQ(wait.wait_for(20s), std::future_status::ready) << "the first answer was lost";
    EXPECT_TRUE(wait.get());
}

TEST_F(NodeSyncTest, RecordsFromAThirdAddressChangeNothing) {
    // The slave follows 127.0.0.1, which is silent; a stranger sends it a
    // master's state, a clock and an answer.
    Node slave("127.0.0.2", false);
    slave.AddVideo("/show/a.mp4", 7, kMediaPlaying);
    const uint32_t clockBefore = slave.clock.GetTime();
    CNodeSync& sync = slave.sync;
    const NodeSyncOptions& o = sync.Options();
    ASSERT_EQ(sync.Start(), 1);
    Probe stranger("127.0.0.9");
    const std::string state = std::string(1, static_cast<char>(kNodeSyncState)) + "/evil/x.mp4<1,1>" + '\0';
    uint8_t clock[10] = {kNodeSyncTime, 0x10, 0x27, 0, 0};
    stranger.SendTo("127.0.0.2", o.statePort, std::vector<uint8_t>(state.begin(), state.end()));
    stranger.SendTo("127.0.0.2", o.heartbeatPort, std::vector<uint8_t>(clock, clock + sizeof clock));
    stranger.SendTo("127.0.0.2", o.heartbeatPort, {kNodeSyncAlive, 0});
    ASSERT_TRUE(WaitUntil([&] { return log_.Count(" from 127.0.0.9 ignored") == 3; }));
    EXPECT_EQ(slave.Videos(), (std::vector<Node::Video>{{"/show/a.mp4", 7, kMediaPlaying}}));
    EXPECT_EQ(slave.clock.GetTime(), clockBefore);
    EXPECT_FALSE(sync.MasterAlive());
    EXPECT_FALSE(log_.Contains("init requst response"));
}

TEST_F(NodeSyncTest, MainServerCountsAcknowledgementsOfItsSlavesOnly) {
    Node master(kMasterAddress, true);
    Node b("127.0.0.2", false);
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(b.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 1; }));
    master.sync.BeginAcknowledgementRound();
    Probe stranger("127.0.0.9");
    stranger.Send(master.sync.Options().heartbeatPort, {kNodeSyncLoadAck, 0});
    stranger.Send(master.sync.Options().statePort, {kNodeSyncRedo, 0});
    ASSERT_TRUE(WaitUntil([&] { return log_.Count(" from 127.0.0.9 ignored") == 2; }));
    EXPECT_FALSE(log_.Contains("set load ok event"));
    EXPECT_FALSE(log_.Contains("do all sync again"));
    b.sync.SendLoadAcknowledgement();
    EXPECT_TRUE(master.sync.WaitAllSlaveNodes(20000));
}

TEST_F(NodeSyncTest, WaitWithoutSlavesReturnsAtOnceAndStopEndsAPendingWait) {
    Node master(kMasterAddress, true);
    ASSERT_EQ(master.sync.Start(), 1);
    auto idle = std::async(std::launch::async, [&] { return master.sync.WaitAllSlaveNodes(60000); });
    ASSERT_EQ(idle.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(idle.get());

    Node slave("127.0.0.2", false);
    ASSERT_EQ(slave.sync.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 1; }));
    auto pending = std::async(std::launch::async, [&] { return master.sync.WaitAllSlaveNodes(60000); });
    ASSERT_EQ(pending.wait_for(200ms), std::future_status::timeout) << "waiting for the slave";
    master.sync.Stop();
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(pending.get());
}

TEST_F(NodeSyncTest, SlaveWithSyncMediaOffStaysSilent) {
    Node master(kMasterAddress, true);
    Node slave("127.0.0.2", false);
    slave.core.m_nSyncMediaEnable = 0;
    ASSERT_EQ(master.sync.Start(), 1);
    ASSERT_EQ(slave.sync.Start(), 1);
    EXPECT_FALSE(WaitUntil([&] { return master.sync.SlaveCount() > 0; }, 400ms));
    slave.core.m_nSyncMediaEnable = 1;
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 1; }));
}

TEST_F(NodeSyncTest, StartingAgainRebindsAndStopEndsTheSwitch) {
    Node master(kMasterAddress, true);
    ASSERT_EQ(master.sync.Start(), 1);
    EXPECT_EQ(master.core.m_nNodeSyncEnabled, 1);
    ASSERT_EQ(master.sync.Start(), 1) << "the network thread starts a running node again";
    Probe probe("127.0.0.9");
    probe.Heartbeat();
    ASSERT_TRUE(WaitUntil([&] { return master.sync.SlaveCount() == 1; }));
    master.sync.Stop();
    EXPECT_EQ(master.core.m_nNodeSyncEnabled, 0);
    EXPECT_EQ(master.sync.SlaveCount(), 0u);
    // Nobody is bound any more: another node may take the ports.
    Node other(kMasterAddress, true);
    EXPECT_EQ(other.sync.Start(), 1);
}
