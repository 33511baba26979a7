// Display servers in namespaces of their own, side by side on the same
// fixed ports, reached over their veth pairs.
#include <signal.h>

#include "support/RemoteServer.h"

namespace {

using namespace e2e;

bool Answers(RemoteServer& server) {
    auto session = server.ConnectSession();
    if (!session) return false;
    tagNETHEAD head;
    lintra::InitHead(head, 901);
    return session->SendSimpleCommand(head) == 1 && TextCommand("dance", server.Address()) == "invalid";
}

TEST(RemoteServerTest, ServerAnswersOverItsVeth) {
    testsupport::TempDir dir;
    RemoteServer server;
    ASSERT_TRUE(server.Start(1, dir / "wall")) << server.ErrorText();
    EXPECT_EQ(server.Address(), "198.18.1.2");
    EXPECT_TRUE(Answers(server));
    // Nothing listens on the test's own side of the pair.
    EXPECT_LT(Connect(30100), 0);
    // The namespace and the X server stay when the program starts again.
    const std::string display = server.Display();
    ASSERT_TRUE(server.Restart()) << server.ErrorText();
    EXPECT_EQ(server.Display(), display);
    EXPECT_TRUE(Answers(server));
    EXPECT_TRUE(server.Signal(SIGKILL));
    EXPECT_EQ(server.Kill(), 128 + SIGKILL);
    EXPECT_LT(Connect(30100, server.Address()), 0);
}

TEST(RemoteServerTest, TwoServersOnTheSamePortsAtOnce) {
    testsupport::TempDir dir;
    RemoteServer one, two;
    ASSERT_TRUE(one.Start(1, dir / "one")) << one.ErrorText();
    ASSERT_TRUE(two.Start(2, dir / "two")) << two.ErrorText();
    EXPECT_NE(one.Display(), two.Display());
    EXPECT_NE(one.Pid(), two.Pid());
    EXPECT_TRUE(Answers(one));
    EXPECT_TRUE(Answers(two));
    // Stopping one leaves the other running.
    EXPECT_EQ(one.Stop(), 0);
    EXPECT_LT(Connect(30100, one.Address()), 0);
    EXPECT_TRUE(Answers(two));
}

}  // namespace
