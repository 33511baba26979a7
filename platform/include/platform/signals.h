// Process signals: SIGPIPE off, and the termination signals turned into a
// call on an ordinary thread.
#pragma once

#include <functional>
#include <memory>

namespace platform {

// A peer that went away makes send fail with EPIPE instead of ending us.
void IgnoreSigpipe();

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread (call it on the
// main thread before any other thread starts, so that every thread inherits
// the mask) and calls onQuit on a thread of its own for each one that
// arrives. Stop (or the destructor) ends that thread.
class QuitSignalWatcher {
public:
    QuitSignalWatcher();
    ~QuitSignalWatcher();
    QuitSignalWatcher(const QuitSignalWatcher&) = delete;
    QuitSignalWatcher& operator=(const QuitSignalWatcher&) = delete;

    bool Start(std::function<void(int signal)> onQuit);
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
