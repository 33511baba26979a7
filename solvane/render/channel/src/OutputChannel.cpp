#include "channel/OutputChannel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "lintra/algorithm.h"

namespace {

constexpr int kL = OutputChannel::kLast;

// Grid nodes of the nine control points.
constexpr int kCtrlNode[9][2] = {{0, 0},   {40, 0},  {40, 40}, {0, 40}, {20, 0},
                                 {40, 20}, {20, 40}, {0, 20},  {20, 20}};
constexpr double kCtrlDefault[9][2] = {{-2.0, -1.5}, {2.0, -1.5}, {2.0, 1.5}, {-2.0, 1.5}, {0.0, -1.5},
                                       {2.0, 0.0},   {0.0, 1.5},  {-2.0, 0.0}, {0.0, 0.0}};

inline bool InGrid(int c, int r) { return c >= 0 && c <= kL && r >= 0 && r <= kL; }

// Blend widths may hold anything the console sent; ramps and cell codes use
// them as cell counts within the grid.
inline int ClampWidth(int32_t w) { return std::clamp<int32_t>(w, 0, kL); }

template <class T>
void PutAt(uint8_t* block, size_t& pos, T v) {
    std::memcpy(block + pos, &v, sizeof v);
    pos += sizeof v;
}

}  // namespace

OutputChannel::OutputChannel() { Construct(); }

OutputChannel::OutputChannel(int32_t x, int32_t y, int32_t width, int32_t height) {
    Construct();
    m_rect = RECT{x, y, x + width, y + height};
    m_selCol = 0;
    m_selRow = 40;
}

void OutputChannel::Construct() {
    ResetProjection();
    // The overlay font itself is made by the GL text layer from kFont*.
    m_font = 0;
    m_fontScale = 0.1f;
    m_selected = 0;
    ResetBlend();
    m_selectTime = 0;
    m_meshMode = 1;
}

void OutputChannel::ResetProjection() {
    const float aspect = 4.0f / 3.0f;
    const float t = static_cast<float>(std::tan(0.06981317));
    std::memset(m_projection, 0, sizeof m_projection);
    size_t pos = 0;
    PutAt(m_projection, pos, 1.0f);
    PutAt(m_projection, pos, 50.0f);
    PutAt(m_projection, pos, int32_t{0});
    PutAt(m_projection, pos, 8.0f);
    PutAt(m_projection, pos, int32_t{1});
    PutAt(m_projection, pos, aspect);
    PutAt(m_projection, pos, -aspect * t);  // frustum left, right, top, bottom
    PutAt(m_projection, pos, aspect * t);
    PutAt(m_projection, pos, t);
    PutAt(m_projection, pos, -t);
    for (int i = 0; i < 8; ++i) PutAt(m_projection, pos, 0.0f);
    PutAt(m_projection, pos, 10.0f);
    PutAt(m_projection, pos, 0.0f);
    PutAt(m_projection, pos, 0.0f);
    PutAt(m_projection, pos, -10.0f);
    for (int i = 0; i < 3; ++i) PutAt(m_projection, pos, 0.0f);
}

void OutputChannel::ResetBlend() {
    static constexpr int kLevels[9] = {0, 31, 63, 95, 127, 159, 191, 223, 255};
    for (auto& block : m_curve) {
        block[0] = 1.0f;
        for (int i = 0; i < 9; ++i) block[1 + i] = static_cast<float>(kLevels[i]) / 255.0f;
        for (int i = 10; i < 16; ++i) block[i] = 0.0f;
    }
    for (int i = 0; i < 256; ++i) m_lookup[i][0] = m_lookup[i][1] = m_lookup[i][2] = static_cast<uint8_t>(i);
    m_colorRatio[0] = m_colorRatio[1] = m_colorRatio[2] = 1.0f;
    m_ratioFlag = 0;
    BuildColorCurves();
    ResetEdgeBlend();

    m_texWindow[kTexS0] = 0.0;
    m_texWindow[kTexS40] = 1.0;
    m_texWindow[kTexT40] = 1.0;
    m_texWindow[kTexT0] = 0.0;
    for (double& v : m_texWindow2) v = 1.0;
    for (int32_t& w : m_blend) w = 0;
    m_patternColor[0] = 0;
    m_patternColor[1] = 255;
    m_patternColor[2] = 0;
    m_words[0] = -1;
    m_words[1] = 1;
    m_words[2] = -1;
    m_words[3] = -1;
    m_selCol = 0;
    m_selRow = 40;
    m_projMode = 0;
    ResetProjection();
    ResetWarpGrid();
    m_rotation = 0.0f;
    m_id = 0;
    m_selectTime = 0;
    for (float& e : m_edgePos) e = 0.0f;
}

