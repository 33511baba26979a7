#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/TaskPlanFile.h"
#include "platform/paths.h"
#include "support/support.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// "任务" and "视频" in UTF-8 and in GBK.
const std::string kTaskUtf8 = "\xE4\xBB\xBB\xE5\x8A\xA1";
const std::string kTaskGbk = "\xC8\xCE\xCE\xF1";
const std::string kVideoUtf8 = "\xE8\xA7\x86\xE9\xA2\x91";
const std::string kVideoGbk = "\xCA\xD3\xC6\xB5";

TaskPlanTask SampleTask() {
    TaskPlanTask t;
    t.Name = kTaskUtf8 + "1";
    t.TaskId = "t1";
    t.Desc = "a<b&c\"d'e>f";
    t.StartTime = "1700000000";
    t.EndTime = "1700003600";
    t.TaskType = 1;
    t.MediaPlayType = 2;
    TaskMediaEntry m;
    m.Name = "/media/" + kVideoUtf8 + ".mp4";
    m.TaskId = "t1";
    m.RepeatCount = -1;
    TaskProfileEntry p;
    p.Name = "p1";
    p.DelayTime = 5;
    p.PlayStatus = 1;
    p.PosLeft = 0.5f;
    p.Mute = 1;
    p.Layer = 2;
    m.Profiles.push_back(p);
    p.Name = "p2";
    p.DelayTime = -1;
    p.PlayStatus = 100;
    p.PosLeft = -0.25f;
    p.PosTop = 0.75f;
    m.Profiles.push_back(p);
    t.Medias.push_back(m);
    TaskMediaEntry cap;
    cap.Name = "capture";
    cap.Type = 1;
    cap.Param = "0";
    t.Medias.push_back(cap);
    return t;
}

// What the program must write for SampleTask, byte for byte.
std::string SampleGolden() {
    return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
           "<VeskDorodeTaskPlan>\r\n"
           "<Task Name=\"" + kTaskGbk + "1\" TaskId=\"t1\" Desc=\"a&lt;b&amp;c&quot;d&apos;e&gt;f\""
           " CreateTime=\"\" StartTime=\"1700000000\" EndTime=\"1700003600\" TaskStatus=\"0\""
           " TaskType=\"1\" MediaPlayType=\"2\" AutoStart=\"0\">\r\n"
           "<MediaInfo Name=\"/media/" + kVideoGbk + ".mp4\" Type=\"0\" Param=\"\" MediaId=\"\""
           " TaskId=\"t1\" ExecTime=\"\" RepeatCount=\"-1\">\r\n"
           "<Profile Name=\"p1\" DelayTime=\"5\" ProfileStatus=\"0\" PlayStatus=\"1\""
           " PosLeft=\"0.500000\" PosTop=\"1.000000\" PosRight=\"1.000000\" PosBottom=\"0.000000\""
           " Mute=\"1\" Layer=\"2\"/>\r\n"
           "<Profile Name=\"p2\" DelayTime=\"-1\" ProfileStatus=\"0\" PlayStatus=\"100\""
           " PosLeft=\"-0.250000\" PosTop=\"0.750000\" PosRight=\"1.000000\" PosBottom=\"0.000000\""
           " Mute=\"1\" Layer=\"2\"/>\r\n"
           "</MediaInfo>\r\n"
           "<MediaInfo Name=\"capture\" Type=\"1\" Param=\"0\" MediaId=\"\" TaskId=\"\" ExecTime=\"\""
           " RepeatCount=\"1\"/>\r\n"
           "</Task>\r\n"
           "</VeskDorodeTaskPlan>\r\n";
}

size_t FilesIn(const std::string& dir) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++n;
    }
    return n;
}

}  // namespace

TEST(TaskPlanFile, WritesTheGoldenFileAndReadsItBack) {
    TempDir dir;
    const std::string path = (dir / "tp(0)").string();
    const TaskPlanTask task = SampleTask();
    ASSERT_TRUE(WriteTaskPlanFile(path, task));
    EXPECT_EQ(ReadFile(path), SampleGolden());

    TaskPlanTask back;
    ASSERT_TRUE(ReadTaskPlanFile(path, back));
    EXPECT_EQ(back, task);
}

