// The play head and the range bar: dragging, clicking, clamping, paging
// along while playing, and hiding under the header column.
#include <QScrollBar>

#include "kestrane/rulerwidget.h"
#include "kestrane/tscrollbar.h"
#include "playfixture.h"

TEST_F(PlayTest, GripDragClampsAndTellsTheServersOnce) {
    connectServers();
    TimeLine* line = axis->timeLine();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(GConfig::instance().timeLine, line);
    axis->setCurrentTime(5000);
    ASSERT_TRUE(line->grip()->isVisible());
    QWidget* grip = line->grip();
    const int length = GConfig::instance().timeAxisLength();
    struct Case {
        int dx;
        int want;
    };
    const Case cases[] = {{-100000, 0}, {100000, length}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dx);
        send(grip, QEvent::MouseButtonPress, {3, 4});
        send(grip, QEvent::MouseMove, {3 + c.dx, 4});
        EXPECT_EQ(line->time(), c.want);
        // Nothing reaches the servers while dragging.
        QCoreApplication::processEvents();
        EXPECT_EQ(servers[0]->RequestCount(), seen);
        send(grip, QEvent::MouseButtonRelease, {3 + c.dx, 4});
        EXPECT_EQ(axis->position(), c.want);
        ASSERT_TRUE(waitForRequests(2));
        EXPECT_EQ(newCodes(), (std::vector<uint32_t>{532, 532}));
    }
}

TEST_F(PlayTest, RangeBarClickLeftOfZeroGivesZero) {
    axis->setCurrentTime(5000);
    SliderWidget* track = axis->timeSlider()->track();
    send(track, QEvent::MouseButtonPress, {2, 5});
    ASSERT_TRUE(waitFor([&] { return axis->position() == 0; }));
    // A click further right lands on its time.
    send(track, QEvent::MouseButtonPress, {7 + RulerWidget::toPixel(30000), 5});
    EXPECT_TRUE(waitFor([&] { return axis->position() == RulerWidget::toMs(RulerWidget::toPixel(30000)); }));
}

TEST_F(PlayTest, RangeHandlesNeverCross) {
    SliderWidget* track = axis->timeSlider()->track();
    SliderHandle* start = track->startHandle();
    SliderHandle* end = track->endHandle();
    GConfig& config = GConfig::instance();
    // The start handle dragged past the end stops at it, and left of 0 at 0.
    send(start, QEvent::MouseButtonPress, {3, 5});
    send(start, QEvent::MouseMove, {3 + 100000, 5});
    EXPECT_EQ(start->x() + start->width(), end->x());
    EXPECT_LE(config.timelineStart(), config.timelineLength());
    send(start, QEvent::MouseMove, {3 - 200000, 5});
    EXPECT_EQ(start->x(), 0);
    EXPECT_EQ(config.timelineStart(), 0);
    // The end handle stops at the start handle and at the track's end.
    send(end, QEvent::MouseButtonPress, {3, 5});
    send(end, QEvent::MouseMove, {3 - 200000, 5});
    EXPECT_EQ(end->x(), start->x() + start->width());
    EXPECT_EQ(config.timelineLength(), 0);
    send(end, QEvent::MouseButtonPress, {3, 5});
    send(end, QEvent::MouseMove, {3 + 200000, 5});
    EXPECT_EQ(end->x() + end->width(), track->width());
}

TEST_F(PlayTest, LineHidesUnderTheHeaderColumnAndPagesAlongWhilePlaying) {
    TimeLine* line = axis->timeLine();
    axis->setAxisLength(600000, false);
    ASSERT_GT(axis->axisWidth() - axis->visibleWidth(), RulerWidget::toPixel(20000));
    axis->setCurrentTime(1000);
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->x(), RulerWidget::toPixel(1000) + 7);
    axis->scrollMove(RulerWidget::toPixel(20000), true);
    EXPECT_FALSE(line->isVisible());
    EXPECT_FALSE(line->grip()->isVisible());

    // Playing at the last offset with the line in the rightmost tenth: the
    // placement returns and the line stays where it is.
    GConfig& config = GConfig::instance();
    const int extent = axis->axisWidth() - axis->visibleWidth();
    axis->scrollMove(extent, true);
    config.setPreviewPlaying(true);
    const int lastMs = RulerWidget::toMs(extent + axis->width() - TimeLine::kColumnOffset - 20);
    axis->setCurrentTime(lastMs);
    EXPECT_EQ(axis->scrollOffset(), extent);
    EXPECT_TRUE(line->isVisible());

    // Paused it may leave the view; playing it pages to 90 %.
    axis->scrollMove(0, true);
    config.setPreviewPlaying(false);
    const int farMs = RulerWidget::toMs(axis->width() - TimeLine::kColumnOffset - 10);
    axis->setCurrentTime(farMs);
    EXPECT_EQ(axis->scrollOffset(), 0);
    config.setPreviewPlaying(true);
    line->updateUi();
    EXPECT_GT(axis->scrollOffset(), 0);
    const int X = line->geometry().x();
    EXPECT_LE((axis->width() - X) * 10, axis->width() + 10);
    config.setPreviewPlaying(false);
}
