#include <QDir>
#include <QDrag>
#include <QImage>
#include <QPainter>
#include <QSlider>
#include <QTimer>

#include "axisfixture.h"
#include "kestrane/layermedia.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/tscrollbar.h"

namespace {

constexpr auto Press = QEvent::MouseButtonPress;
constexpr auto Move = QEvent::MouseMove;
constexpr auto Release = QEvent::MouseButtonRelease;

class BarTest : public AxisTest {
protected:
    void SetUp() override {
        AxisTest::SetUp();
        axis->setScale(3);  // 20 ms a pixel
        place(1, 0, 1999);     // x 7, 100 px
        place(2, 4000, 2000);  // x 207, 100 px
    }

    void place(int id, int start, int duration) {
        MediaSource m;
        m.id = id;
        m.start = start;
        m.duration = duration;
        m.layer = rowOf(QStringLiteral("L1"));
        m.fileName = QStringLiteral("clip%1").arg(id);
        GConfig::instance().media().insert(id, m);
        strip(QStringLiteral("L1"))->addMedia(id);
    }

    LayerMedia* bar(int id) const {
        for (LayerMedia* b : strip(QStringLiteral("L1"))->mediaItems())
            if (b->mediaId() == id)
                return b;
        return nullptr;
    }

    // Presses at x in the bar, moves by (dx, dy) and releases there.
    void drag(LayerMedia* b, int x, int dx, int dy = 0, bool release = true) {
        const QPoint start = b->mapToGlobal(QPoint(x, 20));
        sendMouse(b, Press, start, Qt::LeftButton, Qt::LeftButton);
        sendMouse(b, Move, start + QPoint(dx, dy), Qt::NoButton, Qt::LeftButton);
        if (release)
            sendMouse(b, Release, start + QPoint(dx, dy), Qt::LeftButton, Qt::NoButton);
    }