TEST(TaskPlanFile, TaskWithoutMediaIsOneEmptyTaskElement) {
    TempDir dir;
    const std::string path = (dir / "tp(1)").string();
    TaskPlanTask task;
    task.TaskId = "x";
    ASSERT_TRUE(WriteTaskPlanFile(path, task));
    EXPECT_EQ(ReadFile(path),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
              "<VeskDorodeTaskPlan>\r\n"
              "<Task Name=\"\" TaskId=\"x\" Desc=\"\" CreateTime=\"\" StartTime=\"\" EndTime=\"\""
              " TaskStatus=\"0\" TaskType=\"0\" MediaPlayType=\"1\" AutoStart=\"0\"/>\r\n"
              "</VeskDorodeTaskPlan>\r\n");
    TaskPlanTask back;
    ASSERT_TRUE(ReadTaskPlanFile(path, back));
    EXPECT_EQ(back, task);
}

TEST(TaskPlanFile, MissingAttributesReadAsEmptyOrZero) {
    TempDir dir;
    const std::string path = (dir / "tp").string();
    WriteFile(path,
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
              "<VeskDorodeTaskPlan><Task Name=\"n\" TaskType=\" 7x\">"
              "<MediaInfo Name=\"m\"><Profile Name=\"p\" PosLeft=\"0.25\"/><Other/></MediaInfo>"
              "</Task></VeskDorodeTaskPlan>");
    TaskPlanTask task;
    ASSERT_TRUE(ReadTaskPlanFile(path, task));
    EXPECT_EQ(task.Name, "n");
    EXPECT_EQ(task.TaskId, "");
    EXPECT_EQ(task.TaskType, 7);
    EXPECT_EQ(task.MediaPlayType, 0);
    ASSERT_EQ(task.Medias.size(), 1u);
    const TaskMediaEntry& m = task.Medias[0];
    EXPECT_EQ(m.RepeatCount, 0);
    EXPECT_EQ(m.Param, "");
    ASSERT_EQ(m.Profiles.size(), 1u);
    const TaskProfileEntry& p = m.Profiles[0];
    EXPECT_EQ(p.PosLeft, 0.25f);
    EXPECT_EQ(p.PosTop, 0.0f);
    EXPECT_EQ(p.PosRight, 0.0f);
    EXPECT_EQ(p.PosBottom, 0.0f);
    EXPECT_EQ(p.DelayTime, 0);
}

TEST(TaskPlanFile, FileReaderTakesFirstTaskTextReaderTakesAll) {
    TempDir dir;
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
        "<VeskDorodeTaskPlan>\r\n"
        "<Task Name=\"" + kTaskGbk + "\" TaskId=\"a\"><MediaInfo Name=\"m1\" RepeatCount=\"2\"/></Task>\r\n"
        "<Task Name=\"second\" TaskId=\"b\"/>\r\n"
        "</VeskDorodeTaskPlan>\r\n";
    const std::string path = (dir / "tp").string();
    WriteFile(path, text);
    TaskPlanTask first;
    ASSERT_TRUE(ReadTaskPlanFile(path, first));
    EXPECT_EQ(first.Name, kTaskUtf8);
    EXPECT_EQ(first.TaskId, "a");
    ASSERT_EQ(first.Medias.size(), 1u);
    EXPECT_EQ(first.Medias[0].RepeatCount, 2);

    std::vector<TaskPlanTask> tasks(1);  // appended to what is there
    ASSERT_TRUE(TaskPlanFromText(tasks, text));
    ASSERT_EQ(tasks.size(), 3u);
    EXPECT_EQ(tasks[1], first);
    EXPECT_EQ(tasks[2].Name, "second");
    EXPECT_EQ(tasks[2].TaskId, "b");
    EXPECT_TRUE(tasks[2].Medias.empty());
}

