#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "UtilInternal.h"
#include "platform/paths.h"
#include "util/Util.h"

namespace {

// Everything the handler needs is prepared at install time: it may only call
// async-signal-safe functions.
char g_prefix[4096];  // "<folder>/<program>_"
long g_utcOffsetSec = 0;
std::mutex g_configMu;
std::string g_folder;  // set by SetCrashDumpFolder

const int kSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE};

size_t Append(char* buf, size_t pos, size_t cap, const char* s) {
    while (*s && pos + 1 < cap) buf[pos++] = *s++;
    buf[pos] = '\0';
    return pos;
}

size_t AppendUnsigned(char* buf, size_t pos, size_t cap, unsigned long long v, int minDigits = 1) {
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v && n < 24);
    while (n < minDigits && n < 24) tmp[n++] = '0';
    while (n > 0 && pos + 1 < cap) buf[pos++] = tmp[--n];
    buf[pos] = '\0';
    return pos;
}

size_t AppendHex(char* buf, size_t pos, size_t cap, uintptr_t v) {
    pos = Append(buf, pos, cap, "0x");
    char tmp[2 * sizeof(uintptr_t)];
    int n = 0;
    do {
        tmp[n++] = "0123456789abcdef"[v & 15];
        v >>= 4;
    } while (v);
    while (n > 0 && pos + 1 < cap) buf[pos++] = tmp[--n];
    buf[pos] = '\0';
    return pos;
}

// Calendar date of a day count since 1970-01-01 (pure arithmetic, no locks).
void CivilFromDays(long long z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV: return "SIGSEGV";
        case SIGABRT: return "SIGABRT";
        case SIGBUS: return "SIGBUS";
        case SIGFPE: return "SIGFPE";
    }
    return "signal";
}

void WriteText(int fd, const char* s, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, s, n);
        if (w <= 0) return;
        s += w;
        n -= static_cast<size_t>(w);
    }
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
    const int savedErrno = errno;
    char path[sizeof g_prefix + 64];
    size_t pos = Append(path, 0, sizeof path, g_prefix);
    const long long local = static_cast<long long>(time(nullptr)) + g_utcOffsetSec;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int y;
    unsigned mo, d;
    CivilFromDays(days, y, mo, d);
    pos = AppendUnsigned(path, pos, sizeof path, static_cast<unsigned>(y), 4);
    pos = AppendUnsigned(path, pos, sizeof path, mo, 2);
    pos = AppendUnsigned(path, pos, sizeof path, d, 2);
    pos = AppendUnsigned(path, pos, sizeof path, static_cast<unsigned long long>(secs / 3600), 2);
    pos = AppendUnsigned(path, pos, sizeof path, static_cast<unsigned long long>(secs / 60 % 60), 2);
    pos = AppendUnsigned(path, pos, sizeof path, static_cast<unsigned long long>(secs % 60), 2);
    pos = Append(path, pos, sizeof path, "_");
    pos = AppendUnsigned(path, pos, sizeof path, static_cast<unsigned long long>(getpid()));
    Append(path, pos, sizeof path, ".txt");

    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        char head[256];
        size_t n = Append(head, 0, sizeof head, "Fatal signal ");
        n = AppendUnsigned(head, n, sizeof head, static_cast<unsigned>(sig));
        n = Append(head, n, sizeof head, " (");
        n = Append(head, n, sizeof head, SignalName(sig));
        n = Append(head, n, sizeof head, ")");
        if (info && info->si_code > 0) {  // a real fault, not a raise(): the address means something
            n = Append(head, n, sizeof head, " address ");
            n = AppendHex(head, n, sizeof head, reinterpret_cast<uintptr_t>(info->si_addr));
        }
        n = Append(head, n, sizeof head, " pid ");
        n = AppendUnsigned(head, n, sizeof head, static_cast<unsigned long long>(getpid()));
        n = Append(head, n, sizeof head, "\nBacktrace:\n");
        WriteText(fd, head, n);
        void* frames[128];
        const int count = backtrace(frames, 128);
        backtrace_symbols_fd(frames, count, fd);
        close(fd);
    }

    // The handler is back to the default (SA_RESETHAND): let the signal end
    // the process as it would have without us.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    errno = savedErrno;
    raise(sig);
}

// Static, so that it lives as long as the process without a heap block.
alignas(64) char g_altStack[256 * 1024];

void InstallAltStack() {
    // The stack of the installing thread: a stack overflow there still leaves
    // room for the handler.
    static bool done = false;
    if (done) return;
    long want = sysconf(_SC_SIGSTKSZ);
    size_t size = want > 0 ? static_cast<size_t>(want) : 0;
    if (size < 65536) size = 65536;
    if (size > sizeof g_altStack) return;
    void* mem = g_altStack;
    stack_t ss{};
    ss.ss_sp = mem;
    ss.ss_size = size;
    ss.ss_flags = 0;
    if (sigaltstack(&ss, nullptr) == 0) {
        done = true;
    }
}

}  // namespace

void SetCrashDumpFolder(const char* folder) {
    std::lock_guard<std::mutex> lock(g_configMu);
    g_folder = folder ? folder : "";
}

void BuildCrashDumpFile() {
    std::lock_guard<std::mutex> lock(g_configMu);
    std::string dir;
    if (!g_folder.empty()) {
        dir = g_folder;
        platform::MakeDirs(dir);
    } else {
        dir = util_detail::WritableFolder("crash");
    }
    const std::string prefix = dir + "/" + util_detail::ProgramName() + "_";
    if (prefix.size() >= sizeof g_prefix) return;  // no room for a file name: leave faults alone
    memcpy(g_prefix, prefix.c_str(), prefix.size() + 1);

    time_t now = time(nullptr);
    tm t{};
    if (localtime_r(&now, &t)) g_utcOffsetSec = t.tm_gmtoff;

    // The first backtrace loads the unwinder, which allocates: do it here, not in the handler.
    void* warm[2];
    backtrace(warm, 2);

    InstallAltStack();
    struct sigaction sa {};
    sa.sa_sigaction = &OnFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals) sigaction(sig, &sa, nullptr);
}
