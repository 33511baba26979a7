#include "core/SerialPort.h"

#include <termios.h>

#include <cerrno>
#include <chrono>

#include "platform/serial.h"
#include "util/Util.h"

namespace {
// How long one read waits before the thread looks at stop and write requests.
constexpr uint32_t kPollMs = 20;
constexpr uint32_t kJoinMs = 1000;
}  // namespace

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() { Stop(); }

void CSerialPort::SetReceiveCallback(ReceiveCallback callback) {
    std::lock_guard lock(m_callbackLock);
    m_callback = std::move(callback);
}

bool CSerialPort::IsOpen() const {
    std::lock_guard lock(m_openLock);
    return m_serial && m_serial->IsOpen();
}

int CSerialPort::getOpenPort(int port, int baud, int byteSize, int parity, int stopBits) {
    Stop();
    std::lock_guard lock(m_openLock);
    m_port = port;
    auto serial = std::make_unique<platform::SerialPort>();
    const std::string path = platform::SerialDevicePath(port);
    std::string error;
    const bool opened = !path.empty() && serial->Open(path, &error) == platform::SerialOpenResult::Ok;
    if (!opened) {
        LOGTEXT::LogDebug(
            "CSerialPort::getOpenPortINVALID_HANDLE_VALUE. CreateFile fail m_hComm=%d GetLastError=%d port=%d, "
            "baud=%d, databits=%d, parity=%d, stopbits=%d",
            -1, errno, port, baud, byteSize, parity, stopBits);
        return 1;
    }
    platform::SerialSettings settings;
    settings.baud = baud;
    settings.byteSize = byteSize;
    settings.parity = parity;
    settings.stopBits = stopBits;
    bool configured = serial->Configure(settings, &error);
    if (configured) {
        // Software flow control with DC1/DC3, as central-control equipment
        // expects; modem lines raised where the device has them.
        termios t{};
        if (tcgetattr(serial->Fd(), &t) == 0) {
            t.c_iflag |= IXON | IXOFF;
            t.c_cc[VSTART] = 17;
            t.c_cc[VSTOP] = 19;
            configured = tcsetattr(serial->Fd(), TCSANOW, &t) == 0;
        } else {
            configured = false;
        }
        serial->SetRts(true);
    }
    if (!configured) {
        const int fd = serial->Fd();
        serial->Close();
        LOGTEXT::LogDebug(
            "CSerialPort::getOpenPort.Config Error. CreateFile fail m_hComm=%d GetLastError=%d port=%d, "
            "baud=%d, databits=%d, parity=%d, stopbits=%d",
            fd, errno, port, baud, byteSize, parity, stopBits);
        return 1;
    }
    serial->Purge();
    m_serial = std::move(serial);
    LOGTEXT::LogDebug("openport ok");
    return 0;
}

int CSerialPort::StartMonitoring() {
    {
        std::lock_guard lock(m_openLock);
        if (!m_serial || !m_serial->IsOpen()) return 0;
    }
    if (m_thread.Running()) return 1;
    m_thread.Start([this](platform::StoppableThread& self) { CommThread(self); }, "serial port");
    LOGTEXT::LogDebug("Thread started\n");
    return 1;
}

void CSerialPort::Stop() {
    m_thread.Stop(kJoinMs, "serial port thread did not end; left behind");
    std::lock_guard lock(m_openLock);
    if (m_serial) {
        m_serial->Close();
        m_serial.reset();
    }
}

void CSerialPort::WriteToPort(const std::string& text) {
    std::lock_guard lock(m_writeLock);
    m_writeQueue.push_back(text);
}

void CSerialPort::WritePending(platform::SerialPort& serial) {
    std::deque<std::string> pending;
    {
        std::lock_guard lock(m_writeLock);
        pending.swap(m_writeQueue);
    }
    for (const std::string& text : pending) {
        // Nothing is purged before a write: the input may hold the next
        // command, the output the previous answer.
        if (serial.Write(text.data(), text.size(), 1000) != static_cast<int64_t>(text.size()))
            LOGTEXT::LogDebug("Write COM%d error.You'd better reconnect it.", m_port);
    }
}

void CSerialPort::CommThread(platform::StoppableThread& self) {
    // The thread is stopped before the port is closed or replaced, so the
    // port stays valid for the thread's whole run.
    platform::SerialPort* serial;
    {
        std::lock_guard lock(m_openLock);
        serial = m_serial.get();
    }
    if (!serial) return;
    // The open purged the port already; a second purge here would drop what
    // arrived since.
    char buffer[kReceiveBuffer];
    const size_t capacity = kReceiveBuffer - 1;
    while (!self.StopRequested()) {
        WritePending(*serial);
        int64_t n = serial->Read(buffer, capacity, kPollMs);
        if (n == 0) continue;
        if (n < 0) {
            LOGTEXT::LogDebug("Read COM%d error.You'd better reconnect it.", m_port);
            // A line that is gone (hang-up) reports at once: do not spin.
            self.SleepFor(1000);
            continue;
        }
        LOGTEXT::LogDebug("read char");
        // Gather what follows within 100 ms, so that a line sent at once is
        // handed over at once.
        size_t total = static_cast<size_t>(n);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGatherMs);
        while (total < capacity && !self.StopRequested()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            const int64_t more = serial->Read(buffer + total, capacity - total, static_cast<uint32_t>(left.count()));
            if (more <= 0) break;
            total += static_cast<size_t>(more);
        }
        buffer[total] = '\0';
        LOGTEXT::LogDebug("BytesRead=%d port->m_pRevBuf=%s", static_cast<int>(total), buffer);
        ReceiveCallback callback;
        {
            std::lock_guard lock(m_callbackLock);
            callback = m_callback;
        }
        if (callback) callback(buffer, total);
    }
    WritePending(*serial);
}
