#include "platform/signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace platform {

void IgnoreSigpipe() {
    struct sigaction sa {};
    sa.sa_handler = SIG_IGN;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGPIPE, &sa, nullptr);
}

struct QuitSignalWatcher::Impl {
    int sigFd = -1;
    int wakeFd = -1;
    std::thread thread;
};

QuitSignalWatcher::QuitSignalWatcher() : impl_(std::make_unique<Impl>()) {}

QuitSignalWatcher::~QuitSignalWatcher() { Stop(); }

bool QuitSignalWatcher::Start(std::function<void(int)> onQuit) {
    if (impl_->thread.joinable()) return false;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
    impl_->sigFd = signalfd(-1, &set, SFD_CLOEXEC);
    impl_->wakeFd = eventfd(0, EFD_CLOEXEC);
    if (impl_->sigFd < 0 || impl_->wakeFd < 0) {
        Stop();
        return false;
    }
    Impl* impl = impl_.get();
    impl_->thread = std::thread([impl, onQuit = std::move(onQuit)] {
        for (;;) {
            pollfd fds[2] = {{impl->sigFd, POLLIN, 0}, {impl->wakeFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo info{};
                if (read(impl->sigFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info) && onQuit)
                    onQuit(static_cast<int>(info.ssi_signo));
            }
        }
    });
    return true;
}

void QuitSignalWatcher::Stop() {
    if (impl_->thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(impl_->wakeFd, &one, sizeof one);
        impl_->thread.join();
    }
    if (impl_->sigFd >= 0) close(impl_->sigFd);
    if (impl_->wakeFd >= 0) close(impl_->wakeFd);
    impl_->sigFd = impl_->wakeFd = -1;
}

}  // namespace platform
