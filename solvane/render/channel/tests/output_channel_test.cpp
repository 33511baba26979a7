#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "channel/OutputChannel.h"

namespace {

double Fl(int k) { return static_cast<float>(k / 40.0); }
double ResetX(int c) { return 4.0 * Fl(c) - 2.0; }
double ResetY(int r) { return 3.0 * Fl(r) - 1.5; }

void ExpectPoint(const OutputChannel& ch, int c, int r, double x, double y, double tol = 1e-12) {
    const DOUBLE_POINT p = ch.Point(c, r);
    EXPECT_NEAR(p.x, x, tol) << "(" << c << "," << r << ")";
    EXPECT_NEAR(p.y, y, tol) << "(" << c << "," << r << ")";
}

bool GridsEqual(const OutputChannel& a, const OutputChannel& b) {
    return std::memcmp(a.m_grid, b.m_grid, sizeof a.m_grid) == 0;
}

// The straightened grid steps by exactly 1/40, the Bezier grid by 1/40
// rounded to float: equal to about 1e-7.
bool GridsNear(const OutputChannel& a, const OutputChannel& b, double tol) {
    for (int c = 0; c <= 40; ++c)
        for (int r = 0; r <= 40; ++r)
            if (std::fabs(a.Point(c, r).x - b.Point(c, r).x) > tol ||
                std::fabs(a.Point(c, r).y - b.Point(c, r).y) > tol)
                return false;
    return true;
}

}  // namespace

TEST(OutputChannel, ResetGridIsUndistortedAndControlPointsDefault) {
    OutputChannel ch(0, 0, 1920, 1080);
    for (int c = 0; c <= 40; ++c)
        for (int r = 0; r <= 40; ++r) ExpectPoint(ch, c, r, ResetX(c), ResetY(r));
    const double want[9][2] = {{-2, -1.5}, {2, -1.5}, {2, 1.5}, {-2, 1.5}, {0, -1.5},
                               {2, 0},     {0, 1.5},  {-2, 0},  {0, 0}};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(ch.m_ctrl[k].x, want[k][0]);
        EXPECT_EQ(ch.m_ctrl[k].y, want[k][1]);
    }
    EXPECT_EQ(ch.m_rect.left, 0);
    EXPECT_EQ(ch.m_rect.right, 1920);
    EXPECT_EQ(ch.m_rect.bottom, 1080);
    EXPECT_EQ(ch.m_selCol, 0);
    EXPECT_EQ(ch.m_selRow, 40);
    EXPECT_EQ(ch.m_meshMode, 1);
    EXPECT_FLOAT_EQ(ch.m_fontScale, 0.1f);
}

TEST(OutputChannel, BezierCentreBendMovesWholeGrid) {
    OutputChannel ch(0, 0, 100, 100);
    ch.MoveVertex(2, 20, 20, 0.4, 0.3);
    EXPECT_EQ(ch.m_ctrl[8].x, 0.4);
    EXPECT_EQ(ch.m_ctrl[8].y, 0.3);
    // Weight of the centre at u = v = 1/2 is 1/4, at u = v = 1/4 it is 9/64.
    ExpectPoint(ch, 20, 20, 0.1, 0.075);
    ExpectPoint(ch, 10, 10, -1.0 + 0.140625 * 0.4, -0.75 + 0.140625 * 0.3);
    // Corners stay pinned.
    ExpectPoint(ch, 0, 0, -2.0, -1.5);
    ExpectPoint(ch, 40, 40, 2.0, 1.5);
}

TEST(OutputChannel, Mode2OnPlainNodeMovesOnePoint) {
    OutputChannel ch(0, 0, 100, 100);
    OutputChannel ref(0, 0, 100, 100);
    ch.MoveVertex(2, 10, 10, -0.5, -0.5);
    ref.SetPoint(10, 10, -0.5, -0.5);
    EXPECT_TRUE(GridsEqual(ch, ref));
    EXPECT_EQ(ch.m_selCol, 10);
    EXPECT_EQ(ch.m_selRow, 10);
}

