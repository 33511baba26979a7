#include "xdisplays/XRandrDisplayBackend.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>

#include "util/Util.h"

namespace {

// X errors of a request are caught here instead of ending the process.
// Xlib's handler is process-wide: it is swapped only around our own calls.
std::mutex g_trapMutex;
int g_trapError = 0;
int TrapHandler(Display*, XErrorEvent* e) {
    g_trapError = e->error_code;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* dpy) : dpy_(dpy), lock_(g_trapMutex) {
        XSync(dpy_, False);
        g_trapError = 0;
        old_ = XSetErrorHandler(TrapHandler);
    }
    ~ErrorTrap() {
        XSync(dpy_, False);
        XSetErrorHandler(old_);
    }
    bool Failed() {
        XSync(dpy_, False);
        return g_trapError != 0;
    }

private:
    Display* dpy_;
    std::lock_guard<std::mutex> lock_;
    int (*old_)(Display*, XErrorEvent*) = nullptr;
};

int32_t OrientationOf(Rotation r) {
    switch (r & 0xF) {
    case RR_Rotate_90: return 1;
    case RR_Rotate_180: return 2;
    case RR_Rotate_270: return 3;
    default: return 0;
    }
}

Rotation RotationOf(int32_t orientation) {
    switch (orientation) {
    case 1: return RR_Rotate_90;
    case 2: return RR_Rotate_180;
    case 3: return RR_Rotate_270;
    default: return RR_Rotate_0;
    }
}

const XRRModeInfo* FindMode(const XRRScreenResources* res, RRMode id) {
    for (int i = 0; i < res->nmode; ++i)
        if (res->modes[i].id == id) return &res->modes[i];
    return nullptr;
}

int32_t RefreshOf(const XRRModeInfo* m) {
    if (!m || m->hTotal == 0 || m->vTotal == 0) return 0;
    return static_cast<int32_t>(std::lround(static_cast<double>(m->dotClock) / (double(m->hTotal) * m->vTotal)));
}

struct ResFree {
    void operator()(XRRScreenResources* r) const { XRRFreeScreenResources(r); }
};
struct OutFree {
    void operator()(XRROutputInfo* o) const { XRRFreeOutputInfo(o); }
};
struct CrtcFree {
    void operator()(XRRCrtcInfo* c) const { XRRFreeCrtcInfo(c); }
};
using ResPtr = std::unique_ptr<XRRScreenResources, ResFree>;
using OutPtr = std::unique_ptr<XRROutputInfo, OutFree>;
using CrtcPtr = std::unique_ptr<XRRCrtcInfo, CrtcFree>;

}  // namespace

struct XRandrDisplayBackend::Impl {
    Display* dpy = nullptr;
    Window root = 0;
    int bitsPerPixel = 0;
    bool monitors = false;          // the server knows monitors (XRandR 1.5)
    // Output index of each display of the last list made from monitors (-1:
    // a monitor that is no single output); empty while displays are outputs.
    std::vector<int> outputOf;
};

namespace {

struct MonitorsFree {
    void operator()(XRRMonitorInfo* m) const { XRRFreeMonitors(m); }
};

void PickPrimary(std::vector<DisplayOutput>& outs) {
    if (std::any_of(outs.begin(), outs.end(), [](const DisplayOutput& o) { return o.primary; })) return;
    // Without a primary set, the display at the origin is the primary.
    auto it = std::find_if(outs.begin(), outs.end(),
                           [](const DisplayOutput& o) { return o.attached && o.rect.left == 0 && o.rect.top == 0; });
    if (it == outs.end())
        it = std::find_if(outs.begin(), outs.end(), [](const DisplayOutput& o) { return o.attached; });
    if (it != outs.end()) it->primary = true;
}

}  // namespace

XRandrDisplayBackend::XRandrDisplayBackend(const char* displayName) : impl_(std::make_unique<Impl>()) {
    Display* dpy = XOpenDisplay(displayName);
    if (!dpy) {
        LOGTEXT::LogError("display list: cannot open X display %s.", displayName ? displayName : "(default)");
        return;
    }
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(dpy, &ev, &err) || !XRRQueryVersion(dpy, &major, &minor) ||
        (major == 1 && minor < 2)) {
        LOGTEXT::LogError("display list: the X server has no XRandR 1.2.");
        XCloseDisplay(dpy);
        return;
    }
    impl_->dpy = dpy;
    impl_->monitors = major > 1 || (major == 1 && minor >= 5);
    const int screen = DefaultScreen(dpy);
    impl_->root = RootWindow(dpy, screen);
    const int depth = DefaultDepth(dpy, screen);
    int n = 0;
    if (XPixmapFormatValues* formats = XListPixmapFormats(dpy, &n)) {
        for (int i = 0; i < n; ++i)
            if (formats[i].depth == depth) impl_->bitsPerPixel = formats[i].bits_per_pixel;
        XFree(formats);
    }
    if (impl_->bitsPerPixel == 0) impl_->bitsPerPixel = depth;
}

