// The geometry editor's rules without a widget: pixel mapping, hit tests and
// picks, the selection and its keys, the gestures of the four modes, and
// when an edit is stored and sent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kestrane/gconfig.h"
#include "kestrane/warpeditmodel.h"

namespace {

using Index = WarpEditModel::Index;

// A 400 x 300 view: the square fills (25, 25) to (375, 275).
constexpr int kWidth = 400;
constexpr int kHeight = 300;

bool sameBits(const DOUBLE_POINT& a, const DOUBLE_POINT& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class WarpModel : public ::testing::Test {
protected:
    void SetUp() override {
        c.setHooks(nullptr);
        c.clearProject();
        DeviceRecord one;
        one.adjustMode = 0;
        c.devices().insert(1, one);
        DeviceRecord two;
        two.adjustMode = 1;
        two.angle = 12.5;
        c.devices().insert(2, two);
        DeviceRecord three;
        three.adjustMode = 2;
        c.devices().insert(3, three);
        m.setDeviceId(1);
        m.setViewRect(WarpEditModel::viewRectFor(kWidth, kHeight));
        m.init();
        c.setSaved(true);
    }
    void TearDown() override { c.clearProject(); }

    QPoint at(int i, int j) const { return m.toScreen(m.vertex(i, j)); }
    void click(const QPoint& p, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        m.press(p);
        m.release(p, mods);
    }
    void drag(const QPoint& from, const std::vector<QPoint>& path) {
        m.press(from);
        for (const QPoint& p : path) m.move(p);
        m.release(path.empty() ? from : path.back(), Qt::NoModifier);
    }
    std::set<std::pair<int, int>> selection() const {
        std::set<std::pair<int, int>> out;
        for (int i = 0; i <= 40; ++i)
            for (int j = 0; j <= 40; ++j)
                if (m.isSelected(i, j)) out.insert({i, j});
        return out;
    }

    GConfig& c = GConfig::instance();
    WarpEditModel m;
};

}  // namespace

TEST_F(WarpModel, MappingRoundTripsThePixelsOfTheSquare) {
    const WarpEditModel::ViewRect r = m.viewRect();
    EXPECT_EQ(r.left, 25);
    EXPECT_EQ(r.top, 25);
    EXPECT_EQ(r.right, 375);
    EXPECT_EQ(r.bottom, 275);
    struct Case {
        double x, y;
        QPoint px;
    };
    for (const Case& k : {Case{-1, -1, {25, 275}}, Case{1, 1, {375, 25}}, Case{0, 0, {200, 150}},
                          Case{-1, 1, {25, 25}}, Case{0.5, -0.5, {287, 212}}}) {
        SCOPED_TRACE(std::to_string(k.x) + "," + std::to_string(k.y));
        EXPECT_EQ(m.toScreen(DOUBLE_POINT{k.x, k.y}), k.px);
    }
    for (int px = 25; px <= 375; px += 7)
        for (int py = 25; py <= 275; py += 5) {
            const DOUBLE_POINT n = m.toNormalized(QPoint(px, py));
            // Truncation toward zero may lose the last pixel to rounding only.
            const QPoint back = m.toScreen(n);
            EXPECT_LE(std::abs(back.x() - px), 1) << px << "," << py;
            EXPECT_LE(std::abs(back.y() - py), 1) << px << "," << py;
            EXPECT_EQ(m.toScreen(DOUBLE_POINT{n.x + 1e-9, n.y - 1e-9}), QPoint(px, py)) << px << "," << py;
        }
    // A view without width or height has no inside: a whole-grid drag there
    // moves nothing.
    WarpEditModel flat;
    flat.setViewRect(WarpEditModel::ViewRect{25, 25, 25, 25});
    flat.setAdjustMode(3, 0, false);
    flat.press(QPoint(25, 25));
    flat.move(QPoint(40, 40));
    EXPECT_EQ(flat.vertex(0, 0).x, -1.0);
    EXPECT_EQ(flat.vertex(0, 0).y, -1.0);
}

TEST_F(WarpModel, HitTestIsManhattanBelowEightPixels) {
    m.press(QPoint(0, 0));  // takes the vertex pixels
    const QPoint v = at(10, 10);
    struct Case {
        QPoint offset;
        bool hit;
    };
    for (const Case& k : {Case{{7, 0}, true}, Case{{0, -7}, true}, Case{{4, 3}, true}, Case{{-3, -4}, true},
                          Case{{8, 0}, false}, Case{{4, 4}, false}, Case{{0, 8}, false}}) {
        // Vertices lie 8.75 and 6.25 pixels apart here: test beside the
        // corner, where the next vertex is away from the offset.
        const QPoint corner = at(0, 0);
        const QPoint outward(-std::abs(k.offset.x()), std::abs(k.offset.y()));
        const Index got = m.hitVertex(corner + outward);
        EXPECT_EQ(got.valid(), k.hit) << k.offset.x() << "," << k.offset.y();
        if (k.hit) {
            EXPECT_EQ(got, (Index{0, 0}));
        }
    }
    EXPECT_EQ(m.hitVertex(v), (Index{10, 10}));
    // Halfway between two vertices of a column: the first in scan order.
    const QPoint between(at(10, 10).x(), (at(10, 10).y() + at(10, 11).y()) / 2);
    ASSERT_EQ(std::abs(between.y() - at(10, 10).y()), std::abs(between.y() - at(10, 11).y()));
    EXPECT_EQ(m.hitVertex(between), (Index{10, 10}));
}

TEST_F(WarpModel, ControlPointsArePickedWithinFourteenPixelsBothWays) {
    struct Case {
        int mode;
        int k;
        QPoint offset;
        bool picked;
    };
    const std::vector<Case> cases = {
        {2, 2, {-14, 14}, true},  {2, 2, {-15, 14}, false}, {2, 8, {14, 14}, true},  {2, 8, {14, -15}, false},
        {1, 0, {14, -14}, true},  {1, 3, {14, 14}, true},   {1, 4, {0, 0}, false},   {1, 8, {0, 0}, false},
        {1, 5, {-3, 2}, false},   {2, 5, {-3, 2}, true},
        // Handles at the picture's edge are grabbed on their outer half too.
        {1, 0, {-6, 6}, true},    {2, 2, {8, -8}, true},    {2, 5, {10, 0}, true},   {1, 1, {15, 0}, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.mode) + " k" + std::to_string(k.k));
        m.setAdjustMode(k.mode, 0, false);
        const Index c = WarpEditModel::controlIndex(k.k);
        m.press(at(c.i, c.j) + k.offset);
        EXPECT_EQ(m.dragging(), k.picked);
        if (k.picked) {
            EXPECT_EQ(m.dragIndex(), k.k);
            EXPECT_EQ(m.currentControl(), c);
        }
        m.release(at(c.i, c.j) + k.offset, Qt::NoModifier);
    }
}

