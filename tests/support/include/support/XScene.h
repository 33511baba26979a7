// Test scenes on a private X server: coloured windows, cursors and the
// pointer, plus readers of bottom-up BGR frames. Header-only, for tests that
// link X11 themselves.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

// X last: its macros (None, Bool, Status) clash with other headers.
#include <X11/Xlib.h>

namespace testsupport {

// Shared-memory segments that this process created and that still exist
// (the table ipcs reads).
inline int OwnShmSegments() {
    std::ifstream in("/proc/sysvipc/shm");
    std::string line;
    std::getline(in, line);  // header
    int count = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long long key, id, perms, size, cpid;
        if (fields >> key >> id >> perms >> size >> cpid && cpid == getpid()) ++count;
    }
    return count;
}

struct Bgr {
    int b, g, r;
    bool operator==(const Bgr&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Bgr& c) {
    return os << "(b" << c.b << " g" << c.g << " r" << c.r << ")";
}
// Pixel of a bottom-up BGR buffer at column x and row y counted from the top.
inline Bgr PixelFromTop(const uint8_t* rows, int stride, int height, int x, int y) {
    const uint8_t* p = rows + static_cast<size_t>(height - 1 - y) * stride + x * 3;
    return {p[0], p[1], p[2]};
}

class XScene {
public:
    XScene() = default;
    XScene(const XScene&) = delete;
    XScene& operator=(const XScene&) = delete;
    ~XScene() { CloseScene(); }

    bool OpenScene() {
        dpy_ = XOpenDisplay(nullptr);
        if (dpy_) root_ = DefaultRootWindow(dpy_);
        return dpy_ != nullptr;
    }
    void CloseScene() {
        if (!dpy_) return;
        for (Window w : windows_) XDestroyWindow(dpy_, w);
        for (Cursor c : cursors_) XFreeCursor(dpy_, c);
        windows_.clear();
        cursors_.clear();
        XCloseDisplay(dpy_);
        dpy_ = nullptr;
    }

    // An undecorated window filled with one colour (0xRRGGBB), painted by
    // the server as soon as it is mapped.
    Window Fill(int x, int y, int w, int h, unsigned long rgb) {
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = rgb;
        Window win = XCreateWindow(dpy_, root_, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                                   CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
        XMapRaised(dpy_, win);
        XSync(dpy_, False);
        windows_.push_back(win);
        return win;
    }

    // Gives a window a solid square cursor of size x size in one colour.
    void SolidCursor(Window win, int size, int xhot, int yhot, unsigned short r, unsigned short g, unsigned short b) {
        std::vector<char> bits(static_cast<size_t>((size + 7) / 8) * size, static_cast<char>(0xFF));
        Pixmap src = XCreateBitmapFromData(dpy_, win, bits.data(), size, size);
        Pixmap mask = XCreateBitmapFromData(dpy_, win, bits.data(), size, size);
        XColor fg{}, bg{};
        fg.red = r;
        fg.green = g;
        fg.blue = b;
        fg.flags = bg.flags = DoRed | DoGreen | DoBlue;
        Cursor c = XCreatePixmapCursor(dpy_, src, mask, &fg, &bg, static_cast<unsigned>(xhot), static_cast<unsigned>(yhot));
        XFreePixmap(dpy_, src);
        XFreePixmap(dpy_, mask);
        XDefineCursor(dpy_, win, c);
        cursors_.push_back(c);
        XSync(dpy_, False);
    }

    void MovePointer(int x, int y) {
        XWarpPointer(dpy_, 0L, root_, 0, 0, 0, 0, x, y);
        XSync(dpy_, False);
    }

protected:
    Display* dpy_ = nullptr;
    Window root_ = 0;
    std::vector<Window> windows_;
    std::vector<Cursor> cursors_;
};

}  // namespace testsupport
