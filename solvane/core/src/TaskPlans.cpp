// Task plans of the server: the list in the "task" folder, running one task
// (a task thread plus one thread per media entry) and stopping it.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <system_error>

#include "core/MediaManager.h"
#include "core/TaskPlanFile.h"
#include "platform/fileio.h"
#include "platform/cnum.h"
#include "platform/paths.h"
#include "util/Util.h"

namespace fs = std::filesystem;

namespace {

constexpr const char kTaskFilePrefix[] = "tp";
// A task file beyond this is not one the server wrote: skipped.
constexpr uintmax_t kMaxTaskFileSize = 16u * 1024u * 1024u;
// The wait result logged for a time-out (as the system's wait calls it).
constexpr int kWaitTimeoutCode = 258;

// Leading decimal of a text as a signed 64-bit number: blanks, an optional
// sign and digits; 0 without digits; clamped on overflow.
int64_t LeadingInt64(const std::string& text) {
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int64_t>(v);  // strtoll clamps to LLONG_MIN / LLONG_MAX
}

// Seconds of a task's timetable in ms; negative means no limit, and so does
// a wait too long to count.
int64_t SecondsToMs(int64_t seconds, uint32_t secondMs) {
    if (seconds < 0) return -1;
    if (secondMs != 0 && seconds > INT64_MAX / static_cast<int64_t>(secondMs)) return -1;
    return seconds * static_cast<int64_t>(secondMs);
}

// Index of the first signalled event, or -1 after ms (negative: no limit).
// Long waits go in pieces, since one wait takes 32-bit milliseconds.
int WaitEvents(std::initializer_list<platform::Event*> events, int64_t ms) {
    if (ms < 0) return platform::Event::WaitAny(events, platform::kInfinite);
    do {
        const int64_t piece = std::min<int64_t>(ms, 0x7FFFFFFF);
        const int hit = platform::Event::WaitAny(events, static_cast<uint32_t>(piece));
        if (hit >= 0) return hit;
        ms -= piece;
    } while (ms > 0);
    return -1;
}

// The number in "tp(N)", or -1 for any other name.
long TaskFileNumber(const std::string& name) {
    const std::string prefix = std::string(kTaskFilePrefix) + "(";
    if (name.size() < prefix.size() + 2 || name.compare(0, prefix.size(), prefix) != 0 || name.back() != ')') return -1;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 1);
    if (digits.empty() || digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return -1;
    return std::strtol(digits.c_str(), nullptr, 10);
}

}  // namespace

// ---- the task list and its folder ----

void CMediaManager::LoadTaskPlans() {
    const fs::path folder = fs::path(m_strProgramFolder) / kTaskFolder;
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileError;
        if (!it->is_regular_file(fileError)) continue;
        const uintmax_t size = it->file_size(fileError);
        if (fileError || size > kMaxTaskFileSize) {
            LOGTEXT::LogError("task file %s skipped", it->path().c_str());
            continue;
        }
        files.push_back(it->path());
    }
    // The folder's own order is arbitrary here: the files come back in the
    // order they were saved, "tp(N)" by N, any other name after them.
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        const long na = TaskFileNumber(a.filename().string());
        const long nb = TaskFileNumber(b.filename().string());
        if ((na < 0) != (nb < 0)) return na >= 0;
        if (na != nb) return na < nb;
        return a.filename().string() < b.filename().string();
    });
    std::vector<TaskPlanTask> loaded;
    for (const fs::path& file : files) {
        if (loaded.size() >= kMaxTaskPlans) {
            LOGTEXT::LogError("task file %s skipped: %zu plans already", file.c_str(), loaded.size());
            continue;
        }
        TaskPlanTask task;
        if (!ReadTaskPlanFile(file.string(), task)) continue;
        std::string why;
        if (!TaskPlansAcceptable({task}, &why)) {
            LOGTEXT::LogError("task file %s skipped: %s", file.c_str(), why.c_str());
            continue;
        }
        loaded.push_back(std::move(task));
    }
    std::lock_guard lock(m_csTaskList);
    for (TaskPlanTask& t : loaded) m_taskList.push_back(std::move(t));
}

