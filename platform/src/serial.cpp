#include "platform/serial.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

struct BaudEntry {
    int baud;
    speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool BaudCode(int baud, speed_t* code) {
    for (const auto& e : kBauds) {
        if (e.baud == baud) {
            *code = e.code;
            return true;
        }
    }
    return false;
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string ErrnoText(const char* what, int err) { return std::string(what) + ": " + std::strerror(err); }

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > INT32_MAX ? INT32_MAX : static_cast<int>(left.count());
}

}  // namespace

namespace {

std::mutex g_deviceMapLock;
std::map<int, std::string> g_deviceMap;

const char* EnvironmentDevice(int comNumber) {
    const std::string var = "SV_COM" + std::to_string(comNumber);
    const char* over = std::getenv(var.c_str());
    return over && *over ? over : nullptr;
}

}  // namespace

void SetSerialDeviceMap(const std::map<int, std::string>& devices) {
    std::lock_guard lock(g_deviceMapLock);
    g_deviceMap.clear();
    for (const auto& [n, path] : devices)
        if (n >= 1 && !path.empty()) g_deviceMap[n] = path;
}

bool SerialDeviceMapped(int comNumber) {
    if (comNumber < 1) return false;
    if (EnvironmentDevice(comNumber)) return true;
    std::lock_guard lock(g_deviceMapLock);
    return g_deviceMap.count(comNumber) != 0;
}

std::string SerialDevicePath(int comNumber) {
    if (comNumber < 1) return {};
    if (const char* over = EnvironmentDevice(comNumber)) return over;
    {
        std::lock_guard lock(g_deviceMapLock);
        auto it = g_deviceMap.find(comNumber);
        if (it != g_deviceMap.end()) return it->second;
    }
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

bool ApplySerialSettings(struct termios& t, const SerialSettings& s) {
    speed_t speed;
    if (!BaudCode(s.baud, &speed)) return false;
    tcflag_t size;
    switch (s.byteSize) {
        case 5: size = CS5; break;
        case 6: size = CS6; break;
        case 7: size = CS7; break;
        case 8: size = CS8; break;
        default: return false;
    }
    tcflag_t parity;
    switch (s.parity) {
        case 0: parity = 0; break;
        case 1: parity = PARENB | PARODD; break;
        case 2: parity = PARENB; break;
        case 3: parity = PARENB | CMSPAR | PARODD; break;
        case 4: parity = PARENB | CMSPAR; break;
        default: return false;
    }
    tcflag_t stop;
    switch (s.stopBits) {
        case 0: stop = 0; break;
        // termios knows one or two; a UART sends 1.5 for 5-bit bytes when
        // asked for two, which is what one and a half means in practice.
        case 1:
        case 2: stop = CSTOPB; break;
        default: return false;
    }

    struct termios n = t;
    cfmakeraw(&n);
    n.c_iflag &= ~(IXOFF | IXANY | INPCK);
    if (parity) n.c_iflag |= INPCK;  // check parity exactly when there is one
    n.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    n.c_cflag |= size | parity | stop | CREAD | CLOCAL;
    n.c_cc[VMIN] = 1;
    n.c_cc[VTIME] = 0;
    cfsetispeed(&n, speed);
    cfsetospeed(&n, speed);
    t = n;
    return true;
}

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { Close(); }

SerialOpenResult SerialPort::Open(const std::string& path, std::string* error) {
    Close();
    if (path.empty()) {
        SetError(error, "no device path");
        return SerialOpenResult::Missing;
    }
    // Non-blocking so that a modem line cannot hold the open; reads and
    // writes wait through poll with their own bounds.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        SetError(error, ErrnoText("open", err));
        if (err == ENOENT || err == ENODEV || err == ENXIO) return SerialOpenResult::Missing;
        if (err == EBUSY) return SerialOpenResult::Busy;  // TIOCEXCL of another opener
        return SerialOpenResult::Failed;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        SetError(error, "not a terminal device");
        return SerialOpenResult::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        SetError(error, ErrnoText("flock", err));
        return err == EWOULDBLOCK ? SerialOpenResult::Busy : SerialOpenResult::Failed;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        int err = errno;
        ::close(fd);
        SetError(error, ErrnoText("TIOCEXCL", err));
        return SerialOpenResult::Failed;
    }
    fd_ = fd;
    path_ = path;
    return SerialOpenResult::Ok;
}

bool SerialPort::Configure(const SerialSettings& settings, std::string* error) {
    if (fd_ < 0) {
        SetError(error, "port not open");
        return false;
    }
    struct termios t;
    if (::tcgetattr(fd_, &t) != 0) {
        SetError(error, ErrnoText("tcgetattr", errno));
        return false;
    }
    if (!ApplySerialSettings(t, settings)) {
        SetError(error, "unsupported line settings");
        return false;
    }
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        SetError(error, ErrnoText("tcsetattr", errno));
        return false;
    }
    return true;
}

bool SerialPort::SetRts(bool on) {
    if (fd_ < 0) return false;
    int bits = TIOCM_RTS;
    return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

void SerialPort::Purge() {
    if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
}

int64_t SerialPort::Write(const void* data, size_t length, uint32_t timeoutMs) {
    if (fd_ < 0 || (!data && length)) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(fd_, p + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return done ? static_cast<int64_t>(done) : -1;
        struct pollfd pfd{fd_, POLLOUT, 0};
        int left = RemainingMs(deadline);
        if (left == 0) break;
        int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) return done ? static_cast<int64_t>(done) : -1;
    }
    return static_cast<int64_t>(done);
}

int64_t SerialPort::Read(void* buffer, size_t capacity, uint32_t timeoutMs) {
    if (fd_ < 0 || !buffer) return -1;
    if (capacity == 0) return 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ssize_t n = ::read(fd_, buffer, capacity);
        if (n > 0) return n;
        if (n == 0) return -1;  // hang-up
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return -1;
        struct pollfd pfd{fd_, POLLIN, 0};
        int left = RemainingMs(deadline);
        if (left == 0) return 0;
        int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) return 0;
        if ((pfd.revents & (POLLERR | POLLNVAL)) || ((pfd.revents & POLLHUP) && !(pfd.revents & POLLIN)))
            return -1;
    }
}

void SerialPort::Close() {
    if (fd_ >= 0) {
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // also drops the flock
        fd_ = -1;
    }
    path_.clear();
}

}  // namespace platform
