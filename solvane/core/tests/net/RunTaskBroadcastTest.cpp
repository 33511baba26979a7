// "Run task" on the main server of a synchronised group: the task record
// goes to the group (a UDP socket on 127.0.0.1 stands in for it, port chosen
// by the kernel) and the task runs here too.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "platform/textcodec.h"
#include "support/support.h"

namespace {

class RunTaskBroadcast : public ::testing::Test {
protected:
    void SetUp() override {
        uint16_t port = 0;
        sock = testsupport::BindLoopback(SOCK_DGRAM, port);
        ASSERT_GE(sock, 0);
        core = std::make_unique<CMediaManager>(dir.str());
        CoreServices services;
        services.media = &factory;
        services.displays = &displays;
        services.system = &system;
        core->SetServices(services);
        core->m_strMulticastIp = "127.0.0.1";
        core->m_nMulticastPort = port;
        core->m_nSyncMediaEnable = 1;
        core->m_nMainServer = 1;
        core->m_taskTiming.endSettleMs = core->m_taskTiming.endRepeatMs = 0;
    }
    void TearDown() override {
        core.reset();
        if (sock >= 0) ::close(sock);
    }

    testsupport::TempDir dir;
    FakeMediaFactory factory;
    FakeDisplayList displays;
    FakeSystemServices system;
    std::unique_ptr<CMediaManager> core;
    int sock = -1;
};

TEST_F(RunTaskBroadcast, MainServerSendsTheTaskRecordAndRunsIt) {
    TaskPlanTask task;
    task.TaskId = "\xE4\xBB\xBB\xE5\x8A\xA1";  // "任务"
    task.MediaPlayType = 0;
    core->m_taskList.push_back(task);

    tagNETHEAD h{};
    h.command = 1103;
    platform::StoreGbkField(h.textParam, sizeof h.textParam, task.TaskId);
    tagNETHEAD reply{};
    std::vector<uint8_t> body;
    core->DispatchCommand(h, nullptr, 0, reply, body, nullptr);
    EXPECT_EQ(reply.intParam[0], 1);

    pollfd p{sock, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    uint8_t buf[1024];
    const ssize_t n = ::recv(sock, buf, sizeof buf, 0);
    ASSERT_EQ(n, 384);
    tagNETHEAD record;
    std::memcpy(&record, buf, sizeof record);
    EXPECT_EQ(record.command, 801u);
    EXPECT_EQ(record.intParam[0], 0x40);
    EXPECT_EQ(record.bodyLength, 0u);
    EXPECT_STREQ(record.textParam, "\xC8\xCE\xCE\xF1");  // GBK on the wire
    EXPECT_TRUE(core->m_taskThread.Running());

    // A name no task has: the record still goes out, and that counts.
    platform::StoreGbkField(h.textParam, sizeof h.textParam, "none");
    reply = {};
    core->DispatchCommand(h, nullptr, 0, reply, body, nullptr);
    EXPECT_EQ(reply.intParam[0], 1);
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_EQ(::recv(sock, buf, sizeof buf, 0), 384);
    EXPECT_FALSE(core->m_taskThread.Running());
}

}  // namespace
