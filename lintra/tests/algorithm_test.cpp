#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "lintra/algorithm.h"

namespace {

using LINTRA_ALGORITHM::CalcVertexValue_4;
using LINTRA_ALGORITHM::CalcVertexValue_9;

// Grid node pinned by each of the nine control points, in their order.
constexpr int kNode[9][2] = {{0, 0},  {40, 0},  {40, 40}, {0, 40}, {20, 0},
                             {40, 20}, {20, 40}, {0, 20},  {20, 20}};

struct Grid {
    VERTEX_GRID g;
    Grid() { Poison(); }
    // Every point NaN, so a point the fill skips shows.
    void Poison() {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (auto& col : g)
            for (auto& p : col) p = {nan, nan};
    }
    bool AllWritten() const {
        for (const auto& col : g)
            for (const auto& p : col)
                if (std::isnan(p.x) || std::isnan(p.y)) return false;
        return true;
    }
};

// Nine control points sampled at their nodes from a bilinear quad.
void NineFromQuad(const DOUBLE_POINT q[4], DOUBLE_POINT out[9]) {
    for (int k = 0; k < 9; ++k) {
        const double u = kNode[k][0] / 40.0, v = kNode[k][1] / 40.0;
        out[k].x = (1 - u) * (1 - v) * q[0].x + u * (1 - v) * q[1].x + u * v * q[2].x +
                   (1 - u) * v * q[3].x;
        out[k].y = (1 - u) * (1 - v) * q[0].y + u * (1 - v) * q[1].y + u * v * q[2].y +
                   (1 - u) * v * q[3].y;
    }
}

const DOUBLE_POINT kSquare[4] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
// A non-rectangular quad with dyadic corners so that hand values are exact.
const DOUBLE_POINT kQuad[4] = {{0, 0}, {4, 0}, {6, 8}, {-2, 4}};

TEST(BezierFill, RegularLatticeGivesTheRegularGrid) {
    DOUBLE_POINT controls[9];
    NineFromQuad(kSquare, controls);
    Grid grid;
    CalcVertexValue_9(controls, grid.g);
    ASSERT_TRUE(grid.AllWritten());
    for (int i = 0; i <= 40; ++i) {
        for (int j = 0; j <= 40; ++j) {
            EXPECT_NEAR(grid.g[i][j].x, -1.0 + i / 20.0, 1e-7) << i << "," << j;
            EXPECT_NEAR(grid.g[i][j].y, -1.0 + j / 20.0, 1e-7) << i << "," << j;
            // The parameter is the single-precision i/40, as every peer uses it.
            EXPECT_NEAR(grid.g[i][j].x, -1.0 + 2.0 * static_cast<float>(i / 40.0), 1e-12);
        }
    }
    // Control points on their nodes: corners exact, the net is flat.
    for (int k = 0; k < 9; ++k) {
        EXPECT_NEAR(grid.g[kNode[k][0]][kNode[k][1]].x, controls[k].x, 1e-12) << k;
        EXPECT_NEAR(grid.g[kNode[k][0]][kNode[k][1]].y, controls[k].y, 1e-12) << k;
    }
}

TEST(BezierFill, NonRectangularFlatNetIsTheBilinearQuad) {
    DOUBLE_POINT controls[9];
    NineFromQuad(kQuad, controls);
    Grid grid;
    CalcVertexValue_9(controls, grid.g);
    // Hand values: (u, v) = (1/2, 1/2) is the mean of the corners; (1/4, 3/4)
    // is 3/16 (4,0) + 3/16 (6,8) + 9/16 (-2,4).
    EXPECT_NEAR(grid.g[20][20].x, 2.0, 1e-12);
    EXPECT_NEAR(grid.g[20][20].y, 3.0, 1e-12);
    EXPECT_NEAR(grid.g[10][30].x, 0.25, 1e-12);
    EXPECT_NEAR(grid.g[10][30].y, 3.75, 1e-12);
    EXPECT_EQ(grid.g[40][40].x, 6.0);
    EXPECT_EQ(grid.g[0][40].y, 4.0);
}

TEST(BezierFill, MovedMiddlesBendTheGridByHalfAndAQuarter) {
    DOUBLE_POINT controls[9];
    NineFromQuad(kSquare, controls);
    controls[4].y -= 0.5;   // bottom middle pulled down
    controls[8].x += 0.4;   // centre pushed right
    Grid grid;
    CalcVertexValue_9(controls, grid.g);
    // An edge middle weighs 2uU = 1/2 at its node; the centre 4uUvV = 1/4 at its node.
    EXPECT_NEAR(grid.g[20][0].y, -1.0 - 0.25, 1e-12);
    EXPECT_NEAR(grid.g[20][20].x, 0.1, 1e-12);
    // At (1/4, 0): 2uU = 3/8 of the pull.
    EXPECT_NEAR(grid.g[10][0].y, -1.0 - 0.5 * 0.375, 1e-12);
    // Corners stay where they were put.
    EXPECT_EQ(grid.g[0][0].x, -1.0);
    EXPECT_EQ(grid.g[40][0].y, -1.0);
}

TEST(BezierFill, SplitCoordinatesGiveTheSameGrid) {
    DOUBLE_POINT controls[9];
    NineFromQuad(kQuad, controls);
    controls[5].x += 0.3;
    double xs[9], ys[9];
    for (int k = 0; k < 9; ++k) {
        xs[k] = controls[k].x;
        ys[k] = controls[k].y;
    }
    Grid a, b;
    CalcVertexValue_9(controls, a.g);
    CalcVertexValue_9(xs, ys, b.g);
    ASSERT_TRUE(b.AllWritten());
    EXPECT_EQ(std::memcmp(a.g, b.g, sizeof a.g), 0);
}

TEST(CornerFill, RectangleGivesARegularGrid) {
    const DOUBLE_POINT rect[4] = {{-2, -1.5}, {2, -1.5}, {2, 1.5}, {-2, 1.5}};
    Grid grid;
    CalcVertexValue_4(rect, grid.g);
    ASSERT_TRUE(grid.AllWritten());
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) {
            EXPECT_NEAR(grid.g[i][j].x, -2.0 + i * 0.1, 1e-12);
            EXPECT_NEAR(grid.g[i][j].y, -1.5 + j * 0.075, 1e-12);
        }
}

