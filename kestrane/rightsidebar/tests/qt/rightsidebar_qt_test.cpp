#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include "kestrane/adddevicedialog.h"
#include "kestrane/deviceattribute.h"
#include "kestrane/devicelist.h"
#include "kestrane/devicesidebar.h"
#include "kestrane/devicetree.h"
#include "kestrane/rightsidebar.h"
#include "kestrane/sidepanelhooks.h"
#include "support/ProjectTest.h"
#include "support/QtSpin.h"
#include "support/ScriptedPrompts.h"

namespace {

// Stands for the media page's hooks: records what reaches it.
class MediaHooksRecorder : public SidePanelHooks {
public:
    void selectMediaRows(const QList<qint64>& keys) override { rows.append(keys); }
    void addSource(int typeIndex) override { sources.append(typeIndex); }
    void resetTabs() override { ++resets; }
    void updateMediaOrder() override { ++orders; }
    QList<qint64> rows;
    QList<int> sources;
    int resets = 0;
    int orders = 0;
};

class RightSidebarTest : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        GConfig::instance().setSidePanelHooks(&media);
        RightSidebarPages pages;
        pages.mediaFirstPage = [this](QWidget*) { ++mediaFirstPages; };
        RightSidebar::setPages(pages);
        bar = std::make_unique<RightSidebar>();
        bar->resize(260, 600);
        bar->show();
    }
    void TearDown() override {
        bar.reset();
        GConfig::instance().setSidePanelHooks(nullptr);
        RightSidebar::setPages({});
        ProjectTest::TearDown();
    }
    DeviceList* list() { return bar->deviceSidebar()->deviceList(); }
    DeviceTree* tree() { return list()->tree(); }
    // Answers the add-device dialog once it is open.
    void whenDialogOpens(std::function<void(AddDeviceDialog*)> answer) {
        QTimer::singleShot(0, [answer] {
            auto* d = qobject_cast<AddDeviceDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            answer(d);
        });
    }

    MediaHooksRecorder media;
    int mediaFirstPages = 0;
    std::unique_ptr<RightSidebar> bar;
};

TEST_F(RightSidebarTest, TabsFollowTheButtonsAndTheEditMode) {
    GConfig& c = GConfig::instance();
    ASSERT_EQ(bar->stack()->currentIndex(), 0);
    c.setEditModeValue(1);
    bar->buttons()[1]->click();
    EXPECT_EQ(bar->stack()->currentIndex(), 1);
    EXPECT_EQ(c.editMode(), 0);
    EXPECT_FALSE(bar->buttons()[0]->isChecked());
    bar->buttons()[2]->click();  // the control tab leaves the mode alone
    EXPECT_EQ(c.editMode(), 0);
    EXPECT_EQ(bar->stack()->currentIndex(), 2);
    bar->buttons()[2]->click();  // checked again, not unchecked
    EXPECT_TRUE(bar->buttons()[2]->isChecked());
    bar->buttons()[0]->click();
    EXPECT_EQ(c.editMode(), 1);

    // Reached through the configuration object.
    c.showDeviceLater(0, true);
    ASSERT_TRUE(spinUntil([&] { return bar->stack()->currentIndex() == 1; }));
    EXPECT_EQ(bar->deviceSidebar()->stack()->currentIndex(), 1);
    c.sidePanelHooks().resetTabs();
    EXPECT_EQ(bar->stack()->currentIndex(), 0);
    EXPECT_EQ(bar->deviceSidebar()->stack()->currentIndex(), 0);
    EXPECT_EQ(mediaFirstPages, 1);
    EXPECT_EQ(media.resets, 1);
}

TEST_F(RightSidebarTest, MediaCallsReachTheMediaHooks) {
    GConfig& c = GConfig::instance();
    EXPECT_TRUE(c.sidePanelHooks().hasDeviceTree());
    c.sidePanelHooks().selectMediaRows({7, 9});
    c.sidePanelHooks().addSource(1);
    c.sidePanelHooks().updateMediaOrder();
    EXPECT_EQ(media.rows, (QList<qint64>{7, 9}));
    EXPECT_EQ(media.sources, QList<int>{1});
    EXPECT_EQ(media.orders, 1);
    bar.reset();  // the media hooks come back
    EXPECT_EQ(&c.sidePanelHooks(), &media);
}

