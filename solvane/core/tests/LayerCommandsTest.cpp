// The layer, task-plan and playlist commands (1101 to 1110) through the
// dispatcher, with crafted heads and bodies, and the layer event thread they
// start.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "TaskFixture.h"
#include "core/TaskPlanFile.h"
#include "platform/tick.h"
#include "util/LogCapture.h"

namespace fs = std::filesystem;
using testsupport::WaitUntil;

class LayerCommands : public TaskFixture {
protected:
    void SetUp() override {
        TaskFixture::SetUp();
        platform::SetTickSource(&ticks);
    }
    void TearDown() override {
        TaskFixture::TearDown();
        platform::SetTickSource(nullptr);
    }

    static std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

    CommandReply SetTaskPlans(int32_t expected, const std::vector<uint8_t>& body) {
        return Send(Head(1102, {expected}), body);
    }
    static std::vector<uint8_t> LayerBody(const std::vector<LayerMediaEntry>& entries) {
        std::vector<uint8_t> b(entries.size() * sizeof(LayerMediaRecord));
        for (size_t i = 0; i < entries.size(); ++i) {
            const LayerMediaRecord r = MakeLayerMediaRecord(entries[i]);
            std::memcpy(b.data() + i * sizeof r, &r, sizeof r);
        }
        return b;
    }
    static LayerMediaEntry Layer(const std::string& name, int32_t type, double start, double stop) {
        LayerMediaEntry e;
        e.name = name;
        e.type = type;
        e.start = start;
        e.stop = stop;
        e.rect = {0, 0, 1920, 1080};
        return e;
    }
    CommandReply SetLayers(const std::vector<LayerMediaEntry>& entries) {
        return Send(Head(1109, {static_cast<int32_t>(entries.size())}), LayerBody(entries));
    }
    CommandReply LayerTime(double time, int32_t mode) {
        tagNETHEAD h = Head(1110, {mode});
        std::memcpy(reinterpret_cast<uint8_t*>(&h) + 44, &time, sizeof time);
        return Send(h);
    }

    static bool Zeroed(const CommandReply& r) {
        static const tagNETHEAD zero{};
        return std::memcmp(&r.head, &zero, sizeof zero) == 0 && r.body.empty();
    }

    platform::ManualTickSource ticks{5000};
};

// ---- task plans ----

TEST_F(LayerCommands, GetTaskPlansWithoutPlansAnswersNothing) {
    EXPECT_TRUE(Zeroed(Send(Head(1101))));
}

TEST_F(LayerCommands, TaskPlansRoundTripThroughTheCommands) {
    std::vector<TaskPlanTask> plans = {
        Task("a", 1, {Entry("/m/\xE8\xA7\x86\xE9\xA2\x91.mp4", kMediaFileVideo, 2, {Profile(3, 1), Profile(-1, 100)})}),
        Task("b", 0, {Entry("1", kMediaCapture, -1, {Profile(0, 1)}), Entry("p.jpg", kMediaPicture, 1, {})}),
    };
    plans[1].TaskType = 1;
    plans[1].StartTime = "1700000000";
    plans[1].EndTime = "1700003600";
    std::string text;
    ASSERT_TRUE(TaskPlanListToText(plans, text));
    std::vector<uint8_t> body = Bytes(text);
    body.push_back(0);  // peers send the terminator too

    const CommandReply set = SetTaskPlans(2, body);
    EXPECT_EQ(set.Int(4), 1);
    EXPECT_EQ(core->m_taskList, plans);
    const fs::path taskDir = fs::path(dir.str()) / "task";
    EXPECT_TRUE(fs::exists(taskDir / "tp(0)"));
    EXPECT_TRUE(fs::exists(taskDir / "tp(1)"));

    const CommandReply get = Send(Head(1101));
    EXPECT_EQ(get.Int(4), 1);
    ASSERT_GE(get.body.size(), 2u);
    // The text, its terminator and one more NUL.
    EXPECT_EQ(get.body[get.body.size() - 1], 0);
    EXPECT_EQ(get.body[get.body.size() - 2], 0);
    const std::string got(get.body.begin(), get.body.end() - 2);
    EXPECT_EQ(got.find('\0'), std::string::npos);
    std::vector<TaskPlanTask> back;
    ASSERT_TRUE(TaskPlanFromText(back, got));
    EXPECT_EQ(back, plans);

    // What one server answers, another takes as it is.
    CMediaManager other((fs::path(dir.str()) / "other").string());
    fs::create_directories(other.m_strProgramFolder);
    tagNETHEAD reply{};
    std::vector<uint8_t> replyBody;
    other.DispatchCommand(Head(1102, {2}), get.body.data(), static_cast<uint32_t>(get.body.size()), reply, replyBody,
                          nullptr);
    EXPECT_EQ(reply.intParam[0], 1);
    EXPECT_EQ(other.m_taskList, plans);
}