    MediaSource record(int id) const { return GConfig::instance().mediaRecord(id); }
};

TEST_F(BarTest, EdgesTrimAndTheMiddleMoves) {
    LayerMedia* b = bar(2);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->geometry(), QRect(207, 0, 100, strip(QStringLiteral("L1"))->height()));
    const struct {
        int x, mode;
    } presses[] = {{0, 0}, {3, 0}, {4, 3}, {96, 3}, {97, 1}, {99, 1}};
    for (const auto& p : presses) {
        sendMouseAt(b, Press, {p.x, 20}, Qt::LeftButton, Qt::LeftButton);
        EXPECT_EQ(b->dragMode(), p.mode) << p.x;
        sendMouseAt(b, Release, {p.x, 20}, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(b->dragMode(), 2);
    }
    EXPECT_TRUE(record(2).selected);
    EXPECT_FALSE(record(1).selected);
    EXPECT_TRUE(b->showsSelected());
}

TEST_F(BarTest, TrimStopsAtTenPixelsAndMovesStopAfterTheBarBefore) {
    LayerMedia* b = bar(2);
    drag(b, 98, -90);
    EXPECT_EQ(b->width(), 10);
    EXPECT_EQ(record(2).duration, 200);
    drag(b, 8, -5);  // would leave 5 px: refused
    EXPECT_EQ(b->width(), 10);
    EXPECT_EQ(record(2).duration, 200);

    // Moving left stops 1 ms after the end of the bar before it.
    drag(b, 5, -150);
    EXPECT_EQ(record(2).start, 2000);
    EXPECT_EQ(record(1).start + record(1).duration + 1, record(2).start);
    EXPECT_EQ(b->x(), 107);
    // The bar before cannot trim or move into it.
    LayerMedia* a = bar(1);
    drag(a, 98, 50);
    EXPECT_LE(record(1).start + record(1).duration, record(2).start);
    drag(a, 50, -200);
    EXPECT_EQ(record(1).start, 0);
}

TEST_F(BarTest, FortyPixelsDownLeavesTheRowThirtyNineDoNot) {
    LayerMedia* b = bar(2);
    drag(b, 50, 0, 39, false);
    EXPECT_EQ(b->dragMode(), 3);
    EXPECT_TRUE(record(2).pressed);
    sendMouseAt(b, Release, {50, 59}, Qt::LeftButton, Qt::NoButton);
    // A drag to another row starts; the window system would run it, here
    // it is called off at once.
    QTimer::singleShot(0, [] { QDrag::cancel(); });
    drag(b, 50, 0, 40, false);
    EXPECT_EQ(b->dragMode(), 2);
    EXPECT_FALSE(record(2).pressed);
    EXPECT_EQ(record(2).layer, rowOf(QStringLiteral("L1")));
}

TEST_F(BarTest, LockedRowsKeepTheirBarsAndDeleteTakesTheSelection) {
    header(QStringLiteral("L1"))->setLocked(true);
    LayerMedia* b = bar(2);
    drag(b, 50, -60);
    EXPECT_EQ(record(2).start, 4000);
    EXPECT_FALSE(record(2).selected);
    header(QStringLiteral("L1"))->setLocked(false);

    sendMouseAt(bar(1), Press, {50, 20}, Qt::LeftButton, Qt::LeftButton);
    QMouseEvent ctrl(QEvent::MouseButtonPress, QPointF(50, 20), Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
    QCoreApplication::sendEvent(b, &ctrl);
    EXPECT_TRUE(record(1).selected && record(2).selected);
    QKeyEvent del(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(b, &del);
    EXPECT_TRUE(GConfig::instance().media().isEmpty());
    EXPECT_TRUE(waitFor([this] { return strip(QStringLiteral("L1"))->mediaItems().isEmpty(); }));
}

TEST_F(AxisTest, ZoomKeepsTheLeftEdgeAndScrollingIsHeldOffAfterTheUser) {
    qint64 now = 1000000;
    TScrollBar* bar = axis->scrollBar();
    bar->setClock([&now] { return now; });
    axis->setScale(5);  // 100 ms a pixel: 3,600 px for the 6-minute axis
    EXPECT_EQ(axis->axisWidth(), 3600);
    EXPECT_EQ(bar->maximum(), 2000);

    EXPECT_TRUE(axis->scrollMove(500));
    EXPECT_EQ(axis->scrollOffset(), 500);
    EXPECT_EQ(bar->value(), axis->offsetToScrollValue(500));
    axis->setScale(3);  // the time at the left edge, 50 s, stays there
    EXPECT_EQ(axis->scrollOffset(), 2500);
    axis->setScale(5);
    EXPECT_EQ(axis->scrollOffset(), 500);

    sendMouseAt(bar, Press, {bar->width() / 2, bar->height() / 2}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(axis->scrollMove(900));
    sendMouseAt(bar, Release, {bar->width() / 2, bar->height() / 2}, Qt::LeftButton, Qt::NoButton);
    const int offset = axis->scrollOffset();
    now += 5000;
    EXPECT_FALSE(axis->scrollMove(900));
    axis->followPlayHead(300000);
    EXPECT_EQ(axis->scrollOffset(), offset);
    EXPECT_TRUE(axis->scrollMove(900, true));
    EXPECT_EQ(axis->scrollOffset(), 900);
    now += 1;
    QMetaObject::invokeMethod(bar, "moveTimeLine");
    EXPECT_FALSE(bar->movedByMouse());

    // Past the right edge the play head comes to a third of the view.
    const int w = axis->visibleWidth();
    axis->followPlayHead(250000);
    EXPECT_EQ(axis->scrollOffset(), 2507 - w / 3);
    axis->followPlayHead(1000);
    EXPECT_EQ(axis->scrollOffset(), 0);
    EXPECT_TRUE(axis->scrollMove(100000));
    EXPECT_EQ(axis->scrollOffset(), 3600 - w);

    // A wheel notch with Alt at level 6 moves four single steps.
    axis->setScale(6);
    const int value = bar->value();
    axis->wheelScroll(-120);
    EXPECT_EQ(bar->value(), std::min(value + 4 * bar->singleStep(), bar->maximum()));

    // Zoomed out past the axis nothing scrolls.
    axis->setScale(9);
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_EQ(axis->scrollOffset(), 0);

    // A click on the zoom slider at the far ends.
    axis->scaleChanged2(3);
    EXPECT_EQ(axis->scale(), 0);
    axis->scaleChanged2(axis->zoomSlider()->width());
    EXPECT_EQ(axis->scale(), 9);
    axis->reduceScale();
    axis->reduceScale();
    EXPECT_EQ(axis->scale(), 7);
}

}  // namespace
