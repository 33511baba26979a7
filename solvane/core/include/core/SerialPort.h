// The display server's serial port (central control): opened exclusively in
// raw mode, read by a watch thread that gathers what arrives for 100 ms and
// hands it to the receive callback, written on request by the same thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/thread.h"

namespace platform {
class SerialPort;
}

class CSerialPort {
public:
    // Gets the bytes read in one step, NUL-terminated after length.
    using ReceiveCallback = std::function<void(const char* data, size_t length)>;

    // At most this many bytes are read per step (plus the terminator).
    static constexpr size_t kReceiveBuffer = 512;
    static constexpr uint32_t kGatherMs = 100;

    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    void SetReceiveCallback(ReceiveCallback callback);

    // Opens COM<port> with the line settings (parity 0 none, 1 odd, 2 even,
    // 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two). 0 on
    // success, 1 on failure (logged). A running watch thread is stopped first.
    int getOpenPort(int port, int baud, int byteSize, int parity, int stopBits);
    // Starts the watch thread; 1.
    int StartMonitoring();
    // Ends the watch thread (bounded wait) and closes the port; false when
    // the thread missed the wait and was left behind.
    bool Stop();
    // Queues a string; the watch thread writes it. Nothing queued is lost.
    void WriteToPort(const std::string& text);
    bool IsOpen() const;
    int PortNumber() const { return m_shared->port.load(); }

private:
    // What the watch thread touches. The thread holds its own reference, so
    // a thread that missed its bounded join (it may be waiting for the
    // command lock inside the callback while that same command restarts the
    // port) never runs on a freed port or object: it finds its port closed
    // and its stop requested when it comes back.
    struct Shared {
        std::mutex writeLock;
        std::deque<std::string> writeQueue;
        std::mutex callbackLock;
        ReceiveCallback callback;
        std::atomic<int> port{0};
    };
    static void CommThread(platform::StoppableThread& self, std::shared_ptr<Shared> shared,
                           std::shared_ptr<platform::SerialPort> serial);
    static void WritePending(Shared& shared, platform::SerialPort& serial);

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::shared_ptr<platform::SerialPort> m_serial;
    mutable std::mutex m_openLock;
    platform::StoppableThread m_thread;
};
