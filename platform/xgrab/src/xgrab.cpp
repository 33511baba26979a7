#include "platform/xgrab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace platform {

namespace {

// X errors of the grab connections are recorded here instead of reaching
// the default handler, which would end the process. Errors of any other
// connection go on to the handler that was installed before.
std::mutex g_trapLock;
XErrorHandler g_previousHandler = nullptr;
bool g_trapInstalled = false;
std::map<Display*, int> g_trapped;

int TrapError(Display* dpy, XErrorEvent* ev) {
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(g_trapLock);
        auto it = g_trapped.find(dpy);
        if (it != g_trapped.end()) {
            it->second = ev->error_code;
            return 0;
        }
        previous = g_previousHandler;
    }
    return previous ? previous(dpy, ev) : 0;
}

void WatchErrors(Display* dpy) {
    std::lock_guard lock(g_trapLock);
    if (!g_trapInstalled) {
        g_previousHandler = XSetErrorHandler(&TrapError);
        g_trapInstalled = true;
    }
    g_trapped[dpy] = 0;
}

void UnwatchErrors(Display* dpy) {
    std::lock_guard lock(g_trapLock);
    g_trapped.erase(dpy);
}

int TakeError(Display* dpy) {
    std::lock_guard lock(g_trapLock);
    auto it = g_trapped.find(dpy);
    if (it == g_trapped.end()) return 0;
    const int code = it->second;
    it->second = 0;
    return code;
}

// Position of the lowest set bit and the width of a colour mask.
void MaskShape(unsigned long mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (mask == 0) return;
    while (!(mask & 1ul)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1ul) {
        mask >>= 1;
        ++bits;
    }
}

uint8_t Channel(unsigned long pixel, int shift, int bits) {
    if (bits == 0) return 0;
    const unsigned long v = (pixel >> shift) & ((1ul << bits) - 1);
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    return static_cast<uint8_t>((v * 255) / ((1ul << bits) - 1));
}

}  // namespace

struct ScreenGrabber::Impl {
    Display* dpy = nullptr;
    Window root = 0;
    XImage* image = nullptr;
    XShmSegmentInfo shm{};
    bool attached = false;
    bool segmentAlive = false;  // created and not yet marked for removal
    bool fixes = false;
    int32_t x = 0, y = 0, width = 0, height = 0;
    std::string error;

    bool Fail(const std::string& text) {
        error = text;
        Release();
        return false;
    }

    void Release() {
        if (dpy && attached) {
            XShmDetach(dpy, &shm);
            XSync(dpy, False);
        }
        attached = false;
        if (image) {
            image->data = nullptr;  // the segment's memory, detached below
            XDestroyImage(image);
            image = nullptr;
        }
        if (shm.shmaddr) shmdt(shm.shmaddr);
        // Normally removed right after the attach; a failed set-up may not
        // have got there.
        if (segmentAlive) shmctl(shm.shmid, IPC_RMID, nullptr);
        segmentAlive = false;
        shm = XShmSegmentInfo{};
        if (dpy) {
            UnwatchErrors(dpy);
            XCloseDisplay(dpy);
            dpy = nullptr;
        }
        fixes = false;
    }
};

ScreenGrabber::ScreenGrabber() : impl_(std::make_unique<Impl>()) {}

ScreenGrabber::~ScreenGrabber() { Close(); }

