#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kestrane/gconfig.h"
#include "kestrane/settings.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/netdef.h"
#include "platform/textcodec.h"
#include "support/support.h"

namespace {

// A display server stand-in on 127.0.0.1 (port 0): records every command
// head and answers with `answer`, or closes the connection unanswered.
class HeadServer {
public:
    explicit HeadServer(bool answer) : answer_(answer) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            ADD_FAILURE() << "listener";
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~HeadServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    unsigned port() const { return port_; }
    std::vector<tagNETHEAD> heads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return heads_;
    }

private:
    bool ReadAll(int c, void* to, size_t n) {
        auto* p = static_cast<char*>(to);
        while (n > 0 && !stop_) {
            pollfd pf{c, POLLIN, 0};
            if (::poll(&pf, 1, 50) <= 0) continue;
            const ssize_t got = ::recv(c, p, n, 0);
            if (got <= 0) return false;
            p += got;
            n -= size_t(got);
        }
        return n == 0;
    }
    void Serve(int c) {
        tagNETHEAD head;
        while (ReadAll(c, &head, sizeof head)) {
            uint32_t bodyLength;
            std::memcpy(&bodyLength, reinterpret_cast<const char*>(&head) + offsetof(tagNETHEAD, bodyLength), 4);
            if (bodyLength > (1u << 20)) break;
            std::vector<char> body(bodyLength);
            if (bodyLength && !ReadAll(c, body.data(), bodyLength)) break;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                heads_.push_back(head);
            }
            if (!answer_) break;
            tagNETHEAD reply = head;
            const int32_t zero = 0;
            const uint32_t noBody = 0;
            std::memcpy(reinterpret_cast<char*>(&reply) + offsetof(tagNETHEAD, intParam), &zero, 4);
            std::memcpy(reinterpret_cast<char*>(&reply) + offsetof(tagNETHEAD, bodyLength), &noBody, 4);
            if (::send(c, &reply, sizeof reply, MSG_NOSIGNAL) != ssize_t(sizeof reply)) break;
        }
        ::close(c);
    }
    void Run() {
        std::vector<std::thread> served;
        while (!stop_) {
            pollfd pf{fd_, POLLIN, 0};
            if (::poll(&pf, 1, 50) <= 0) continue;
            const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) served.emplace_back([this, c] { Serve(c); });
        }
        for (std::thread& t : served) t.join();
    }

    bool answer_;
    int fd_ = -1;
    unsigned port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<tagNETHEAD> heads_;
    std::thread thread_;
};

int32_t intAt(const tagNETHEAD& h, size_t offset) {
    int32_t v;
    std::memcpy(&v, reinterpret_cast<const char*>(&h) + offset, 4);
    return v;
}

class ApplySettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld = old != nullptr;
        if (old) oldValue = old;
        setenv("XDG_CONFIG_HOME", dir.str().c_str(), 1);
        c.clearProject();
        kestrane::GeneralSettings g;
        g.showCluster = QString::fromUtf8("展厅");
        g.refreshRate = 75;
        g.serverAutoStart = true;
        ASSERT_TRUE(g.write());
    }
    void TearDown() override {
        for (const QString& ip : ips) c.clientSession(ip, 2);
        c.setConnected(false);
        c.clearProject();
        if (hadOld)
            setenv("XDG_CONFIG_HOME", oldValue.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    void device(int id, const char* ip) {
        DeviceRecord d;
        d.serverIp = QString::fromLatin1(ip);
        c.devices().insert(id, d);
    }
    // The session of a server address, connected to a stand-in.
    void session(const char* ip, const HeadServer& server) {
        ips.append(QString::fromLatin1(ip));
        CKestraneStageServer* s = c.clientSession(QString::fromLatin1(ip), 1);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->ConnectServer("127.0.0.1", server.port(), 2), 1);
    }

    GConfig& c = GConfig::instance();
    testsupport::TempDir dir;
    bool hadOld = false;
    std::string oldValue;
    QStringList ips;
};

}  // namespace

TEST_F(ApplySettingsTest, EachServerGetsTheConfigurationOnce) {
    HeadServer a(true), b(true);
    device(1, "10.9.0.1");
    device(2, "10.9.0.2");
    device(3, "10.9.0.1");
    device(4, "10.9.0.3");  // no session: skipped
    session("10.9.0.1", a);
    session("10.9.0.2", b);
    c.setConnected(true);
    EXPECT_TRUE(c.applyGeneralSettings());

    const std::vector<tagNETHEAD> heads = a.heads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(b.heads().size(), 1u);
    const tagNETHEAD& h = heads.front();
    EXPECT_EQ(uint32_t(intAt(h, 0)), 12u);
    EXPECT_EQ(intAt(h, 4), 75);  // refresh rate
    EXPECT_EQ(intAt(h, 8), 1);   // server auto-start
    EXPECT_EQ(intAt(h, 12), 0);  // server auto-load
    // The cluster text reaches the server as GBK.
    const std::string gbk = platform::Utf8ToGbk("展厅");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h) + 44, gbk.size() + 1), gbk + std::string(1, '\0'));
}

TEST_F(ApplySettingsTest, NotConnectedSendsNothing) {
    HeadServer a(true);
    device(1, "10.9.0.1");
    session("10.9.0.1", a);
    c.setConnected(false);
    EXPECT_FALSE(c.applyGeneralSettings());
    EXPECT_TRUE(a.heads().empty());
}

TEST_F(ApplySettingsTest, AFailingServerMakesItFalseAndTheOthersStillGetIt) {
    HeadServer failing(false), fine(true);
    device(1, "10.9.0.1");
    device(2, "10.9.0.2");
    session("10.9.0.1", failing);
    session("10.9.0.2", fine);
    c.setConnected(true);
    EXPECT_FALSE(c.applyGeneralSettings());
    EXPECT_EQ(failing.heads().size(), 1u);
    EXPECT_EQ(fine.heads().size(), 1u);
}
