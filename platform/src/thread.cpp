#include "platform/thread.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

namespace platform {

namespace {

void StderrSink(const char* text) { std::fprintf(stderr, "%s\n", text ? text : ""); }

std::atomic<void (*)(const char*)> g_logSink{&StderrSink};

void LogThreadText(const char* text) {
    auto sink = g_logSink.load();
    (sink ? sink : &StderrSink)(text);
}

}  // namespace

void SetThreadLogSink(void (*sink)(const char* text)) { g_logSink.store(sink ? sink : &StderrSink); }

// State of one run of a body. A detached body keeps it alive after the owner
// has moved on to a fresh run.
struct RunState {
    Event stop{true, false};
    Event done{true, true};
    std::atomic<bool> running{false};
};

struct StoppableThread::Impl {
    std::mutex mu;     // serialises Start/Join of the owner
    std::mutex runMu;  // guards the run pointer only; never held while waiting
    std::shared_ptr<RunState> run = std::make_shared<RunState>();

    std::shared_ptr<RunState> Run() {
        std::lock_guard<std::mutex> lock(runMu);
        return run;
    }
    std::thread thread;
    bool view = false;  // the handle given to the body: owns no thread
};

StoppableThread::StoppableThread() : impl_(std::make_shared<Impl>()) {}

StoppableThread::StoppableThread(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

StoppableThread::~StoppableThread() {
    if (!impl_ || impl_->view) return;
    Stop(kInfinite);
}

bool StoppableThread::Start(Body body, const std::string& name) {
    if (impl_->view) return false;
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (impl_->thread.joinable()) {
        if (impl_->Run()->running.load()) return false;
        impl_->thread.join();  // ended on its own; collect it
    }
    std::shared_ptr<RunState> run = impl_->Run();
    run->stop.Reset();
    run->done.Reset();
    run->running.store(true);

    auto viewImpl = std::make_shared<Impl>();
    viewImpl->run = run;
    viewImpl->view = true;
    std::string threadName = name.substr(0, 15);  // the kernel keeps 15 bytes
    try {
        impl_->thread = std::thread([run, viewImpl, threadName, body = std::move(body)]() mutable {
            if (!threadName.empty()) pthread_setname_np(pthread_self(), threadName.c_str());
            {
                StoppableThread self(viewImpl);
                if (body) body(self);
            }
            body = nullptr;  // release what the body captured before reporting the end
            run->running.store(false);
            run->done.Set();
        });
    } catch (const std::system_error&) {
        run->running.store(false);
        run->done.Set();
        return false;
    }
    return true;
}

void StoppableThread::RequestStop() { impl_->Run()->stop.Set(); }

bool StoppableThread::StopRequested() const { return impl_->Run()->stop.IsSet(); }

// Valid until the run is detached by a timed-out Join.
Event& StoppableThread::StopEvent() { return impl_->Run()->stop; }

bool StoppableThread::SleepFor(uint32_t ms) { return !impl_->Run()->stop.Wait(ms); }

bool StoppableThread::Join(uint32_t timeoutMs, const char* timeoutLogText) {
    if (impl_->view) return false;  // a body cannot join itself
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (!impl_->thread.joinable()) return true;
    if (impl_->thread.get_id() == std::this_thread::get_id()) return false;
    std::shared_ptr<RunState> run = impl_->Run();
    if (run->done.Wait(timeoutMs)) {
        impl_->thread.join();
        return true;
    }
    if (timeoutLogText) LogThreadText(timeoutLogText);
    // Nobody can reach the detached body any more: ask it to stop so it ends
    // when it next looks, and give the owner a fresh run state.
    run->stop.Set();
    impl_->thread.detach();
    std::lock_guard<std::mutex> runLock(impl_->runMu);
    impl_->run = std::make_shared<RunState>();
    return false;
}

bool StoppableThread::Stop(uint32_t timeoutMs, const char* timeoutLogText) {
    RequestStop();
    return Join(timeoutMs, timeoutLogText);
}

bool StoppableThread::Running() const { return impl_->Run()->running.load(); }

}  // namespace platform
