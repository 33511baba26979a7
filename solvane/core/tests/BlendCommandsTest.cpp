#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandFixture.h"
#include "platform/ini.h"
#include "util/LogCapture.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

class BlendCommands : public CommandFixture {
protected:
    void SetUp() override {
        CommandFixture::SetUp();
        ASSERT_EQ(SetTwoChannelWorld().head.intParam[0], 0);
        core->m_bSceneChanged = false;
    }
    OutputChannel& Channel(int output) { return *Layout().FindChannel(output); }
};

// Distance in units in the last place between two doubles of the same sign.
int64_t Ulps(double a, double b) {
    int64_t ia, ib;
    std::memcpy(&ia, &a, 8);
    std::memcpy(&ib, &b, 8);
    return ia > ib ? ia - ib : ib - ia;
}

std::vector<DOUBLE_POINT> BentWireGrid() {
    std::vector<DOUBLE_POINT> g(41 * 41);
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j)
            g[i * 41 + j] = DOUBLE_POINT{i / 20.0 - 1.0 + 0.01 * std::sin(j * 0.3),
                                         j / 20.0 - 1.0 + 0.013 * std::cos(i * 0.7)};
    return g;
}

std::vector<uint8_t> Bytes(const std::vector<DOUBLE_POINT>& pts) {
    std::vector<uint8_t> b(pts.size() * 16);
    std::memcpy(b.data(), pts.data(), b.size());
    return b;
}

DOUBLE_POINT WireAt(const std::vector<uint8_t>& body, size_t k) {
    double xy[2];
    std::memcpy(xy, body.data() + k * 16, 16);
    return DOUBLE_POINT{xy[0], xy[1]};
}

TEST_F(BlendCommands, VertexDataGoesInAndComesBackWithinOneUlp) {
    const std::vector<DOUBLE_POINT> grid = BentWireGrid();
    EXPECT_EQ(Send(Head(129, {2, 1}), Bytes(grid)).head.intParam[0], 0);
    EXPECT_TRUE(core->m_bSceneChanged.load());
    // The server keeps its own units.
    EXPECT_DOUBLE_EQ(Channel(2).Point(40, 40).x, 2.0 * grid[40 * 41 + 40].x);
    EXPECT_DOUBLE_EQ(Channel(2).Point(40, 40).y, 1.5 * grid[40 * 41 + 40].y);
    // The control points follow the grid.
    EXPECT_DOUBLE_EQ(Channel(2).m_ctrl[8].x, Channel(2).Point(20, 20).x);

    const CommandReply r = Send(Head(130, {2}));  // list index 2
    ASSERT_EQ(r.body.size(), 26896u);
    for (size_t k = 0; k < grid.size(); ++k) {
        const DOUBLE_POINT p = WireAt(r.body, k);
        EXPECT_LE(Ulps(p.x, grid[k].x), 1) << k;
        EXPECT_LE(Ulps(p.y, grid[k].y), 1) << k;
    }
    // Channel 1 kept the undistorted grid.
    const CommandReply first = Send(Head(130, {1}));
    EXPECT_DOUBLE_EQ(WireAt(first.body, 41 * 41 - 1).x, 1.0);
    // Index 0 and beyond the list address nothing.
    for (int32_t index : {0, 3, -1}) EXPECT_TRUE(Send(Head(130, {index})).body.empty());
}

TEST_F(BlendCommands, VertexDataKinds) {
    // One point: first index from +12, second from +16.
    tagNETHEAD h = Head(129, {1, 2, 5, 7});
    h.realParam[0] = 0.5;
    h.realParam[1] = -0.5;
    Send(h);
    EXPECT_EQ(Channel(1).Point(5, 7).x, 1.0);
    EXPECT_EQ(Channel(1).Point(5, 7).y, -0.75);

    std::vector<DOUBLE_POINT> line(41);
    for (int k = 0; k < 41; ++k) line[k] = DOUBLE_POINT{0.25, k / 40.0};
    // Kind 3: the 41 points (row, j); kind 4: the points (i, column), the
    // column at +12.
    Send(Head(129, {1, 3, 10}), Bytes(line));
    for (int j = 0; j < 41; ++j) EXPECT_EQ(Channel(1).Point(10, j).x, 0.5) << j;
    for (int k = 0; k < 41; ++k) line[k] = DOUBLE_POINT{k / 40.0, 0.5};
    Send(Head(129, {1, 4, 30, 0}), Bytes(line));
    for (int i = 0; i < 41; ++i) EXPECT_EQ(Channel(1).Point(i, 30).y, 0.75) << i;
}

