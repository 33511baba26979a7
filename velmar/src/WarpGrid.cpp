#include <cmath>
#include <mutex>
#include <numbers>

#include "lintra/algorithm.h"
#include "platform/cnum.h"
#include "util/Util.h"
#include "velmar/WarpEditState.h"
#include "velmar/warp.h"

namespace {

constexpr int kLast = 40;  // last index of either axis
constexpr int kHalf = 20;  // middle index; counts as the high half

std::mutex g_stateLock;
velmar::WarpEditState g_state;  // guarded by g_stateLock

bool InGrid(int k) { return k >= 0 && k <= kLast; }

// A side only matters, and is only checked, on an axis that is mirrored:
// outside the grid it names no half to copy from.
bool SidesValid(int flags, int sideI, int sideJ, const char* who) {
    if ((flags & KESTRANE_MIRROR_I) && !InGrid(sideI)) {
        LOGTEXT::LogError("%s refused: sideI=%d outside 0..40", who, sideI);
        return false;
    }
    if ((flags & KESTRANE_MIRROR_J) && !InGrid(sideJ)) {
        LOGTEXT::LogError("%s refused: sideJ=%d outside 0..40", who, sideJ);
        return false;
    }
    return true;
}

// Points are copied by value: the grid may sit in a packed record.
void Mirror(DOUBLE_POINT grid[41][41], int flags, int sideI, int sideJ) {
    if (flags & KESTRANE_MIRROR_I) {
        const bool fromLow = sideI < kHalf;
        for (int j = 0; j <= kLast; ++j) {
            for (int i = 0; i < kHalf; ++i) {
                const int src = fromLow ? i : kLast - i;
                const int dst = fromLow ? kLast - i : i;
                const DOUBLE_POINT p = grid[src][j];
                grid[dst][j] = {-p.x, p.y};
            }
            grid[kHalf][j].x = (grid[kHalf - 1][j].x + grid[kHalf + 1][j].x) / 2;
        }
    }
    if (flags & KESTRANE_MIRROR_J) {
        const bool fromLow = sideJ < kHalf;
        for (int j = 0; j < kHalf; ++j) {
            const int src = fromLow ? j : kLast - j;
            const int dst = fromLow ? kLast - j : j;
            for (int i = 0; i <= kLast; ++i) {
                const DOUBLE_POINT p = grid[i][src];
                grid[i][dst] = {p.x, -p.y};
            }
        }
        for (int i = 0; i <= kLast; ++i) grid[i][kHalf].y = (grid[i][kHalf - 1].y + grid[i][kHalf + 1].y) / 2;
    }
}

}  // namespace

namespace velmar {

WarpEditState GetWarpEditState() {
    std::lock_guard<std::mutex> lock(g_stateLock);
    return g_state;
}

}  // namespace velmar

extern "C" {

void Kestrane_CalcVertexValue(const DOUBLE_POINT points[9], DOUBLE_POINT grid[41][41], int sideI, int sideJ,
                              int mode) {
    LOGTEXT::LogInfo("Kestrane_CalcVertexValue is in. side=%d,%d mode=%d", sideI, sideJ, mode);
    int flags;
    {
        std::lock_guard<std::mutex> lock(g_stateLock);
        flags = g_state.adjustValue;
    }
    // Everything is checked before the fill, so a refused call leaves the grid whole.
    if (!points || !grid) {
        LOGTEXT::LogError("Kestrane_CalcVertexValue refused: null %s", points ? "grid" : "points");
        return;
    }
    if (mode < 0 || mode > 3) {
        LOGTEXT::LogError("Kestrane_CalcVertexValue refused: mode=%d outside 0..3", mode);
        return;
    }
    if (!SidesValid(flags, sideI, sideJ, "Kestrane_CalcVertexValue")) return;

    if (mode == 0)
        LINTRA_ALGORITHM::CalcVertexValue_9(points, grid);
    else
        LINTRA_ALGORITHM::CalcVertexValue_4(points, grid);
    Mirror(grid, flags, sideI, sideJ);
    LOGTEXT::LogInfo("Kestrane_CalcVertexValue is over");
}

void Kestrane_DoImageVertex(DOUBLE_POINT grid[41][41], int flags, int sideI, int sideJ) {
    LOGTEXT::LogInfo("Kestrane_DoImageVertex is in. flags=0x%x side=%d,%d", static_cast<unsigned>(flags), sideI,
                     sideJ);
    if (!grid) {
        LOGTEXT::LogError("Kestrane_DoImageVertex refused: null grid");
        return;
    }
    if (!SidesValid(flags, sideI, sideJ, "Kestrane_DoImageVertex")) return;
    Mirror(grid, flags, sideI, sideJ);
    LOGTEXT::LogInfo("Kestrane_DoImageVertex is over");
}

int Kestrane_SetAdjustMode(int mode, int value) {
    LOGTEXT::LogInfo("Kestrane_SetAdjustMode is in. mode=%d value=0x%x", mode, static_cast<unsigned>(value));
    {
        std::lock_guard<std::mutex> lock(g_stateLock);
        g_state.adjustMode = mode;
        g_state.adjustValue = value;
    }
    LOGTEXT::LogInfo("Kestrane_SetAdjustMode is over");
    return mode;
}

void Kestrane_ChooseVertex(const int flags[41][41]) {
    LOGTEXT::LogInfo("Kestrane_ChooseVertex is in");
    if (!flags) {
        LOGTEXT::LogError("Kestrane_ChooseVertex refused: null mask");
        return;
    }
    std::vector<velmar::GridPoint> chosen;
    for (int i = 0; i <= kLast; ++i)
        for (int j = 0; j <= kLast; ++j)
            if (flags[i][j] > 0) chosen.push_back({i, j});
    const size_t count = chosen.size();
    {
        std::lock_guard<std::mutex> lock(g_stateLock);
        g_state.selected.swap(chosen);
    }
    LOGTEXT::LogInfo("Kestrane_ChooseVertex is over. selected=%zu", count);
}

int Kestrane_ChooseVertex2(int i, int j) {
    LOGTEXT::LogInfo("Kestrane_ChooseVertex2 is in. i=%d,j=%d", i, j);
    {
        std::lock_guard<std::mutex> lock(g_stateLock);
        g_state.current = {i, j};
    }
    LOGTEXT::LogInfo("Kestrane_ChooseVertex2 is over");
    return i;
}

void Kestrane_RotateVertex(DOUBLE_POINT grid[41][41], double degrees) {
    LOGTEXT::LogInfo("%s", platform::FormatC("Kestrane_RotateVertex is in. degrees=%f", degrees).c_str());
    if (!grid) {
        LOGTEXT::LogError("Kestrane_RotateVertex refused: null grid");
        return;
    }
    if (!std::isfinite(degrees)) {  // would turn every point into NaN
        LOGTEXT::LogError("Kestrane_RotateVertex refused: angle not finite");
        return;
    }
    const double r = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(r), s = std::sin(r);
    for (int i = 0; i <= kLast; ++i) {
        for (int j = 0; j <= kLast; ++j) {
            const DOUBLE_POINT p = grid[i][j];
            grid[i][j] = {p.x * c + p.y * s, p.y * c - p.x * s};
        }
    }
    LOGTEXT::LogInfo("Kestrane_RotateVertex is over");
}

}  // extern "C"
