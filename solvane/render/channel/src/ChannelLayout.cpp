#include "channel/ChannelLayout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "channel/Displays.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT UnionRect(const RECT& a, const RECT& b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

bool IntersectRect(const RECT& a, const RECT& b, RECT& out) {
    out = RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    if (IsEmpty(out)) {
        out = RECT{};
        return false;
    }
    return true;
}

}  // namespace

CChannelLayout::CChannelLayout() {
    m_nStageMode = 0;
    SetDefaults();
    m_dMoveStep = 1.0;
    m_pSelected = nullptr;
    m_nChannelLimit = 8;
    m_nReserved = 0;
    m_nStoredWord3 = 1;
}

void CChannelLayout::SetDefaults() {
    m_nChannelCount = 1;
    m_nColumns = 1;
    m_nRows = 1;
    m_nOriginX = 0;
    m_nOriginY = 0;
    m_nChannelWidth = 320;
    m_nChannelHeight = 240;
    m_dMoveStep = 0.0001;
    m_nAdjustMode = 1;
    m_nModeWord2 = 0;
    m_nAdjustFlags = 3;
    m_nModeWord4 = 0;
    m_nAutoArrange = 1;
    m_corners[0] = DOUBLE_POINT{0.0, 1.0};  // top-left
    m_corners[1] = DOUBLE_POINT{0.0, 0.0};  // bottom-left
    m_corners[2] = DOUBLE_POINT{1.0, 1.0};  // top-right
    m_corners[3] = DOUBLE_POINT{1.0, 0.0};  // bottom-right
}

OutputChannel* CChannelLayout::FindChannel(int outputNumber) const {
    for (const auto& ch : m_channels)
        if (ch->m_outputNumber == outputNumber) return ch.get();
    return nullptr;
}

void CChannelLayout::ClearChannels() {
    m_channels.Clear();
    m_pSelected = nullptr;
}

bool CChannelLayout::CreateChannels(int count, const CHANNEL_BASE_INFO* records, int32_t width, int32_t height,
                                    bool fresh) {
    // The columns and rows below divide by the channel size.
    bool ok = layoutbounds::SizeOk(width) && layoutbounds::SizeOk(height) && count >= 0 &&
              count <= lintra::kMaxChannels && (count == 0 || records);
    for (int i = 0; ok && i < count; ++i) ok = layoutbounds::RectOk(records[i].rect);
    if (!ok) {
        LOGTEXT::LogError("create channels refused: count=%d,width=%d,height=%d.", count, width, height);
        return false;
    }
    ClearChannels();
    m_stageRect = RECT{};
    m_stageUnion = RECT{};
    m_nChannelWidth = width;
    m_nChannelHeight = height;
    int32_t maxRight = 0, maxBottom = 0;
    for (int i = 0; i < count; ++i) {
        const CHANNEL_BASE_INFO& rec = records[i];
        const int32_t output = rec.channelId;
        RECT outRect{};
        int32_t primary = 0;
        if (!GetDisplayRectByNumber(output, outRect, primary)) {
            // No such display here: show the channel where the console placed it.
            outRect = rec.rect;
            LOGTEXT::LogError("display %d not found, channel placed at %d,%d,%d,%d.", output, outRect.left,
                              outRect.top, outRect.right, outRect.bottom);
        }
        auto ch = std::make_unique<OutputChannel>(outRect.left, outRect.top, outRect.right - outRect.left,
                                                  outRect.bottom - outRect.top);
        m_stageRect = UnionRect(m_stageRect, outRect);
        if (fresh) {
            ch->ResetBlend();
            ch->m_stageRect = outRect;
            ch->m_outputNumber = output;
        } else {
            const RECT b = rec.blendWidth;  // wire order left, top, right, bottom
            ch->m_blend[OutputChannel::kBlendLeft] = b.left;
            ch->m_blend[OutputChannel::kBlendTop] = b.top;
            ch->m_blend[OutputChannel::kBlendRight] = b.right;
            ch->m_blend[OutputChannel::kBlendBottom] = b.bottom;
            ch->m_rotation = rec.rotation;
            ch->m_stageRect = rec.rect;
            ch->m_outputNumber = output;
            for (int k = 0; k < 3; ++k) ch->m_colorRatio[k] = rec.colorRatio[k];
            for (int c = 0; c <= 40; ++c) {
                for (int r = 0; r <= 40; ++r) {
                    const DOUBLE_POINT p = rec.grid[c][r];
                    ch->SetPoint(c, r, p.x * 2.0, p.y * 1.5);
                }
            }
            ch->ReloadControlPoints();
        }
        m_stageUnion = UnionRect(m_stageUnion, ch->m_stageRect);
        const RECT s = ch->m_stageRect;
        LOGTEXT::LogInfo("new channel. outputid=%d.blend=%d,%d,%d,%d.rotateangle=%0.3f,stagepos=%d,%d,%d,%d",
                         ch->m_outputNumber, ch->m_blend[0], ch->m_blend[1], ch->m_blend[2], ch->m_blend[3],
                         static_cast<double>(ch->m_rotation), s.left, s.top, s.right, s.bottom);
        maxRight = std::max(maxRight, outRect.right);
        maxBottom = std::max(maxBottom, outRect.bottom);
        m_channels.Append(std::move(ch));
    }
    m_nChannelCount = static_cast<int32_t>(m_channels.size());
    m_nMaxBottom = maxBottom;
    m_nMaxRight = maxRight;
    m_nColumns = static_cast<int32_t>((int64_t{m_stageRect.right} - m_stageRect.left) / width);
    m_nRows = static_cast<int32_t>((int64_t{m_stageRect.bottom} - m_stageRect.top) / height);

    // Overlaps: right blends along the first row, bottom blends down the
    // first column, never past the end of the list.
    const int64_t n = static_cast<int64_t>(m_channels.size());
    int64_t L = 0, T = 0;
    for (int64_t i = 0; i <= static_cast<int64_t>(m_nColumns) - 2 && i < n; ++i)
        L += m_channels[static_cast<size_t>(i)]->m_blend[OutputChannel::kBlendRight];
    for (int64_t k = 0; k <= static_cast<int64_t>(m_nRows) - 2; ++k) {
        const int64_t pos = static_cast<int64_t>(m_nColumns) * k;
        if (pos >= n) break;
        T += m_channels[static_cast<size_t>(pos)]->m_blend[OutputChannel::kBlendBottom];
    }
    // Blend widths come from the wire unchecked: saturate, never convert out of range.
    auto toInt = [](double v) {
        return static_cast<int32_t>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
    };
    m_nTotalWidth = toInt(maxRight - static_cast<double>(L) / 40.0 * width);
    m_nTotalHeight = toInt(maxBottom - static_cast<double>(T) / 40.0 * height);
    LOGTEXT::LogInfo("channel row=%d.col=%d.m_nTotalChannelsize=%d,%d", m_nRows, m_nColumns, m_nMaxRight,
                     m_nMaxBottom);
    return true;
}