TEST(OutputChannel, EdgeCurveMeshUsesOnlyEdgeControlPoints) {
    OutputChannel ch(0, 0, 100, 100);
    ch.m_ctrl[4] = DOUBLE_POINT{0.0, -1.0};  // bottom middle raised by 0.5
    ch.m_ctrl[8] = DOUBLE_POINT{1.0, 1.0};   // centre: no effect in this mode
    ch.m_ctrl[7] = DOUBLE_POINT{-3.0, 0.0};  // left middle: no effect either
    ch.ComputeMesh(0);
    ExpectPoint(ch, 20, 0, 0.0, -1.25);
    ExpectPoint(ch, 20, 20, 0.0, 0.125);
    ExpectPoint(ch, 20, 40, 0.0, 1.5);
    // Left edge stays a straight line.
    for (int r = 0; r <= 40; ++r) ExpectPoint(ch, 0, r, -2.0, ResetY(r));
}

TEST(OutputChannel, MoveVertexModes) {
    struct Case {
        int mode;
        int c, r;
        double x, y;
        const char* what;
    };
    // From the reset grid; (10, 10) lies at (-1, -0.75), moved by (0.1, 0.1).
    const double nx = -0.9, ny = -0.65;
    {
        OutputChannel ch(0, 0, 1, 1), ref(0, 0, 1, 1);
        ch.MoveVertex(0, 10, 10, nx, ny);
        ref.SetPoint(10, 10, nx, ny);
        EXPECT_TRUE(GridsEqual(ch, ref)) << "mode 0";
    }
    {
        // Mode 1 straightens: a moved inner point falls back onto the lines
        // between the corners; a moved corner carries its edges along.
        OutputChannel ch(0, 0, 1, 1), ref(0, 0, 1, 1);
        ch.MoveVertex(1, 10, 10, nx, ny);
        EXPECT_TRUE(GridsNear(ch, ref, 1e-6)) << "mode 1 inner";
        EXPECT_NEAR(ch.Point(10, 10).x, -1.0, 1e-12);
        ch.MoveVertex(1, 0, 0, -2.2, -1.7);
        ExpectPoint(ch, 0, 0, -2.2, -1.7);
        ExpectPoint(ch, 0, 20, -2.1, -0.1);
        EXPECT_NEAR(ch.m_ctrl[7].x, -2.1, 1e-12);
        ExpectPoint(ch, 20, 0, 0.0 - 0.1, -1.6);
    }
    {
        OutputChannel ch(0, 0, 1, 1);
        ch.MoveVertex(3, 10, 10, nx, ny);
        for (int r = 0; r <= 40; ++r) {
            ExpectPoint(ch, 10, r, ResetX(10) + 0.1, ResetY(r) + 0.1, 1e-12);
            ExpectPoint(ch, 11, r, ResetX(11), ResetY(r));
        }
    }
    {
        OutputChannel ch(0, 0, 1, 1);
        ch.MoveVertex(4, 10, 10, nx, ny);
        for (int c = 0; c <= 40; ++c) {
            ExpectPoint(ch, c, 10, ResetX(c) + 0.1, ResetY(10) + 0.1, 1e-12);
            ExpectPoint(ch, c, 11, ResetX(c), ResetY(11));
        }
        EXPECT_NEAR(ch.m_ctrl[0].x, -2.0, 1e-12);  // row 10 holds no control node
    }
    {
        OutputChannel ch(0, 0, 1, 1);
        ch.MoveVertex(5, 10, 10, nx, ny);
        ExpectPoint(ch, 40, 40, 2.1, 1.6, 1e-12);
        EXPECT_NEAR(ch.m_ctrl[0].x, -1.9, 1e-12);
        EXPECT_NEAR(ch.m_ctrl[8].y, 0.1, 1e-12);
    }
    {
        OutputChannel ch(0, 0, 1, 1), ref(0, 0, 1, 1);
        ch.MoveVertex(9, 10, 10, nx, ny);
        EXPECT_TRUE(GridsEqual(ch, ref)) << "unknown mode";
        EXPECT_EQ(ch.m_selCol, 10);
    }
}

TEST(OutputChannel, MoveVertexOutsideGridOnlyReloads) {
    const int bad[][2] = {{41, 0}, {0, 41}, {-1, 5}, {5, -1}, {-100000, 40}};
    for (const auto& b : bad) {
        OutputChannel ch(0, 0, 1, 1), ref(0, 0, 1, 1);
        ch.m_ctrl[8] = DOUBLE_POINT{0.5, 0.5};
        ch.MoveVertex(2, b[0], b[1], 9.0, 9.0);
        EXPECT_TRUE(GridsEqual(ch, ref));
        EXPECT_EQ(ch.m_ctrl[8].x, 0.5) << "mode 2 returns at once";
        EXPECT_EQ(ch.m_selCol, 0);
        ch.MoveVertex(0, b[0], b[1], 9.0, 9.0);
        EXPECT_TRUE(GridsEqual(ch, ref));
        EXPECT_EQ(ch.m_ctrl[8].x, 0.0) << "other modes reload the control points";
    }
}

