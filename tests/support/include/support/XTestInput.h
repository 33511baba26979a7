// What a person does with keyboard and mouse, sent through the XTest
// extension of the test's X server: the events reach whatever window the
// server gives them to (the focused one for keys, the one under the pointer
// for buttons), exactly as a real keyboard's and mouse's would. Header-only;
// the test links Xtst and X11.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <string>

namespace testsupport {

class XTestInput {
public:
    XTestInput() { m_dpy = XOpenDisplay(nullptr); }
    XTestInput(const XTestInput&) = delete;
    XTestInput& operator=(const XTestInput&) = delete;
    ~XTestInput() {
        if (m_dpy) XCloseDisplay(m_dpy);
    }

    bool ok() const {
        int event = 0, error = 0, major = 0, minor = 0;
        return m_dpy && XTestQueryExtension(m_dpy, &event, &error, &major, &minor);
    }

    // One key by its keysym (XK_space, XK_Delete, XK_Left, XK_F5, XK_a).
    void keyDown(KeySym sym) { fakeKey(sym, true); }
    void keyUp(KeySym sym) { fakeKey(sym, false); }
    void tap(KeySym sym) {
        keyDown(sym);
        keyUp(sym);
    }
    // Plain ASCII text, key by key (letters, digits, blanks and '.').
    void type(const std::string& text) {
        for (char ch : text) {
            if (ch == ' ') tap(XK_space);
            else if (ch == '.') tap(XK_period);
            else tap(static_cast<KeySym>(static_cast<unsigned char>(ch)));
        }
    }

    // The pointer to a place on the screen, and buttons (1 left, 3 right).
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(m_dpy, -1, x, y, CurrentTime);
        XSync(m_dpy, False);
    }
    void buttonDown(unsigned button = 1) {
        XTestFakeButtonEvent(m_dpy, button, True, CurrentTime);
        XSync(m_dpy, False);
    }
    void buttonUp(unsigned button = 1) {
        XTestFakeButtonEvent(m_dpy, button, False, CurrentTime);
        XSync(m_dpy, False);
    }
    void click(int x, int y, unsigned button = 1) {
        moveTo(x, y);
        buttonDown(button);
        buttonUp(button);
    }

    // Whether the X server gives keys to that window now (a window just
    // activated may not have the focus yet).
    bool hasFocus(unsigned long window) const {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(m_dpy, &focus, &revert);
        return focus == window;
    }

    Display* display() const { return m_dpy; }

private:
    void fakeKey(KeySym sym, bool down) {
        const KeyCode code = XKeysymToKeycode(m_dpy, sym);
        if (code == 0) return;
        XTestFakeKeyEvent(m_dpy, code, down ? True : False, CurrentTime);
        XSync(m_dpy, False);
    }

    Display* m_dpy = nullptr;
};

}  // namespace testsupport
