// The block of a timeline output command on its row: focus, the free
// stretch of its row, moves and edge trims, the drag to another row, the
// menu, the editor, Delete, auto-scroll, painting, and the outputs a moved
// block fires when the play head passes it.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>

#include <climits>

#include "kestrane/layerio.h"
#include "kestrane/rulerwidget.h"
#include "playfixture.h"

namespace {

class IOBlockTest : public PlayTest {
protected:
    void SetUp() override {
        PlayTest::SetUp();
        // 2 ms to the pixel: times that are even survive a move unchanged.
        axis->setScale(0);
        // Focus follows the blocks only in the active window.
        QApplication::setActiveWindow(axis.get());
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        LayerIO::setDragStarter(nullptr);
        LayerIO::setEditor(nullptr);
        PlayTest::TearDown();
    }
    LayerIO* place(int id, int kind, int time, int length, const QString& layer = QStringLiteral("L1"),
                   const QString& name = {}, const QString& data = {}) {
        LayerIORecord rec;
        rec.id = id;
        rec.kind = kind;
        rec.time = time;
        rec.length = length;
        rec.layerRow = rowOf(layer);
        rec.name = name;
        rec.data = data;
        GConfig::instance().addLayerIO(rec);
        strip(layer)->addLayerIO(id);
        return block(id, layer);
    }
    LayerIO* block(int id, const QString& layer = QStringLiteral("L1")) {
        for (LayerIO* b : strip(layer)->layerIOItems())
            if (b->id() == id)
                return b;
        return nullptr;
    }
    static LayerIORecord* record(int id) { return GConfig::instance().findLayerIO(id); }
    static QPair<int, int> interval(const LayerIO* b) {
        int left = -1;
        int right = -1;
        b->freeInterval(left, right);
        return {left, right};
    }
    static bool hasFocusStyle(const LayerIO* b) { return b->styleSheet().contains(QLatin1String("2px solid #ffffff")); }

    // Answers the next context menu: the enabled state of its entries, then
    // the entry called `choose` (none when empty).
    void answerMenu(const QString& choose, QStringList* seen) {
        QTimer* poll = new QTimer(this->axis.get());
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [poll, choose, seen] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            poll->stop();
            poll->deleteLater();
            QAction* chosen = nullptr;
            for (QAction* a : menu->actions()) {
                *seen << a->text() + (a->isEnabled() ? QString() : QStringLiteral("(off)"));
                if (a->text() == choose && a->isEnabled())
                    chosen = a;
            }
            if (!chosen) {
                menu->close();
                return;
            }
            // As the operator would: the entry under the pointer, then Return.
            menu->setActiveAction(chosen);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(menu, &enter);
        });
        poll->start();
    }
};

}  // namespace

