// The test's X server seen from the outside: monitors that split its one
// output, and screenshots of the whole screen.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace e2e {

// Splits the screen's output into `count` monitors side by side, numbered
// from the left; the first is the primary. Monitors of an earlier split in
// the same X server go first. False when the server refuses.
inline bool SplitScreenIntoMonitors(int count) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return false;
    const Window root = DefaultRootWindow(dpy);
    int existing = 0;
    if (XRRMonitorInfo* old = XRRGetMonitors(dpy, root, False, &existing)) {
        for (int i = 0; i < existing; ++i) {
            char* name = XGetAtomName(dpy, old[i].name);
            if (name && std::string(name).rfind("PART", 0) == 0) XRRDeleteMonitor(dpy, root, old[i].name);
            if (name) XFree(name);
        }
        XRRFreeMonitors(old);
    }
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
    bool ok = res && res->noutput >= 1 && count >= 1;
    const int w = DisplayWidth(dpy, DefaultScreen(dpy)) / (count > 0 ? count : 1);
    const int h = DisplayHeight(dpy, DefaultScreen(dpy));
    for (int i = 0; ok && i < count; ++i) {
        XRRMonitorInfo* m = XRRAllocateMonitor(dpy, i == 0 ? 1 : 0);
        const std::string name = "PART" + std::to_string(i + 1);
        m->name = XInternAtom(dpy, name.c_str(), False);
        m->primary = i == 0;
        m->x = i * w;
        m->width = w;
        m->height = h;
        m->mwidth = 250;
        m->mheight = 280;
        if (i == 0) m->outputs[0] = res->outputs[0];
        XRRSetMonitor(dpy, root, m);
        XRRFreeMonitors(m);
    }
    if (res) XRRFreeScreenResources(res);
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return ok;
}

// The whole screen as rows of red, green, blue bytes from the top.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    const uint8_t* At(int x, int y) const { return rgb.data() + (static_cast<size_t>(y) * width + x) * 3; }
    int R(int x, int y) const { return At(x, y)[0]; }
    int G(int x, int y) const { return At(x, y)[1]; }
    int B(int x, int y) const { return At(x, y)[2]; }

    // Binary PPM, for a look at a failed frame.
    void Save(const std::string& path) const {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    }
};

inline int MaskShift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

// Reads the root window (what the screen shows) of the test's display or
// of the one named; false without a server.
inline bool GrabScreen(Screenshot& shot, const std::string& display = std::string()) {
    Display* dpy = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!dpy) return false;
    const int screen = DefaultScreen(dpy);
    const int w = DisplayWidth(dpy, screen), h = DisplayHeight(dpy, screen);
    XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), 0, 0, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!image) {
        XCloseDisplay(dpy);
        return false;
    }
    shot.width = w;
    shot.height = h;
    shot.rgb.assign(static_cast<size_t>(w) * h * 3, 0);
    const int rs = MaskShift(image->red_mask), gs = MaskShift(image->green_mask), bs = MaskShift(image->blue_mask);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            uint8_t* out = shot.rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
            out[0] = static_cast<uint8_t>((p & image->red_mask) >> rs);
            out[1] = static_cast<uint8_t>((p & image->green_mask) >> gs);
            out[2] = static_cast<uint8_t>((p & image->blue_mask) >> bs);
        }
    }
    XDestroyImage(image);
    XCloseDisplay(dpy);
    return true;
}

}  // namespace e2e
