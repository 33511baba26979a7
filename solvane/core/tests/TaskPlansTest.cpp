// Running task plans: the task thread, one thread per media entry, their
// delays, repetitions and stops, and the task folder. Timetable seconds are
// shortened to 20 ms; every wait has a deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <thread>

#include "TaskFixture.h"
#include "platform/fileio.h"
#include "core/TaskPlanFile.h"
#include "util/LogCapture.h"

namespace fs = std::filesystem;
using testsupport::WaitUntil;

class TaskPlans : public TaskFixture {};

namespace {

bool Has(const std::vector<std::string>& list, const std::string& what) {
    return std::find(list.begin(), list.end(), what) != list.end();
}

// Index of the first entry that starts with prefix, or -1.
int IndexOf(const std::vector<std::string>& list, const std::string& prefix) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
}

}  // namespace

TEST_F(TaskPlans, RunByTaskIdStartsOnlyAKnownTask) {
    const std::string pic = MakeFile("a.jpg");
    AddTask(Task("t1", 0, {Entry(pic, kMediaPicture, -1, {Profile(0, 1), Profile(1, 1)})}));
    EXPECT_EQ(core->RunTaskPlan("t2"), 0);
    EXPECT_FALSE(core->m_pRunningTask);
    EXPECT_EQ(core->RunTaskPlan("t1"), 1);
    ASSERT_TRUE(WaitUntil([&] { return ListedCount() == 1; }));
    ASSERT_TRUE(core->m_pRunningTask);
    // The running copy shares nothing with the task of the list.
    EXPECT_EQ(core->m_pRunningTask->TaskId, "t1");
    EXPECT_NE(core->m_pRunningTask.get(), &core->m_taskList[0]);
    EXPECT_EQ(core->m_taskList[0].TaskStatus, 0);

    core->stopalltask();
    EXPECT_FALSE(core->m_taskThread.Running());
    EXPECT_EQ(ListedCount(), 0u);
    EXPECT_FALSE(core->m_pRunningTask);
    EXPECT_TRUE(Has(Journal(), "destroy " + pic));
}

TEST_F(TaskPlans, RepeatCountDecidesWhatAnEntryDoes) {
    // One after another, so the task ends when its entry ends.
    struct Case {
        int32_t repeat;
        int loads;
    };
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{3, 1}}) {
        SCOPED_TRACE(c.repeat);
        core->m_taskList.clear();
        media.created = 0;
        const std::string pic = MakeFile("r.jpg");
        AddTask(Task("t", 1, {Entry(pic, kMediaPicture, c.repeat, {Profile(0, 1)})}));
        ASSERT_EQ(core->RunTaskPlan("t"), 1);
        auto running = core->m_pRunningTask;
        ASSERT_TRUE(TaskThreadEnds());
        EXPECT_EQ(media.created.load(), c.loads);
        EXPECT_EQ(running->TaskStatus, 3);
        // A picture's entry takes its media away when it has run its course.
        EXPECT_EQ(ListedCount(), 0u);
    }
}

TEST_F(TaskPlans, EndlessRepetitionRunsUntilTheTaskStops) {
    const std::string pic = MakeFile("loop.jpg");
    // Each pass waits one (shortened) second, then plays.
    AddTask(Task("t", 1, {Entry(pic, kMediaPicture, -1, {Profile(1, 1)})}));
    util::LogCapture log;
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("执行完一次") >= 4; }));
    EXPECT_TRUE(core->m_taskThread.Running());
    EXPECT_EQ(media.created.load(), 1);
    core->stopalltask();
    EXPECT_FALSE(core->m_taskThread.Running());
    EXPECT_EQ(ListedCount(), 0u);
}

