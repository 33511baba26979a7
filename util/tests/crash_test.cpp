#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/support.h"
#include "util/Util.h"

namespace {

enum class Fault { RaiseSegv, BadWrite, Abort, RaiseFpe, RaiseBus };

[[noreturn]] void Crash(Fault f) {
    switch (f) {
        case Fault::RaiseSegv: raise(SIGSEGV); break;
        case Fault::BadWrite: {
            // A page without access rights: a real fault that no sanitizer check intercepts.
            void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (page != MAP_FAILED) *static_cast<volatile int*>(page) = 1;
            break;
        }
        case Fault::Abort: abort();
        case Fault::RaiseFpe: raise(SIGFPE); break;
        case Fault::RaiseBus: raise(SIGBUS); break;
    }
    _exit(99);  // the handler did not let the signal end the process
}

// Waits for the child with a deadline; kills it when it hangs.
int WaitChild(pid_t pid) {
    int status = 0;
    const bool ended = testsupport::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; },
                                              std::chrono::seconds(20));
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "child hung";
    }
    return status;
}

}  // namespace

TEST(CrashDumpTest, FaultWritesBacktraceFileAndEndsProcess) {
    struct Case {
        const char* name;
        Fault fault;
        int sig;
    };
    const Case cases[] = {
        {"raise SIGSEGV", Fault::RaiseSegv, SIGSEGV},
        {"write to protected page", Fault::BadWrite, SIGSEGV},
        {"abort", Fault::Abort, SIGABRT},
        {"raise SIGFPE", Fault::RaiseFpe, SIGFPE},
        {"raise SIGBUS", Fault::RaiseBus, SIGBUS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const std::string folder = (dir / "crash").string();
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SetCrashDumpFolder(folder.c_str());
            BuildCrashDumpFile();
            Crash(c.fault);
        }
        const int status = WaitChild(pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), c.sig);

        const std::string suffix = "_" + std::to_string(pid) + ".txt";
        std::string found;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("util_unit_tests_", 0) == 0 && name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                found = e.path().string();
            }
        }
        ASSERT_FALSE(found.empty()) << "no crash file in " << folder;
        // util_unit_tests_<YYYYMMDDhhmmss>_<pid>.txt
        const std::string stamp = std::filesystem::path(found).filename().string().substr(16, 14);
        EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << stamp;
        const std::string text = testsupport::ReadFile(found);
        EXPECT_NE(text.find("Fatal signal " + std::to_string(c.sig)), std::string::npos) << text;
        const auto bt = text.find("Backtrace:\n");
        ASSERT_NE(bt, std::string::npos) << text;
        EXPECT_NE(text.find("[0x", bt), std::string::npos) << "no frames: " << text;
    }
}
