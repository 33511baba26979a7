// The attached displays behind a backend: XRandR in the program, a fake in
// tests. Displays are numbered from 1 in the backend's output order; an
// output that is not attached keeps its number free. "\\.\DISPLAYn" names
// display n.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "util/Util.h"

struct DisplayOutput {
    std::string name;          // the backend's own name of the output
    bool attached = false;     // has a current mode
    bool primary = false;
    RECT rect{};               // virtual-screen pixels
    RECT work{};
    int32_t bitsPerPixel = 0;
    int32_t refreshRate = 0;
    int32_t orientation = 0;   // 0, 1, 2, 3: 0, 90, 180, 270 degrees
    std::vector<SIZE> modes;   // supported sizes, unrotated, duplicates allowed
};

class DisplayBackend {
public:
    virtual ~DisplayBackend() = default;
    // Every output, attached or not, in enumeration order.
    virtual std::vector<DisplayOutput> Outputs() = 0;
    // Gives output `index` (position in Outputs()) a screen size of width x
    // height (as it appears after rotation) at `orientation` (0..3).
    virtual bool SetMode(size_t index, int32_t width, int32_t height, int32_t orientation) = 0;
};

// The process-wide backend; null (the default) means no display is known.
// The backend must outlive its use.
void SetDisplayBackend(DisplayBackend* backend);
DisplayBackend* GetDisplayBackend();

// Shows each display's number on it for a few seconds; runs on the caller's
// thread and must return at once (a GUI presenter posts to its own thread).
using IdentifyPresenter = std::function<void(const std::vector<MY_MONITORINFO>&)>;
void SetIdentifyPresenter(IdentifyPresenter presenter);

// Display number of "\\.\DISPLAYn" (n >= 1); 0 for any other name.
int DisplayNumberFromName(const std::string& deviceName);
std::string DisplayNameFromNumber(int number);

void EnumDisplays(std::vector<MY_MONITORINFO>& out);
bool GetDisplayRectByNumber(int number, RECT& rect, int32_t& primary);
// An empty device name means the primary display.
bool SetDisplayResolution(int32_t width, int32_t height, const std::string& deviceName);
// direction > 0 turns by +90 degrees, anything else by -90.
bool RotateDisplay(int direction, const std::string& deviceName);
// degrees 90, 180, 270; anything else is 0. False when the display is
// unknown or refuses the change.
bool SetDisplayOrientation(const std::string& deviceName, int degrees);
int IdentifyDisplays();
// Bounding box of the attached displays; empty when none is known.
RECT VirtualScreenRect();

// A scriptable backend for tests.
class FakeDisplayBackend : public DisplayBackend {
public:
    std::vector<DisplayOutput> outputs;
    bool refuse = false;
    struct Call {
        size_t index;
        int32_t width, height, orientation;
    };
    std::vector<Call> calls;

    std::vector<DisplayOutput> Outputs() override { return outputs; }
    bool SetMode(size_t index, int32_t width, int32_t height, int32_t orientation) override;
    // An attached output at (x, y) of width x height.
    void Add(int32_t x, int32_t y, int32_t width, int32_t height, bool primary = false);
};

// Installs a backend for a scope and restores the previous one.
class ScopedDisplayBackend {
public:
    explicit ScopedDisplayBackend(DisplayBackend* backend) : previous_(GetDisplayBackend()) {
        SetDisplayBackend(backend);
    }
    ~ScopedDisplayBackend() { SetDisplayBackend(previous_); }
    ScopedDisplayBackend(const ScopedDisplayBackend&) = delete;
    ScopedDisplayBackend& operator=(const ScopedDisplayBackend&) = delete;

private:
    DisplayBackend* previous_;
};
