#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "channel/ChannelLayout.h"
#include "channel/Displays.h"
#include "platform/tick.h"
#include "util/LogCapture.h"

namespace {

// Console records with the wire's reset grid (x = c/20 - 1, y = r/20 - 1).
std::vector<CHANNEL_BASE_INFO> Records(int n) {
    std::vector<CHANNEL_BASE_INFO> recs(n);
    for (int i = 0; i < n; ++i) {
        CHANNEL_BASE_INFO& r = recs[i];
        std::memset(&r, 0, sizeof r);
        r.channelId = i + 1;
        for (int c = 0; c <= 40; ++c)
            for (int j = 0; j <= 40; ++j) r.grid[c][j] = DOUBLE_POINT{c / 20.0 - 1.0, j / 20.0 - 1.0};
        r.colorRatio[0] = r.colorRatio[1] = r.colorRatio[2] = 1.0f;
    }
    return recs;
}

struct LayoutTest : ::testing::Test {
    FakeDisplayBackend displays;
    ScopedDisplayBackend scoped{&displays};
    CChannelLayout layout;
    util::LogCapture log;
};

}  // namespace

TEST_F(LayoutTest, ConstructorDefaults) {
    EXPECT_EQ(layout.m_nChannelCount, 1);
    EXPECT_EQ(layout.m_nRows, 1);
    EXPECT_EQ(layout.m_nColumns, 1);
    EXPECT_EQ(layout.m_nChannelWidth, 320);
    EXPECT_EQ(layout.m_nChannelHeight, 240);
    EXPECT_EQ(layout.m_dMoveStep, 1.0);
    EXPECT_EQ(layout.m_nAdjustMode, 1);
    EXPECT_EQ(layout.m_nAdjustFlags, 3);
    EXPECT_EQ(layout.m_nChannelLimit, 8);
    EXPECT_EQ(layout.m_nReserved, 0);
    EXPECT_EQ(layout.m_nAutoArrange, 1);
    EXPECT_EQ(layout.m_nStageMode, 0);
    EXPECT_EQ(layout.m_nStoredWord3, 1);
    EXPECT_EQ(layout.m_corners[0].y, 1.0);
    EXPECT_EQ(layout.m_corners[3].x, 1.0);
    EXPECT_EQ(layout.m_corners[3].y, 0.0);
    EXPECT_EQ(layout.m_pSelected, nullptr);
    layout.m_nStageMode = 2;
    layout.m_nReserved = 9;
    layout.SetDefaults();
    EXPECT_EQ(layout.m_dMoveStep, 0.0001);
    EXPECT_EQ(layout.m_nStageMode, 2);
    EXPECT_EQ(layout.m_nReserved, 9);
}

TEST_F(LayoutTest, CreateFromRecordsTakesOffTheOverlap) {
    displays.Add(0, 0, 1920, 1080, true);
    displays.Add(1920, 0, 1920, 1080);
    auto recs = Records(2);
    recs[0].blendWidth = RECT{1, 2, 4, 3};  // left, top, right, bottom
    recs[0].rotation = 12.5f;
    recs[0].rect = RECT{0, 0, 1920, 1080};
    recs[0].colorRatio[1] = 0.75f;
    recs[0].grid[40][40] = DOUBLE_POINT{1.1, 0.9};
    recs[1].rect = RECT{1920, 0, 3840, 1080};
    ASSERT_TRUE(layout.CreateChannels(2, recs.data(), 1920, 1080, false));

    ASSERT_EQ(layout.m_channels.size(), 2u);
    EXPECT_EQ(layout.m_nTotalWidth, 3648);
    EXPECT_EQ(layout.m_nTotalHeight, 1080);
    EXPECT_EQ(layout.m_nColumns, 2);
    EXPECT_EQ(layout.m_nRows, 1);
    EXPECT_EQ(layout.m_nMaxRight, 3840);
    EXPECT_EQ(layout.m_nChannelCount, 2);
    const OutputChannel& a = *layout.m_channels[0];
    EXPECT_EQ(a.m_blend[OutputChannel::kBlendLeft], 1);
    EXPECT_EQ(a.m_blend[OutputChannel::kBlendTop], 2);
    EXPECT_EQ(a.m_blend[OutputChannel::kBlendRight], 4);
    EXPECT_EQ(a.m_blend[OutputChannel::kBlendBottom], 3);
    EXPECT_EQ(a.m_rotation, 12.5f);
    EXPECT_EQ(a.m_colorRatio[1], 0.75f);
    EXPECT_EQ(a.m_outputNumber, 1);
    EXPECT_DOUBLE_EQ(a.Point(40, 40).x, 2.2);
    EXPECT_DOUBLE_EQ(a.Point(40, 40).y, 1.35);
    EXPECT_DOUBLE_EQ(a.m_ctrl[2].x, 2.2);  // control points reloaded
    EXPECT_DOUBLE_EQ(a.Point(0, 0).x, -2.0);
    EXPECT_DOUBLE_EQ(a.Point(0, 0).y, -1.5);
    EXPECT_EQ(layout.m_channels[1]->m_rect.left, 1920);
    EXPECT_EQ(layout.FindChannel(2), layout.m_channels[1]);
    EXPECT_EQ(layout.FindChannel(3), nullptr);

    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info,
                             "new channel. outputid=1.blend=1,4,2,3.rotateangle=12.500,stagepos=0,0,1920,1080"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "channel row=1.col=2.m_nTotalChannelsize=3840,1080"));
}

