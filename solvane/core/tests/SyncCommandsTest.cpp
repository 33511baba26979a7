// The synchronisation family (801 to 812), the playlist advance, the
// synchronised media replacement and the media switch, driven with crafted
// heads on a core over a temp folder with the recording fakes.
#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "CommandFixture.h"
#include "core/NodeSync.h"
#include "core/ServerClock.h"
#include "lintra/host.h"
#include "platform/ini.h"
#include "platform/packed.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/tick.h"
#include "util/LogCapture.h"

namespace fs = std::filesystem;

namespace {

// A core that records what it would hand to the network thread and the
// task-plan code.
class RecordingCore : public CMediaManager {
public:
    using CMediaManager::CMediaManager;
    void RestartSyncReceiver(const std::string& group, int port) override {
        restarts.push_back(group + ":" + std::to_string(port));
    }
    void StartSyncTask(const std::string& name) override { tasks.push_back(name); }
    std::vector<std::string> restarts;
    std::vector<std::string> tasks;
};

}  // namespace

class SyncCommands : public CommandFixture {
protected:
    void SetUp() override {
        CommandFixture::SetUp();
        core = std::make_unique<RecordingCore>(dir.str());
        CoreServices services;
        services.output = &output;
        services.media = &media;
        services.system = &system;
        core->SetServices(services);
        core->SetCentralControl(&central);
        folder = (fs::path(dir.str()) / "media").string();
        fs::create_directories(folder);
        core->m_strMediaFolder = folder;
        core->m_strAnswerGroup = "";  // answers go nowhere here (see the loopback tests)
        core->m_nSyncMediaEnable = 1;
        core->m_nStopSettleMs = 0;
        core->m_nSwitchSettleMs = 0;
        SetControllerAddress("");
    }
    void TearDown() override {
        CommandFixture::TearDown();
        SetControllerAddress("");
    }
    RecordingCore& Core() { return static_cast<RecordingCore&>(*core); }

    std::string MakeFile(const std::string& name) {
        const std::string path = (fs::path(folder) / name).string();
        std::ofstream(path) << "x";
        return path;
    }
    // Loads a video of the media folder into the list.
    FakeMedia* AddVideo(const std::string& name, double start = 0.0, double stop = 0.0) {
        IMedia* m = core->LoadMedia(kMediaFileVideo, MakeFile(name), nullptr);
        EXPECT_NE(m, nullptr);
        if (!m) return nullptr;
        m->Common().startTime = start;
        m->Common().endTime = stop;
        std::lock_guard lock(core->m_csMedia);
        core->m_mediaList.push_back(m);
        return dynamic_cast<FakeMedia*>(m);
    }
    std::vector<std::string> ListNames() {
        std::lock_guard lock(core->m_csMedia);
        std::vector<std::string> names;
        for (IMedia* m : core->m_mediaList) names.emplace_back(platform::LastComponent(m->Common().name));
        return names;
    }
    IMedia* CurrentVideo() {
        std::lock_guard lock(core->m_csCurrentVideo);
        return core->m_pCurrentVideo;
    }
    static tagNETHEAD Record801(int32_t bits, const std::string& text, std::initializer_list<int32_t> values = {}) {
        tagNETHEAD h = Head(801, {bits});
        int k = 1;
        for (int32_t v : values) h.intParam[k++] = v;
        SetText(h, platform::Utf8ToGbk(text));
        return h;
    }
    static tagNETHEAD AddressRecord(uint32_t code, int32_t kind, const std::string& ip, int32_t mode, int32_t main,
                                    int32_t port) {
        tagNETHEAD h = Head(code, {kind});
        std::memcpy(h.textParam, ip.data(), std::min<size_t>(ip.size(), 63));
        platform::WriteAt<int32_t>(&h, 252, mode);
        platform::WriteAt<int32_t>(&h, 256, main);
        platform::WriteAt<int32_t>(&h, 260, port);
        return h;
    }
    std::string Ini(const char* key) {
        char buf[64] = {};
        platform::GetPrivateProfileString("SyncMedia", key, "-", buf, sizeof buf, core->m_strConfigPath.c_str());
        return buf;
    }
    static size_t Count(const std::vector<std::string>& calls, const std::string& what) {
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), what));
    }

    std::string folder;
};