bool ScreenGrabber::Open(int32_t x, int32_t y, int32_t width, int32_t height, const char* display) {
    Close();
    Impl& d = *impl_;
    d.error.clear();
    d.dpy = XOpenDisplay(display);
    if (!d.dpy) return d.Fail("cannot open the X display");
    WatchErrors(d.dpy);
    const int screen = DefaultScreen(d.dpy);
    d.root = RootWindow(d.dpy, screen);
    if (!XShmQueryExtension(d.dpy)) return d.Fail("the X server has no MIT-SHM");
    int eventBase = 0, errorBase = 0;
    d.fixes = XFixesQueryExtension(d.dpy, &eventBase, &errorBase) != 0;

    // Cut the region to the screen.
    const int64_t sw = DisplayWidth(d.dpy, screen), sh = DisplayHeight(d.dpy, screen);
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{x} + std::max(width, 0), sw);
    const int64_t y1 = std::min<int64_t>(int64_t{y} + std::max(height, 0), sh);
    if (x1 <= x0 || y1 <= y0) return d.Fail("the region lies outside the screen");
    d.x = static_cast<int32_t>(x0);
    d.y = static_cast<int32_t>(y0);
    d.width = static_cast<int32_t>(x1 - x0);
    d.height = static_cast<int32_t>(y1 - y0);

    Visual* visual = DefaultVisual(d.dpy, screen);
    const unsigned depth = static_cast<unsigned>(DefaultDepth(d.dpy, screen));
    d.image = XShmCreateImage(d.dpy, visual, depth, ZPixmap, nullptr, &d.shm, static_cast<unsigned>(d.width),
                              static_cast<unsigned>(d.height));
    if (!d.image) return d.Fail("cannot create the shared image");
    const size_t bytes = static_cast<size_t>(d.image->bytes_per_line) * static_cast<size_t>(d.image->height);
    d.shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (d.shm.shmid < 0) return d.Fail(std::string("shmget: ") + std::strerror(errno));
    d.segmentAlive = true;
    d.shm.shmaddr = static_cast<char*>(shmat(d.shm.shmid, nullptr, 0));
    if (d.shm.shmaddr == reinterpret_cast<char*>(-1)) {
        d.shm.shmaddr = nullptr;
        return d.Fail(std::string("shmat: ") + std::strerror(errno));
    }
    d.image->data = d.shm.shmaddr;
    d.shm.readOnly = False;
    XShmAttach(d.dpy, &d.shm);
    XSync(d.dpy, False);
    // Both sides hold the segment now (or the server refused it): it goes
    // away with the last detach.
    shmctl(d.shm.shmid, IPC_RMID, nullptr);
    d.segmentAlive = false;
    if (TakeError(d.dpy) != 0) return d.Fail("the X server refused the shared segment");
    d.attached = true;
    return true;
}

void ScreenGrabber::Close() { impl_->Release(); }

bool ScreenGrabber::IsOpen() const { return impl_->attached; }
int32_t ScreenGrabber::X() const { return impl_->x; }
int32_t ScreenGrabber::Y() const { return impl_->y; }
int32_t ScreenGrabber::Width() const { return impl_->width; }
int32_t ScreenGrabber::Height() const { return impl_->height; }
const std::string& ScreenGrabber::LastError() const { return impl_->error; }

bool ScreenGrabber::Capture() {
    Impl& d = *impl_;
    if (!d.attached) return false;
    const Status ok = XShmGetImage(d.dpy, d.root, d.image, d.x, d.y, AllPlanes);
    const int error = TakeError(d.dpy);
    if (!ok || error != 0) {
        d.error = "XShmGetImage failed";
        return false;
    }
    return true;
}

bool ScreenGrabber::ReadCursor(CursorShot& out) {
    Impl& d = *impl_;
    if (!d.dpy || !d.fixes) return false;
    XFixesCursorImage* img = XFixesGetCursorImage(d.dpy);
    TakeError(d.dpy);
    if (!img) return false;
    out.x = img->x;
    out.y = img->y;
    out.xhot = img->xhot;
    out.yhot = img->yhot;
    out.width = img->width;
    out.height = img->height;
    const size_t count = static_cast<size_t>(img->width) * img->height;
    out.argb.resize(count);
    // The pixels are longs (64-bit here) that hold 32-bit ARGB.
    for (size_t i = 0; i < count; ++i) out.argb[i] = static_cast<uint32_t>(img->pixels[i]);
    XFree(img);
    return true;
}

