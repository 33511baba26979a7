#include <QSignalSpy>
#include <QTimer>

#include "kestrane/picitem.h"
#include "kestrane/videoitem.h"
#include "stagefixture.h"

namespace {

class SceneTest : public StageTest {
protected:
    MediaSource libraryPicture(int kind = 1) {
        MediaSource m;
        m.kind = kind;
        m.path = picture(400, 300, Qt::red, "drop.png");
        m.fileName = "drop.png";
        m.duration = 3000;
        m.nativeWidth = 400;
        m.nativeHeight = 300;
        m.width = 400;
        m.height = 300;
        return m;
    }
};

TEST_F(SceneTest, DragsAreAcceptedOnlyForMediaItemsWithALayer) {
    struct Case {
        const char* what;
        const char* source;  // null: no property
        const char* type;
        int rows;
        bool accepted;
    } cases[] = {
        {"media item", "media", "item", 1, true},
        {"media folder", "media", "folder", 1, false},
        {"no source type", nullptr, "item", 1, false},
        {"only the filler row", "media", "item", 0, false},
    };
    for (const Case& c : cases) {
        axis.rows = c.rows;
        QMimeData mime;
        if (c.source) mime.setProperty("sourceType", QString(c.source));
        mime.setProperty("mediaType", QString(c.type));
        EXPECT_EQ(dragOver(&mime, QPointF(50, 50)), c.accepted) << c.what;
    }
}

TEST_F(SceneTest, ADropAtTheMarginCornerLandsAtStageOriginAndIsAnnounced) {
    QSignalSpy dropped(scene(), &Scene::itemDropped);
    axis.position = 1234;
    std::unique_ptr<QMimeData> mime(mediaMime(libraryPicture()));
    drop(mime.get(), QPointF(8, 8));
    ASSERT_EQ(dropped.size(), 1);
    const int id = dropped[0][0].toInt();
    EXPECT_EQ(dropped[0][1].toInt(), -1);
    EXPECT_EQ(dropped[0][2].toInt(), -1);
    const MediaSource* r = GConfig::instance().mediaSource(id);
    ASSERT_NE(r, nullptr);
    EXPECT_DOUBLE_EQ(r->x, 0.0);
    EXPECT_DOUBLE_EQ(r->y, 0.0);
    EXPECT_EQ(r->start, 1234);  // the play position on an empty layer
    EXPECT_EQ(r->layer, 0);
    auto* item = dynamic_cast<PicItem*>(scene()->stageItem(id, stage::kMediaType));
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isSelected());
    EXPECT_EQ(GConfig::instance().editMode(), 1);
    EXPECT_EQ(window.waiting.first(), true);

    // The next one starts 1 ms after the layer's latest end.
    std::unique_ptr<QMimeData> next(mediaMime(libraryPicture()));
    drop(next.get(), QPointF(108, 58));
    ASSERT_EQ(dropped.size(), 2);
    const MediaSource* second = GConfig::instance().mediaSource(dropped[1][0].toInt());
    EXPECT_EQ(second->start, 1234 + 3000 + 1);
    EXPECT_DOUBLE_EQ(second->x, 800.0);
    EXPECT_DOUBLE_EQ(second->y, 400.0);
    axis.position = 1500;  // inside the first one's window
    scene()->advance();
    const QImage image = render(300, 200);
    save(image, "stage_drop");
    EXPECT_TRUE(near(image.pixel(30, 30), QColor(Qt::red), 10));
}

