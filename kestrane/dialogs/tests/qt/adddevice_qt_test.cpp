#include <QComboBox>
#include <QLineEdit>

#include "support/ProjectTest.h"
#include "kestrane/adddevicedialog.h"
#include "kestrane/settings.h"
#include "support/ScriptedPrompts.h"

namespace {

class AddDeviceTest : public ProjectTest {
protected:
    static QLineEdit* field(QDialog& d, const char* name) { return d.findChild<QLineEdit*>(QLatin1String(name)); }
    static QComboBox* box(QDialog& d) { return d.findChild<QComboBox*>(QStringLiteral("resolution")); }
};

TEST_F(AddDeviceTest, AFreshDialogOffersTheFirstDevice) {
    DeviceRecord r;
    AddDeviceDialog d(&r, -1);
    EXPECT_EQ(d.windowTitle(), q("添加设备"));
    EXPECT_EQ(field(d, "deviceName")->text(), q("显示1"));
    EXPECT_EQ(field(d, "ip")->text(), q("192.168.1.1"));
    EXPECT_EQ(field(d, "output")->text(), q("1"));
    EXPECT_EQ(box(d)->currentText(), q("VGA  (640x480)"));
    EXPECT_EQ(field(d, "width")->text(), q("640"));
    EXPECT_FALSE(field(d, "width")->isEnabled());
    EXPECT_EQ(d.size(), QSize(307, 181));

    addRecord(1, q("显示3"));
    addRecord(2, q("投影显示12"));
    EXPECT_EQ(AddDeviceDialog::defaultDeviceName(), q("显示13"));
}

TEST_F(AddDeviceTest, TheLastEntriesAreRemembered) {
    {
        DeviceRecord r;
        AddDeviceDialog d(&r, 9);  // UHD  (1920x1200)
        field(d, "ip")->setText(q("10.0.0.5"));
        d.accept();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(r.width, 1920);
        EXPECT_EQ(r.height, 1200);
        EXPECT_EQ(r.serverIp, q("10.0.0.5"));
    }
    {
        DeviceRecord r;
        AddDeviceDialog d(&r, -1);
        EXPECT_EQ(box(d)->currentText(), q("UHD  (1920x1200)"));
        EXPECT_EQ(field(d, "ip")->text(), q("10.0.0.5"));
        // A custom size, remembered only for the custom entry.
        box(d)->setCurrentIndex(10);
        EXPECT_TRUE(field(d, "width")->isEnabled());
        field(d, "width")->setText(q("1000"));
        field(d, "height")->setText(q("500"));
        d.accept();
    }
    {
        DeviceRecord r;
        AddDeviceDialog d(&r, -1);
        EXPECT_EQ(box(d)->currentIndex(), 10);
        EXPECT_EQ(field(d, "width")->text(), q("1000"));
        box(d)->setCurrentIndex(0);
        d.accept();
    }
    const kestrane::BaseSettings b = kestrane::BaseSettings::read();
    EXPECT_EQ(b.index, 0);
    EXPECT_EQ(b.width, 1000);  // a fixed preset leaves the custom size alone
    DeviceRecord r;
    AddDeviceDialog d(&r, 10);
    EXPECT_EQ(field(d, "height")->text(), q("500"));
}

TEST_F(AddDeviceTest, RefusalsInOrder) {
    addRecord(1, q("甲"), q("10.0.0.1"), 2, 800, 600);  // lower id: a resolution that differs
    addRecord(2, q("乙"), q("10.0.0.1"), 1, 640, 480);
    for (int i = 3; i <= 10; ++i) addRecord(i, q("丙%1").arg(i), q("10.0.0.2"), i - 2, 640, 480);
    struct Case {
        const char* field;
        const char* value;
        const char* title;
        const char* text;
    };
    const Case cases[] = {
        {"deviceName", " ", "填写错误", "设备名称不能为空"},
        {"deviceName", " 甲 ", "填写错误", "设备名称与已有的重复"},
        {"ip", "", "填写错误", "IP不能为空"},
        {"ip", "192.168.1", "填写错误", "IP格式不正确"},
        {"output", "0", "填写错误", "输出请填写大于0的数字"},
        {"output", "9", "填写错误", "输出请填写1到8的数字"},
        {"width", "0", "填写错误", "设备宽度需大于0"},
        {"height", "", "填写错误", "设备高度需大于0"},
        {"ip", "10.0.0.1", "设备错误", "当前服务端的分辨率输入不一致"},  // id 1 decides before id 2
        {"ip", "10.0.0.2", "设备错误", "输出通道已被占用"},
    };
    for (const Case& c : cases) {
        DeviceRecord r;
        AddDeviceDialog d(&r, 10);
        field(d, "width")->setText(q("640"));
        field(d, "height")->setText(q("480"));
        field(d, "ip")->setText(q("10.0.0.9"));
        field(d, c.field)->setText(q(c.value));
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        d.accept();
        EXPECT_NE(d.result(), QDialog::Accepted) << c.text;
        EXPECT_EQ(prompts.titles(), QStringList{q(c.title)}) << c.text;
        EXPECT_EQ(prompts.texts(), QStringList{q(c.text)});
    }
    // Eight devices on a server, channel 8 still unused (two share channel 1).
    const int outputs[] = {1, 1, 2, 3, 4, 5, 6, 7};
    for (int i = 3; i <= 10; ++i) GConfig::instance().device(i)->outputIndex = outputs[i - 3];
    DeviceRecord r;
    AddDeviceDialog d(&r, 0);
    field(d, "ip")->setText(q("10.0.0.2"));
    field(d, "output")->setText(q("8"));
    ScriptedPrompts prompts;
    prompts.answer(QMessageBox::Ok);
    d.accept();
    EXPECT_EQ(prompts.texts(), QStringList{q("当前服务端的输出通道已用完")});
}

TEST_F(AddDeviceTest, TheTestButtonChecksTheChannelBeforeConnecting) {
    addRecord(1, q("甲"), q("127.0.0.1"), 1, 640, 480);
    DeviceRecord r;
    AddDeviceDialog d(&r, 0);
    field(d, "ip")->setText(q("127.0.0.1"));
    ScriptedPrompts prompts;
    prompts.answer(QMessageBox::Ok);
    d.testDevice();
    EXPECT_EQ(prompts.titles(), QStringList{q("连线测试")});
    EXPECT_EQ(prompts.texts(), QStringList{q("输出通道已被占用")});
}

}  // namespace