// ---- 807 ----

TEST_F(SyncCommands, SetTimeTakesTheWholeMillisecondsAndRefusesWhatNoClockHolds) {
    platform::ManualTickSource ticks{5000};
    auto owned = std::make_unique<CServerClock>(&ticks);
    CServerClock& clock = *owned;
    core->m_pSyncClock = owned.get();
    struct Case {
        double value;
        uint32_t expected;
    };
    const Case cases[] = {
        {1234.9, 1234},
        {0.0, 0},
        {4294967295.5, 4294967295u},
        {-1.0, 77},
        {4294967296.0, 77},
        {std::numeric_limits<double>::quiet_NaN(), 77},
        {std::numeric_limits<double>::infinity(), 77},
    };
    for (const Case& c : cases) {
        clock.SetTime(77);
        tagNETHEAD h = Head(807);
        h.realParam[0] = c.value;
        EXPECT_EQ(Send(h).result, 0);
        EXPECT_EQ(clock.GetTime(), c.expected) << c.value;
        ticks.Advance(10);
        EXPECT_EQ(clock.GetTime(), c.expected + 10) << "runs on from the new base: " << c.value;
    }
    core->m_pSyncClock = nullptr;  // the clock goes out of scope before the core
}

// ---- 808 to 810, 812 ----

TEST_F(SyncCommands, TransportForEveryMediaDrivesTheTimeline) {
    Send(Head(808));
    EXPECT_EQ(core->m_nTimelineState.load(), 1);
    EXPECT_EQ(core->m_nTimelineHold.load(), 0);
    Send(Head(809));
    EXPECT_EQ(core->m_nTimelineState.load(), 2);
    EXPECT_EQ(core->m_nTimelineHold.load(), 1);
    Send(Head(812));
    EXPECT_EQ(core->m_nTimelineState.load(), 1);
    Send(Head(810));
    EXPECT_EQ(core->m_nTimelineState.load(), 3);

    core->m_nSyncMediaEnable = 0;
    Send(Head(808));
    EXPECT_EQ(core->m_nTimelineState.load(), 3) << "SyncMedia off: nothing";
}

TEST_F(SyncCommands, TransportOfOneMediaMatchesFileNameAndWindow) {
    FakeMedia* clip = AddVideo("Clip.MP4", 5.0, 10.0);
    FakeMedia* other = AddVideo("other.mp4", 5.0, 10.0);
    FakeMedia* later = AddVideo("clip2.mp4", 20.0, 30.0);
    ASSERT_TRUE(clip && other && later);
    clip->Pause();
    auto record = [&](uint32_t code, const std::string& text, double start, double stop) {
        tagNETHEAD h = Head(code, {0, 0, 0, 1, 4321});
        h.realParam[0] = start;
        h.realParam[1] = stop;
        SetText(h, text);
        return h;
    };
    Send(record(808, "D:\\show\\clip.mp4", 5.0005, 9.9995));
    EXPECT_EQ(clip->syncTime, 4321u);
    EXPECT_EQ(clip->Common().state, kMediaPlaying);
    EXPECT_EQ(Count(clip->Calls(), "play"), 1u);
    Send(record(808, "clip.mp4", 5.0, 10.0));
    EXPECT_EQ(Count(clip->Calls(), "play"), 1u) << "already playing: no second Play";

    Send(record(809, "/x/CLIP.mp4", 5.0, 10.0));
    EXPECT_EQ(clip->Common().state, kMediaPaused);
    Send(record(810, "clip.mp4", 5.0, 10.0));
    EXPECT_EQ(clip->Common().state, kMediaStopped);
    Send(record(808, "clip.mp4", 5.01, 10.0));
    EXPECT_EQ(clip->Common().state, kMediaStopped) << "window differs by more than 0.001 s";

    // Only load, notify and the default volume.
    EXPECT_EQ(other->Calls().size(), 3u);
    EXPECT_EQ(later->Calls().size(), 3u);
    EXPECT_EQ(core->m_nTimelineState.load(), -1);
}

