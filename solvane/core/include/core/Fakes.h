// Recording fakes of the core's seams, for tests of the core and of the
// parts built on it.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/Seams.h"
#include "platform/event.h"

// Records every request as a short text: "rebuild", "topmost", "cursor 1",
// "media <handle>", "quit", "minimise", "restore", "invalidate", "swap 1".
class FakeOutputWindow : public IOutputWindow {
public:
    void RequestRebuild() override { Record("rebuild"); }
    void RequestTopmost() override { Record("topmost"); }
    void RequestShowCursor(bool hide) override { Record(hide ? "cursor 1" : "cursor 0"); }
    void PostMediaEvent(IMedia* media) override {
        Record("media " + std::to_string(media ? media->Common().handle : 0));
    }
    void RequestQuit() override {
        Record("quit");
        quit.Set();
    }
    void RequestMinimise() override { Record("minimise"); }
    void RequestRestore() override { Record("restore"); }
    void Invalidate() override { Record("invalidate"); }
    bool SetSwapInterval(int interval) override {
        Record("swap " + std::to_string(interval));
        return swapAvailable;
    }

    std::vector<std::string> Requests() const {
        std::lock_guard lock(mu);
        return requests;
    }
    size_t Count(const std::string& what) const {
        std::lock_guard lock(mu);
        size_t n = 0;
        for (const auto& r : requests) n += (r == what);
        return n;
    }

    bool swapAvailable = true;
    platform::Event quit{true, false};

private:
    void Record(const std::string& what) {
        std::lock_guard lock(mu);
        requests.push_back(what);
    }
    mutable std::mutex mu;
    std::vector<std::string> requests;
};

// A media source that records the operations called on it.
class FakeMedia : public IMedia {
public:
    std::vector<uint8_t> pictureData;  // the last picture given in memory
    explicit FakeMedia(int32_t type, std::vector<std::string>* journal = nullptr) : journal_(journal) {
        common_.type = type;
    }
    ~FakeMedia() override { Note("destroy " + common_.name); }

    bool LoadResource(const std::string& path, int32_t index, int32_t reservedArg, int32_t stereo) override {
        Note("load " + path + " " + std::to_string(index) + " " + std::to_string(reservedArg) + " " +
             std::to_string(stereo));
        if (!loadSucceeds) return false;
        common_.name = path;
        common_.layer = index;
        common_.stereoFormat = stereo;
        common_.state = kMediaPlaying;
        reserved = reservedArg;
        if (common_.type == kMediaFileVideo) graphState = 2;
        return true;
    }
    // Records the size of the picture; keeps the bytes for a look.
    bool LoadFromPictureData(const uint8_t* data, size_t size) override {
        Note("picture " + std::to_string(size));
        if (!loadSucceeds) return false;
        pictureData.assign(data, data + size);
        common_.state = kMediaPlaying;
        return true;
    }
    bool Close() override {
        Note("close");
        common_.state = kMediaNotLoaded;
        graphState = 0;
        return true;
    }
    bool SetTexRect(float l, float r, float b, float t) override {
        common_.texRect = {l, t, r, b};
        return true;
    }
    bool GetTexRect(float& l, float& r, float& b, float& t) override {
        l = common_.texRect.left;
        r = common_.texRect.right;
        b = common_.texRect.bottom;
        t = common_.texRect.top;
        return true;
    }
    bool FitAspect(float, float, float, float) override { return true; }
    void Play() override {
        Note("play");
        common_.state = kMediaPlaying;
    }
    void Stop() override {
        Note("stop");
        common_.state = kMediaStopped;
    }
    void Pause() override {
        Note("pause");
        common_.state = kMediaPaused;
    }
    bool SetViewRect(float a, float b, float c, float d) override {
        common_.viewRect[0] = a;
        common_.viewRect[1] = b;
        common_.viewRect[2] = d;
        common_.viewRect[3] = c;
        return true;
    }
    bool GetViewRect(float& a, float& b, float& c, float& d) override {
        a = common_.viewRect[0];
        b = common_.viewRect[1];
        d = common_.viewRect[2];
        c = common_.viewRect[3];
        return true;
    }
    bool ClockTimeMs(uint32_t& ms) override {
        if (!hasClock) return false;
        ms = clockMs;
        return true;
    }
    void SetNotifyWindow(IOutputWindow* window) override {
        notifyWindow = window;
        Note("notify");
    }

