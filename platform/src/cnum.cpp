#include "platform/cnum.h"

#include <locale.h>
#include <stdlib.h>

#include <climits>
#include <cstdarg>
#include <cstdio>

namespace platform {
namespace {

locale_t CLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// Switches this thread to the C locale for its lifetime; other threads and
// the process locale are untouched.
class ScopedCLocale {
public:
    ScopedCLocale() : old_(uselocale(CLocale())) {}
    ~ScopedCLocale() { uselocale(old_); }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    locale_t old_;
};

}  // namespace

std::string FormatC(const char* fmt, ...) {
    if (!fmt) return {};
    ScopedCLocale c;
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    va_start(ap, fmt);
    vsnprintf(out.data(), out.size(), fmt, ap);
    va_end(ap);
    out.resize(static_cast<size_t>(n));
    return out;
}

double AtofC(const char* text) { return StrtodC(text, nullptr); }

int32_t AtoiC(const char* text) {
    if (!text) return 0;
    // Like atoi, without its undefined overflow: out-of-range values saturate.
    long long v = strtoll_l(text, nullptr, 10, CLocale());
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

double StrtodC(const char* text, char** end) {
    if (!text) {
        if (end) *end = nullptr;
        return 0.0;
    }
    return strtod_l(text, end, CLocale());
}

}  // namespace platform
