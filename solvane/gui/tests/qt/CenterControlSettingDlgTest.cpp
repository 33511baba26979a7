#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>

#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "core/QuorvelApp.h"
#include "gui/CenterControlSettingDlg.h"
#include "platform/ini.h"

namespace {

using guitest::Text;
using testsupport::TempDir;

std::vector<std::string> Items(const QComboBox* combo) {
    std::vector<std::string> out;
    for (int i = 0; i < combo->count(); ++i) out.push_back(Text(combo->itemText(i)));
    return out;
}

class CenterControlDlgTest : public ::testing::Test {
protected:
    CenterControlDlgTest() : core(dir.str()) {
        core.SetCentralControl(&central);
        services.serialPorts = [this] { return ports; };
        services.centralControlOpen = [this] { return open; };
        services.stopCentralControl = [this] {
            ++stops;
            open = false;
        };
    }
    ~CenterControlDlgTest() override { core.SetCentralControl(nullptr); }

    // Fills every list with a valid choice.
    static void ChooseValid(CCenterControlSettingDlg& dlg) {
        dlg.PortList()->setCurrentText("COM3");
        dlg.BaudList()->setCurrentText("115200");
        dlg.DataBitsList()->setCurrentText("7");
        dlg.StopBitsList()->setCurrentText("2位");
        dlg.ParityList()->setCurrentText("奇校验");
        dlg.EnableBox()->setChecked(true);
    }

