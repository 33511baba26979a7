#include <gtest/gtest.h>

#include <QByteArray>
#include <climits>

#include "kestrane/startupoptions.h"
#include "support/support.h"

using kestrane::StartupPlan;
using kestrane::StartupSettings;

namespace {

struct PlanCase {
    const char* name;
    QStringList args;
    StartupSettings settings;
    StartupPlan::Action action;
    QString path;
    bool minimize;
    bool connect;
    bool play;
};

StartupSettings autoLoad(const QString& path, bool connect, bool play, bool minimize = false) {
    StartupSettings s;
    s.clientAutoLoadFile = true;
    s.clientAutoLoadFilePath = path;
    s.clientAutoConnect = connect;
    s.clientAutoConnectAndPlay = play;
    s.clientAutoMinimize = minimize;
    return s;
}

StartupSettings with(int showList, bool minimize = false) {
    StartupSettings s;
    s.showList = showList;
    s.clientAutoMinimize = minimize;
    return s;
}

TEST(StartupPlan, CommandLineAndSettingsChooseWhatOpens) {
    const QString prog = QStringLiteral("/usr/bin/kestrane");
    const QString show = QStringLiteral("/p/show.vadra");
    const PlanCase cases[] = {
        {"no argument: start panel", {prog}, with(0), StartupPlan::ShowStartPanel, {}, false, false, false},
        {"no argument, panel off", {prog}, with(1), StartupPlan::Nothing, {}, false, false, false},
        {"no argument never minimises", {prog}, with(0, true), StartupPlan::ShowStartPanel, {}, false, false, false},
        {"a path opens whatever showList says", {prog, show}, with(0), StartupPlan::OpenArgument, show, false, false, false},
        {"a path, panel off", {prog, show}, with(1), StartupPlan::OpenArgument, show, false, false, false},
        {"a path ignores auto-load", {prog, show}, autoLoad("/other.vadra", true, true), StartupPlan::OpenArgument, show, false, false, false},
        {"start without auto-load: nothing, not minimised", {prog, "start"}, with(0), StartupPlan::Nothing, {}, false, false, false},
        {"start without auto-load: minimised when set", {prog, "start"}, with(0, true), StartupPlan::Nothing, {}, true, false, false},
        {"start with an empty configured path", {prog, "start"}, autoLoad("", true, true), StartupPlan::Nothing, {}, false, false, false},
        {"start loads only", {prog, "start"}, autoLoad(show, false, true), StartupPlan::OpenConfigured, show, false, false, false},
        {"start loads and connects", {prog, "start"}, autoLoad(show, true, false), StartupPlan::OpenConfigured, show, false, true, false},
        {"start loads, connects and plays minimised", {prog, "start"}, autoLoad(show, true, true, true), StartupPlan::OpenConfigured, show, true, true, true},
        {"\"Start\" is a path", {prog, "Start"}, with(0), StartupPlan::OpenArgument, "Start", false, false, false},
        {"extra arguments are ignored", {prog, "start", show}, with(0, true), StartupPlan::Nothing, {}, true, false, false},
    };
    for (const PlanCase& c : cases) {
        const StartupPlan plan = kestrane::planStartup(c.args, c.settings);
        EXPECT_EQ(plan.action, c.action) << c.name;
        EXPECT_EQ(plan.path, c.path) << c.name;
        EXPECT_EQ(plan.minimize, c.minimize) << c.name;
        EXPECT_EQ(plan.connectWhenLoaded, c.connect) << c.name;
        EXPECT_EQ(plan.playWhenConnected, c.play) << c.name;
        EXPECT_EQ(plan.autoStart, c.args.size() >= 2 && c.args.at(1) == "start") << c.name;
    }
}

TEST(StartupPlan, EmptyArgumentListShowsThePanel) {
    EXPECT_EQ(kestrane::planStartup({}, with(0)).action, StartupPlan::ShowStartPanel);
}

TEST(AutoSaveInterval, IsMinutesInSecondsAndAtLeastAMinute) {
    const std::pair<int, int> cases[] = {
        {1, 60}, {5, 300}, {0, 60}, {-3, 60}, {INT_MIN, 60}, {INT_MAX, INT_MAX}, {INT_MAX / 60 + 1, INT_MAX},
    };
    for (const auto& [minutes, seconds] : cases)
        EXPECT_EQ(kestrane::autoSaveIntervalSeconds(minutes), seconds) << minutes;
}

TEST(ReadFileBytes, ReadsWholeFilesAndLeavesTheBufferOnFailure) {
    testsupport::TempDir dir;
    const std::string bytes("a\0b\xff\n", 5);
    testsupport::WriteFile(dir / "qss.css", bytes);
    QByteArray out("keep");
    ASSERT_TRUE(kestrane::readFileBytes(QString::fromStdString((dir / "qss.css").string()), out));
    EXPECT_EQ(out, QByteArray(bytes.data(), int(bytes.size())));

    out = "keep";
    EXPECT_FALSE(kestrane::readFileBytes(QString::fromStdString((dir / "missing.css").string()), out));
    EXPECT_EQ(out, QByteArray("keep"));
    testsupport::WriteFile(dir / "empty.css", "");
    EXPECT_TRUE(kestrane::readFileBytes(QString::fromStdString((dir / "empty.css").string()), out));
    EXPECT_TRUE(out.isEmpty());
}

}  // namespace