TEST_F(BlendCommands, VertexDataRefusals) {
    util::LogCapture log;
    const DOUBLE_POINT before = Channel(1).Point(0, 0);
    const std::vector<uint8_t> shortGrid(26896 - 1, 0);
    const std::vector<uint8_t> shortLine(655, 0);
    struct Case {
        const char* what;
        tagNETHEAD head;
        std::vector<uint8_t> body;
    };
    tagNETHEAD point = Head(129, {1, 2, 41, 0});
    point.realParam[0] = 9.0;
    tagNETHEAD pointNeg = Head(129, {1, 2, 0, -1});
    pointNeg.realParam[0] = 9.0;
    const Case cases[] = {
        {"short grid", Head(129, {1, 1}), shortGrid},
        {"no grid", Head(129, {1, 1}), {}},
        {"row 41", point, {}},
        {"column -1", pointNeg, {}},
        {"short row", Head(129, {1, 3, 0}), shortLine},
        {"row index 41", Head(129, {1, 3, 41}), std::vector<uint8_t>(656, 0)},
        {"short column", Head(129, {1, 4, 0}), shortLine},
        {"unknown kind", Head(129, {1, 5, 0}), std::vector<uint8_t>(26896, 0)},
        {"unknown output", Head(129, {9, 1}), std::vector<uint8_t>(26896, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CommandReply r = Send(c.head, c.body);
        EXPECT_EQ(r.head.intParam[0], 0);
        EXPECT_EQ(Channel(1).Point(0, 0).x, before.x);
        EXPECT_EQ(Channel(1).Point(0, 0).y, before.y);
    }
    EXPECT_FALSE(core->m_bSceneChanged.load());
}

TEST_F(BlendCommands, BlendBytesCutToEightBits) {
    Channel(1).m_blend[OutputChannel::kBlendRight] = 300;
    const CommandReply r = Send(Head(121));
    EXPECT_EQ(r.head.intParam[0], 2);
    const uint8_t expected[8] = {0, 0, 44, 0, 4, 0, 0, 0};
    EXPECT_EQ(std::memcmp(r.head.textParam, expected, 8), 0);
    for (size_t i = 8; i < 256; ++i) EXPECT_EQ(static_cast<uint8_t>(r.head.textParam[i]), 0);

    tagNETHEAD set = Head(122);
    const uint8_t blends[8] = {1, 2, 3, 4, 200, 6, 7, 8};
    std::memcpy(set.textParam, blends, sizeof blends);
    Send(set);
    EXPECT_EQ(Channel(2).m_blend[OutputChannel::kBlendLeft], 200);
    EXPECT_EQ(Channel(1).m_blend[OutputChannel::kBlendTop], 2);
    EXPECT_EQ(Channel(1).m_blend[OutputChannel::kBlendRight], 3);
}

TEST_F(BlendCommands, TextureRectanglesOfTwentyChannelsListSixteen) {
    CChannelLayout& layout = Layout();
    layout.m_nRows = 4;
    layout.m_nColumns = 5;
    layout.m_nChannelWidth = 100;
    layout.m_nChannelHeight = 100;
    layout.m_nOriginX = layout.m_nOriginY = 0;
    layout.ResetChannels();
    layout.ArrangeChannels();
    const CommandReply r = Send(Head(115));
    EXPECT_EQ(r.head.intParam[0], 1);
    EXPECT_EQ(r.head.intParam[1], 20);
    float v[64];
    std::memcpy(v, r.head.textParam, sizeof v);
    for (int i = 0; i < 16; ++i) {
        const OutputChannel& ch = *layout.m_channels[i];
        EXPECT_EQ(v[4 * i + 0], static_cast<float>(ch.m_texWindow[OutputChannel::kTexS0])) << i;
        EXPECT_EQ(v[4 * i + 1], static_cast<float>(ch.m_texWindow[OutputChannel::kTexT40])) << i;
        EXPECT_EQ(v[4 * i + 2], static_cast<float>(ch.m_texWindow[OutputChannel::kTexS40])) << i;
        EXPECT_EQ(v[4 * i + 3], static_cast<float>(ch.m_texWindow[OutputChannel::kTexT0])) << i;
    }
    EXPECT_FLOAT_EQ(v[4 * 1 + 0], 0.2f);  // second channel of the first row
}

TEST_F(BlendCommands, LoadTextureRectanglesByNumber) {
    std::filesystem::create_directories(dir / "data");
    WriteFile(dir / "data" / "default.cod", "[channel_1]\nleft=0.1\ntop=0.2\nright=0.3\nbottom=0.4\n");
    WriteFile(dir / "data" / "1d.cod", "[channel_1]\nleft=0.9\n");

    EXPECT_EQ(Send(Head(119, {3})).head.intParam[0], 0);  // no 3d.cod: nothing changes
    EXPECT_EQ(Layout().m_nAutoArrange, 1);

    EXPECT_EQ(Send(Head(119, {7})).head.intParam[0], 1);
    const OutputChannel& ch = Channel(1);
    EXPECT_DOUBLE_EQ(ch.m_texWindow[OutputChannel::kTexS0], 0.1);
    EXPECT_DOUBLE_EQ(ch.m_texWindow[OutputChannel::kTexT0], 0.2);
    EXPECT_DOUBLE_EQ(ch.m_texWindow[OutputChannel::kTexS40], 0.3);
    EXPECT_DOUBLE_EQ(ch.m_texWindow[OutputChannel::kTexT40], 0.4);
    // A missing section gives the whole texture.
    EXPECT_DOUBLE_EQ(Channel(2).m_texWindow[OutputChannel::kTexS0], 0.0);
    EXPECT_DOUBLE_EQ(Channel(2).m_texWindow[OutputChannel::kTexS40], 1.0);
    EXPECT_EQ(Layout().m_nAutoArrange, 0);
    EXPECT_TRUE(core->m_bSceneChanged.load());

    EXPECT_EQ(Send(Head(119, {1})).head.intParam[0], 1);
    EXPECT_DOUBLE_EQ(Channel(1).m_texWindow[OutputChannel::kTexS0], 0.9);
    EXPECT_DOUBLE_EQ(Channel(1).m_texWindow[OutputChannel::kTexS40], 1.0);
}

TEST_F(BlendCommands, SavedProfileLoadsBack) {
    Send(Head(6));
    Channel(1).m_texWindow[OutputChannel::kTexS40] = 0.7;
    EXPECT_EQ(Send(Head(119, {0})).head.intParam[0], 1);
    EXPECT_DOUBLE_EQ(Channel(1).m_texWindow[OutputChannel::kTexS40], 0.5);
    EXPECT_DOUBLE_EQ(Channel(2).m_texWindow[OutputChannel::kTexS0], 0.5);
}

TEST_F(BlendCommands, DisplayResolutionsReportFourOfFive) {
    backend.Add(3840, 0, 1280, 720);
    backend.Add(5120, 0, 800, 600);
    backend.Add(5920, 0, 640, 480);
    const CommandReply r = Send(Head(113));
    EXPECT_EQ(r.head.intParam[0], 5);
    EXPECT_EQ(r.head.bodyLength, 0u);
    EXPECT_EQ(r.Int(124), 1920);
    EXPECT_EQ(r.Int(128), 1080);
    EXPECT_EQ(r.Int(124 + 64 * 3), 800);
    EXPECT_EQ(r.Int(128 + 64 * 3), 600);
}

TEST_F(BlendCommands, BlendDataEntries) {
    // Entry 0 names output 1; the 37th entry would lie beyond the id bytes.
    tagNETHEAD h = Head(128, {40});
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&h);
    bytes[8] = 1;
    bytes[44] = 2;  // first byte of the doubles, not an id
    const uint8_t t[4] = {5, 6, 7, 8};
    std::memcpy(h.textParam, t, 4);
    std::memset(h.textParam + 4 * 36, 9, 4);
    Send(h);
    EXPECT_EQ(Channel(1).m_blend[OutputChannel::kBlendLeft], 5);
    EXPECT_EQ(Channel(1).m_blend[OutputChannel::kBlendTop], 6);
    EXPECT_EQ(Channel(1).m_blend[OutputChannel::kBlendRight], 7);
    EXPECT_EQ(Channel(1).m_blend[OutputChannel::kBlendBottom], 8);
    EXPECT_EQ(Channel(2).m_blend[OutputChannel::kBlendLeft], 4);

    h.intParam[0] = -3;
    std::memset(h.textParam, 1, 4);
    Send(h);
    EXPECT_EQ(Channel(1).m_blend[OutputChannel::kBlendLeft], 5);
}

TEST_F(BlendCommands, SelectionAndBlendOfTheSelectedChannel) {
    util::LogCapture log;
    CommandReply r = Send(Head(104, {2}));
    EXPECT_EQ(Layout().m_pSelected, &Channel(2));
    EXPECT_EQ(r.head.intParam[0], 4);  // left blend of the second channel
    EXPECT_EQ(r.head.intParam[4], Layout().m_nAdjustMode);
    EXPECT_EQ(output.Count("invalidate"), 2u);

    Send(Head(104, {3}));  // beyond the list: nothing
    EXPECT_EQ(Layout().m_pSelected, &Channel(2));

    Send(Head(103, {1, 2, 3, 4}));
    EXPECT_TRUE(log.Contains("set blend:1,2,3,4"));
    r = Send(Head(102));
    EXPECT_EQ(r.head.intParam[0], 1);
    EXPECT_EQ(r.head.intParam[1], 2);
    EXPECT_EQ(r.head.intParam[2], 3);
    EXPECT_EQ(r.head.intParam[3], 4);
    EXPECT_TRUE(log.Contains("get blend:1,2,3,4"));

    Send(Head(131, {1}));
    EXPECT_EQ(Layout().m_pSelected, &Channel(1));
}

TEST_F(BlendCommands, SelectedVertexInformation) {
    EXPECT_EQ(Send(Head(106)).head.intParam[0], 0);  // nothing selected yet
    Send(Head(131, {1}));
    // Out of the grid or no such control point: refused, zeros.
    for (auto ints : {std::initializer_list<int32_t>{41, 0, 0, 0, 1}, {0, -1, 0, 0, 1}, {0, 0, 10, 0, 1}}) {
        const CommandReply r = Send(Head(105, ints));
        EXPECT_EQ(r.head.intParam[0], 0);
    }
    const CommandReply r = Send(Head(105, {40, 20, 6, 0, 1}));
    EXPECT_EQ(r.head.intParam[0], 1);
    EXPECT_EQ(r.head.intParam[1], 40);
    EXPECT_EQ(r.head.intParam[2], 20);
    EXPECT_EQ(r.head.intParam[3], 6);
    EXPECT_EQ(r.head.intParam[4], 1);
    EXPECT_EQ(r.head.intParam[5], 0b000111111);  // no column 41
    EXPECT_DOUBLE_EQ(r.Real(44), 1.0);
    EXPECT_DOUBLE_EQ(r.Real(52), 0.0);
    // Neighbour (39, 21) is entry (dc + 1) * 3 + (dr + 1) = 2.
    EXPECT_DOUBLE_EQ(r.Real(124 + 2 * 16), 39 / 20.0 - 1.0);
    EXPECT_NEAR(r.Real(124 + 2 * 16 + 8), 21 / 20.0 - 1.0, 1e-6);
    EXPECT_EQ(r.Real(124 + 6 * 16), 0.0);

    const CommandReply info = Send(Head(106));
    EXPECT_EQ(std::memcmp(&info.head, &r.head, sizeof r.head), 0);
}

TEST_F(BlendCommands, MoveAndSelectVertex) {
    Send(Head(131, {1}));
    tagNETHEAD h = Head(132, {0, 10, 12, 1});
    h.realParam[0] = 0.1;
    h.realParam[1] = -0.2;
    const DOUBLE_POINT before = Channel(1).Point(10, 12);
    const CommandReply r = Send(h);
    EXPECT_NEAR(Channel(1).Point(10, 12).x, before.x + 0.2, 1e-12);
    EXPECT_NEAR(Channel(1).Point(10, 12).y, before.y - 0.3, 1e-12);
    ASSERT_EQ(r.body.size(), 26896u);
    EXPECT_NEAR(WireAt(r.body, 10 * 41 + 12).x, (before.x + 0.2) * 0.5, 1e-12);
    EXPECT_TRUE(Send(Head(132, {0, 41, 0, 1})).body.empty());

    Send(Head(133, {2, 20, 40}));
    EXPECT_EQ(Channel(1).m_selCol, 20);
    EXPECT_EQ(Channel(1).m_selRow, 40);
    EXPECT_EQ(Channel(1).m_selCtrl, 7);  // control point 6 + 1
    EXPECT_EQ(Layout().m_nAdjustMode, 2);
    Send(Head(133, {2, 20, 41}));
    EXPECT_EQ(Channel(1).m_selRow, 40);
}

TEST_F(BlendCommands, StageValuesInFileOrder) {
    CommandReply r = Send(Head(126));
    const double expected[8] = {0, 0, 1, 0, 1, 1, 0, 1};  // bottom-left, bottom-right, top-right, top-left
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r.Real(44 + 8 * k), expected[k]) << k;
    tagNETHEAD h = Head(127);
    for (int k = 0; k < 8; ++k) h.realParam[k] = 0.125 * k;
    Send(h);
    EXPECT_EQ(Layout().m_corners[0].x, 0.75);  // top-left
    r = Send(Head(126));
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r.Real(44 + 8 * k), 0.125 * k);
}

