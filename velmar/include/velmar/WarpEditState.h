// The library-wide editing state of the warp grid, as the image preview reads it.
#pragma once

#include <vector>

#include "velmar/export.h"

namespace velmar {

struct GridPoint {
    int i = -1;
    int j = -1;
    bool operator==(const GridPoint&) const = default;
};

struct WarpEditState {
    int adjustMode = 0;
    int adjustValue = 0;
    std::vector<GridPoint> selected;
    GridPoint current;  // outside 0..40: no current point

    bool HasCurrent() const { return current.i >= 0 && current.i <= 40 && current.j >= 0 && current.j <= 40; }
};

// A copy of the state, taken under its lock.
VELMAR_API WarpEditState GetWarpEditState();

}  // namespace velmar