TEST(OutputChannel, RotateBy90UsesTheShortPi) {
    OutputChannel ch(0, 0, 1, 1);
    ch.RotateGrid(90.0);
    const DOUBLE_POINT p = ch.Point(40, 20);  // was (2, 0)
    EXPECT_NEAR(p.x, 0.0, 1e-4);
    EXPECT_GT(std::fabs(p.x), 1e-5);  // 3.14156, not pi
    EXPECT_NEAR(p.y, -2.0, 1e-8);
    EXPECT_NEAR(ch.m_ctrl[5].y, -2.0, 1e-8);
}

TEST(OutputChannel, OffsetGridDirections) {
    const double want[4][2] = {{-0.25, 0}, {0, 0.25}, {0.25, 0}, {0, -0.25}};
    for (int d = 0; d < 4; ++d) {
        OutputChannel ch(0, 0, 1, 1);
        ch.OffsetGrid(d, 0.25);
        ExpectPoint(ch, 7, 9, ResetX(7) + want[d][0], ResetY(9) + want[d][1]);
        EXPECT_EQ(ch.m_ctrl[2].x, 2.0 + want[d][0]);
    }
}

TEST(OutputChannel, BlendFactors) {
    OutputChannel ch(0, 0, 1, 1);
    ch.m_blend[OutputChannel::kBlendLeft] = 5;
    const float want5[] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.0f};
    for (int c = 0; c < 7; ++c) EXPECT_FLOAT_EQ(ch.BlendFactorX(c), want5[c]) << c;
    EXPECT_FLOAT_EQ(ch.BlendFactorX(40), 1.0f);

    ch.m_blend[OutputChannel::kBlendLeft] = 40;
    ch.m_blend[OutputChannel::kBlendRight] = 40;
    for (int c = 0; c < 40; ++c) EXPECT_FLOAT_EQ(ch.BlendFactorX(c), c / 40.0f);
    EXPECT_FLOAT_EQ(ch.BlendFactorX(40), 0.0f);

    ch.m_blend[OutputChannel::kBlendBottom] = 4;
    ch.m_blend[OutputChannel::kBlendTop] = 2;
    EXPECT_FLOAT_EQ(ch.BlendFactorY(1), 0.25f);
    EXPECT_FLOAT_EQ(ch.BlendFactorY(39), 0.5f);
    EXPECT_FLOAT_EQ(ch.BlendFactorY(20), 1.0f);
}

TEST(OutputChannel, BlendWidthsOutOfRangeAreClampedWhenUsedButKept) {
    OutputChannel ch(0, 0, 1, 1);
    ch.m_blend[OutputChannel::kBlendLeft] = 300;
    ch.m_blend[OutputChannel::kBlendRight] = -7;
    EXPECT_FLOAT_EQ(ch.BlendFactorX(20), 0.5f);  // as 40
    EXPECT_FLOAT_EQ(ch.BlendFactorX(40), 1.0f);
    EXPECT_EQ(ch.CellCode(39, 5), 1);
    EXPECT_EQ(ch.m_blend[OutputChannel::kBlendLeft], 300);
    EXPECT_EQ(ch.m_blend[OutputChannel::kBlendRight], -7);
}

TEST(OutputChannel, CellCodes) {
    OutputChannel ch(0, 0, 1, 1);
    ch.m_blend[OutputChannel::kBlendLeft] = 2;
    ch.m_blend[OutputChannel::kBlendRight] = 3;
    ch.m_blend[OutputChannel::kBlendTop] = 4;
    ch.m_blend[OutputChannel::kBlendBottom] = 5;
    const int cases[][3] = {{10, 10, 0}, {10, 0, 8}, {10, 4, 8}, {10, 5, 0}, {10, 39, 2},
                            {10, 36, 2}, {10, 35, 0}, {0, 0, 1},  {1, 39, 1}, {39, 0, 4},
                            {37, 39, 4}, {36, 20, 0}};
    for (const auto& k : cases) EXPECT_EQ(ch.CellCode(k[0], k[1]), k[2]) << k[0] << "," << k[1];
}