// ---- 802 to 804 ----

TEST_F(SyncCommands, HostNameAnswerCarriesGroupModeAndPort) {
    core->m_nMainServer = 1;
    core->m_strMulticastIp = "226.10.60.12";
    core->m_nMulticastPort = 30444;
    CommandReply r = Send(Head(802));
    EXPECT_EQ(std::string(r.head.textParam), "226.10.60.12");
    EXPECT_EQ(std::string(r.head.textParam + 64), LINTRA_HOST::GetHostName());
    EXPECT_EQ(r.Int(252), 1);
    EXPECT_EQ(r.Int(256), 1);
    EXPECT_EQ(r.Int(260), 30444);
}

TEST_F(SyncCommands, SetSyncAddressWithKindMakesMasterAndRemembersController) {
    core->m_nSyncMediaEnable = 0;
    Send(AddressRecord(804, 1, "192.168.3.9", 1, 1, 30100));
    EXPECT_EQ(core->m_nSyncMediaEnable, 1);
    EXPECT_EQ(core->m_nMainServer, 1);
    EXPECT_EQ(GetControllerAddress(), "192.168.3.9");
    EXPECT_EQ(core->m_nControllerPort, 30100);
    EXPECT_EQ(Ini("MainServer"), "1");
    EXPECT_EQ(Ini("Enable"), "1");
    EXPECT_TRUE(Core().restarts.empty());
}

TEST_F(SyncCommands, SetSyncAddressMovesTheReceiverOnlyToANewValidGroup) {
    struct Case {
        std::string ip;
        int32_t port;
        bool restarts;
        std::string savedIp;
        std::string savedPort;
    };
    const Case cases[] = {
        {"226.10.60.10", 30400, false, "226.10.60.10", "30400"},  // the current group: only saved
        {"226.10.60.11", 30401, true, "226.10.60.11", "30401"},
        {"192.168.1.5", 30400, false, "226.10.60.11", "30401"},   // no multicast group
        {"226.10.60.12", 70000, false, "226.10.60.11", "30401"},  // no port
        {"", 30400, false, "226.10.60.11", "30401"},
    };
    for (const Case& c : cases) {
        Core().restarts.clear();
        std::filesystem::remove(core->m_strConfigPath);
        Send(AddressRecord(804, 0, c.ip, 0, 0, c.port));
        EXPECT_EQ(Core().restarts.size(), c.restarts ? 1u : 0u) << c.ip;
        if (c.restarts) {
            EXPECT_EQ(Core().restarts[0], c.ip + ":" + std::to_string(c.port));
        }
        EXPECT_EQ(Ini("MulticastIp"), c.savedIp) << c.ip;
        EXPECT_EQ(Ini("MulticastPort"), c.savedPort) << c.ip;
    }
    EXPECT_EQ(core->m_nMainServer, 0) << "kind 0 leaves the main-server flag";
}

// ---- 801 ----

TEST_F(SyncCommands, MediaSyncDoesNothingWithSyncMediaOff) {
    FakeMedia* a = AddVideo("a.mp4");
    core->m_nSyncMediaEnable = 0;
    Send(Record801(0x10, ""));
    Send(Record801(0x82, "", {2, 99}));
    EXPECT_EQ(ListNames(), std::vector<std::string>{"a.mp4"});
    EXPECT_EQ(a->syncTime, 0u);
}

TEST_F(SyncCommands, SyncAddLoadsByFileNameAndSwitchDropsTheRest) {
    AddVideo("a.mp4");
    MakeFile("b.mp4");
    Send(Record801(0x08 | 0x02, "C:\\master\\media\\b.mp4", {kMediaPaused}));
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"a.mp4", "b.mp4"}));
    IMedia* b = CurrentVideo();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Common().name, folder + "/b.mp4");
    EXPECT_EQ(b->Common().state, kMediaPaused);

    MakeFile("c.mp4");
    Send(Record801(0x20, "c.mp4", {kMediaPaused}));
    EXPECT_EQ(ListNames(), std::vector<std::string>{"c.mp4"});
    EXPECT_EQ(CurrentVideo()->Common().state, kMediaPlaying) << "without bit 0x02 the state stays";
    EXPECT_EQ(Count(media.journal, "destroy " + folder + "/a.mp4"), 1u);
    EXPECT_EQ(Count(media.journal, "destroy " + folder + "/b.mp4"), 1u);

    Send(Record801(0x20, "missing.mp4"));
    EXPECT_EQ(ListNames(), std::vector<std::string>{"c.mp4"}) << "a failed load changes nothing";
}