TEST_F(TaskPlans, RepetitionsWithoutDelaysPauseBetweenPasses) {
    core->m_taskTiming.idleRepeatMs = 60000;
    const std::string pic = MakeFile("spin.jpg");
    AddTask(Task("t", 1, {Entry(pic, kMediaPicture, -1, {Profile(0, 1), Profile(0, 2)})}));
    util::LogCapture log;
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("执行完一次") == 2; }));
    core->stopalltask();
    // The stop came during the pause after the first pass.
    EXPECT_EQ(log.Count("执行完一次"), 2u);
    EXPECT_EQ(ListedCount(), 0u);
}

TEST_F(TaskPlans, VideoEndCountsARepetitionAndRestartsTheProfiles) {
    const std::string video = MakeFile("clip.mp4");
    // Second profile waits without limit: only the end of the video or a
    // stop ends its wait, and it is never applied.
    AddTask(Task("t", 1, {Entry(video, kMediaFileVideo, 2, {Profile(0, 1), Profile(-1, 2)})}));
    util::LogCapture log;
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("执行完一次") == 1; }));
    IMedia* m = FirstListed();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Common().taskFlag, 1);

    // The end of playback as the player reports it: paused and finished.
    auto finish = [&] {
        std::lock_guard lock(core->m_csMedia);
        m->Pause();
        m->Common().finished->Set();
    };
    finish();
    ASSERT_TRUE(WaitUntil([&] { return log.Count("终止 1") == 1 && log.Count("执行完一次") == 2; }));
    // The restart applied the first profile again: the paused video plays.
    EXPECT_EQ(m->Common().state, kMediaPlaying);
    finish();
    ASSERT_TRUE(TaskThreadEnds());
    EXPECT_EQ(log.Count("终止 1"), 2u);
    const auto j = Journal();
    EXPECT_EQ(std::count(j.begin(), j.end(), "play"), 1);
    EXPECT_EQ(std::count(j.begin(), j.end(), "pause"), 2);  // both from the test
    EXPECT_TRUE(Has(j, "destroy " + video));
    EXPECT_EQ(ListedCount(), 0u);
}

TEST_F(TaskPlans, StopWhileWaitingForTheVideoStopsAndRemovesIt) {
    const std::string video = MakeFile("clip.mp4");
    AddTask(Task("t", 1, {Entry(video, kMediaFileVideo, 1, {Profile(0, 1), Profile(-1, 2)})}));
    util::LogCapture log;
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("执行完一次") == 1; }));
    core->stopalltask();
    const auto j = Journal();
    EXPECT_TRUE(log.Contains("终止 0"));
    EXPECT_TRUE(Has(j, "stop"));
    EXPECT_TRUE(Has(j, "destroy " + video));
    EXPECT_EQ(ListedCount(), 0u);
}

TEST_F(TaskPlans, PlayStatus100RemovesTheMediaAndEndsTheEntry) {
    const std::string video = MakeFile("clip.mp4");
    TaskProfileEntry moved = Profile(0, 1);
    moved.PosLeft = 0.25f;
    AddTask(Task("t", 1, {Entry(video, kMediaFileVideo, -1, {Profile(0, 1), Profile(0, 100), moved})}));
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(TaskThreadEnds());
    const auto j = Journal();
    EXPECT_EQ(media.created.load(), 1);
    EXPECT_LT(IndexOf(j, "stop"), IndexOf(j, "destroy"));
    EXPECT_NE(IndexOf(j, "destroy " + video), -1);
    EXPECT_EQ(ListedCount(), 0u);
}