TEST_F(IOBlockTest, FreeIntervalLiesBetweenTheNeighboursOfItsRow) {
    place(1, 0, 1000, 2000);                          // ends at 3000
    place(2, 0, 9000, 500);
    place(3, 2, 6000, 0);                             // a string output still bounds kinds 0 and 1
    place(4, 0, 4000, 100, QStringLiteral("L2"));     // another row sets no limit
    LayerIO* own = place(5, 1, 5000, 400);
    LayerIO* same = place(6, 0, 5000, 10);            // the same time is no neighbour
    LayerIO* first = block(1);
    LayerIO* string = block(3);
    const struct {
        const char* what;
        LayerIO* block;
        QPair<int, int> expected;
    } cases[] = {
        {"between two", own, {3001, 5999}},
        {"same time ignored", same, {3001, 5999}},
        {"first on its row", first, {0, 4999}},
        {"last on its row", block(2), {6001, INT_MAX}},
        {"alone on its row", block(4, QStringLiteral("L2")), {0, INT_MAX}},
        {"string output ignores all", string, {0, INT_MAX}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(interval(c.block), c.expected);
    }
}

TEST_F(IOBlockTest, ANewBlockIsFocusedAndOnTopAndTheOlderOneLosesItsBorder) {
    LayerIO* older = place(1, 0, 1000, 400);
    LayerIO* newer = place(2, 0, 1100, 400);  // overlaps the older one
    ASSERT_TRUE(waitFor([&] { return newer->hasFocus(); }));
    EXPECT_TRUE(hasFocusStyle(newer));
    EXPECT_FALSE(hasFocusStyle(older));
    EXPECT_TRUE(older->styleSheet().contains(QLatin1String("1px solid #999999")));
    const QPoint overlap = newer->geometry().topLeft() + QPoint(20, 10);
    EXPECT_EQ(strip(QStringLiteral("L1"))->childAt(overlap), newer);
    EXPECT_EQ(newer->geometry(), QRect(RulerWidget::toPixel(1100) + 7, 0, RulerWidget::toPixel(400),
                                       strip(QStringLiteral("L1"))->height()));
    // Clicking the older one swaps the borders.
    send(older, QEvent::MouseButtonPress, {5, 5});
    send(older, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_TRUE(hasFocusStyle(older));
    EXPECT_FALSE(hasFocusStyle(newer));
}

TEST_F(IOBlockTest, ACommonOutputStopsOneMillisecondFromItsNeighbours) {
    place(1, 0, 1000, 2000);
    place(3, 0, 9000, 500);
    LayerIO* own = place(2, 0, 5000, 400);
    const int leftX = RulerWidget::toPixel(3001) + 7;
    const int rightX = RulerWidget::toPixel(8999) + 7;
    const struct {
        const char* what;
        int dx;
        int x;
    } cases[] = {
        {"far left", -2000, leftX},
        {"far right", 4000, rightX - own->width()},
        {"back a little", -50, rightX - own->width() - 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GConfig::instance().setSaved(true);
        send(own, QEvent::MouseButtonPress, {20, 10});
        send(own, QEvent::MouseMove, {20 + c.dx, 10});
        EXPECT_EQ(own->x(), c.x);
        // The record waits for the release.
        send(own, QEvent::MouseButtonRelease, {20 + c.dx, 10});
        EXPECT_EQ(record(2)->time, RulerWidget::toMs(c.x - 7));
        EXPECT_EQ(record(2)->length, 400);
        EXPECT_EQ(own->mode(), 2);
        EXPECT_FALSE(GConfig::instance().isSaved());
    }
    // The right edge stops at the next block too.
    send(own, QEvent::MouseButtonPress, {own->width() - 1, 10});
    EXPECT_EQ(own->mode(), 1);
    send(own, QEvent::MouseMove, {own->width() + 3000, 10});
    EXPECT_EQ(own->x() + own->width(), rightX);
    send(own, QEvent::MouseButtonRelease, {own->width(), 10});
    EXPECT_EQ(record(2)->length, RulerWidget::toMs(own->width()));
}

TEST_F(IOBlockTest, StringOutputsCrossEachOtherAndKeepTheirWidth) {
    LayerIO* other = place(1, 2, 2000, 0);
    LayerIO* own = place(2, 2, 1000, 30000);
    EXPECT_EQ(own->width(), LayerIO::kStringOutputWidth);
    const int start = own->x();
    send(own, QEvent::MouseButtonPress, {50, 10});
    send(own, QEvent::MouseMove, {50 + (other->x() - start) + 100, 10});
    send(own, QEvent::MouseButtonRelease, {50, 10});
    EXPECT_EQ(own->x(), other->x() + 100);
    EXPECT_EQ(own->width(), LayerIO::kStringOutputWidth);
    EXPECT_EQ(record(2)->time, RulerWidget::toMs(own->x() - 7));
    // Its edges do not resize it, and the hover cursor stays an arrow.
    send(own, QEvent::MouseButtonPress, {1, 10});
    send(own, QEvent::MouseMove, {40, 10});
    send(own, QEvent::MouseButtonRelease, {40, 10});
    EXPECT_EQ(own->width(), LayerIO::kStringOutputWidth);
    send(own, QEvent::MouseMove, {1, 10});
    EXPECT_EQ(own->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(IOBlockTest, PressPointChoosesTrimOrMoveAndNarrowTrimsAreRefused) {
    // 12 px wide at 2 ms to the pixel.
    LayerIO* dmx = place(1, 1, 4000, 24);
    ASSERT_EQ(dmx->width(), 12);
    const int x0 = dmx->x();
    send(dmx, QEvent::MouseButtonPress, {3, 10});
    EXPECT_EQ(dmx->mode(), 0);
    send(dmx, QEvent::MouseMove, {6, 10});  // would leave 9 px
    EXPECT_EQ(dmx->geometry(), QRect(x0, 0, 12, dmx->height()));
    send(dmx, QEvent::MouseMove, {5, 10});  // leaves 10 px
    EXPECT_EQ(dmx->geometry(), QRect(x0 + 2, 0, 10, dmx->height()));
    send(dmx, QEvent::MouseButtonRelease, {5, 10});
    EXPECT_EQ(record(1)->time, 4004);
    EXPECT_EQ(record(1)->length, 20);

    LayerIO* common = place(2, 0, 8000, 40);  // 20 px
    const struct {
        int x;
        int mode;
        Qt::CursorShape hover;
    } cases[] = {{3, 0, Qt::SizeHorCursor}, {4, 3, Qt::ArrowCursor}, {16, 3, Qt::ArrowCursor},
                 {17, 1, Qt::SizeHorCursor}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        send(common, QEvent::MouseMove, {c.x, 10});
        EXPECT_EQ(common->cursor().shape(), c.hover);
        send(common, QEvent::MouseButtonPress, {c.x, 10});
        EXPECT_EQ(common->mode(), c.mode);
        send(common, QEvent::MouseButtonRelease, {c.x, 10});
    }
}

TEST_F(IOBlockTest, DeleteWithoutModifiersRemovesAndShiftDeleteDoesNothing) {
    LayerIO* b = place(1, 0, 1000, 400);
    QKeyEvent shifted(QEvent::KeyRelease, Qt::Key_Delete, Qt::ShiftModifier);
    QCoreApplication::sendEvent(b, &shifted);
    QCoreApplication::processEvents();
    EXPECT_NE(record(1), nullptr);
    // A locked row keeps it too.
    header(QStringLiteral("L1"))->setLocked(true);
    QKeyEvent plain(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(b, &plain);
    QCoreApplication::processEvents();
    EXPECT_NE(record(1), nullptr);
    header(QStringLiteral("L1"))->setLocked(false);
    ASSERT_FALSE(GConfig::instance().isLayerLocked(rowOf(QStringLiteral("L1"))));
    GConfig::instance().setSaved(true);
    QCoreApplication::sendEvent(b, &plain);
    EXPECT_FALSE(GConfig::instance().isSaved());
    EXPECT_TRUE(waitFor([&] { return !record(1) && strip(QStringLiteral("L1"))->layerIOItems().isEmpty(); }));
}

TEST_F(IOBlockTest, FortyPixelsUpOrDownDragAndALateReleaseKeepsTheDroppedTime) {
    LayerIO* b = place(1, 0, 4000, 400);
    std::vector<int> dragged;
    LayerIO::setDragStarter([&](LayerIO*, QMimeData* data) {
        const int id = data->property("mOutControlId").toInt();
        dragged.push_back(id);
        // What the row under the pointer does with the drop.
        GConfig& config = GConfig::instance();
        config.removeLayerIO(id, false);
        config.findLayerIO(id)->time = 20000;
        config.findLayerIO(id)->layerRow = rowOf(QStringLiteral("L2"));
        strip(QStringLiteral("L2"))->addLayerIO(id);
    });
    send(b, QEvent::MouseButtonPress, {20, 10});
    send(b, QEvent::MouseMove, {60, 10 + 39});
    EXPECT_TRUE(dragged.empty());
    send(b, QEvent::MouseMove, {60, 10 - 39});
    EXPECT_TRUE(dragged.empty());
    const int xBefore = b->x();
    send(b, QEvent::MouseMove, {80, 10 + 40});
    EXPECT_EQ(dragged, std::vector<int>{1});
    EXPECT_EQ(b->mode(), 2);
    // The move that started the drag moved nothing, and the release that
    // reaches the old block afterwards writes nothing.
    EXPECT_EQ(b->x(), xBefore);
    send(b, QEvent::MouseButtonRelease, {80, 50});
    EXPECT_EQ(record(1)->time, 20000);
    EXPECT_EQ(record(1)->layerRow, rowOf(QStringLiteral("L2")));
    EXPECT_NE(block(1, QStringLiteral("L2")), nullptr);
    EXPECT_TRUE(waitFor([&] { return strip(QStringLiteral("L1"))->layerIOItems().isEmpty(); }));
}

TEST_F(IOBlockTest, ACommandAtTimeZeroNeverScrollsTheAxis) {
    axis->setAxisLength(600000, true);
    QCoreApplication::processEvents();
    LayerIO* atZero = place(1, 0, 0, 400);
    LayerIO* later = place(2, 0, 2000, 400, QStringLiteral("L2"));
    const int pastRight = axis->visibleWidth() + 200;
    const int offset = axis->scrollOffset();
    send(atZero, QEvent::MouseButtonPress, {20, 10});
    send(atZero, QEvent::MouseMove, {pastRight - atZero->x(), 10});
    send(atZero, QEvent::MouseButtonRelease, {pastRight - atZero->x(), 10});
    EXPECT_EQ(axis->scrollOffset(), offset);
    send(later, QEvent::MouseButtonPress, {20, 10});
    send(later, QEvent::MouseMove, {pastRight - later->x(), 10});
    send(later, QEvent::MouseButtonRelease, {pastRight - later->x(), 10});
    EXPECT_GT(axis->scrollOffset(), offset);
}

TEST_F(IOBlockTest, TheMenuOffersSettingsAndDeleteDisabledOnALockedRow) {
    std::vector<int> edited;
    LayerIO::setEditor([&](int id, QWidget*) {
        edited.push_back(id);
        record(id)->time = 30000;
        return true;
    });
    LayerIO* b = place(1, 2, 1000, 0, QStringLiteral("L1"), QStringLiteral("投影"), QStringLiteral("<PWR ON>"));
    QStringList seen;
    header(QStringLiteral("L1"))->setLocked(true);
    answerMenu(QStringLiteral("删除"), &seen);
    send(b, QEvent::MouseButtonRelease, {20, 10}, Qt::RightButton);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("设置(off)"), QStringLiteral("删除(off)")}));
    QCoreApplication::processEvents();
    EXPECT_NE(record(1), nullptr);
    header(QStringLiteral("L1"))->setLocked(false);

    seen.clear();
    answerMenu(QStringLiteral("设置"), &seen);
    send(b, QEvent::MouseButtonRelease, {20, 10}, Qt::RightButton);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("设置"), QStringLiteral("删除")}));
    EXPECT_EQ(edited, std::vector<int>{1});
    EXPECT_EQ(b->x(), RulerWidget::toPixel(30000) + 7);

    seen.clear();
    answerMenu(QStringLiteral("删除"), &seen);
    send(b, QEvent::MouseButtonRelease, {20, 10}, Qt::RightButton);
    EXPECT_TRUE(waitFor([&] { return !record(1); }));
}

