#include "kestrane/picitem.h"
#include "kestrane/resizeitem.h"
#include "kestrane/videoitem.h"
#include "stagefixture.h"

namespace {

class MediaItemTest : public StageTest {
protected:
    MediaSource* rec(int id) { return GConfig::instance().mediaSource(id); }
    QGraphicsItem* item(int id) { return scene()->stageItem(id, stage::kMediaType); }
};

TEST_F(MediaItemTest, HandlesAreMadeInTheirOrderAndSitOutsideTheEdges) {
    GraphicsItem* pic = addPicture(0, 0, 800, 400);
    EXPECT_EQ(pic->handleCreationOrder(), QList<int>({0, 4, 6, 2, 7, 3, 1, 5}));
    // At zoom 0.125 a handle is 32 stage units, 4 scene units on screen.
    const double s = 32;
    struct Case {
        int kind;
        QPointF at;
        Qt::CursorShape cursor;
    } cases[] = {
        {0, {(800 - s) / 2, -s}, Qt::SizeVerCursor}, {1, {800, -s}, Qt::SizeBDiagCursor},
        {2, {800, (400 - s) / 2}, Qt::SizeHorCursor}, {3, {800, 400}, Qt::SizeFDiagCursor},
        {4, {(800 - s) / 2, 400}, Qt::SizeVerCursor}, {5, {-s, 400}, Qt::SizeBDiagCursor},
        {6, {-s, (400 - s) / 2}, Qt::SizeHorCursor}, {7, {-s, -s}, Qt::SizeFDiagCursor},
    };
    for (const Case& c : cases) {
        ResizeItem* h = pic->handle(c.kind);
        ASSERT_NE(h, nullptr) << c.kind;
        EXPECT_EQ(h->pos(), c.at) << c.kind;
        EXPECT_EQ(h->boundingRect(), QRectF(0, 0, s, s));
        EXPECT_DOUBLE_EQ(h->sceneBoundingRect().width(), 4.0);
        EXPECT_EQ(h->cursor().shape(), c.cursor) << c.kind;
        EXPECT_EQ(h->data(stage::kHandleKey).toString(), "resizeItem");
    }
}

TEST_F(MediaItemTest, ResizeByHandleOverEveryKindKeepsAtLeastOneUnit) {
    // Start geometry (100, 200, 400, 300); the drag is in scene units at zoom 0.125.
    struct Case {
        int kind;
        QPointF drag;
        QRectF want;
    } cases[] = {
        {0, {0, 5}, {100, 240, 400, 260}},    {1, {5, 5}, {100, 240, 440, 260}},
        {2, {-5, 9}, {100, 200, 360, 300}},   {3, {5, -5}, {100, 200, 440, 260}},
        {4, {9, 5}, {100, 200, 400, 340}},    {5, {5, 5}, {140, 200, 360, 340}},
        {6, {-5, 0}, {60, 200, 440, 300}},    {7, {5, 5}, {140, 240, 360, 260}},
        // Past the opposite edge: one unit, that edge fixed.
        {7, {100, 100}, {499, 499, 1, 1}},    {3, {-100, -100}, {100, 200, 1, 1}},
        {0, {0, 60}, {100, 499, 400, 1}},     {2, {-60, 0}, {100, 200, 1, 300}},
    };
    GraphicsItem* pic = addPicture(100, 200, 400, 300);
    const QRectF start(100, 200, 400, 300);
    for (const Case& c : cases) {
        MediaSource* r = rec(pic->mediaId());
        r->x = 100, r->y = 200, r->width = 400, r->height = 300;
        pic->setPos(stage::toScene(100), stage::toScene(200));
        pic->resizeByHandle(start, QPointF(50, 50), QPointF(50, 50) + c.drag, c.kind);
        EXPECT_EQ(QRectF(r->x, r->y, r->width, r->height), c.want) << c.kind;
        EXPECT_EQ(pic->pos(), QPointF(stage::toScene(r->x), stage::toScene(r->y))) << c.kind;
        EXPECT_EQ(pic->boundingRect(), QRectF(0, 0, r->width, r->height));
    }
}

TEST_F(MediaItemTest, DraggingTheTopLeftHandleAtHalfZoomMovesAndShrinks) {
    GConfig::instance().setStageZoomValue(0.5);
    view()->updateSceneRect();
    GraphicsItem* pic = addPicture(100, 100, 400, 300);
    scene()->advance();
    pic->setSelected(true);
    pic->setFocus();
    scene()->advance();
    ResizeItem* h = pic->handle(7);
    const QPointF grip = h->sceneBoundingRect().center();
    drag(grip, grip + QPointF(10, 10));
    const MediaSource* r = rec(pic->mediaId());
    EXPECT_DOUBLE_EQ(r->x, 120);
    EXPECT_DOUBLE_EQ(r->y, 120);
    EXPECT_DOUBLE_EQ(r->width, 380);
    EXPECT_DOUBLE_EQ(r->height, 280);
}

TEST_F(MediaItemTest, AHandleDragOnAMediaWithEffectsShowsTheTipAndChangesNothing) {
    GraphicsItem* pic = addPicture(100, 100, 400, 300);
    EffectKey key;
    key.id = 1;
    key.kind = kestrane::EffectOpacity;
    key.time = 0;
    rec(pic->mediaId())->effects.insert(1, key);
    rec(pic->mediaId())->refreshEffectIndex(kestrane::EffectOpacity);
    ResizeItem* h = pic->handle(3);
    h->setVisible(true);
    const QPointF grip = h->sceneBoundingRect().center();
    mouse(QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, grip + QPointF(20, 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(scene()->tipItem()->isVisible());
    EXPECT_EQ(scene()->tipItem()->text(), "当前媒体有特效，无法缩放");
    mouse(QEvent::MouseButtonRelease, grip + QPointF(20, 20), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(scene()->tipItem()->isVisible());
    EXPECT_DOUBLE_EQ(rec(pic->mediaId())->width, 400);
}

TEST_F(MediaItemTest, CursorDoublesFollowTheirHandlesAboveEveryItem) {
    GraphicsItem* pic = addPicture(100, 100, 400, 300);
    pic->setSelected(true);
    pic->setFocus();
    pic->showHandles(true);
    spinUntil([&] { return pic->handle(3)->cursorDouble() != nullptr; }, 2000);
    TransparentItem* twin = pic->handle(3)->cursorDouble();
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->zValue(), 1000009.0);
    EXPECT_EQ(twin->parentItem(), nullptr);
    EXPECT_EQ(twin->cursor().shape(), Qt::SizeFDiagCursor);
    EXPECT_EQ(twin->scenePos(), pic->handle(3)->scenePos());
    pic->setPos(pic->pos() + QPointF(30, 0));
    spinUntil([&] { return twin->scenePos() == pic->handle(3)->scenePos(); }, 2000);
    EXPECT_EQ(twin->scenePos(), pic->handle(3)->scenePos());
    pic->setSelected(false);
    pic->showHandles(false);
    spinUntil([&] { return !twin->isVisible(); }, 2000);
    EXPECT_FALSE(twin->isVisible());
}

TEST_F(MediaItemTest, OnlyTheOneFocusedSelectedItemShowsHandlesAndAThickFrame) {
    GraphicsItem* a = addPicture(0, 0, 800, 800, 0, 10000, Qt::blue);
    GraphicsItem* b = addPicture(2400, 0, 800, 800, 0, 10000, Qt::blue);
    a->setSelected(true);
    a->setFocus();
    QImage one = render(500, 200);
    save(one, "stage_media_focused");
    EXPECT_TRUE(a->handle(0)->isVisible());
    // The yellow frame is 2 px on screen inside the right edge (scene 108):
    // columns 106 and 107, not 105.
    EXPECT_TRUE(near(one.pixel(106, 50), QColor("#feff01"), 30));
    EXPECT_TRUE(near(one.pixel(107, 50), QColor("#feff01"), 30));
    EXPECT_TRUE(near(one.pixel(105, 50), QColor(Qt::blue), 30));
    EXPECT_TRUE(near(one.pixel(108, 50), QColor("#191919"), 10));
    b->setSelected(true);
    render(500, 200);
    EXPECT_FALSE(a->handle(0)->isVisible());
    EXPECT_FALSE(b->handle(0)->isVisible());
}

TEST_F(MediaItemTest, ASelectedItemOutsideItsWindowDrawsOnlyTheDashedFrame) {
    GraphicsItem* pic = addPicture(0, 0, 800, 800, 5000, 1000);
    axis.position = 0;
    rec(pic->mediaId())->selected = true;
    scene()->advance();
    EXPECT_TRUE(pic->isVisible());
    EXPECT_TRUE(pic->outOfWindow());
    const QImage image = render(300, 200);
    save(image, "stage_media_outside_window");
    EXPECT_FALSE(near(image.pixel(50, 50), QColor(Qt::red), 60));
    // The one-pixel outline straddles the edge: brighter than the stage.
    int grey = 0;
    for (int y = 8; y < 108; ++y)
        if (qGray(image.pixel(8, y)) > 60) ++grey;
    EXPECT_GT(grey, 20);
    EXPECT_LT(grey, 95);  // dashed, not solid
    // Not selected: hidden on the next tick.
    pic->setSelected(false);
    rec(pic->mediaId())->selected = false;
    scene()->advance();
    EXPECT_FALSE(pic->isVisible());
    // Inside the window it shows its picture.
    axis.position = 5500;
    scene()->advance();
    EXPECT_TRUE(near(render(300, 200).pixel(50, 50), QColor(Qt::red), 10));
}

TEST_F(MediaItemTest, DeselectingKeepsARecordWithAFocusRequestSelected) {
    GraphicsItem* pic = addPicture(0, 0, 800, 800);
    pic->setSelected(true);
    EXPECT_TRUE(rec(pic->mediaId())->selected);
    rec(pic->mediaId())->focusRequest = true;
    pic->setSelected(false);
    EXPECT_TRUE(rec(pic->mediaId())->selected);
    rec(pic->mediaId())->focusRequest = false;
    pic->setSelected(true);
    pic->setSelected(false);
    EXPECT_FALSE(rec(pic->mediaId())->selected);
}

TEST_F(MediaItemTest, EffectsSetOpacityAndScaleAboutTheMiddle) {
    GraphicsItem* pic = addPicture(0, 0, 800, 800);
    MediaSource* r = rec(pic->mediaId());
    struct Case {
        int kind;
        double v1, v2;
        double opacity;
        QRectF bounds;
    } cases[] = {
        {kestrane::EffectOpacity, 1.0, 0, 0.0, {8, 8, 100, 100}},
        {kestrane::EffectScale, 0.0, 0.0, 1.0, {8, 8, 100, 100}},
        {kestrane::EffectScale, 1.0, 1.0, 1.0, {-42, -42, 200, 200}},
    };
    for (const Case& c : cases) {
        r->effects.clear();
        EffectKey key;
        key.id = 1;
        key.kind = c.kind;
        key.time = 0;
        key.value1 = c.v1;
        key.value2 = c.v2;
        r->effects.insert(1, key);
        for (int k = 1; k <= 4; ++k) r->refreshEffectIndex(k);
        scene()->advance();
        EXPECT_DOUBLE_EQ(pic->opacity(), c.opacity) << c.kind << " " << c.v1;
        EXPECT_EQ(pic->sceneBoundingRect(), c.bounds) << c.kind << " " << c.v1;
    }
}

TEST_F(MediaItemTest, ArrowKeysMoveTheSelectionUnlessTheLockRefuses) {
    struct Case {
        int lock;
        int key;
        QPointF move;
    } cases[] = {
        {0, Qt::Key_Right, {1, 0}}, {0, Qt::Key_Up, {0, -1}}, {1, Qt::Key_Left, {-1, 0}},
        {1, Qt::Key_Down, {0, 0}},  {2, Qt::Key_Right, {0, 0}}, {2, Qt::Key_Down, {0, 1}},
    };
    GraphicsItem* a = addPicture(800, 800, 400, 400);
    GraphicsItem* b = addPicture(4000, 800, 400, 400);
    a->setSelected(true);
    b->setSelected(true);
    a->setFocus();
    for (const Case& c : cases) {
        GConfig::instance().setMoveConstraint(c.lock);
        const QPointF before = b->pos();
        key(QEvent::KeyPress, c.key);
        EXPECT_EQ(b->pos() - before, c.move) << c.lock << " " << c.key;
        EXPECT_DOUBLE_EQ(rec(b->mediaId())->x, (b->x() - 8) / 0.125);
        EXPECT_DOUBLE_EQ(rec(b->mediaId())->y, (b->y() - 8) / 0.125);
    }
}

TEST_F(MediaItemTest, ADiagonalDragUnderTheHorizontalLockMovesOnlySideways) {
    GraphicsItem* pic = addPicture(800, 800, 400, 400);
    GConfig::instance().setMoveConstraint(1);
    drag(QPointF(120, 120), QPointF(160, 180));
    EXPECT_DOUBLE_EQ(rec(pic->mediaId())->x, 800 + 40 / 0.125);
    EXPECT_DOUBLE_EQ(rec(pic->mediaId())->y, 800);
}

TEST_F(MediaItemTest, DraggingPastTheCornerStopsAtTheMargin) {
    GraphicsItem* a = addPicture(400, 400, 400, 400);
    GraphicsItem* b = addPicture(1600, 800, 400, 400);
    a->setSelected(true);
    b->setSelected(true);
    drag(QPointF(70, 70), QPointF(0, 0));
    EXPECT_DOUBLE_EQ(a->x(), 8.0);
    EXPECT_DOUBLE_EQ(a->y(), 8.0);
    EXPECT_DOUBLE_EQ(rec(b->mediaId())->x, 1200);
    EXPECT_DOUBLE_EQ(rec(b->mediaId())->y, 400);
}

TEST_F(MediaItemTest, TheMagnetSnapsMediaWithinTenScenePixels) {
    struct Case {
        double gap;
        bool snaps;
    } cases[] = {{6, true}, {12, false}};
    for (const Case& c : cases) {
        GConfig::instance().setMagnet(true);
        GraphicsItem* anchor = addPicture(0, 0, 800, 800);     // scene 8 .. 108
        GraphicsItem* moving = addPicture(2400, 0, 800, 800);  // scene 308
        const double targetLeft = 108 + c.gap;
        drag(QPointF(320, 50), QPointF(320 + targetLeft - 308, 50));
        EXPECT_DOUBLE_EQ(moving->x(), c.snaps ? 108.0 : targetLeft) << c.gap;
        EXPECT_DOUBLE_EQ(rec(moving->mediaId())->x, ((c.snaps ? 108.0 : targetLeft) - 8) / 0.125);
        scene()->clearSelection();
        hooks->removeMediaItem(anchor->mediaId());
        hooks->removeMediaItem(moving->mediaId());
        GConfig::instance().media().clear();
    }
}

TEST_F(MediaItemTest, ARightDragOntoAGroupedDeviceFitsTheUnion) {
    GConfig::instance().setEditModeValue(1);
    addDevice(1920, 1080, 0, 0, 42);
    addDevice(1920, 1080, 1920, 0, 42);
    addDevice(1920, 1080, 0, 4000);
    GraphicsItem* pic = addPicture(0, 2000, 400, 300);
    scene()->advance();
    const QPointF from = pic->sceneBoundingRect().center();
    drag(from, QPointF(100, 60), Qt::RightButton);
    const MediaSource* r = rec(pic->mediaId());
    EXPECT_EQ(QRectF(r->x, r->y, r->width, r->height), QRectF(0, 0, 3840, 1080));
    for (const DeviceRecord& d : GConfig::instance().devices()) EXPECT_FALSE(d.highlight);
    EXPECT_TRUE(menuEntries.empty());  // a fitting drag opens no menu

    // Ending over nothing applies nothing.
    const QRectF before(r->x, r->y, r->width, r->height);
    const QPointF start = pic->sceneBoundingRect().center();
    drag(start, QPointF(300, 450), Qt::RightButton);
    EXPECT_EQ(QRectF(r->x, r->y, r->width, r->height).size(), before.size());
}

TEST_F(MediaItemTest, RightClickOpensTheMenuUnlessTheLayerIsLocked) {
    GraphicsItem* pic = addPicture(0, 0, 800, 800);
    menuChoice = "";
    mouse(QEvent::MouseButtonPress, QPointF(50, 50), Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, QPointF(50, 50), Qt::RightButton, Qt::NoButton);
    EXPECT_TRUE(pic->isSelected());
    ASSERT_EQ(menuEntries.size(), 3u);
    EXPECT_EQ(menuEntries[0].text, "删除");
    EXPECT_EQ(menuEntries[1].text, "恢复原始尺寸");
    EXPECT_FALSE(menuEntries[1].enabled);  // already at its native size
    EXPECT_EQ(menuEntries[2].text, "属性");

    // "恢复原始尺寸" once resized.
    rec(pic->mediaId())->width = 1000;
    menuChoice = "恢复原始尺寸";
    mouse(QEvent::MouseButtonPress, QPointF(50, 50), Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, QPointF(50, 50), Qt::RightButton, Qt::NoButton);
    EXPECT_DOUBLE_EQ(rec(pic->mediaId())->width, 800);

    scene()->clearSelection();
    menuEntries.clear();
    axis.locked = {0};
    mouse(QEvent::MouseButtonPress, QPointF(50, 50), Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, QPointF(50, 50), Qt::RightButton, Qt::NoButton);
    EXPECT_FALSE(pic->isSelected());
    EXPECT_TRUE(menuEntries.empty());
}

TEST_F(MediaItemTest, DeletingCollectsTheIdsBeforeRemovingAny) {
    GraphicsItem* a = addPicture(0, 0, 400, 400);
    GraphicsItem* b = addPicture(4000, 0, 400, 400);
    GraphicsItem* c = addPicture(0, 4000, 400, 400);
    const int ids[3] = {a->mediaId(), b->mediaId(), c->mediaId()};
    for (GraphicsItem* it : {a, b, c}) it->setSelected(true);
    // Removing one media changes the stage selection, as a refresh may.
    axis.onRemoveViews = [this](int) { scene()->clearSelection(); };
    a->deleteSelected();
    for (int id : ids) {
        EXPECT_EQ(rec(id), nullptr) << id;
        EXPECT_EQ(item(id), nullptr) << id;
    }
    EXPECT_EQ(window.waiting, QList<bool>({true, false}));
}

TEST_F(MediaItemTest, MovesUnderPositionKeysEditTheKeyAtThePlayPosition) {
    GraphicsItem* pic = addPicture(0, 0, 400, 400, 1000, 5000);
    MediaSource* r = rec(pic->mediaId());
    EffectKey k;
    k.id = 1;
    k.kind = kestrane::EffectPosition;
    k.time = 500;
    r->effects.insert(1, k);
    r->refreshEffectIndex(kestrane::EffectPosition);
    axis.position = 1500;
    scene()->advance();
    pic->setSelected(true);
    pic->setFocus();
    key(QEvent::KeyPress, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(r->effects[1].value1, 8.0);  // one scene unit at zoom 0.125
    EXPECT_DOUBLE_EQ(r->x, 0.0);
    // No key at the play position: one is asked for there.
    axis.position = 2000;
    key(QEvent::KeyPress, Qt::Key_Down);
    EXPECT_TRUE(axis.calls.contains(QStringLiteral("anchor 1 0 8 8"))) << axis.calls.join(", ").toStdString();
}

}  // namespace

namespace {

// Every edit the stage makes is part of the project: each leaves it unsaved,
// so quitting, New or Open asks first and the auto-save writes it.
class StageEditsTest : public StageTest {};

TEST_F(StageEditsTest, EveryStageEditMarksTheProjectModified) {
    GConfig& g = GConfig::instance();
    GraphicsItem* pic = addPicture(800, 800, 400, 400);
    GraphicsItem* other = addPicture(3200, 1600, 400, 400);
    int devA = 0, devB = 0;  // made in device mode, where devices take a selection
    auto deviceItem = [&](int id) { return static_cast<DeviceItem*>(scene()->stageItem(id, stage::kDeviceType)); };
    const MediaSource* p = g.mediaSource(pic->mediaId());
    const struct {
        const char* what;
        std::function<void()> edit;
        std::function<QString()> state;  // what the edit changes
    } edits[] = {
        {"handle resize",
         [&] {
             pic->setSelected(true);
             pic->setFocus();
             scene()->advance();
             ResizeItem* handle = pic->handle(3);
             handle->setVisible(true);
             const QPointF corner = handle->sceneBoundingRect().center();
             drag(corner, corner + QPointF(10, 10));
         },
         [&] { return QStringLiteral("%1x%2").arg(p->width).arg(p->height); }},
        {"arrow nudge",
         [&] {
             scene()->clearSelection();
             pic->setSelected(true);
             pic->setFocus();
             key(QEvent::KeyPress, Qt::Key_Right);
         },
         [&] { return QString::number(p->x); }},
        {"restore native size",
         [&] {
             menuChoice = "恢复原始尺寸";
             const QPointF at = pic->sceneBoundingRect().center();
             mouse(QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
             mouse(QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
         },
         [&] { return QStringLiteral("%1x%2").arg(p->width).arg(p->height); }},
        {"alignment",
         [&] {
             scene()->clearSelection();
             pic->setSelected(true);
             other->setSelected(true);
             pic->setFocus();
             scene()->alignSelectedItems(1);
         },
         [&] { return QString::number(g.mediaSource(other->mediaId())->x); }},
        {"combine",
         [&] {
             scene()->clearSelection();
             g.setEditModeValue(0);
             devA = addDevice(1920, 1080, 0, 4000);
             devB = addDevice(1920, 1080, 1920, 4000);
             deviceItem(devA)->setSelected(true);
             deviceItem(devB)->setSelected(true);
             deviceItem(devA)->combine();
         },
         [&] {
             return devA ? QStringLiteral("%1 %2").arg(g.device(devA)->groupStamp).arg(g.device(devB)->groupStamp)
                         : QStringLiteral("no devices");
         }},
        {"uncombine", [&] { deviceItem(devA)->uncombine(); },
         [&] { return QStringLiteral("%1 %2").arg(g.device(devA)->groupStamp).arg(g.device(devB)->groupStamp); }},
    };
    for (const auto& e : edits) {
        g.setSaved(true);
        const QString before = e.state();
        e.edit();
        EXPECT_NE(e.state(), before) << e.what << " changed nothing";
        EXPECT_FALSE(g.isSaved()) << e.what;
    }
}

}  // namespace
