// Task plans: the XML text a peer sends (the whole list) and a task file of
// the "task" folder read at start-up. What parses within the bounds is
// written back and must parse again to as many tasks.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "core/TaskPlanFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<TaskPlanTask> tasks;
    if (TaskPlanFromText(tasks, text) && TaskPlansAcceptable(tasks)) {
        std::string out;
        if (!TaskPlanListToText(tasks, out)) __builtin_trap();
        std::vector<TaskPlanTask> again;
        if (!TaskPlanFromText(again, out) || again.size() != tasks.size()) __builtin_trap();
    }
    const std::string path = fuzzsupport::ScratchDir() + "/tp(1).xml";
    fuzzsupport::WriteFile(path, data, size);
    TaskPlanTask task;
    if (ReadTaskPlanFile(path, task)) {
        std::string out;
        (void)TaskPlanToText(task, out);
    }
    return 0;
}
