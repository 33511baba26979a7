// The connect thread against a whole display server in its own namespace.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>

#include "kestrane/deviceconnectthread.h"
#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"
#include "support/QtSpin.h"
#include "support/RemoteServer.h"

namespace {

QCoreApplication* app() {
    static int argc = 1;
    static char name[] = "kestrane_threads_e2e_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* a = new QCoreApplication(argc, argv);
    return a;
}

int runConnect(const QString& ip, bool connect) {
    std::atomic<bool> finished{false};
    int result = 99;
    auto* t = new DeviceConnectThread({1}, ip, connect);
    QObject::connect(t, &DeviceConnectThread::connectFinished, app(),
                     [&result](QList<int>, QString, int r, bool) { result = r; });
    QObject::connect(t, &QThread::finished, t, &QObject::deleteLater);
    QObject::connect(t, &QThread::finished, [&finished] { finished = true; });
    t->start(QThread::InheritPriority);
    EXPECT_TRUE(spinUntil([&] { return finished.load(); }, 30000));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return result;
}

TEST(ConnectThreadE2E, ConnectsSendsTheWorldAndDisconnects) {
    app();
    testsupport::TempDir dir;
    e2e::RemoteServer server;
    ASSERT_TRUE(server.Start(1, dir / "wall")) << server.ErrorText();
    const QString ip = QString::fromStdString(server.Address());

    GConfig& c = GConfig::instance();
    c.clearProject();
    DeviceRecord d;
    d.name = QStringLiteral("主屏");
    d.serverIp = ip;
    d.width = 1920;
    d.height = 1080;
    d.outputIndex = 1;
    c.devices().insert(1, d);
    c.updateWorldConfigs(1);

    EXPECT_EQ(runConnect(ip, true), 0) << server.ErrorText();
    ASSERT_NE(c.clientSession(ip, 0), nullptr);
    EXPECT_TRUE(c.clientSession(ip, 0)->IsConnected());
    // The server took the world: it reports the channel's size back.
    WORLD_BASE_INFO world{};
    ASSERT_EQ(c.clientSession(ip, 0)->GetWorldConfig(world), 0);
    EXPECT_EQ(world.channelCount, 1);
    EXPECT_EQ(world.width, 1920);
    EXPECT_EQ(world.height, 1080);

    EXPECT_EQ(runConnect(ip, false), 0);
    EXPECT_EQ(c.clientSession(ip, 0), nullptr);
    c.clearProject();
}

}  // namespace