TEST_F(SyncCommands, SyncUpdateMediaFindsItsFile) {
    const std::string here = MakeFile("here.mp4");
    const std::string elsewhere = (fs::path(dir.str()) / "elsewhere").string();
    fs::create_directories(elsewhere);
    const std::string full = (fs::path(elsewhere) / "full.mp4").string();
    std::ofstream(full) << "x";
    MakeFile("full.mp4");
    MakeFile("gone.mp4");
    struct Case {
        std::string request;
        std::string loaded;  // empty: nothing
    };
    const Case cases[] = {
        {"here.mp4", here},
        {full, full},                                          // exists: unchanged
        {"/no/such/folder/gone.mp4", folder + "/gone.mp4"},    // missing: by file name
        {"E:\\console\\here.mp4", here},
        {elsewhere + "/../elsewhere/full.mp4", folder + "/full.mp4"},  // never through ".."
        {"..", ""},
        {"", ""},
        {"media\\", ""},
        {"absent.mp4", ""},
    };
    for (const Case& c : cases) {
        IMedia* m = core->SyncUpdateMedia(c.request, 0, 0);
        if (c.loaded.empty()) {
            EXPECT_EQ(m, nullptr) << c.request;
            continue;
        }
        ASSERT_NE(m, nullptr) << c.request;
        EXPECT_EQ(m->Common().name, c.loaded) << c.request;
        EXPECT_EQ(CurrentVideo(), m);
    }
}

TEST_F(SyncCommands, SyncDeleteRemovesByFileNameOrEverything) {
    AddVideo("a.mp4");
    AddVideo("b.mp4");
    AddVideo("c.mp4");
    Send(Record801(0x10, "C:\\show\\B.MP4"));
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"a.mp4", "c.mp4"}));
    EXPECT_EQ(Count(media.journal, "close"), 1u);
    Send(Record801(0x10, ""));
    EXPECT_TRUE(ListNames().empty());
    EXPECT_EQ(CurrentVideo(), nullptr);
}

TEST_F(SyncCommands, PositionAndStateRecordsReachTheNamedVideos) {
    FakeMedia* a = AddVideo("a.mp4");
    FakeMedia* b = AddVideo("b.mp4");
    a->Pause();
    b->Pause();

    tagNETHEAD play = Record801(0x82, "a.mp4", {kMediaPlaying, 555});
    Send(play);
    EXPECT_EQ(a->syncTime, 555u);
    EXPECT_EQ(a->Common().state, kMediaPlaying);
    EXPECT_EQ(b->Common().state, kMediaPaused);

    tagNETHEAD seek = Record801(0x04 | 0x200, "", {kMediaPaused, 0, 31, 0, 32});
    seek.realParam[0] = 5.0e7;
    Send(seek);
    for (FakeMedia* m : {a, b}) {
        EXPECT_EQ(m->seekPosition, 50000000);
        EXPECT_EQ(m->Common().syncValue3, 31);
        EXPECT_EQ(m->Common().syncValue5, 32);
    }

    tagNETHEAD bad = Record801(0x04, "a.mp4");
    bad.realParam[0] = std::numeric_limits<double>::quiet_NaN();
    Send(bad);
    EXPECT_EQ(a->seekPosition, 50000000) << "no position, no seek";
}

