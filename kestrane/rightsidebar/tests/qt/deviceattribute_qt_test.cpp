#include <QLineEdit>
#include <QPushButton>

#include "kestrane/deviceattribute.h"
#include "support/ProjectTest.h"
#include "support/ScriptedPrompts.h"

namespace {

class DeviceAttributeTest : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        panel = std::make_unique<DeviceAttribute>();
    }
    void TearDown() override {
        panel.reset();
        ProjectTest::TearDown();
    }
    QLineEdit* field(const char* name) { return panel->findChild<QLineEdit*>(QLatin1String(name)); }
    QString text(const char* name) { return field(name)->text(); }
    void set(const char* name, const QString& value) { field(name)->setText(value); }

    std::unique_ptr<DeviceAttribute> panel;
};

TEST_F(DeviceAttributeTest, ANewDeviceIsPlacedAtZeroOnItsFirstEdit) {
    addRecord(1, q("显示1"));
    panel->showDevice(1);
    EXPECT_EQ(text("stageX"), q("-1"));
    EXPECT_EQ(text("stageY"), q("-1"));
    EXPECT_EQ(text("centerX"), q("959"));
    panel->editFinished();
    const DeviceRecord* d = GConfig::instance().device(1);
    EXPECT_EQ(d->stageX, 0.0);
    EXPECT_EQ(d->stageY, 0.0);
    EXPECT_EQ(text("stageX"), q("0"));
    EXPECT_EQ(text("centerX"), q("960"));
    EXPECT_EQ(text("centerY"), q("540"));
    EXPECT_FALSE(GConfig::instance().isSaved());
}

TEST_F(DeviceAttributeTest, CentreAndCornerFollowEachOther) {
    DeviceRecord& d = addRecord(1, q("D"));
    d.stageX = 12.5;  // placed by a drag on the stage
    d.stageY = 100;
    panel->showDevice(1);
    EXPECT_EQ(text("centerX"), q("972.5"));
    set("centerY", q("300"));
    EXPECT_EQ(text("stageY"), q("-240"));
    set("deviceName", q("改名"));
    panel->editFinished();
    EXPECT_EQ(d.stageX, 12.5);
    EXPECT_EQ(d.stageY, 0.0);
    EXPECT_EQ(d.name, q("改名"));
    EXPECT_EQ(text("stageY"), q("0"));
    EXPECT_EQ(text("centerY"), q("540"));
    // Emptying a centre empties its corner; emptying a corner leaves the centre.
    set("centerX", QString());
    EXPECT_EQ(text("stageX"), QString());
    set("stageY", QString());
    EXPECT_EQ(text("centerY"), q("540"));
}

TEST_F(DeviceAttributeTest, ChecksRunInOrderAndStoreNothingOnFailure) {
    addRecord(1, q("A"), q("10.0.0.1"), 1);
    addRecord(2, q("B"), q("10.0.0.1"), 2);
    addRecord(3, q("C"), q("10.0.0.2"), 5, 1280, 720);
    struct Case {
        const char* field;
        const char* value;
        const char* title;
        const char* message;
    };
    const Case cases[] = {
        {"deviceName", "  ", "填写错误", "设备名称不能为空"},
        {"ip", "", "填写错误", "IP不能为空"},
        {"ip", "192.168.1", "填写错误", "IP格式不正确"},
        {"output", "", "填写错误", "输出不能为空"},
        {"output", "0", "填写错误", "输出请填写大于0的数字"},
        {"output", "9", "填写错误", "输出请填写1到8的数字"},
        {"output", "2", "填写错误", "输出通道已被占用"},  // before the duplicate name below
        {"deviceName", "B", "填写错误", "设备名称与已有的重复"},
        {"ip", "10.0.0.2", "设备错误", "当前服务端的分辨率输入不一致"},
    };
    for (const Case& c : cases) {
        panel->showDevice(1);
        if (QLatin1String(c.field) == QLatin1String("output") && QLatin1String(c.value) == QLatin1String("2"))
            set("deviceName", q("B"));
        set(c.field, q(c.value));
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        panel->editFinished();
        ASSERT_EQ(prompts.calls().size(), 1) << c.message;
        EXPECT_EQ(prompts.calls()[0].title, q(c.title));
        EXPECT_EQ(prompts.calls()[0].text, q(c.message));
        const DeviceRecord* d = GConfig::instance().device(1);
        EXPECT_EQ(d->name, q("A"));
        EXPECT_EQ(d->serverIp, q("10.0.0.1"));
        EXPECT_EQ(d->outputIndex, 1);
    }
    // Another server with the same output is no conflict.
    panel->showDevice(3);
    set("output", q("1"));
    set("ip", q("10.0.0.2"));
    panel->editFinished();
    EXPECT_EQ(GConfig::instance().device(3)->outputIndex, 1);
}

TEST_F(DeviceAttributeTest, ANinthDeviceCannotMoveOntoAServer) {
    for (int i = 1; i <= 8; ++i) addRecord(i, q("D%1").arg(i), q("10.0.0.9"), i);
    addRecord(9, q("new"), q("10.0.0.1"), 3);
    panel->showDevice(9);
    set("ip", q("10.0.0.9"));
    ScriptedPrompts prompts;
    prompts.answer(QMessageBox::Ok);
    panel->editFinished();
    // Its output is taken already; that is reported first.
    EXPECT_EQ(prompts.texts(), QStringList{q("输出通道已被占用")});

    GConfig::instance().devices().remove(8);
    addRecord(8, q("D8"), q("10.0.0.9"), 7);  // output 7 twice on the server: 8 is free but there are 8
    GConfig::instance().device(7)->outputIndex = 6;
    GConfig::instance().device(6)->outputIndex = 5;
    GConfig::instance().device(5)->outputIndex = 4;
    GConfig::instance().device(4)->outputIndex = 2;
    GConfig::instance().device(3)->outputIndex = 2;
    panel->showDevice(9);
    set("ip", q("10.0.0.9"));
    set("output", q("8"));
    prompts.answer(QMessageBox::Ok);
    panel->editFinished();
    EXPECT_EQ(prompts.texts().last(), q("当前IP:10.0.0.9的输出通道已用完"));
    EXPECT_EQ(GConfig::instance().device(9)->serverIp, q("10.0.0.1"));
}

TEST_F(DeviceAttributeTest, EmptyOrConnectedPanelsStayLocked) {
    addRecord(1, q("A")).online = true;
    addRecord(2, q("B"));
    panel->showDevice(1);
    EXPECT_FALSE(field("deviceName")->isEnabled());
    EXPECT_FALSE(panel->findChild<QPushButton*>(QStringLiteral("rotateBt"))->isEnabled());
    GConfig::instance().device(1)->online = false;
    panel->setFieldsEnabled(true);
    EXPECT_TRUE(field("deviceName")->isEnabled());

    panel->showDevice(2);
    panel->showDevice(0);  // disconnected or deselected: the panel forgets the device
    EXPECT_EQ(panel->shownId(), 0);
    panel->setFieldsEnabled(true);
    EXPECT_FALSE(field("deviceName")->isEnabled());
    set("deviceName", q("X"));
    panel->editFinished();
    EXPECT_EQ(GConfig::instance().device(2)->name, q("B"));
}

}  // namespace