TEST_F(TaskPlans, ProfileSetsVolumeAndPlacement) {
    const std::string video = MakeFile("clip.mp4");
    TaskProfileEntry p = Profile(0, 2);
    p.Mute = 1;
    p.PosLeft = 0.5f;
    p.PosTop = 0.75f;
    p.PosRight = 0.9f;
    p.PosBottom = 0.1f;
    TaskProfileEntry nan = Profile(-1, 0);
    nan.PosLeft = std::numeric_limits<float>::quiet_NaN();
    AddTask(Task("t", 1, {Entry(video, kMediaFileVideo, 1, {p, nan})}));
    util::LogCapture log;
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("执行完一次") == 1; }));
    {
        std::lock_guard lock(core->m_csMedia);
        IMedia* m = core->m_mediaList.at(0);
        EXPECT_EQ(m->Common().state, kMediaPaused);
        EXPECT_EQ(m->GetVolume(), 0);
        const MediaRectF r = m->Common().texRect;
        EXPECT_FLOAT_EQ(r.left, 0.5f);
        EXPECT_FLOAT_EQ(r.top, 0.75f);
        EXPECT_FLOAT_EQ(r.right, 0.9f);
        EXPECT_FLOAT_EQ(r.bottom, 0.1f);
    }
    core->stopalltask();
}

TEST_F(TaskPlans, EntryWhoseMediaFailsToLoadEndsAloneAndTheOthersGoOn) {
    const std::string pic = MakeFile("ok.jpg");
    AddTask(Task("t", 0,
                 {Entry((fs::path(folder) / "missing.jpg").string(), kMediaPicture, -1, {Profile(0, 1)}),
                  Entry(pic, kMediaPicture, -1, {Profile(0, 1), Profile(1, 1)})}));
    util::LogCapture log;
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.Count("执行脚本结束。媒体=" + folder + "/missing.jpg") == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return ListedNames() == std::vector<std::string>{pic}; }));
    EXPECT_TRUE(core->m_taskThread.Running());
    core->stopalltask();
    EXPECT_EQ(ListedCount(), 0u);
}

TEST_F(TaskPlans, OneAfterAnotherRunsEachEntryAfterThePreviousEnds) {
    const std::string a = MakeFile("a.jpg");
    const std::string b = MakeFile("b.jpg");
    AddTask(Task("t", 2, {Entry(a, kMediaPicture, 2, {Profile(0, 1)}), Entry(b, kMediaPicture, 1, {Profile(0, 1)})}));
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(TaskThreadEnds());
    const auto j = Journal();
    const int destroyA = IndexOf(j, "destroy " + a);
    const int loadB = IndexOf(j, "load " + b);
    ASSERT_NE(destroyA, -1);
    ASSERT_NE(loadB, -1);
    EXPECT_LT(destroyA, loadB);
    EXPECT_NE(IndexOf(j, "destroy " + b), -1);
}

TEST_F(TaskPlans, AllAtOnceRunsEveryEntryUntilStopped) {
    const std::string a = MakeFile("a.jpg");
    const std::string b = MakeFile("b.jpg");
    AddTask(Task("t", 0, {Entry(a, kMediaPicture, -1, {Profile(0, 1), Profile(1, 0)}),
                          Entry(b, kMediaPicture, -1, {Profile(0, 1), Profile(1, 0)})}));
    ASSERT_EQ(core->RunTaskPlan("t"), 1);
    ASSERT_TRUE(WaitUntil([&] { return ListedCount() == 2; }));
    auto running = core->m_pRunningTask;
    EXPECT_EQ(running->TaskStatus, 2);
    // A new run stops the first one and takes its media away.
    AddTask(Task("u", 1, {}));
    EXPECT_EQ(core->RunTaskPlan("u"), 1);
    ASSERT_TRUE(TaskThreadEnds());
    EXPECT_EQ(running->TaskStatus, 3);
    EXPECT_EQ(ListedCount(), 0u);
    EXPECT_EQ(JournalCount("destroy " + a) + JournalCount("destroy " + b), 2u);
}