TEST_F(BlendCommands, DisplayModeAndEditSettings) {
    Send(Head(111, {3}));
    CommandReply r = Send(Head(112));
    EXPECT_EQ(r.head.intParam[0], 3);
    EXPECT_EQ(r.head.intParam[1], 1);
    EXPECT_EQ(r.head.intParam[2], 2);
    EXPECT_EQ(r.head.intParam[3], 40);
    r = Send(Head(120, {4, 3}));
    EXPECT_EQ(Layout().m_nAdjustMode, 4);
    EXPECT_DOUBLE_EQ(Layout().m_dMoveStep, 8.0 / 1920);
    EXPECT_EQ(r.head.intParam[0], 3);
    Send(Head(109, {9}));
    EXPECT_DOUBLE_EQ(Layout().m_dMoveStep, 1.0 / 1920);
}

TEST_F(BlendCommands, ProjectionAndChannelPosition) {
    tagNETHEAD h = Head(125, {2, 1});
    for (int i = 0; i < 100; ++i) h.textParam[i] = static_cast<char>(i);
    EXPECT_EQ(Send(h).head.intParam[0], 1);
    const CommandReply r = Send(Head(124, {2}));
    EXPECT_EQ(r.head.intParam[0], 1);
    EXPECT_EQ(r.head.intParam[1], 1);
    EXPECT_EQ(std::memcmp(r.head.textParam, h.textParam, 100), 0);
    EXPECT_EQ(Send(Head(124, {0})).head.intParam[0], 0);

    tagNETHEAD pos = Head(136, {2, 10, 20, 30, 40});
    pos.realParam[0] = 45.0;
    Send(pos);
    EXPECT_EQ(Channel(2).m_rotation, 45.0f);
    EXPECT_EQ(Channel(2).m_stageRect.left, 10);
    EXPECT_EQ(Channel(2).m_stageRect.bottom, 40);
}

