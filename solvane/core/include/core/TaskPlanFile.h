// Task plans as XML: files in the "task" folder and the texts exchanged by
// the task-plan commands. Root "VeskDorodeTaskPlan", one "Task" per file,
// declared and written as GB2312 (GB18030 bytes), lines ended by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/TaskPlan.h"

// The task plans' folder inside the program folder.
inline constexpr char kTaskFolder[] = "task";

// Reads the first task of a file into task (default-constructed by the
// caller). False when the file is missing, unreadable or not well-formed; the
// task is then left alone. A well-formed file without root or "Task" gives
// true and leaves the task at its defaults.
bool ReadTaskPlanFile(const std::string& path, TaskPlanTask& task);
// Writes one task to a file (replacing it whole).
bool WriteTaskPlanFile(const std::string& path, const TaskPlanTask& task);

// The task's XML as a peer receives it: the bytes of the file, in the
// declared encoding.
bool TaskPlanToText(const TaskPlanTask& task, std::string& text);
// One text with every task of the list under one root, in list order: the
// form in which a peer sends and receives the whole list.
bool TaskPlanListToText(const std::vector<TaskPlanTask>& tasks, std::string& text);

// Bounds of what a server keeps and runs: each media entry of a running task
// has a thread of its own.
inline constexpr size_t kMaxTaskPlans = 256;
inline constexpr size_t kMaxTaskMediaEntries = 64;
inline constexpr size_t kMaxTaskProfiles = 1024;
// Whether a list stays within those bounds; why tells what does not.
bool TaskPlansAcceptable(const std::vector<TaskPlanTask>& tasks, std::string* why = nullptr);

// Appends every "Task" of an XML text, in document order. The text is read
// like a file: byte-order mark, declared encoding or UTF-8 detection.
bool TaskPlanFromText(std::vector<TaskPlanTask>& tasks, std::string_view text);

// A new, empty, uniquely named file in the process's private temp folder;
// empty when none could be made.
std::string MakeTempFileName();
