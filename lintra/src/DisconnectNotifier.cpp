#include "DisconnectNotifier.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <thread>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/thread.h"

namespace lintra {
namespace {

class Notifier {
public:
    // Created at the first connect and never freed: sessions that outlive the
    // library's shutdown (static objects of the host) still reach it safely.
    static Notifier& Instance() {
        static Notifier* n = new Notifier;
        // Stops and joins the thread when the library unloads or the process
        // ends; constructed lazily, never from a library constructor.
        static struct Guard {
            Notifier* n;
            ~Guard() { n->Shutdown(); }
        } guard{n};
        return *n;
    }

    uint64_t Register(int fd) {
        std::lock_guard<std::mutex> lk(mu_);
        if (down_ || !StartLocked()) return 0;
        const uint64_t id = nextId_++;
        epoll_event ev{};
        ev.events = EPOLLRDHUP | EPOLLHUP | EPOLLERR | EPOLLONESHOT;
        ev.data.u64 = id;
        if (epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev) != 0) return 0;
        regs_[id] = fd;
        return id;
    }

    void SetCallback(LintraDisconnectCallback callback, void* user) {
        std::unique_lock<std::mutex> lk(callbackMutex_);
        // Once this returns, the old callback is not running and never runs
        // again with the old user pointer (unless called from inside it).
        if (std::this_thread::get_id() != threadId_)
            callbackIdle_.wait(lk, [this] { return !inCallback_; });
        callback_ = callback;
        callbackUser_ = user;
    }

    bool Deregister(int fd, uint64_t id) {
        std::lock_guard<std::mutex> lk(mu_);
        auto it = regs_.find(id);
        if (!down_ && it != regs_.end()) {
            epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, nullptr);
            regs_.erase(it);
        }
        if (dispatching_ == id) {
            pendingClose_.push_back(fd);
            return false;
        }
        return true;
    }

private:
    bool StartLocked() {
        if (started_) return true;
        epfd_ = epoll_create1(EPOLL_CLOEXEC);
        stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (epfd_ < 0 || stopFd_ < 0) return CloseFdsAndFail();
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = 0;  // registration ids start at 1
        if (epoll_ctl(epfd_, EPOLL_CTL_ADD, stopFd_, &ev) != 0) return CloseFdsAndFail();
        if (!thread_.Start([this](platform::StoppableThread& self) { Run(self); }, "lintra-notify"))
            return CloseFdsAndFail();
        started_ = true;
        return true;
    }

    bool CloseFdsAndFail() {
        if (epfd_ >= 0) close(epfd_);
        if (stopFd_ >= 0) close(stopFd_);
        epfd_ = stopFd_ = -1;
        return false;
    }

    void Run(platform::StoppableThread& self) {
        {
            std::lock_guard<std::mutex> lk(callbackMutex_);
            threadId_ = std::this_thread::get_id();
        }
        epoll_event events[32];
        while (!self.StopRequested()) {
            int n = epoll_wait(epfd_, events, 32, -1);
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (int i = 0; i < n; ++i) {
                const uint64_t id = events[i].data.u64;
                if (id == 0) continue;  // the stop event
                Deliver(id);
            }
        }
    }

    void Deliver(uint64_t id) {
        int fd;
        {
            std::lock_guard<std::mutex> lk(mu_);
            auto it = regs_.find(id);
            // Deregistered after the event was read: the socket is no longer
            // the one the event was about.
            if (it == regs_.end()) return;
            fd = it->second;
            epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, nullptr);
            regs_.erase(it);
            dispatching_ = id;
        }
        LintraDisconnectCallback cb;
        void* user;
        {
            std::lock_guard<std::mutex> lk(callbackMutex_);
            cb = callback_;
            user = callbackUser_;
            inCallback_ = cb != nullptr;
        }
        if (cb) {
            cb(fd, user);
            std::lock_guard<std::mutex> lk(callbackMutex_);
            inCallback_ = false;
            callbackIdle_.notify_all();
        }
        std::vector<int> toClose;
        {
            std::lock_guard<std::mutex> lk(mu_);
            dispatching_ = 0;
            toClose.swap(pendingClose_);
        }
        for (int f : toClose) close(f);
    }

    void Shutdown() {
        {
            std::lock_guard<std::mutex> lk(mu_);
            down_ = true;
            if (!started_) return;
        }
        thread_.RequestStop();
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t w = write(stopFd_, &one, sizeof one);
        if (thread_.Join(5000)) {
            std::lock_guard<std::mutex> lk(mu_);
            for (int f : pendingClose_) close(f);
            pendingClose_.clear();
            CloseFdsAndFail();
        }
    }

    std::mutex mu_;
    int epfd_ = -1;
    int stopFd_ = -1;
    bool started_ = false;
    bool down_ = false;
    uint64_t nextId_ = 1;
    uint64_t dispatching_ = 0;
    std::unordered_map<uint64_t, int> regs_;
    std::vector<int> pendingClose_;
    platform::StoppableThread thread_;

    std::mutex callbackMutex_;
    std::condition_variable callbackIdle_;
    LintraDisconnectCallback callback_ = nullptr;
    void* callbackUser_ = nullptr;
    bool inCallback_ = false;
    std::thread::id threadId_;
};

}  // namespace

void SetDisconnectCallback(LintraDisconnectCallback callback, void* user) {
    Notifier::Instance().SetCallback(callback, user);
}

uint64_t RegisterForDisconnect(int fd) { return Notifier::Instance().Register(fd); }

bool DeregisterForDisconnect(int fd, uint64_t id) {
    if (id == 0) return true;
    return Notifier::Instance().Deregister(fd, id);
}

}  // namespace lintra
