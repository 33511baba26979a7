// Captures log lines for tests that check log texts.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "util/Util.h"

namespace util {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    struct Line {
        LOGTEXT::Level level;
        std::string text;
    };
    std::vector<Line> Lines() const;
    // Whether some captured line contains fragment (at the given level, when given).
    bool Contains(const std::string& fragment) const;
    bool Contains(LOGTEXT::Level level, const std::string& fragment) const;
    size_t Count(const std::string& fragment) const;
    void Clear();

private:
    static void OnLine(LOGTEXT::Level level, const char* message, void* user);
    mutable std::mutex mu_;
    std::vector<Line> lines_;
};

}  // namespace util