TEST_F(IOBlockTest, DoubleClickEditsStringOutputsOnly) {
    std::vector<int> edited;
    bool accept = false;
    LayerIO::setEditor([&](int id, QWidget*) {
        edited.push_back(id);
        record(id)->time = 8000;
        return accept;
    });
    LayerIO* common = place(1, 0, 1000, 400);
    LayerIO* string = place(2, 2, 3000, 0, QStringLiteral("L2"));
    send(common, QEvent::MouseButtonDblClick, {20, 10});
    EXPECT_TRUE(edited.empty());
    // Refused: the block stays where it was drawn.
    const int x = string->x();
    send(string, QEvent::MouseButtonDblClick, {20, 10});
    EXPECT_EQ(edited, std::vector<int>{2});
    EXPECT_EQ(string->x(), x);
    accept = true;
    send(string, QEvent::MouseButtonDblClick, {20, 10});
    EXPECT_EQ(string->x(), RulerWidget::toPixel(8000) + 7);
}

TEST_F(IOBlockTest, WithoutAnEditorSetTheCommandsDialogEditsIt) {
    LayerIO* string = place(2, 2, 3000, 0, QStringLiteral("L2"), QStringLiteral("on"), QStringLiteral("<PWR ON>"));
    QString shownTime, shownData;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != QStringLiteral("DTimeAxisStringOut")) {
            if (modal) modal->close();
            return;
        }
        auto* time = modal->findChild<QLineEdit*>(QStringLiteral("time"));
        auto* data = modal->findChild<QTextEdit*>(QStringLiteral("data"));
        shownTime = time->text();
        shownData = data->toPlainText();
        time->setText(QStringLiteral("00:00:08.000"));
        data->setPlainText(QStringLiteral("<PWR OFF>"));
        QMetaObject::invokeMethod(modal, "accept");
    });
    send(string, QEvent::MouseButtonDblClick, {20, 10});
    EXPECT_EQ(shownTime, QStringLiteral("00:00:03.000"));
    EXPECT_EQ(shownData, QStringLiteral("<PWR ON>"));
    ASSERT_NE(record(2), nullptr);
    EXPECT_EQ(record(2)->time, 8000);
    EXPECT_EQ(record(2)->data, QStringLiteral("<PWR OFF>"));
    EXPECT_EQ(string->x(), RulerWidget::toPixel(8000) + 7);
}

