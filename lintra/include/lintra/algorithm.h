// Filling a 41 x 41 warp grid from its control points. This is the one
// implementation of the fills: the display server and the media library call
// these functions rather than carrying copies.
//
// Grid layout: grid[i][j], i horizontal (0 left .. 40 right), j vertical
// (0 bottom .. 40 top), i.e. point (i, j) at i * 41 + j of the flat array.
// Every function writes all 1,681 points and cannot fail. The grid may lie
// inside a packed record (DOUBLE_POINT has alignment 1).
#pragma once

#include "lintra/netdef.h"

namespace LINTRA_ALGORITHM {

// Nine control points, in this order, pin these grid nodes:
//   0 (0,0)  bottom-left      4 (20,0)  middle of the bottom edge
//   1 (40,0) bottom-right     5 (40,20) middle of the right edge
//   2 (40,40) top-right       6 (20,40) middle of the top edge
//   3 (0,40) top-left         7 (0,20)  middle of the left edge
//                             8 (20,20) centre
// The grid is the tensor product of two quadratic Bezier curves over the net
// 0 4 1 / 7 8 5 / 3 6 2, with u = i/40 and v = j/40 rounded to single
// precision (the corners are met exactly; middles are Bezier control points,
// not points of the surface, unless the net is flat).
void CalcVertexValue_9(const DOUBLE_POINT controls[9], DOUBLE_POINT grid[41][41]);
void CalcVertexValue_9(const double xs[9], const double ys[9], DOUBLE_POINT grid[41][41]);

// Four corners in the order (0,0), (40,0), (40,40), (0,40). The borders are
// divided into 40 equal steps between their corners; inside, x is linear in i
// between the left and right borders and y linear in j between the bottom and
// top borders.
void CalcVertexValue_4(const DOUBLE_POINT corners[4], DOUBLE_POINT grid[41][41]);
void CalcVertexValue_4(const double xs[4], const double ys[4], DOUBLE_POINT grid[41][41]);

}  // namespace LINTRA_ALGORITHM
