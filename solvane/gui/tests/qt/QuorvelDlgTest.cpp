#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include <string>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "gui/AboutDlg.h"
#include "gui/CenterControlSettingDlg.h"
#include "gui/FlushRectDlg.h"
#include "gui/QuorvelDlg.h"
#include "gui/SettingDlg.h"
#include "util/LogCapture.h"

namespace {

using guitest::Text;
using guitest::WaitEvents;
using testsupport::TempDir;

class QuorvelDlgTest : public ::testing::Test {
protected:
    QuorvelDlgTest() : core(dir.str()) {
        core.SetServices({&output, nullptr, nullptr, &system});
        core.SetCentralControl(&central);
        services.serialPorts = [] { return std::vector<int>{1}; };
        services.centralControlOpen = [] { return false; };
        services.stopCentralControl = [] {};
    }
    ~QuorvelDlgTest() override { core.SetCentralControl(nullptr); }

    TempDir dir;
    FakeOutputWindow output;
    FakeSystemServices system;
    FakeCentralControl central;
    CMediaManager core;
    DialogServices services;
};

TEST_F(QuorvelDlgTest, TrayMenuOffersTheServersCommands) {
    CQuorvelDlg dlg(core, services);
    std::vector<std::string> texts;
    for (QAction* action : dlg.TrayMenu()->actions())
        texts.push_back(action->isSeparator() ? "-" : Text(action->text()));
    EXPECT_EQ(texts, (std::vector<std::string>{"设置", "中控配置", "关于", "-", "退出"}));
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(QuorvelDlgTest, ExitAsksTheOutputWindowToQuit) {
    CQuorvelDlg dlg(core, services);
    dlg.ActionOf(kCmdExit)->trigger();
    EXPECT_EQ(output.Count("quit"), 1u);
    EXPECT_EQ(dlg.AboutDialog(), nullptr);
}

TEST_F(QuorvelDlgTest, EachMenuItemOpensItsDialogOnce) {
    CQuorvelDlg dlg(core, services);

    dlg.ActionOf(kCmdAbout)->trigger();
    QPointer<CAboutDlg> about = dlg.AboutDialog();
    ASSERT_FALSE(about.isNull());
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(Text(about->windowTitle()), "About Kestrane-Server");
    EXPECT_EQ(Text(about->VersionLabel()->text()), "产品版本: 1.0.0.3");
    // A second request while the box is open opens nothing.
    dlg.ActionOf(kCmdAbout)->trigger();
    EXPECT_EQ(dlg.AboutDialog(), about.data());
    EXPECT_EQ(dlg.findChildren<CAboutDlg*>().size(), 1);

    dlg.ActionOf(kCmdSettings)->trigger();
    ASSERT_NE(dlg.SettingDialog(), nullptr);
    EXPECT_TRUE(dlg.SettingDialog()->isVisible());
    dlg.ActionOf(kCmdCentralControl)->trigger();
    ASSERT_NE(dlg.CenterControlDialog(), nullptr);
    EXPECT_TRUE(dlg.CenterControlDialog()->isVisible());
    EXPECT_EQ(output.Count("quit"), 0u);

    // Once closed, the next request opens a fresh box.
    about->accept();
    ASSERT_TRUE(WaitEvents([&] { return about.isNull(); }));
    EXPECT_EQ(dlg.AboutDialog(), nullptr);
    dlg.OnCommand(kCmdAbout);
    ASSERT_NE(dlg.AboutDialog(), nullptr);

    // Closed and asked for again before the loop removed it: a fresh one shows.
    QPointer<CAboutDlg> closed = dlg.AboutDialog();
    closed->accept();
    dlg.OnCommand(kCmdAbout);
    EXPECT_TRUE(closed.isNull());
    ASSERT_NE(dlg.AboutDialog(), nullptr);
    EXPECT_TRUE(dlg.AboutDialog()->isVisible());
}

TEST_F(QuorvelDlgTest, RequestsFromOtherThreadsRunOnTheGuiThread) {
    CQuorvelDlg dlg(core, services);
    std::thread worker([&] {
        dlg.PostCommand(kCmdSettings);
        dlg.PostCommand(kCmdSettings);
        dlg.PostCommand(kCmdExit);
    });
    worker.join();
    EXPECT_EQ(dlg.SettingDialog(), nullptr);   // nothing happens off the GUI thread
    ASSERT_TRUE(WaitEvents([&] { return output.Count("quit") == 1; }));
    ASSERT_NE(dlg.SettingDialog(), nullptr);
    EXPECT_EQ(dlg.findChildren<CSettingDlg*>().size(), 1);
}

TEST_F(QuorvelDlgTest, WithoutASystemTrayTheServerGoesOn) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a tray";
    util::LogCapture log;
    CQuorvelDlg dlg(core, services);
    EXPECT_EQ(dlg.TrayIcon(), nullptr);
    EXPECT_TRUE(log.Contains("no system tray"));
    // The commands still work.
    dlg.OnCommand(kCmdExit);
    EXPECT_EQ(output.Count("quit"), 1u);
}

TEST_F(QuorvelDlgTest, EnterAndEscapeNeverCloseTheMainDialog) {
    CQuorvelDlg dlg(core, services);
    dlg.show();
    dlg.accept();
    dlg.reject();
    EXPECT_TRUE(dlg.isVisible());
}

TEST(FlushRectDlg, CoversTheRectangleAndAlternatesGreenAndRed) {
    CFlushRectDlg first(RECT{100, 50, 420, 290});
    EXPECT_EQ(first.geometry(), QRect(100, 50, 320, 240));
    EXPECT_FALSE(first.CurrentColour().isValid());

    const QColor green(0, 255, 0), red(255, 0, 0);
    first.Flash();
    const QColor a = first.CurrentColour();
    ASSERT_TRUE(a == green || a == red);
    const QColor b = a == green ? red : green;
    first.Flash();
    EXPECT_EQ(first.CurrentColour(), b);
    // The alternation goes on from one flasher to the next.
    CFlushRectDlg second(RECT{0, 0, 10, 10});
    second.Flash();
    EXPECT_EQ(second.CurrentColour(), a);
}

TEST(FlushRectDlg, FlashesAndClosesByItself) {
    TempDir dir;
    FakeOutputWindow output;
    CMediaManager core(dir.str());
    core.SetServices({&output, nullptr, nullptr, nullptr});
    CQuorvelDlg dlg(core, DialogServices{});
    std::thread([&] { dlg.PostFlushRect(RECT{10, 20, 110, 220}); }).join();

    QPointer<CFlushRectDlg> flasher;
    ASSERT_TRUE(WaitEvents([&] {
        const auto found = dlg.findChildren<CFlushRectDlg*>();
        if (!found.isEmpty()) flasher = found.front();
        return !flasher.isNull();
    }));
    EXPECT_EQ(flasher->geometry(), QRect(10, 20, 100, 200));
    EXPECT_TRUE(WaitEvents([&] { return !flasher.isNull() && flasher->CurrentColour().isValid(); }));
    // It closes after its two seconds and is gone.
    EXPECT_TRUE(WaitEvents([&] { return flasher.isNull(); }, std::chrono::seconds(10)));

    // An empty rectangle shows nothing.
    dlg.ShowFlushRect(RECT{5, 5, 5, 50});
    EXPECT_TRUE(dlg.findChildren<CFlushRectDlg*>().isEmpty());
}

}  // namespace