void CChannelLayout::ResetChannels() {
    ClearChannels();
    LOGTEXT::LogInfo("reset channel. row=%d.col=%d.width=%d,height=%d", m_nRows, m_nColumns, m_nChannelWidth,
                     m_nChannelHeight);
    const int32_t w = m_nChannelWidth, h = m_nChannelHeight;
    for (int32_t row = 0; row < m_nRows; ++row) {
        for (int32_t col = 0; col < m_nColumns; ++col) {
            auto ch = std::make_unique<OutputChannel>(col * w, row * h, w, h);
            ch->m_id = row * m_nColumns + col + 1;
            ch->m_stageRect = ch->m_rect;
            m_channels.Append(std::move(ch));
        }
    }
    m_pSelected = m_channels.empty() ? nullptr : m_channels[0];
    const int32_t cells = std::max(0, m_nColumns) * std::max(0, m_nRows);
    m_idTable.assign(static_cast<size_t>(cells), 0);
    m_nChannelCount = cells;
    m_nMaxRight = m_nColumns * w;
    m_nMaxBottom = m_nRows * h;
    m_nTotalWidth = m_nMaxRight;
    m_nTotalHeight = m_nMaxBottom;
    m_stageRect = RECT{m_nOriginX, m_nOriginY, m_nOriginX + m_nMaxRight, m_nOriginY + m_nMaxBottom};
}

void CChannelLayout::SelectChannel(int outputNumber) {
    for (const auto& ch : m_channels) {
        ch->m_selected = 0;
        ch->m_selCol = -1;
        ch->m_selRow = -1;
    }
    m_pSelected = FindChannel(outputNumber);
    if (m_pSelected) {
        m_pSelected->m_selected = 1;
        m_pSelected->m_selectTime = platform::GetTickCount();
    }
}

void CChannelLayout::SelectChannelByIndex(int index) {
    for (const auto& ch : m_channels) {
        ch->m_selected = 0;
        ch->m_selCol = -1;
        ch->m_selRow = -1;
    }
    m_pSelected = (index >= 0 && static_cast<size_t>(index) < m_channels.size()) ? m_channels[index] : nullptr;
    if (m_pSelected) {
        m_pSelected->m_selected = 1;
        m_pSelected->m_selectTime = platform::GetTickCount();
    }
}