TEST_F(BlendCommands, TestPatternColour) {
    tagNETHEAD h = Head(123);
    h.textParam[0] = 10;
    h.textParam[1] = 20;
    h.textParam[2] = static_cast<char>(230);
    Send(h);
    EXPECT_EQ(core->m_render.gridLineColor[0], 10);
    EXPECT_EQ(core->m_render.gridLineColor[2], 230);
}

// ---- colour ----

class ColorCommands : public BlendCommands {
protected:
    // Curves with the given control points for every plane.
    CommandReply SetCurves(int32_t output, const std::vector<uint8_t>& xs, const std::vector<uint8_t> ys[3]) {
        tagNETHEAD h = Head(206, {output, 2, static_cast<int32_t>(xs.size())});
        std::memcpy(h.textParam, xs.data(), xs.size());
        std::vector<uint8_t> body(768, 0);
        for (int p = 0; p < 3; ++p) std::memcpy(body.data() + 256 * p, ys[p].data(), ys[p].size());
        return Send(h, body);
    }
};

// The natural cubic spline through the points, in double precision.
std::vector<double> ReferenceSpline(const std::vector<double>& x, const std::vector<double>& y,
                                    const std::vector<double>& at) {
    const size_t n = x.size(), m = n - 1;
    std::vector<double> h(m), a(n), b(n, 2.0), l(n), d(n);
    for (size_t i = 0; i < m; ++i) h[i] = x[i + 1] - x[i];
    for (size_t i = 1; i < m; ++i) {
        l[i] = h[i - 1] / (h[i - 1] + h[i]);
        d[i] = 3 * ((1 - l[i]) * (y[i] - y[i - 1]) / h[i - 1] + l[i] * (y[i + 1] - y[i]) / h[i]);
    }
    l[0] = 1.0;
    d[0] = 3 * (y[1] - y[0]) / h[0];
    l[m] = 0.0;
    d[m] = 3 * (y[m] - y[m - 1]) / h[m - 1];
    for (size_t i = 0; i <= m; ++i) a[i] = 1 - l[i];
    for (size_t i = 1; i <= m; ++i) {
        l[i - 1] /= b[i - 1];
        d[i - 1] /= b[i - 1];
        b[i] -= a[i] * l[i - 1];
        d[i] -= a[i] * d[i - 1];
    }
    d[m] /= b[m];
    for (size_t i = m; i-- > 0;) d[i] -= l[i] * d[i + 1];
    std::vector<double> out;
    for (double v : at) {
        size_t k = 0;
        while (k + 1 < m && x[k + 1] < v) ++k;
        const double H = h[k], A = v - x[k], B = x[k + 1] - v;
        out.push_back((y[k] * (3 * B * B - 2 * B * B * B / H) + y[k + 1] * (3 * A * A - 2 * A * A * A / H) +
                       d[k] * (H * B * B - B * B * B) - d[k + 1] * (H * A * A - A * A * A)) /
                      (H * H));
    }
    return out;
}