TEST(OutputChannel, TextureCoordinates) {
    OutputChannel ch(0, 0, 1, 1);
    EXPECT_DOUBLE_EQ(ch.TexS(10), 0.25);
    EXPECT_DOUBLE_EQ(ch.TexT(30), 0.75);
    ch.m_texWindow[OutputChannel::kTexS0] = 0.5;
    ch.m_texWindow[OutputChannel::kTexS40] = 1.0;
    ch.m_texWindow[OutputChannel::kTexT40] = 1.0;
    ch.m_texWindow[OutputChannel::kTexT0] = 0.5;
    EXPECT_DOUBLE_EQ(ch.TexS(0), 0.5);
    EXPECT_DOUBLE_EQ(ch.TexS(20), 0.75);
    EXPECT_DOUBLE_EQ(ch.TexT(40), 1.0);
    EXPECT_DOUBLE_EQ(ch.TexT(20), 0.75);
}

namespace {

struct Fixture : ::testing::Test {
    OutputChannel ch{0, 0, 100, 100};
    void Select(int c, int r, int word = 0) {
        ch.m_selCol = c;
        ch.m_selRow = r;
        ch.m_selCtrl = word;
    }
};
using AdjustGrid = Fixture;

}  // namespace

TEST_F(AdjustGrid, VertexStopsAtItsLeftNeighbour) {
    Select(10, 10);
    ch.AdjustGrid(1, 0, 0, 0, 0.2);
    EXPECT_EQ(ch.Point(10, 10).x, ch.Point(9, 10).x);
    EXPECT_NEAR(ch.Point(10, 10).x, -1.1, 1e-7);

    OutputChannel other(0, 0, 100, 100);
    other.m_selCol = 10;
    other.m_selRow = 10;
    other.m_selCtrl = 0;
    other.AdjustGrid(1, 0, 0, 0, 0.05);
    EXPECT_NEAR(other.Point(10, 10).x, -1.05, 1e-12);
}

TEST_F(AdjustGrid, EdgeVertexIsNotClamped) {
    Select(0, 5);
    ch.AdjustGrid(1, 0, 0, 0, 0.2);
    EXPECT_NEAR(ch.Point(0, 5).x, -2.2, 1e-12);
    EXPECT_NEAR(ch.m_ctrl[0].x, -2.0, 1e-12);
}

TEST_F(AdjustGrid, ClampsInEveryDirection) {
    // Each direction: a step of 0.5 cannot pass the neighbour 0.1 (x) or
    // 0.075 (y) away.
    struct Case {
        int dir;
        int nc, nr;
        bool x;
    };
    const Case cases[] = {{0, 9, 10, true}, {2, 11, 10, true}, {1, 10, 11, false}, {3, 10, 9, false}};
    for (const auto& k : cases) {
        OutputChannel c(0, 0, 1, 1);
        c.m_selCol = 10;
        c.m_selRow = 10;
        c.m_selCtrl = 0;
        c.AdjustGrid(1, k.dir, 0, 0, 0.5);
        if (k.x) {
            EXPECT_EQ(c.Point(10, 10).x, c.Point(k.nc, k.nr).x) << k.dir;
        } else {
            EXPECT_EQ(c.Point(10, 10).y, c.Point(k.nc, k.nr).y) << k.dir;
        }
    }
}

TEST_F(AdjustGrid, MirrorLeftRightKeepsTheSelectedHalf) {
    ch.SetPoint(3, 7, -1.5, -0.4);  // left half, off the reset grid
    Select(5, 10);
    ch.AdjustGrid(1, 0, 0, 1, 0.01);
    for (int r = 0; r <= 40; ++r) {
        for (int j = 0; j < 20; ++j) {
            EXPECT_EQ(ch.Point(40 - j, r).x, -ch.Point(j, r).x);
            EXPECT_EQ(ch.Point(40 - j, r).y, ch.Point(j, r).y);
        }
        EXPECT_EQ(ch.Point(20, r).x, 0.0);
    }
    EXPECT_EQ(ch.Point(37, 7).x, 1.5);

    OutputChannel right(0, 0, 1, 1);
    right.SetPoint(37, 7, 1.3, -0.4);
    right.m_selCol = 20;
    right.m_selRow = 10;
    right.m_selCtrl = 0;
    right.AdjustGrid(1, 4, 0, 1, 0.01);  // direction 4 ends before the passes
    EXPECT_EQ(right.Point(3, 7).x, ResetX(3));
    right.AdjustGrid(1, 1, 0, 1, 0.0);
    EXPECT_EQ(right.Point(3, 7).x, -1.3);
}

