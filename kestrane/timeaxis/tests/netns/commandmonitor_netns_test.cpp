// Command strings sent to the console's command port over real TCP
// connections run the play control whose network command they equal.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "kestrane/commandmonitor.h"
#include "lintra/ioctrl.h"
#include "platform/textcodec.h"
#include "qt/playfixture.h"

namespace {

// This program is not in the widget folder: it chooses the offscreen
// platform itself before the application object exists.
const bool kOffscreen = [] { return setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0; }();

using Codes = std::vector<uint32_t>;
namespace monitor = kestrane::monitor;

int connectToConsole() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(monitor::kCommandPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

class MonitorTest : public PlayTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(kOffscreen);
        TimeAxisWidget::setCommandMonitorPort(monitor::kCommandPort);
        monitor::takeChunks();
        PlayTest::SetUp();
        ASSERT_TRUE(waitFor([] { return tolva_io_ctrl::GetMonitorListenPort() == unsigned(monitor::kCommandPort); }));
        ASSERT_NE(axis->commandPollTimer(), nullptr);
        EXPECT_EQ(axis->commandPollTimer()->interval(), 100);
        EXPECT_TRUE(axis->commandPollTimer()->isActive());
        client = connectToConsole();
        ASSERT_GE(client, 0);
    }
    void TearDown() override {
        if (client >= 0)
            ::close(client);
        PlayTest::TearDown();
        TimeAxisWidget::setCommandMonitorPort(-1);
        // The axis stopped the monitor as it went.
        EXPECT_EQ(tolva_io_ctrl::GetMonitorListenPort(), 0u);
    }

