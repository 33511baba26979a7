// Key-framed effects of a media item as one line of text:
//   "<key>:{time,v1/v2/v3/v4}{...};<key>:{...}"
// Numbers are written with six decimals and read in the C locale, whatever
// locale the host process runs in.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "lintra/netdef.h"

// Action key -> key points in their order; keys are visited ascending.
using SPECIAL_ACTION_MAP = std::map<int, std::vector<ACTION_LEVEL_INFO>>;

// The text of every key in ascending order; an empty map gives "".
std::string EncodeSepcialActionInfo(const SPECIAL_ACTION_MAP& actions);

// Clears `out` and fills it from `text`. Returns 1 when `out` ends non-empty,
// else 0. Never fails on malformed text: decoding stops at the first action
// without a key, a key point needs "{", "," and "}" in that order, and a
// key point with fewer than four "/"-separated values gets 0 for the missing
// ones ("{0,5}" is time 0, values 5, 0, 0, 0). A key that appears twice keeps
// its last key points.
int DecodeSepcialActionInfo(const std::string& text, SPECIAL_ACTION_MAP& out);
