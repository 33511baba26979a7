// The console's log levels and line format, as the program sets them up.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDebug>
#include <QString>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "kestrane/logging.h"

namespace {

enum Bit {
    kOwnDebug = 1,
    kOwnWarning = 2,
    kPlainDebug = 4,
    kPlainInfo = 8,
    kPlainWarning = 16,
    kPathInLine = 32,
};

// The levels a console started with the given QT_LOGGING_RULES (null: unset)
// would print, found in a child process: the rules are read once per process.
int LevelsUnder(const char* rules) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (rules)
            setenv("QT_LOGGING_RULES", rules, 1);
        else
            unsetenv("QT_LOGGING_RULES");
        int argc = 1;
        char name[] = "kestrane";
        char* argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        kestrane::installLogging();
        const QLoggingCategory& plain = *QLoggingCategory::defaultCategory();
        int bits = 0;
        if (lcKestrane().isDebugEnabled()) bits |= kOwnDebug;
        if (lcKestrane().isWarningEnabled()) bits |= kOwnWarning;
        if (plain.isDebugEnabled()) bits |= kPlainDebug;
        if (plain.isInfoEnabled()) bits |= kPlainInfo;
        if (plain.isWarningEnabled()) bits |= kPlainWarning;
        const QMessageLogContext where("/home/builder/src/kestrane/model/src/preview.cpp", 41, "f", "kestrane");
        if (qFormatLogMessage(QtWarningMsg, where, QStringLiteral("preview time 40")).contains(QLatin1Char('/')))
            bits |= kPathInLine;
        _exit(bits);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(ConsoleLogging, WarningsAndErrorsOnlyUntilTheOneSwitchTurnsTheRestOn) {
    struct Case {
        const char* rules;
        int levels;
    } cases[] = {
        {nullptr, kOwnWarning | kPlainWarning},
        {"", kOwnWarning | kPlainWarning},
        {"kestrane.debug=true", kOwnDebug | kOwnWarning | kPlainDebug | kPlainInfo | kPlainWarning},
        {"kestrane.debug=false", kOwnWarning | kPlainWarning},
        {"qt.core.*=true", kOwnWarning | kPlainWarning},
    };
    for (const Case& c : cases) EXPECT_EQ(LevelsUnder(c.rules), c.levels) << (c.rules ? c.rules : "(unset)");
}

TEST(ConsoleLogging, AQuietLineStillDoesWhatItsOperandsDo) {
    // Lines such as `KLOG << ip << "PlayMedia" << s.PlayMedia();` send the
    // command whether the line is printed or not.
    ASSERT_FALSE(lcKestrane().isDebugEnabled());
    int sent = 0;
    KESTRANE_DEBUG_HERE << "PlayMedia" << ++sent;
    KESTRANE_DEBUG_HERE << "PauseMedia" << ++sent;
    EXPECT_EQ(sent, 2);
}

TEST(ConsoleLogging, LinesNameTheSourceFileWithoutItsFolders) {
    struct Case {
        const char* path;
        const char* name;
    } cases[] = {
        {"/home/builder/src/kestrane/model/src/preview.cpp", "preview.cpp"},
        {"kestrane/stage/src/scene.cpp", "scene.cpp"},
        {"C:\\src\\coordination.cpp", "coordination.cpp"},
        {"plain.cpp", "plain.cpp"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(kestrane::sourceName(c.path), c.name) << c.path;
}

}  // namespace