TEST_F(LayerCommands, SetTaskPlansAnswersByThePlanCount) {
    AddTask(Task("x", 1, {}));
    AddTask(Task("y", 1, {}));
    // Without a body nothing changes and nothing stops.
    AddTask(Task("run", 0, {Entry(MakeFile("a.jpg"), kMediaPicture, -1, {Profile(0, 1), Profile(1, 1)})}));
    ASSERT_EQ(core->RunTaskPlan("run"), 1);
    ASSERT_TRUE(WaitUntil([&] { return ListedCount() == 1; }));
    EXPECT_EQ(SetTaskPlans(3, {}).Int(4), 1);
    EXPECT_EQ(SetTaskPlans(2, {}).Int(4), 0);
    EXPECT_TRUE(core->m_taskThread.Running());
    EXPECT_EQ(ListedCount(), 1u);

    // A readable text replaces the list even when the count disagrees.
    std::string text;
    ASSERT_TRUE(TaskPlanListToText({Task("z", 1, {})}, text));
    EXPECT_EQ(SetTaskPlans(5, Bytes(text)).Int(4), 0);
    ASSERT_EQ(core->m_taskList.size(), 1u);
    EXPECT_EQ(core->m_taskList[0].TaskId, "z");
    EXPECT_FALSE(core->m_taskThread.Running());
    EXPECT_EQ(ListedCount(), 0u);
}