TEST_F(TaskPlans, TimeWindowOfABoundedTask) {
    const std::string pic = MakeFile("w.jpg");
    auto bounded = [&](const std::string& start, const std::string& end) {
        TaskPlanTask t = Task("w", 0, {Entry(pic, kMediaPicture, -1, {Profile(0, 1), Profile(1, 0)})});
        t.TaskType = 1;
        t.StartTime = start;
        t.EndTime = end;
        core->m_taskList.clear();
        AddTask(t);
    };
    // now = 1000000 (the fixture's clock)
    {
        SCOPED_TRACE("window passed");
        bounded("999000", "999999");
        ASSERT_EQ(core->RunTaskPlan("w"), 1);
        auto running = core->m_pRunningTask;
        ASSERT_TRUE(TaskThreadEnds());
        EXPECT_EQ(running->TaskStatus, 0);
        EXPECT_EQ(media.created.load(), 0);
    }
    {
        SCOPED_TRACE("window ahead");
        bounded("1000100", "1000200");
        ASSERT_EQ(core->RunTaskPlan("w"), 1);
        auto running = core->m_pRunningTask;
        ASSERT_TRUE(WaitUntil([&] { return running->TaskStatus == 1; }));
        core->stopalltask();
        EXPECT_EQ(running->TaskStatus, 1);
        EXPECT_EQ(media.created.load(), 0);
    }
    {
        SCOPED_TRACE("window far ahead: the wait does not overflow");
        bounded("9223372036854775807", "9223372036854775807");
        ASSERT_EQ(core->RunTaskPlan("w"), 1);
        auto running = core->m_pRunningTask;
        ASSERT_TRUE(WaitUntil([&] { return running->TaskStatus == 1; }));
        EXPECT_TRUE(core->m_taskThread.Running());
        core->stopalltask();
    }
}

TEST_F(TaskPlans, ReachingEndTimeRemovesTheTaskMedia) {
    const std::string pic = MakeFile("w.jpg");
    TaskPlanTask t = Task("w", 0, {Entry(pic, kMediaPicture, -1, {Profile(0, 1), Profile(1, 0)})});
    t.TaskType = 1;
    t.StartTime = "0";
    t.EndTime = "1000050";  // fifty shortened seconds (one real second) after now
    AddTask(t);
    util::LogCapture log;
    ASSERT_EQ(core->RunTaskPlan("w"), 1);
    // A task media that some entry left behind, and a media of nobody's task.
    auto left = media.CreateMedia(kMediaPicture);
    left->Common().name = "left";
    left->Common().taskFlag = 1;
    auto other = media.CreateMedia(kMediaPicture);
    other->Common().name = "other";
    {
        std::lock_guard lock(core->m_csMedia);
        core->m_mediaList.push_back(left.release());
        core->m_mediaList.push_back(other.release());
    }
    auto running = core->m_pRunningTask;
    ASSERT_TRUE(TaskThreadEnds());
    EXPECT_EQ(running->TaskStatus, 3);
    EXPECT_TRUE(log.Contains("任务未及时终止。清理媒体。left"));
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"other"});
}

TEST_F(TaskPlans, StopAllTaskEmptiesTheMediaListAndForgetsTheCurrentVideo) {
    const std::string video = MakeFile("v.mp4");
    IMedia* m = core->LoadMedia(kMediaFileVideo, video, nullptr);
    ASSERT_NE(m, nullptr);
    {
        std::lock_guard lock(core->m_csMedia);
        core->m_mediaList.push_back(m);
    }
    core->SetCurrentVideo(m, 0);
    core->stopalltask();
    EXPECT_EQ(ListedCount(), 0u);
    EXPECT_EQ(core->m_pCurrentVideo, nullptr);
    SyncMediaInfo info;
    int32_t code = 0;
    EXPECT_FALSE(core->GetCurrentVideoStatus(info, code));
    const auto j = Journal();
    EXPECT_LT(IndexOf(j, "stop"), IndexOf(j, "destroy " + video));
}

TEST_F(TaskPlans, StartUpRunsNothing) {
    AddTask(Task("t", 0, {Entry(MakeFile("a.jpg"), kMediaPicture, -1, {Profile(0, 1)})}));
    core->StartTaskPlanThread();
    EXPECT_FALSE(core->m_taskThread.Running());
    EXPECT_EQ(media.created.load(), 0);
}

// ---- the task folder ----

