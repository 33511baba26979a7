#include "platform/videodev.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {
namespace {

// The number of a "videoN" entry; -1 for every other name.
long NodeNumber(const char* name) {
    if (std::strncmp(name, "video", 5) != 0) return -1;
    const char* digits = name + 5;
    if (*digits == '\0' || std::strlen(digits) > 6) return -1;
    long n = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9') return -1;
        n = n * 10 + (*p - '0');
    }
    return n;
}

// Replaces bytes that do not form UTF-8 with '?', so that a card name from
// an old driver (or one cut inside a character by its fixed field) stays text.
std::string CleanUtf8(std::string_view in) {
    std::string out;
    size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        bool ok = len != 0 && i + len <= in.size();
        for (size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80;
        if (ok) {
            out.append(in.substr(i, len));
            i += len;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

// The card name of a capture-capable node; false for any other node.
bool QueryCaptureNode(const std::string& path, std::string& name) {
    struct stat st{};
    // Only character devices are opened: a stray file or FIFO of that name
    // could block or be anything.
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    v4l2_capability cap{};
    int rc;
    do {
        rc = ::ioctl(fd, VIDIOC_QUERYCAP, &cap);
    } while (rc != 0 && errno == EINTR);
    ::close(fd);
    if (rc != 0) return false;
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE))) return false;
    const auto* card = reinterpret_cast<const char*>(cap.card);
    name = CleanUtf8(std::string_view(card, strnlen(card, sizeof cap.card)));
    return true;
}

}  // namespace

std::vector<VideoCaptureDevice> ListVideoCaptureDevices(int* error, const std::string& devDir) {
    if (error) *error = 0;
    std::vector<std::pair<long, std::string>> nodes;
    DIR* dir = ::opendir(devDir.c_str());
    if (!dir) {
        if (error) *error = errno ? errno : ENOENT;
        return {};
    }
    while (const dirent* entry = ::readdir(dir)) {
        const long n = NodeNumber(entry->d_name);
        if (n >= 0) nodes.emplace_back(n, entry->d_name);
    }
    ::closedir(dir);
    std::sort(nodes.begin(), nodes.end());

    std::vector<VideoCaptureDevice> devices;
    for (const auto& node : nodes) {
        VideoCaptureDevice dev;
        dev.path = devDir + (devDir.empty() || devDir.back() != '/' ? "/" : "") + node.second;
        if (QueryCaptureNode(dev.path, dev.name)) devices.push_back(std::move(dev));
    }
    return devices;
}

}  // namespace platform
