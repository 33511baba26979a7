// Connect rounds against addresses where no display server listens, in a
// namespace of the test's own (the command port is a fixed one).
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/pictures.h"
#include "kestrane/prompt.h"
#include "kestrane/timeaxiswidget.h"
#include "lintra/netcodes.h"
#include "support/QtSpin.h"
#include "support/ScriptedServer.h"

namespace {

QApplication* app() {
    static int argc = 1;
    static char name[] = "kestrane_mainwidget_netns_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        auto* created = new QApplication(argc, argv);
        kestrane::initPictures();
        return created;
    }();
    return a;
}

class Supervision : public ::testing::Test, public kestrane::PromptProvider {
protected:
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        prompts << request.text;
        kestrane::PromptAnswer a;
        a.button = QMessageBox::Ok;
        return a;
    }
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        app();
        kestrane::setPromptProvider(this);
        MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
        window = std::make_unique<MainWidget>();
        window->show();
    }
    void TearDown() override {
        window.reset();
        GConfig& g = GConfig::instance();
        g.setSaved(true);
        g.clearProject();
        kestrane::setPromptProvider(nullptr);
        MainWidget::setStartPanelRunner(nullptr);
    }
    void addDevice(const QString& ip) {
        DeviceRecord d;
        d.serverIp = ip;
        d.width = 1920;
        d.height = 1080;
        d.outputIndex = 1;
        GConfig& g = GConfig::instance();
        g.devices().insert(g.nextDeviceId(), d);
    }

    QTemporaryDir m_config;
    std::unique_ptr<MainWidget> window;
    QStringList prompts;
};

TEST_F(Supervision, EveryServerDownWarnsOnceAndRunsADisconnectRound) {
    GConfig& g = GConfig::instance();
    addDevice(QStringLiteral("127.0.0.2"));
    addDevice(QStringLiteral("127.0.0.3"));
    addDevice(QStringLiteral("127.0.0.3"));

    window->connectButton()->click();
    EXPECT_FALSE(window->connectButton()->isEnabled());  // no second round meanwhile
    EXPECT_EQ(window->pendingConnectThreads(), 2);        // one thread per server
    ASSERT_TRUE(spinUntil([&] { return !prompts.isEmpty(); }, 60000));
    EXPECT_EQ(prompts, QStringList{QStringLiteral("无所与所有设备建立连接")});
    // The disconnect round that follows leaves everything as before.
    ASSERT_TRUE(spinUntil(
        [&] { return window->connectButton()->isEnabled() && window->pendingConnectThreads() == 0; }, 60000));
    EXPECT_FALSE(g.isConnected());
    EXPECT_FALSE(window->connectButton()->isChecked());
    EXPECT_EQ(window->connectButton()->toolTip(), QStringLiteral("连接设备"));
    EXPECT_EQ(window->connectButton()->styleSheet(), window->notConnectedStyle());
    for (const DeviceRecord& d : g.devices()) EXPECT_FALSE(d.online);
    EXPECT_EQ(window->mediaUpdateRequest(1), 0);
    EXPECT_EQ(prompts.size(), 1);
}

// A server that drops while the show runs is tried again on its own: no box
// waits for a person, it gets its world again and is told the play state;
// a disconnect of the operator's ends the attempts.
TEST_F(Supervision, ADroppedServerIsTakenBackWithoutAnyone) {
    using lintratest::Reply;
    using lintratest::Request;
    GConfig& g = GConfig::instance();
    std::atomic<bool> dropNextPause{false};
    lintratest::ScriptedServer server(
        [&](const Request& r) {
            if (r.head.command == NETCMD::PauseMedia && dropNextPause.exchange(false)) return Reply::CloseNow();
            return Reply::Echo(r.head, 0);
        },
        "127.0.0.1", 30100);
    addDevice(QStringLiteral("127.0.0.1"));
    window->connectButton()->click();
    ASSERT_TRUE(spinUntil([&] { return g.isConnected() && g.devices().first().online; }, 60000));
    ASSERT_TRUE(spinUntil([&] { return window->connectButton()->isEnabled(); }, 60000));
    EXPECT_TRUE(prompts.isEmpty());

    // The show is paused at 2 s when the server goes away.
    g.setTimelineLength(600000, 0);
    window->timeAxisWidget()->setCurrentTime(2000);
    dropNextPause = true;
    g.pauseServers();
    const QString dropText = QStringLiteral("IP：127.0.0.1下的所有设备连接中断！");
    ASSERT_TRUE(spinUntil([&] { return prompts.contains(dropText); }, 60000));
    // Back without a click: a second connection that took the world with
    // the device's edge values and curves, then the play position and the pause.
    ASSERT_TRUE(spinUntil(
        [&] { return g.devices().first().online && window->reconnectingServers().isEmpty() && !window->isBusy(); },
        60000));
    ASSERT_TRUE(spinUntil(
        [&] {
            std::vector<uint32_t> again;
            for (const Request& r : server.Requests())
                if (r.connection == 1) again.push_back(r.head.command);
            return again == std::vector<uint32_t>{NETCMD::ClearAllMedia,         NETCMD::ResetWorldConfig,
                                                  NETCMD::SetEdgeEliminateParam, NETCMD::SetGlobalColor,
                                                  NETCMD::SetCurrentTimeLine,    NETCMD::PauseMedia};
        },
        60000));
    for (const Request& r : server.Requests())
        if (r.connection == 1 && r.head.command == NETCMD::SetCurrentTimeLine)
            EXPECT_DOUBLE_EQ(r.head.realParam[0], 2.0);
    EXPECT_TRUE(g.isConnected());
    EXPECT_TRUE(window->connectButton()->isChecked());
    EXPECT_EQ(prompts.count(dropText), 1);

    // Gone for good: tried again and again, until the operator disconnects.
    server.CloseListener();
    dropNextPause = true;
    g.pauseServers();
    ASSERT_TRUE(spinUntil([&] { return window->reconnectingServers() == QStringList{QStringLiteral("127.0.0.1")}; },
                          60000));
    EXPECT_FALSE(g.devices().first().online);
    EXPECT_TRUE(g.isConnected());
    window->connectButton()->click();
    ASSERT_TRUE(spinUntil([&] { return !g.isConnected() && window->connectButton()->isEnabled(); }, 60000));
    EXPECT_TRUE(window->reconnectingServers().isEmpty());
    EXPECT_EQ(prompts.count(dropText), 2);
}

TEST_F(Supervision, QuitDuringARoundWaitsForItsThreads) {
    addDevice(QStringLiteral("127.0.0.2"));
    window->connectButton()->click();
    // The window goes while its connection thread may still run: no crash,
    // no thread destroyed running.
    window.reset();
    SUCCEED();
}

}  // namespace
