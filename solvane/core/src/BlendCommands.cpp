// Blend, warp and colour commands: the console's geometry and colour
// calibration of the output channels. The channel operations live with the
// channel model; these handlers decode, find the channel and reply.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "CommandUtil.h"
#include "channel/ChannelLayout.h"
#include "channel/CubicSpline.h"
#include "core/MediaManager.h"
#include "platform/cnum.h"
#include "platform/fileio.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "util/Util.h"

using cmdutil::HeadText;
using cmdutil::SetReplyBody;
using cmdutil::TextBytes;

namespace {

constexpr int kGridLast = 40;
// Head bytes 8..43 carry one output number per entry of command 128.
constexpr int kMaxBlendEntries = 36;
// Four bytes per channel in the 256-byte text.
constexpr int kMaxBlendByteChannels = 64;
constexpr int kTextureRectChannels = 16;
constexpr int kEdgeValues = 10;
constexpr size_t kCurveArrayValues = 80;
constexpr size_t kCurveArraysBytes = 3 * kCurveArrayValues * 4;  // 960
constexpr size_t kLookupBytes = 768;

bool InGrid(int32_t v) { return v >= 0 && v <= kGridLast; }

// The channel at a 1-based list index; null for 0 or beyond the list.
OutputChannel* ChannelByIndex(const CChannelLayout& layout, int32_t index) {
    if (index < 1 || static_cast<size_t>(index) > layout.m_channels.size()) return nullptr;
    return layout.m_channels[static_cast<size_t>(index) - 1];
}

// The grid in wire units (x from -1 to 1, y from -1 to 1), point (i, j) at i * 41 + j.
std::vector<uint8_t> WireGrid(const OutputChannel& ch) {
    std::vector<uint8_t> bytes(lintra::kGridBytes);
    size_t pos = 0;
    for (int c = 0; c <= kGridLast; ++c) {
        for (int r = 0; r <= kGridLast; ++r) {
            const DOUBLE_POINT p = ch.Point(c, r);
            const double xy[2] = {p.x * 0.5, p.y / 1.5};
            std::memcpy(bytes.data() + pos, xy, sizeof xy);
            pos += sizeof xy;
        }
    }
    return bytes;
}

DOUBLE_POINT WirePointAt(const uint8_t* bytes, size_t k) {
    double xy[2];
    std::memcpy(xy, bytes + k * 16, sizeof xy);
    return DOUBLE_POINT{xy[0], xy[1]};
}

// Texture rectangle of a channel: left, top, right, bottom (defaults 0, 0, 1, 1).
void TextureRect(const OutputChannel& ch, double out[4]) {
    out[0] = ch.m_texWindow[OutputChannel::kTexS0];
    out[1] = ch.m_texWindow[OutputChannel::kTexT0];
    out[2] = ch.m_texWindow[OutputChannel::kTexS40];
    out[3] = ch.m_texWindow[OutputChannel::kTexT40];
}
void SetTextureRect(OutputChannel& ch, const double in[4]) {
    ch.m_texWindow[OutputChannel::kTexS0] = in[0];
    ch.m_texWindow[OutputChannel::kTexT0] = in[1];
    ch.m_texWindow[OutputChannel::kTexS40] = in[2];
    ch.m_texWindow[OutputChannel::kTexT40] = in[3];
}

// Replies of 115 and 116.
void ReplyTextureRects(const CChannelLayout& layout, tagNETHEAD& reply) {
    reply.intParam[0] = layout.m_nAutoArrange;
    reply.intParam[1] = layout.m_nChannelCount;
    uint8_t text[sizeof reply.textParam] = {};
    const size_t n = std::min<size_t>(layout.m_channels.size(), kTextureRectChannels);
    for (size_t i = 0; i < n; ++i) {
        double r[4];
        TextureRect(*layout.m_channels[i], r);
        const float v[4] = {static_cast<float>(r[0]), static_cast<float>(r[3]), static_cast<float>(r[2]),
                            static_cast<float>(r[1])};  // left, bottom, right, top
        std::memcpy(text + i * sizeof v, v, sizeof v);
    }
    std::memcpy(reply.textParam, text, sizeof text);
}

// Colours of 203 and 304: +12 colours of four bytes in the text.
std::vector<uint32_t> BandColours(const tagNETHEAD& head) {
    const int32_t n = std::clamp<int32_t>(head.intParam[2], 0, sizeof head.textParam / 4);
    std::vector<uint32_t> colours(static_cast<size_t>(n));
    if (n > 0) std::memcpy(colours.data(), head.textParam, colours.size() * 4);
    return colours;
}

void SetBlend(OutputChannel& ch, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    ch.m_blend[OutputChannel::kBlendLeft] = left;
    ch.m_blend[OutputChannel::kBlendTop] = top;
    ch.m_blend[OutputChannel::kBlendRight] = right;
    ch.m_blend[OutputChannel::kBlendBottom] = bottom;
}

float* CurveArray(OutputChannel& ch, int colour) { return &ch.m_edgeTable[0][0] + colour * kCurveArrayValues; }

// The spline is solved in single precision: an identity curve samples as
// 194.99998 where it means 195. A value this close to a whole number is that
// number before it is truncated.
double SnapToWhole(float v) {
    const double nearest = std::round(static_cast<double>(v));
    return std::fabs(v - nearest) < 1e-3 ? nearest : static_cast<double>(v);
}

std::string JoinBytes(const uint8_t* v, size_t n, const char* fmt) {
    std::string s;
    char buf[16];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, fmt, v[i]);
        s += buf;
    }
    return s;
}

}  // namespace

