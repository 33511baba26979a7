// A MIDI input backend for tests: devices that the test feeds by hand and
// that fail on request.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lintra/midiin.h"

class FakeMidiBackend;

class FakeMidiPort : public midi::MidiInPort {
public:
    explicit FakeMidiPort(FakeMidiBackend& b) : b_(b) {}
    ~FakeMidiPort() override;
    int Open(int deviceIndex) override;
    int Start() override;
    void Reset() override;
    int Close() override;
    int Receive(uint32_t* msg) override;
    void Wake() override;

    // Queues a message (kind 1 short, 2 invalid) as the device would deliver it.
    void Push(uint32_t msg, int kind = 1) {
        std::lock_guard<std::mutex> lock(mu_);
        queue_.push_back({msg, kind});
        cv_.notify_all();
    }
    int index = -1;
    bool started = false;
    bool open = false;

private:
    FakeMidiBackend& b_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<std::pair<uint32_t, int>> queue_;
    bool woken_ = false;
};

class FakeMidiBackend : public midi::MidiInBackend {
public:
    int devices = 0;
    int failCreateAt = -1;         // the n-th CreatePort (from 0) returns null
    std::map<int, int> openError;  // device index -> code of its failing open
    std::map<int, int> startError; // device index -> code of its failing start
    int closeError = 0;            // every close fails with this code (and still closes)
    std::string errorText = "fake failure";

    // Counters, under mu.
    std::mutex mu;
    int created = 0, opened = 0, started = 0, resets = 0, closed = 0, live = 0;
    std::vector<FakeMidiPort*> ports;  // live ports

    int DeviceCount() override { return devices; }
    std::unique_ptr<midi::MidiInPort> CreatePort() override {
        std::lock_guard<std::mutex> lock(mu);
        if (created++ == failCreateAt) return nullptr;
        auto p = std::make_unique<FakeMidiPort>(*this);
        ports.push_back(p.get());
        ++live;
        return p;
    }
    std::string ErrorText(int code) override { return errorText + " " + std::to_string(code); }

    // Sends to the started port of a device index; false when there is none.
    bool Send(int index, uint32_t msg, int kind = 1) {
        std::lock_guard<std::mutex> lock(mu);
        for (auto* p : ports) {
            if (p->index == index && p->started) {
                p->Push(msg, kind);
                return true;
            }
        }
        return false;
    }
    int Get(int FakeMidiBackend::*field) {
        std::lock_guard<std::mutex> lock(mu);
        return this->*field;
    }
};

inline FakeMidiPort::~FakeMidiPort() {
    std::lock_guard<std::mutex> lock(b_.mu);
    --b_.live;
    for (auto it = b_.ports.begin(); it != b_.ports.end(); ++it) {
        if (*it == this) {
            b_.ports.erase(it);
            break;
        }
    }
}

inline int FakeMidiPort::Open(int deviceIndex) {
    std::lock_guard<std::mutex> lock(b_.mu);
    auto it = b_.openError.find(deviceIndex);
    if (it != b_.openError.end()) return it->second;
    index = deviceIndex;
    open = true;
    ++b_.opened;
    return 0;
}

inline int FakeMidiPort::Start() {
    std::lock_guard<std::mutex> lock(b_.mu);
    auto it = b_.startError.find(index);
    if (it != b_.startError.end()) return it->second;
    started = true;
    ++b_.started;
    return 0;
}

inline void FakeMidiPort::Reset() {
    {
        std::lock_guard<std::mutex> lock(b_.mu);
        started = false;
        ++b_.resets;
    }
    std::lock_guard<std::mutex> lock(mu_);
    queue_.clear();
    woken_ = false;
}

inline int FakeMidiPort::Close() {
    std::lock_guard<std::mutex> lock(b_.mu);
    open = false;
    started = false;
    ++b_.closed;
    return b_.closeError;
}

inline int FakeMidiPort::Receive(uint32_t* msg) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return woken_ || !queue_.empty(); });
    if (woken_) {
        woken_ = false;
        return 0;
    }
    auto [m, kind] = queue_.front();
    queue_.pop_front();
    *msg = m;
    return kind;
}

inline void FakeMidiPort::Wake() {
    std::lock_guard<std::mutex> lock(mu_);
    woken_ = true;
    cv_.notify_all();
}