TEST_F(SceneTest, RefusedDropsWarnAndCreateNothing) {
    struct Case {
        const char* what;
        int nearRow;
        QList<int> locked;
        int selected;
        const char* text;
    } cases[] = {
        {"no layer", -1, {}, 1, "请先在时间轴上添加图层，然后才能把素材拖入舞台"},
        {"locked layer", 0, {0}, 1, "时间轴上的当前图层已锁定，请先解锁"},
        {"two media", 0, {}, 2, "不支持同时拖动多个媒体到舞台"},
    };
    for (const Case& c : cases) {
        axis.nearRow = c.nearRow;
        axis.locked = c.locked;
        window.waiting.clear();
        QSignalSpy dropped(scene(), &Scene::itemDropped);
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        std::unique_ptr<QMimeData> mime(mediaMime(libraryPicture(), c.selected));
        drop(mime.get(), QPointF(50, 50));
        ASSERT_EQ(prompts.calls().size(), 1) << c.what;
        EXPECT_EQ(prompts.calls()[0].title, "操作出错");
        EXPECT_EQ(prompts.calls()[0].text, QString::fromUtf8(c.text)) << c.what;
        EXPECT_EQ(dropped.size(), 0) << c.what;
        EXPECT_TRUE(GConfig::instance().media().isEmpty()) << c.what;
        EXPECT_EQ(window.waiting, QList<bool>({true, false})) << c.what;
    }
}

TEST_F(SceneTest, ADropOfAnotherKindIsNeitherStoredNorAnnounced) {
    for (int kind : {99, 2, -1}) {
        window.waiting.clear();
        QSignalSpy dropped(scene(), &Scene::itemDropped);
        std::unique_ptr<QMimeData> mime(mediaMime(libraryPicture(kind)));
        drop(mime.get(), QPointF(50, 50));
        EXPECT_EQ(dropped.size(), 0) << kind;
        EXPECT_TRUE(GConfig::instance().media().isEmpty()) << kind;
        EXPECT_EQ(window.waiting, QList<bool>({true, false})) << kind;
    }
    // A current row that takes no media ends the drop quietly too.
    axis.currentRow = -1;
    QSignalSpy dropped(scene(), &Scene::itemDropped);
    std::unique_ptr<QMimeData> mime(mediaMime(libraryPicture()));
    drop(mime.get(), QPointF(50, 50));
    EXPECT_EQ(dropped.size(), 0);
    EXPECT_TRUE(GConfig::instance().media().isEmpty());
}

TEST_F(SceneTest, ADropArrivingDuringADropIsIgnored) {
    QSignalSpy dropped(scene(), &Scene::itemDropped);
    std::unique_ptr<QMimeData> first(mediaMime(libraryPicture()));
    std::unique_ptr<QMimeData> second(mediaMime(libraryPicture()));
    bool secondRan = false;
    // Delivered while the first drop waits in its event loop.
    QTimer::singleShot(50, [&] {
        EXPECT_TRUE(scene()->dropRunning());
        drop(second.get(), QPointF(200, 100));
        secondRan = true;
    });
    drop(first.get(), QPointF(50, 50));
    EXPECT_TRUE(secondRan);
    ASSERT_EQ(dropped.size(), 1);
    EXPECT_EQ(GConfig::instance().media().size(), 1);
    EXPECT_FALSE(scene()->dropRunning());
    // Afterwards drops run again.
    std::unique_ptr<QMimeData> third(mediaMime(libraryPicture()));
    drop(third.get(), QPointF(80, 80));
    EXPECT_EQ(dropped.size(), 2);
}