TEST_F(ColorCommands, IdentityCurveClearsTheCurvesFlag) {
    // Single-precision noise (194.99998 for 195) must not darken an identity.
    for (const std::vector<uint8_t>& id : std::vector<std::vector<uint8_t>>{
             {0, 128, 255}, {0, 64, 128, 192, 255}, {0, 85, 170, 255}, {0, 32, 64, 96, 128, 160, 192, 224, 255}}) {
        SCOPED_TRACE(id.size());
        Channel(1).m_ratioFlag = 1;
        const std::vector<uint8_t> ys[3] = {id, id, id};
        EXPECT_EQ(SetCurves(1, id, ys).head.intParam[0], 0);
        for (int i = 0; i < 256; ++i)
            for (int k = 0; k < 3; ++k) ASSERT_EQ(Channel(1).m_lookup[i][k], i) << i;
        EXPECT_EQ(Channel(1).m_ratioFlag, 0);
    }
}

TEST_F(ColorCommands, KnownCurveGivesTheGoldenLookup) {
    util::LogCapture log;
    const std::vector<uint8_t> xs = {0, 64, 128, 255};
    const std::vector<uint8_t> ys[3] = {{0, 96, 160, 255}, {0, 32, 96, 255}, {20, 20, 20, 20}};
    SetCurves(2, xs, ys);
    EXPECT_EQ(Channel(2).m_ratioFlag, 1);
    std::vector<double> at(256);
    for (int i = 0; i < 256; ++i) at[i] = i;  // first to last point in 255 steps
    for (int p = 0; p < 3; ++p) {
        const std::vector<double> ref =
            ReferenceSpline({0, 64, 128, 255}, {double(ys[p][0]), double(ys[p][1]), double(ys[p][2]),
                                                double(ys[p][3])},
                            at);
        for (int i = 0; i < 256; ++i) {
            const int got = Channel(2).m_lookup[i][p];
            const double r = std::clamp(ref[i], 0.0, 255.0);
            if (std::fabs(r - std::round(r)) < 1e-3)
                EXPECT_NEAR(got, r, 1.0) << "plane " << p << " entry " << i;
            else
                EXPECT_EQ(got, static_cast<int>(r)) << "plane " << p << " entry " << i;
        }
    }
    // A few entries by hand: the ends and the control points.
    EXPECT_EQ(Channel(2).m_lookup[0][0], 0);
    EXPECT_EQ(Channel(2).m_lookup[255][1], 255);
    EXPECT_EQ(Channel(2).m_lookup[100][2], 20);
    // Channel 1 untouched.
    EXPECT_EQ(Channel(1).m_lookup[100][0], 100);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Debug, "point count=4"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Debug, "s=  0, 64,128,255,"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Debug, "b= 20, 20, 20, 20,"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Debug, "set color. channel id=2. flag=2.surface=4."));
}