void OutputChannel::ResetWarpGrid() {
    for (int k = 0; k < 9; ++k) m_ctrl[k] = DOUBLE_POINT{kCtrlDefault[k][0], kCtrlDefault[k][1]};
    for (float& f : m_factors) f = 0.5f;
    ComputeMesh(1);
}

void OutputChannel::ComputeMesh(int mode) {
    if (mode == 0)
        CalcEdgeCurveMesh();
    else
        CalcBezierMesh();
}

void OutputChannel::CalcBezierMesh() {
    double xs[9], ys[9];
    for (int k = 0; k < 9; ++k) {
        xs[k] = m_ctrl[k].x;
        ys[k] = m_ctrl[k].y;
    }
    LINTRA_ALGORITHM::CalcVertexValue_9(xs, ys, m_grid);
}

void OutputChannel::CalcEdgeCurveMesh() {
    const DOUBLE_POINT p0 = m_ctrl[0], p1 = m_ctrl[1], p2 = m_ctrl[2], p3 = m_ctrl[3];
    const DOUBLE_POINT p4 = m_ctrl[4], p6 = m_ctrl[6];
    double ax[41], ay[41], bx[41], by[41];
    for (int k = 0; k <= kL; ++k) {
        const double t = static_cast<float>(k / 40.0);
        const double T = 1.0 - t;
        const double w0 = T * T, w1 = 2.0 * t * T, w2 = t * t;
        ax[k] = p0.x * w0 + p4.x * w1 + p1.x * w2;
        ay[k] = p0.y * w0 + p4.y * w1 + p1.y * w2;
        bx[k] = p3.x * w0 + p6.x * w1 + p2.x * w2;
        by[k] = p3.y * w0 + p6.y * w1 + p2.y * w2;
    }
    for (int c = 0; c <= kL; ++c) {
        for (int r = 0; r <= kL; ++r) {
            const double t = static_cast<float>(r / 40.0);
            SetPoint(c, r, (1.0 - t) * ax[c] + t * bx[c], (1.0 - t) * ay[c] + t * by[c]);
        }
    }
}

int OutputChannel::ControlPointIndex(int r, int c) {
    for (int k = 0; k < 9; ++k) {
        if (kCtrlNode[k][0] == c && kCtrlNode[k][1] == r) return k;
    }
    return -1;
}

void OutputChannel::ControlPointNode(int k, int& c, int& r) {
    c = kCtrlNode[k][0];
    r = kCtrlNode[k][1];
}

void OutputChannel::ReloadControlPoints() {
    for (int k = 0; k < 9; ++k) m_ctrl[k] = m_grid[kCtrlNode[k][0]][kCtrlNode[k][1]];
}

void OutputChannel::MoveVertex(int mode, int c, int r, double x, double y) {
    // Indexes from the wire: anything outside the grid moves nothing.
    if (!InGrid(c, r)) {
        if (mode != 2) ReloadControlPoints();
        return;
    }
    m_selCol = c;
    m_selRow = r;
    const DOUBLE_POINT p = m_grid[c][r];
    const double dx = x - p.x;
    const double dy = y - p.y;
    switch (mode) {
    case 0:
        SetPoint(c, r, x, y);
        break;
    case 1:
        SetPoint(c, r, x, y);
        StraightenGrid();
        break;
    case 2: {
        SetPoint(c, r, x, y);
        const int k = ControlPointIndex(r, c);
        if (k >= 0) {
            m_ctrl[k] = DOUBLE_POINT{x, y};
            ComputeMesh(1);
        }
        return;
    }
    case 3:
        for (int j = 0; j <= kL; ++j) SetPoint(c, j, m_grid[c][j].x + dx, m_grid[c][j].y + dy);
        break;
    case 4:
        for (int i = 0; i <= kL; ++i) SetPoint(i, r, m_grid[i][r].x + dx, m_grid[i][r].y + dy);
        break;
    case 5:
        for (int i = 0; i <= kL; ++i)
            for (int j = 0; j <= kL; ++j) SetPoint(i, j, m_grid[i][j].x + dx, m_grid[i][j].y + dy);
        break;
    default:
        break;
    }
    ReloadControlPoints();
}

void OutputChannel::StraightenGrid() {
    const DOUBLE_POINT corners[4] = {m_grid[0][0], m_grid[kL][0], m_grid[kL][kL], m_grid[0][kL]};
    LINTRA_ALGORITHM::CalcVertexValue_4(corners, m_grid);
    ReloadControlPoints();
}

void OutputChannel::OffsetGrid(int direction, double step) {
    double dx = 0.0, dy = 0.0;
    switch (direction) {
    case 0: dx = -step; break;
    case 1: dy = step; break;
    case 2: dx = step; break;
    case 3: dy = -step; break;
    default: break;
    }
    for (int i = 0; i <= kL; ++i)
        for (int j = 0; j <= kL; ++j) SetPoint(i, j, m_grid[i][j].x + dx, m_grid[i][j].y + dy);
    ReloadControlPoints();
}

