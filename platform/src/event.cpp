#include "platform/event.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<Clock::time_point> DeadlineFor(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

// One call of WaitAny: every event it watches pokes it when set.
struct Waiter {
    std::mutex mu;
    std::condition_variable cv;
    bool poked = false;
};

}  // namespace

struct Event::Impl {
    mutable std::mutex mu;
    std::condition_variable cv;
    bool manual = false;
    bool signalled = false;
    std::vector<Waiter*> waiters;  // guarded by mu

    // Consumes the signal of an auto-reset event; caller holds mu.
    bool TakeLocked() {
        if (!signalled) return false;
        if (!manual) signalled = false;
        return true;
    }
};

Event::Event(bool manualReset, bool initialState) : impl_(std::make_shared<Impl>()) {
    impl_->manual = manualReset;
    impl_->signalled = initialState;
}

Event::~Event() = default;

void Event::Set() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->signalled = true;
    impl_->cv.notify_all();
    // Poked under the event's lock: a waiter unregisters under the same lock,
    // so it cannot be gone while it is poked.
    for (Waiter* w : impl_->waiters) {
        std::lock_guard<std::mutex> wl(w->mu);
        w->poked = true;
        w->cv.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->signalled = false;
}

bool Event::Wait(uint32_t timeoutMs) {
    const auto deadline = DeadlineFor(timeoutMs);
    std::unique_lock<std::mutex> lock(impl_->mu);
    while (!impl_->TakeLocked()) {
        if (!deadline) {
            impl_->cv.wait(lock);
        } else if (impl_->cv.wait_until(lock, *deadline) == std::cv_status::timeout) {
            return impl_->TakeLocked();
        }
    }
    return true;
}

bool Event::IsSet() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->signalled;
}

bool Event::IsManualReset() const { return impl_->manual; }

int Event::WaitAny(std::initializer_list<Event*> events, uint32_t timeoutMs) {
    return WaitAny(events.begin(), events.size(), timeoutMs);
}

int Event::WaitAny(Event* const* events, size_t count, uint32_t timeoutMs) {
    if (count == 0 || !events) return -1;
    const auto deadline = DeadlineFor(timeoutMs);

    auto tryTake = [&]() -> int {
        for (size_t i = 0; i < count; ++i) {
            if (!events[i]) continue;
            Impl& e = *events[i]->impl_;
            std::lock_guard<std::mutex> lock(e.mu);
            if (e.TakeLocked()) return static_cast<int>(i);
        }
        return -1;
    };

    // Fast path without registering.
    int hit = tryTake();
    if (hit >= 0 || timeoutMs == 0) return hit;

    Waiter waiter;
    for (size_t i = 0; i < count; ++i) {
        if (!events[i]) continue;
        Impl& e = *events[i]->impl_;
        std::lock_guard<std::mutex> lock(e.mu);
        e.waiters.push_back(&waiter);
    }

    for (;;) {
        {
            std::lock_guard<std::mutex> wl(waiter.mu);
            waiter.poked = false;
        }
        // A Set after this scan pokes the waiter, so the wait below returns.
        hit = tryTake();
        if (hit >= 0) break;
        std::unique_lock<std::mutex> wl(waiter.mu);
        bool timedOut = false;
        while (!waiter.poked) {
            if (!deadline) {
                waiter.cv.wait(wl);
            } else if (waiter.cv.wait_until(wl, *deadline) == std::cv_status::timeout) {
                timedOut = !waiter.poked;
                break;
            }
        }
        if (timedOut) {
            wl.unlock();
            hit = tryTake();
            break;
        }
    }

    for (size_t i = 0; i < count; ++i) {
        if (!events[i]) continue;
        Impl& e = *events[i]->impl_;
        std::lock_guard<std::mutex> lock(e.mu);
        auto it = std::find(e.waiters.begin(), e.waiters.end(), &waiter);
        if (it != e.waiters.end()) e.waiters.erase(it);
    }
    return hit;
}

}  // namespace platform
