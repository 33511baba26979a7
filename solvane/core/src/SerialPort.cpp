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
    std::lock_guard lock(m_shared->callbackLock);
    m_shared->callback = std::move(callback);
}

bool CSerialPort::IsOpen() const {
    std::lock_guard lock(m_openLock);
    return m_serial && m_serial->IsOpen();
}

int CSerialPort::getOpenPort(int port, int baud, int byteSize, int parity, int stopBits) {
    Stop();
    std::lock_guard lock(m_openLock);
    m_shared->port = port;
    auto serial = std::make_shared<platform::SerialPort>();
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
    std::shared_ptr<platform::SerialPort> serial;
    {
        std::lock_guard lock(m_openLock);
        if (!m_serial || !m_serial->IsOpen()) return 0;
        serial = m_serial;
    }
    if (m_thread.Running()) return 1;
    std::shared_ptr<Shared> shared = m_shared;
    m_thread.Start([shared, serial](platform::StoppableThread& self) { CommThread(self, shared, serial); },
                   "serial port");
    LOGTEXT::LogDebug("Thread started\n");
    return 1;
}

bool CSerialPort::Stop() {
    // A thread that misses the join is left behind holding its port and
    // state, and stops at its next look.
    const bool ended = m_thread.Stop(kJoinMs, "serial port thread did not end; left behind");
    std::lock_guard lock(m_openLock);
    if (m_serial) {
        // Closing ends a left-behind thread's reads at once; it still holds
        // the object.
        m_serial->Close();
        m_serial.reset();
    }
    return ended;
}

void CSerialPort::WriteToPort(const std::string& text) {
    std::lock_guard lock(m_shared->writeLock);
    m_shared->writeQueue.push_back(text);
}

void CSerialPort::WritePending(Shared& shared, platform::SerialPort& serial) {
    std::deque<std::string> pending;
    {
        std::lock_guard lock(shared.writeLock);
        pending.swap(shared.writeQueue);
    }
    for (const std::string& text : pending) {
        // Nothing is purged before a write: the input may hold the next
        // command, the output the previous answer.
        if (serial.Write(text.data(), text.size(), 1000) != static_cast<int64_t>(text.size()))
            LOGTEXT::LogDebug("Write COM%d error.You'd better reconnect it.", shared.port.load());
    }
}

void CSerialPort::CommThread(platform::StoppableThread& self, std::shared_ptr<Shared> shared,
                             std::shared_ptr<platform::SerialPort> port) {
    platform::SerialPort* serial = port.get();
    // The open purged the port already; a second purge here would drop what
    // arrived since.
    char buffer[kReceiveBuffer];
    const size_t capacity = kReceiveBuffer - 1;
    while (!self.StopRequested()) {
        WritePending(*shared, *serial);
        int64_t n = serial->Read(buffer, capacity, kPollMs);
        if (n == 0) continue;
        if (n < 0) {
            if (self.StopRequested()) break;
            LOGTEXT::LogDebug("Read COM%d error.You'd better reconnect it.", shared->port.load());
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
            std::lock_guard lock(shared->callbackLock);
            callback = shared->callback;
        }
        if (callback) callback(buffer, total);
    }
    if (serial->IsOpen()) WritePending(*shared, *serial);
}