TEST_F(LayoutTest, CreateFreshResetsChannelsAtTheirDisplays) {
    displays.Add(0, 0, 1280, 720, true);
    displays.Add(1280, 0, 1280, 720);
    auto recs = Records(2);
    recs[0].blendWidth = RECT{5, 5, 5, 5};
    recs[1].channelId = 2;
    ASSERT_TRUE(layout.CreateChannels(2, recs.data(), 1280, 720, true));
    const OutputChannel& b = *layout.m_channels[1];
    EXPECT_EQ(b.m_blend[0], 0);
    EXPECT_EQ(b.m_stageRect.left, 1280);
    EXPECT_EQ(b.m_stageRect.right, 2560);
    EXPECT_EQ(b.m_outputNumber, 2);
    EXPECT_EQ(layout.m_nTotalWidth, 2560);
}

TEST_F(LayoutTest, CreateRefusesZeroSizeAndKeepsTheLayout) {
    layout.ResetChannels();
    OutputChannel* before = layout.m_channels[0];
    auto recs = Records(1);
    const int32_t sizes[][2] = {{0, 1080}, {1920, 0}, {-5, 100}};
    for (const auto& s : sizes) {
        EXPECT_FALSE(layout.CreateChannels(1, recs.data(), s[0], s[1], false));
        ASSERT_EQ(layout.m_channels.size(), 1u);
        EXPECT_EQ(layout.m_channels[0], before);
        EXPECT_EQ(layout.m_nChannelWidth, 320);
    }
    EXPECT_FALSE(layout.CreateChannels(-1, recs.data(), 100, 100, false));
}

TEST_F(LayoutTest, OverlapSumsStayInsideTheList) {
    // One channel on a wide display: three columns and two rows by size, one
    // record in the list.
    displays.Add(0, 0, 3840, 2160, true);
    auto recs = Records(1);
    recs[0].blendWidth = RECT{0, 0, 8, 8};
    ASSERT_TRUE(layout.CreateChannels(1, recs.data(), 1280, 1080, false));
    EXPECT_EQ(layout.m_nColumns, 3);
    EXPECT_EQ(layout.m_nRows, 2);
    EXPECT_EQ(layout.m_nTotalWidth, 3840 - 8 * 1280 / 40);
    EXPECT_EQ(layout.m_nTotalHeight, 2160 - 8 * 1080 / 40);
}

TEST_F(LayoutTest, MissingDisplayPlacesChannelWhereTheConsoleDid) {
    auto recs = Records(1);
    recs[0].channelId = 7;
    recs[0].rect = RECT{100, 50, 740, 530};
    ASSERT_TRUE(layout.CreateChannels(1, recs.data(), 640, 480, false));
    EXPECT_EQ(layout.m_channels[0]->m_rect.left, 100);
    EXPECT_EQ(layout.m_channels[0]->m_rect.bottom, 530);
}

TEST_F(LayoutTest, ResetChannelsBuildsTheGrid) {
    layout.m_nRows = 2;
    layout.m_nColumns = 2;
    layout.m_nChannelWidth = 100;
    layout.m_nChannelHeight = 50;
    layout.m_nOriginX = 10;
    layout.m_nOriginY = 20;
    layout.ResetChannels();
    ASSERT_EQ(layout.m_channels.size(), 4u);
    EXPECT_EQ(layout.m_nChannelCount, 4);
    EXPECT_EQ(layout.m_idTable.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const OutputChannel& ch = *layout.m_channels[i];
        EXPECT_EQ(ch.m_id, i + 1);
        EXPECT_EQ(ch.m_rect.left, (i % 2) * 100);
        EXPECT_EQ(ch.m_rect.top, (i / 2) * 50);
        EXPECT_EQ(ch.m_stageRect.right, ch.m_rect.right);
    }
    EXPECT_EQ(layout.m_pSelected, layout.m_channels[0]);
    EXPECT_EQ(layout.m_stageRect.left, 10);
    EXPECT_EQ(layout.m_stageRect.right, 210);
    EXPECT_EQ(layout.m_stageRect.bottom, 120);
    EXPECT_EQ(layout.m_nTotalWidth, 200);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "reset channel. row=2.col=2.width=100,height=50"));
}