TEST_F(IOBlockTest, ABlockWhoseRecordIsGoneIgnoresEvents) {
    int edits = 0;
    LayerIO::setEditor([&](int, QWidget*) { return ++edits, true; });
    LayerIO* b = place(1, 2, 1000, 0);
    const QRect before = b->geometry();
    ASSERT_TRUE(GConfig::instance().eraseLayerIO(1));
    GConfig::instance().setSaved(true);
    send(b, QEvent::MouseButtonPress, {20, 10});
    send(b, QEvent::MouseMove, {80, 10});
    send(b, QEvent::MouseMove, {80, 70});
    send(b, QEvent::MouseButtonRelease, {80, 70});
    send(b, QEvent::MouseButtonDblClick, {20, 10});
    send(b, QEvent::MouseButtonRelease, {20, 10}, Qt::RightButton);  // no menu: it would block here
    QKeyEvent del(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(b, &del);
    QCoreApplication::processEvents();
    EXPECT_EQ(b->geometry(), before);
    EXPECT_EQ(edits, 0);
    EXPECT_TRUE(GConfig::instance().isSaved());
    EXPECT_TRUE(GConfig::instance().layerIOs().isEmpty());
    b->repaint();
}

TEST_F(IOBlockTest, AMovedBlockFiresItsOutputWhenThePlayHeadPassesItsNewTime) {
    LayerIO* b = place(7, 2, 1000, 0);
    send(b, QEvent::MouseButtonPress, {50, 10});
    send(b, QEvent::MouseMove, {50 + RulerWidget::toPixel(2000), 10});
    send(b, QEvent::MouseButtonRelease, {50 + RulerWidget::toPixel(2000), 10});
    ASSERT_EQ(record(7)->time, 3000);
    playFrom(0);
    step(1000);  // over the old time
    EXPECT_TRUE(fired.empty());
    step(2000);
    EXPECT_EQ(fired, std::vector<int>{7});
    step(2000);
    EXPECT_EQ(fired, std::vector<int>{7});
}

TEST_F(IOBlockTest, ScreenshotOfOutputBlocksOnTheirRows) {
    axis->setScale(3);
    QCoreApplication::processEvents();
    LayerIO* common = place(1, 0, 2000, 12000);
    LayerIO* dmx = place(2, 1, 4000, 6000, QStringLiteral("L2"));
    place(3, 2, 2000, 0, QStringLiteral("L3"), QStringLiteral("投影开"), QStringLiteral("<PWR ON>"));
    LayerIO* string = place(4, 2, 9000, 0, QStringLiteral("L3"));
    ASSERT_TRUE(waitFor([&] { return string->hasFocus(); }));
    QCoreApplication::processEvents();
    const QImage shot = axis->grab().toImage();
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    EXPECT_TRUE(shot.save(QStringLiteral(SV_BINARY_DIR "/artefacts/timeaxis_output_blocks.png")));
    auto at = [&](const LayerIO* b, int x, int y) { return shot.pixelColor(b->mapTo(axis.get(), QPoint(x, y))); };
    // The focused block's 2 px white border; the others' grey one.
    EXPECT_GT(at(string, 0, 20).lightness(), 240);
    EXPECT_GT(at(string, 1, 20).lightness(), 240);
    const QColor grey = at(common, 0, 20);
    EXPECT_NEAR(grey.red(), 0x99, 12);
    EXPECT_NEAR(grey.green(), 0x99, 12);
    EXPECT_NEAR(grey.blue(), 0x99, 12);
    EXPECT_LT(at(common, 1, 20).lightness(), 140);  // one pixel wide
    // Magenta over the row between the tiles.
    const QColor fill = at(common, common->width() - 5, 5);
    EXPECT_GT(fill.red(), fill.green() + 60);
    EXPECT_GT(fill.blue(), fill.green() + 40);
    // Each kind's icon at its place: string outputs green, DMX amber.
    const QColor stringIcon = at(string, 6 + 7, 13 + 7);
    EXPECT_GT(stringIcon.green(), 200);
    EXPECT_LT(stringIcon.red(), 150);
    const QColor dmxIcon = at(dmx, 6 + 7, 14 + 7);
    EXPECT_GT(dmxIcon.red(), 200);
    EXPECT_LT(dmxIcon.blue(), 120);
    // A second tile repeats a wide block's label: white text pixels lie in it.
    const int textWidth = common->fontMetrics().horizontalAdvance(QStringLiteral("普通输出"));
    const int tile = 6 + textWidth + 234;
    ASSERT_LT(tile + 21 + textWidth, common->width());
    int white = 0;
    for (int x = tile + 21; x < tile + 21 + textWidth; ++x)
        for (int y = 10; y < 32; ++y)
            if (at(common, x, y).lightness() > 200)
                ++white;
    EXPECT_GT(white, 10);
}
