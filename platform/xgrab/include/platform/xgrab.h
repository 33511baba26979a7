// Copies a region of the X screen through a shared-memory image (MIT-SHM)
// and reads the pointer's cursor image (XFixes). Each grabber has its own
// X connection, used by one thread at a time. The shared segment is private
// to the user (mode 0600) and marked for removal as soon as the X server
// has attached it, so it disappears with the last detach even after a crash.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The pointer's cursor: position on the root window, hot spot, and
// premultiplied ARGB pixels (row by row from the top, width x height).
struct CursorShot {
    int32_t x = 0;
    int32_t y = 0;
    int32_t xhot = 0;
    int32_t yhot = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> argb;
};

class ScreenGrabber {
public:
    ScreenGrabber();
    ~ScreenGrabber();
    ScreenGrabber(const ScreenGrabber&) = delete;
    ScreenGrabber& operator=(const ScreenGrabber&) = delete;

    // Opens a connection (null: $DISPLAY) and a shared image for the region
    // (x, y, width, height) of the root window, cut to the screen. False,
    // with LastError() saying why, when the server cannot be reached, lacks
    // MIT-SHM, refuses the segment or the region misses the screen.
    bool Open(int32_t x, int32_t y, int32_t width, int32_t height, const char* display = nullptr);
    void Close();
    bool IsOpen() const;

    // The region after cutting, in root-window pixels.
    int32_t X() const;
    int32_t Y() const;
    int32_t Width() const;
    int32_t Height() const;

    // Copies the region from the server into the shared image.
    bool Capture();
    // Reads the current cursor image; false without XFixes.
    bool ReadCursor(CursorShot& out);
    // The last capture as bottom-up rows of blue-green-red bytes: row 0 is
    // the region's bottom row. dst holds Height() rows of dstStride bytes.
    void CopyBottomUpBgr(uint8_t* dst, int32_t dstStride) const;

    const std::string& LastError() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Blends a cursor over a bottom-up BGR frame of width x height whose top-left
// corner lies at (originX, originY) on the root window. Parts outside the
// frame are cut.
void DrawCursorBottomUp(uint8_t* frame, int32_t stride, int32_t width, int32_t height, int32_t originX,
                        int32_t originY, const CursorShot& cursor);

// Size of the default screen's root window; false when the server cannot be
// reached.
bool ScreenSize(int32_t& width, int32_t& height, const char* display = nullptr);

}  // namespace platform
