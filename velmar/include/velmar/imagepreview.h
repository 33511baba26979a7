// The geometry editor's preview: one still picture drawn through the warp
// grid being edited, with the grid lines and the markers of the editing
// state (Kestrane_SetAdjustMode, Kestrane_ChooseVertex, Kestrane_ChooseVertex2).
//
// Everything is drawn in normalised device coordinates: grid point (x, y) is
// drawn at x, y, so the visible square is -1..1 on both axes. Texture
// coordinate (0, 0) is the first row of the picture, its bottom.
//
// Threads: the context is made current on the thread that creates it, which
// must be the application object's thread; draw on that thread.
#pragma once

#include "lintra/netdef.h"
#include "platform/types.h"
#include "velmar/export.h"

extern "C" {

// Creates the preview's OpenGL context (an earlier one is released first)
// and leaves it current. window: the caller's QWindow (surface type OpenGL),
// which the drawing swaps; null: a hidden surface of the library's own, for
// a caller that draws into a frame buffer it binds. 1, or 0 on failure.
VELMAR_API int Kestrane_InitImageContext(void* window);
// Releases the context (and the picture's texture with it). Always 1.
VELMAR_API int Kestrane_UninitImageContext();
// Loads a still picture and uploads it as the preview texture (32-bit
// pictures with alpha, others as 24-bit). 0 without a context or for a
// picture that cannot be read (the earlier texture stays); else 1.
VELMAR_API int Kestrane_LoadImage(const char* path);
// Draws into the viewport rect (left, top, right, bottom in window pixels,
// as glViewport takes them) the picture on the grid's first columns x rows
// points (2..41 each; otherwise nothing is drawn and nothing swapped), the
// grid lines in green and the markers in red and yellow, then swaps. 0 for a
// null rect or grid, else 1.
VELMAR_API int Kestrane_DrawImage(const RECT* rect, const DOUBLE_POINT grid[41][41], int columns, int rows);
// The same with the outline of the eight border control points (points 0 to
// 7, in the control-point order) in yellow: lines 0-4-1, 1-5-2, 2-6-3, 3-7-0
// and a disc of radius 0.05 at each. 0 also for null points.
VELMAR_API int Kestrane_DrawImage2(const RECT* rect, const DOUBLE_POINT grid[41][41], const DOUBLE_POINT points[9],
                                   int columns, int rows);

}  // extern "C"
