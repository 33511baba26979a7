#include "core/SystemUtil.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "core/Resources.h"
#include "platform/ini.h"
#include "platform/netif.h"
#include "platform/paths.h"
#include "platform/picture.h"
#include "platform/serial.h"
#include "util/Util.h"

// ---- firewall ----

struct FirewallProfile {
    std::set<int32_t> ports;
};

int FirewallInitialize(FirewallProfile** profile) {
    if (!profile) return -1;
    if (*profile) return 0;
    *profile = new FirewallProfile;
    return 0;
}

void FirewallCleanup(FirewallProfile** profile) {
    if (!profile) return;
    delete *profile;
    *profile = nullptr;
}

int FirewallAddThisProgram(FirewallProfile* profile) { return profile ? 0 : -1; }

int FirewallOpenPort(FirewallProfile* profile, const char* name, int32_t port) {
    if (!profile) return -1;
    if (!profile->ports.insert(port).second) return 0;
    LOGTEXT::LogDebug("firewall: rule %s, port %d: not changed by the program; allow it in the host firewall",
                      name ? name : "", port);
    return 0;
}

// ---- resources and files ----

int WriteResourceToFile(int id, const char* path) {
    ResourceView res;
    if (!path || !FindResource(id, "DATA", res)) return 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return 0;
    out.write(reinterpret_cast<const char*>(res.data), static_cast<std::streamsize>(res.size));
    out.close();
    return out ? 1 : 0;
}

int DecodeImageBytes(const uint8_t* data, size_t size, ResourceImage& image) {
    image = ResourceImage{};
    if (!data || size == 0 || size > static_cast<size_t>(INT32_MAX)) return 0;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The header's size first: decoding allocates what it claims.
    const QSize claimed = reader.size();
    if (!claimed.isValid() || !platform::HeaderSizeAllowed(claimed.width(), claimed.height())) return 0;
    QImage decoded;
    if (!reader.read(&decoded)) return 0;
    const bool alpha = decoded.hasAlphaChannel();
    // Straight ARGB here; the premultiplication below truncates like the
    // platform loader did (c * a / 255).
    decoded = decoded.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
    if (decoded.isNull()) return 0;
    image.width = decoded.width();
    image.height = decoded.height();
    image.bitsPerPixel = alpha ? 32 : 24;
    const int32_t bytesPerPixel = image.bitsPerPixel / 8;
    image.stride = (image.width * bytesPerPixel + 3) & ~3;
    image.bits.assign(static_cast<size_t>(image.stride) * static_cast<size_t>(image.height), 0);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* src = decoded.constScanLine(y);
        uint8_t* dst = image.bits.data() + static_cast<size_t>(image.height - 1 - y) * image.stride;
        for (int32_t x = 0; x < image.width; ++x) {
            if (alpha) {
                uint32_t argb;
                std::memcpy(&argb, src + 4 * x, 4);
                const uint32_t a = argb >> 24;
                dst[4 * x + 0] = static_cast<uint8_t>((argb & 0xFF) * a / 255);
                dst[4 * x + 1] = static_cast<uint8_t>(((argb >> 8) & 0xFF) * a / 255);
                dst[4 * x + 2] = static_cast<uint8_t>(((argb >> 16) & 0xFF) * a / 255);
                dst[4 * x + 3] = static_cast<uint8_t>(a);
            } else {
                dst[3 * x + 0] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x + 0];
            }
        }
    }
    return 1;
}

int LoadImageResource(int id, const char* type, ResourceImage& image) {
    ResourceView res;
    if (!FindResource(id, type, res)) {
        image = ResourceImage{};
        return 0;
    }
    return DecodeImageBytes(res.data, res.size, image);
}

int FileExists(const std::string& path) { return platform::FileExists(path) ? 1 : 0; }

std::string FileNameOfPath(const std::string& path) { return std::string(platform::LastComponent(path)); }

// ---- system information ----

namespace {

// A legacy ttyS entry exists for every possible UART; only those with a
// port type other than 0 (unknown) have hardware behind them.
bool TtyPresent(const std::filesystem::path& entry, const std::string& name) {
    if (name.rfind("ttyS", 0) != 0) return true;
    std::ifstream in(entry / "type");
    if (!in) return true;
    int type = 0;
    in >> type;
    return type != 0;
}

}  // namespace

int EnumSerialPortsIn(uint8_t numbers[256], const std::string& sysClassTty) {
    if (!numbers) return 0;
    std::set<std::string> present;  // device paths
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(sysClassTty, ec)) {
        const std::string name = entry.path().filename().string();
        const bool kind = name.rfind("ttyS", 0) == 0 || name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
        if (kind && TtyPresent(entry.path(), name)) present.insert("/dev/" + name);
    }
    int count = 0;
    for (int n = 1; n <= 255 && count < 256; ++n) {
        const std::string path = platform::SerialDevicePath(n);
        if (path.empty()) continue;
        // A device named by an override or the configuration counts when it
        // exists (pseudo-terminals have no sysfs serial entry, and adapters
        // are often named through a /dev/serial/by-id link).
        if (present.count(path) || (platform::SerialDeviceMapped(n) && platform::FileExists(path)))
            numbers[count++] = static_cast<uint8_t>(n);
    }
    return count;
}

int EnumSerialPorts(uint8_t numbers[256]) { return EnumSerialPortsIn(numbers, "/sys/class/tty"); }

void LoadSerialDeviceMap(const std::string& iniPath) {
    std::map<int, std::string> devices;
    for (int n = 1; n <= 255; ++n) {
        const std::string key = "COM" + std::to_string(n);
        std::string path = platform::GetPrivateProfileString("SerialPort", key.c_str(), std::string(), iniPath);
        if (!path.empty()) devices[n] = std::move(path);
    }
    platform::SetSerialDeviceMap(devices);
}

std::string FirstAdapterAddress() { return platform::FirstAdapterIPv4(); }

uint32_t OwnIPv4Address() { return platform::HostNameIPv4(); }

void SetDwmComposition(int) {}
