#include "stagefixture.h"

namespace {

class DeviceItemTest : public StageTest {
protected:
    void SetUp() override {
        StageTest::SetUp();
        GConfig::instance().setEditModeValue(0);
    }
    QGraphicsItem* item(int id) { return scene()->stageItem(id, stage::kDeviceType); }
    DeviceRecord* rec(int id) { return GConfig::instance().device(id); }
};

TEST_F(DeviceItemTest, ADeviceStandsAtItsZoomedPlaceAndADragStoresStageUnits) {
    const int id = addDevice(1920, 1080, 0, 0);
    EXPECT_EQ(item(id)->sceneBoundingRect(), QRectF(8, 8, 240, 135));
    drag(QPointF(50, 50), QPointF(150, 50));
    EXPECT_DOUBLE_EQ(item(id)->x(), 108.0);
    EXPECT_DOUBLE_EQ(rec(id)->stageX, 800.0);
    EXPECT_DOUBLE_EQ(rec(id)->stageY, 0.0);
    EXPECT_FALSE(GConfig::instance().isSaved());
}

TEST_F(DeviceItemTest, APressWithTheMoveLockKeepsTheOtherAxis) {
    struct Case {
        int lock;
        double x, y;
    } cases[] = {{0, 400, 240}, {1, 400, 0}, {2, 0, 240}};
    for (const Case& c : cases) {
        const int id = addDevice(1920, 1080, 0, 0);
        GConfig::instance().setMoveConstraint(c.lock);
        drag(QPointF(50, 50), QPointF(100, 80));
        EXPECT_DOUBLE_EQ(rec(id)->stageX, c.x) << c.lock;
        EXPECT_DOUBLE_EQ(rec(id)->stageY, c.y) << c.lock;
        scene()->clearSelection();
        delete item(id);
        GConfig::instance().devices().remove(id);
    }
}

TEST_F(DeviceItemTest, TwoSelectedDevicesStopTogetherAtTheStageEdge) {
    const int a = addDevice(800, 800, 160, 0);
    const int b = addDevice(800, 800, 1600, 0);
    item(a)->setSelected(true);
    item(b)->setSelected(true);
    drag(QPointF(50, 50), QPointF(-100, 50));
    EXPECT_DOUBLE_EQ(item(a)->x(), 8.0);
    EXPECT_DOUBLE_EQ(rec(a)->stageX, 0.0);
    EXPECT_DOUBLE_EQ(rec(b)->stageX, 1440.0);  // kept its distance
}

TEST_F(DeviceItemTest, TheMagnetSnapsWithinTenScenePixels) {
    struct Case {
        double gap;
        bool snaps;
    } cases[] = {{6, true}, {9, true}, {12, false}};
    for (const Case& c : cases) {
        GConfig::instance().setMagnet(true);
        const int anchor = addDevice(800, 800, 0, 0);  // scene 8 .. 108
        const int moving = addDevice(800, 800, 2400, 0);  // scene 308
        // Drag the moving device so that its left edge lies `gap` right of the anchor's right edge.
        const double targetLeft = 108 + c.gap;
        drag(QPointF(320, 50), QPointF(320 + targetLeft - 308, 50));
        const double left = item(moving)->x();
        if (c.snaps)
            EXPECT_DOUBLE_EQ(left, 108.0) << c.gap;
        else
            EXPECT_DOUBLE_EQ(left, targetLeft) << c.gap;
        scene()->clearSelection();
        delete item(anchor);
        delete item(moving);
        GConfig::instance().devices().clear();
    }
}

TEST_F(DeviceItemTest, PaintShowsStateFrameAndSyncBar) {
    const int off = addDevice(1920, 1080, 0, 0, 0, "A");
    const int on = addDevice(1920, 1080, 2400, 0, 0, "B");
    rec(on)->online = true;
    rec(off)->syncProgress = 40;
    rec(on)->syncProgress = 40;
    rec(on)->syncFailed = true;
    item(on)->setSelected(true);
    const QImage image = render(600, 200);
    save(image, "stage_devices");
    // Status squares: 6 x 6 px at 8 px from the corner.
    EXPECT_TRUE(near(image.pixel(8 + 8 + 3, 8 + 8 + 3), QColor("#e60012"), 10));
    EXPECT_TRUE(near(image.pixel(308 + 8 + 3, 8 + 8 + 3), QColor("#00ff00"), 10));
    // Frames: grey idle, blue selected.
    EXPECT_TRUE(near(image.pixel(8, 70), QColor("#aeaeae"), 30));
    EXPECT_TRUE(near(image.pixel(308, 70), QColor("#00b7ef"), 30));
    // Sync bar at 40 %: track 228 px wide from x 14, fill 91 px.
    const int barY = 8 + 135 - 16 + 3;
    EXPECT_TRUE(near(image.pixel(14 + 45, barY), QColor("#00ff00"), 10));
    EXPECT_TRUE(near(image.pixel(14 + 89, barY), QColor("#00ff00"), 10));
    EXPECT_FALSE(near(image.pixel(14 + 120, barY), QColor("#00ff00"), 60));
    EXPECT_TRUE(near(image.pixel(14 + 150, barY - 3), QColor("#aeaeae"), 30));  // outline while running
    EXPECT_TRUE(near(image.pixel(314 + 150, barY - 3), QColor("#e60012"), 30));  // outline after a failure
    // No progress: no track.
    rec(off)->syncProgress = -1;
    const QImage plain = render(600, 200);
    EXPECT_FALSE(near(plain.pixel(14 + 45, barY), QColor("#00ff00"), 60));
    EXPECT_FALSE(near(plain.pixel(14 + 150, barY - 3), QColor("#aeaeae"), 30));
}

TEST_F(DeviceItemTest, RightClickOnAGroupMemberSelectsTheGroup) {
    const int a = addDevice(1920, 1080, 0, 0, 77);
    const int b = addDevice(1920, 1080, 1920, 0, 77);
    const int c = addDevice(1920, 1080, 0, 1080);
    menuChoice = "";  // close without a choice
    mouse(QEvent::MouseButtonPress, QPointF(50, 50), Qt::RightButton, Qt::RightButton);
    EXPECT_TRUE(item(a)->isSelected());
    EXPECT_TRUE(item(b)->isSelected());
    EXPECT_FALSE(item(c)->isSelected());
    mouse(QEvent::MouseButtonRelease, QPointF(50, 50), Qt::RightButton, Qt::NoButton);
    ASSERT_FALSE(menuEntries.empty());
    QStringList texts;
    for (const MenuEntry& e : menuEntries) texts << e.text;
    EXPECT_EQ(texts, QStringList({"几何校正", "色彩校正", "矩阵布局", "删除", "组合", "解散组合", "属性"}));
}

std::map<QString, MenuEntry> entries(const std::vector<MenuEntry>& list) {
    std::map<QString, MenuEntry> out;
    for (const MenuEntry& e : list) out.emplace(e.text, e);
    return out;
}

TEST_F(DeviceItemTest, MenuEntriesFollowSelectionResolutionAndConnection) {
    struct Case {
        const char* what;
        QList<QSize> sizes;
        qint64 group;
        bool connected;
        bool matrix, del, combine, ungroupEnabled, ungroupVisible;
    } cases[] = {
        {"one device", {{1920, 1080}}, 0, false, false, true, false, false, true},
        {"two alike", {{1920, 1080}, {1920, 1080}}, 0, false, true, true, true, false, true},
        {"mixed sizes", {{1920, 1080}, {1920, 1080}, {1280, 720}}, 0, false, false, true, false, false, true},
        {"one group", {{1920, 1080}, {1920, 1080}}, 5, false, true, true, false, true, true},
        // A hidden action also answers disabled.
        {"connected", {{1920, 1080}, {1920, 1080}}, 5, true, true, false, false, false, false},
    };
    for (const Case& c : cases) {
        QList<int> ids;
        for (int i = 0; i < c.sizes.size(); ++i)
            ids << addDevice(c.sizes[i].width(), c.sizes[i].height(), i * 2400, 0, c.group);
        GConfig::instance().setConnected(c.connected);
        for (int id : ids) item(id)->setSelected(true);
        menuChoice = "";
        mouse(QEvent::MouseButtonPress, QPointF(50, 50), Qt::RightButton, Qt::RightButton);
        mouse(QEvent::MouseButtonRelease, QPointF(50, 50), Qt::RightButton, Qt::NoButton);
        auto e = entries(menuEntries);
        ASSERT_EQ(e.size(), 7u) << c.what;
        EXPECT_EQ(e["矩阵布局"].enabled, c.matrix) << c.what;
        EXPECT_EQ(e["删除"].enabled, c.del) << c.what;
        EXPECT_EQ(e["组合"].enabled, c.combine) << c.what;
        EXPECT_EQ(e["解散组合"].enabled, c.ungroupEnabled) << c.what;
        EXPECT_EQ(e["解散组合"].visible, c.ungroupVisible) << c.what;
        EXPECT_TRUE(e["几何校正"].enabled && e["色彩校正"].enabled && e["属性"].enabled) << c.what;
        scene()->clearSelection();
        for (int id : ids) delete item(id);
        GConfig::instance().devices().clear();
        menuEntries.clear();
    }
}

TEST_F(DeviceItemTest, CombineStampsTheSelectionAndRefusesMatrixMembers) {
    const int a = addDevice(1920, 1080, 0, 0);
    const int b = addDevice(1920, 1080, 1920, 0);
    rec(a)->matrixValues[0] = 30;
    item(a)->setSelected(true);
    item(b)->setSelected(true);
    static_cast<DeviceItem*>(item(a))->combine();
    EXPECT_NE(rec(a)->groupStamp, 0);
    EXPECT_EQ(rec(a)->groupStamp, rec(b)->groupStamp);
    EXPECT_EQ(rec(a)->matrixValues[0], 0);

    const int c = addDevice(1920, 1080, 0, 1080);
    rec(c)->matrixCell = 2;
    item(c)->setSelected(true);
    const qint64 before = rec(a)->groupStamp;
    ScriptedPrompts prompts;
    prompts.answer(QMessageBox::Ok);
    static_cast<DeviceItem*>(item(a))->combine();
    ASSERT_EQ(prompts.calls().size(), 1);
    EXPECT_EQ(prompts.calls()[0].title, "组合错误");
    EXPECT_EQ(prompts.calls()[0].text, "您选择的设备中有一部分已经矩阵布局，无法再组合，请先解散组合");
    EXPECT_EQ(rec(a)->groupStamp, before);
    EXPECT_EQ(rec(c)->groupStamp, 0);

    // Ungrouping frees every device of the stamp.
    static_cast<DeviceItem*>(item(a))->uncombine();
    EXPECT_EQ(rec(a)->groupStamp, 0);
    EXPECT_EQ(rec(b)->groupStamp, 0);
    EXPECT_TRUE(scene()->selectedItems().isEmpty());
}

TEST_F(DeviceItemTest, MatrixLayoutNeedsOneSharedStamp) {
    const int grouped = addDevice(1920, 1080, 0, 0, 9);
    const int loose = addDevice(1920, 1080, 1920, 0);
    item(grouped)->setSelected(true);
    item(loose)->setSelected(true);
    {
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        static_cast<DeviceItem*>(item(grouped))->openMatrixLayout();
        ASSERT_EQ(prompts.calls().size(), 1);
        EXPECT_EQ(prompts.calls()[0].title, "矩阵布局错误");
        EXPECT_EQ(prompts.calls()[0].text, "您的选中项包括其它矩阵布局或组合，无法再进行布局，请先解散组合");
    }
    EXPECT_TRUE(calibration.layouts.isEmpty());
    scene()->clearSelection();
    delete item(grouped);
    GConfig::instance().devices().remove(grouped);
    const int c = addDevice(1920, 1080, 0, 1080);
    const int d = addDevice(1920, 1080, 1920, 1080);
    for (int id : {loose, c, d}) item(id)->setSelected(true);
    static_cast<DeviceItem*>(item(c))->openMatrixLayout();
    ASSERT_EQ(calibration.layouts.size(), 1);
    EXPECT_EQ(QSet<int>(calibration.layouts[0].begin(), calibration.layouts[0].end()), QSet<int>({loose, c, d}));
    EXPECT_TRUE(scene()->selectedItems().isEmpty());
}

TEST_F(DeviceItemTest, WhileConnectedDevicesStayAndConnectedOnesDoNotMove) {
    const int id = addDevice(1920, 1080, 0, 0);
    rec(id)->online = true;
    GConfig::instance().setConnected(true);
    scene()->advance();
    drag(QPointF(50, 50), QPointF(150, 90));
    EXPECT_TRUE(item(id)->isSelected());
    EXPECT_DOUBLE_EQ(rec(id)->stageX, 0.0);
    EXPECT_DOUBLE_EQ(item(id)->x(), 8.0);
    // Delete does nothing while connected.
    item(id)->setFocus();
    key(QEvent::KeyRelease, Qt::Key_Delete);
    QCoreApplication::processEvents();
    EXPECT_NE(rec(id), nullptr);
    EXPECT_NE(item(id), nullptr);
    // Disconnected, Delete removes the selected device.
    GConfig::instance().setConnected(false);
    rec(id)->online = false;
    scene()->advance();
    item(id)->setSelected(true);
    item(id)->setFocus();
    key(QEvent::KeyRelease, Qt::Key_Delete);
    spinUntil([&] { return rec(id) == nullptr; }, 2000);
    EXPECT_EQ(rec(id), nullptr);
    EXPECT_EQ(item(id), nullptr);
}

TEST_F(DeviceItemTest, MediaEditingLeavesDevicesInert) {
    const int id = addDevice(1920, 1080, 0, 0);
    GConfig::instance().setEditModeValue(1);
    scene()->advance();
    EXPECT_EQ(item(id)->flags(), QGraphicsItem::GraphicsItemFlags());
    drag(QPointF(50, 50), QPointF(150, 50));
    EXPECT_DOUBLE_EQ(rec(id)->stageX, 0.0);
    EXPECT_FALSE(item(id)->isSelected());
}

TEST_F(DeviceItemTest, ShiftAltPressSwitchesModeUntilTheKeysAreReleased) {
    const int id = addDevice(1920, 1080, 0, 0);
    GConfig::instance().setEditModeValue(1);
    scene()->advance();
    mouse(QEvent::MouseButtonPress, QPointF(50, 50), Qt::LeftButton, Qt::LeftButton,
          Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(GConfig::instance().editMode(), 0);
    EXPECT_TRUE(scene()->switchedByPress());
    EXPECT_TRUE(item(id)->isSelected());
    mouse(QEvent::MouseButtonRelease, QPointF(50, 50), Qt::LeftButton, Qt::NoButton,
          Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(GConfig::instance().editMode(), 0);
    EXPECT_TRUE(scene()->isActive());
    // A key event of a modifier key carries the state before it changes.
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(GConfig::instance().editMode(), 1);
    EXPECT_FALSE(scene()->switchedByPress());
}

TEST_F(DeviceItemTest, AddDeviceItemCentresTheNewDeviceSelected) {
    GConfig& g = GConfig::instance();
    g.setEditModeValue(1);
    DeviceRecord d;
    d.width = 1920;
    d.height = 1080;
    g.devices().insert(4, d);
    scene()->addDeviceItem(4);
    QGraphicsItem* it = item(4);
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(g.editMode(), 0);
    EXPECT_TRUE(it->isSelected());
    EXPECT_EQ(g.device(4)->stageItem, it);
    const StageViewport v = hooks->viewport();
    EXPECT_DOUBLE_EQ(it->x(), v.hScroll + (v.width - 240) / 2);
    EXPECT_DOUBLE_EQ(g.device(4)->stageX, (it->x() - 8) / 0.125);
}

}  // namespace
