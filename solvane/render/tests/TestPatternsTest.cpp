#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "channel/OutputChannel.h"
#include "render/TestPatterns.h"

namespace {

struct Prim {
    PatternSink::Mode mode;
    float color[4];
    float lineWidth;
    float pointSize;
    std::vector<std::array<float, 3>> v;
};

class Recorder : public PatternSink {
public:
    void EnableSmoothing() override { smoothing = true; }
    void LineWidth(float w) override { width = w; }
    void PointSize(float s) override { point = s; }
    void Color(float r, float g, float b, float a) override { color = {r, g, b, a}; }
    void Begin(Mode mode) override { prims.push_back(Prim{mode, {color[0], color[1], color[2], color[3]}, width, point, {}}); }
    void Vertex(float x, float y, float z) override { prims.back().v.push_back({x, y, z}); }
    void End() override {}

    std::vector<Prim> prims;
    bool smoothing = false;
    std::array<float, 4> color{};
    float width = 0, point = 0;
};

std::array<float, 3> At(const OutputChannel& ch, int c, int r, float z = 0.1f) {
    const DOUBLE_POINT p = ch.Point(c, r);
    return {static_cast<float>(p.x * 0.5), static_cast<float>(p.y * 0.5), z};
}

}  // namespace

TEST(GridPattern, LineColoursAndWidthsByIndex) {
    OutputChannel ch(0, 0, 400, 300);
    PatternContext ctx;
    ctx.gridLineColor[0] = 51;
    ctx.gridLineColor[1] = 102;
    ctx.gridLineColor[2] = 204;
    Recorder rec;
    DrawTestPattern(ch, false, ctx, rec);
    EXPECT_TRUE(rec.smoothing);
    // Mesh mode 1: 41 horizontal strips, then 41 vertical ones, all full.
    ASSERT_GE(rec.prims.size(), 82u);
    struct Case {
        int k;
        float r, g, b, width;
    };
    for (Case c : {Case{16, 0, 1, 0, 1}, Case{20, 1, 0, 0, 2}, Case{21, 0.2f, 0.4f, 0.8f, 1}, Case{40, 0, 1, 0, 1},
                   Case{0, 0, 1, 0, 1}}) {
        for (int dir = 0; dir < 2; ++dir) {
            const Prim& p = rec.prims[dir * 41 + c.k];
            EXPECT_EQ(p.mode, PatternSink::kLineStrip);
            EXPECT_NEAR(p.color[0], c.r, 1e-6) << c.k;
            EXPECT_NEAR(p.color[1], c.g, 1e-6) << c.k;
            EXPECT_NEAR(p.color[2], c.b, 1e-6) << c.k;
            EXPECT_EQ(p.lineWidth, c.width) << c.k;
            EXPECT_EQ(p.v.size(), 41u);
        }
    }
    EXPECT_EQ(rec.prims[5].v.front(), At(ch, 0, 5));
    EXPECT_EQ(rec.prims[41 + 5].v.back(), At(ch, 5, 40));
    Recorder again;
    DrawTestPattern(ch, true, ctx, again);
    EXPECT_FALSE(again.smoothing);
}

TEST(GridPattern, EdgeCurveModeDrawsConcentricFramesAndDiagonals) {
    OutputChannel ch(0, 0, 400, 300);
    ch.m_meshMode = 0;
    Recorder rec;
    DrawTestPattern(ch, true, PatternContext{}, rec);
    // 41 partial horizontals, 4 red full lines, 41 partial verticals.
    ASSERT_EQ(rec.prims.size(), 86u);
    const Prim& h5 = rec.prims[5];
    ASSERT_EQ(h5.v.size(), 31u);
    EXPECT_EQ(h5.v.front(), At(ch, 5, 5));
    EXPECT_EQ(h5.v.back(), At(ch, 35, 5));
    const Prim& h30 = rec.prims[30];
    EXPECT_EQ(h30.v.front(), At(ch, 10, 30));
    EXPECT_EQ(h30.v.back(), At(ch, 30, 30));
    EXPECT_EQ(rec.prims[20].v.size(), 1u);  // one point: draws nothing
    for (int i = 41; i < 45; ++i) {
        EXPECT_EQ(rec.prims[i].v.size(), 41u);
        EXPECT_EQ(rec.prims[i].color[0], 1.0f);
        EXPECT_EQ(rec.prims[i].color[1], 0.0f);
        EXPECT_EQ(rec.prims[i].lineWidth, 2.0f);
    }
    EXPECT_EQ(rec.prims[41].v[7], At(ch, 7, 7));
    EXPECT_EQ(rec.prims[42].v[7], At(ch, 7, 33));
    const Prim& v5 = rec.prims[45 + 5];
    EXPECT_EQ(v5.v.front(), At(ch, 5, 5));
    EXPECT_EQ(v5.v.back(), At(ch, 5, 35));
}