TEST_F(ColorCommands, OvershootStaysWhite) {
    const std::vector<uint8_t> xs = {0, 32, 255};
    const std::vector<uint8_t> y = {0, 250, 255};
    const std::vector<uint8_t> ys[3] = {y, y, y};
    SetCurves(1, xs, ys);
    // The natural spline through these points rises above 255 past x = 32.
    const std::vector<double> ref = ReferenceSpline({0, 32, 255}, {0, 250, 255}, {100.0});
    ASSERT_GT(ref[0], 256.0);
    EXPECT_EQ(Channel(1).m_lookup[100][0], 255);
}

TEST_F(ColorCommands, CurveRefusalsChangeNothing) {
    const std::vector<uint8_t> id = {0, 128, 255};
    const std::vector<uint8_t> ys[3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    struct Case {
        const char* what;
        int32_t output;
        size_t bodySize;
        int32_t count;
        int32_t expected;
    };
    const Case cases[] = {
        {"no channel", 7, 768, 3, 5},
        {"short body", 1, 767, 3, 0},
        {"long body", 1, 769, 3, 0},
        {"two points", 1, 768, 2, 0},
        {"no point", 1, 768, -5, 0},
    };
    const uint8_t before = Channel(1).m_lookup[200][0];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tagNETHEAD h = Head(206, {c.output, 2, c.count});
        std::memcpy(h.textParam, id.data(), id.size());
        const CommandReply r = Send(h, std::vector<uint8_t>(c.bodySize, 0));
        EXPECT_EQ(r.head.intParam[0], c.expected);
        EXPECT_EQ(Channel(1).m_lookup[200][0], before);
    }
    // A count above 256 is cut to the 256 abscissa bytes of the text.
    tagNETHEAD h = Head(206, {1, 2, 100000});
    for (int i = 0; i < 256; ++i) h.textParam[i] = static_cast<char>(i);
    std::vector<uint8_t> body(768);
    for (int i = 0; i < 768; ++i) body[i] = static_cast<uint8_t>(255 - i % 256);
    EXPECT_EQ(Send(h, body).head.intParam[0], 0);
    EXPECT_EQ(Channel(1).m_lookup[0][0], 255);
    EXPECT_EQ(Channel(1).m_lookup[255][2], 0);
}

