#include "platform/xidle.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <mutex>

namespace platform {

struct XIdle::Impl {
    std::mutex mu;
    Display* dpy = nullptr;
    XScreenSaverInfo* info = nullptr;
    bool dpms = false;
    std::string error;
};

XIdle::XIdle() : impl_(std::make_unique<Impl>()) {}

XIdle::~XIdle() { Close(); }

bool XIdle::Open(const char* display) {
    Close();
    std::lock_guard lock(impl_->mu);
    impl_->dpy = XOpenDisplay(display);
    if (!impl_->dpy) {
        impl_->error = std::string("cannot open display ") + (display ? display : "$DISPLAY");
        return false;
    }
    int event = 0, error = 0;
    if (XScreenSaverQueryExtension(impl_->dpy, &event, &error)) impl_->info = XScreenSaverAllocInfo();
    if (!impl_->info) impl_->error = "the display has no MIT-SCREEN-SAVER extension";
    impl_->dpms = DPMSQueryExtension(impl_->dpy, &event, &error) && DPMSCapable(impl_->dpy);
    return true;
}

void XIdle::Close() {
    std::lock_guard lock(impl_->mu);
    if (impl_->info) XFree(impl_->info);
    impl_->info = nullptr;
    if (impl_->dpy) XCloseDisplay(impl_->dpy);
    impl_->dpy = nullptr;
    impl_->dpms = false;
}

bool XIdle::IsOpen() const {
    std::lock_guard lock(impl_->mu);
    return impl_->dpy != nullptr;
}

bool XIdle::HasIdleTime() const {
    std::lock_guard lock(impl_->mu);
    return impl_->info != nullptr;
}

bool XIdle::IdleTimeMs(uint32_t& ms) {
    std::lock_guard lock(impl_->mu);
    if (!impl_->dpy || !impl_->info) return false;
    if (!XScreenSaverQueryInfo(impl_->dpy, DefaultRootWindow(impl_->dpy), impl_->info)) return false;
    const unsigned long idle = impl_->info->idle;
    ms = idle > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<uint32_t>(idle);
    return true;
}

bool XIdle::KeepAwake() {
    std::lock_guard lock(impl_->mu);
    if (!impl_->dpy) return false;
    XResetScreenSaver(impl_->dpy);
    if (impl_->dpms) {
        CARD16 level = DPMSModeOn;
        BOOL enabled = False;
        if (DPMSInfo(impl_->dpy, &level, &enabled) && enabled && level != DPMSModeOn)
            DPMSForceLevel(impl_->dpy, DPMSModeOn);
    }
    XFlush(impl_->dpy);
    return true;
}

bool XIdle::SuspendScreenSaver(bool suspend) {
    std::lock_guard lock(impl_->mu);
    if (!impl_->dpy || !impl_->info) return false;
    XScreenSaverSuspend(impl_->dpy, suspend ? True : False);
    XFlush(impl_->dpy);
    return true;
}

const std::string& XIdle::LastError() const { return impl_->error; }

}  // namespace platform
