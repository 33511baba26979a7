#include "render/TestPatterns.h"

#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "channel/OutputChannel.h"
#include "platform/cnum.h"
#include "render/FontTexture.h"

namespace {

class GlPatternSink : public PatternSink {
public:
    void EnableSmoothing() override {
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_POINT_SMOOTH);
        glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
        glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    void LineWidth(float w) override { glLineWidth(w); }
    void PointSize(float s) override { glPointSize(s); }
    void Color(float r, float g, float b, float a) override { glColor4f(r, g, b, a); }
    void Begin(Mode mode) override {
        glBegin(mode == kLineStrip ? GL_LINE_STRIP : mode == kQuads ? GL_QUADS : GL_POINTS);
    }
    void Vertex(float x, float y, float z) override { glVertex4f(x, y, z, 1.0f); }
    void End() override { glEnd(); }
};

constexpr int kLast = OutputChannel::kLast;

void GridVertex(const OutputChannel& ch, PatternSink& sink, int c, int r, float z) {
    const DOUBLE_POINT p = ch.Point(c, r);
    sink.Vertex(static_cast<float>(p.x * 0.5), static_cast<float>(p.y * 0.5), z);
}

void LineStyle(int k, const PatternContext& ctx, PatternSink& sink) {
    if (k == 20) {
        sink.Color(1, 0, 0, 1);
        sink.LineWidth(2);
    } else if (k % 8 == 0) {
        sink.Color(0, 1, 0, 1);
        sink.LineWidth(1);
    } else {
        sink.Color(ctx.gridLineColor[0] / 255.0f, ctx.gridLineColor[1] / 255.0f, ctx.gridLineColor[2] / 255.0f, 1);
        sink.LineWidth(1);
    }
}

void Cell(const OutputChannel& ch, PatternSink& sink, int c, int r) {
    GridVertex(ch, sink, c, r, 0.1f);
    GridVertex(ch, sink, c + 1, r, 0.1f);
    GridVertex(ch, sink, c + 1, r + 1, 0.1f);
    GridVertex(ch, sink, c, r + 1, 0.1f);
}

}  // namespace

void DrawTestPattern(const OutputChannel& ch, bool skipSetup, const PatternContext& ctx, PatternSink& sink) {
    if (!skipSetup) sink.EnableSmoothing();
    const bool full = ch.m_meshMode != 0;

    // Horizontal lines; in the edge-curve mode only the parts that make
    // concentric frames about the centre.
    for (int k = 0; k <= kLast; ++k) {
        LineStyle(k, ctx, sink);
        const int from = full ? 0 : std::min(k, kLast - k);
        const int to = full ? kLast : std::max(k, kLast - k);
        sink.Begin(PatternSink::kLineStrip);
        for (int c = from; c <= to; ++c) GridVertex(ch, sink, c, k, 0.1f);
        sink.End();
    }
    if (!full) {
        sink.Color(1, 0, 0, 1);
        sink.LineWidth(2);
        for (int line = 0; line < 4; ++line) {
            sink.Begin(PatternSink::kLineStrip);
            for (int k = 0; k <= kLast; ++k) {
                switch (line) {
                case 0: GridVertex(ch, sink, k, k, 0.1f); break;
                case 1: GridVertex(ch, sink, k, kLast - k, 0.1f); break;
                case 2: GridVertex(ch, sink, 20, k, 0.1f); break;
                default: GridVertex(ch, sink, k, 20, 0.1f); break;
                }
            }
            sink.End();
        }
    }
    for (int k = 0; k <= kLast; ++k) {
        LineStyle(k, ctx, sink);
        const int from = full ? 0 : std::min(k, kLast - k);
        const int to = full ? kLast : std::max(k, kLast - k);
        sink.Begin(PatternSink::kLineStrip);
        for (int r = from; r <= to; ++r) GridVertex(ch, sink, k, r, 0.1f);
        sink.End();
    }

    // Blend zones, one quad batch per column or row of cells.
    sink.Color(1, 1, 1, 0.2f);
    const int left = ch.m_blend[OutputChannel::kBlendLeft], right = ch.m_blend[OutputChannel::kBlendRight];
    const int top = ch.m_blend[OutputChannel::kBlendTop], bottom = ch.m_blend[OutputChannel::kBlendBottom];
    auto column = [&](int c) {
        if (c < 0 || c >= kLast) return;
        sink.Begin(PatternSink::kQuads);
        for (int r = 0; r < kLast; ++r) Cell(ch, sink, c, r);
        sink.End();
    };
    auto row = [&](int r) {
        if (r < 0 || r >= kLast) return;
        sink.Begin(PatternSink::kQuads);
        for (int c = 0; c < kLast; ++c) Cell(ch, sink, c, r);
        sink.End();
    };
    for (int c = 0; c < std::min(left, kLast); ++c) column(c);
    for (int c = std::max(kLast - right, 0); c < kLast; ++c) column(c);
    for (int r = 0; r < std::min(bottom, kLast); ++r) row(r);
    for (int r = std::max(kLast - top, 0); r < kLast; ++r) row(r);

    if (!ch.m_selected) return;
    // A selection without a vertex (-1, -1) has no grid point to mark.
    const int sc = ch.m_selCol, sr = ch.m_selRow;
    if (sc >= 0 && sc <= kLast && sr >= 0 && sr <= kLast) {
        sink.PointSize(10);
        sink.Color(1, 1, 0, 1);
        sink.Begin(PatternSink::kPoints);
        GridVertex(ch, sink, sc, sr, 0.2f);
        sink.End();
        sink.Color(0, 1, 1, 1);
        if (ctx.adjustMode == 3 || ctx.adjustMode == 4 || ctx.adjustMode == 5) {
            sink.Begin(PatternSink::kPoints);
            for (int c = 0; c <= kLast; ++c) {
                for (int r = 0; r <= kLast; ++r) {
                    const bool mark = ctx.adjustMode == 5 || (ctx.adjustMode == 3 && r == sr) ||
                                      (ctx.adjustMode == 4 && c == sc);
                    if (mark) GridVertex(ch, sink, c, r, 0.2f);
                }
            }
            sink.End();
        }
    }
    const uint32_t t = ctx.nowTick - ch.m_selectTime;
    if (t < 3000) {
        sink.Color(1, static_cast<float>(t) / 3000.0f, 0, 1);
        sink.Begin(PatternSink::kQuads);
        sink.Vertex(-0.25f, -0.25f, 0.2f);
        sink.Vertex(0.25f, -0.25f, 0.2f);
        sink.Vertex(0.25f, 0.25f, 0.2f);
        sink.Vertex(-0.25f, 0.25f, 0.2f);
        sink.End();
    }
}

