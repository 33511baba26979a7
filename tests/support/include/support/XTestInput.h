// What a person does with keyboard and mouse, sent through the XTest
// extension of the test's X server: the events reach whatever window the
// server gives them to (the focused one for keys, the one under the pointer
// for buttons), exactly as a real keyboard's and mouse's would. Header-only;
// the test links Xtst and X11.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <initializer_list>
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
    // Held keys, pressed in order and released in reverse (Ctrl+click).
    void hold(std::initializer_list<KeySym> keys) {
        for (KeySym k : keys) keyDown(k);
    }
    void release(std::initializer_list<KeySym> keys) {
        for (auto it = keys.end(); it != keys.begin();) keyUp(*--it);
    }
    // Printable ASCII, key by key, with Shift where the keyboard map puts the
    // character on a shifted level ("(" is Shift+9 on the server's map).
    void type(const std::string& text) {
        for (char c : text) {
            const KeySym sym = c == ' ' ? XK_space : static_cast<KeySym>(static_cast<unsigned char>(c));
            const KeyCode code = XKeysymToKeycode(m_dpy, sym);
            if (!code) continue;
            int per = 0;
            KeySym* levels = XGetKeyboardMapping(m_dpy, code, 1, &per);
            const bool shifted = levels && per > 1 && levels[0] != sym && levels[1] == sym;
            if (levels) XFree(levels);
            if (shifted) keyDown(XK_Shift_L);
            tap(sym);
            if (shifted) keyUp(XK_Shift_L);
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
    void button(unsigned button, bool down) { down ? buttonDown(button) : buttonUp(button); }
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
