// A person at the test's X server: pointer moves, clicks, drags and typing
// sent through the XTest extension on a connection of its own, so they reach
// whatever real window lies under the pointer or holds the keyboard focus.
// Header-only; the test links X11 and Xtst.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <initializer_list>
#include <string>

namespace testsupport {

class XOperator {
public:
    XOperator() : dpy_(XOpenDisplay(nullptr)) {}
    ~XOperator() {
        if (dpy_) XCloseDisplay(dpy_);
    }
    XOperator(const XOperator&) = delete;
    XOperator& operator=(const XOperator&) = delete;

    bool ok() const { return dpy_ != nullptr; }

    // Pointer to screen coordinates (x, y).
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(dpy_, -1, x, y, CurrentTime);
        XSync(dpy_, False);
    }
    // Mouse button 1 left, 2 middle, 3 right.
    void button(unsigned b, bool down) {
        XTestFakeButtonEvent(dpy_, b, down ? True : False, CurrentTime);
        XSync(dpy_, False);
    }
    void click(int x, int y, unsigned b = 1) {
        moveTo(x, y);
        button(b, true);
        button(b, false);
    }
    // Held keys, pressed in order and released in reverse.
    void hold(std::initializer_list<KeySym> keys) {
        for (KeySym k : keys) key(k, true);
    }
    void release(std::initializer_list<KeySym> keys) {
        for (auto it = keys.end(); it != keys.begin();) key(*--it, false);
    }
    void key(KeySym sym, bool down) {
        const KeyCode code = XKeysymToKeycode(dpy_, sym);
        if (!code) return;
        XTestFakeKeyEvent(dpy_, code, down ? True : False, CurrentTime);
        XSync(dpy_, False);
    }
    void tap(KeySym sym) {
        key(sym, true);
        key(sym, false);
    }
    // Types printable ASCII, with Shift where the keyboard map puts the
    // character on a shifted level ("(" is Shift+9 on the server's map).
    void type(const std::string& text) {
        for (char c : text) {
            const KeySym sym = c == ' ' ? XK_space : static_cast<KeySym>(static_cast<unsigned char>(c));
            const KeyCode code = XKeysymToKeycode(dpy_, sym);
            if (!code) continue;
            int per = 0;
            KeySym* levels = XGetKeyboardMapping(dpy_, code, 1, &per);
            const bool shifted = levels && per > 1 && levels[0] != sym && levels[1] == sym;
            if (levels) XFree(levels);
            if (shifted) key(XK_Shift_L, true);
            XTestFakeKeyEvent(dpy_, code, True, CurrentTime);
            XTestFakeKeyEvent(dpy_, code, False, CurrentTime);
            XSync(dpy_, False);
            if (shifted) key(XK_Shift_L, false);
        }
    }

    Display* display() const { return dpy_; }

private:
    Display* dpy_;
};

}  // namespace testsupport
