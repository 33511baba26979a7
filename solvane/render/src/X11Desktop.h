// The few X11 calls of the output window: window class, task-bar state,
// global hot keys, screen-saver suspension and GLX swap control. Each does
// nothing when the application does not run on X11.
#pragma once

#include <cstdint>
#include <vector>

namespace x11desk {

bool OnX11();
void SetWmClass(uint32_t window, const char* instance, const char* className);
// Adds _NET_WM_STATE_SKIP_TASKBAR to the window (mapped or not).
void SetSkipTaskbar(uint32_t window, bool mapped);
// Suspends (or resumes) the screen saver and display power saving for as
// long as this client lives.
void SuspendScreenSaver(bool suspend);
// Whether a GLX swap-interval extension is offered.
bool SwapControlAvailable();
// Sets the swap interval of the drawable; the context must be current on it.
bool SetSwapInterval(uint32_t window, int interval);

// Global Ctrl+F2 and Ctrl+F3 grabbed on the root window, with every
// combination of the lock modifiers.
class HotKeys {
public:
    enum Id { kNone = 0, kMinimise = 1, kRestore = 2 };
    ~HotKeys() { Unregister(); }
    bool Register();
    void Unregister();
    // Which hot key an xcb event is (kNone for anything else).
    Id Match(const void* xcbEvent) const;

private:
    std::vector<uint16_t> m_modifiers;
    uint8_t m_keyMinimise = 0;
    uint8_t m_keyRestore = 0;
    uint32_t m_root = 0;
    bool m_registered = false;
};

}  // namespace x11desk