void CMediaManager::SaveTaskPlan() {
    // Each plan is written whole under its final name first (write and
    // rename), and only then are the files no longer listed removed: a
    // crash or power cut at any instant leaves the old plans or the new
    // ones, never fewer and never a torn file.
    const std::string folder = platform::JoinPath(m_strProgramFolder, kTaskFolder);
    platform::MakeDirs(folder);
    std::vector<TaskPlanTask> tasks;
    {
        std::lock_guard lock(m_csTaskList);
        tasks = m_taskList;
    }
    std::set<std::string> kept;
    for (size_t i = 0; i < tasks.size(); ++i) {
        const std::string name = std::string(kTaskFilePrefix) + "(" + std::to_string(i) + ")";
        std::string text;
        if (!TaskPlanToText(tasks[i], text) || !platform::SaveFileAtomically(platform::JoinPath(folder, name), text)) {
            // The old files stay: a plan that could not be written is not
            // replaced by nothing.
            LOGTEXT::LogError("task file %s not saved; older task files kept.", name.c_str());
            return;
        }
        kept.insert(name);
    }
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError) || kept.count(it->path().filename().string())) continue;
        std::error_code removeError;
        fs::remove(it->path(), removeError);
        if (removeError)
            LOGTEXT::LogError("task file %s not deleted: %s", it->path().c_str(), removeError.message().c_str());
    }
}

// ---- running and stopping ----

// The task record of the main server (801, task bit) runs the named plan here.
void CMediaManager::StartSyncTask(const std::string& name) { RunTaskPlan(name); }

int32_t CMediaManager::RunTaskPlan(const std::string& taskId) {
    std::lock_guard run(m_csTaskRun);
    stopalltask();
    std::shared_ptr<TaskPlanTask> task;
    {
        std::lock_guard lock(m_csTaskList);
        auto it = std::find_if(m_taskList.begin(), m_taskList.end(),
                               [&](const TaskPlanTask& t) { return t.TaskId == taskId; });
        if (it == m_taskList.end()) {
            LOGTEXT::LogInfo("no task %s", taskId.c_str());
            return 0;
        }
        task = std::make_shared<TaskPlanTask>(*it);
    }
    m_pRunningTask = task;
    StartTaskPlanThread();
    return 1;
}

void CMediaManager::StartTaskPlanThread() {
    // At start-up no task has been chosen yet: nothing runs until a command
    // names one.
    std::shared_ptr<TaskPlanTask> task = m_pRunningTask;
    if (!task) return;
    if (!m_taskThread.Start([this, task](platform::StoppableThread& self) { TaskPlanExecThread(self, task); }, "task plan"))
        LOGTEXT::LogError("task thread not started");
}

void CMediaManager::StopTaskThread(uint32_t timeoutMs, const char* timeoutLogText) {
    std::lock_guard run(m_csTaskRun);
    m_taskStopEvent.Set();
    if (!m_taskThread.Join(timeoutMs) && timeoutLogText) LOGTEXT::LogInfo("%s", timeoutLogText);
    m_layerThread.Stop(timeoutMs, "layer thread did not end in time");
    m_taskStopEvent.Reset();
}

void CMediaManager::stopalltask() {
    std::lock_guard run(m_csTaskRun);
    LOGTEXT::LogInfo("enter stopalltask");
    m_taskStopEvent.Set();
    // A thread that misses its wait is left to end on its own (it sees the
    // stop when it next looks); it is never killed.
    if (!m_taskThread.Join(m_taskTiming.taskJoinMs)) LOGTEXT::LogInfo("等待任务线程无信号，强制终止");
    // The layer thread ends on the same event; it is collected before the
    // event is reset, or it could miss the stop.
    m_layerThread.Stop(m_taskTiming.taskJoinMs, "layer thread did not end in time");
    m_taskStopEvent.Reset();

    {
        std::lock_guard lock(m_csMedia);
        LOGTEXT::LogInfo("internel stopalltask.meidasize=%d", static_cast<int>(m_mediaList.size()));
        std::vector<IMedia*> all;
        all.swap(m_mediaList);
        {
            // Every media goes: the current video would be left dangling.
            std::lock_guard current(m_csCurrentVideo);
            m_pCurrentVideo = nullptr;
        }
        for (IMedia* m : all) {
            LOGTEXT::LogInfo("will stop %s", m->Common().name.c_str());
            m->Stop();
            if (m_taskTiming.mediaStopSettleMs) m_quitEvent.Wait(m_taskTiming.mediaStopSettleMs);
            LOGTEXT::LogInfo("afte stop");
            DestroyMediaObject(m);
            LOGTEXT::LogInfo("safe delete");
            if (m_taskTiming.mediaDeleteSettleMs) m_quitEvent.Wait(m_taskTiming.mediaDeleteSettleMs);
        }
    }
    m_pRunningTask.reset();
    LOGTEXT::LogInfo("leave stopalltask");
}

