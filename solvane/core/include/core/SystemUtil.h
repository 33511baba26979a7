// Small services of the display server that talk to the machine: firewall
// rules, compiled-in resources, serial port numbers, own address, paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- firewall ----
// Linux: the program changes no firewall rule. The functions keep their
// shape and log what the host firewall must allow; the README names the ports.
struct FirewallProfile;
int FirewallInitialize(FirewallProfile** profile);
void FirewallCleanup(FirewallProfile** profile);
int FirewallAddThisProgram(FirewallProfile* profile);
int FirewallOpenPort(FirewallProfile* profile, const char* name, int32_t port);

// ---- resources and files ----
// Writes resource id of type "DATA" to path (created or truncated); 1 done,
// 0 when the resource is missing or the file cannot be written.
int WriteResourceToFile(int id, const char* path);

// A decoded picture: bottom-up rows padded to 4 bytes, blue-green-red bytes
// (BGRA with premultiplied alpha when the picture has alpha; 32 bits).
struct ResourceImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;   // 24 or 32
    int32_t stride = 0;         // bytes per row
    std::vector<uint8_t> bits;
};
// Decodes resource id of type (any format Qt reads from memory); 1/0.
int LoadImageResource(int id, const char* type, ResourceImage& image);
// Decodes picture bytes the same way (for tests and file data).
int DecodeImageBytes(const uint8_t* data, size_t size, ResourceImage& image);

int FileExists(const std::string& path);
// The text after the last '\' or '/'; the whole text when there is none.
std::string FileNameOfPath(const std::string& path);

// ---- system information ----
// Fills numbers with the COM numbers whose device (as the serial layer maps
// COMn) is present, ascending, at most 256; returns the count.
int EnumSerialPorts(uint8_t numbers[256]);
// Reads the [SerialPort] keys COM1..COM255 of mediacfg.ini (a device path
// each, e.g. COM5=/dev/serial/by-id/...) into the serial layer's COM table.
void LoadSerialDeviceMap(const std::string& iniPath);
// The same with the sysfs tty folder and /dev given (tests).
int EnumSerialPortsIn(uint8_t numbers[256], const std::string& sysClassTty);

// The first IPv4 address of an adapter that is up (loopback excluded), not
// empty and not starting with "0"; empty when there is none.
std::string FirstAdapterAddress();
// The first address of the host name, network byte order; 0 when none.
uint32_t OwnIPv4Address();

// Desktop composition is the window manager's: nothing to do.
void SetDwmComposition(int flag);