// A record for every video brings each of them to its state before the
// list file is written, once: a write per video would hold the later videos
// back by a disk write each. The list file cannot be written here, so each
// save shows in the log at its moment.
TEST_F(SyncCommands, RecordForEveryVideoReachesThemAllBeforeOneSave) {
    FakeMedia* a = AddVideo("a.mp4");
    FakeMedia* b = AddVideo("b.mp4");
    a->Pause();
    b->Pause();
    core->m_strMediaListPath = (fs::path(dir.str()) / "missing" / "media.bak").string();
    util::LogCapture log;
    for (int32_t bits : {0x82, 0x01}) {
        log.Clear();
        Send(Record801(bits, "", {bits == 0x82 ? kMediaPlaying : kMediaPaused}));
        const int32_t state = bits == 0x82 ? kMediaPlaying : kMediaPaused;
        EXPECT_EQ(a->Common().state, state) << bits;
        EXPECT_EQ(b->Common().state, state) << bits;
        std::vector<std::string> order;
        for (const auto& line : log.Lines()) {
            if (line.text.find("同步操作") != std::string::npos) order.push_back("record");
            if (line.text.find("save media list") != std::string::npos) order.push_back("save");
        }
        EXPECT_EQ(order, (std::vector<std::string>{"record", "record", "save"})) << bits;
    }
}

TEST_F(SyncCommands, CompareOnASlaveSeeksOnlyBeyondTheDistance) {
    FakeMedia* a = AddVideo("a.mp4");
    core->m_nDisTime = 80;
    a->seekPosition = 10000000;  // 1 s
    struct Case {
        int32_t main;
        double remote;     // 100 ns
        int64_t expected;  // position afterwards
        int32_t state;     // afterwards
    };
    const Case cases[] = {
        {0, 10500000.0, 10000000, kMediaPaused},  // 50 ms apart: left
        {0, 12000000.0, 12000000, kMediaPaused},  // 200 ms apart: sought
        {1, 30000000.0, 12000000, kMediaPlaying},  // the main server compares nothing
    };
    for (const Case& c : cases) {
        a->Play();
        core->m_nMainServer = c.main;
        tagNETHEAD h = Record801(0x01, "a.mp4", {kMediaPaused});
        h.realParam[0] = c.remote;
        Send(h);
        EXPECT_EQ(a->seekPosition, c.expected) << c.remote;
        EXPECT_EQ(a->Common().state, c.state) << c.remote;
    }
}

TEST_F(SyncCommands, SenderAddressBecomesTheController) {
    SetControllerAddress("10.0.0.1");
    tagNETHEAD h = Record801(0x02, "", {kMediaPlaying});
    const uint8_t ip[4] = {10, 1, 2, 3};
    std::memcpy(&h.intParam[6], ip, 4);
    Send(h);
    EXPECT_EQ(GetControllerAddress(), "10.1.2.3");
    Send(Record801(0x02, "", {kMediaPlaying}));
    EXPECT_EQ(GetControllerAddress(), "10.1.2.3") << "no address: kept";
}

TEST_F(SyncCommands, TaskRecordStartsTheNamedTask) {
    Send(Record801(0x40, "晚间节目"));
    EXPECT_EQ(Core().tasks, std::vector<std::string>{"晚间节目"});
    core->m_nSyncMediaEnable = 0;
    Send(Record801(0x40, "other"));
    EXPECT_EQ(Core().tasks.size(), 1u);
}

// ---- playlist advance ----

class PlaylistAdvance : public SyncCommands {
protected:
    void SetUp() override {
        SyncCommands::SetUp();
        for (const char* name : {"p0.mp4", "p1.mp4", "p2.mp4"}) {
            MediaListRecord r = EmptyMediaListRecord();
            const std::string path = MakeFile(name);
            std::memcpy(r.path, path.data(), path.size());
            r.type = kMediaFileVideo;
            r.texLeft = 0.25f;
            r.texRight = 0.75f;
            core->m_playlist.push_back(r);
        }
    }
    // A listed media as the advance leaves it.
    FakeMedia* PlaylistMedia(int32_t index) {
        FakeMedia* m = AddVideo("p" + std::to_string(index) + ".mp4");
        m->Common().placementMode = 2;
        m->Common().playlistIndex = index;
        std::lock_guard lock(core->m_csCurrentVideo);
        core->m_pCurrentVideo = m;
        return m;
    }
};