TEST(CornerFill, NonRectangularQuadHandValues) {
    Grid grid;
    CalcVertexValue_4(kQuad, grid.g);
    ASSERT_TRUE(grid.AllWritten());
    struct Case { int i, j; double x, y; };
    const Case cases[] = {
        {0, 0, 0, 0},    {40, 0, 4, 0},   {40, 40, 6, 8}, {0, 40, -2, 4},  // corners exact
        {20, 0, 2, 0},   {0, 20, -1, 2},  {40, 20, 5, 4}, {20, 40, 2, 6},  // border middles
        {20, 20, 2, 3},
        // x between (0,30) = -1.5 and (40,30) = 5.5; y between (10,0) = 0 and (10,40) = 5.
        {10, 30, 0.25, 3.75},
        // x between (0,10) = -0.5 and (40,10) = 4.5; y between (30,0) = 0 and (30,40) = 7.
        {30, 10, 3.25, 1.75},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(grid.g[c.i][c.j].x, c.x) << c.i << "," << c.j;
        EXPECT_DOUBLE_EQ(grid.g[c.i][c.j].y, c.y) << c.i << "," << c.j;
    }
}

// The split-coordinate form used to write only grid[0][0]; it fills the whole
// grid exactly like the point form.
TEST(CornerFill, SplitCoordinatesFillTheWholeGrid) {
    const double xs[4] = {kQuad[0].x, kQuad[1].x, kQuad[2].x, kQuad[3].x};
    const double ys[4] = {kQuad[0].y, kQuad[1].y, kQuad[2].y, kQuad[3].y};
    Grid a, b;
    CalcVertexValue_4(kQuad, a.g);
    CalcVertexValue_4(xs, ys, b.g);
    ASSERT_TRUE(b.AllWritten());
    EXPECT_EQ(std::memcmp(a.g, b.g, sizeof a.g), 0);
}

// Corners taken straight from the grid they refill: read before anything is
// overwritten.
TEST(Fills, CornersMayLieInTheTargetGrid) {
    DOUBLE_POINT controls[9];
    NineFromQuad(kQuad, controls);
    Grid grid;
    CalcVertexValue_9(controls, grid.g);
    const DOUBLE_POINT firstColumn[4] = {grid.g[0][0], grid.g[0][1], grid.g[0][2], grid.g[0][3]};
    Grid ref;
    CalcVertexValue_4(firstColumn, ref.g);
    CalcVertexValue_4(&grid.g[0][0], grid.g);
    EXPECT_EQ(std::memcmp(grid.g, ref.g, sizeof grid.g), 0);
}

}  // namespace