TEST(TaskPlanFile, BadFilesAndFilesWithoutTask) {
    TempDir dir;
    struct {
        const char* name;
        const char* text;  // null: no file
        bool result;
    } cases[] = {
        {"missing", nullptr, false},
        {"broken", "<VeskDorodeTaskPlan><Task Name=\"x\"></VeskDorodeTaskPlan>", false},
        {"two-roots", "<VeskDorodeTaskPlan/><VeskDorodeTaskPlan/>", false},
        {"empty", "", false},
        {"other-root", "<Other><Task Name=\"x\"/></Other>", true},
        {"no-task", "<VeskDorodeTaskPlan><Job Name=\"x\"/></VeskDorodeTaskPlan>", true},
    };
    for (const auto& c : cases) {
        const std::string path = (dir / c.name).string();
        if (c.text) WriteFile(path, c.text);
        TaskPlanTask task;
        task.Name = "untouched";
        EXPECT_EQ(ReadTaskPlanFile(path, task), c.result) << c.name;
        EXPECT_EQ(task.Name, "untouched") << c.name;
        EXPECT_TRUE(task.Medias.empty()) << c.name;
    }
}

TEST(TaskPlanFile, TextRoundTripUsesDeclaredEncodingAndLeavesNoTempFile) {
    const std::string temp = platform::PrivateTempFolder();
    const size_t before = FilesIn(temp);
    const TaskPlanTask task = SampleTask();
    std::string text;
    ASSERT_TRUE(TaskPlanToText(task, text));
    EXPECT_EQ(text, SampleGolden());
    std::vector<TaskPlanTask> tasks;
    ASSERT_TRUE(TaskPlanFromText(tasks, text));
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0], task);
    // Not well-formed text: false, nothing appended.
    EXPECT_FALSE(TaskPlanFromText(tasks, "<VeskDorodeTaskPlan><Task>"));
    EXPECT_EQ(tasks.size(), 1u);
    EXPECT_EQ(FilesIn(temp), before);
}

TEST(TaskPlanFile, TempFileNamesAreUniqueAndPrivate) {
    const std::string a = MakeTempFileName();
    const std::string b = MakeTempFileName();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(std::filesystem::path(a).parent_path(), std::filesystem::path(platform::PrivateTempFolder()));
    EXPECT_TRUE(std::filesystem::exists(a));
    const auto perms = std::filesystem::status(platform::PrivateTempFolder()).permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
    std::filesystem::remove(a);
    std::filesystem::remove(b);
}

// A list far past the counts is refused having read one entry past them,
// not after building every profile it names.
TEST(TaskPlanFile, ListsPastTheCountsAreReadOnlyToTheFirstExcess) {
    struct Case {
        const char* what;
        size_t tasks, medias, profiles;
    };
    const Case cases[] = {
        {"profiles", 1, 1, 200000},
        {"media entries", 1, 5000, 0},
        {"tasks", 3000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VeskDorodeTaskPlan>";
        for (size_t t = 0; t < c.tasks; ++t) {
            xml += "<Task TaskId=\"t\">";
            for (size_t m = 0; m < c.medias; ++m) {
                xml += "<MediaInfo>";
                for (size_t p = 0; p < c.profiles; ++p) xml += "<Profile/>";
                xml += "</MediaInfo>";
            }
            xml += "</Task>";
        }
        xml += "</VeskDorodeTaskPlan>";
        std::vector<TaskPlanTask> tasks;
        ASSERT_TRUE(TaskPlanFromText(tasks, xml));
        EXPECT_FALSE(TaskPlansAcceptable(tasks, nullptr));
        EXPECT_LE(tasks.size(), kMaxTaskPlans + 1);
        for (const TaskPlanTask& t : tasks) {
            EXPECT_LE(t.Medias.size(), kMaxTaskMediaEntries + 1);
            for (const TaskMediaEntry& m : t.Medias) EXPECT_LE(m.Profiles.size(), kMaxTaskProfiles + 1);
        }
    }
}