void ScreenGrabber::CopyBottomUpBgr(uint8_t* dst, int32_t dstStride) const {
    const Impl& d = *impl_;
    if (!d.image || !dst) return;
    const XImage* im = d.image;
    const int32_t w = d.width, h = d.height;
    const bool fast = im->bits_per_pixel == 32 && im->byte_order == LSBFirst && im->red_mask == 0xFF0000 &&
                      im->green_mask == 0xFF00 && im->blue_mask == 0xFF;
    if (fast) {
        for (int32_t r = 0; r < h; ++r) {
            const uint8_t* src = reinterpret_cast<const uint8_t*>(im->data) + static_cast<size_t>(r) * im->bytes_per_line;
            uint8_t* out = dst + static_cast<size_t>(h - 1 - r) * dstStride;
            for (int32_t c = 0; c < w; ++c) {
                out[0] = src[0];
                out[1] = src[1];
                out[2] = src[2];
                out += 3;
                src += 4;
            }
        }
        return;
    }
    // Any other visual: pixel by pixel through its masks.
    int rs, rb, gs, gb, bs, bb;
    MaskShape(im->red_mask, rs, rb);
    MaskShape(im->green_mask, gs, gb);
    MaskShape(im->blue_mask, bs, bb);
    XImage* mut = const_cast<XImage*>(im);
    for (int32_t r = 0; r < h; ++r) {
        uint8_t* out = dst + static_cast<size_t>(h - 1 - r) * dstStride;
        for (int32_t c = 0; c < w; ++c) {
            const unsigned long p = XGetPixel(mut, c, r);
            out[0] = Channel(p, bs, bb);
            out[1] = Channel(p, gs, gb);
            out[2] = Channel(p, rs, rb);
            out += 3;
        }
    }
}

void DrawCursorBottomUp(uint8_t* frame, int32_t stride, int32_t width, int32_t height, int32_t originX,
                        int32_t originY, const CursorShot& cursor) {
    if (!frame || width <= 0 || height <= 0 || cursor.width <= 0 || cursor.height <= 0) return;
    if (cursor.argb.size() < static_cast<size_t>(cursor.width) * static_cast<size_t>(cursor.height)) return;
    const int64_t left = int64_t{cursor.x} - cursor.xhot - originX;
    const int64_t top = int64_t{cursor.y} - cursor.yhot - originY;
    for (int32_t cy = 0; cy < cursor.height; ++cy) {
        const int64_t fy = top + cy;  // row from the frame's top
        if (fy < 0 || fy >= height) continue;
        uint8_t* row = frame + static_cast<size_t>(height - 1 - fy) * static_cast<size_t>(stride);
        for (int32_t cx = 0; cx < cursor.width; ++cx) {
            const int64_t fx = left + cx;
            if (fx < 0 || fx >= width) continue;
            const uint32_t p = cursor.argb[static_cast<size_t>(cy) * cursor.width + cx];
            const uint32_t a = p >> 24;
            if (a == 0) continue;
            uint8_t* px = row + fx * 3;
            // Premultiplied: colour + background x (1 - alpha).
            const uint32_t keep = 255 - a;
            px[0] = static_cast<uint8_t>(std::min<uint32_t>(255, (p & 0xFF) + (px[0] * keep + 127) / 255));
            px[1] = static_cast<uint8_t>(std::min<uint32_t>(255, ((p >> 8) & 0xFF) + (px[1] * keep + 127) / 255));
            px[2] = static_cast<uint8_t>(std::min<uint32_t>(255, ((p >> 16) & 0xFF) + (px[2] * keep + 127) / 255));
        }
    }
}

bool ScreenSize(int32_t& width, int32_t& height, const char* display) {
    Display* dpy = XOpenDisplay(display);
    if (!dpy) return false;
    width = DisplayWidth(dpy, DefaultScreen(dpy));
    height = DisplayHeight(dpy, DefaultScreen(dpy));
    XCloseDisplay(dpy);
    return true;
}

}  // namespace platform