TEST_F(WarpModel, SelectionKeysWalkTheControlPointsAndWrapAtTheEnds) {
    struct Case {
        int mode;
        Index from;
        int key;
        Index to;
    };
    const std::vector<Case> cases = {
        {1, {0, 40}, Qt::Key_A, {40, 40}},  // leftmost: wraps to i 40
        {1, {0, 40}, Qt::Key_W, {0, 0}},    // topmost: wraps to j 0
        {1, {0, 40}, Qt::Key_D, {40, 40}},  // skips the middle point in mode 1
        {1, {40, 0}, Qt::Key_W, {40, 40}},
        {1, {40, 0}, Qt::Key_S, {40, 40}},
        {2, {0, 40}, Qt::Key_D, {20, 40}},
        {2, {20, 40}, Qt::Key_S, {20, 20}},
        {2, {40, 20}, Qt::Key_D, {0, 20}},
        {2, {20, 0}, Qt::Key_S, {20, 40}},
        {2, {0, 40}, Qt::Key_A, {40, 40}},
        {2, {0, 0}, Qt::Key_W, {0, 20}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.mode) + " from " + std::to_string(k.from.i) + "," + std::to_string(k.from.j));
        m.setAdjustMode(k.mode == 1 ? 2 : 1, 0, false);
        m.setAdjustMode(k.mode, 0, false);
        // The start is picked with the mouse.
        click(at(k.from.i, k.from.j));
        ASSERT_EQ(m.currentControl(), k.from);
        m.moveSelectionByKey(k.key);
        EXPECT_EQ(m.currentControl(), k.to);
    }
    // In four-point mode no key sequence reaches a middle point.
    m.setAdjustMode(1, 0, false);
    const int keys[] = {Qt::Key_A, Qt::Key_W, Qt::Key_D, Qt::Key_S, Qt::Key_D, Qt::Key_W, Qt::Key_A, Qt::Key_S};
    for (int n = 0; n < 64; ++n) {
        m.moveSelectionByKey(keys[(n * 5) % 8]);
        EXPECT_GE(m.currentControlIndex(), 0);
        EXPECT_LE(m.currentControlIndex(), 3);
    }
    EXPECT_EQ(m.sendCount(), 0);  // choosing a point sends nothing
}