TEST_F(AdjustGrid, MirrorBottomTop) {
    ch.SetPoint(6, 30, 0.1, 0.9);
    Select(6, 30);
    ch.AdjustGrid(1, 1, 3, 2, 0.0);  // edit mode 3 with step 0 moves nothing
    for (int c = 0; c <= 40; ++c) {
        for (int j = 0; j < 20; ++j) EXPECT_EQ(ch.Point(c, j).y, -ch.Point(c, 40 - j).y);
        EXPECT_EQ(ch.Point(c, 20).y, 0.0);
    }
    EXPECT_EQ(ch.Point(6, 10).y, -0.9);
    EXPECT_EQ(ch.Point(6, 10).x, 0.1);
}

TEST_F(AdjustGrid, DirectionOutsideRangeOnlySetsMeshMode) {
    Select(10, 10, 9);
    OutputChannel ref(0, 0, 100, 100);
    ch.AdjustGrid(0, 4, 2, 15, 0.3);
    EXPECT_EQ(ch.m_meshMode, 0);
    EXPECT_TRUE(GridsEqual(ch, ref));
}

TEST_F(AdjustGrid, ControlPointModes) {
    Select(20, 20, 9);  // centre
    ch.AdjustGrid(1, 2, 2, 0, 0.4);
    EXPECT_EQ(ch.m_ctrl[8].x, 0.4);
    ExpectPoint(ch, 20, 20, 0.1, 0.0);

    OutputChannel corner(0, 0, 1, 1);
    corner.m_selCol = 0;
    corner.m_selRow = 0;
    corner.m_selCtrl = 1;  // control point 0
    corner.AdjustGrid(1, 3, 1, 0, 0.2);
    ExpectPoint(corner, 0, 0, -2.0, -1.7);
    ExpectPoint(corner, 0, 20, -2.0, -0.1);
    ExpectPoint(corner, 20, 0, 0.0, -1.6);
}

TEST_F(AdjustGrid, SelectionOutOfRangeDoesNothing) {
    const int bad[][3] = {{41, 0, 0}, {0, 41, 0}, {-1, 0, 0}, {0, -1, 0}, {5, 5, -1}};
    for (const auto& b : bad) {
        OutputChannel c(0, 0, 1, 1), ref(0, 0, 1, 1);
        c.m_selCol = b[0];
        c.m_selRow = b[1];
        c.m_selCtrl = b[2];
        c.m_meshMode = 7;
        c.AdjustGrid(0, 0, 0, 15, 0.5);
        EXPECT_TRUE(GridsEqual(c, ref));
        EXPECT_EQ(c.m_meshMode, 7);
    }
    // A control-point word beyond the nine moves no control point.
    for (int word : {0, 10, 1000}) {
        OutputChannel c(0, 0, 1, 1), ref(0, 0, 1, 1);
        c.m_selCol = 3;
        c.m_selRow = 3;
        c.m_selCtrl = word;
        c.AdjustGrid(1, 0, 2, 0, 0.5);
        c.AdjustGrid(1, 0, 1, 0, 0.5);
        EXPECT_TRUE(GridsEqual(c, ref)) << word;
        for (int k = 0; k < 9; ++k) EXPECT_EQ(std::memcmp(&c.m_ctrl[k], &ref.m_ctrl[k], 16), 0);
    }
}

