// Two display servers, each in its own namespace with its own X server, on a
// stock Debian host whose host name resolves to 127.0.1.1: the main server
// must give the slaves an address they can reach.
#include <cstring>

#include "support/RemoteServer.h"

namespace {

using namespace e2e;

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
    tagNETHEAD role = SyncRoleCommand(1, 1);
    ASSERT_EQ(toMain->SendSimpleCommand(role), 1);
    role = SyncRoleCommand(1, 0);
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
