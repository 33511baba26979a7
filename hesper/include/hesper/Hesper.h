// Keeps the mouse pointer on the main display while the display server's
// output is in front.
#pragma once

extern "C" {

// 1 switches confinement on, 0 off. Confinement takes effect once
// LimitHesper has been called; repeating the current state changes nothing.
__attribute__((visibility("default"))) void EnableClipMouse(int enable);

// From now on the pointer is kept on the main display (the primary monitor,
// else the monitor at the screen's origin) while confinement is on.
__attribute__((visibility("default"))) void LimitHesper();
}