void DrawTestPattern(const OutputChannel& channel, bool skipSetup, const PatternContext& ctx) {
    GlPatternSink sink;
    DrawTestPattern(channel, skipSetup, ctx, sink);
}

void DrawGridLines(const OutputChannel&, bool withExtras) {
    struct Quad {
        float x0, y0, x1, y1, r, g, b;
    };
    static const Quad quads[4] = {
        {-0.5f, -0.375f, 0.0f, 0.0f, 1, 0, 0},
        {0.0f, -0.375f, 0.5f, 0.0f, 0, 1, 0},
        {0.0f, 0.0f, 0.5f, 0.375f, 0, 0, 1},
        {-0.5f, 0.0f, 0.0f, 0.375f, 1, 1, 1},
    };
    glBegin(GL_QUADS);
    for (const Quad& q : quads) {
        glColor4f(q.r, q.g, q.b, 1.0f);
        glVertex3f(q.x0, q.y0, 0.2f);
        glVertex3f(q.x1, q.y0, 0.2f);
        glVertex3f(q.x1, q.y1, 0.2f);
        glVertex3f(q.x0, q.y1, 0.2f);
    }
    glEnd();
    if (!withExtras) return;
    glColor4f(0, 1, 1, 1);
    glLineWidth(24.0f);
    glBegin(GL_LINE_STRIP);
    glVertex3f(-1.0f, -0.75f, 0.2f);
    glVertex3f(1.0f, -0.75f, 0.2f);
    glVertex3f(1.0f, 0.75f, 0.2f);
    glVertex3f(-1.0f, 0.75f, 0.2f);
    glEnd();
    glLineWidth(1.0f);
}

void InfoOverlayLines(const OutputChannel& ch, const std::string& ip, std::string out[4]) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Ip:%s", ip.c_str());
    out[0] = buf;
    std::snprintf(buf, sizeof buf, "Output id:%d", ch.m_outputNumber);
    out[1] = buf;
    std::snprintf(buf, sizeof buf, "Resolution:%dx%d", ch.m_rect.right - ch.m_rect.left,
                  ch.m_rect.bottom - ch.m_rect.top);
    out[2] = buf;
    std::snprintf(buf, sizeof buf, "Version:%s", "1.0.0.3");
    out[3] = buf;
}

void DrawInfoOverlay(const OutputChannel& ch, float x, float y, const std::string& ip) {
    std::string lines[4];
    InfoOverlayLines(ch, ip, lines);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    for (int i = 0; i < 4; ++i) {
        if (!lines[i].empty()) DrawGlText(lines[i].c_str(), x, y - 0.05f * static_cast<float>(i));
    }
    glEnable(GL_TEXTURE_2D);
}

namespace {
int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

CFpsCounter::CFpsCounter(Clock clock) : m_clock(clock ? clock : &MonotonicNs) {
    m_nFrequency = 1000000000;
    m_nLast = m_clock();
}

std::string CFpsCounter::Update() {
    if (++m_nFrames < 30) return {};
    m_nNow = m_clock();
    const double elapsed = static_cast<double>(m_nNow - m_nLast) / static_cast<double>(m_nFrequency);
    const double fps = elapsed > 0.0 ? 30.0 / elapsed : 0.0;
    m_nLast = m_nNow;
    m_nFrames = 0;
    return platform::FormatC("FPS: %0.3f", fps);
}