void CChannelLayout::SetSelectedVertex(int c, int r, int controlWord) {
    if (!m_pSelected) return;
    // Stored as given so replies report it; the edits act only on a vertex
    // inside the grid and a control point among the nine.
    m_pSelected->m_selCol = c;
    m_pSelected->m_selRow = r;
    m_pSelected->m_selCtrl = controlWord;
}

bool CChannelLayout::GetSelectedVertexInfo(tagNETHEAD& reply) const {
    reply.intParam[0] = 0;
    if (!m_pSelected) return false;
    const OutputChannel& ch = *m_pSelected;
    const int c = ch.m_selCol, r = ch.m_selRow;
    auto inGrid = [](int c2, int r2) { return c2 >= 0 && c2 <= 40 && r2 >= 0 && r2 <= 40; };
    if (!inGrid(c, r)) return false;
    reply.intParam[0] = 1;
    reply.intParam[1] = c;
    reply.intParam[2] = r;
    reply.intParam[3] = ch.m_selCtrl;
    reply.intParam[4] = ch.m_outputNumber;
    const DOUBLE_POINT p = ch.Point(c, r);
    reply.realParam[0] = p.x * 0.5;
    reply.realParam[1] = p.y / 1.5;
    int32_t mask = 0;
    uint8_t text[sizeof reply.textParam] = {};
    for (int dc = -1; dc <= 1; ++dc) {
        for (int dr = -1; dr <= 1; ++dr) {
            const int bit = (dc + 1) * 3 + (dr + 1);
            if (!inGrid(c + dc, r + dr)) continue;
            mask |= 1 << bit;
            const DOUBLE_POINT q = ch.Point(c + dc, r + dr);
            const double xy[2] = {q.x * 0.5, q.y / 1.5};
            std::memcpy(text + bit * 16, xy, sizeof xy);
        }
    }
    reply.intParam[5] = mask;
    std::memcpy(reply.textParam, text, sizeof text);
    return true;
}

void CChannelLayout::OffsetSelectedGrid(int direction, double step) {
    if (m_pSelected) m_pSelected->OffsetGrid(direction, step);
}

void CChannelLayout::RotateSelectedGrid(double degrees) {
    if (m_pSelected) m_pSelected->RotateGrid(degrees);
}

void CChannelLayout::AdjustSelectedGrid(int meshMode, int direction) {
    if (!m_pSelected) return;
    if (m_nAdjustMode == 5)
        m_pSelected->OffsetGrid(direction, m_dMoveStep);
    else
        m_pSelected->AdjustGrid(meshMode, direction, m_nAdjustMode, m_nAdjustFlags, m_dMoveStep);
}

void CChannelLayout::EqualizeSelectedGrid(int mode) {
    if (m_pSelected) m_pSelected->EqualizeGrid(mode);
}

void CChannelLayout::MoveSelection(char key) {
    if (!m_pSelected) return;
    int c = m_pSelected->m_selCol;
    int r = m_pSelected->m_selRow;
    const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
    int* v;
    bool down;
    switch (k) {
    case 'A': v = &c; down = true; break;
    case 'D': v = &c; down = false; break;
    case 'S': v = &r; down = true; break;
    case 'W': v = &r; down = false; break;
    default: return;
    }
    if (m_nAdjustMode == 1) {
        if (down)
            *v = (*v == 40) ? 0 : 40;
        else
            *v = (*v > 0) ? 0 : 40;
    } else if (m_nAdjustMode == 2) {
        if (down)
            *v = (*v == 40) ? 20 : (*v == 20) ? 0 : 40;
        else
            *v = (*v == 0) ? 20 : (*v == 20) ? 40 : 0;
    } else {
        // An index from outside the grid wraps like one step past an end.
        if (down)
            *v = (*v - 1 < 0 || *v > 40) ? 40 : *v - 1;
        else
            *v = (*v + 1 > 40 || *v < 0) ? 0 : *v + 1;
    }
    m_pSelected->m_selCol = c;
    m_pSelected->m_selRow = r;
    const int cp = OutputChannel::ControlPointIndex(r, c);
    if (cp >= 0) m_pSelected->m_selCtrl = cp + 1;
}

void CChannelLayout::SetMoveStep(int level) {
    if (m_nChannelWidth < 1) return;
    if (level >= 0 && level <= 5)
        m_dMoveStep = static_cast<double>(1 << level) / m_nChannelWidth;
    else
        m_dMoveStep = 1.0 / m_nChannelWidth;
}