TEST_F(LayerCommands, UnacceptableTaskPlanTextsChangeNothing) {
    AddTask(Task("keep", 1, {}));
    core->SaveTaskPlan();
    const fs::path kept = fs::path(dir.str()) / "task" / "tp(0)";
    ASSERT_TRUE(fs::exists(kept));

    TaskPlanTask wide = Task("wide", 0, {});
    for (size_t i = 0; i <= kMaxTaskMediaEntries; ++i) wide.Medias.push_back(Entry("m.jpg", 2, 1, {}));
    TaskPlanTask deep = Task("deep", 0, {Entry("m.jpg", 2, 1, {})});
    deep.Medias[0].Profiles.resize(kMaxTaskProfiles + 1);
    std::vector<TaskPlanTask> many(kMaxTaskPlans + 1, Task("n", 1, {}));
    std::string wideText, deepText, manyText;
    ASSERT_TRUE(TaskPlanListToText({wide}, wideText));
    ASSERT_TRUE(TaskPlanListToText({deep}, deepText));
    ASSERT_TRUE(TaskPlanListToText(many, manyText));

    const struct {
        const char* what;
        std::vector<uint8_t> body;
        int32_t count;
    } cases[] = {
        {"not well-formed", Bytes("<VeskDorodeTaskPlan><Task Name=\"x\">"), 0},
        {"too many media entries", Bytes(wideText), 1},
        {"too many profiles", Bytes(deepText), 1},
        {"too many plans", Bytes(manyText), static_cast<int32_t>(many.size())},
        {"only NUL", {0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SetTaskPlans(c.count, c.body).Int(4), 0);
        ASSERT_EQ(core->m_taskList.size(), 1u);
        EXPECT_EQ(core->m_taskList[0].TaskId, "keep");
        EXPECT_TRUE(fs::exists(kept));
    }
}

TEST_F(LayerCommands, RunTaskByItsId) {
    const std::string pic = MakeFile("a.jpg");
    AddTask(Task("t1", 0, {Entry(pic, kMediaPicture, -1, {Profile(0, 1), Profile(1, 1)})}));
    tagNETHEAD h = Head(1103);
    SetText(h, "nope");
    EXPECT_EQ(Send(h).Int(4), 0);
    SetText(h, "t1");
    EXPECT_EQ(Send(h).Int(4), 1);
    ASSERT_TRUE(WaitUntil([&] { return ListedNames() == std::vector<std::string>{pic}; }));

    // A server of a synchronised group that is not the main one leaves it
    // to the main server.
    core->stopalltask();
    core->m_nSyncMediaEnable = 1;
    EXPECT_EQ(Send(h).Int(4), 0);
    EXPECT_FALSE(core->m_taskThread.Running());
}

TEST_F(LayerCommands, UnusedCodesAnswerZeros) {
    for (uint32_t code : {1104u, 1107u, 1108u}) EXPECT_TRUE(Zeroed(Send(Head(code, {7}), {1, 2, 3}))) << code;
}

// ---- playlist ----

TEST_F(LayerCommands, PlaylistRoundTripThroughTheCommands) {
    EXPECT_TRUE(Zeroed(Send(Head(1105))));

    std::vector<MediaListRecord> records(2, EmptyMediaListRecord());
    std::strcpy(records[0].path, "/m/a.mp4");
    records[1].type = 2;
    std::strcpy(records[1].path, "/m/b.jpg");
    std::vector<uint8_t> body(records.size() * sizeof(MediaListRecord));
    std::memcpy(body.data(), records.data(), body.size());
    EXPECT_TRUE(Zeroed(Send(Head(1106, {2}), body)));
    ASSERT_EQ(core->m_playlist.size(), 2u);

    const CommandReply get = Send(Head(1105));
    EXPECT_EQ(get.Int(4), 2);
    EXPECT_EQ(get.body, body);

    // playlist.dat holds them too.
    CMediaManager fresh(dir.str());
    fresh.LoadPlaylist();
    ASSERT_EQ(fresh.m_playlist.size(), 2u);
    EXPECT_EQ(std::memcmp(fresh.m_playlist.data(), body.data(), body.size()), 0);

    // A count the body does not hold changes nothing.
    for (int32_t count : {3, -1, INT32_MAX}) {
        SCOPED_TRACE(count);
        EXPECT_TRUE(Zeroed(Send(Head(1106, {count}), body)));
        EXPECT_EQ(core->m_playlist.size(), 2u);
    }
    // Zero records empty it.
    Send(Head(1106, {0}));
    EXPECT_TRUE(core->m_playlist.empty());
    EXPECT_TRUE(Zeroed(Send(Head(1105))));
}

// ---- media layers ----

TEST_F(LayerCommands, LayerListsEqualWithinATolerance) {
    const std::vector<LayerMediaEntry> base = {Layer("a.mp4", 0, 5.0, 10.0), Layer("b.jpg", 2, 0.0, 3.0)};
    auto changed = [&](auto change) {
        auto copy = base;
        change(copy[1]);
        return copy;
    };
    EXPECT_TRUE(LayerListsEqual(base, base));
    EXPECT_TRUE(LayerListsEqual(base, changed([](LayerMediaEntry& e) { e.start += 0.000005; })));
    EXPECT_FALSE(LayerListsEqual(base, changed([](LayerMediaEntry& e) { e.stop += 0.00002; })));
    EXPECT_FALSE(LayerListsEqual(base, changed([](LayerMediaEntry& e) { e.name = "c.jpg"; })));
    EXPECT_FALSE(LayerListsEqual(base, changed([](LayerMediaEntry& e) { e.type = 0; })));
    EXPECT_FALSE(LayerListsEqual(base, changed([](LayerMediaEntry& e) { e.rect.bottom = 1; })));
    EXPECT_FALSE(LayerListsEqual(base, {base[0]}));
}

TEST_F(LayerCommands, SetMediaLayersLoadsTheListFromTheMediaFolder) {
    const std::string video = MakeFile("a.mp4");
    const std::string pic = MakeFile("b.jpg");
    util::LogCapture log;
    // The console names its own folders; ".." can not climb out.
    EXPECT_TRUE(Zeroed(SetLayers({Layer("C:\\show\\a.mp4", 0, 5.0, 10.0), Layer("../../b.jpg", 2, 0.0, 3.0),
                                  Layer("..", 2, 0.0, 3.0), Layer("missing.jpg", 2, 0.0, 1.0)})));
    EXPECT_TRUE(log.Contains("Medialayer0:name=C:\\show\\a.mp4,type=0,start=5.000,stop=10.000,pos={0,0,1920,1080}"));
    ASSERT_TRUE(WaitUntil([&] { return ListedCount() == 2; }));
    EXPECT_EQ(ListedNames(), (std::vector<std::string>{video, pic}));
    {
        std::lock_guard lock(core->m_csMedia);
        const MediaCommon& c = core->m_mediaList[0]->Common();
        EXPECT_EQ(c.placementMode, 3);
        EXPECT_DOUBLE_EQ(c.startTime, 5.0);
        EXPECT_DOUBLE_EQ(c.endTime, 10.0);
        EXPECT_EQ(c.stageRect.right, 1920);
    }
    EXPECT_TRUE(core->m_layerThread.Running());
    EXPECT_EQ(core->m_layerList.size(), 4u);
}

TEST_F(LayerCommands, SameLayerListKeepsTheRunningLayers) {
    MakeFile("a.mp4");
    SetLayers({Layer("a.mp4", 0, 5.0, 10.0)});
    ASSERT_TRUE(WaitUntil([&] { return ListedCount() == 1; }));
    const IMedia* first = FirstListed();
    SetLayers({Layer("a.mp4", 0, 5.000004, 9.999996)});
    EXPECT_EQ(FirstListed(), first);
    EXPECT_EQ(media.created.load(), 1);

    // A changed list stops everything and loads it anew.
    SetLayers({Layer("a.mp4", 0, 6.0, 10.0)});
    ASSERT_TRUE(WaitUntil([&] { return media.created.load() == 2 && ListedCount() == 1; }));
    EXPECT_EQ(JournalCount("destroy " + folder + "/a.mp4"), 1u);
}

TEST_F(LayerCommands, UnacceptableLayerListsChangeNothing) {
    MakeFile("a.mp4");
    SetLayers({Layer("a.mp4", 0, 5.0, 10.0)});
    ASSERT_TRUE(WaitUntil([&] { return ListedCount() == 1; }));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto good = LayerBody({Layer("b.mp4", 0, 1.0, 2.0), Layer("c.mp4", 0, 1.0, 2.0)});
    const struct {
        const char* what;
        int32_t count;
        std::vector<uint8_t> body;
    } cases[] = {
        {"start not a number", 1, LayerBody({Layer("b.mp4", 0, nan, 2.0)})},
        {"stop infinite", 1, LayerBody({Layer("b.mp4", 0, 1.0, inf)})},
        {"body shorter than the count", 3, good},
        {"record cut short", 2, std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"negative count", -1, good},
        {"count beyond the bound", kMaxLayerEntries + 1,
         std::vector<uint8_t>((kMaxLayerEntries + 1) * sizeof(LayerMediaRecord))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(Zeroed(Send(Head(1109, {c.count}), c.body)));
        ASSERT_EQ(core->m_layerList.size(), 1u);
        EXPECT_EQ(core->m_layerList[0].name, "a.mp4");
        EXPECT_EQ(ListedCount(), 1u);
    }
    EXPECT_EQ(media.created.load(), 1);
}

TEST_F(LayerCommands, LayerTimeMovesAndRunsTheLayerMedia) {
    MakeFile("a.mp4");
    MakeFile("b.jpg");
    SetLayers({Layer("a.mp4", 0, 5.0, 10.0), Layer("b.jpg", 2, 20.0, 30.0)});
    ASSERT_TRUE(WaitUntil([&] { return ListedCount() == 2; }));
    FakeMedia* video = nullptr;
    FakeMedia* pic = nullptr;
    {
        std::lock_guard lock(core->m_csMedia);
        video = dynamic_cast<FakeMedia*>(core->m_mediaList[0]);
        pic = dynamic_cast<FakeMedia*>(core->m_mediaList[1]);
    }
    ASSERT_TRUE(video && pic);
    auto calls = [](FakeMedia* m) { return m->Calls(); };
    auto has = [](const std::vector<std::string>& c, const std::string& what) {
        return std::find(c.begin(), c.end(), what) != c.end();
    };

    // Paused at 7 s: the video (begun) is moved to 2 s and paused; the
    // picture (not begun) is left alone.
    EXPECT_TRUE(Zeroed(LayerTime(7.0, 2)));
    ASSERT_TRUE(WaitUntil([&] { return has(calls(video), "pause"); }));
    EXPECT_TRUE(has(calls(video), "setpos 2.000"));
    EXPECT_EQ(core->m_nLayerState.load(), 2);
    EXPECT_DOUBLE_EQ(core->m_dTimelineTime, 7.0);
    EXPECT_FALSE(has(calls(pic), "pause"));

    // Playing from 19 s: the picture starts once the layer clock passes 20 s.
    EXPECT_TRUE(Zeroed(LayerTime(19.0, 1)));
    ASSERT_TRUE(WaitUntil([&] { return has(calls(video), "play"); }));
    EXPECT_FALSE(has(calls(pic), "play"));
    {
        std::lock_guard lock(core->m_csMedia);
        pic->Stop();  // as if it had ended
    }
    ticks.Advance(1500);
    ASSERT_TRUE(WaitUntil([&] { return has(calls(pic), "play"); }));
    ASSERT_TRUE(WaitUntil([&] { return std::fabs(core->m_dTimelineTime - 20.5) < 1e-9; }));
    // Beyond its stop time a layer media is stopped.
    ticks.Advance(11000);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(core->m_csMedia);
        return pic->Common().state == kMediaStopped;
    }));

    // A time that is not a number is refused.
    const size_t before = calls(video).size();
    EXPECT_TRUE(Zeroed(LayerTime(std::numeric_limits<double>::quiet_NaN(), 1)));
    EXPECT_DOUBLE_EQ(core->m_dLayerBaseTime.load(), 19.0);
    EXPECT_FALSE(core->m_layerEvent.IsSet());
    EXPECT_EQ(calls(video).size(), before);

    // stopalltask ends the layer thread.
    core->stopalltask();
    EXPECT_FALSE(core->m_layerThread.Running());
}
