// Warp-grid mathematics of the geometry editor: filling a 41 x 41 grid from
// its control points, mirroring half of it onto the other half, rotating it,
// and the editing state that the image preview draws.
//
// Grids are the caller's; point (i, j) is grid[i][j] (index i * 41 + j), i
// along x and j along y. Grids may lie inside packed records.
#pragma once

#include "lintra/netdef.h"
#include "velmar/export.h"

// Bits of the adjust value (the mirror flags).
inline constexpr int KESTRANE_MIRROR_I = 0x100;  // mirror across the first index, x negated
inline constexpr int KESTRANE_MIRROR_J = 0x200;  // mirror across the second index, y negated

extern "C" {

// Fills the whole grid from the nine control points, then mirrors it with the
// adjust value stored by Kestrane_SetAdjustMode and the side (sideI, sideJ).
// Control points, in order, pin (0,0) (40,0) (40,40) (0,40) (20,0) (40,20)
// (20,40) (0,20) (20,20). mode 0: quadratic Bezier patch over all nine;
// modes 1 to 3: linear fill from the corners (points 0 to 3).
// Refused, grid untouched (logged): a null pointer, a mode outside 0..3, or a
// side outside 0..40 on an axis the stored adjust value mirrors.
VELMAR_API void Kestrane_CalcVertexValue(const DOUBLE_POINT points[9], DOUBLE_POINT grid[41][41], int sideI,
                                         int sideJ, int mode);

// Mirrors the grid in place. flags & KESTRANE_MIRROR_I: the half of i on the
// side of sideI (below 20 low, else high) is copied negated in x onto the
// other half, and column 20 takes the mean x of its neighbours. Then
// flags & KESTRANE_MIRROR_J does the same along j with sideJ and y. Other bits
// are ignored; flags without either bit leave the grid as it is.
// Refused, grid untouched (logged): a null grid, or a side outside 0..40 on
// an axis that is mirrored.
VELMAR_API void Kestrane_DoImageVertex(DOUBLE_POINT grid[41][41], int flags, int sideI, int sideJ);

// Stores the adjust mode (markers the preview draws: 0 selected points,
// 1 corners, 2 nine control points, 3 every point) and the adjust value
// (mirror flags used by Kestrane_CalcVertexValue). Returns mode.
VELMAR_API int Kestrane_SetAdjustMode(int mode, int value);

// Replaces the selected points with every (i, j) whose flags[i][j] > 0, in
// order of i, then j. A null mask is refused and the selection kept.
VELMAR_API void Kestrane_ChooseVertex(const int flags[41][41]);

// Stores the current point; a pair outside 0..40 means none. Returns i.
VELMAR_API int Kestrane_ChooseVertex2(int i, int j);

// Rotates every point about the origin by degrees:
// x' = x cos r + y sin r, y' = y cos r - x sin r (clockwise with y up).
// A null grid or an angle that is not finite is refused, grid untouched.
VELMAR_API void Kestrane_RotateVertex(DOUBLE_POINT grid[41][41], double degrees);

}  // extern "C"