// ---- blend family ----

int32_t CMediaManager::OnBlendCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                      tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    CChannelLayout& layout = *m_pChannelLayout;
    const int32_t* p = head.intParam;

    // The stage values are read by the scene pass under the media lock.
    if (head.command == 126 || head.command == 127) {
        std::lock_guard lock(m_csMedia);
        static constexpr int kCodOrder[4] = {1, 3, 2, 0};  // bottom-left, bottom-right, top-right, top-left
        for (int k = 0; k < 4; ++k) {
            DOUBLE_POINT& corner = layout.m_corners[kCodOrder[k]];
            if (head.command == 126) {
                reply.realParam[2 * k] = corner.x;
                reply.realParam[2 * k + 1] = corner.y;
            } else {
                corner = DOUBLE_POINT{head.realParam[2 * k], head.realParam[2 * k + 1]};
            }
        }
        if (head.command == 127) MarkSceneChanged();
        return 0;
    }

    // Every other code reads or changes channels that the render loop draws.
    std::lock_guard lock(m_csChannelLayout);
    OutputChannel* sel = layout.m_pSelected;
    switch (head.command) {
    case 102:
        if (!sel) break;
        reply.intParam[0] = sel->m_blend[OutputChannel::kBlendLeft];
        reply.intParam[1] = sel->m_blend[OutputChannel::kBlendTop];
        reply.intParam[2] = sel->m_blend[OutputChannel::kBlendRight];
        reply.intParam[3] = sel->m_blend[OutputChannel::kBlendBottom];
        LOGTEXT::LogInfo("get blend:%d,%d,%d,%d", reply.intParam[0], reply.intParam[1], reply.intParam[2],
                         reply.intParam[3]);
        break;

    case 103:
        if (!sel) break;
        SetBlend(*sel, p[0], p[1], p[2], p[3]);
        LOGTEXT::LogInfo("set blend:%d,%d,%d,%d", p[0], p[1], p[2], p[3]);
        if (layout.m_nAutoArrange) layout.ArrangeChannels();
        MarkSceneChanged();
        break;

    case 104: {
        if (!ChannelByIndex(layout, p[0])) break;
        Output().Invalidate();
        layout.SelectChannelByIndex(p[0] - 1);
        Output().Invalidate();
        sel = layout.m_pSelected;
        if (!sel) break;
        reply.intParam[0] = sel->m_blend[OutputChannel::kBlendLeft];
        reply.intParam[1] = sel->m_blend[OutputChannel::kBlendTop];
        reply.intParam[2] = sel->m_blend[OutputChannel::kBlendRight];
        reply.intParam[3] = sel->m_blend[OutputChannel::kBlendBottom];
        reply.intParam[4] = layout.m_nAdjustMode;
        reply.intParam[5] = sel->m_meshMode;
        break;
    }

    case 105:
        if (p[4] != 0) {
            if (!InGrid(p[0]) || !InGrid(p[1]) || p[2] < 0 || p[2] > 9) {
                LOGTEXT::LogError("select vertex refused: %d,%d,%d", p[0], p[1], p[2]);
                break;
            }
            layout.SetSelectedVertex(p[0], p[1], p[2]);
        }
        layout.GetSelectedVertexInfo(reply);
        break;

    case 106:
        layout.GetSelectedVertexInfo(reply);
        break;

    case 107:
        layout.AdjustSelectedGrid(p[0], p[1]);
        MarkSceneChanged();
        break;

    case 108: {
        if (!sel || layout.m_nChannelWidth < 1) break;
        layout.m_nAdjustMode = p[0];
        const int32_t kind = p[2];
        double step = (kind >= 0 && kind <= 5 ? static_cast<double>(1 << kind) : 1.0) / layout.m_nChannelWidth;
        if (p[3] > 1) step *= p[3];
        layout.OffsetSelectedGrid(p[1], step);
        if (p[4] != 0) layout.AdjustSelectedGrid(sel->m_meshMode, p[7]);
        MarkSceneChanged();
        break;
    }

    case 109:
        layout.SetMoveStep(p[0]);
        break;

    case 110:
        layout.m_nAdjustMode = p[0];
        break;

    case 111:
        // The display mode is the renderer's display flags (scene, adjustment
        // overlay, grid-line overlay).
        m_render.displayFlags = static_cast<uint32_t>(p[0]);
        MarkSceneChanged();
        Output().Invalidate();
        break;

    case 112:
        reply.intParam[0] = static_cast<int32_t>(m_render.displayFlags);
        reply.intParam[1] = layout.m_nAutoArrange;
        reply.intParam[2] = layout.m_nChannelCount;
        reply.intParam[3] = kGridLast;
        break;

    case 113: {
        std::vector<MY_MONITORINFO> monitors;
        Displays().EnumDisplays(monitors);
        // The head has room for four sizes (the fifth would cover the body length).
        reply.intParam[0] = static_cast<int32_t>(monitors.size());
        const size_t n = std::min<size_t>(monitors.size(), 4);
        for (size_t i = 0; i < n; ++i) {
            const RECT r = monitors[i].monitor;
            const int32_t size[2] = {r.right - r.left, r.bottom - r.top};
            cmdutil::WriteHeadBytes(reply, 124 + 64 * i, size, sizeof size);
        }
        break;
    }

    case 114:
        layout.EqualizeSelectedGrid(p[0]);
        MarkSceneChanged();
        break;

    case 115:
        ReplyTextureRects(layout, reply);
        break;

    case 116:
        layout.m_nAutoArrange = p[0];
        if (p[0] != 0 || p[1] != 0) layout.ArrangeChannels();
        MarkSceneChanged();
        ReplyTextureRects(layout, reply);
        break;

    case 117:
        if (!sel) break;
        sel->ResetWarpGrid();
        MarkSceneChanged();
        break;

    case 118:
        layout.RotateSelectedGrid(head.realParam[0]);
        MarkSceneChanged();
        break;

    case 119: {
        reply.intParam[0] = 0;
        const std::string name = (p[0] >= 1 && p[0] <= 5) ? platform::FormatC("%dd.cod", p[0]) : "default.cod";
        const std::string path = platform::JoinPath(platform::JoinPath(m_strProgramFolder, "data"), name);
        if (!platform::FileExists(path)) break;
        layout.m_nAutoArrange = 0;
        int index = 1;
        for (const auto& ch : layout.m_channels) {
            const std::string section = platform::FormatC("channel_%d", index++);
            auto read = [&](const char* key, const char* def) {
                return platform::AtofC(platform::GetPrivateProfileString(section.c_str(), key, def, path).c_str());
            };
            const double rect[4] = {read("left", "0.0"), read("top", "0.0"), read("right", "1.0"),
                                    read("bottom", "1.0")};
            SetTextureRect(*ch, rect);
        }
        MarkSceneChanged();
        if (!layout.SaveCodFile(m_strChannelLayoutFile))
            LOGTEXT::LogError("save channel file %s failed.", m_strChannelLayoutFile.c_str());
        reply.intParam[0] = 1;
        break;
    }

    case 120:
        layout.m_nAdjustMode = p[0];
        layout.SetMoveStep(p[1]);
        reply.intParam[0] = static_cast<int32_t>(m_render.displayFlags);
        reply.intParam[1] = layout.m_nAutoArrange;
        reply.intParam[2] = layout.m_nChannelCount;
        break;

    case 121: {
        reply.intParam[0] = layout.m_nChannelCount;
        uint8_t text[sizeof reply.textParam] = {};
        const size_t n = std::min<size_t>(layout.m_channels.size(), kMaxBlendByteChannels);
        for (size_t i = 0; i < n; ++i) {
            const OutputChannel& ch = *layout.m_channels[i];
            text[4 * i + 0] = static_cast<uint8_t>(ch.m_blend[OutputChannel::kBlendLeft]);
            text[4 * i + 1] = static_cast<uint8_t>(ch.m_blend[OutputChannel::kBlendTop]);
            text[4 * i + 2] = static_cast<uint8_t>(ch.m_blend[OutputChannel::kBlendRight]);
            text[4 * i + 3] = static_cast<uint8_t>(ch.m_blend[OutputChannel::kBlendBottom]);
        }
        std::memcpy(reply.textParam, text, sizeof text);
        break;
    }

    case 122: {
        const uint8_t* t = TextBytes(head);
        const size_t n = std::min<size_t>(layout.m_channels.size(), kMaxBlendByteChannels);
        for (size_t i = 0; i < n; ++i)
            SetBlend(*layout.m_channels[i], t[4 * i], t[4 * i + 1], t[4 * i + 2], t[4 * i + 3]);
        if (layout.m_nAutoArrange) layout.ArrangeChannels();
        MarkSceneChanged();
        break;
    }

    case 123: {
        const uint8_t* t = TextBytes(head);
        std::memcpy(m_render.gridLineColor, t, 3);
        break;
    }

    case 124: {
        OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        reply.intParam[0] = 1;
        reply.intParam[1] = ch->m_projMode;
        std::memcpy(reply.textParam, ch->m_projection, sizeof ch->m_projection);
        break;
    }

    case 125: {
        OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        ch->m_projMode = p[1];
        std::memcpy(ch->m_projection, head.textParam, sizeof ch->m_projection);
        MarkSceneChanged();
        reply.intParam[0] = 1;
        break;
    }

    case 128: {
        const int32_t n = std::clamp<int32_t>(p[0], 0, kMaxBlendEntries);
        const uint8_t* t = TextBytes(head);
        uint8_t ids[kMaxBlendEntries];
        cmdutil::ReadHeadBytes(head, 8, ids, sizeof ids);
        for (int32_t i = 0; i < n; ++i) {
            if (OutputChannel* ch = layout.FindChannel(ids[i]))
                SetBlend(*ch, t[4 * i], t[4 * i + 1], t[4 * i + 2], t[4 * i + 3]);
        }
        if (layout.m_nAutoArrange) layout.ArrangeChannels();
        MarkSceneChanged();
        break;
    }

    case 129: {
        OutputChannel* ch = layout.FindChannel(p[0]);
        if (!ch) break;
        const int32_t kind = p[1];
        auto put = [ch](int c, int r, DOUBLE_POINT w) { ch->SetPoint(c, r, w.x * 2.0, w.y * 1.5); };
        const size_t lineBytes = static_cast<size_t>(lintra::kGridSide) * sizeof(DOUBLE_POINT);
        bool changed = false;
        if (kind == 1) {
            if (body && bodyLength >= lintra::kGridBytes) {
                for (int c = 0; c <= kGridLast; ++c)
                    for (int r = 0; r <= kGridLast; ++r) put(c, r, WirePointAt(body, lintra::GridIndex(c, r)));
                changed = true;
            }
        } else if (kind == 2) {
            if (InGrid(p[2]) && InGrid(p[3])) {
                put(p[2], p[3], DOUBLE_POINT{head.realParam[0], head.realParam[1]});
                changed = true;
            }
        } else if (kind == 3) {
            if (InGrid(p[2]) && body && bodyLength >= lineBytes) {
                for (int j = 0; j <= kGridLast; ++j) put(p[2], j, WirePointAt(body, j));
                changed = true;
            }
        } else if (kind == 4) {
            if (InGrid(p[2]) && body && bodyLength >= lineBytes) {
                for (int i = 0; i <= kGridLast; ++i) put(i, p[2], WirePointAt(body, i));
                changed = true;
            }
        }
        if (!changed) {
            LOGTEXT::LogError("set vertex data refused: id=%d,kind=%d,index=%d,%d,body=%u", p[0], kind, p[2], p[3],
                              bodyLength);
            break;
        }
        // Keep the control points on their nodes so that later control-point
        // edits start from this grid.
        ch->ReloadControlPoints();
        MarkSceneChanged();
        break;
    }

    case 130: {
        const OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        SetReplyBody(reply, replyBody, WireGrid(*ch));
        break;
    }

    case 131:
        Output().Invalidate();
        layout.SelectChannel(p[0]);
        Output().Invalidate();
        break;

    case 132: {
        if (!sel || !InGrid(p[1]) || !InGrid(p[2])) break;
        layout.m_nAdjustMode = p[0];
        const DOUBLE_POINT at = sel->Point(p[1], p[2]);
        sel->MoveVertex(p[0], p[1], p[2], at.x + head.realParam[0] * 2.0, at.y + head.realParam[1] * 1.5);
        MarkSceneChanged();
        if (p[3] != 0) SetReplyBody(reply, replyBody, WireGrid(*sel));
        break;
    }

    case 133: {
        if (!sel || !InGrid(p[1]) || !InGrid(p[2])) break;
        layout.m_nAdjustMode = p[0];
        const int cp = OutputChannel::ControlPointIndex(p[2], p[1]);
        layout.SetSelectedVertex(p[1], p[2], cp >= 0 ? cp + 1 : sel->m_selCtrl);
        break;
    }

    case 136: {
        OutputChannel* ch = layout.FindChannel(p[0]);
        if (!ch) break;
        ch->m_rotation = static_cast<float>(head.realParam[0]);
        ch->m_stageRect = RECT{p[1], p[2], p[3], p[4]};
        MarkSceneChanged();
        break;
    }

    default:  // 101, 134, 135 and the gaps
        break;
    }
    return 0;
}