void OutputChannel::RotateGrid(double degrees) {
    const double a = degrees * 3.14156 / 180.0;
    const double s = std::sin(a);
    const double k = std::cos(a);
    for (int i = 0; i <= kL; ++i) {
        for (int j = 0; j <= kL; ++j) {
            const DOUBLE_POINT p = m_grid[i][j];
            SetPoint(i, j, p.x * k + p.y * s, p.y * k - p.x * s);
        }
    }
    ReloadControlPoints();
}

void OutputChannel::EqualizeGrid(int mode) {
    switch (mode) {
    case 0:
        for (int c = 0; c <= kL; ++c) {
            const double y0 = m_grid[c][0].y;
            const double d = std::fabs(m_grid[c][kL].y - y0);
            for (int r = 0; r <= kL; ++r) m_grid[c][r].y = y0 + r * d / 40.0;
        }
        break;
    case 1:
        for (int r = 0; r <= kL; ++r) {
            const double x0 = m_grid[0][r].x;
            const double d = std::fabs(m_grid[kL][r].x - x0);
            for (int c = 0; c <= kL; ++c) m_grid[c][r].x = x0 + c * d / 40.0;
        }
        break;
    case 2:
        for (int r = 0; r <= kL; ++r) {
            const double y0 = m_grid[0][r].y;
            const double y40 = m_grid[kL][r].y;
            for (int c = 1; c < kL; ++c) m_grid[c][r].y = y0 + c * (y40 - y0) / 40.0;
        }
        break;
    case 3:
        for (int c = 0; c <= kL; ++c) {
            const double x0 = m_grid[c][0].x;
            const double x40 = m_grid[c][kL].x;
            for (int r = 1; r < kL; ++r) m_grid[c][r].x = x0 + r * (x40 - x0) / 40.0;
        }
        break;
    default:
        break;
    }
}

void OutputChannel::AdjustGrid(int meshMode, int direction, int editMode, int flags, double step) {
    const int c = m_selCol;
    const int r = m_selRow;
    // A selection read from the wire or a file may lie anywhere.
    if (!InGrid(c, r) || m_selCtrl < 0) return;
    const int k = m_selCtrl - 1;
    const bool haveCtrl = k >= 0 && k <= 8;
    m_meshMode = meshMode;

    double dx = 0.0, dy = 0.0;
    switch (direction) {
    case 0: dx = -step; break;
    case 1: dy = step; break;
    case 2: dx = step; break;
    case 3: dy = -step; break;
    default: return;
    }
    // The control-point modes need one of the nine; without it nothing is edited.
    if ((editMode == 1 || editMode == 2) && !haveCtrl) return;

    switch (editMode) {
    case 0: {
        DOUBLE_POINT p = m_grid[c][r];
        p.x += dx;
        p.y += dy;
        // Neighbours on the side the vertex moves towards: direct, lower
        // diagonal, higher diagonal.
        auto test = [&](int nc, int nr, auto holds, bool setX) {
            if (!InGrid(nc, nr)) return;
            const DOUBLE_POINT n = m_grid[nc][nr];
            if (holds(n, p)) {
                if (setX)
                    p.x = n.x;
                else
                    p.y = n.y;
            }
        };
        if (direction == 0 && c > 0) {
            test(c - 1, r, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.x > q.x; }, true);
            test(c - 1, r - 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.x > q.x && n.y > q.y; }, true);
            test(c - 1, r + 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.x > q.x && n.y < q.y; }, true);
        } else if (direction == 2 && c < kL) {
            test(c + 1, r, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.x < q.x; }, true);
            test(c + 1, r - 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.x < q.x && n.y > q.y; }, true);
            test(c + 1, r + 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.x < q.x && n.y < q.y; }, true);
        } else if (direction == 1 && r < kL) {
            test(c, r + 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.y < q.y; }, false);
            test(c - 1, r + 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.y < q.y && n.x > q.x; }, false);
            test(c + 1, r + 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.y < q.y && n.x < q.x; }, false);
        } else if (direction == 3 && r > 0) {
            test(c, r - 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.y > q.y; }, false);
            test(c - 1, r - 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.y > q.y && n.x > q.x; }, false);
            test(c + 1, r - 1, [](DOUBLE_POINT n, DOUBLE_POINT q) { return n.y > q.y && n.x < q.x; }, false);
        }
        m_grid[c][r] = p;
        break;
    }
    case 1:
        {
            m_ctrl[k].x += dx;
            m_ctrl[k].y += dy;
            if (k <= 3) {
                const int nc = kCtrlNode[k][0], nr = kCtrlNode[k][1];
                if (direction == 0 || direction == 2)
                    m_grid[nc][nr].x = m_ctrl[k].x;
                else
                    m_grid[nc][nr].y = m_ctrl[k].y;
            }
            const DOUBLE_POINT corners[4] = {m_grid[0][0], m_grid[kL][0], m_grid[kL][kL], m_grid[0][kL]};
            LINTRA_ALGORITHM::CalcVertexValue_4(corners, m_grid);
        }
        break;
    case 2:
        {
            m_ctrl[k].x += dx;
            m_ctrl[k].y += dy;
            ComputeMesh(meshMode);
        }
        break;
    case 3:
        for (int i = 0; i <= kL; ++i) SetPoint(i, r, m_grid[i][r].x + dx, m_grid[i][r].y + dy);
        break;
    case 4:
        for (int j = 0; j <= kL; ++j) SetPoint(c, j, m_grid[c][j].x + dx, m_grid[c][j].y + dy);
        break;
    default:
        break;
    }

    if (flags & 1) {
        for (int row = 0; row <= kL; ++row) {
            for (int j = 0; j < 20; ++j) {
                if (c < 20) {
                    const DOUBLE_POINT s = m_grid[j][row];
                    SetPoint(kL - j, row, -s.x, s.y);
                } else {
                    const DOUBLE_POINT s = m_grid[kL - j][row];
                    SetPoint(j, row, -s.x, s.y);
                }
            }
        }
        for (int row = 0; row <= kL; ++row) m_grid[20][row].x = (m_grid[19][row].x + m_grid[21][row].x) * 0.5;
    }
    if (flags & 2) {
        for (int j = 0; j < 20; ++j) {
            for (int col = 0; col <= kL; ++col) {
                if (r < 20) {
                    const DOUBLE_POINT s = m_grid[col][j];
                    SetPoint(col, kL - j, s.x, -s.y);
                } else {
                    const DOUBLE_POINT s = m_grid[col][kL - j];
                    SetPoint(col, j, s.x, -s.y);
                }
            }
        }
        for (int col = 0; col <= kL; ++col) m_grid[col][20].y = (m_grid[col][19].y + m_grid[col][21].y) * 0.5;
    }
    if (flags & 4) EqualizeGrid(0);
    if (flags & 8) EqualizeGrid(1);

    if (editMode != 2) ReloadControlPoints();
}