TEST_F(TaskPlans, SaveWritesNumberedFilesIntoAnEmptiedFolder) {
    const fs::path taskDir = fs::path(dir.str()) / "task";
    fs::create_directories(taskDir / "keep");
    std::ofstream(taskDir / "stale") << "old";
    std::ofstream(taskDir / "tp(7)") << "old";
    for (const char* id : {"a", "b", "c"}) AddTask(Task(id, 1, {}));
    core->SaveTaskPlan();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(taskDir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"keep", "tp(0)", "tp(1)", "tp(2)"}));
    TaskPlanTask read;
    ASSERT_TRUE(ReadTaskPlanFile((taskDir / "tp(1)").string(), read));
    EXPECT_EQ(read.TaskId, "b");
}

// A save killed at any instant (a crash, a power cut) leaves every plan
// whole: the old set or the new one, never fewer and never a torn file.
TEST_F(TaskPlans, SaveKilledAtAnyInstantLosesNoPlan) {
    constexpr int kPlans = 40;
    for (int i = 0; i < kPlans; ++i)
        AddTask(Task("id" + std::to_string(i), 1, {Entry("/m/a.mp4", kMediaFileVideo, 1, {Profile(i, 1)})}));
    core->SaveTaskPlan();
    const fs::path taskDir = fs::path(dir.str()) / "task";
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                {
                    std::lock_guard lock(core->m_csTaskList);
                    for (TaskPlanTask& t : core->m_taskList) t.Desc = std::to_string(n);
                }
                core->SaveTaskPlan();
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        std::set<std::string> ids;
        for (const auto& e : fs::directory_iterator(taskDir)) {
            TaskPlanTask t;
            if (e.path().filename().string().rfind("tp(", 0) != 0) continue;
            ASSERT_TRUE(ReadTaskPlanFile(e.path().string(), t)) << e.path();
            ASSERT_EQ(t.Medias.size(), 1u) << e.path();
            ids.insert(t.TaskId);
        }
        EXPECT_EQ(ids.size(), size_t{kPlans});
    }
    core->Initialize();  // takes away what the killed saves left
    for (const auto& e : fs::directory_iterator(taskDir))
        EXPECT_EQ(e.path().filename().string().rfind(platform::kSaveTempPrefix, 0), std::string::npos) << e.path();
}

TEST_F(TaskPlans, LoadReadsTheFolderBackInSavedOrder) {
    std::vector<TaskPlanTask> saved;
    for (int i = 0; i < 12; ++i) {
        saved.push_back(Task("id" + std::to_string(i), 1,
                             {Entry("/m/" + std::to_string(i) + ".mp4", kMediaFileVideo, i, {Profile(i, 1)})}));
        AddTask(saved.back());
    }
    core->SaveTaskPlan();
    const fs::path taskDir = fs::path(dir.str()) / "task";
    std::ofstream(taskDir / "broken") << "<VeskDorodeTaskPlan><Task";
    fs::create_directories(taskDir / "sub");

    CMediaManager fresh(dir.str());
    fresh.LoadTaskPlans();
    EXPECT_EQ(fresh.m_taskList, saved);
}

TEST_F(TaskPlans, LoadSkipsFilesBeyondTheBounds) {
    TaskPlanTask big = Task("big", 0, {});
    for (size_t i = 0; i <= kMaxTaskMediaEntries; ++i) big.Medias.push_back(Entry("x", 2, 1, {}));
    const fs::path taskDir = fs::path(dir.str()) / "task";
    fs::create_directories(taskDir);
    ASSERT_TRUE(WriteTaskPlanFile((taskDir / "tp(0)").string(), big));
    ASSERT_TRUE(WriteTaskPlanFile((taskDir / "tp(1)").string(), Task("small", 0, {})));
    core->LoadTaskPlans();
    ASSERT_EQ(core->m_taskList.size(), 1u);
    EXPECT_EQ(core->m_taskList[0].TaskId, "small");
}
