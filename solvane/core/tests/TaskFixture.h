// A core with recording fakes, short task waits and a media folder of empty
// files, for the tests of task plans and of the layer commands.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CommandFixture.h"
#include "core/TaskPlan.h"

class TaskFixture : public CommandFixture {
protected:
    void SetUp() override {
        CommandFixture::SetUp();
        folder = (std::filesystem::path(dir.str()) / "media").string();
        std::filesystem::create_directories(folder);
        core->m_strMediaFolder = folder;
        // One second of a timetable lasts 20 ms; the settle waits go, the
        // joins keep bounds far above what a thread needs.
        CMediaManager::TaskTiming& t = core->m_taskTiming;
        t.secondMs = 20;
        t.endRepeatMs = t.endSettleMs = t.mediaStopSettleMs = t.mediaDeleteSettleMs = 0;
        t.entryEndSettleMs = t.layerSeekSettleMs = 0;
        t.idleRepeatMs = 1;
        t.entryJoinMs = t.sequenceStopMs = t.taskJoinMs = 10000;
        core->m_taskWallClock = [] { return int64_t{1000000}; };
    }

    std::string MakeFile(const std::string& name) {
        const std::string path = (std::filesystem::path(folder) / name).string();
        std::ofstream(path) << "x";
        return path;
    }

    static TaskProfileEntry Profile(int32_t delay, int32_t playStatus) {
        TaskProfileEntry p;
        p.DelayTime = delay;
        p.PlayStatus = playStatus;
        return p;
    }
    static TaskMediaEntry Entry(const std::string& name, int32_t type, int32_t repeat,
                                std::vector<TaskProfileEntry> profiles) {
        TaskMediaEntry m;
        m.Name = name;
        m.Type = type;
        m.RepeatCount = repeat;
        m.Profiles = std::move(profiles);
        return m;
    }
    static TaskPlanTask Task(const std::string& id, int32_t playType, std::vector<TaskMediaEntry> medias) {
        TaskPlanTask t;
        t.Name = "task " + id;
        t.TaskId = id;
        t.MediaPlayType = playType;
        t.Medias = std::move(medias);
        return t;
    }
    void AddTask(const TaskPlanTask& t) {
        std::lock_guard lock(core->m_csTaskList);
        core->m_taskList.push_back(t);
    }

    // Copies under the locks the worker threads write them with.
    std::vector<std::string> Journal() {
        std::lock_guard lock(FakeMedia::JournalLock());
        return media.journal;
    }
    size_t JournalCount(const std::string& what) {
        size_t n = 0;
        for (const auto& j : Journal()) n += (j == what);
        return n;
    }
    std::vector<std::string> ListedNames() {
        std::lock_guard lock(core->m_csMedia);
        std::vector<std::string> names;
        for (IMedia* m : core->m_mediaList) names.push_back(m->Common().name);
        return names;
    }
    size_t ListedCount() {
        std::lock_guard lock(core->m_csMedia);
        return core->m_mediaList.size();
    }
    // The first listed media, or null.
    IMedia* FirstListed() {
        std::lock_guard lock(core->m_csMedia);
        return core->m_mediaList.empty() ? nullptr : core->m_mediaList.front();
    }
    // Waits for the task thread to end.
    bool TaskThreadEnds() { return core->m_taskThread.Join(10000); }

    std::string folder;
};
