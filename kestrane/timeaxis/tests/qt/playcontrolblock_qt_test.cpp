// The block of a play control on its row: placement, moves between its
// neighbours, the drag to another row, locking, the dialog and deletion.
#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>

#include "kestrane/layerplaycontrol.h"
#include "kestrane/rulerwidget.h"
#include "playfixture.h"

namespace {

class BlockTest : public PlayTest {
protected:
    void TearDown() override {
        LayerPlayControl::setDragStarter(nullptr);
        PlayTest::TearDown();
    }
    LayerPlayControl* place(int id, int type, int time, const QString& layer = QStringLiteral("L1")) {
        PlayControlRecord* rec = addControl(id, type, time);
        rec->layerRow = rowOf(layer);
        strip(layer)->addPlayControl(id);
        for (LayerPlayControl* b : strip(layer)->playControlItems())
            if (b->controlId() == id)
                return b;
        return nullptr;
    }
    static int timeOf(int id) { return GConfig::instance().findPlayControl(id)->time; }
};

}  // namespace

TEST_F(BlockTest, ANewControlTakesThePlayPosition) {
    axis->setCurrentTime(12300);
    LayerPlayControl* block = place(1, 1, -1);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(timeOf(1), 12300);
    EXPECT_EQ(block->geometry(), QRect(RulerWidget::toPixel(12300) + 7, 15, 11, 10));
}

TEST_F(BlockTest, MovesStopAtItsNeighboursAndMarkTheProjectModified) {
    const int prev = RulerWidget::toMs(100);
    const int own = RulerWidget::toMs(400);
    const int next = RulerWidget::toMs(800);
    place(1, 0, prev);
    LayerPlayControl* block = place(2, 1, own);
    place(3, 2, next);
    place(4, 0, RulerWidget::toMs(300), QStringLiteral("L2"));  // another row sets no limit
    struct Case {
        const char* what;
        int dx;
        int x;  // where the block's left edge ends
    };
    const Case cases[] = {
        {"past the previous control", -block->x() + 5, RulerWidget::toPixel(prev + RulerWidget::toMs(11) + 1) + 7},
        {"past the next control", 700, RulerWidget::toPixel(next - 1) + 7 - 11},
        {"in between", -100, RulerWidget::toPixel(next - 1) + 7 - 11 - 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GConfig::instance().setSaved(true);
        send(block, QEvent::MouseButtonPress, {5, 5});
        send(block, QEvent::MouseMove, {5 + c.dx, 5});
        EXPECT_EQ(block->x(), c.x);
        send(block, QEvent::MouseButtonRelease, {5 + c.dx, 5});
        EXPECT_EQ(timeOf(2), RulerWidget::toMs(c.x - 7));
        EXPECT_FALSE(GConfig::instance().isSaved());
    }
    // Alone on its row it stops at time 0.
    GConfig::instance().erasePlayControl(1);
    send(block, QEvent::MouseButtonPress, {5, 5});
    send(block, QEvent::MouseMove, {5 - block->x() + 3, 5});
    EXPECT_EQ(block->x(), 7);
}

TEST_F(BlockTest, FortyPixelsDownStartADrag) {
    std::vector<int> dragged;
    LayerPlayControl::setDragStarter(
        [&](LayerPlayControl*, QMimeData* data) { dragged.push_back(data->property("mPlayControlId").toInt()); });
    LayerPlayControl* block = place(5, 1, RulerWidget::toMs(400));
    const int x = block->x();
    send(block, QEvent::MouseButtonPress, {5, 5});
    send(block, QEvent::MouseMove, {8, 5 + 39});
    EXPECT_EQ(block->x(), x + 3);
    EXPECT_TRUE(dragged.empty());
    send(block, QEvent::MouseMove, {8, 5 + 40});
    EXPECT_EQ(dragged, std::vector<int>{5});
    // The drag ended the press: later moves do nothing.
    send(block, QEvent::MouseMove, {30, 5});
    EXPECT_EQ(block->x(), x + 3);
}

TEST_F(BlockTest, ALockedRowNeitherMovesNorDeletes) {
    LayerPlayControl* block = place(1, 0, RulerWidget::toMs(400));
    const int x = block->x();
    header(QStringLiteral("L1"))->setLocked(true);
    send(block, QEvent::MouseButtonPress, {5, 5});
    send(block, QEvent::MouseMove, {50, 5});
    send(block, QEvent::MouseButtonRelease, {50, 5});
    EXPECT_EQ(block->x(), x);
    QKeyEvent del(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(block, &del);
    QCoreApplication::processEvents();
    EXPECT_NE(GConfig::instance().findPlayControl(1), nullptr);

    header(QStringLiteral("L1"))->setLocked(false);
    GConfig::instance().setSaved(true);
    QCoreApplication::sendEvent(block, &del);
    EXPECT_TRUE(waitFor([] { return GConfig::instance().findPlayControl(1) == nullptr; }));
    EXPECT_TRUE(strip(QStringLiteral("L1"))->playControlItems().isEmpty());
    EXPECT_FALSE(GConfig::instance().isSaved());
}

TEST_F(BlockTest, ACancelledDialogStillRePlacesTheBlock) {
    LayerPlayControl* block = place(1, 2, RulerWidget::toMs(400));
    GConfig::instance().findPlayControl(1)->time = 30000;
    bool seen = false;
    // Cancels the dialog once it runs.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            seen = dialog->windowTitle() == QStringLiteral("跳转命令");
            dialog->reject();
            cancel.stop();
        }
    });
    cancel.start(10);
    send(block, QEvent::MouseButtonDblClick, {5, 5});
    EXPECT_TRUE(seen);
    EXPECT_EQ(block->x(), RulerWidget::toPixel(30000) + 7);
    EXPECT_EQ(timeOf(1), 30000);
}
