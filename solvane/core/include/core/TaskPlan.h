// Task plans: a stored script the display server runs on its own. One task
// holds an ordered list of media entries, each with an ordered list of
// profiles (timed steps that play, pause, stop, move or mute the media).
// Texts are UTF-8 in memory. Copies are deep: a running copy of a task
// shares nothing with the task of the list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TaskProfileEntry {
    std::string Name;
    int32_t DelayTime = 0;      // seconds before the profile applies; negative: no limit
    int32_t ProfileStatus = 0;
    int32_t PlayStatus = 0;     // 1 play, 2 pause, 3 stop, 100 stop and remove
    float PosLeft = 0.0f;
    float PosTop = 1.0f;
    float PosRight = 1.0f;
    float PosBottom = 0.0f;
    int32_t Mute = 0;
    int32_t Layer = 0;

    bool operator==(const TaskProfileEntry&) const = default;
};

struct TaskMediaEntry {
    std::string Name;
    int32_t Type = 0;           // 0 video file, 1 capture, 2 image, 3 desktop capture
    std::string Param;          // capture device number for Type 1
    std::string MediaId;
    std::string TaskId;
    std::string ExecTime;
    int32_t RepeatCount = 1;    // negative: until stopped; 0: nothing
    std::vector<TaskProfileEntry> Profiles;

    bool operator==(const TaskMediaEntry&) const = default;
};

struct TaskPlanTask {
    std::string Name;
    std::string CreateTime;
    std::string StartTime;      // decimal seconds since 1970-01-01 UTC
    std::string EndTime;
    std::string Desc;
    std::string TaskId;
    int32_t TaskStatus = 0;     // 0 idle, 1 waiting for StartTime, 2 running, 3 finished
    int32_t TaskType = 0;       // 1: bounded by StartTime and EndTime
    int32_t MediaPlayType = 1;  // 1 or 2: entries one after another; else all at once
    int32_t AutoStart = 0;
    std::vector<TaskMediaEntry> Medias;

    bool operator==(const TaskPlanTask&) const = default;
};