XRandrDisplayBackend::~XRandrDisplayBackend() {
    if (impl_->dpy) XCloseDisplay(impl_->dpy);
}

bool XRandrDisplayBackend::IsOpen() const { return impl_->dpy != nullptr; }

std::vector<DisplayOutput> XRandrDisplayBackend::Outputs() {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<DisplayOutput> outs;
    Display* dpy = impl_->dpy;
    if (!dpy) return outs;
    ResPtr res(XRRGetScreenResourcesCurrent(dpy, impl_->root));
    if (!res) return outs;
    const RROutput primary = XRRGetOutputPrimary(dpy, impl_->root);
    for (int i = 0; i < res->noutput; ++i) {
        DisplayOutput o;
        OutPtr info(XRRGetOutputInfo(dpy, res.get(), res->outputs[i]));
        if (!info) {
            outs.push_back(o);
            continue;
        }
        o.name.assign(info->name, static_cast<size_t>(info->nameLen));
        for (int m = 0; m < info->nmode; ++m) {
            if (const XRRModeInfo* mi = FindMode(res.get(), info->modes[m]))
                o.modes.push_back(SIZE{static_cast<int32_t>(mi->width), static_cast<int32_t>(mi->height)});
        }
        if (info->crtc) {
            CrtcPtr crtc(XRRGetCrtcInfo(dpy, res.get(), info->crtc));
            if (crtc && crtc->mode) {
                o.attached = true;
                o.rect = RECT{crtc->x, crtc->y, crtc->x + static_cast<int32_t>(crtc->width),
                              crtc->y + static_cast<int32_t>(crtc->height)};
                o.work = o.rect;
                o.orientation = OrientationOf(crtc->rotation);
                o.refreshRate = RefreshOf(FindMode(res.get(), crtc->mode));
                o.bitsPerPixel = impl_->bitsPerPixel;
                o.primary = res->outputs[i] == primary;
            }
        }
        outs.push_back(std::move(o));
    }
    impl_->outputOf.clear();
    std::vector<DisplayOutput> shown = MonitorsLocked(outs, res.get());
    if (!shown.empty()) outs = std::move(shown);
    PickPrimary(outs);
    return outs;
}

// Monitors that the user defined (a split of one output into several
// displays, or a join of several outputs into one) are the displays the
// desktop shows; they replace the list of outputs. Without such a monitor the
// list stays as it is (empty result).
std::vector<DisplayOutput> XRandrDisplayBackend::MonitorsLocked(const std::vector<DisplayOutput>& outputs,
                                                                const void* resources) {
    std::vector<DisplayOutput> shown;
    Display* dpy = impl_->dpy;
    if (!impl_->monitors) return shown;
    int n = 0;
    std::unique_ptr<XRRMonitorInfo, MonitorsFree> mons(XRRGetMonitors(dpy, impl_->root, True, &n));
    if (!mons || n <= 0) return shown;
    if (std::all_of(mons.get(), mons.get() + n, [](const XRRMonitorInfo& m) { return m.automatic != 0; }))
        return shown;
    const auto* res = static_cast<const XRRScreenResources*>(resources);
    for (int i = 0; i < n; ++i) {
        const XRRMonitorInfo& m = mons.get()[i];
        DisplayOutput o;
        if (char* name = XGetAtomName(dpy, m.name)) {
            o.name = name;
            XFree(name);
        }
        o.attached = true;
        o.primary = m.primary != 0;
        o.rect = RECT{m.x, m.y, m.x + m.width, m.y + m.height};
        o.work = o.rect;
        o.bitsPerPixel = impl_->bitsPerPixel;
        o.modes.push_back(SIZE{m.width, m.height});
        int outputIndex = -1;
        for (int k = 0; k < m.noutput && res; ++k) {
            for (int j = 0; j < res->noutput && j < static_cast<int>(outputs.size()); ++j) {
                if (res->outputs[j] != m.outputs[k]) continue;
                const DisplayOutput& out = outputs[static_cast<size_t>(j)];
                if (o.refreshRate == 0) o.refreshRate = out.refreshRate;
                // A monitor that is exactly one output can change its mode.
                if (m.noutput == 1 && out.attached && out.rect.left == o.rect.left && out.rect.top == o.rect.top &&
                    out.rect.right == o.rect.right && out.rect.bottom == o.rect.bottom) {
                    o.modes = out.modes;
                    o.orientation = out.orientation;
                    outputIndex = j;
                }
            }
        }
        impl_->outputOf.push_back(outputIndex);
        shown.push_back(std::move(o));
    }
    return shown;
}