TEST(OutputChannel, EqualizeModes) {
    {
        OutputChannel ch(0, 0, 1, 1);
        ch.SetPoint(3, 0, ResetX(3), 0.2);
        ch.SetPoint(3, 40, ResetX(3), -0.3);
        ch.EqualizeGrid(0);
        for (int r = 0; r <= 40; ++r) EXPECT_NEAR(ch.Point(3, r).y, 0.2 + r * 0.5 / 40, 1e-12);
        EXPECT_NEAR(ch.Point(3, 40).y, 0.7, 1e-12);
    }
    {
        OutputChannel ch(0, 0, 1, 1);
        ch.SetPoint(40, 6, -2.5, ResetY(6));
        ch.EqualizeGrid(1);
        EXPECT_NEAR(ch.Point(40, 6).x, -2.0 + 0.5, 1e-12);
        EXPECT_NEAR(ch.Point(20, 6).x, -2.0 + 0.25, 1e-12);
    }
    for (int mode : {2, 3}) {
        OutputChannel ch(0, 0, 1, 1);
        ch.SetPoint(0, 5, -2.0, 0.3);
        ch.SetPoint(40, 5, 2.0, -0.3);
        ch.SetPoint(5, 0, -1.0, -1.5);
        ch.SetPoint(5, 40, -1.2, 1.5);
        ch.SetPoint(9, 9, 0.7, 0.7);
        ch.EqualizeGrid(mode);
        ExpectPoint(ch, 0, 5, -2.0, 0.3, 0);
        ExpectPoint(ch, 40, 5, 2.0, -0.3, 0);
        ExpectPoint(ch, 5, 0, -1.0, -1.5, 0);
        ExpectPoint(ch, 5, 40, -1.2, 1.5, 0);
        if (mode == 2) {
            EXPECT_NEAR(ch.Point(20, 5).y, 0.0, 1e-12);
        }
        if (mode == 3) {
            EXPECT_NEAR(ch.Point(5, 20).x, -1.1, 1e-12);
        }
    }
}

namespace {

struct RecordingSink : MeshSink {
    int texture = 0, fans = 0, ends = 0;
    float normal[3] = {};
    struct V {
        float col[4];
        double s, t, x, y, z;
    };
    std::vector<std::vector<V>> fanVertices;
    V cur{};
    void EnableTexture2D() override { ++texture; }
    void Normal(float x, float y, float z) override {
        normal[0] = x;
        normal[1] = y;
        normal[2] = z;
    }
    void BeginTriangleFan() override {
        ++fans;
        fanVertices.emplace_back();
    }
    void Color(float r, float g, float b, float a) override {
        cur.col[0] = r;
        cur.col[1] = g;
        cur.col[2] = b;
        cur.col[3] = a;
    }
    void TexCoord(double s, double t) override {
        cur.s = s;
        cur.t = t;
    }
    void Vertex(double x, double y, double z) override {
        cur.x = x;
        cur.y = y;
        cur.z = z;
        fanVertices.back().push_back(cur);
    }
    void End() override { ++ends; }
};

}  // namespace

TEST(OutputChannel, MeshListIs1600FansOfFiveVertices) {
    OutputChannel ch(0, 0, 1, 1);
    ch.m_blend[OutputChannel::kBlendLeft] = 5;
    ch.m_blend[OutputChannel::kBlendBottom] = 10;
    RecordingSink sink;
    ch.BuildMeshList(sink);
    EXPECT_EQ(sink.texture, 1);
    EXPECT_EQ(sink.normal[2], 1.0f);
    ASSERT_EQ(sink.fans, 1600);
    EXPECT_EQ(sink.ends, 1600);
    for (const auto& f : sink.fanVertices) ASSERT_EQ(f.size(), 5u);

    // Fan of cell (c, r) is number c * 40 + r; vertices (c,r) (c+1,r) (c+1,r+1) (c,r+1) (c,r).
    const auto& fan = sink.fanVertices[2 * 40 + 3];
    const int nodes[5][2] = {{2, 3}, {3, 3}, {3, 4}, {2, 4}, {2, 3}};
    for (int i = 0; i < 5; ++i) {
        const int c = nodes[i][0], r = nodes[i][1];
        EXPECT_DOUBLE_EQ(fan[i].x, ResetX(c) * 0.5);
        EXPECT_DOUBLE_EQ(fan[i].y, ResetY(r) * 0.5);
        EXPECT_EQ(fan[i].z, 0.0);
        EXPECT_DOUBLE_EQ(fan[i].s, c / 40.0);
        EXPECT_DOUBLE_EQ(fan[i].t, r / 40.0);
        EXPECT_FLOAT_EQ(fan[i].col[0], c / 5.0f);
        EXPECT_FLOAT_EQ(fan[i].col[1], r / 10.0f);
        EXPECT_FLOAT_EQ(fan[i].col[2], 1.0f / 15.0f);  // left beats bottom
        EXPECT_EQ(fan[i].col[3], 1.0f);
    }
    EXPECT_FLOAT_EQ(sink.fanVertices[20 * 40 + 5].front().col[2], 8.0f / 15.0f);
}

