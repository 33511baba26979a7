// A command string sent to the console's command port starts and pauses
// the show on a whole display server, and the output the play head passes
// fires on the way.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "kestrane/commandmonitor.h"
#include "lintra/ClientSession.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/ioctrl.h"
#include "qt/axisfixture.h"
#include "support/RemoteServer.h"
#include "support/support.h"

namespace {

const bool kOffscreen = [] { return setenv("QT_QPA_PLATFORM", "offscreen", 1) == 0; }();

// Whole programs on a loaded machine: generous deadlines.
template <typename Condition>
bool waitLong(Condition condition) {
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool sendCommand(const std::string& text) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kestrane::monitor::kCommandPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

class ShowControlE2E : public AxisTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(kOffscreen);
        TimeAxisWidget::setCommandMonitorPort(kestrane::monitor::kCommandPort);
        AxisTest::SetUp();
        ASSERT_TRUE(waitLong([] { return tolva_io_ctrl::GetMonitorListenPort() == 30101u; }));
    }
    void TearDown() override {
        GConfig& config = GConfig::instance();
        axis->pause();
        config.setOutputStarter(nullptr);
        config.setConnected(false);
        if (!ip.isEmpty())
            config.clientSession(ip, 2);
        AxisTest::TearDown();
        TimeAxisWidget::setCommandMonitorPort(-1);
    }
    QString ip;
};

TEST_F(ShowControlE2E, ACommandOnThePortPlaysAndPausesTheServer) {
    testsupport::TempDir dir;
    e2e::RemoteServer server;
    ASSERT_TRUE(server.Start(1, dir / "wall")) << server.ErrorText();
    ip = QString::fromStdString(server.Address());

    GConfig& config = GConfig::instance();
    DeviceRecord d;
    d.serverIp = ip;
    d.outputIndex = 1;
    d.width = 1920;
    d.height = 1080;
    config.devices().insert(1, d);
    CKestraneStageServer* session = config.clientSession(ip, 1);
    ASSERT_NE(session, nullptr);
    ASSERT_EQ(session->ConnectServer(ip.toLatin1().constData(), 30100, 10), 1) << server.ErrorText();
    config.setConnected(true);
    config.setTimelineLength(60000, 0);

    const int row = rowOf(QStringLiteral("L1"));
    PlayControlRecord go;
    go.id = 1;
    go.type = 1;
    go.time = 1000;
    go.command = QStringLiteral("GO");
    go.layerRow = row;
    config.addPlayControl(go);
    PlayControlRecord hold = go;
    hold.id = 2;
    hold.type = 0;
    hold.time = 30000;
    hold.command = QStringLiteral("HOLD");
    config.addPlayControl(hold);
    LayerIORecord out;
    out.id = 5;
    out.kind = 2;
    out.time = 1500;
    out.layerRow = row;
    config.addLayerIO(out);
    strip(QStringLiteral("L1"))->addLayerIO(5);
    std::vector<int> firedAt;
    config.setOutputStarter([&](int id) {
        firedAt.push_back(id == 5 ? axis->position() : -1);
        return true;
    });

    ASSERT_TRUE(sendCommand("GO"));
    ASSERT_TRUE(waitLong([&] { return server.Log().find("Kestrane_Play is over") != std::string::npos; }))
        << server.Log();
    EXPECT_FALSE(axis->isPaused());
    EXPECT_GE(axis->position(), 1000);
    // The output fires once, on the tick that passes its time: within one
    // tick's step of it, and a busy machine makes the steps long, so only
    // "on a tick after the start" is certain.
    ASSERT_TRUE(waitLong([&] { return !firedAt.empty(); }));
    EXPECT_GT(firedAt.front(), 1000);

    ASSERT_TRUE(sendCommand("HOLD"));
    ASSERT_TRUE(waitLong([&] { return axis->isPaused(); }));
    EXPECT_EQ(axis->position(), 30000);
    EXPECT_TRUE(waitLong([&] { return server.Log().find("Kestrane_Pause is over") != std::string::npos; }))
        << server.Log();
    EXPECT_EQ(firedAt.size(), 1u);
}

}  // namespace
