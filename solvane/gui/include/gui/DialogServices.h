// What the server's dialogs reach besides the core object: the serial ports
// of the machine and the state of the central-control port. The defaults
// talk to this machine and to the process's central-control port; tests
// replace them.
#pragma once

#include <functional>
#include <vector>

struct DialogServices {
    // COM numbers whose device is present, in ascending order.
    std::function<std::vector<int>()> serialPorts;
    std::function<bool()> centralControlOpen;
    std::function<void()> stopCentralControl;
};

DialogServices DefaultDialogServices();

// The icon of the server's windows and tray.
class QIcon;
QIcon ServerIcon();

// The version the about box shows.
inline constexpr const char* kServerVersion = "1.0.0.3";