TEST_F(WarpModel, SelectionKeysShiftVerticesAndMergeThemAtTheBorder) {
    click(at(0, 5));
    click(at(1, 5), Qt::ControlModifier);
    click(at(7, 40), Qt::ControlModifier);
    ASSERT_EQ(selection(), (std::set<std::pair<int, int>>{{0, 5}, {1, 5}, {7, 40}}));
    m.moveSelectionByKey(Qt::Key_A);
    EXPECT_EQ(selection(), (std::set<std::pair<int, int>>{{0, 5}, {6, 40}}));
    m.moveSelectionByKey(Qt::Key_W);
    EXPECT_EQ(selection(), (std::set<std::pair<int, int>>{{0, 6}, {6, 40}}));
    m.moveSelectionByKey(Qt::Key_D);
    m.moveSelectionByKey(Qt::Key_S);
    EXPECT_EQ(selection(), (std::set<std::pair<int, int>>{{1, 5}, {7, 39}}));
    EXPECT_EQ(m.sendCount(), 0);
    const DOUBLE_POINT before = m.vertex(1, 5);
    m.moveSelectionByKey(Qt::Key_Q);  // not a selection key
    m.moveByKey(Qt::Key_Space);       // not an arrow
    EXPECT_EQ(selection(), (std::set<std::pair<int, int>>{{1, 5}, {7, 39}}));
    EXPECT_TRUE(sameBits(m.vertex(1, 5), before));
    EXPECT_EQ(m.sendCount(), 0);
}

TEST_F(WarpModel, ClicksSelectByTheirModifiers) {
    struct Step {
        Index vertex;
        Qt::KeyboardModifiers mods;
        std::set<std::pair<int, int>> after;
    };
    const std::vector<Step> steps = {
        {{5, 5}, Qt::NoModifier, {{5, 5}}},
        {{6, 5}, Qt::ControlModifier, {{5, 5}, {6, 5}}},
        {{7, 7}, Qt::ShiftModifier, {{5, 5}, {6, 5}, {7, 5}, {6, 6}, {7, 6}, {6, 7}, {7, 7}}},  // anchor (6, 5)
        {{6, 6}, Qt::ShiftModifier, {{5, 5}, {6, 5}, {7, 5}, {7, 6}, {6, 7}, {7, 7}}},  // selected: deselected
        {{9, 9}, Qt::ControlModifier | Qt::ShiftModifier, {{9, 9}}},  // both: a plain click
        {{9, 9}, Qt::ControlModifier, {}},
        {{3, 3}, Qt::ShiftModifier, {{3, 3}, {4, 3}, {5, 3}, {6, 3}, {7, 3}, {8, 3}, {9, 3},
                                      {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}, {8, 4}, {9, 4},
                                      {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5},
                                      {3, 6}, {4, 6}, {5, 6}, {6, 6}, {7, 6}, {8, 6}, {9, 6},
                                      {3, 7}, {4, 7}, {5, 7}, {6, 7}, {7, 7}, {8, 7}, {9, 7},
                                      {3, 8}, {4, 8}, {5, 8}, {6, 8}, {7, 8}, {8, 8}, {9, 8},
                                      {3, 9}, {4, 9}, {5, 9}, {6, 9}, {7, 9}, {8, 9}, {9, 9}}},
    };
    for (size_t n = 0; n < steps.size(); ++n) {
        SCOPED_TRACE("step " + std::to_string(n));
        click(at(steps[n].vertex.i, steps[n].vertex.j), steps[n].mods);
        EXPECT_EQ(selection(), steps[n].after);
    }
    EXPECT_EQ(m.sendCount(), 0);
}

