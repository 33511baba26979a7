// What start-up needs of the output window: create it, run the render loop on
// the main thread until quit, and the request seam other threads post to.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "core/Seams.h"
#include "platform/event.h"

class IOutputHost {
public:
    virtual ~IOutputHost() = default;
    // The seam the core posts its requests through (installed before the
    // core is initialised).
    virtual IOutputWindow& Window() = 0;
    // The factory of the media sources that this output can show; null
    // leaves the core without media (installed with the window).
    virtual IMediaFactory* MediaFactory() { return nullptr; }
    // False when no output can be made; start-up then shuts down at once.
    virtual bool CreateOutputWindow() = 0;
    // Resets the server clock, initialises the core, starts the network
    // thread (StartNetworkListenThread) and loops until a quit request.
    // Returns the process exit code (non-zero when the output failed).
    virtual int RunRenderLoop() = 0;
};

// The output host until the GL window exists: no window; it drains the
// posted requests, sleeps 5 ms and calls the frame hook, until quit.
class StandInOutputHost final : public IOutputHost, public IOutputWindow {
public:
    StandInOutputHost();
    ~StandInOutputHost() override;

    IOutputWindow& Window() override { return *this; }
    bool CreateOutputWindow() override { return true; }
    int RunRenderLoop() override;

    // Called once per loop pass after the requests; empty by default.
    void SetFrameHook(std::function<void()> hook) { m_frameHook = std::move(hook); }
    // Requests handled so far, as short texts ("minimise", "rebuild", ...).
    std::vector<std::string> HandledRequests() const;

    void RequestRebuild() override { Post("rebuild"); }
    void RequestTopmost() override { Post("topmost"); }
    void RequestShowCursor(bool hide) override { Post(hide ? "cursor 1" : "cursor 0"); }
    void PostMediaEvent(IMedia*) override { Post("media"); }
    void RequestQuit() override;
    void RequestMinimise() override { Post("minimise"); }
    void RequestRestore() override { Post("restore"); }
    void Invalidate() override { Post("invalidate"); }
    bool SetSwapInterval(int) override { return false; }

private:
    void Post(const std::string& what);

    mutable std::mutex m_lock;
    std::deque<std::string> m_queue;
    std::vector<std::string> m_handled;
    platform::Event m_quit{true, false};
    std::function<void()> m_frameHook;
};