TEST_F(ColorCommands, RatioAndGetColour) {
    tagNETHEAD h = Head(206, {2, 1});
    h.realParam[0] = 0.5;
    h.realParam[1] = 0.25;
    h.realParam[2] = 1.0;
    EXPECT_EQ(Send(h).head.intParam[0], 0);
    CommandReply r = Send(Head(205, {2, 1}));
    EXPECT_EQ(r.head.intParam[0], 0);
    EXPECT_EQ(r.Real(44), 0.5);
    EXPECT_EQ(r.Real(52), 0.25);
    EXPECT_TRUE(r.body.empty());  // ratio only

    Channel(2).m_lookup[7][1] = 99;
    r = Send(Head(205, {2, 3}));
    ASSERT_EQ(r.body.size(), 768u);
    EXPECT_EQ(r.body[256 + 7], 99);
    EXPECT_EQ(r.body[512 + 7], 7);
    EXPECT_EQ(Send(Head(205, {9, 3})).head.intParam[0], 5);
    EXPECT_EQ(Send(Head(206, {9, 1})).head.intParam[0], 5);
}

TEST_F(ColorCommands, CurveControlValues) {
    tagNETHEAD h = Head(202, {1});
    float curves[3][16] = {};
    for (int k = 0; k < 3; ++k)
        for (int i = 1; i <= 9; ++i) curves[k][i] = 0.5f;
    std::memcpy(h.textParam, curves, sizeof curves);
    h.realParam[0] = 1.0;
    h.realParam[1] = 2.0;
    h.realParam[2] = 3.0;
    Send(h);
    EXPECT_EQ(Channel(1).m_lookup[0][0], 127);
    EXPECT_EQ(Channel(1).m_lookup[255][2], 127);
    const CommandReply r = Send(Head(201, {1}));
    EXPECT_EQ(r.Real(52), 2.0);
    EXPECT_EQ(r.head.intParam[8], 0);  // rectangle left
    float back[3][16];
    std::memcpy(back, r.head.textParam, sizeof back);
    EXPECT_EQ(back[2][0], 3.0f);
    EXPECT_EQ(back[1][5], 0.5f);
}