    TempDir dir;
    CMediaManager core;
    FakeCentralControl central;
    DialogServices services;
    std::vector<int> ports{1, 3};
    bool open = false;
    int stops = 0;
};

TEST_F(CenterControlDlgTest, ListsShowTheCurrentSettings) {
    central.settings = {1, 3, 38400, 7, 2, 1};   // enable, port, baud, data bits, parity even, stop 1.5
    open = true;
    CCenterControlSettingDlg dlg(core, services);

    EXPECT_EQ(Text(dlg.windowTitle()), "中控配置");
    EXPECT_EQ(Items(dlg.PortList()), (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_EQ(Text(dlg.PortList()->currentText()), "COM3");
    // A baud rate outside the list is shown as a sixth entry and stays chosen.
    EXPECT_EQ(Items(dlg.BaudList()), (std::vector<std::string>{"9600", "19200", "57600", "115200", "256000", "38400"}));
    EXPECT_EQ(Text(dlg.BaudList()->currentText()), "38400");
    EXPECT_EQ(Items(dlg.DataBitsList()), (std::vector<std::string>{"8", "7"}));
    EXPECT_EQ(Text(dlg.DataBitsList()->currentText()), "7");
    EXPECT_EQ(Items(dlg.StopBitsList()), (std::vector<std::string>{"1位", "1.5位", "2位"}));
    EXPECT_EQ(Text(dlg.StopBitsList()->currentText()), "1.5位");
    EXPECT_EQ(Items(dlg.ParityList()),
              (std::vector<std::string>{"无校验", "偶校验", "奇校验", "MARK校验", "SPACE校验"}));
    EXPECT_EQ(Text(dlg.ParityList()->currentText()), "偶校验");
    EXPECT_TRUE(dlg.EnableBox()->isChecked());
    EXPECT_EQ(Text(dlg.EnableBox()->text()), "启用中控");
    EXPECT_EQ(Text(dlg.StatusLabel()->text()), "当前状态：中控监控中...");

    open = false;
    CCenterControlSettingDlg closed(core, services);
    EXPECT_EQ(Text(closed.StatusLabel()->text()), "当前状态：中控未启动");
}

TEST_F(CenterControlDlgTest, AnAbsentPortStaysTheChoice) {
    central.settings.port = 7;
    CCenterControlSettingDlg dlg(core, services);
    EXPECT_EQ(Items(dlg.PortList()), (std::vector<std::string>{"COM1", "COM3", "COM7"}));
    EXPECT_EQ(Text(dlg.PortList()->currentText()), "COM7");
}

TEST_F(CenterControlDlgTest, ParityLabelsMatchTheSerialCodes) {
    // none 0, odd 1, even 2, mark 3 as the serial layer counts them.
    const std::pair<const char*, int> cases[] = {{"无校验", 0}, {"偶校验", 2}, {"奇校验", 1}, {"MARK校验", 3}};
    for (const auto& [label, code] : cases) {
        SCOPED_TRACE(label);
        central.calls.clear();
        CCenterControlSettingDlg dlg(core, services);
        dlg.show();
        ChooseValid(dlg);
        dlg.ParityList()->setCurrentText(QString::fromUtf8(label));
        dlg.accept();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(central.settings.parity, code);
        CCenterControlSettingDlg again(core, services);
        EXPECT_EQ(Text(again.ParityList()->currentText()), label);
    }
}

TEST_F(CenterControlDlgTest, ValidChoiceStartsStoresAndSaves) {
    CCenterControlSettingDlg dlg(core, services);
    dlg.show();
    ChooseValid(dlg);
    dlg.accept();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(central.calls, (std::vector<std::string>{"set", "start", "save"}));
    const SerialPortSettings s = central.settings;
    EXPECT_EQ(s.enable, 1);
    EXPECT_EQ(s.port, 3);
    EXPECT_EQ(s.baud, 115200);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_EQ(s.parity, 1);
}

TEST_F(CenterControlDlgTest, BadChoicesAreRefusedWithTheirMessage) {
    struct Case {
        const char* name;
        std::function<void(CCenterControlSettingDlg&)> spoil;
        const char* message;
    };
    const Case cases[] = {
        {"no port", [](auto& d) { d.PortList()->setCurrentIndex(-1); }, "串口号设置错误！"},
        {"baud 0 from the file",
         [](auto& d) {
             d.BaudList()->addItem("0");
             d.BaudList()->setCurrentText("0");
         },
         "波特率设置错误！"},
        {"no data bits", [](auto& d) { d.DataBitsList()->setCurrentIndex(-1); }, "数据位设置错误！"},
        {"no stop bits", [](auto& d) { d.StopBitsList()->setCurrentIndex(-1); }, "停止位设置错误！"},
        {"space parity", [](auto& d) { d.ParityList()->setCurrentText("SPACE校验"); }, "奇偶位设置错误！"},
        {"no parity", [](auto& d) { d.ParityList()->setCurrentIndex(-1); }, "奇偶位设置错误！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        central.calls.clear();
        const SerialPortSettings before = central.settings;
        CCenterControlSettingDlg dlg(core, services);
        dlg.show();
        ChooseValid(dlg);
        c.spoil(dlg);
        dlg.accept();

        EXPECT_TRUE(dlg.isVisible());
        ASSERT_NE(dlg.OpenMessage(), nullptr);
        EXPECT_EQ(Text(dlg.OpenMessage()->text()), c.message);
        EXPECT_EQ(Text(dlg.OpenMessage()->windowTitle()), "配置错误");
        EXPECT_EQ(dlg.OpenMessage()->icon(), QMessageBox::Critical);
        EXPECT_TRUE(central.calls.empty());
        EXPECT_EQ(central.settings.port, before.port);
        EXPECT_EQ(central.settings.enable, before.enable);
    }
}

TEST_F(CenterControlDlgTest, FailedStartAnsweredYesKeepsTheSettings) {
    central.startResult = 2;
    CCenterControlSettingDlg dlg(core, services);
    dlg.show();
    ChooseValid(dlg);
    dlg.accept();

    QPointer<QMessageBox> box = dlg.OpenMessage();
    ASSERT_FALSE(box.isNull());
    EXPECT_EQ(Text(box->windowTitle()), "中控启动失败");
    EXPECT_EQ(Text(box->text()), "启动中控失败，可能串口参数配置错误。\n是否仍然使用此次配置参数?");
    EXPECT_TRUE(dlg.isVisible());
    guitest::Press(box, QMessageBox::Yes);

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(central.calls, (std::vector<std::string>{"set", "start", "save"}));
    EXPECT_EQ(central.settings.port, 3);
    EXPECT_EQ(central.settings.enable, 1);
}

TEST_F(CenterControlDlgTest, FailedStartAnsweredNoChangesNothing) {
    central.settings = {1, 1, 9600, 8, 0, 0};
    open = true;   // the old port serves commands until the new one is tried
    central.startResult = 2;
    CCenterControlSettingDlg dlg(core, services);
    dlg.show();
    ChooseValid(dlg);
    dlg.accept();
    guitest::Press(dlg.OpenMessage(), QMessageBox::No);

    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    // Nothing saved; the old settings are back and their port is opened again.
    EXPECT_EQ(central.calls, (std::vector<std::string>{"set", "start", "set", "start"}));
    EXPECT_EQ(central.settings.port, 1);
    EXPECT_EQ(central.settings.baud, 9600);
}

TEST_F(CenterControlDlgTest, SwitchingOffStopsAnOpenPortAndSaves) {
    central.settings = {1, 3, 9600, 8, 0, 0};
    open = true;
    CCenterControlSettingDlg dlg(core, services);
    dlg.show();
    dlg.EnableBox()->setChecked(false);
    dlg.accept();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(central.calls, (std::vector<std::string>{"set", "save"}));
    EXPECT_EQ(central.settings.enable, 0);
}

// The application's own save writes what the dialog chose into [SerialPort].
class AppCentral : public ICentralControl {
public:
    explicit AppCentral(CQuorvelApp& app) : app_(app) {}
    SerialPortSettings Settings() override {
        return {app_.m_nCentralEnable, app_.m_nCentralPort, app_.m_nCentralBaud, app_.m_nCentralDataBits,
                app_.m_nCentralParity, app_.m_nCentralStopBits};
    }
    void SetSettings(const SerialPortSettings& s) override {
        app_.m_nCentralEnable = s.enable;
        app_.m_nCentralPort = s.port;
        app_.m_nCentralBaud = s.baud;
        app_.m_nCentralDataBits = s.dataBits;
        app_.m_nCentralParity = s.parity;
        app_.m_nCentralStopBits = s.stopBits;
    }
    int32_t Start() override { return 2; }
    void SaveSettings() override { app_.SaveSerialPortConfig(); }

private:
    CQuorvelApp& app_;
};

TEST_F(CenterControlDlgTest, SavedSettingsLandInMediacfg) {
    CQuorvelApp app;
    app.m_strConfigPath = (dir / "mediacfg.ini").string();
    AppCentral appCentral(app);
    core.SetCentralControl(&appCentral);

    CCenterControlSettingDlg dlg(core, services);
    dlg.show();
    ChooseValid(dlg);
    dlg.EnableBox()->setChecked(false);
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    const std::string ini = app.m_strConfigPath;
    auto get = [&](const char* key) { return platform::GetPrivateProfileInt("SerialPort", key, -99, ini.c_str()); };
    EXPECT_EQ(get("Enable"), 0);
    EXPECT_EQ(get("Port"), 3);
    EXPECT_EQ(get("Baud"), 115200);
    EXPECT_EQ(get("Databits"), 7);
    EXPECT_EQ(get("Stopbits"), 2);
    EXPECT_EQ(get("Parity"), 1);
}

}  // namespace
