// The display server's serial port (central control): opened exclusively in
// raw mode, read by a watch thread that gathers what arrives for 100 ms and
// hands it to the receive callback, written on request by the same thread.
#pragma once

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
    // Ends the watch thread (bounded wait) and closes the port.
    void Stop();
    // Queues a string; the watch thread writes it. Nothing queued is lost.
    void WriteToPort(const std::string& text);
    bool IsOpen() const;
    int PortNumber() const { return m_port; }

private:
    void CommThread(platform::StoppableThread& self);
    void WritePending(platform::SerialPort& serial);

    int m_port = 0;
    std::unique_ptr<platform::SerialPort> m_serial;
    mutable std::mutex m_openLock;
    std::mutex m_writeLock;
    std::deque<std::string> m_writeQueue;
    std::mutex m_callbackLock;
    ReceiveCallback m_callback;
    platform::StoppableThread m_thread;
};
