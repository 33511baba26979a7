// Two display servers, each in its own namespace with its own X server, on a
// stock Debian host whose host name resolves to 127.0.1.1: the main server
// must give the slaves an address they can reach.
#include <cstring>

#include "support/RemoteServer.h"

namespace {

using namespace e2e;

// The set-sync-address command as the console sends it: the kind word, the
// address text at 124, sync on/off at 252, main server at 256, port at 260.
tagNETHEAD SyncRole(int32_t enable, int32_t main) {
    tagNETHEAD head;
    lintra::InitHead(head, 804);
    head.intParam[0] = 1;
    auto* bytes = reinterpret_cast<uint8_t*>(&head);
    std::memset(bytes + 124, 0, 64);
    std::memcpy(bytes + 252, &enable, 4);
    std::memcpy(bytes + 256, &main, 4);
    const int32_t port = 30100;
    std::memcpy(bytes + 260, &port, 4);
    return head;
}

TEST(ServerSyncTest, ServersWhoseHostNamesAreLoopbackStillFindEachOther) {
    testsupport::TempDir dir;
    RemoteServer main, slave;
    main.hostName = "wallnode";
    slave.hostName = "wallnode";
    ASSERT_TRUE(main.Start(1, dir / "main")) << main.ErrorText();
    ASSERT_TRUE(slave.Start(2, dir / "slave")) << slave.ErrorText();

    auto toMain = main.ConnectSession();
    auto toSlave = slave.ConnectSession();
    ASSERT_TRUE(toMain && toSlave);
    tagNETHEAD role = SyncRole(1, 1);
    ASSERT_EQ(toMain->SendSimpleCommand(role), 1);
    role = SyncRole(1, 0);
    ASSERT_EQ(toSlave->SendSimpleCommand(role), 1);

    // A play on the main server goes out as a synchronisation record that
    // names the main server; the slave follows that address from then on.
    const bool joined = testsupport::WaitUntil(
        [&] {
            tagNETHEAD play;
            lintra::InitHead(play, 506);
            toMain->SendSimpleCommand(play);
            return main.Log().find(" 新的节点加入。198.18.2.2") != std::string::npos;
        },
        30s);
    EXPECT_TRUE(joined) << "the slave never reached the main server";
    EXPECT_TRUE(testsupport::WaitUntil([&] { return slave.Log().find("收到同步时间") != std::string::npos; }, 20s));
    EXPECT_EQ(slave.Log().find("127.0.1.1"), std::string::npos);
}

}  // namespace
