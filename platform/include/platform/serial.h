// Serial ports on termios: raw mode, line settings by code, exclusive open
// and COMn naming.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct termios;

namespace platform {

// Line settings in the codes the console and the display server use:
// parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and
// a half, 2 two; byte size 5 to 8.
struct SerialSettings {
    int baud = 9600;
    int byteSize = 8;
    int parity = 0;
    int stopBits = 0;
};

// Device path of COMn: the environment variable SV_COM<n> when set and not
// empty, else the device the configuration maps COMn to, else
// /dev/ttyS<n-1>. Empty for n < 1.
std::string SerialDevicePath(int comNumber);
// The configuration's COM-number-to-device table (USB adapters have no COM
// number of their own); replaces the whole table. Empty paths are ignored.
void SetSerialDeviceMap(const std::map<int, std::string>& devices);
// Whether COMn names its device explicitly (environment or configuration).
bool SerialDeviceMapped(int comNumber);

// Makes *t raw (no echo, no line editing, no CR/LF translation, no software
// or hardware flow control, receiver on, modem lines ignored) and applies
// settings. False, with *t untouched, when a setting has no termios form
// (unknown baud rate, byte size, parity or stop-bit code).
bool ApplySerialSettings(struct termios& t, const SerialSettings& settings);

enum class SerialOpenResult {
    Ok,
    Busy,      // held by another opener (lock or exclusive mode)
    Missing,   // no such device
    Failed,    // any other error (see errno text in the message)
};

class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens path for reading and writing, exclusively: an flock on the
    // descriptor plus TIOCEXCL, so that neither a second opener of this layer
    // nor a plain open can share it. Does not wait; callers retry on Busy.
    // *error receives a short reason on failure.
    SerialOpenResult Open(const std::string& path, std::string* error = nullptr);
    // Switches to raw mode with the settings; false leaves the line as it was.
    bool Configure(const SerialSettings& settings, std::string* error = nullptr);
    // Raises (or drops) RTS. Devices without modem lines (pseudo-terminals)
    // refuse it; the result says so and nothing else changes.
    bool SetRts(bool on);
    // Discards what is queued in both directions.
    void Purge();
    // Writes all bytes unless the device stops taking them for timeoutMs.
    // Returns the bytes written, -1 on an error before any byte went out.
    int64_t Write(const void* data, size_t length, uint32_t timeoutMs);
    // Waits up to timeoutMs for input; returns the bytes read, 0 on time-out,
    // -1 on error or hang-up.
    int64_t Read(void* buffer, size_t capacity, uint32_t timeoutMs);
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace platform
