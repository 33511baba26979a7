#include "core/TaskPlanFile.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>

#include "core/XmlDocument.h"
#include "platform/cnum.h"
#include "platform/paths.h"
#include "util/Util.h"

namespace {

const char kRoot[] = "VeskDorodeTaskPlan";
const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n";

int32_t IntAttr(const CXmlDocument& doc, const char* name) {
    return platform::AtoiC(doc.GetAttribute(name).c_str());
}

// A missing float attribute reads as 0.0, not as the record's default.
float FloatAttr(const CXmlDocument& doc, const char* name) {
    const double v = platform::AtofC(doc.GetAttribute(name).c_str());
    if (std::isfinite(v) && std::fabs(v) > double(std::numeric_limits<float>::max()))
        return v > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return float(v);
}

void ReadProfile(const CXmlDocument& doc, TaskProfileEntry& p) {
    p.Name = doc.GetAttribute("Name");
    p.DelayTime = IntAttr(doc, "DelayTime");
    p.ProfileStatus = IntAttr(doc, "ProfileStatus");
    p.PlayStatus = IntAttr(doc, "PlayStatus");
    p.PosLeft = FloatAttr(doc, "PosLeft");
    p.PosTop = FloatAttr(doc, "PosTop");
    p.PosRight = FloatAttr(doc, "PosRight");
    p.PosBottom = FloatAttr(doc, "PosBottom");
    p.Mute = IntAttr(doc, "Mute");
    p.Layer = IntAttr(doc, "Layer");
}

// Reads the current "Task" element with its media entries and profiles.
// Stops one entry past a count limit and returns false: the caller refuses
// the list by its counts, and a list far past them is never read whole.
bool ReadTask(CXmlDocument& doc, TaskPlanTask& task) {
    bool within = true;
    task.Name = doc.GetAttribute("Name");
    task.TaskId = doc.GetAttribute("TaskId");
    task.Desc = doc.GetAttribute("Desc");
    task.CreateTime = doc.GetAttribute("CreateTime");
    task.StartTime = doc.GetAttribute("StartTime");
    task.EndTime = doc.GetAttribute("EndTime");
    task.TaskStatus = IntAttr(doc, "TaskStatus");
    task.TaskType = IntAttr(doc, "TaskType");
    task.MediaPlayType = IntAttr(doc, "MediaPlayType");
    task.AutoStart = IntAttr(doc, "AutoStart");

    doc.EnterElement();
    while (within && doc.FindElement("MediaInfo")) {
        TaskMediaEntry m;
        m.Name = doc.GetAttribute("Name");
        m.Type = IntAttr(doc, "Type");
        m.Param = doc.GetAttribute("Param");
        m.MediaId = doc.GetAttribute("MediaId");
        m.TaskId = doc.GetAttribute("TaskId");
        m.ExecTime = doc.GetAttribute("ExecTime");
        m.RepeatCount = IntAttr(doc, "RepeatCount");
        doc.EnterElement();
        while (doc.FindElement("Profile")) {
            TaskProfileEntry p;
            ReadProfile(doc, p);
            m.Profiles.push_back(std::move(p));
            if (m.Profiles.size() > kMaxTaskProfiles) {
                within = false;
                break;
            }
        }
        doc.LeaveElement();
        task.Medias.push_back(std::move(m));
        if (task.Medias.size() > kMaxTaskMediaEntries) within = false;
    }
    doc.LeaveElement();
    return within;
}

bool LoadDocument(CXmlDocument& doc, const std::string& path) {
    if (doc.LoadFile(path)) return true;
    LOGTEXT::LogError("task plan %s not loaded: %s", path.c_str(), doc.GetErrorText().c_str());
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

bool ReadTaskPlanFile(const std::string& path, TaskPlanTask& task) {
    CXmlDocument doc;
    if (!LoadDocument(doc, path)) return false;
    if (!doc.FindElement(kRoot) || !doc.EnterElement() || !doc.FindElement("Task")) return true;
    ReadTask(doc, task);
    return true;
}

namespace {

// Adds one "Task" element with its media entries and profiles at the
// current level (inside the root).
void WriteTask(CXmlDocument& doc, const TaskPlanTask& task) {
    doc.AddElement("Task");
    doc.SetAttribute("Name", task.Name);
    doc.SetAttribute("TaskId", task.TaskId);
    doc.SetAttribute("Desc", task.Desc);
    doc.SetAttribute("CreateTime", task.CreateTime);
    doc.SetAttribute("StartTime", task.StartTime);
    doc.SetAttribute("EndTime", task.EndTime);
    doc.SetIntAttribute("TaskStatus", task.TaskStatus);
    doc.SetIntAttribute("TaskType", task.TaskType);
    doc.SetIntAttribute("MediaPlayType", task.MediaPlayType);
    doc.SetIntAttribute("AutoStart", task.AutoStart);
    doc.EnterElement();
    for (const TaskMediaEntry& m : task.Medias) {
        doc.AddElement("MediaInfo");
        doc.SetAttribute("Name", m.Name);
        doc.SetIntAttribute("Type", m.Type);
        doc.SetAttribute("Param", m.Param);
        doc.SetAttribute("MediaId", m.MediaId);
        doc.SetAttribute("TaskId", m.TaskId);
        doc.SetAttribute("ExecTime", m.ExecTime);
        doc.SetIntAttribute("RepeatCount", m.RepeatCount);
        doc.EnterElement();
        for (const TaskProfileEntry& p : m.Profiles) {
            doc.AddElement("Profile");
            doc.SetAttribute("Name", p.Name);
            doc.SetIntAttribute("DelayTime", p.DelayTime);
            doc.SetIntAttribute("ProfileStatus", p.ProfileStatus);
            doc.SetIntAttribute("PlayStatus", p.PlayStatus);
            doc.SetAttribute("PosLeft", platform::FormatC("%f", double(p.PosLeft)));
            doc.SetAttribute("PosTop", platform::FormatC("%f", double(p.PosTop)));
            doc.SetAttribute("PosRight", platform::FormatC("%f", double(p.PosRight)));
            doc.SetAttribute("PosBottom", platform::FormatC("%f", double(p.PosBottom)));
            doc.SetIntAttribute("Mute", p.Mute);
            doc.SetIntAttribute("Layer", p.Layer);
        }
        doc.LeaveElement();
    }
    doc.LeaveElement();
}

// One document with the root and a "Task" element per task, in order.
bool WriteTasks(const std::string& path, const TaskPlanTask* const* tasks, size_t count) {
    CXmlDocument doc;
    doc.SetDocText(kDeclaration);
    doc.AddElement(kRoot);
    doc.EnterElement();
    for (size_t i = 0; i < count; ++i) WriteTask(doc, *tasks[i]);
    doc.LeaveElement();
    if (doc.SaveFile(path)) return true;
    LOGTEXT::LogError("task plan %s not saved: %s", path.c_str(), doc.GetErrorText().c_str());
    return false;
}

// The bytes of a written document, through a temporary file.
bool TasksToText(const TaskPlanTask* const* tasks, size_t count, std::string& text) {
    const std::string temp = MakeTempFileName();
    if (temp.empty()) return false;
    bool ok = WriteTasks(temp, tasks, count);
    // The text a peer receives is the file as written, in its declared encoding.
    if (ok) ok = ReadWholeFile(temp, text);
    std::remove(temp.c_str());
    return ok;
}

}  // namespace

bool WriteTaskPlanFile(const std::string& path, const TaskPlanTask& task) {
    const TaskPlanTask* one = &task;
    return WriteTasks(path, &one, 1);
}

std::string MakeTempFileName() {
    // A unique name in the private folder: a fixed name in a shared folder
    // could be planted (as a link) by another user.
    try {
        return platform::CreateTempFile(".xml");
    } catch (const std::exception& e) {
        LOGTEXT::LogError("task plan temp file not made: %s", e.what());
        return {};
    }
}

bool TaskPlanToText(const TaskPlanTask& task, std::string& text) {
    const TaskPlanTask* one = &task;
    return TasksToText(&one, 1, text);
}

bool TaskPlanListToText(const std::vector<TaskPlanTask>& tasks, std::string& text) {
    std::vector<const TaskPlanTask*> list;
    list.reserve(tasks.size());
    for (const TaskPlanTask& t : tasks) list.push_back(&t);
    return TasksToText(list.data(), list.size(), text);
}

bool TaskPlansAcceptable(const std::vector<TaskPlanTask>& tasks, std::string* why) {
    auto refuse = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (tasks.size() > kMaxTaskPlans) return refuse(std::to_string(tasks.size()) + " plans");
    for (const TaskPlanTask& t : tasks) {
        if (t.Medias.size() > kMaxTaskMediaEntries)
            return refuse("task " + t.TaskId + ": " + std::to_string(t.Medias.size()) + " media entries");
        for (const TaskMediaEntry& m : t.Medias)
            if (m.Profiles.size() > kMaxTaskProfiles)
                return refuse("task " + t.TaskId + ": " + std::to_string(m.Profiles.size()) + " profiles");
    }
    return true;
}

bool TaskPlanFromText(std::vector<TaskPlanTask>& tasks, std::string_view text) {
    const std::string temp = MakeTempFileName();
    if (temp.empty()) return false;
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        std::remove(temp.c_str());
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    bool ok = false;
    if (written && closed) {
        CXmlDocument doc;
        ok = LoadDocument(doc, temp);
        if (ok && doc.FindElement(kRoot) && doc.EnterElement()) {
            while (tasks.size() <= kMaxTaskPlans && doc.FindElement("Task")) {
                TaskPlanTask task;
                const bool within = ReadTask(doc, task);
                tasks.push_back(std::move(task));
                if (!within) break;
            }
        }
    }
    std::remove(temp.c_str());
    return ok;
}