TEST_F(WarpModel, ShiftClickWithoutAnAnchorSelectsOnlyTheVertex) {
    const std::vector<std::pair<const char*, std::function<void()>>> resets = {
        {"mode", [&] {
             m.setAdjustMode(3, 0, false);
             m.setAdjustMode(0, 0, false);
         }},
        {"mirror", [&] { m.setAdjustMode(0, 0x100, true); }},
        {"device", [&] { m.setDevice(1); }},
    };
    for (const auto& [name, reset] : resets) {
        SCOPED_TRACE(name);
        click(at(2, 2));
        ASSERT_EQ(m.selectionAnchor(), (Index{2, 2}));
        reset();
        EXPECT_FALSE(m.selectionAnchor().valid());
        click(at(30, 30), Qt::ShiftModifier);
        const std::set<std::pair<int, int>> got = selection();
        EXPECT_TRUE(got.count({30, 30}));
        EXPECT_FALSE(got.count({20, 20}));
        EXPECT_LE(got.size(), 2u);  // the mirror reset keeps (2, 2)
        click(at(30, 30));
        click(at(30, 30));
    }
}

TEST_F(WarpModel, ANinePointDragMovesOnlyTheDraggedPointByTheExactDelta) {
    m.setDevice(3);
    // An uneven grid, so that truncating to pixels would show.
    m.rotate(7.3);
    const int sendsBefore = m.sendCount();
    DOUBLE_POINT before[9];
    for (int k = 0; k < 9; ++k) before[k] = m.controlPoint(k);
    const Index c5 = WarpEditModel::controlIndex(5);
    const QPoint start = at(c5.i, c5.j);
    drag(start, {start + QPoint(3, 1), start + QPoint(9, -4), start + QPoint(13, -11)});
    for (int k = 0; k < 9; ++k) {
        if (k == 5) continue;
        EXPECT_TRUE(sameBits(m.controlPoint(k), before[k])) << k;
    }
    const DOUBLE_POINT d = m.toNormalized(start + QPoint(13, -11));
    const DOUBLE_POINT s = m.toNormalized(start);
    EXPECT_DOUBLE_EQ(m.controlPoint(5).x, before[5].x + (d.x - s.x));
    EXPECT_DOUBLE_EQ(m.controlPoint(5).y, before[5].y + (d.y - s.y));
    EXPECT_DOUBLE_EQ(m.vertex(40, 40).x, m.controlPoint(2).x);  // the patch passes through its corners
    EXPECT_DOUBLE_EQ(m.vertex(40, 40).y, m.controlPoint(2).y);
    EXPECT_NE(m.vertex(40, 20).x, before[5].x);
    EXPECT_EQ(m.sendCount() - sendsBefore, 4);  // three moves and the release
    // The record took the grid, the points, the mode and the angle.
    const DeviceRecord& r = *c.device(3);
    EXPECT_TRUE(sameBits(r.controlPoints[5], m.controlPoint(5)));
    EXPECT_EQ(std::memcmp(r.grid, m.grid(), sizeof(VERTEX_GRID)), 0);
    EXPECT_EQ(r.angle, 7.3);
}

TEST_F(WarpModel, WholeGridAndVertexDragsAddTheDeltaToThePressValues) {
    m.rotate(3.7);
    VERTEX_GRID pressed;
    std::memcpy(pressed, m.grid(), sizeof pressed);
    struct Case {
        int mode;
        QPoint delta;
    };
    for (const Case& k : {Case{3, {5, -3}}, Case{0, {-6, 9}}}) {
        SCOPED_TRACE(k.mode);
        std::memcpy(pressed, m.grid(), sizeof pressed);
        m.setAdjustMode(k.mode, 0, false);
        const QPoint start = at(12, 17);
        if (k.mode == 0) click(start);
        m.press(start);
        m.move(start + QPoint(1, 1));
        m.move(start + k.delta);
        m.release(start + k.delta, Qt::NoModifier);
        const DOUBLE_POINT a = m.toNormalized(start), b = m.toNormalized(start + k.delta);
        for (int i = 0; i <= 40; ++i)
            for (int j = 0; j <= 40; ++j) {
                const bool moves = k.mode == 3 || (i == 12 && j == 17);
                const double wantX = pressed[i][j].x + (moves ? b.x - a.x : 0.0);
                const double wantY = pressed[i][j].y + (moves ? b.y - a.y : 0.0);
                ASSERT_DOUBLE_EQ(m.vertex(i, j).x, wantX) << i << "," << j;
                ASSERT_DOUBLE_EQ(m.vertex(i, j).y, wantY) << i << "," << j;
            }
    }
}