// ---- colour family ----

int32_t CMediaManager::OnColorCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                      tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    CChannelLayout& layout = *m_pChannelLayout;
    const int32_t* p = head.intParam;
    switch (head.command) {
    case 201: {
        std::lock_guard lock(m_csChannelLayout);
        const OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        static_assert(sizeof ch->m_curve == 192);
        std::memcpy(reply.textParam, ch->m_curve, sizeof ch->m_curve);
        for (int k = 0; k < 3; ++k) reply.realParam[k] = ch->m_curve[k][0];
        reply.intParam[8] = ch->m_rect.left;
        break;
    }

    case 202: {
        std::lock_guard lock(m_csChannelLayout);
        OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        std::memcpy(ch->m_curve, head.textParam, sizeof ch->m_curve);
        for (int k = 0; k < 3; ++k) ch->m_curve[k][0] = static_cast<float>(head.realParam[k]);
        ch->BuildColorCurves();
        MarkSceneChanged();
        break;
    }

    case 203:
        if (p[1] == 1)
            FillBackgroundColorBars(BandColours(head), p[3] != 0);
        else
            ReloadBackgroundImage();
        break;

    case 204: {
        const std::string wirePath = HeadText(head);
        const auto name = platform::SafeFileName(wirePath);
        if (!name || p[0] < 0) {
            LOGTEXT::LogError("background image refused: %s, %d bytes", wirePath.c_str(), p[0]);
            break;
        }
        const std::string folder = platform::JoinPath(m_strProgramFolder, "image");
        platform::MakeDirs(folder);
        const std::string path = platform::JoinPath(folder, *name);
        const size_t n = std::min<size_t>(static_cast<size_t>(p[0]), body ? bodyLength : 0);
        if (!platform::SaveFileAtomically(path, std::string_view(reinterpret_cast<const char*>(body), n))) {
            LOGTEXT::LogDebug("create background image failed.%s", path.c_str());
            break;
        }
        if (p[1] != 0) {
            m_bTransientBmp = false;
        } else if (!m_bTransientBmp) {
            m_bTransientBmp = true;
            m_strConfiguredBmpPath = m_strBmpFilePath;
        }
        m_strBmpFilePath = path;
        ReloadBackgroundImage();
        if (p[1] != 0)
            platform::WritePrivateProfileString("Setting", "BmpFilePath", m_strBmpFilePath.c_str(),
                                                m_strConfigPath.c_str());
        break;
    }

    case 205: {
        std::lock_guard lock(m_csChannelLayout);
        const OutputChannel* ch = layout.FindChannel(p[0]);
        if (!ch) {
            reply.intParam[0] = 5;
            break;
        }
        for (int k = 0; k < 3; ++k) reply.realParam[k] = ch->m_colorRatio[k];
        if (p[1] != 1) {
            std::vector<uint8_t> planes(kLookupBytes);
            for (int i = 0; i < 256; ++i)
                for (int k = 0; k < 3; ++k) planes[256 * k + i] = ch->m_lookup[i][k];
            SetReplyBody(reply, replyBody, std::move(planes));
        }
        reply.intParam[0] = 0;
        break;
    }

    case 206: {
        std::lock_guard lock(m_csChannelLayout);
        OutputChannel* ch = layout.FindChannel(p[0]);
        LOGTEXT::LogDebug("set color. channel id=%d. flag=%d.surface=%d. color %f,%f,%f", p[0], p[1], p[2],
                          head.realParam[0], head.realParam[1], head.realParam[2]);
        if (!ch) {
            reply.intParam[0] = 5;
            break;
        }
        reply.intParam[0] = 0;
        if (p[1] == 1) {
            for (int k = 0; k < 3; ++k) ch->m_colorRatio[k] = static_cast<float>(head.realParam[k]);
            MarkSceneChanged();
        } else if (p[1] == 2) {
            if (!body || bodyLength != kLookupBytes) {
                LOGTEXT::LogError("set color curves refused: %u body bytes.", bodyLength);
                break;
            }
            // One abscissa byte per point in the text: at most 256 points.
            const int n = std::clamp<int32_t>(p[2], 0, 256);
            const uint8_t* s = TextBytes(head);
            LOGTEXT::LogDebug("point count=%d", n);
            LOGTEXT::LogDebug("s=%s", JoinBytes(s, n, "%3d,").c_str());
            LOGTEXT::LogDebug("r=%s", JoinBytes(body, n, "%3d,").c_str());
            LOGTEXT::LogDebug("g=%s", JoinBytes(body + 256, n, "%3d,").c_str());
            LOGTEXT::LogDebug("b=%s", JoinBytes(body + 512, n, "%3d,").c_str());
            std::vector<float> x(n);
            for (int i = 0; i < n; ++i) x[i] = s[i];
            for (int plane = 0; plane < 3; ++plane) {
                std::vector<float> y(n);
                for (int i = 0; i < n; ++i) y[i] = body[256 * plane + i];
                CCubicSplineInterpolation spline(x.data(), y.data(), n);
                float sx[256], sy[256];
                // A plane without a valid curve keeps its lookup.
                if (!spline.GetInterpolation(sx, sy, 255)) continue;
                for (int i = 0; i < 256; ++i) ch->m_lookup[i][plane] = OutputChannel::LookupByte(SnapToWhole(sy[i]));
            }
            ch->m_ratioFlag = 0;
            for (int i = 0; i < 256 && !ch->m_ratioFlag; ++i)
                for (int k = 0; k < 3; ++k)
                    if (ch->m_lookup[i][k] != i) ch->m_ratioFlag = 1;
            for (int k = 0; k < 3; ++k) {
                uint8_t v[256];
                for (int i = 0; i < 256; ++i) v[i] = ch->m_lookup[i][k];
                LOGTEXT::LogDebug("%s", JoinBytes(v, 256, "%3d ").c_str());
            }
            MarkSceneChanged();
        }
        break;
    }

    default:
        break;
    }
    return 0;
}