void CChannelLayout::ComputeEdgePositions() {
    const RECT S = m_stageRect;
    const double W = S.right - S.left;
    const double H = S.bottom - S.top;
    for (const auto& chp : m_channels) {
        OutputChannel& ch = *chp;
        for (float& e : ch.m_edgePos) e = 0.0f;
        const RECT r = ch.m_rect;
        const float e0 = W > 0 ? static_cast<float>(r.left / W) : 0.0f;
        const float e1 = H > 0 ? static_cast<float>((S.bottom - r.top) / H) : 0.0f;
        const float e2 = W > 0 ? static_cast<float>(r.right / W) : 0.0f;
        const float e3 = H > 0 ? static_cast<float>((S.bottom - r.bottom) / H) : 0.0f;
        ch.m_span[0] = ch.m_edgePos[0] = e0;
        ch.m_span[1] = ch.m_edgePos[1] = e1;
        ch.m_span[2] = ch.m_edgePos[2] = e2;
        ch.m_span[3] = ch.m_edgePos[3] = e3;
        int n = 4;
        const RECT s = ch.m_stageRect;
        const double sw = s.right - s.left;
        const double sh = s.bottom - s.top;
        for (const auto& other : m_channels) {
            if (n + 4 > OutputChannel::kEdgePositions) break;
            if (other.get() == &ch) continue;
            RECT I;
            if (!IntersectRect(s, other->m_stageRect, I) || sw <= 0 || sh <= 0) continue;
            // The overlap, mapped linearly from stage pixels into the span.
            auto X = [&](int32_t x) { return static_cast<float>(e0 + (x - s.left) * (e2 - e0) / sw); };
            auto Y = [&](int32_t y) { return static_cast<float>(e3 + (s.bottom - y) * (e1 - e3) / sh); };
            ch.m_edgePos[n++] = X(I.left);
            ch.m_edgePos[n++] = Y(I.top);
            ch.m_edgePos[n++] = X(I.right);
            ch.m_edgePos[n++] = Y(I.bottom);
        }
        std::string line = "edge:";
        char buf[64];
        for (int i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%0.3f ", static_cast<double>(ch.m_edgePos[i]));
            line += buf;
        }
        LOGTEXT::LogInfo("%sstage pos=%d,%d,%d,%d", line.c_str(), s.left, s.top, s.right, s.bottom);
    }
}

void CChannelLayout::ArrangeChannels() {
    // Row k holds the channels whose top is k channel heights below the
    // stage's top, column k those whose left is k widths right of its left.
    // Grouped from the channels, not by walking every row and column: a
    // stage far wider than its channels would otherwise cost millions of
    // passes.
    auto lineOf = [](int64_t edge, int64_t start, int64_t size, int32_t lines) -> int64_t {
        if (size < 1 || edge < start || (edge - start) % size != 0) return -1;
        const int64_t k = (edge - start) / size;
        return k < lines ? k : -1;
    };
    std::vector<std::pair<int64_t, OutputChannel*>> rows, cols;
    for (const auto& ch : m_channels) {
        const int64_t r = lineOf(ch->m_rect.top, m_stageRect.top, m_nChannelHeight, m_nRows);
        if (r >= 0) rows.emplace_back(r, ch.get());
        const int64_t c = lineOf(ch->m_rect.left, m_stageRect.left, m_nChannelWidth, m_nColumns);
        if (c >= 0) cols.emplace_back(c, ch.get());
    }
    // Stable: within a line the channels keep their list order.
    auto byLine = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(rows.begin(), rows.end(), byLine);
    std::stable_sort(cols.begin(), cols.end(), byLine);
    // Spreads the texture across each line's channels, j of n.
    auto spread = [](auto& line, auto set) {
        for (size_t i = 0; i < line.size();) {
            size_t e = i;
            while (e < line.size() && line[e].first == line[i].first) ++e;
            const double n = static_cast<double>(e - i);
            for (size_t j = 0; j < e - i; ++j) set(*line[i + j].second, j / n, (j + 1) / n);
            i = e;
        }
    };
    spread(rows, [](OutputChannel& ch, double from, double to) {
        ch.m_texWindow[OutputChannel::kTexS0] = from;
        ch.m_texWindow[OutputChannel::kTexS40] = to;
    });
    spread(cols, [](OutputChannel& ch, double from, double to) {
        ch.m_texWindow[OutputChannel::kTexT40] = 1.0 - from;
        ch.m_texWindow[OutputChannel::kTexT0] = 1.0 - to;
    });
}