TEST_F(WarpModel, ADragAfterAPressBesideThePictureChangesNothing) {
    for (int mode : {3, 0, 1, 2}) {
        SCOPED_TRACE(mode);
        m.setAdjustMode(mode, 0, false);
        if (mode == 0) click(at(0, 0));
        // An earlier press inside, then one in the margin.
        m.press(at(20, 20));
        m.release(at(20, 20), Qt::NoModifier);
        VERTEX_GRID before;
        std::memcpy(before, m.grid(), sizeof before);
        const int sends = m.sendCount();
        drag(QPoint(10, 10), {QPoint(30, 40), QPoint(60, 80)});
        EXPECT_EQ(std::memcmp(before, m.grid(), sizeof before), 0);
        EXPECT_EQ(m.sendCount(), sends);
    }
}

TEST_F(WarpModel, StillClicksSendNothingAndKeysStoreAndSend) {
    for (int mode : {1, 2, 3}) {
        m.setAdjustMode(mode, 0, false);
        click(at(0, 40));
        click(at(20, 20));
    }
    EXPECT_EQ(m.sendCount(), 0);
    EXPECT_TRUE(c.isSaved());

    // An arrow in mode 0 with nothing selected stores and sends the grid.
    m.setAdjustMode(0, 0, false);
    ASSERT_EQ(m.selectedCount(), 0);
    m.moveByKey(Qt::Key_Left);
    EXPECT_EQ(m.sendCount(), 1);
    EXPECT_FALSE(c.isSaved());
    EXPECT_EQ(c.device(1)->adjustMode, 0);

    // Four-point mode moves the current corner by a thousandth.
    m.setAdjustMode(1, 0, false);
    const DOUBLE_POINT corner = m.controlPoint(3);
    m.moveByKey(Qt::Key_Up);
    EXPECT_DOUBLE_EQ(m.controlPoint(3).y, corner.y + 0.001);
    EXPECT_EQ(m.sendCount(), 2);

    // Rotating to the current angle still stores and sends.
    m.rotate(m.angle());
    EXPECT_EQ(m.sendCount(), 3);
}

TEST_F(WarpModel, ASwitchResetsACurrentPointTheNewModeCannotShow) {
    m.setDevice(3);  // nine points
    m.moveSelectionByKey(Qt::Key_S);
    m.moveSelectionByKey(Qt::Key_D);
    ASSERT_EQ(m.currentControl(), (Index{20, 20}));
    m.setDevice(2);  // four points
    EXPECT_EQ(m.currentControl(), (Index{0, 40}));
    EXPECT_EQ(m.angle(), 12.5);
    const DOUBLE_POINT corner = m.controlPoint(3);
    m.moveByKey(Qt::Key_Right);
    EXPECT_DOUBLE_EQ(m.controlPoint(3).x, corner.x + 0.001);
    // A point the new mode shows stays current.
    m.setDevice(3);
    m.moveSelectionByKey(Qt::Key_A);
    ASSERT_EQ(m.currentControl(), (Index{40, 40}));
    m.setDevice(2);
    EXPECT_EQ(m.currentControl(), (Index{40, 40}));
}

TEST_F(WarpModel, AnUnknownDeviceStoresAndSendsNothing) {
    m.setDevice(77);
    m.setAdjustMode(3, 0, false);
    m.moveByKey(Qt::Key_Left);
    drag(at(20, 20), {at(20, 20) + QPoint(10, 10)});
    m.rotate(45.0);
    EXPECT_EQ(m.sendCount(), 0);
    EXPECT_TRUE(c.isSaved());
    EXPECT_EQ(c.devices().size(), 3);
    EXPECT_FALSE(c.devices().contains(77));
}