TEST(GridPattern, BlendZonesShadeTheirCellsAndCornersTwice) {
    OutputChannel ch(0, 0, 400, 300);
    ch.m_blend[OutputChannel::kBlendLeft] = 3;
    ch.m_blend[OutputChannel::kBlendBottom] = 2;
    Recorder rec;
    DrawTestPattern(ch, true, PatternContext{}, rec);
    std::map<std::pair<float, float>, int> cells;
    int quads = 0, batches = 0;
    for (const Prim& p : rec.prims) {
        if (p.mode != PatternSink::kQuads) continue;
        ++batches;
        EXPECT_EQ(p.color[3], 0.2f);
        ASSERT_EQ(p.v.size() % 4, 0u);
        for (size_t i = 0; i < p.v.size(); i += 4) {
            ++quads;
            ++cells[{p.v[i][0], p.v[i][1]}];
        }
    }
    EXPECT_EQ(batches, 5);
    EXPECT_EQ(quads, 3 * 40 + 2 * 40);
    int twice = 0;
    for (const auto& [cell, n] : cells) twice += n == 2;
    EXPECT_EQ(twice, 6);
    const auto corner = std::make_pair(At(ch, 2, 1)[0], At(ch, 2, 1)[1]);
    EXPECT_EQ(cells[corner], 2);
}

TEST(GridPattern, SelectionMarksByAdjustMode) {
    struct Case {
        int mode;
        size_t cyan;
    };
    for (Case c : {Case{1, 0}, Case{3, 41}, Case{4, 41}, Case{5, 1681}}) {
        OutputChannel ch(0, 0, 400, 300);
        ch.m_selected = 1;
        ch.m_selCol = 7;
        ch.m_selRow = 12;
        ch.m_selectTime = 1000;
        PatternContext ctx;
        ctx.adjustMode = c.mode;
        ctx.nowTick = 1000 + 5000;  // no flash
        Recorder rec;
        DrawTestPattern(ch, true, ctx, rec);
        std::vector<const Prim*> points;
        for (const Prim& p : rec.prims)
            if (p.mode == PatternSink::kPoints) points.push_back(&p);
        ASSERT_EQ(points.size(), c.cyan ? 2u : 1u) << c.mode;
        EXPECT_EQ(points[0]->color[2], 0.0f);  // yellow
        EXPECT_EQ(points[0]->pointSize, 10.0f);
        EXPECT_EQ(points[0]->v[0], At(ch, 7, 12, 0.2f));
        if (c.cyan) {
            EXPECT_EQ(points[1]->v.size(), c.cyan) << c.mode;
            EXPECT_EQ(points[1]->color[0], 0.0f);
            for (int i = 0; i < 41 && c.mode != 5; ++i) {
                const auto expected = c.mode == 4 ? At(ch, 7, i, 0.2f) : At(ch, i, 12, 0.2f);
                EXPECT_EQ(points[1]->v[i], expected) << c.mode << " " << i;
            }
        }
        EXPECT_NE(rec.prims.back().mode, PatternSink::kQuads);
    }
}

TEST(GridPattern, SelectionFlashFadesAndAbsentVertexMarksNothing) {
    OutputChannel ch(0, 0, 400, 300);
    ch.m_selected = 1;
    ch.m_selCol = -1;
    ch.m_selRow = -1;
    ch.m_selectTime = 0xFFFFFF00u;  // the tick wraps in between
    PatternContext ctx;
    ctx.adjustMode = 5;
    ctx.nowTick = 0xFFFFFF00u + 1500;
    Recorder rec;
    DrawTestPattern(ch, true, ctx, rec);
    for (const Prim& p : rec.prims) EXPECT_NE(p.mode, PatternSink::kPoints);
    const Prim& flash = rec.prims.back();
    ASSERT_EQ(flash.mode, PatternSink::kQuads);
    EXPECT_EQ(flash.color[0], 1.0f);
    EXPECT_FLOAT_EQ(flash.color[1], 0.5f);
    EXPECT_EQ(flash.color[2], 0.0f);
    EXPECT_EQ(flash.v[0], (std::array<float, 3>{-0.25f, -0.25f, 0.2f}));
    EXPECT_EQ(flash.v[2], (std::array<float, 3>{0.25f, 0.25f, 0.2f}));
}

TEST(InfoOverlay, LinesOfAChannel) {
    OutputChannel ch(0, 0, 1920, 1080);
    ch.m_outputNumber = 3;
    std::string lines[4];
    InfoOverlayLines(ch, "10.0.0.7", lines);
    EXPECT_EQ(lines[0], "Ip:10.0.0.7");
    EXPECT_EQ(lines[1], "Output id:3");
    EXPECT_EQ(lines[2], "Resolution:1920x1080");
    EXPECT_EQ(lines[3], "Version:1.0.0.3");
}

namespace {
int64_t g_fakeNs = 0;
int64_t FakeClock() { return g_fakeNs; }
}  // namespace

TEST(FpsCounter, EveryThirtiethFrameReportsTheRate) {
    g_fakeNs = 5;
    CFpsCounter fps(&FakeClock);
    for (int i = 0; i < 29; ++i) EXPECT_EQ(fps.Update(), "") << i;
    g_fakeNs = 5 + 500000000;  // 30 frames in half a second
    EXPECT_EQ(fps.Update(), "FPS: 60.000");
    EXPECT_EQ(fps.m_nFrames, 0);
    EXPECT_EQ(fps.Update(), "");
}
