// The console's pictures, compiled in as resources under ":/images/...".
#pragma once

namespace kestrane {
// Registers the pictures with the resource system; call once before the
// first picture is used (more calls do nothing).
void initPictures();
}  // namespace kestrane
