// The warp view on its own, offscreen (where it draws nothing): what its
// gestures and keys send to the device's display server.
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWindow>

#include <cstring>

#include "geometryfixture.h"
#include "kestrane/nativewidget.h"

using namespace geometrytest;

namespace {

class WarpView : public GeometryTest {
protected:
    void SetUp() override {
        GeometryTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        picture = dir.filePath(QStringLiteral("white.png"));
        QImage white(64, 48, QImage::Format_RGB32);
        white.fill(Qt::white);
        ASSERT_TRUE(white.save(picture));
        view = new NativeWidget;
        view->setPicturePath(picture);
        view->setDeviceId(1);
        view->resize(400, 300);
        view->show();
        ASSERT_TRUE(spinUntil([&] { return view->isInitialised(); }));
        // The square fills (25, 25) to (375, 275).
        ASSERT_EQ(view->model().viewRect().right, 375);
    }
    void TearDown() override {
        delete view;
        GeometryTest::TearDown();
    }
    QPoint at(int i, int j) const { return view->model().toScreen(view->model().vertex(i, j)); }
    void mouse(QEvent::Type type, const QPoint& p, Qt::MouseButtons buttons) {
        sendMouseAt(view, type, p, Qt::LeftButton, buttons);
    }
    void drag(const QPoint& from, const QPoint& by, int moves) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        for (int n = 1; n <= moves; ++n) mouse(QEvent::MouseMove, from + by * n / moves, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, from + by, Qt::NoButton);
    }
    void click(const QPoint& p) {
        mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::NoButton);
    }

    QTemporaryDir dir;
    QString picture;
    NativeWidget* view = nullptr;
};

}  // namespace

TEST_F(WarpView, EveryMoveOfADragSendsTheGridAndTheReleaseOnceMore) {
    struct Case {
        int mode;
        int i, j;  // where the drag starts
    };
    size_t before = 0;
    // Each start lies inside the picture after the drags before it.
    for (const Case& k : {Case{1, 0, 40}, Case{2, 40, 20}, Case{0, 7, 9}, Case{3, 20, 20}}) {
        SCOPED_TRACE(k.mode);
        view->setAdjustMode(k.mode, 0, false);
        if (k.mode == 0) click(at(k.i, k.j));  // selects the vertex
        EXPECT_EQ(a.RequestCount(), before);
        drag(at(k.i, k.j), QPoint(12, -9), 3);
        before += 4;
        ASSERT_TRUE(a.WaitForRequests(before));
        EXPECT_EQ(countOf(a, NETCMD::SetVertexData), before);
        EXPECT_TRUE(c.device(1)->adjustMode == k.mode);
    }
    EXPECT_EQ(b.RequestCount(), 0u);
    // What went last is the record's grid, on the device's output.
    const Request last = a.Requests().back();
    EXPECT_EQ(intAt(last, 4), 1);
    ASSERT_EQ(last.body.size(), sizeof(VERTEX_GRID));
    EXPECT_EQ(std::memcmp(last.body.data(), c.device(1)->grid, sizeof(VERTEX_GRID)), 0);
    EXPECT_FALSE(c.isSaved());
}

TEST_F(WarpView, StillClicksSendNothingButAnArrowWithoutSelectionDoes) {
    for (int mode : {1, 2, 3}) {
        view->setAdjustMode(mode, 0, false);
        click(at(0, 40));
        click(at(20, 20));
        click(QPoint(5, 5));  // beside the picture
    }
    view->setAdjustMode(0, 0, false);
    drag(QPoint(5, 5), QPoint(40, 40), 2);  // a drag from the margin
    EXPECT_EQ(a.RequestCount(), 0u);
    EXPECT_TRUE(c.isSaved());

    ASSERT_EQ(view->model().selectedCount(), 0);
    view->handleKey(Qt::Key_Left);
    ASSERT_TRUE(a.WaitForRequests(1));
    EXPECT_EQ(sent(a), (Sent{{NETCMD::SetVertexData, 1}}));
    view->handleKey(Qt::Key_W);  // selection keys send nothing
    view->handleKey(Qt::Key_F1);
    EXPECT_EQ(a.RequestCount(), 1u);
    EXPECT_FALSE(c.isSaved());
}

TEST_F(WarpView, ThePreviewWindowHandsItsMouseEventsToTheView) {
    QWindow* window = view->previewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->surfaceType(), QSurface::OpenGLSurface);
    view->setAdjustMode(3, 0, false);
    const QPoint from = at(20, 20), to = from + QPoint(10, 0);
    const QPoint global = view->mapToGlobal(QPoint(0, 0));
    auto send = [&](QEvent::Type type, const QPoint& p, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(p), QPointF(p), QPointF(p + global), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    ASSERT_TRUE(a.WaitForRequests(2));
    EXPECT_EQ(countOf(a, NETCMD::SetVertexData), 2u);
    EXPECT_GT(c.device(1)->grid[20][20].x, 0.0);
}

TEST_F(WarpView, APictureThatCannotBeReadKeepsTheViewAsItWas) {
    const QString broken = dir.filePath(QStringLiteral("broken.png"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    view->resize(600, 500);
    view->loadImage(broken);
    EXPECT_EQ(view->picturePath(), picture);
    // The rectangle follows the view's size, picture or not.
    EXPECT_EQ(view->model().viewRect().right, 575);
    EXPECT_EQ(view->model().viewRect().bottom, 475);
    view->loadImage(picture);
    EXPECT_EQ(view->picturePath(), picture);
    EXPECT_EQ(view->model().viewRect().right, 575);
    EXPECT_EQ(view->model().viewRect().bottom, 475);
}