bool XRandrDisplayBackend::SetMode(size_t index, int32_t width, int32_t height, int32_t orientation) {
    std::lock_guard<std::mutex> lock(mu_);
    Display* dpy = impl_->dpy;
    if (!dpy || width <= 0 || height <= 0) return false;
    if (!impl_->outputOf.empty()) {
        // The list was made from monitors: only a monitor that is one whole
        // output has a mode to change.
        if (index >= impl_->outputOf.size() || impl_->outputOf[index] < 0) return false;
        index = static_cast<size_t>(impl_->outputOf[index]);
    }
    ResPtr res(XRRGetScreenResourcesCurrent(dpy, impl_->root));
    if (!res || index >= static_cast<size_t>(res->noutput)) return false;
    OutPtr info(XRRGetOutputInfo(dpy, res.get(), res->outputs[index]));
    if (!info || !info->crtc) return false;
    CrtcPtr crtc(XRRGetCrtcInfo(dpy, res.get(), info->crtc));
    if (!crtc) return false;

    const Rotation rotation = RotationOf(orientation);
    if (!(crtc->rotations & rotation)) return false;
    // Modes are unrotated; the size asked for is the one seen on screen.
    const bool portrait = orientation == 1 || orientation == 3;
    const uint32_t mw = static_cast<uint32_t>(portrait ? height : width);
    const uint32_t mh = static_cast<uint32_t>(portrait ? width : height);
    const int32_t currentRate = RefreshOf(FindMode(res.get(), crtc->mode));
    RRMode mode = 0;
    for (int m = 0; m < info->nmode; ++m) {
        const XRRModeInfo* mi = FindMode(res.get(), info->modes[m]);
        if (!mi || mi->width != mw || mi->height != mh) continue;
        if (!mode || RefreshOf(mi) == currentRate) mode = mi->id;
        if (RefreshOf(mi) == currentRate) break;
    }
    if (!mode) return false;

    // The screen must hold every CRTC, this one at its new size.
    int32_t needW = crtc->x + width, needH = crtc->y + height;
    for (int c = 0; c < res->ncrtc; ++c) {
        if (res->crtcs[c] == info->crtc) continue;
        CrtcPtr other(XRRGetCrtcInfo(dpy, res.get(), res->crtcs[c]));
        if (!other || !other->mode) continue;
        needW = std::max<int32_t>(needW, other->x + static_cast<int32_t>(other->width));
        needH = std::max<int32_t>(needH, other->y + static_cast<int32_t>(other->height));
    }
    const int screen = DefaultScreen(dpy);
    const int curW = DisplayWidth(dpy, screen), curH = DisplayHeight(dpy, screen);
    const int curMmW = DisplayWidthMM(dpy, screen), curMmH = DisplayHeightMM(dpy, screen);
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    XRRGetScreenSizeRange(dpy, impl_->root, &minW, &minH, &maxW, &maxH);
    if (needW > maxW || needH > maxH) return false;
    auto mm = [](int px, int curPx, int curMm) { return curPx > 0 ? std::max(1, px * curMm / curPx) : px; };

    ErrorTrap trap(dpy);
    if (needW > curW || needH > curH) {
        const int w = std::max(curW, needW), h = std::max(curH, needH);
        XRRSetScreenSize(dpy, impl_->root, w, h, mm(w, curW, curMmW), mm(h, curH, curMmH));
        if (trap.Failed()) return false;
    }
    const Status st = XRRSetCrtcConfig(dpy, res.get(), info->crtc, CurrentTime, crtc->x, crtc->y, mode, rotation,
                                       crtc->outputs, crtc->noutput);
    if (st != RRSetConfigSuccess || trap.Failed()) return false;
    if ((needW < curW || needH < curH) && needW >= minW && needH >= minH) {
        XRRSetScreenSize(dpy, impl_->root, needW, needH, mm(needW, curW, curMmW), mm(needH, curH, curMmH));
        trap.Failed();  // a screen left larger than needed still shows every display
    }
    return true;
}
