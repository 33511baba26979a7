#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/support.h"
#include "util/LogCapture.h"
#include "velmar/WarpEditState.h"
#include "velmar/warp.h"

namespace {

using velmar::GridPoint;

// An irregular quad with bent edges: corners, edge middles, centre.
const DOUBLE_POINT kNet[9] = {{-1, -1},   {1, -0.5},  {0.5, 1},    {-0.8, 0.6}, {0.1, -0.9},
                              {0.9, 0.2}, {-0.2, 0.95}, {-1.1, 0}, {0.05, 0.1}};

struct Grid {
    VERTEX_GRID g;
    Grid() { Pattern(); }
    // Distinct, asymmetric values everywhere, so any moved or kept point shows.
    void Pattern() {
        for (int i = 0; i <= 40; ++i)
            for (int j = 0; j <= 40; ++j) g[i][j] = {(i - 17) * 0.031 + j * 0.0007, (j - 23) * 0.029 - i * 0.0011};
    }
    DOUBLE_POINT At(int i, int j) const { return g[i][j]; }
    bool operator==(const Grid& o) const { return std::memcmp(g, o.g, sizeof g) == 0; }
};

class WarpGrid : public ::testing::Test {
protected:
    void SetUp() override {
        // The editing state is library-wide: start every test from its initial values.
        Kestrane_SetAdjustMode(0, 0);
        Kestrane_ChooseVertex2(-1, -1);
        static const int none[41][41] = {};
        Kestrane_ChooseVertex(none);
    }
};

void ExpectPoint(const DOUBLE_POINT& p, double x, double y, double tol, const std::string& what) {
    EXPECT_NEAR(p.x, x, tol) << what;
    EXPECT_NEAR(p.y, y, tol) << what;
}

// ---------------------------------------------------------------------------
// Fills by mode

struct FillCase {
    int mode;
    // Hand-computed from kNet: (20,20), (10,0), (40,20), (10,30), (30,10).
    DOUBLE_POINT expect[5];
};

constexpr int kProbe[5][2] = {{20, 20}, {10, 0}, {40, 20}, {10, 30}, {30, 10}};
// Quadratic patch: weights of u, v in {0, 1/4, 1/2, 3/4, 1}, exact in single precision.
constexpr DOUBLE_POINT kBezier[5] = {
    {-0.04375, 0.0625}, {-0.4625, -0.93125}, {0.825, 0.225}, {-0.510546875, 0.3859375}, {0.483203125, -0.2671875}};
// Corner fill: x between the left and right borders, y between bottom and top.
constexpr DOUBLE_POINT kCorners[5] = {
    {-0.075, 0.025}, {-0.5, -0.875}, {0.75, 0.25}, {-0.48125, 0.30625}, {0.41875, -0.24375}};

void PrintTo(const FillCase& c, std::ostream* os) { *os << "mode " << c.mode; }

class FillByMode : public WarpGrid, public ::testing::WithParamInterface<FillCase> {};

TEST_P(FillByMode, MatchesHandComputedPoints) {
    const FillCase& c = GetParam();
    Grid grid;
    Kestrane_CalcVertexValue(kNet, grid.g, 20, 20, c.mode);
    for (int k = 0; k < 5; ++k)
        ExpectPoint(grid.At(kProbe[k][0], kProbe[k][1]), c.expect[k].x, c.expect[k].y, 1e-12,
                    "mode " + std::to_string(c.mode) + " probe " + std::to_string(k));
    // Corners are pinned exactly in every mode.
    const int corner[4][2] = {{0, 0}, {40, 0}, {40, 40}, {0, 40}};
    for (int k = 0; k < 4; ++k) {
        const DOUBLE_POINT p = grid.At(corner[k][0], corner[k][1]);
        EXPECT_EQ(p.x, kNet[k].x) << k;
        EXPECT_EQ(p.y, kNet[k].y) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FillByMode,
                         ::testing::Values(FillCase{0, {kBezier[0], kBezier[1], kBezier[2], kBezier[3], kBezier[4]}},
                                           FillCase{1, {kCorners[0], kCorners[1], kCorners[2], kCorners[3], kCorners[4]}},
                                           FillCase{2, {kCorners[0], kCorners[1], kCorners[2], kCorners[3], kCorners[4]}},
                                           FillCase{3, {kCorners[0], kCorners[1], kCorners[2], kCorners[3], kCorners[4]}}),
                         [](const auto& info) { return "mode" + std::to_string(info.param.mode); });

TEST_F(WarpGrid, CornerFillOfSquare) {
    const DOUBLE_POINT square[9] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7}};
    Grid grid;
    Kestrane_CalcVertexValue(square, grid.g, 0, 0, 1);  // middles and centre play no part
    ExpectPoint(grid.At(20, 20), 0, 0, 0, "centre");
    ExpectPoint(grid.At(10, 0), -0.5, -1, 0, "(10,0)");
}