TEST_F(PlaylistAdvance, LoadsTheNextEntryAndWrapsAround) {
    struct Case {
        int32_t from;
        int32_t next;
    };
    for (const Case& c : {Case{2, 0}, Case{0, 1}, Case{1, 2}, Case{-7, 0}, Case{99, 0}}) {
        core->LoadSyncMedia(c.from);
        std::lock_guard lock(core->m_csMedia);
        ASSERT_EQ(core->m_mediaList.size(), 1u) << c.from;
        const MediaCommon& m = core->m_mediaList[0]->Common();
        EXPECT_EQ(m.name, folder + "/p" + std::to_string(c.next) + ".mp4") << c.from;
        EXPECT_EQ(m.playlistIndex, c.next);
        EXPECT_EQ(m.placementMode, 2);
        EXPECT_EQ(m.state, kMediaPlaying);
        EXPECT_FLOAT_EQ(m.texRect.left, 0.25f);
        EXPECT_FLOAT_EQ(m.texRect.right, 0.75f);
    }
}

TEST_F(PlaylistAdvance, EmptyPlaylistOnlyRemovesThePlaylistMedia) {
    FakeMedia* other = AddVideo("kept.mp4");
    PlaylistMedia(1);
    core->m_playlist.clear();
    core->LoadSyncMedia(1);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"kept.mp4"});
    EXPECT_EQ(CurrentVideo(), nullptr) << "the destroyed video is no longer current";
    EXPECT_EQ(Count(other->Calls(), "destroy " + other->Common().name), 0u);
}

TEST_F(PlaylistAdvance, RefusesAnEntryThatClimbsOutOfItsFolder) {
    MediaListRecord& r = core->m_playlist[1];
    std::memset(r.path, 0, sizeof r.path);
    const std::string path = folder + "/../media/p1.mp4";
    std::memcpy(r.path, path.data(), path.size());
    core->LoadSyncMedia(0);
    EXPECT_TRUE(ListNames().empty());
}

TEST_F(PlaylistAdvance, EndOfAPlaylistVideoAdvancesOnAWorkerThread) {
    FakeMedia* finished = PlaylistMedia(0);
    core->StartSyncMediaLoad(finished);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return ListNames() == std::vector<std::string>{"p1.mp4"}; },
                                       std::chrono::seconds(5)));
    core->JoinSyncWorkers();
}

// ---- switch ----

TEST_F(SyncCommands, SwitchKeepsOnlyTheNewMediaAndSavesTheList) {
    FakeMedia* a = AddVideo("a.mp4");
    IMedia* pic = core->LoadMedia(kMediaPicture, MakeFile("p.jpg"), nullptr);
    {
        std::lock_guard lock(core->m_csMedia);
        core->m_mediaList.push_back(pic);
        std::lock_guard current(core->m_csCurrentVideo);
        core->m_pCurrentVideo = a;
    }
    FakeMedia* fresh = AddVideo("new.mp4");
    core->StartSwitchMedia(fresh);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return ListNames().size() == 1; }, std::chrono::seconds(5)));
    core->JoinSyncWorkers();
    EXPECT_EQ(ListNames(), std::vector<std::string>{"new.mp4"});
    EXPECT_EQ(CurrentVideo(), fresh);
    EXPECT_EQ(Count(media.journal, "close"), 2u);
    const std::string saved = testsupport::ReadFile(fs::path(dir.str()) / "media.bak");
    ASSERT_EQ(saved.size(), 4 + sizeof(MediaListRecord));
    EXPECT_EQ(saved[0], 1);
}

TEST_F(SyncCommands, ALaterSwitchSupersedesAnEarlierOne) {
    FakeMedia* first = AddVideo("first.mp4");
    FakeMedia* second = AddVideo("second.mp4");
    const uint32_t stale = ++core->m_nSwitchGeneration;
    ++core->m_nSwitchGeneration;
    core->SwitchMedia(first, stale);
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"first.mp4", "second.mp4"}));
    core->SwitchMedia(second, core->m_nSwitchGeneration.load());
    EXPECT_EQ(ListNames(), std::vector<std::string>{"second.mp4"});
}
