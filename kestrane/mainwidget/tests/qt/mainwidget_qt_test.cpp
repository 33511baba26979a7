#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/prompt.h"
#include "kestrane/settings.h"
#include "lintra/KestraneStageServer.h"
#include "support/QtWidgetTestApp.h"
#include "support/support.h"

namespace {

// Each test gets its own configuration folder, so setting.ini starts empty.
class MainWidgetQt : public ::testing::Test, public kestrane::PromptProvider {
protected:
    // No box may wait for an operator here: questions are answered No.
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        kestrane::PromptAnswer a;
        a.button = request.kind == kestrane::PromptRequest::Question ? QMessageBox::No : QMessageBox::Ok;
        return a;
    }
    void SetUp() override {
        kestrane::setPromptProvider(this);
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) m_oldConfig = old;
        m_hadConfig = old != nullptr;
        setenv("XDG_CONFIG_HOME", m_dir.str().c_str(), 1);
        testApp();
        MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
    }
    void TearDown() override {
        MainWidget::setStartPanelRunner(nullptr);
        kestrane::setPromptProvider(nullptr);
        if (m_hadConfig) setenv("XDG_CONFIG_HOME", m_oldConfig.c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
    }
    void write(const QString& key, const QVariant& value) {
        std::unique_ptr<QSettings> s = kestrane::openSettings();
        s->setValue(key, value);
        s->sync();
    }
    testsupport::TempDir m_dir;
    std::string m_oldConfig;
    bool m_hadConfig = false;
};

TEST_F(MainWidgetQt, ConstructionSetsTheListsTimersAndSize) {
    MainWidget w;
    EXPECT_EQ(w.size(), QSize(800, 600));
    EXPECT_EQ(w.windowNameList(),
              (QStringList{"DPlayControlWindow", "DPauseControlWindow", "DJumpControlWindow",
                           "AddDeviceDialogWindow", "DStringOutWindow", "QMessageBoxClassWindow",
                           "DTimeAxisStringOutWindow"}));
    EXPECT_EQ(w.classNameList(),
              (QStringList{"QLineEdit", "QTextEdit", "QPushButton", "DJumpControl", "DStringOut",
                           "DTimeAxisStringOut", "DPauseControl", "DPlayControl", "QMessageBox",
                           "AddDeviceDialog"}));
    EXPECT_EQ(w.lastSaveTime(), uint(-1));
    EXPECT_EQ(w.autoSaveInterval(), 0);
    ASSERT_NE(w.mediaUpdateTimer(), nullptr);
    EXPECT_EQ(w.mediaUpdateTimer()->interval(), 100);
    EXPECT_TRUE(w.mediaUpdateTimer()->isActive());
    EXPECT_EQ(w.mediaUpdateTimer()->parent(), &w);
    EXPECT_EQ(w.autoSaveTimer()->interval(), 1000);
    EXPECT_TRUE(w.autoSaveTimer()->isActive());
    EXPECT_TRUE(QMetaType::type("QList<int>") != QMetaType::UnknownType);
}

TEST_F(MainWidgetQt, TheFirstPassesOfTheLoopMarkTheProjectSavedAndApplyTheOptions) {
    GConfig& config = GConfig::instance();
    config.setSaved(false);
    write("GeneralSettings/autoSaveInterval", 0);
    write("base/showList", 1);  // no start panel in a test
    MainWidget w;
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        QCoreApplication::processEvents();
        return config.isSaved() && w.lastSaveTime() != uint(-1);
    }));
    EXPECT_EQ(w.autoSaveInterval(), 60);
    EXPECT_GE(qint64(w.lastSaveTime()), before - 1);
}

TEST_F(MainWidgetQt, AutoStartMinimisesExactlyWhenAsked) {
    for (bool minimize : {false, true}) {
        write("GeneralSettings/clientAutoMinimize", minimize);
        write("GeneralSettings/clientAutoLoadFile", false);
        write("GeneralSettings/autoSaveInterval", 5);
        MainWidget w;
        w.show();
        w.applyStartupOptions({"kestrane", "start"});
        EXPECT_EQ(w.isMinimized(), minimize) << minimize;
        EXPECT_EQ(w.autoSaveInterval(), 300);
        EXPECT_EQ(w.pendingConnectThreads(), 0);
        EXPECT_FALSE(GConfig::instance().isConnected());
    }
}

TEST_F(MainWidgetQt, TheDeleteActionLosesItsShortcut) {
    write("base/showList", 1);
    MainWidget w;
    QAction del(&w);
    del.setShortcut(QKeySequence(Qt::Key_Delete));
    w.actions().insert(QStringLiteral("del"), &del);
    w.applyStartupOptions({"kestrane"});
    EXPECT_TRUE(del.shortcut().isEmpty());
}

TEST_F(MainWidgetQt, AutoConnectAndPlayGivesUpWhenNoConnectionIsPending) {
    MainWidget w;
    bool returned = false;
    QTimer::singleShot(0, &w, [&] {
        w.autoConnectAndPlay(true);
        returned = true;
    });
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        QCoreApplication::processEvents();
        return returned;
    }));
}

// The library names a dropped session by its socket, which only means
// something while the library holds it: the note carries the server's IP.
TEST_F(MainWidgetQt, DroppedSessionsAreNotedByServerWhileConnected) {
    GConfig& config = GConfig::instance();
    uint16_t port = 0;
    const int listener = testsupport::BindLoopback(SOCK_STREAM, port);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    const QString ip = QStringLiteral("127.0.0.1");
    CKestraneStageServer* session = config.clientSession(ip, 1);
    ASSERT_EQ(session->ConnectServer("127.0.0.1", port, 5), 1);
    const int socket = session->GetSocket();

    config.droppedServerIps(2);
    config.setConnected(false);
    clientSessionCallback(socket, nullptr);  // not connected: not noted
    EXPECT_TRUE(config.droppedServerIps(0).isEmpty());
    config.setConnected(true);
    clientSessionCallback(socket + 1000, nullptr);  // no session of ours
    EXPECT_TRUE(config.droppedServerIps(0).isEmpty());
    clientSessionCallback(socket, nullptr);
    clientSessionCallback(socket, nullptr);
    EXPECT_EQ(config.droppedServerIps(3), QStringList{ip});
    EXPECT_TRUE(config.droppedServerIps(0).isEmpty());

    config.setConnected(false);
    config.clientSession(ip, 2);
    ::close(listener);
}

TEST_F(MainWidgetQt, CloseRunsTheQuitProcedure) {
    MainWidget w;
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
