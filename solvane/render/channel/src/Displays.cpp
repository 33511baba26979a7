#include "channel/Displays.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>

namespace {

std::atomic<DisplayBackend*> g_backend{nullptr};
std::mutex g_presenterMutex;
IdentifyPresenter g_presenter;

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Union(const RECT& a, const RECT& b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

// Index into the backend's outputs of an attached display, or -1.
int FindOutput(const std::vector<DisplayOutput>& outs, const std::string& deviceName) {
    if (deviceName.empty()) {
        for (size_t i = 0; i < outs.size(); ++i)
            if (outs[i].attached && outs[i].primary) return static_cast<int>(i);
        return -1;
    }
    const int n = DisplayNumberFromName(deviceName);
    if (n < 1 || static_cast<size_t>(n) > outs.size() || !outs[n - 1].attached) return -1;
    return n - 1;
}

}  // namespace

void SetDisplayBackend(DisplayBackend* backend) { g_backend.store(backend); }
DisplayBackend* GetDisplayBackend() { return g_backend.load(); }

void SetIdentifyPresenter(IdentifyPresenter presenter) {
    std::lock_guard<std::mutex> lock(g_presenterMutex);
    g_presenter = std::move(presenter);
}

int DisplayNumberFromName(const std::string& deviceName) {
    std::string s = deviceName;
    for (char& ch : s)
        if (ch == '/') ch = '\\';
    static const std::string kPrefix = "\\\\.\\DISPLAY";
    if (s.size() <= kPrefix.size()) return 0;
    for (size_t i = 0; i < kPrefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != kPrefix[i]) return 0;
    int n = 0;
    for (size_t i = kPrefix.size(); i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return 0;
        n = n * 10 + (s[i] - '0');
        if (n > 1000000) return 0;
    }
    return n;
}

std::string DisplayNameFromNumber(int number) { return "\\\\.\\DISPLAY" + std::to_string(number); }

void EnumDisplays(std::vector<MY_MONITORINFO>& out) {
    DisplayBackend* backend = GetDisplayBackend();
    if (!backend) return;
    const std::vector<DisplayOutput> outs = backend->Outputs();
    for (size_t i = 0; i < outs.size(); ++i) {
        const DisplayOutput& o = outs[i];
        if (!o.attached) continue;
        MY_MONITORINFO m;
        m.number = static_cast<int32_t>(i + 1);
        m.deviceName = DisplayNameFromNumber(m.number);
        m.primary = o.primary ? 1 : 0;
        m.monitor = o.rect;
        m.work = o.work;
        m.bitsPerPixel = o.bitsPerPixel;
        m.refreshRate = o.refreshRate;
        m.orientation = o.orientation;
        for (const SIZE& s : o.modes) {
            const bool seen = std::any_of(m.modes.begin(), m.modes.end(),
                                          [&](const SIZE& t) { return t.cx == s.cx && t.cy == s.cy; });
            if (!seen) m.modes.push_back(s);
        }
        out.push_back(std::move(m));
    }
}

bool GetDisplayRectByNumber(int number, RECT& rect, int32_t& primary) {
    DisplayBackend* backend = GetDisplayBackend();
    if (!backend || number < 1) return false;
    const std::vector<DisplayOutput> outs = backend->Outputs();
    if (static_cast<size_t>(number) > outs.size()) return false;
    const DisplayOutput& o = outs[number - 1];
    if (!o.attached) return false;
    rect = o.rect;
    primary = o.primary ? 1 : 0;
    return true;
}

bool SetDisplayResolution(int32_t width, int32_t height, const std::string& deviceName) {
    DisplayBackend* backend = GetDisplayBackend();
    if (!backend || width <= 0 || height <= 0) return false;
    const std::vector<DisplayOutput> outs = backend->Outputs();
    const int idx = FindOutput(outs, deviceName);
    if (idx < 0) return false;
    return backend->SetMode(static_cast<size_t>(idx), width, height, outs[idx].orientation);
}

bool SetDisplayOrientation(const std::string& deviceName, int degrees) {
    DisplayBackend* backend = GetDisplayBackend();
    if (!backend) return false;
    const std::vector<DisplayOutput> outs = backend->Outputs();
    const int idx = FindOutput(outs, deviceName);
    if (idx < 0) return false;
    const DisplayOutput& o = outs[idx];
    int32_t width = o.rect.right - o.rect.left;
    int32_t height = o.rect.bottom - o.rect.top;
    const int32_t orientation = degrees == 90 ? 1 : degrees == 180 ? 2 : degrees == 270 ? 3 : 0;
    // The size is the rotated one: it turns over only when the display goes
    // between landscape and portrait (from 90 to 180 it must not).
    if ((orientation & 1) != (o.orientation & 1)) std::swap(width, height);
    if (backend->SetMode(static_cast<size_t>(idx), width, height, orientation)) return true;
    LOGTEXT::LogError("rotate display %s to %d degrees failed.", deviceName.c_str(), degrees);
    return false;
}

bool RotateDisplay(int direction, const std::string& deviceName) {
    DisplayBackend* backend = GetDisplayBackend();
    if (!backend) return false;
    const std::vector<DisplayOutput> outs = backend->Outputs();
    const int idx = FindOutput(outs, deviceName);
    if (idx < 0) return false;
    static constexpr int kUp[4] = {90, 180, 270, 0};
    static constexpr int kDown[4] = {270, 0, 90, 180};
    const int cur = std::clamp<int32_t>(outs[idx].orientation, 0, 3);
    return SetDisplayOrientation(deviceName, direction > 0 ? kUp[cur] : kDown[cur]);
}

int IdentifyDisplays() {
    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    IdentifyPresenter presenter;
    {
        std::lock_guard<std::mutex> lock(g_presenterMutex);
        presenter = g_presenter;
    }
    if (presenter)
        presenter(list);
    else
        LOGTEXT::LogInfo("identify displays: no window to show the numbers in.");
    return 0;
}

RECT VirtualScreenRect() {
    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    RECT r{};
    for (const MY_MONITORINFO& m : list) r = Union(r, m.monitor);
    return r;
}

bool FakeDisplayBackend::SetMode(size_t index, int32_t width, int32_t height, int32_t orientation) {
    calls.push_back(Call{index, width, height, orientation});
    if (refuse || index >= outputs.size()) return false;
    DisplayOutput& o = outputs[index];
    o.rect.right = o.rect.left + width;
    o.rect.bottom = o.rect.top + height;
    o.orientation = orientation;
    return true;
}

void FakeDisplayBackend::Add(int32_t x, int32_t y, int32_t width, int32_t height, bool primary) {
    DisplayOutput o;
    o.name = "FAKE-" + std::to_string(outputs.size() + 1);
    o.attached = true;
    o.primary = primary;
    o.rect = RECT{x, y, x + width, y + height};
    o.work = o.rect;
    o.bitsPerPixel = 32;
    o.refreshRate = 60;
    o.modes = {SIZE{width, height}};
    outputs.push_back(o);
}
