#include "X11Desktop.h"

#include <QX11Info>

#include <GL/glx.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstring>
#include <string>

#include "util/Util.h"

namespace x11desk {

namespace {
Display* Dpy() { return QX11Info::isPlatformX11() ? QX11Info::display() : nullptr; }

// The modifier bit a key with the given symbol is bound to (0: none).
unsigned ModifierOf(Display* dpy, KeySym sym) {
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    if (code == 0) return 0;
    XModifierKeymap* map = XGetModifierMapping(dpy);
    if (!map) return 0;
    unsigned mask = 0;
    for (int mod = 0; mod < 8 && mask == 0; ++mod)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[mod * map->max_keypermod + k] == code) {
                mask = 1u << mod;
                break;
            }
    XFreeModifiermap(map);
    return mask;
}

bool HasGlxExtension(Display* dpy, const char* name) {
    const char* all = glXQueryExtensionsString(dpy, DefaultScreen(dpy));
    if (!all) return false;
    const size_t n = std::strlen(name);
    for (const char* p = all; (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == all || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}
}  // namespace

bool OnX11() { return Dpy() != nullptr; }

void SetWmClass(uint32_t window, const char* instance, const char* className) {
    Display* dpy = Dpy();
    if (!dpy || window == 0) return;
    XClassHint hint;
    hint.res_name = const_cast<char*>(instance);
    hint.res_class = const_cast<char*>(className);
    XSetClassHint(dpy, window, &hint);
    XFlush(dpy);
}

void SetSkipTaskbar(uint32_t window, bool mapped) {
    Display* dpy = Dpy();
    if (!dpy || window == 0) return;
    const Atom state = XInternAtom(dpy, "_NET_WM_STATE", False);
    const Atom skip = XInternAtom(dpy, "_NET_WM_STATE_SKIP_TASKBAR", False);
    if (mapped) {
        // A mapped window asks the window manager.
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = window;
        ev.xclient.message_type = state;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = 1;  // add
        ev.xclient.data.l[1] = static_cast<long>(skip);
        ev.xclient.data.l[3] = 1;
        XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    } else {
        // An unmapped window carries the state into its first mapping.
        std::vector<Atom> atoms;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, window, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
                Success &&
            data) {
            if (format == 32) {
                const auto* list = reinterpret_cast<const Atom*>(data);
                atoms.assign(list, list + count);
            }
            XFree(data);
        }
        bool present = false;
        for (Atom a : atoms) present = present || a == skip;
        if (!present) atoms.push_back(skip);
        XChangeProperty(dpy, window, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
    }
    XFlush(dpy);
}

void SuspendScreenSaver(bool suspend) {
    Display* dpy = Dpy();
    if (!dpy) return;
    int event = 0, error = 0;
    if (XScreenSaverQueryExtension(dpy, &event, &error)) XScreenSaverSuspend(dpy, suspend ? True : False);
    if (suspend) XResetScreenSaver(dpy);
    XFlush(dpy);
}

bool SwapControlAvailable() {
    Display* dpy = Dpy();
    return dpy && (HasGlxExtension(dpy, "GLX_EXT_swap_control") || HasGlxExtension(dpy, "GLX_MESA_swap_control"));
}

bool SetSwapInterval(uint32_t window, int interval) {
    Display* dpy = Dpy();
    if (!dpy) return false;
    if (HasGlxExtension(dpy, "GLX_EXT_swap_control")) {
        using Fn = void (*)(Display*, GLXDrawable, int);
        auto fn = reinterpret_cast<Fn>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
        if (fn && window != 0) {
            fn(dpy, window, interval);
            return true;
        }
    }
    if (HasGlxExtension(dpy, "GLX_MESA_swap_control")) {
        using Fn = int (*)(unsigned);
        auto fn = reinterpret_cast<Fn>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
        if (fn) return fn(static_cast<unsigned>(interval)) == 0;
    }
    return false;
}

bool HotKeys::Register() {
    Display* dpy = Dpy();
    xcb_connection_t* conn = dpy ? QX11Info::connection() : nullptr;
    if (!conn) return false;
    Unregister();
    m_root = static_cast<uint32_t>(QX11Info::appRootWindow());
    m_keyMinimise = XKeysymToKeycode(dpy, XK_F2);
    m_keyRestore = XKeysymToKeycode(dpy, XK_F3);
    if (m_keyMinimise == 0 || m_keyRestore == 0) return false;

    // A grab matches its modifiers exactly, so the lock keys (Caps, Num,
    // Scroll) are grabbed in every combination.
    const unsigned locks[] = {LockMask, ModifierOf(dpy, XK_Num_Lock), ModifierOf(dpy, XK_Scroll_Lock)};
    m_modifiers.clear();
    for (unsigned combo = 0; combo < 8; ++combo) {
        unsigned mods = ControlMask;
        bool valid = true;
        for (int i = 0; i < 3; ++i)
            if (combo & (1u << i)) {
                if (locks[i] == 0) valid = false;
                mods |= locks[i];
            }
        if (valid) m_modifiers.push_back(static_cast<uint16_t>(mods));
    }

    bool ok = true;
    for (uint8_t key : {m_keyMinimise, m_keyRestore})
        for (uint16_t mods : m_modifiers) {
            xcb_void_cookie_t cookie =
                xcb_grab_key_checked(conn, 0, m_root, mods, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* err = xcb_request_check(conn, cookie)) {
                ok = false;
                free(err);
            }
        }
    xcb_flush(conn);
    if (!ok) LOGTEXT::LogError("hot key Ctrl+F2/Ctrl+F3 is held by another program");
    m_registered = true;
    return ok;
}

void HotKeys::Unregister() {
    if (!m_registered) return;
    m_registered = false;
    xcb_connection_t* conn = Dpy() ? QX11Info::connection() : nullptr;
    if (!conn) return;
    for (uint8_t key : {m_keyMinimise, m_keyRestore})
        for (uint16_t mods : m_modifiers) xcb_ungrab_key(conn, key, m_root, mods);
    // A round trip, so that the keys are free for other clients on return.
    free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
}

HotKeys::Id HotKeys::Match(const void* xcbEvent) const {
    if (!m_registered || !xcbEvent) return kNone;
    const auto* ev = static_cast<const xcb_generic_event_t*>(xcbEvent);
    if ((ev->response_type & 0x7f) != XCB_KEY_PRESS) return kNone;
    const auto* key = static_cast<const xcb_key_press_event_t*>(xcbEvent);
    if (key->event != m_root || !(key->state & ControlMask)) return kNone;
    if (key->detail == m_keyMinimise) return kMinimise;
    if (key->detail == m_keyRestore) return kRestore;
    return kNone;
}

}  // namespace x11desk
