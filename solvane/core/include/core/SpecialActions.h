// Key-framed special actions of timeline media: the text from the console is
// parsed into key points per action kind, and a media is moved, turned,
// scaled and faded along them at a timeline time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/Media.h"

// Action kinds: 1 position, 2 rotation, 3 scale, 4 transparency; other kinds
// are kept and change nothing.
enum SpecialActionKind : int32_t {
    kActionPosition = 1,
    kActionRotation = 2,
    kActionScale = 3,
    kActionTransparency = 4,
};

using SpecialActionTable = std::map<int32_t, std::vector<ActionKeyPoint>>;

// Empties the table and fills it from the special-action text, each kind's
// key points sorted by time (times relative to the media's start). A key point
// with a time or value that is not a finite number is dropped. True when at
// least one kind holds key points.
bool ParseSpecialActions(const std::string& text, SpecialActionTable& table);

// Writes the media's stage rectangle, angle and alpha for timeline time t
// (seconds) from its action table; nothing changes outside the media's time
// window. The caller holds the media lock.
void ApplySpecialActions(MediaCommon& media, double t);
void ApplySpecialActions(IMedia* media, double t);