TEST(OutputChannelRecord, DefaultsSitAtTheirOffsets) {
    OutputChannel ch(10, 20, 300, 200);
    ch.m_id = 3;
    ch.m_outputNumber = 2;
    std::vector<uint8_t> b(OutputChannel::kRecordSize);
    ch.ToBytes(b.data());
    auto d = [&](size_t o) { double v; std::memcpy(&v, &b[o], 8); return v; };
    auto f = [&](size_t o) { float v; std::memcpy(&v, &b[o], 4); return v; };
    auto i = [&](size_t o) { int32_t v; std::memcpy(&v, &b[o], 4); return v; };
    EXPECT_EQ(d(0), -2.0);
    EXPECT_EQ(d(8), -1.5);
    EXPECT_EQ(d(8 * 16 + 8), 0.0);        // control point 8 y
    EXPECT_EQ(d(776), 1.0);               // s at c = 40
    EXPECT_EQ(d(816), 1.0);
    EXPECT_EQ(i(852), 255);               // pattern green
    EXPECT_EQ(f(864), 0.5f);
    EXPECT_EQ(i(880), 10);
    EXPECT_EQ(i(892), 220);
    EXPECT_EQ(i(896), 0);
    EXPECT_EQ(i(900), 40);
    EXPECT_EQ(d(912), -2.0);
    EXPECT_EQ(d(912 + 16 * 1680), 2.0);   // point (40, 40) x
    EXPECT_EQ(f(27808), 1.0f);            // red block element 0
    EXPECT_EQ(f(27808 + 4 * 9), 1.0f);    // red control value 9
    EXPECT_EQ(f(28000), 1.0f);
    EXPECT_EQ(f(28016), 1.2f);
    EXPECT_EQ(f(28016 + 4 * 3), 0.5f);
    EXPECT_EQ(b[28080 + 3 * 0 + 1], 0);
    EXPECT_EQ(f(28852), 1.0f);
    EXPECT_EQ(f(28852 + 4), 50.0f);
    EXPECT_EQ(i(28852 + 16), 1);
    EXPECT_FLOAT_EQ(f(28852 + 20), 4.0f / 3.0f);
    EXPECT_NEAR(f(28852 + 24), -4.0 / 3.0 * std::tan(0.06981317), 1e-6);
    EXPECT_EQ(f(28852 + 72), 10.0f);
    EXPECT_EQ(f(28852 + 84), -10.0f);
    EXPECT_EQ(i(28952), 3);
    EXPECT_EQ(i(28956), 1);
    EXPECT_EQ(f(28960), 1.2f);
    EXPECT_EQ(f(28960 + 40), 0.5f);
    EXPECT_EQ(i(29928), 2);
    EXPECT_EQ(i(29948), -1);
    EXPECT_EQ(i(29952), 1);
    EXPECT_FLOAT_EQ(f(31176), 0.1f);
    for (size_t o : {861u, 862u, 863u, 908u, 909u, 910u, 911u}) EXPECT_EQ(b[o], 0) << o;
}

TEST(OutputChannelRecord, RoundTripKeepsEveryByte) {
    std::vector<uint8_t> in(OutputChannel::kRecordSize);
    std::mt19937 rng(42);
    for (auto& v : in) v = static_cast<uint8_t>(rng());
    // Padding is written as zero and the font field carries the reader's own
    // handle; a file written by this program holds exactly that.
    for (size_t o : {861u, 862u, 863u, 908u, 909u, 910u, 911u}) in[o] = 0;
    OutputChannel ch;
    uint32_t font = ch.m_font;
    std::memcpy(&in[31172], &font, 4);
    ch.FromBytes(in.data());
    std::vector<uint8_t> out(OutputChannel::kRecordSize);
    ch.ToBytes(out.data());
    EXPECT_EQ(in, out);
}

TEST(OutputChannelRecord, PaddingAndFontAreIgnoredOnRead) {
    OutputChannel a;
    std::vector<uint8_t> b(OutputChannel::kRecordSize);
    a.ToBytes(b.data());
    b[862] = 0xAB;
    b[909] = 0xCD;
    b[31172] = 0x77;
    OutputChannel c;
    c.FromBytes(b.data());
    std::vector<uint8_t> out(OutputChannel::kRecordSize);
    c.ToBytes(out.data());
    EXPECT_EQ(out[862], 0);
    EXPECT_EQ(out[909], 0);
    EXPECT_EQ(out[31172], 0);
}