TEST_F(LayoutTest, ArrangeRowAndColumn) {
    displays.Add(0, 0, 1920, 1080, true);
    displays.Add(1920, 0, 1920, 1080);
    auto recs = Records(2);
    ASSERT_TRUE(layout.CreateChannels(2, recs.data(), 1920, 1080, true));
    layout.ArrangeChannels();
    const OutputChannel& l = *layout.m_channels[0];
    const OutputChannel& r = *layout.m_channels[1];
    EXPECT_EQ(l.m_texWindow[OutputChannel::kTexS0], 0.0);
    EXPECT_EQ(l.m_texWindow[OutputChannel::kTexS40], 0.5);
    EXPECT_EQ(r.m_texWindow[OutputChannel::kTexS0], 0.5);
    EXPECT_EQ(r.m_texWindow[OutputChannel::kTexS40], 1.0);
    EXPECT_EQ(l.m_texWindow[OutputChannel::kTexT40], 1.0);
    EXPECT_EQ(l.m_texWindow[OutputChannel::kTexT0], 0.0);

    FakeDisplayBackend column;
    column.Add(0, 0, 800, 600, true);
    column.Add(0, 600, 800, 600);
    ScopedDisplayBackend s2(&column);
    CChannelLayout col;
    ASSERT_TRUE(col.CreateChannels(2, recs.data(), 800, 600, true));
    EXPECT_EQ(col.m_nRows, 2);
    col.ArrangeChannels();
    const OutputChannel& top = *col.m_channels[0];
    const OutputChannel& bottom = *col.m_channels[1];
    EXPECT_EQ(top.m_texWindow[OutputChannel::kTexS0], 0.0);
    EXPECT_EQ(top.m_texWindow[OutputChannel::kTexS40], 1.0);
    EXPECT_EQ(top.m_texWindow[OutputChannel::kTexT40], 1.0);
    EXPECT_EQ(top.m_texWindow[OutputChannel::kTexT0], 0.5);
    EXPECT_EQ(bottom.m_texWindow[OutputChannel::kTexT40], 0.5);
    EXPECT_EQ(bottom.m_texWindow[OutputChannel::kTexT0], 0.0);
}

TEST_F(LayoutTest, MoveStep) {
    layout.m_nChannelWidth = 1280;
    const struct {
        int level;
        double step;
    } cases[] = {{0, 1.0 / 1280}, {3, 0.00625}, {5, 32.0 / 1280}, {6, 1.0 / 1280}, {-1, 1.0 / 1280}};
    for (const auto& c : cases) {
        layout.SetMoveStep(c.level);
        EXPECT_DOUBLE_EQ(layout.m_dMoveStep, c.step) << c.level;
    }
}

TEST_F(LayoutTest, MoveSelectionByMode) {
    layout.ResetChannels();
    OutputChannel& ch = *layout.m_pSelected;
    const struct {
        int mode;
        int c, r;
        char key;
        int wantC, wantR;
    } cases[] = {
        {2, 40, 0, 'D', 0, 0},   {2, 0, 0, 'd', 20, 0},   {2, 20, 0, 'D', 40, 0},  {2, 40, 0, 'A', 20, 0},
        {2, 7, 0, 'A', 40, 0},   {2, 0, 20, 'W', 0, 40},  {2, 0, 0, 'S', 0, 40},   {1, 40, 5, 'A', 0, 5},
        {1, 3, 5, 'A', 40, 5},   {1, 3, 5, 'D', 0, 5},    {1, 0, 5, 'D', 40, 5},   {0, 0, 5, 'A', 40, 5},
        {0, 40, 5, 'D', 0, 5},   {0, 7, 5, 'W', 7, 6},    {0, 7, 40, 'W', 7, 0},   {0, 7, 0, 's', 7, 40},
        {0, -1, 5, 'D', 0, 5},   {0, 90, 5, 'D', 0, 5},   {0, 90, 5, 'A', 40, 5},  {0, 7, 5, 'x', 7, 5},
    };
    for (const auto& c : cases) {
        layout.m_nAdjustMode = c.mode;
        ch.m_selCol = c.c;
        ch.m_selRow = c.r;
        layout.MoveSelection(c.key);
        EXPECT_EQ(ch.m_selCol, c.wantC) << c.mode << " " << c.c << "," << c.r << " " << c.key;
        EXPECT_EQ(ch.m_selRow, c.wantR) << c.mode << " " << c.c << "," << c.r << " " << c.key;
    }
    layout.m_nAdjustMode = 2;
    ch.m_selCol = 0;
    ch.m_selRow = 20;
    ch.m_selCtrl = 0;
    layout.MoveSelection('D');  // onto (20, 20), the centre
    EXPECT_EQ(ch.m_selCtrl, 9);
    layout.m_nAdjustMode = 0;
    layout.MoveSelection('D');  // (21, 20): no control node, word kept
    EXPECT_EQ(ch.m_selCtrl, 9);
}

