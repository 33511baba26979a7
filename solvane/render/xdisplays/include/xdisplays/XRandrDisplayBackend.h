// The display list of an X server through XRandR: one display per output
// that drives a CRTC, in the server's output order; or, when the user defined
// monitors (XRandR 1.5, such as one output split into two), one display per
// monitor in the server's monitor order.
#pragma once

#include <memory>
#include <mutex>

#include "channel/Displays.h"

class XRandrDisplayBackend : public DisplayBackend {
public:
    // Opens a connection of its own; null names $DISPLAY.
    explicit XRandrDisplayBackend(const char* displayName = nullptr);
    ~XRandrDisplayBackend() override;
    XRandrDisplayBackend(const XRandrDisplayBackend&) = delete;
    XRandrDisplayBackend& operator=(const XRandrDisplayBackend&) = delete;

    // False when the X server could not be reached or lacks XRandR 1.2.
    bool IsOpen() const;
    std::vector<DisplayOutput> Outputs() override;
    bool SetMode(size_t index, int32_t width, int32_t height, int32_t orientation) override;

private:
    std::vector<DisplayOutput> MonitorsLocked(const std::vector<DisplayOutput>& outputs, const void* resources);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::mutex mu_;  // one X connection, used from the command threads
};