    // Playback control: "seek <100ns>", "setpos <s>", "rate <r>",
    // "volume <v>", "synctime <ms>" (numbers with three decimals where real).
    bool SeekTo(int64_t pos) override {
        Note("seek " + std::to_string(pos));
        seekPosition = pos;
        position = static_cast<double>(pos) / 1e7;
        return true;
    }
    void SetPosition(double seconds) override {
        Note("setpos " + Real(seconds));
        position = seconds;
    }
    double GetPosition() override { return position; }
    double GetDuration() override { return duration; }
    bool GetSeekPosition(int64_t& pos) override {
        if (common_.state < 1) return false;
        pos = seekPosition;
        return true;
    }
    bool SetPlayRate(double r) override {
        Note("rate " + Real(r));
        rate = r;
        return true;
    }
    // Kept in 0..100 like a video file does.
    void SetVolume(int32_t v) override {
        Note("volume " + std::to_string(v));
        volume = v < 0 ? 0 : v > 100 ? 100 : v;
    }
    int32_t GetVolume() override { return volume; }
    uint32_t GetSyncTime() override { return syncTime; }
    void SetSyncTime(uint32_t ms) override {
        Note("synctime " + std::to_string(ms));
        syncTime = ms;
    }
    int32_t GraphState() const override { return graphState; }
    int32_t LoadReserved() const override { return reserved; }
    void FrameShape(int32_t& w, int32_t& h, float& aspect) override {
        w = width;
        h = height;
        aspect = height ? static_cast<float>(width) / static_cast<float>(height) : 0.0f;
    }

    // What was called on this object alone, in the journal's wording.
    std::vector<std::string> Calls() const {
        std::lock_guard lock(JournalLock());
        return calls_;
    }

    bool loadSucceeds = true;
    bool hasClock = false;
    uint32_t clockMs = 0;
    IOutputWindow* notifyWindow = nullptr;
    std::atomic<double> position{0.0};
    double duration = 0.0;
    int64_t seekPosition = 0;
    double rate = 1.0;
    int32_t volume = 100;
    uint32_t syncTime = 0;
    std::atomic<int32_t> graphState{0};   // 2 after a load of a video file, 0 after Close
    int32_t reserved = 0;
    int32_t width = 0;
    int32_t height = 0;

    // Guards every journal: commands may drive several fakes from worker threads.
    static std::mutex& JournalLock() {
        static std::mutex mu;
        return mu;
    }

private:
    static std::string Real(double v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.3f", v);
        return buf;
    }
    void Note(const std::string& what) {
        std::lock_guard lock(JournalLock());
        calls_.push_back(what);
        if (journal_) journal_->push_back(what);
    }
    std::vector<std::string>* journal_;
    std::vector<std::string> calls_;
};

// Makes FakeMedia objects; counts what it made. A test may veto loads.
class FakeMediaFactory : public IMediaFactory {
public:
    std::unique_ptr<IMedia> CreateMedia(int32_t type) override {
        ++created;
        auto media = std::make_unique<FakeMedia>(type, &journal);
        media->loadSucceeds = loadSucceeds;
        return media;
    }
    std::atomic<int> created{0};
    bool loadSucceeds = true;
    std::vector<std::string> journal;
};