namespace {

// Takes a listed media out of the list and destroys it; the caller holds the
// media lock.
void DropMedia(CMediaManager& core, IMedia* m) {
    auto it = std::find(core.m_mediaList.begin(), core.m_mediaList.end(), m);
    if (it == core.m_mediaList.end()) return;
    core.m_mediaList.erase(it);
    if (m->Common().type == kMediaFileVideo) core.SetCurrentVideo(m, 1);
    core.DestroyMediaObject(m);
}

}  // namespace

void CMediaManager::TaskPlanExecThread(platform::StoppableThread& self,
                                       const std::shared_ptr<TaskPlanTask>& taskPtr) {
    TaskPlanTask& task = *taskPtr;
    task.TaskStatus = 0;
    LOGTEXT::LogInfo("enter TaskPlanExecThread");
    const uint32_t secondMs = m_taskTiming.secondMs;
    auto now = [this]() -> int64_t {
        return m_taskWallClock ? m_taskWallClock() : static_cast<int64_t>(std::time(nullptr));
    };
    const bool bounded = task.TaskType == 1;
    const int64_t startTime = bounded ? LeadingInt64(task.StartTime) : 0;
    const int64_t endTime = bounded ? LeadingInt64(task.EndTime) : 0;
    // The wait until EndTime (0 once it has passed); no limit when unbounded.
    auto endWait = [&]() -> int64_t {
        if (!bounded) return -1;
        const int64_t t = now();
        if (endTime <= t) return 0;
        return SecondsToMs(endTime - t, secondMs);
    };
    auto leave = [] { LOGTEXT::LogInfo("leave TaskPlanExecThread"); };

    if (bounded) {
        const int64_t t = now();
        if (t > endTime) {
            leave();
            return;
        }
        if (t < startTime) {
            task.TaskStatus = 1;
            if (WaitEvents({&m_taskStopEvent, &m_quitEvent, &self.StopEvent()}, SecondsToMs(startTime - t, secondMs)) >=
                0) {
                leave();
                return;
            }
        }
    }
    task.TaskStatus = 2;

    bool reachedEnd = false;  // the end wait ran out (EndTime reached)
    if (task.MediaPlayType != 1 && task.MediaPlayType != 2) {
        std::vector<std::unique_ptr<platform::StoppableThread>> threads;
        for (size_t i = 0; i < task.Medias.size(); ++i) {
            auto thread = std::make_unique<platform::StoppableThread>();
            const TaskMediaEntry entry = task.Medias[i];
            if (!thread->Start([this, entry](platform::StoppableThread& me) { TaskMediaExecThread(me, entry); },
                               "task media")) {
                LOGTEXT::LogError("task media thread not started: %s", entry.Name.c_str());
                continue;
            }
            LOGTEXT::LogInfo("任务。执行id=%d，thread id=%d. 媒体=%s", static_cast<int>(i),
                             static_cast<int>(threads.size()), entry.Name.c_str());
            threads.push_back(std::move(thread));
        }
        LOGTEXT::LogInfo("任务，等待结束信号！");
        const int hit = WaitEvents({&m_taskStopEvent, &m_quitEvent, &self.StopEvent()}, endWait());
        reachedEnd = hit < 0;
        LOGTEXT::LogInfo("任务，收到结束信号！dwWait=%d", hit < 0 ? kWaitTimeoutCode : hit);
        m_taskStopEvent.Set();
        if (m_taskTiming.endRepeatMs) m_quitEvent.Wait(m_taskTiming.endRepeatMs);
        m_taskStopEvent.Set();
        if (m_taskTiming.endSettleMs) m_quitEvent.Wait(m_taskTiming.endSettleMs);
        for (size_t i = 0; i < threads.size(); ++i) {
            if (!threads[i]->Join(m_taskTiming.entryJoinMs))
                LOGTEXT::LogInfo("任务，超时，强制终止。id=%d", static_cast<int>(i));
        }
    } else {
        for (const TaskMediaEntry& media : task.Medias) {
            const int64_t wait = endWait();
            auto done = std::make_shared<platform::Event>(true, false);
            platform::StoppableThread thread;
            const TaskMediaEntry entry = media;
            if (!thread.Start(
                    [this, entry, done](platform::StoppableThread& me) {
                        TaskMediaExecThread(me, entry);
                        done->Set();
                    },
                    "task media")) {
                LOGTEXT::LogError("task media thread not started: %s", entry.Name.c_str());
                break;
            }
            const int hit = WaitEvents({&m_taskStopEvent, &m_quitEvent, &self.StopEvent(), done.get()}, wait);
            if (hit == 3) {
                thread.Join(m_taskTiming.sequenceStopMs);
                continue;
            }
            reachedEnd = hit < 0;
            m_taskStopEvent.Set();
            if (!thread.Join(m_taskTiming.sequenceStopMs))
                LOGTEXT::LogInfo("任务。顺序执行无退出信号，媒体=%s", entry.Name.c_str());
            break;
        }
    }

    LOGTEXT::LogInfo("任务，清理！");
    task.TaskStatus = 3;
    if (bounded && reachedEnd) {
        std::lock_guard lock(m_csMedia);
        const std::vector<IMedia*> all = m_mediaList;
        for (IMedia* m : all) {
            if (m->Common().taskFlag != 1) continue;
            LOGTEXT::LogInfo("任务未及时终止。清理媒体。%s", m->Common().name.c_str());
            DropMedia(*this, m);
        }
    }
    leave();
}

