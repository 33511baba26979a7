#include <fcntl.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/paths.h"
#include "platform/thread.h"
#include "util/Util.h"
#include "UtilInternal.h"
#include "util/LogPrune.h"

namespace util_detail {

std::string ProgramName() {
    static const std::string name = [] {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return std::string("program");
        buf[n] = '\0';
        const char* slash = strrchr(buf, '/');
        return std::string(slash ? slash + 1 : buf);
    }();
    return name;
}

std::string WritableFolder(const std::string& sub) {
    std::string base = platform::BaseFolder();
    if (base.empty()) base = platform::ProgramFolder();
    std::string dir = base + "/" + sub;
    if (platform::MakeDirs(dir) && access(dir.c_str(), W_OK | X_OK) == 0) return dir;
    dir = platform::PrivateTempFolder() + "/" + sub;
    platform::MakeDirs(dir);
    return dir;
}

}  // namespace util_detail

namespace LOGTEXT {

namespace {

struct FileState {
    std::mutex mu;
    std::string path;
    bool explicitPath = false;
    int day = 0;  // yyyymmdd of a default-path file
    int fd = -1;
    bool tried = false;
    timespec lastTry{};
};

struct SinkState {
    std::mutex mu;
    Sink sink = nullptr;
    void* user = nullptr;
};

// Never destroyed: detached threads may log while the process exits.
FileState& Files() {
    static FileState* s = new FileState;
    return *s;
}
SinkState& Sinks() {
    static SinkState* s = new SinkState;
    return *s;
}

thread_local bool t_inSink = false;

int DayOf(const tm& t) { return (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday; }

std::string DefaultPath(int day) {
    char name[32];
    snprintf(name, sizeof name, "_%08d.log", day);
    return util_detail::WritableFolder("log") + "/" + util_detail::ProgramName() + name;
}

int Today() {
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    return DayOf(t);
}

void CloseLocked(FileState& f) {
    if (f.fd >= 0) close(f.fd);
    f.fd = -1;
    f.tried = false;
}

void OpenLocked(FileState& f) {
    f.tried = true;
    clock_gettime(CLOCK_MONOTONIC, &f.lastTry);
    if (f.explicitPath) {
        std::string::size_type slash = f.path.rfind('/');
        if (slash != std::string::npos && slash > 0) platform::MakeDirs(f.path.substr(0, slash));
    }
    f.fd = open(f.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

void PruneDefaultFolder() { PruneOldLogs(util_detail::WritableFolder("log"), time(nullptr)); }

// Makes sure the file for a line stamped on `day` is open (a default file
// moves to the new date's name at midnight, when old files are pruned).
void EnsureOpenLocked(FileState& f, int day) {
    if (!f.explicitPath && (f.path.empty() || f.day != day)) {
        CloseLocked(f);
        const bool newDay = f.day != 0 && f.day != day;
        f.day = day;
        f.path = DefaultPath(day);
        if (newDay) PruneDefaultFolder();
    }
    if (f.fd >= 0) return;
    if (f.tried) {
        // A file that could not be opened is retried at most once a second.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - f.lastTry.tv_sec < 1) return;
    }
    OpenLocked(f);
}

void WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return;  // dropped: the caller is not told
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

void Emit(Level level, const char* fmt, va_list ap) {
    if (!fmt) return;
    const int savedErrno = errno;
    char small[1024];
    std::string big;
    const char* msg = small;
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) {
        errno = savedErrno;
        return;
    }
    if (static_cast<size_t>(n) >= sizeof small) {
        big.resize(static_cast<size_t>(n) + 1);
        vsnprintf(big.data(), big.size(), fmt, ap);
        big.resize(static_cast<size_t>(n));
        msg = big.c_str();
    }

    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    char head[96];
    int hn = snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d.%03d [%s] [%ld] ", t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ts.tv_nsec / 1000000),
                      LevelName(level), static_cast<long>(syscall(SYS_gettid)));
    std::string line;
    line.reserve(static_cast<size_t>(hn) + static_cast<size_t>(n) + 1);
    line.append(head, static_cast<size_t>(hn));
    line.append(msg, static_cast<size_t>(n));
    line.push_back('\n');

    {
        FileState& f = Files();
        std::lock_guard<std::mutex> lock(f.mu);
        EnsureOpenLocked(f, DayOf(t));
        // One write per line: with O_APPEND no other writer can split it.
        if (f.fd >= 0) WriteAll(f.fd, line.data(), line.size());
    }
    {
        SinkState& s = Sinks();
        // Held during the call so that removing a sink waits for calls in
        // flight; a sink that logs itself is not called again.
        std::lock_guard<std::mutex> lock(s.mu);
        if (s.sink && !t_inSink) {
            t_inSink = true;
            s.sink(level, msg, s.user);
            t_inSink = false;
        }
    }
    errno = savedErrno;
}

void ThreadLogText(const char* text) { LogError("%s", text ? text : ""); }

// Routes the thread layer's time-out texts into the log once the library is loaded.
struct InstallThreadSink {
    InstallThreadSink() { platform::SetThreadLogSink(&ThreadLogText); }
} g_installThreadSink;

}  // namespace

int PruneOldLogs(const std::string& folder, time_t now, int days) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    const time_t limit = now - static_cast<time_t>(days) * 86400;
    int removed = 0;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".log") != 0) continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (st.st_mtime < limit && unlink(path.c_str()) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

void Setpath(const char* path) {
    FileState& f = Files();
    std::lock_guard<std::mutex> lock(f.mu);
    CloseLocked(f);
    if (path && *path) {
        f.explicitPath = true;
        f.path = path;
    } else {
        f.explicitPath = false;
        f.day = Today();
        f.path = DefaultPath(f.day);
        PruneDefaultFolder();
    }
    OpenLocked(f);
}

std::string CurrentPath() {
    FileState& f = Files();
    std::lock_guard<std::mutex> lock(f.mu);
    if (!f.explicitPath) {
        const int day = Today();
        if (f.path.empty() || f.day != day) {
            CloseLocked(f);
            f.day = day;
            f.path = DefaultPath(day);
        }
    }
    return f.path;
}

const char* LevelName(Level level) {
    switch (level) {
        case Level::Info: return "INFO";
        case Level::Debug: return "DEBUG";
        case Level::Error: return "ERROR";
        case Level::Trace: return "TRACE";
    }
    return "INFO";
}

void SetSink(Sink sink, void* user) {
    SinkState& s = Sinks();
    std::lock_guard<std::mutex> lock(s.mu);
    s.sink = sink;
    s.user = user;
}

#define SV_LOG_FN(NAME, LEVEL)           \
    void NAME(const char* fmt, ...) {    \
        va_list ap;                      \
        va_start(ap, fmt);               \
        Emit(LEVEL, fmt, ap);            \
        va_end(ap);                      \
    }

SV_LOG_FN(LogInfo, Level::Info)
SV_LOG_FN(LogDebug, Level::Debug)
SV_LOG_FN(LogError, Level::Error)
SV_LOG_FN(LogTrace, Level::Trace)

#undef SV_LOG_FN

}  // namespace LOGTEXT