class FakeDisplayList : public IDisplayList {
public:
    void EnumDisplays(std::vector<MY_MONITORINFO>& out) override {
        out.insert(out.end(), monitors.begin(), monitors.end());
    }
    bool GetDisplayRectByNumber(int32_t number, RECT& rect, int32_t& primary) override {
        for (const auto& m : monitors) {
            if (m.number == number) {
                rect = m.monitor;
                primary = m.primary;
                return true;
            }
        }
        return false;
    }
    bool SetDisplayResolution(int32_t width, int32_t height, const std::string& device) override {
        calls.push_back("resolution " + std::to_string(width) + "x" + std::to_string(height) + " " + device);
        return true;
    }
    bool RotateDisplay(int32_t direction, const std::string& device) override {
        calls.push_back("rotate " + std::to_string(direction) + " " + device);
        return true;
    }
    bool SetDisplayOrientation(const std::string& device, int32_t degrees) override {
        calls.push_back("orientation " + device + " " + std::to_string(degrees));
        return true;
    }
    int32_t IdentifyDisplays() override {
        calls.push_back("identify");
        return 0;
    }
    void VirtualScreenSize(int32_t& width, int32_t& height) override {
        int32_t l = 0, t = 0, r = 0, b = 0;
        for (const auto& m : monitors) {
            l = std::min(l, m.monitor.left);
            t = std::min(t, m.monitor.top);
            r = std::max(r, m.monitor.right);
            b = std::max(b, m.monitor.bottom);
        }
        width = r - l;
        height = b - t;
    }

    // Adds a monitor numbered after the ones already there.
    void AddMonitor(int32_t left, int32_t top, int32_t width, int32_t height, bool primary) {
        MY_MONITORINFO m;
        m.number = static_cast<int32_t>(monitors.size()) + 1;
        m.deviceName = "\\\\.\\DISPLAY" + std::to_string(m.number);
        m.primary = primary ? 1 : 0;
        m.monitor = {left, top, left + width, top + height};
        m.work = m.monitor;
        m.bitsPerPixel = 32;
        m.refreshRate = 60;
        m.modes.push_back({width, height});
        monitors.push_back(m);
    }

    std::vector<MY_MONITORINFO> monitors;
    std::vector<std::string> calls;
};

// System services that touch nothing; the restart helper is recorded, never run.
class FakeSystemServices : public ISystemServices {
public:
    uint32_t IdleTimeMs() override { return idleMs; }
    void KeepAwake() override { ++keepAwakeCalls; }
    bool IsAutoStart() override { return autoStart; }
    bool SetAutoStart(bool enable) override {
        autoStart = enable;
        return true;
    }
    bool RunRestartHelper(const std::vector<std::string>& argv) override {
        {
            std::lock_guard lock(mu);
            restarts.push_back(argv);
        }
        restarted.Set();
        return true;
    }
    ProcessIdentity CurrentProcess() override { return self; }
    int32_t IsNetworkAlive(uint32_t* flags) override {
        if (flags) *flags = networkAlive ? 1u : 0u;
        return networkAlive ? 1 : 0;
    }
    std::string HostName() override { return hostName; }
    std::string HostFirstIPv4() override { return hostIp; }

    size_t RestartCount() const {
        std::lock_guard lock(mu);
        return restarts.size();
    }
    std::vector<std::vector<std::string>> Restarts() const {
        std::lock_guard lock(mu);
        return restarts;
    }

    std::atomic<uint32_t> idleMs{0};
    std::atomic<int> keepAwakeCalls{0};
    bool autoStart = false;
    bool networkAlive = true;
    std::string hostName = "wallpc";
    std::string hostIp = "192.168.10.20";
    ProcessIdentity self{4242, "/opt/solvane/solvane", {"--base-dir", "/srv/wall one"}};
    platform::Event restarted{true, false};

private:
    mutable std::mutex mu;
    std::vector<std::vector<std::string>> restarts;
};

// Central control that records its calls; Start answers with startResult.
class FakeCentralControl : public ICentralControl {
public:
    SerialPortSettings Settings() override { return settings; }
    void SetSettings(const SerialPortSettings& s) override {
        settings = s;
        calls.push_back("set");
    }
    int32_t Start() override {
        calls.push_back("start");
        return startResult;
    }
    void SaveSettings() override { calls.push_back("save"); }

    SerialPortSettings settings;
    int32_t startResult = 0;
    std::vector<std::string> calls;
};