TEST_F(RightSidebarTest, AddingADeviceThroughThePresetBox) {
    GConfig& c = GConfig::instance();
    QComboBox* box = list()->presetBox();
    ASSERT_EQ(box->count(), 12);
    EXPECT_EQ(box->currentText(), q("添加设备"));

    // Connected: refused, and the box rests on its first entry.
    c.setConnected(true);
    {
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        box->setCurrentIndex(3);
        list()->addDevice(3);
        EXPECT_EQ(prompts.titles(), QStringList{q("无法添加新设备")});
    }
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_TRUE(c.devices().isEmpty());
    c.setConnected(false);

    QString offeredWidth;
    bool widthEditable = false;
    whenDialogOpens([&](AddDeviceDialog* d) {
        offeredWidth = d->findChild<QLineEdit*>(QStringLiteral("width"))->text();
        widthEditable = d->findChild<QLineEdit*>(QStringLiteral("width"))->isEnabled();
        d->findChild<QLineEdit*>(QStringLiteral("width"))->setText(QStringLiteral("3000"));
        d->findChild<QLineEdit*>(QStringLiteral("height"))->setText(QStringLiteral("1000"));
        d->accept();
    });
    list()->addDevice(11);  // 自定义
    EXPECT_TRUE(widthEditable);
    EXPECT_EQ(offeredWidth, QString());
    ASSERT_EQ(c.deviceIds(), QList<int>{1});
    const DeviceRecord* d = c.device(1);
    EXPECT_EQ(d->name, q("显示1"));
    EXPECT_EQ(d->width, 3000);
    EXPECT_EQ(d->presetIndex, 10);
    EXPECT_EQ(d->presetText, q("自定义"));
    EXPECT_EQ(d->treeItem, tree()->findItemById(1));

    whenDialogOpens([](AddDeviceDialog* d) { d->reject(); });
    list()->addDevice(1);
    EXPECT_EQ(c.deviceIds(), QList<int>{1});
}

TEST_F(RightSidebarTest, DeletingFoldersAndDevicesOnce) {
    GConfig& c = GConfig::instance();
    DeviceTree* t = tree();
    QTreeWidgetItem* f = t->insertFolderItem(nullptr, q("F"), -1, false);
    f->setExpanded(true);
    QTreeWidgetItem* sub = t->insertFolderItem(f, q("S"), -1, false);
    sub->setExpanded(false);
    addRecord(1, q("deep"));
    t->insertDeviceItem(1, nullptr, false, 0);
    t->moveItems(sub, {t->findItemById(1)}, DeviceTree::DropInto);
    addRecord(2, q("inF"));
    t->insertDeviceItem(2, f, false, 0);
    addRecord(3, q("out"));
    t->insertDeviceItem(3, nullptr, false, 0);
    QTreeWidgetItem* empty = t->insertFolderItem(nullptr, q("E"), -1, false);

    // Only an empty folder: nothing is asked.
    t->clearSelection();
    empty->setSelected(true);
    {
        ScriptedPrompts none;
        list()->delFolderOrDevice();
    }
    EXPECT_EQ(t->findFolderItem(3), nullptr);

    // Connected: folders may be added, nothing deleted.
    c.setConnected(true);
    list()->addFolder();
    EXPECT_EQ(c.deviceFolders.size(), 3);
    t->clearSelection();
    t->findItemById(3)->setSelected(true);
    {
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        list()->delFolderOrDevice();
        EXPECT_EQ(prompts.titles(), QStringList{q("不能删除")});
    }
    c.setConnected(false);

    // The folder, its sub-folder and the devices below, all selected: asked once, each removed once.
    t->clearSelection();
    for (QTreeWidgetItem* i : {t->findItemById(2), sub, f, t->findItemById(1)}) i->setSelected(true);
    {
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Yes);
        list()->delFolderOrDevice();
        EXPECT_EQ(prompts.titles(), QStringList{q("删除确认")});
    }
    EXPECT_EQ(c.deviceIds(), QList<int>{3});
    EXPECT_EQ(t->findFolderItem(1), nullptr);
    EXPECT_EQ(t->findFolderItem(2), nullptr);
    ASSERT_EQ(c.deviceFolders.size(), 1);  // the one added while connected
    EXPECT_NE(t->findFolderItem(c.deviceFolders.first().id), nullptr);

    // Nothing selected: nothing happens.
    t->clearSelection();
    ScriptedPrompts none;
    list()->delFolderOrDevice();
    EXPECT_EQ(c.deviceIds(), QList<int>{3});
}

TEST_F(RightSidebarTest, ANameChangedInTheTreeIsNotWrittenBackByThePanel) {
    GConfig& c = GConfig::instance();
    addRecord(1, q("A"));
    c.sidePanelHooks().insertDeviceItem(1, 0, false);
    c.showDeviceLater(1, true);
    DeviceAttribute* panel = bar->deviceSidebar()->deviceAttribute();
    ASSERT_TRUE(spinUntil([&] { return panel->shownId() == 1; }));
    tree()->findItemById(1)->setText(0, q("新名"));
    QLineEdit* name = panel->findChild<QLineEdit*>(QStringLiteral("deviceName"));
    ASSERT_TRUE(spinUntil([&] { return name->text() == q("新名"); }));
    panel->editFinished();
    EXPECT_EQ(c.device(1)->name, q("新名"));

    // The panel's name edit reaches the tree through the queued refresh.
    name->setText(q("再改"));
    panel->editFinished();
    ASSERT_TRUE(spinUntil([&] { return tree()->findItemById(1)->text(0) == q("再改"); }));
}

}  // namespace
