// The video capture devices of the machine: V4L2 nodes named videoN in the
// device folder that can capture video.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct VideoCaptureDevice {
    std::string path;   // e.g. /dev/video0
    std::string name;   // the driver's card name, UTF-8
};

// Capture-capable nodes of devDir in the order of their numbers (video2
// before video10). A node that cannot be opened or is not a capture device
// (metadata or output nodes) is left out. *error gets 0, or errno when devDir
// cannot be read; no devices is not an error.
std::vector<VideoCaptureDevice> ListVideoCaptureDevices(int* error = nullptr, const std::string& devDir = "/dev");

}  // namespace platform