// ---- blend-setting family ----

int32_t CMediaManager::OnBlendSettingCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                             tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    CChannelLayout& layout = *m_pChannelLayout;
    const int32_t* p = head.intParam;
    auto setEdge = [&](OutputChannel& ch) {
        for (int i = 0; i < kEdgeValues; ++i) ch.m_edgeParam[i] = static_cast<float>(head.realParam[i]);
    };
    auto replyEdge = [&](const OutputChannel& ch) {
        for (int i = 0; i < kEdgeValues; ++i) reply.realParam[i] = ch.m_edgeParam[i];
    };
    switch (head.command) {
    case 301: {
        std::lock_guard lock(m_csChannelLayout);
        OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        setEdge(*ch);
        if (p[1] != 0)
            for (const auto& other : layout.m_channels) setEdge(*other);
        MarkSceneChanged();
        break;
    }

    case 302: {
        std::lock_guard lock(m_csChannelLayout);
        if (const OutputChannel* ch = ChannelByIndex(layout, p[0])) replyEdge(*ch);
        break;
    }

    case 303: {
        if (p[0] < 0 || static_cast<size_t>(p[0]) >= m_testPatterns.size()) {
            LOGTEXT::LogError("background picture %d refused.", p[0]);
            break;
        }
        m_nUseBackgroundBmp = 1;
        m_strBmpFilePath = m_testPatterns[static_cast<size_t>(p[0])];
        ReloadBackgroundImage();
        break;
    }

    case 304:
        FillBackgroundColorBars(BandColours(head), p[3] != 0);
        break;

    case 305:
        RestartDesktopCapture(p[0] != 0 ? 1 : 0);
        break;

    case 306: {
        std::lock_guard lock(m_csChannelLayout);
        OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        static_assert(sizeof ch->m_edgeTable == kCurveArraysBytes);
        std::vector<uint8_t> bytes(kCurveArraysBytes);
        std::memcpy(bytes.data(), ch->m_edgeTable, kCurveArraysBytes);
        SetReplyBody(reply, replyBody, std::move(bytes));
        break;
    }

    case 307: {
        std::lock_guard lock(m_csChannelLayout);
        OutputChannel* ch = ChannelByIndex(layout, p[0]);
        if (!ch) break;
        if (!body || bodyLength < kCurveArraysBytes) {
            LOGTEXT::LogError("set curve arrays refused: %u body bytes.", bodyLength);
            break;
        }
        std::memcpy(ch->m_edgeTable, body, kCurveArraysBytes);
        if (p[1] != 0)
            for (const auto& other : layout.m_channels) std::memcpy(other->m_edgeTable, body, kCurveArraysBytes);
        MarkSceneChanged();
        break;
    }

    case 308: {
        std::lock_guard lock(m_csChannelLayout);
        layout.m_nStageMode = p[0];
        break;
    }

    case 309: {
        std::lock_guard lock(m_csChannelLayout);
        OutputChannel* ch = ChannelByIndex(layout, p[0]);
        const int colour = p[1] == 'R' ? 0 : p[1] == 'G' ? 1 : p[1] == 'B' ? 2 : -1;
        if (!ch || colour < 0) break;
        const uint8_t* t = TextBytes(head);
        auto apply = [&](OutputChannel& target) {
            float* values = CurveArray(target, colour);
            for (size_t i = 0; i < kCurveArrayValues; ++i) values[i] = t[i];
        };
        apply(*ch);
        if (p[4] != 0)
            for (const auto& other : layout.m_channels) apply(*other);
        MarkSceneChanged();
        break;
    }

    case 310: {
        std::lock_guard lock(m_csChannelLayout);
        std::string line = "设置融合参数";
        for (int i = 0; i < kEdgeValues; ++i) line += platform::FormatC("%0.3f ", head.realParam[i]);
        LOGTEXT::LogInfo("%s", line.c_str());
        // The console keeps edge values per output: the other outputs of
        // this server keep their own.
        OutputChannel* ch = layout.FindChannel(p[0]);
        if (!ch) break;
        setEdge(*ch);
        MarkSceneChanged();
        break;
    }

    case 311: {
        std::lock_guard lock(m_csChannelLayout);
        if (const OutputChannel* ch = ChannelByIndex(layout, p[0])) replyEdge(*ch);
        reply.intParam[2] = layout.m_nStageMode;
        break;
    }

    default:
        break;
    }
    return 0;
}