TEST_F(ColorCommands, BackgroundImageUpload) {
    util::LogCapture log;
    const std::vector<uint8_t> body = {'J', 'P', 'E', 'G', 1, 2, 3};
    struct Case {
        const char* name;
        int32_t count;
        const char* file;  // in image/, or null when refused
        size_t written;
    };
    const Case cases[] = {
        {"C:\\pictures\\bg.jpg", 7, "bg.jpg", 7},
        {"/tmp/../../x.jpg", 4, "x.jpg", 4},
        {"big.jpg", 1000, "big.jpg", 7},
        {"neg.jpg", -1, nullptr, 0},
        {"..", 7, nullptr, 0},
        {"", 7, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        core->m_strBmpFilePath = "unchanged";
        tagNETHEAD h = Head(204, {c.count, 1});
        SetText(h, c.name);
        EXPECT_EQ(Send(h, body).head.intParam[0], 0);
        if (c.file) {
            EXPECT_EQ(ReadFile(dir / "image" / c.file), std::string(body.begin(), body.begin() + c.written));
            EXPECT_EQ(core->m_strBmpFilePath, (dir / "image" / c.file).string());
        } else {
            EXPECT_EQ(core->m_strBmpFilePath, "unchanged");
        }
    }
    EXPECT_EQ(platform::GetPrivateProfileString("Setting", "BmpFilePath", "", (dir / "mediacfg.ini").string()),
              (dir / "image" / "big.jpg").string());
}

TEST_F(ColorCommands, APictureForTheGeometryEditorGivesWayToTheConfiguredOne) {
    const std::vector<uint8_t> body = {'J', 'P', 'E', 'G', 1, 2, 3};
    const std::string ini = (dir / "mediacfg.ini").string();
    const std::string configured = (dir / "image" / "configured.jpg").string();
    core->m_strBmpFilePath = configured;
    platform::WritePrivateProfileString("Setting", "BmpFilePath", configured.c_str(), ini.c_str());

    // Two pictures while the editor is open: shown, never written down.
    for (const char* name : {"grid1.jpg", "grid2.jpg"}) {
        tagNETHEAD h = Head(204, {7, 0});
        SetText(h, name);
        Send(h, body);
        EXPECT_EQ(core->m_strBmpFilePath, (dir / "image" / name).string());
        EXPECT_EQ(platform::GetPrivateProfileString("Setting", "BmpFilePath", "", ini), configured);
    }
    // Leaving the geometry mode brings the configured picture back.
    Send(Head(1009, {2, 1}));
    EXPECT_EQ(core->m_strBmpFilePath, configured);
    Send(Head(1009, {2, 1}));
    EXPECT_EQ(core->m_strBmpFilePath, configured);

    // A picture sent to keep stays after the editor, and in the settings.
    tagNETHEAD h = Head(204, {7, 1});
    SetText(h, "kept.jpg");
    Send(h, body);
    Send(Head(1009, {2, 1}));
    EXPECT_EQ(core->m_strBmpFilePath, (dir / "image" / "kept.jpg").string());
    EXPECT_EQ(platform::GetPrivateProfileString("Setting", "BmpFilePath", "", ini), (dir / "image" / "kept.jpg").string());
}

// ---- blend settings ----

TEST_F(BlendCommands, EdgeParameters) {
    util::LogCapture log;
    tagNETHEAD h = Head(301, {2, 0});
    for (int i = 0; i < 10; ++i) h.realParam[i] = 0.5 + i;
    Send(h);
    EXPECT_EQ(Channel(2).m_edgeParam[9], 9.5f);
    EXPECT_EQ(Channel(1).m_edgeParam[0], 1.2f);
    CommandReply r = Send(Head(302, {2}));
    EXPECT_EQ(r.Real(44 + 8 * 9), 9.5);

    h = Head(310, {1});
    for (int i = 0; i < 10; ++i) h.realParam[i] = 0.25;
    Send(h);
    EXPECT_TRUE(log.Contains("设置融合参数0.250 0.250"));
    EXPECT_EQ(Channel(1).m_edgeParam[9], 0.25f);
    EXPECT_EQ(Channel(2).m_edgeParam[9], 9.5f);  // another output keeps its own values

    Send(Head(308, {2}));
    r = Send(Head(311, {1}));
    EXPECT_EQ(r.Real(44), 0.25);
    EXPECT_EQ(r.head.intParam[2], 2);
}

TEST_F(BlendCommands, CurveArrays) {
    std::vector<uint8_t> arrays(960);
    for (size_t i = 0; i < 240; ++i) {
        const float v = static_cast<float>(i);
        std::memcpy(arrays.data() + 4 * i, &v, 4);
    }
    Send(Head(307, {1, 0}), arrays);
    EXPECT_EQ(Send(Head(306, {1})).body, arrays);
    EXPECT_EQ(Channel(2).m_edgeTable[0][0], 1.2f);

    // Short body: nothing changes.
    Send(Head(307, {2, 1}), std::vector<uint8_t>(959, 0));
    EXPECT_EQ(Channel(2).m_edgeTable[0][0], 1.2f);

    tagNETHEAD h = Head(309, {2, 'G', 0, 0, 1});
    for (int i = 0; i < 80; ++i) h.textParam[i] = static_cast<char>(i);
    Send(h);
    EXPECT_EQ(Channel(1).m_edgeTable[4][0], 0.0f);   // green starts at value 80
    EXPECT_EQ(Channel(1).m_edgeTable[7][19], 79.0f);
    EXPECT_EQ(Channel(1).m_edgeTable[0][1], 1.0f);   // red kept
}

TEST_F(BlendCommands, BackgroundPictureByNumber) {
    core->m_nUseBackgroundBmp = 0;
    Send(Head(303, {6}));
    EXPECT_EQ(core->m_nUseBackgroundBmp, 0);
    Send(Head(303, {-1}));
    EXPECT_EQ(core->m_nUseBackgroundBmp, 0);
    Send(Head(303, {2}));
    EXPECT_EQ(core->m_nUseBackgroundBmp, 1);
    EXPECT_EQ(core->m_strBmpFilePath, core->m_testPatterns[2]);
}

TEST_F(BlendCommands, ColourBandsGoToOneBackgroundPictureMadeByTheFactory) {
    util::LogCapture log;
    // 203 without +8 = 1 reloads the configured picture instead.
    Send(Head(203, {0, 0, 2, 0}));
    EXPECT_EQ(media.created.load(), 0);
    Send(Head(304, {0, 0, 2, 1}));
    EXPECT_EQ(media.created.load(), 1);
    ASSERT_NE(core->m_pBackground, nullptr);
    IMedia* const picture = core->m_pBackground;
    Send(Head(203, {0, 1, 3, 0}));
    EXPECT_EQ(media.created.load(), 1);
    EXPECT_EQ(core->m_pBackground, picture);
    // A recording picture draws no bands: that is said, not hidden.
    EXPECT_TRUE(log.Contains("colour bars: 3 colours not drawn."));
}

}  // namespace
