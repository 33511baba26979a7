// Serial output of tolva_io_ctrl.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "iohandles.h"
#include "lintra/ioctrl.h"
#include "platform/event.h"
#include "platform/serial.h"
#include "util/Util.h"

namespace tolva_io_ctrl {

namespace {

using detail::HandleKind;

// Another opener may be about to let go: retry this long before giving up.
constexpr int kBusyRetryMs = 1000;
constexpr uint32_t kBusyRetryStepMs = 100;

struct SerialOutput : detail::HandleObject {
    platform::SerialPort port;
    int baud = 9600;
    std::mutex writeMu;  // one write at a time, so the bytes of two cues never interleave
};

// A write may stall on a peer's flow control; allow the time the bytes need
// on the line plus a second, then give up rather than hang the caller.
uint32_t WriteBudgetMs(int length, int baud) {
    uint64_t lineMs = baud > 0 ? static_cast<uint64_t>(length) * 12u * 1000u / static_cast<uint64_t>(baud) : 0;
    if (lineMs > 600000) lineMs = 600000;
    return static_cast<uint32_t>(lineMs) + 1000u;
}

}  // namespace

void* OpenSerialPort(int port, int baud, int parity, int byteSize, int stopBits) {
    const std::string path = platform::SerialDevicePath(port);
    if (path.empty()) {
        LOGTEXT::LogError("serial port COM%d: no such port", port);
        return nullptr;
    }
    auto out = std::make_shared<SerialOutput>();
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    platform::Event pause(true, false);  // never set: a plain bounded sleep
    platform::SerialOpenResult r;
    for (;;) {
        r = out->port.Open(path, &error);
        if (r != platform::SerialOpenResult::Busy) break;
        auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (spent.count() > kBusyRetryMs) break;
        pause.Wait(kBusyRetryStepMs);
    }
    if (r != platform::SerialOpenResult::Ok) {
        LOGTEXT::LogError("serial port COM%d (%s) open failed: %s", port, path.c_str(), error.c_str());
        return nullptr;
    }

    platform::SerialSettings s;
    s.baud = baud;
    s.byteSize = byteSize;
    s.parity = parity;
    s.stopBits = stopBits;
    if (!out->port.Configure(s, &error)) {
        LOGTEXT::LogError("serial port COM%d (%s) settings %d,%d,%d,%d refused: %s", port, path.c_str(), baud,
                          byteSize, parity, stopBits, error.c_str());
        return nullptr;
    }
    // Devices without modem lines (pseudo-terminals, some adapters) refuse
    // RTS; the port works without it.
    out->port.SetRts(true);
    out->port.Purge();
    out->baud = baud;
    return detail::RegisterHandle(HandleKind::Serial, out);
}

int WriteSerialPortData(void* handle, const uint8_t* data, int length) {
    auto out = detail::Find<SerialOutput>(handle, HandleKind::Serial);
    if (!out || length < 0 || (!data && length > 0)) return 0;
    std::lock_guard<std::mutex> lock(out->writeMu);
    if (!out->port.IsOpen()) return 0;
    int64_t n = out->port.Write(data, static_cast<size_t>(length), WriteBudgetMs(length, out->baud));
    if (n != length) {
        LOGTEXT::LogError("serial port %s write failed: %lld of %d bytes", out->port.Path().c_str(),
                          static_cast<long long>(n), length);
        return 0;
    }
    return 1;
}

int CloseSerialPort(void* handle) {
    auto out = detail::Take<SerialOutput>(handle, HandleKind::Serial);
    if (!out) return 0;
    std::lock_guard<std::mutex> lock(out->writeMu);
    out->port.Close();
    return 1;
}

}  // namespace tolva_io_ctrl