double OutputChannel::TexS(int c) const {
    return m_texWindow[kTexS0] + (m_texWindow[kTexS40] - m_texWindow[kTexS0]) * c / 40.0;
}

double OutputChannel::TexT(int r) const {
    return m_texWindow[kTexT0] + (m_texWindow[kTexT40] - m_texWindow[kTexT0]) * r / 40.0;
}

namespace {
float Ramp(int k, int nearW, int farW) {
    if (k < nearW) return static_cast<float>(k) / static_cast<float>(nearW);
    if (40 - k < farW) return static_cast<float>(40 - k) / static_cast<float>(farW);
    return 1.0f;
}
}  // namespace

float OutputChannel::BlendFactorX(int c) const {
    return Ramp(c, ClampWidth(m_blend[kBlendLeft]), ClampWidth(m_blend[kBlendRight]));
}

float OutputChannel::BlendFactorY(int r) const {
    return Ramp(r, ClampWidth(m_blend[kBlendBottom]), ClampWidth(m_blend[kBlendTop]));
}

int OutputChannel::CellCode(int c, int r) const {
    int code = 0;
    if (r < ClampWidth(m_blend[kBlendBottom])) code = 8;
    if (39 - r < ClampWidth(m_blend[kBlendTop])) code = 2;
    if (c < ClampWidth(m_blend[kBlendLeft])) code = 1;
    if (39 - c < ClampWidth(m_blend[kBlendRight])) code = 4;
    return code;
}

void OutputChannel::BuildMeshList(MeshSink& sink) const {
    static constexpr int kFan[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
    sink.EnableTexture2D();
    sink.Normal(0.0f, 0.0f, 1.0f);
    for (int c = 0; c < kL; ++c) {
        for (int r = 0; r < kL; ++r) {
            const float code = static_cast<float>(CellCode(c, r)) / 15.0f;
            sink.BeginTriangleFan();
            for (const auto& d : kFan) {
                const int vc = c + d[0], vr = r + d[1];
                const DOUBLE_POINT p = m_grid[vc][vr];
                sink.Color(BlendFactorX(vc), BlendFactorY(vr), code, 1.0f);
                sink.TexCoord(TexS(vc), TexT(vr));
                sink.Vertex(p.x * 0.5, p.y * 0.5, 0.0);
            }
            sink.End();
        }
    }
}