TEST_F(LayoutTest, SelectChannelMarksOneAndClearsVertices) {
    platform::ManualTickSource tick(12345);
    platform::SetTickSource(&tick);
    displays.Add(0, 0, 640, 480, true);
    displays.Add(640, 0, 640, 480);
    auto recs = Records(2);
    ASSERT_TRUE(layout.CreateChannels(2, recs.data(), 640, 480, true));
    layout.SelectChannel(2);
    EXPECT_EQ(layout.m_pSelected, layout.m_channels[1]);
    EXPECT_EQ(layout.m_channels[1]->m_selected, 1);
    EXPECT_EQ(layout.m_channels[1]->m_selectTime, 12345u);
    EXPECT_EQ(layout.m_channels[0]->m_selected, 0);
    EXPECT_EQ(layout.m_channels[0]->m_selCol, -1);
    layout.SelectChannelByIndex(0);
    EXPECT_EQ(layout.m_pSelected, layout.m_channels[0]);
    EXPECT_EQ(layout.m_channels[1]->m_selected, 0);
    layout.SelectChannel(9);
    EXPECT_EQ(layout.m_pSelected, nullptr);
    layout.SelectChannelByIndex(2);
    EXPECT_EQ(layout.m_pSelected, nullptr);
    layout.AdjustSelectedGrid(1, 0);  // nothing selected: nothing happens
    platform::SetTickSource(nullptr);
}

TEST_F(LayoutTest, SelectedEditsGuardTheirIndexes) {
    layout.ResetChannels();
    OutputChannel ref(0, 0, 1, 1);
    layout.SetSelectedVertex(41, 3, 1);
    layout.AdjustSelectedGrid(1, 0);
    layout.SetSelectedVertex(3, -2, 1);
    layout.AdjustSelectedGrid(1, 0);
    layout.m_nAdjustMode = 2;
    layout.SetSelectedVertex(3, 3, 77);
    layout.AdjustSelectedGrid(1, 0);
    EXPECT_EQ(std::memcmp(layout.m_pSelected->m_grid, ref.m_grid, sizeof ref.m_grid), 0);
    EXPECT_EQ(layout.m_pSelected->m_selCtrl, 77);  // stored as given

    layout.m_nAdjustMode = 5;
    layout.m_dMoveStep = 0.5;
    layout.AdjustSelectedGrid(1, 2);  // shifts the whole grid right
    EXPECT_DOUBLE_EQ(layout.m_pSelected->Point(0, 0).x, -1.5);
}

TEST_F(LayoutTest, EdgePositionsOfTwoOverlappingChannels) {
    displays.Add(0, 0, 1000, 500, true);
    displays.Add(1000, 0, 1000, 500);
    auto recs = Records(2);
    recs[0].rect = RECT{0, 0, 1100, 500};  // stage rectangles overlap by 200
    recs[1].rect = RECT{900, 0, 2000, 500};
    ASSERT_TRUE(layout.CreateChannels(2, recs.data(), 1000, 500, false));
    layout.ComputeEdgePositions();
    const OutputChannel& a = *layout.m_channels[0];
    EXPECT_FLOAT_EQ(a.m_edgePos[0], 0.0f);
    EXPECT_FLOAT_EQ(a.m_edgePos[1], 1.0f);
    EXPECT_FLOAT_EQ(a.m_edgePos[2], 0.5f);
    EXPECT_FLOAT_EQ(a.m_edgePos[3], 0.0f);
    EXPECT_FLOAT_EQ(a.m_span[2], 0.5f);
    // Overlap 900..1100 of a's stage 0..1100, mapped into 0..0.5.
    EXPECT_FLOAT_EQ(a.m_edgePos[4], 900.0f / 1100.0f * 0.5f);
    EXPECT_FLOAT_EQ(a.m_edgePos[5], 1.0f);
    EXPECT_FLOAT_EQ(a.m_edgePos[6], 0.5f);
    EXPECT_FLOAT_EQ(a.m_edgePos[7], 0.0f);
    EXPECT_EQ(a.m_edgePos[8], 0.0f);
    const OutputChannel& b = *layout.m_channels[1];
    EXPECT_FLOAT_EQ(b.m_edgePos[0], 0.5f);
    EXPECT_FLOAT_EQ(b.m_edgePos[6], 0.5f + 200.0f / 1100.0f * 0.5f);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info,
                             "edge:0.000 1.000 0.500 0.000 0.409 1.000 0.500 0.000 stage pos=0,0,1100,500"));
}
