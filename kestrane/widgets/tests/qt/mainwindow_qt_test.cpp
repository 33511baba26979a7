#include <gtest/gtest.h>

#include <QImage>

#include "kestrane/mainwindow.h"
#include "support/QtWidgetTestApp.h"

namespace {

constexpr auto Press = QEvent::MouseButtonPress;
constexpr auto Move = QEvent::MouseMove;
constexpr auto Release = QEvent::MouseButtonRelease;

struct ModeCase {
    QPoint pos;
    int mode;
};

TEST(MainWindowQt, PressChoosesTheResizeModeByTheFirstBandThatHolds) {
    const QSize size(800, 600);
    const ModeCase cases[] = {
        {{2, 2}, MainWindow::TopLeftCorner},
        {{798, 598}, MainWindow::BottomRightCorner},  // 2 px from right and bottom
        {{798, 2}, MainWindow::TopRightCorner},
        {{2, 598}, MainWindow::BottomLeftCorner},
        {{798, 300}, MainWindow::RightEdge},  // right edge only, halfway down
        {{0, 300}, MainWindow::LeftEdge},
        {{400, 599}, MainWindow::BottomEdge},
        {{400, 4}, MainWindow::TopEdge},
        {{400, 5}, MainWindow::NoResize},
        {{5, 300}, MainWindow::NoResize},
        {{795, 300}, MainWindow::NoResize},
        {{400, 300}, MainWindow::NoResize},
    };
    for (const ModeCase& c : cases)
        EXPECT_EQ(MainWindow::resizeModeAt(c.pos, size), c.mode) << c.pos.x() << "," << c.pos.y();
}

TEST(MainWindowQt, HoverShowsTheCursorOfTheBandUnderTheMouse) {
    const QSize size(800, 600);
    EXPECT_EQ(MainWindow::cursorShapeAt({1, 1}, size), Qt::SizeFDiagCursor);
    EXPECT_EQ(MainWindow::cursorShapeAt({799, 599}, size), Qt::SizeFDiagCursor);
    EXPECT_EQ(MainWindow::cursorShapeAt({799, 1}, size), Qt::SizeBDiagCursor);
    EXPECT_EQ(MainWindow::cursorShapeAt({1, 599}, size), Qt::SizeBDiagCursor);
    EXPECT_EQ(MainWindow::cursorShapeAt({1, 300}, size), Qt::SizeHorCursor);
    EXPECT_EQ(MainWindow::cursorShapeAt({400, 599}, size), Qt::SizeVerCursor);
    EXPECT_EQ(MainWindow::cursorShapeAt({400, 300}, size), Qt::ArrowCursor);

    testApp();
    MainWindow w;
    w.setGeometry(100, 100, 800, 600);
    w.show();
    sendMouseAt(&w, Move, {1, 300}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w.cursor().shape(), Qt::SizeHorCursor);
    sendMouseAt(&w, Move, {400, 300}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
}

class MainWindowDrag : public ::testing::Test {
protected:
    void SetUp() override {
        w.setGeometry(200, 150, 750, 500);
        w.show();
        start = w.geometry();
        ASSERT_EQ(start.size(), QSize(750, 500));
    }
    void drag(const QPoint& fromLocal, const QPoint& by) {
        const QPoint from = w.mapToGlobal(fromLocal);
        sendMouse(&w, Press, from, Qt::LeftButton, Qt::LeftButton);
        sendMouse(&w, Move, from + by, Qt::NoButton, Qt::LeftButton);
    }
    QApplication* app = testApp();  // before the window
    MainWindow w;
    QRect start;
};

TEST_F(MainWindowDrag, NarrowingAWindowAtTheMinimumWidthIsIgnored) {
    drag({1, 250}, {40, 0});
    EXPECT_EQ(w.resizeMode(), MainWindow::LeftEdge);
    EXPECT_EQ(w.geometry(), start);
}

TEST_F(MainWindowDrag, DraggingTheLeftEdgeOutWidensAndKeepsTheRightEdge) {
    drag({1, 250}, {-60, 0});
    const QRect g = w.geometry();
    EXPECT_EQ(g.left(), start.left() + 1 - 60);  // the edge goes to the mouse
    EXPECT_EQ(g.x() + g.width(), start.x() + start.width());
    EXPECT_EQ(g.top(), start.top());
    EXPECT_EQ(g.height(), start.height());
}

TEST_F(MainWindowDrag, BottomRightCornerFollowsTheMouseTravel) {
    drag({748, 498}, {30, 20});
    EXPECT_EQ(w.resizeMode(), MainWindow::BottomRightCorner);
    EXPECT_EQ(w.geometry(), QRect(start.topLeft(), QSize(780, 520)));

    // The height has no lower limit of its own; the release ends the resize.
    const QPoint at = w.mapToGlobal(QPoint(779, 519));
    sendMouse(&w, Release, at, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(w.resizeMode(), MainWindow::NoResize);
    sendMouse(&w, Move, at + QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w.geometry().size(), QSize(780, 520));
}

TEST_F(MainWindowDrag, TopEdgeMovesTheTopAndKeepsTheBottomAtAnyWidth) {
    drag({300, 1}, {0, -50});
    const QRect g = w.geometry();
    EXPECT_EQ(g.top(), start.top() + 1 - 50);
    EXPECT_EQ(g.y() + g.height(), start.y() + start.height());
    EXPECT_EQ(g.width(), 750);  // the width limit concerns width changes only
}

TEST_F(MainWindowDrag, PressInTheMiddleResizesNothing) {
    drag({300, 250}, {80, 80});
    EXPECT_EQ(w.resizeMode(), MainWindow::NoResize);
    EXPECT_EQ(w.geometry(), start);
}

TEST(MainWindowQt, AMaximisedWindowNeitherResizesNorShowsAShadow) {
    testApp();
    MainWindow w;
    w.showMaximized();
    ASSERT_TRUE(w.isMaximized());
    const QRect before = w.geometry();
    const QPoint corner = w.mapToGlobal(QPoint(w.width() - 2, w.height() - 2));
    sendMouse(&w, Press, corner, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&w, Move, corner - QPoint(100, 100), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.resizeMode(), MainWindow::NoResize);
    EXPECT_EQ(w.geometry(), before);

    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    w.render(&image);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x34, 0x34, 0x34));
    EXPECT_EQ(image.pixel(w.width() - 1, w.height() - 1), qRgb(0x34, 0x34, 0x34));
}

TEST(MainWindowQt, ANormalWindowLeavesItsOuterBandToTheShadow) {
    testApp();
    MainWindow w;
    w.resize(800, 600);
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    w.render(&image);
    EXPECT_EQ(image.pixel(400, 300), qRgb(0x34, 0x34, 0x34));
    EXPECT_LT(qAlpha(image.pixel(400, 0)), 10);  // only the faintest ring's fringe
    // Only faint black inside the band, never the body's colour.
    for (int y = 1; y < 4; ++y) {
        const QRgb p = image.pixel(400, y);
        EXPECT_LT(qAlpha(p), 60) << y;
        EXPECT_EQ(qRed(p), 0) << y;
    }
    EXPECT_TRUE(w.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(w.hasMouseTracking());
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
}

}  // namespace