TEST_F(WarpGrid, BezierOfFlatSquareIsTheLinearSquare) {
    const DOUBLE_POINT flat[9] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}, {0, 0}};
    Grid bezier, linear;
    Kestrane_CalcVertexValue(flat, bezier.g, 0, 0, 0);
    Kestrane_CalcVertexValue(flat, linear.g, 0, 0, 1);
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) {
            ExpectPoint(bezier.At(i, j), linear.At(i, j).x, linear.At(i, j).y, 1e-6,
                        "(" + std::to_string(i) + "," + std::to_string(j) + ")");
            EXPECT_NEAR(linear.At(i, j).x, -1 + i / 20.0, 1e-12);
            EXPECT_NEAR(linear.At(i, j).y, -1 + j / 20.0, 1e-12);
        }
}

// A grid inside a packed record sits at an odd address; the sanitizer build
// catches any misaligned access.
TEST_F(WarpGrid, GridInsidePackedRecord) {
#pragma pack(push, 1)
    struct Record {
        char tag;
        VERTEX_GRID grid;
    };
#pragma pack(pop)
    auto rec = std::make_unique<Record>();
    Kestrane_SetAdjustMode(0, KESTRANE_MIRROR_I | KESTRANE_MIRROR_J);
    Kestrane_CalcVertexValue(kNet, rec->grid, 3, 3, 0);
    Kestrane_RotateVertex(rec->grid, 30);
    Kestrane_DoImageVertex(rec->grid, KESTRANE_MIRROR_I, 30, 0);
    const DOUBLE_POINT a = rec->grid[5][7], b = rec->grid[35][7];
    EXPECT_DOUBLE_EQ(b.x, -a.x);
    EXPECT_DOUBLE_EQ(b.y, a.y);
}

// ---------------------------------------------------------------------------
// Refusals leave the grid as it was