void CMediaManager::TaskMediaExecThread(platform::StoppableThread& self, TaskMediaEntry entry) {
    LOGTEXT::LogInfo("进入执行脚本。媒体=%s.类型=%d.次数=%d", entry.Name.c_str(), entry.Type, entry.RepeatCount);
    // The media is named by its handle (never reused): another command may
    // remove and destroy it at any time, and only a listed media is touched.
    uint32_t handle = 0;
    std::shared_ptr<platform::Event> finished;
    bool stop = false;
    int64_t count = 0;

    // Removes and destroys this entry's media (stopping it first when asked).
    auto dropMedia = [&](bool stopFirst) {
        std::lock_guard lock(m_csMedia);
        if (IMedia* m = ListedMedia(handle)) {
            if (stopFirst) {
                LOGTEXT::LogInfo("before stop");
                m->Stop();
                LOGTEXT::LogInfo("after stop");
            }
            DropMedia(*this, m);
            if (stopFirst) LOGTEXT::LogInfo("before delete");
        }
        handle = 0;
        finished.reset();
    };

    while ((count < entry.RepeatCount || entry.RepeatCount < 0) && !stop) {
        if (entry.Profiles.empty()) break;
        bool restart = false;
        for (const TaskProfileEntry& profile : entry.Profiles) {
            const int64_t wait = SecondsToMs(profile.DelayTime, m_taskTiming.secondMs);
            if (handle == 0) {
                if (WaitEvents({&m_taskStopEvent, &m_quitEvent, &self.StopEvent()}, wait) >= 0) {
                    ++count;
                    stop = true;
                    break;
                }
                std::string device;
                if (entry.Type == kMediaCapture) device = std::to_string(platform::AtoiC(entry.Param.c_str()));
                IMedia* m = LoadMedia(entry.Type, entry.Name, entry.Type == kMediaCapture ? &device : nullptr);
                if (!m) {
                    stop = true;
                    break;
                }
                MediaCommon& c = m->Common();
                c.taskFlag = 1;
                handle = c.handle;
                entry.MediaId = std::to_string(handle);
                finished = c.finished;
                if (finished) finished->Reset();
                std::lock_guard lock(m_csMedia);
                m_mediaList.push_back(m);
            } else {
                const int hit = WaitEvents({&m_taskStopEvent, &m_quitEvent, &self.StopEvent(), finished.get()}, wait);
                if (hit >= 0 && hit <= 2) {
                    std::lock_guard lock(m_csMedia);
                    dropMedia(true);
                    LOGTEXT::LogInfo("before结束锁定");
                    LOGTEXT::LogInfo("结束锁定");
                    LOGTEXT::LogInfo("终止 0");
                    ++count;
                    stop = true;
                    break;
                }
                if (hit == 3) {
                    {
                        std::lock_guard lock(m_csMedia);
                        if (ListedMedia(handle) && finished) finished->Reset();
                    }
                    LOGTEXT::LogInfo("终止 1");
                    ++count;
                    restart = true;
                    break;
                }
            }

            {
                std::lock_guard lock(m_csMedia);
                if (IMedia* m = ListedMedia(handle)) {
                    if (m->Common().type == kMediaFileVideo) m->SetVolume(profile.Mute != 0 ? 0 : 100);
                    const int32_t state = m->Common().state;
                    switch (profile.PlayStatus) {
                    case 1:
                        if (state != kMediaPlaying) m->Play();
                        break;
                    case 3:
                        if (state != kMediaStopped) m->Stop();
                        break;
                    case 2:
                        if (state != kMediaPaused) m->Pause();
                        break;
                    case 100:
                        m->Stop();
                        DropMedia(*this, m);
                        handle = 0;
                        finished.reset();
                        stop = true;
                        break;
                    default:
                        break;
                    }
                    if (profile.PlayStatus != 100) {
                        const float want[4] = {profile.PosLeft, profile.PosTop, profile.PosRight, profile.PosBottom};
                        float l = 0, r = 0, b = 0, t = 0;
                        m->GetTexRect(l, r, b, t);
                        const float have[4] = {l, t, r, b};
                        bool finite = true, differs = false;
                        for (int k = 0; k < 4; ++k) {
                            finite = finite && std::isfinite(want[k]);
                            differs = differs || !(std::fabs(want[k] - have[k]) <= 0.000001f);
                        }
                        // A position that is not a number is not handed to the renderer.
                        if (finite && differs)
                            m->SetTexRect(profile.PosLeft, profile.PosRight, profile.PosBottom, profile.PosTop);
                    }
                }
            }
            LOGTEXT::LogInfo("执行完一次");
            if (stop) break;
        }
        if (!stop && !restart) ++count;
        // Profiles without delays would otherwise repeat as fast as the
        // processor goes, holding the media lock and filling the log.
        const bool waited = std::any_of(entry.Profiles.begin(), entry.Profiles.end(),
                                        [](const TaskProfileEntry& p) { return p.DelayTime != 0; });
        if (!stop && !restart && !waited && m_taskTiming.idleRepeatMs)
            WaitEvents({&m_taskStopEvent, &m_quitEvent, &self.StopEvent()}, m_taskTiming.idleRepeatMs);
    }

    if (m_taskTiming.entryEndSettleMs) m_quitEvent.Wait(m_taskTiming.entryEndSettleMs);
    LOGTEXT::LogInfo("任务结束。thismeida=%d", static_cast<int>(handle));
    if (handle != 0) {
        bool playingVideo = false;
        {
            std::lock_guard lock(m_csMedia);
            if (IMedia* m = ListedMedia(handle))
                playingVideo = m->Common().type == kMediaFileVideo && m->Common().state == kMediaPlaying;
        }
        if (playingVideo) {
            LOGTEXT::LogInfo("开始等待完成");
            WaitEvents({&m_taskStopEvent, &m_quitEvent, &self.StopEvent(), finished.get()}, -1);
            LOGTEXT::LogInfo("结束等待完成");
        }
        dropMedia(false);
    }
    LOGTEXT::LogInfo("执行脚本结束。媒体=%s", entry.Name.c_str());
}
