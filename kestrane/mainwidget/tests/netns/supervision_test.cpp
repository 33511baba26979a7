// Connect rounds against addresses where no display server listens, in a
// namespace of the test's own (the command port is a fixed one).
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/pictures.h"
#include "kestrane/prompt.h"
#include "support/QtSpin.h"

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

TEST_F(Supervision, QuitDuringARoundWaitsForItsThreads) {
    addDevice(QStringLiteral("127.0.0.2"));
    window->connectButton()->click();
    // The window goes while its connection thread may still run: no crash,
    // no thread destroyed running.
    window.reset();
    SUCCEED();
}

}  // namespace