struct RefusedCase {
    const char* name;
    int mode;
    int adjustValue;
    int sideI;
    int sideJ;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedFill : public WarpGrid, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedFill, GridUntouchedAndLogged) {
    const RefusedCase& c = GetParam();
    util::LogCapture log;
    Kestrane_SetAdjustMode(0, c.adjustValue);
    Grid grid;
    const Grid before;
    Kestrane_CalcVertexValue(kNet, grid.g, c.sideI, c.sideJ, c.mode);
    EXPECT_TRUE(grid == before);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "Kestrane_CalcVertexValue refused"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedFill,
                         ::testing::Values(RefusedCase{"modeMinus1", -1, 0, 0, 0},
                                           RefusedCase{"mode4", 4, 0, 0, 0},
                                           RefusedCase{"modeLarge", 1000, 0, 20, 20},
                                           RefusedCase{"sideIMinus1", 0, 0x100, -1, 0},
                                           RefusedCase{"sideI41", 1, 0x100, 41, 0},
                                           RefusedCase{"sideJ41", 0, 0x200, 0, 41},
                                           RefusedCase{"bothSideJBad", 1, 0x300, 5, -3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WarpGrid, SideOnAxisNotMirroredIsNotChecked) {
    Kestrane_SetAdjustMode(0, KESTRANE_MIRROR_J);
    Grid grid;
    Kestrane_CalcVertexValue(kNet, grid.g, -1, 5, 1);  // sideI unused: only j is mirrored
    EXPECT_EQ(grid.At(0, 0).x, kNet[0].x);
    EXPECT_EQ(grid.At(0, 40).y, -kNet[0].y);
}

TEST_F(WarpGrid, NullPointersRefused) {
    util::LogCapture log;
    Grid grid;
    const Grid before;
    Kestrane_CalcVertexValue(nullptr, grid.g, 0, 0, 0);
    Kestrane_CalcVertexValue(kNet, nullptr, 0, 0, 0);
    Kestrane_DoImageVertex(nullptr, 0x300, 0, 0);
    Kestrane_RotateVertex(nullptr, 10);
    Kestrane_ChooseVertex(nullptr);
    EXPECT_TRUE(grid == before);
    EXPECT_EQ(log.Count("refused"), 5u);
}

TEST_F(WarpGrid, DoImageVertexRefusesSideOutsideGrid) {
    const struct {
        int flags, sideI, sideJ;
    } cases[] = {{0x100, -1, 0}, {0x100, 41, 0}, {0x200, 0, -5}, {0x200, 0, 41}, {0x300, 40, 99}};
    for (const auto& c : cases) {
        Grid grid;
        const Grid before;
        Kestrane_DoImageVertex(grid.g, c.flags, c.sideI, c.sideJ);
        EXPECT_TRUE(grid == before) << std::hex << c.flags << std::dec << " " << c.sideI << "," << c.sideJ;
    }
}

// ---------------------------------------------------------------------------
// Mirror

struct MirrorCase {
    int flags;
    int sideI;
    int sideJ;
};

void PrintTo(const MirrorCase& c, std::ostream* os) {
    *os << "flags 0x" << std::hex << c.flags << std::dec << " side " << c.sideI << "," << c.sideJ;
}

class Mirror : public WarpGrid, public ::testing::WithParamInterface<MirrorCase> {};

TEST_P(Mirror, SourceHalfKeptOtherHalfReflected) {
    const MirrorCase& c = GetParam();
    const bool mi = c.flags & 0x100, mj = c.flags & 0x200;
    const Grid orig;
    Grid g;
    Kestrane_DoImageVertex(g.g, c.flags, c.sideI, c.sideJ);
    if (!mi && !mj) {
        EXPECT_TRUE(g == orig);
        return;
    }
    // Source half: 20 counts as high.
    auto inSourceI = [&](int i) { return !mi || (c.sideI < 20 ? i < 20 : i > 20); };
    auto inSourceJ = [&](int j) { return !mj || (c.sideJ < 20 ? j < 20 : j > 20); };
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) {
            const std::string at = "(" + std::to_string(i) + "," + std::to_string(j) + ")";
            const DOUBLE_POINT p = g.At(i, j);
            if (inSourceI(i) && inSourceJ(j)) {
                EXPECT_EQ(p.x, orig.At(i, j).x) << at;
                EXPECT_EQ(p.y, orig.At(i, j).y) << at;
            }
            if (mi && i != 20) {
                EXPECT_EQ(g.At(40 - i, j).x, -p.x) << at;
                EXPECT_EQ(g.At(40 - i, j).y, p.y) << at;
            }
            if (mj && j != 20) {
                EXPECT_EQ(g.At(i, 40 - j).x, p.x) << at;
                EXPECT_EQ(g.At(i, 40 - j).y, -p.y) << at;
            }
        }
    for (int k = 0; k <= 40; ++k) {
        if (mi) {
            EXPECT_EQ(g.At(20, k).x, 0.0) << k;
        }
        if (mj) {
            EXPECT_EQ(g.At(k, 20).y, 0.0) << k;
        }
        if (mi && !mj) {
            EXPECT_EQ(g.At(20, k).y, orig.At(20, k).y) << k;  // the middle column keeps its y
        }
        if (mj && !mi) {
            EXPECT_EQ(g.At(k, 20).x, orig.At(k, 20).x) << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Mirror,
                         ::testing::Values(MirrorCase{0x100, 5, 0}, MirrorCase{0x100, 19, 40},
                                           MirrorCase{0x100, 20, 0}, MirrorCase{0x100, 40, 0},
                                           MirrorCase{0x200, 0, 0}, MirrorCase{0x200, 0, 20},
                                           MirrorCase{0x300, 3, 33}, MirrorCase{0x300, 25, 2},
                                           MirrorCase{0x500, 7, 7},  // other bits ignored
                                           MirrorCase{0, 5, 5}, MirrorCase{0x400, 5, 5},
                                           MirrorCase{0, -1, 99}),
                         [](const auto& info) {
                             auto n = [](int v) { return v < 0 ? "m" + std::to_string(-v) : std::to_string(v); };
                             char flags[8];
                             std::snprintf(flags, sizeof flags, "%x", static_cast<unsigned>(info.param.flags));
                             return "flags" + std::string(flags) + "_side" + n(info.param.sideI) + "_" +
                                    n(info.param.sideJ);
                         });

TEST_F(WarpGrid, LowSideFiveGivesOppositeEdge) {
    Grid g;
    const Grid orig;
    Kestrane_DoImageVertex(g.g, 0x100, 5, 0);
    for (int j = 0; j <= 40; ++j) {
        EXPECT_EQ(g.At(40, j).x, -orig.At(0, j).x);
        EXPECT_EQ(g.At(40, j).y, orig.At(0, j).y);
        EXPECT_EQ(g.At(20, j).x, 0.0);
    }
}

TEST_F(WarpGrid, CalcVertexValueMirrorsWithStoredValue) {
    Grid plain, mirrored;
    Kestrane_CalcVertexValue(kNet, plain.g, 30, 0, 1);
    EXPECT_EQ(Kestrane_SetAdjustMode(1, KESTRANE_MIRROR_I), 1);
    Kestrane_CalcVertexValue(kNet, mirrored.g, 30, 0, 1);  // edited point on the high side
    for (int i = 21; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) {
            EXPECT_EQ(mirrored.At(i, j).x, plain.At(i, j).x);
            EXPECT_EQ(mirrored.At(40 - i, j).x, -plain.At(i, j).x);
            EXPECT_EQ(mirrored.At(40 - i, j).y, plain.At(i, j).y);
        }
    // The value passed to the last call of the setter decides, not the mode.
    Kestrane_SetAdjustMode(1, 0);
    Kestrane_CalcVertexValue(kNet, mirrored.g, 30, 0, 1);
    EXPECT_TRUE(mirrored == plain);
}

// ---------------------------------------------------------------------------
// Rotation

double MaxDistance(const Grid& a, const Grid& b) {
    double worst = 0;
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j)
            worst = std::max(worst, std::hypot(a.At(i, j).x - b.At(i, j).x, a.At(i, j).y - b.At(i, j).y));
    return worst;
}

TEST_F(WarpGrid, FullTurnReturnsGrid) {
    for (double deg : {360.0, -360.0, 720.0}) {
        Grid g;
        Kestrane_RotateVertex(g.g, deg);
        EXPECT_LT(MaxDistance(g, Grid()), 1e-9) << deg;
    }
}

TEST_F(WarpGrid, QuarterTurnsCompose) {
    const struct {
        double first, second, whole;
    } cases[] = {{90, 90, 180}, {45, 45, 90}, {30, -30, 0}, {-90, -90, 180}, {100, 170, 270}};
    for (const auto& c : cases) {
        Grid twice, once;
        Kestrane_RotateVertex(twice.g, c.first);
        Kestrane_RotateVertex(twice.g, c.second);
        Kestrane_RotateVertex(once.g, c.whole);
        EXPECT_LT(MaxDistance(twice, once), 1e-12) << c.first << "+" << c.second;
    }
}

TEST_F(WarpGrid, PositiveAngleTurnsClockwise) {
    Grid g;
    g.g[0][0] = {1, 0};
    g.g[0][1] = {0, 1};
    g.g[0][2] = {2, -3};
    Kestrane_RotateVertex(g.g, 90);
    ExpectPoint(g.At(0, 0), 0, -1, 1e-15, "(1,0)");
    ExpectPoint(g.At(0, 1), 1, 0, 1e-15, "(0,1)");
    ExpectPoint(g.At(0, 2), -3, -2, 1e-15, "(2,-3)");
}

TEST_F(WarpGrid, NonFiniteAngleRefused) {
    for (double deg : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        Grid g;
        Kestrane_RotateVertex(g.g, deg);
        EXPECT_TRUE(g == Grid());
    }
}

// ---------------------------------------------------------------------------
// Editing state

TEST_F(WarpGrid, ChooseVertexTakesPositiveFlagsInOrder) {
    int mask[41][41] = {};
    mask[3][4] = -1;
    mask[0][40] = 1;
    mask[2][1] = 5;
    mask[2][0] = 1;
    mask[40][40] = 2;
    mask[40][0] = 0;
    Kestrane_ChooseVertex(mask);
    const std::vector<GridPoint> want = {{0, 40}, {2, 0}, {2, 1}, {40, 40}};
    EXPECT_EQ(velmar::GetWarpEditState().selected, want);

    // A new mask replaces the selection; one without positive flags empties it.
    int negative[41][41] = {};
    negative[3][4] = -1;
    Kestrane_ChooseVertex(negative);
    EXPECT_TRUE(velmar::GetWarpEditState().selected.empty());

    // A null mask is refused and keeps what was chosen.
    Kestrane_ChooseVertex(mask);
    Kestrane_ChooseVertex(nullptr);
    EXPECT_EQ(velmar::GetWarpEditState().selected, want);
}

TEST_F(WarpGrid, CurrentPointAndAdjustMode) {
    const struct {
        int i, j;
        bool valid;
    } cases[] = {{0, 0, true}, {40, 40, true}, {20, 0, true}, {-1, -1, false}, {41, 3, false}, {3, -2, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(Kestrane_ChooseVertex2(c.i, c.j), c.i);
        const velmar::WarpEditState s = velmar::GetWarpEditState();
        EXPECT_EQ(s.current, (GridPoint{c.i, c.j}));
        EXPECT_EQ(s.HasCurrent(), c.valid) << c.i << "," << c.j;
    }
    EXPECT_EQ(Kestrane_SetAdjustMode(2, 0x300), 2);
    const velmar::WarpEditState s = velmar::GetWarpEditState();
    EXPECT_EQ(s.adjustMode, 2);
    EXPECT_EQ(s.adjustValue, 0x300);
}

// ---------------------------------------------------------------------------
// Log lines

TEST_F(WarpGrid, EntryAndExitLogged) {
    util::LogCapture log;
    Grid g;
    Kestrane_CalcVertexValue(kNet, g.g, 0, 0, 0);
    Kestrane_RotateVertex(g.g, 1.5);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "Kestrane_CalcVertexValue is in"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "Kestrane_CalcVertexValue is over"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "Kestrane_RotateVertex is over"));
}

TEST_F(WarpGrid, AngleLoggedWithDecimalPointInAnyLocale) {
    const std::string comma = testsupport::FindCommaDecimalLocale();
    if (comma.empty()) GTEST_SKIP() << "no comma-decimal locale installed";
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, comma.c_str());
    util::LogCapture log;
    Grid g;
    Kestrane_RotateVertex(g.g, 1.5);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_TRUE(log.Contains("degrees=1.500000"));
}

}  // namespace
