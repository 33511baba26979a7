#include "util/LogCapture.h"

namespace util {

LogCapture::LogCapture() { LOGTEXT::SetSink(&LogCapture::OnLine, this); }

LogCapture::~LogCapture() { LOGTEXT::SetSink(nullptr, nullptr); }

void LogCapture::OnLine(LOGTEXT::Level level, const char* message, void* user) {
    auto* self = static_cast<LogCapture*>(user);
    std::lock_guard<std::mutex> lock(self->mu_);
    self->lines_.push_back(Line{level, message ? message : ""});
}

std::vector<LogCapture::Line> LogCapture::Lines() const {
    std::lock_guard<std::mutex> lock(mu_);
    return lines_;
}

bool LogCapture::Contains(const std::string& fragment) const { return Count(fragment) > 0; }

bool LogCapture::Contains(LOGTEXT::Level level, const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(mu_);
    for (const Line& l : lines_) {
        if (l.level == level && l.text.find(fragment) != std::string::npos) return true;
    }
    return false;
}

size_t LogCapture::Count(const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(mu_);
    size_t n = 0;
    for (const Line& l : lines_) {
        if (l.text.find(fragment) != std::string::npos) ++n;
    }
    return n;
}

void LogCapture::Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.clear();
}

}  // namespace util