    // Sends one chunk and waits until the console queued it (the poll must
    // be stopped, or it may take it first).
    void sendChunk(const std::string& bytes, int fd = -1) {
        const std::size_t before = monitor::queuedChunks();
        ASSERT_EQ(::send(fd < 0 ? client : fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
        ASSERT_TRUE(waitFor([&] { return monitor::queuedChunks() > before; })) << bytes;
    }
    void holdPolls() { axis->commandPollTimer()->stop(); }

    PlayControlRecord* addCommand(int id, int type, int time, const QString& command) {
        PlayControlRecord* rec = addControl(id, type, time);
        rec->command = command;
        rec->name = QStringLiteral("c%1").arg(id);
        return rec;
    }

    int client = -1;
};

}  // namespace

TEST_F(MonitorTest, AMatchingCommandPlaysItsControlWithinAPoll) {
    connectServers();
    addCommand(1, 0, 9000, QStringLiteral("HOLD"));
    addCommand(2, 1, 5000, QStringLiteral("GO"));
    const std::string go = "GO";
    ASSERT_EQ(::send(client, go.data(), go.size(), MSG_NOSIGNAL), 2);
    ASSERT_TRUE(waitFor([this] { return !axis->isPaused(); }));
    EXPECT_EQ(axis->position(), 5000);
    ASSERT_TRUE(waitForRequests(3));
    EXPECT_EQ(newCodes(), (Codes{532, 541, 534}));
    EXPECT_DOUBLE_EQ(lastTimeSent(), 5.0);
}

TEST_F(MonitorTest, OnlyAWholeChunkEqualToACommandMatches) {
    holdPolls();
    addCommand(1, 1, 5000, QStringLiteral("GO"));
    const struct {
        const char* what;
        std::vector<std::string> chunks;
    } cases[] = {
        {"trailing line feed", {"GO\n"}},
        {"other case", {"go"}},
        {"leading space", {" GO"}},
        {"split over two sends", {"G", "O"}},
        {"unknown command", {"STOP"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& chunk : c.chunks)
            sendChunk(chunk);
        axis->pollNetworkCommand();
        EXPECT_EQ(monitor::queuedChunks(), 0u);
        EXPECT_TRUE(axis->isPaused());
        EXPECT_EQ(axis->position(), 0);
    }
    sendChunk("GO");
    axis->pollNetworkCommand();
    EXPECT_FALSE(axis->isPaused());
}

TEST_F(MonitorTest, TheCommandTextIsReadAsGb18030) {
    holdPolls();
    addCommand(1, 0, 4000, QStringLiteral("开始"));
    const std::string utf8 = "开始";
    sendChunk(utf8);  // the same characters in UTF-8 are other bytes
    axis->pollNetworkCommand();
    EXPECT_EQ(axis->position(), 0);
    sendChunk(platform::Utf8ToGbk(utf8));
    axis->pollNetworkCommand();
    EXPECT_EQ(axis->position(), 4000);
}

TEST_F(MonitorTest, TheLaterOfTwoCommandsInOnePollRunsAlone) {
    holdPolls();
    connectServers();
    addCommand(1, 1, 5000, QStringLiteral("GO"));
    addCommand(2, 0, 7000, QStringLiteral("HOLD"));
    sendChunk("GO");
    const int second = connectToConsole();
    ASSERT_GE(second, 0);
    sendChunk("HOLD", second);
    axis->pollNetworkCommand();
    ::close(second);
    EXPECT_TRUE(axis->isPaused());
    EXPECT_EQ(axis->position(), 7000);
    // Nothing played: a pause that finds the show paused still takes the
    // servers to its time (now and once more).
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(newCodes(), (Codes{532, 532}));
    EXPECT_DOUBLE_EQ(lastTimeSent(), 7.0);
}

TEST_F(MonitorTest, APauseWhilePlayingPausesTheServersAtItsTime) {
    connectServers();
    addCommand(1, 0, 7000, QStringLiteral("HOLD"));
    playFrom(1000);
    ASSERT_TRUE(waitForRequests(3));
    newCodes();
    holdPolls();
    sendChunk("HOLD");
    axis->pollNetworkCommand();
    EXPECT_TRUE(axis->isPaused());
    EXPECT_EQ(axis->position(), 7000);
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(newCodes(), (Codes{532, 536}));
    EXPECT_DOUBLE_EQ(lastTimeSent(), 7.0);
}

TEST_F(MonitorTest, ARecordDeletedBeforeThePollRunsNothing) {
    holdPolls();
    addCommand(1, 1, 5000, QStringLiteral("GO"));
    sendChunk("GO");
    ASSERT_TRUE(GConfig::instance().erasePlayControl(1));
    axis->pollNetworkCommand();
    EXPECT_TRUE(axis->isPaused());
    EXPECT_EQ(axis->position(), 0);
}

TEST_F(MonitorTest, JumpsMoveAtOnceAndAnUnknownTargetDoesNothing) {
    holdPolls();
    connectServers();
    addCommand(1, 0, 12000, QString());  // the named target
    PlayControlRecord* lost = addCommand(2, 2, 3000, QStringLiteral("LOST"));
    lost->jumpMode = 1;
    lost->targetName = QStringLiteral("nowhere");
    PlayControlRecord* named = addCommand(3, 2, 3000, QStringLiteral("NAMED"));
    named->jumpMode = 1;
    named->targetName = QStringLiteral("c1");
    named->stayPaused = 1;
    PlayControlRecord* timed = addCommand(4, 2, 3000, QStringLiteral("TIMED"));
    timed->jumpTime = 20000;
    timed->delay = 0;

    sendChunk("LOST");
    axis->pollNetworkCommand();
    EXPECT_EQ(axis->position(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(servers[0]->RequestCount(), 0u);

    // Paused already: the servers still follow to the target.
    sendChunk("NAMED");
    axis->pollNetworkCommand();
    EXPECT_EQ(axis->position(), 12000);
    EXPECT_TRUE(axis->isPaused());
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(newCodes(), (Codes{532, 532}));
    EXPECT_DOUBLE_EQ(lastTimeSent(), 12.0);

    // Not staying paused: playback starts again after the delay.
    sendChunk("TIMED");
    axis->pollNetworkCommand();
    EXPECT_EQ(axis->position(), 20000);
    ASSERT_TRUE(waitFor([this] { return !axis->isPaused(); }));
    EXPECT_EQ(axis->position(), 20000);
}

TEST_F(MonitorTest, TheQueueKeepsTheNewestChunksUpToItsCap) {
    holdPolls();
    for (std::size_t i = 0; i < monitor::kQueueCap + 10; ++i) {
        const std::string chunk = "c" + std::to_string(i);
        monitor::onNetworkCommand(chunk.data(), int(chunk.size()), nullptr);
    }
    const QList<QByteArray> chunks = monitor::takeChunks();
    ASSERT_EQ(chunks.size(), int(monitor::kQueueCap));
    EXPECT_EQ(chunks.first(), QByteArray("c10"));
    EXPECT_EQ(chunks.last(), QByteArray("c" + QByteArray::number(int(monitor::kQueueCap) + 9)));
    EXPECT_EQ(monitor::queuedChunks(), 0u);
}

TEST_F(MonitorTest, AFloodStaysBoundedWhileTheCommandsAreEdited) {
    addCommand(1, 1, 5000, QStringLiteral("GO"));
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::thread flood([&] {
        const int fd = connectToConsole();
        if (fd < 0)
            return;
        const std::string junk(512, 'x');
        while (!stop) {
            if (::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL) <= 0)
                break;
            ++sent;
        }
        ::close(fd);
    });
    std::size_t most = 0;
    // The GUI edits, adds and deletes commands while the chunks pour in and
    // the poll keeps taking them; on a busy machine the flood may connect
    // late, so the edits go on until it has poured a good deal in.
    QDeadlineTimer floodDeadline(60000);
    for (int i = 0; i < 200 || (sent.load() < 256 && !floodDeadline.hasExpired()); ++i) {
        most = std::max(most, monitor::queuedChunks());
        PlayControlRecord* rec = GConfig::instance().findPlayControl(1);
        rec->command = QStringLiteral("GO%1").arg(i % 2 ? QString::number(i) : QString());
        addCommand(100 + i, 0, 1000, QString(512, QLatin1Char('x')));
        if (i % 3 == 0)
            GConfig::instance().erasePlayControl(100 + i);
        if (i % 20 == 0)
            axis->pollNetworkCommand();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    stop = true;
    flood.join();
    EXPECT_GT(sent.load(), 0);
    EXPECT_LE(most, monitor::kQueueCap);
    // The console still answers a real command afterwards.
    GConfig::instance().findPlayControl(1)->command = QStringLiteral("GO");
    for (PlayControlRecord* rec : GConfig::instance().playControls())
        if (rec->id >= 100)
            rec->command.clear();
    holdPolls();
    axis->pause();
    axis->setCurrentTime(0);
    // The console may still be reading what the flood left in its socket,
    // and that junk may push a command out of the bounded queue: the command
    // goes again, on a connection of its own so that it arrives alone, until
    // one of them runs.
    QDeadlineTimer deadline(60000);
    bool ran = false;
    while (!ran && !deadline.hasExpired()) {
        const int fd = connectToConsole();
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, "GO", 2, MSG_NOSIGNAL), 2);
        ::close(fd);
        for (int polls = 0; polls < 50 && !ran; ++polls) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            axis->pollNetworkCommand();
            ran = axis->position() == 5000;
        }
    }
    ASSERT_TRUE(ran);
    EXPECT_FALSE(axis->isPaused());
}

namespace {

QStringList* capturedLines = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (capturedLines && text.contains(QLatin1String("command monitor")))
        *capturedLines << text;
}

// Another program holds the command port.
class BusyPortTest : public PlayTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(kOffscreen);
        holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(monitor::kCommandPort);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(holder, 4), 0);
        capturedLines = &lines;
        previous = qInstallMessageHandler(captureMessage);
        TimeAxisWidget::setCommandMonitorPort(monitor::kCommandPort);
        PlayTest::SetUp();
    }
    void TearDown() override {
        PlayTest::TearDown();
        TimeAxisWidget::setCommandMonitorPort(-1);
        qInstallMessageHandler(previous);
        capturedLines = nullptr;
        ::close(holder);
    }
    int holder = -1;
    QStringList lines;
    QtMessageHandler previous = nullptr;
};

}  // namespace

TEST_F(BusyPortTest, AMonitorThatCannotListenLogsOneLineAndTheAxisGoesOn) {
    ASSERT_TRUE(waitFor([this] { return axis->commandPollTimer() != nullptr; }));
    EXPECT_EQ(tolva_io_ctrl::GetMonitorListenPort(), 0u);
    ASSERT_EQ(lines.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.first().contains(QLatin1String("30101")));
    EXPECT_TRUE(axis->commandPollTimer()->isActive());
    // Chunks from elsewhere (a numeric input passes them on) still run.
    addControl(1, 0, 4000)->command = QStringLiteral("HOLD");
    monitor::onNetworkCommand("HOLD", 4, nullptr);
    ASSERT_TRUE(waitFor([this] { return axis->position() == 4000; }));
}