TEST_F(SceneTest, ARubberBandSelectsTheSameItemsEitherWay) {
    GraphicsItem* a = addPicture(400, 400, 400, 400);     // scene 58 .. 108
    GraphicsItem* b = addPicture(1600, 400, 400, 400);    // scene 208 .. 258
    GraphicsItem* c = addPicture(1600, 2000, 400, 400);   // scene (208, 258)
    struct Case {
        QPointF from, to;
    } cases[] = {{{40, 40}, {220, 120}}, {{220, 120}, {40, 40}}};
    for (const Case& cs : cases) {
        scene()->clearSelection();
        drag(cs.from, cs.to);
        EXPECT_TRUE(a->isSelected());
        EXPECT_TRUE(b->isSelected());
        EXPECT_FALSE(c->isSelected());
    }
    // A press on empty stage clears the selection and the records' flags.
    mouse(QEvent::MouseButtonPress, QPointF(400, 300), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPointF(400, 300), Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(scene()->selectedItems().isEmpty());
    for (const MediaSource& m : GConfig::instance().media()) EXPECT_FALSE(m.selected);
}

TEST_F(SceneTest, AlignmentMovesTheOthersToTheFocusedItem) {
    struct Case {
        int mode;
        double x, y;  // where the other (400 x 200 at 2000, 3000) lands
    } cases[] = {
        {1, 100, 3000}, {2, 100 + 800 - 400, 3000}, {3, 100 + 400 - 200, 3000},
        {4, 2000, 200}, {5, 2000, 200 + 600 - 200}, {6, 2000, 200 + 300 - 100},
    };
    for (bool devices : {false, true}) {
        for (const Case& c : cases) {
            GConfig& g = GConfig::instance();
            g.setEditModeValue(devices ? 0 : 1);
            QGraphicsItem* ref;
            QGraphicsItem* other;
            if (devices) {
                ref = scene()->stageItem(addDevice(800, 600, 100, 200), stage::kDeviceType);
                other = scene()->stageItem(addDevice(400, 200, 2000, 3000), stage::kDeviceType);
            } else {
                ref = addPicture(100, 200, 800, 600);
                other = addPicture(2000, 3000, 400, 200);
            }
            scene()->advance();
            ref->setSelected(true);
            other->setSelected(true);
            ref->setFocus();
            scene()->alignSelectedItems(c.mode);
            const int id = stage::itemId(other);
            const double x = devices ? g.device(id)->stageX : g.mediaSource(id)->x;
            const double y = devices ? g.device(id)->stageY : g.mediaSource(id)->y;
            EXPECT_DOUBLE_EQ(x, c.x) << devices << " " << c.mode;
            EXPECT_DOUBLE_EQ(y, c.y) << devices << " " << c.mode;
            EXPECT_DOUBLE_EQ(other->x(), c.x * 0.125 + 8) << devices << " " << c.mode;
            // Nothing moves in device editing while connected.
            if (devices) {
                g.setConnected(true);
                g.device(id)->stageX = 2000;
                scene()->alignSelectedItems(1);
                EXPECT_DOUBLE_EQ(g.device(id)->stageX, 2000);
                g.setConnected(false);
            }
            scene()->clearStage();
            g.media().clear();
            g.devices().clear();
        }
    }
}

TEST_F(SceneTest, SelectItemFollowsTheEditingMode) {
    const int dev = addDevice(800, 600, 0, 0);
    GraphicsItem* pic = addPicture(4000, 0, 400, 400);
    GConfig::instance().setEditModeValue(1);
    scene()->selectItem(dev, stage::kDeviceType);
    EXPECT_FALSE(scene()->stageItem(dev, stage::kDeviceType)->isSelected());
    scene()->selectItem(pic->mediaId(), stage::kMediaType);
    EXPECT_TRUE(pic->isSelected());
    GConfig::instance().setEditModeValue(0);
    scene()->advance();
    scene()->selectDeviceItem(dev);
    EXPECT_TRUE(scene()->stageItem(dev, stage::kDeviceType)->isSelected());
}

TEST_F(SceneTest, FramesReachOnlyAVideoItemThatStillExists) {
    MediaSource m = libraryPicture(0);
    m.start = 0;
    m.layer = 0;
    GConfig::instance().setMediaRecord(m, 1);
    preview.addHandle = reinterpret_cast<void*>(quintptr(7));
    hooks->addMediaItem(1);
    auto* video = dynamic_cast<VideoItem*>(scene()->stageItem(1, stage::kMediaType));
    ASSERT_NE(video, nullptr);
    EXPECT_FALSE(video->loadFailed());
    EXPECT_EQ(GConfig::instance().mediaSource(1)->previewHandle, preview.addHandle);
    EXPECT_EQ(preview.calls.value(0), "add 1 0 " + m.path + " 1");  // the user value is the media id

    // A 2 x 2 frame, bottom-up, blue first, rows padded to 8 bytes.
    const unsigned char frame[16] = {255, 0, 0, 255, 0, 0, 0, 0,     // bottom row: blue
                                     0, 0, 255, 0, 0, 255, 0, 0};    // top row: red
    BITMAPINFOHEADER format{};
    format.biWidth = 2;
    format.biHeight = 2;
    format.biBitCount = 24;
    format.biSizeImage = 16;
    VideoItem::frameCallback(preview.addHandle, (void*)frame, &format, 0, 1, 1, 2, reinterpret_cast<void*>(quintptr(1)));
    spinUntil([&] { return !video->frame().isNull(); }, 2000);
    ASSERT_FALSE(video->frame().isNull());
    EXPECT_EQ(video->frame().pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(video->frame().pixelColor(0, 1), QColor(Qt::blue));

    // A frame of another preview media under the same id is dropped.
    const unsigned char green[16] = {0, 255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    VideoItem::frameCallback(reinterpret_cast<void*>(quintptr(99)), (void*)green, &format, 0, 1, 0, 2,
                             reinterpret_cast<void*>(quintptr(1)));
    QCoreApplication::processEvents();
    EXPECT_EQ(video->frame().pixelColor(0, 0), QColor(Qt::red));

    // After the item is gone, a frame posted for its id finds nothing.
    GConfig::instance().removeMedia(1);
    EXPECT_EQ(scene()->stageItem(1, stage::kMediaType), nullptr);
    EXPECT_TRUE(preview.calls.contains("remove 7"));
    VideoItem::frameCallback(preview.addHandle, (void*)frame, &format, 0, 1, 0, 2, reinterpret_cast<void*>(quintptr(1)));
    QCoreApplication::processEvents();
    EXPECT_EQ(scene()->stageItem(1, stage::kMediaType), nullptr);
}

TEST_F(SceneTest, AVideoWithoutMediaInformationReleasesItsPreview) {
    struct Case {
        const char* what;
        quintptr handle;
        int info;
        QStringList calls;
    } cases[] = {
        {"no information", 9, 0, {"info 9", "remove 9"}},
        {"not opened", 0, 1, {}},
    };
    for (const Case& c : cases) {
        GConfig::instance().media().clear();
        MediaSource m = libraryPicture(0);
        GConfig::instance().setMediaRecord(m, 1);
        preview.calls.clear();
        preview.addHandle = reinterpret_cast<void*>(c.handle);
        preview.infoResult = c.info;
        hooks->addMediaItem(1);
        auto* video = dynamic_cast<VideoItem*>(scene()->stageItem(1, stage::kMediaType));
        ASSERT_NE(video, nullptr);
        EXPECT_TRUE(video->loadFailed()) << c.what;
        EXPECT_EQ(video->handle(0), nullptr) << c.what;
        EXPECT_EQ(GConfig::instance().mediaSource(1)->previewHandle, nullptr) << c.what;
        EXPECT_EQ(preview.calls.mid(1), c.calls) << c.what;
        hooks->removeMediaItem(1);
    }
}

TEST_F(SceneTest, APictureThatCannotBeLoadedHasNoHandlesAndNoPicture) {
    MediaSource m = libraryPicture();
    m.path = QString::fromStdString((dir / "missing.png").string());
    m.start = 0;
    GConfig::instance().setMediaRecord(m, 1);
    hooks->addMediaItem(1);
    auto* pic = dynamic_cast<PicItem*>(scene()->stageItem(1, stage::kMediaType));
    ASSERT_NE(pic, nullptr);
    EXPECT_TRUE(pic->loadFailed());
    EXPECT_EQ(pic->handle(0), nullptr);
    pic->show();
    EXPECT_FALSE(near(render(200, 100).pixel(30, 30), QColor(Qt::red), 60));
}

TEST_F(SceneTest, ClearingTheStageKeepsOneHiddenTip) {
    addPicture(0, 0, 400, 400)->setSelected(true);
    addDevice(800, 600, 4000, 0);
    QCoreApplication::processEvents();
    spinUntil([] { return false; }, 150);  // the handles' cursor doubles are made
    hooks->clearStage();
    ASSERT_NE(scene()->tipItem(), nullptr);
    EXPECT_FALSE(scene()->tipItem()->isVisible());
    EXPECT_EQ(scene()->items().size(), 1);
}

}  // namespace
