#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/autostart.h"
#include "platform/instance.h"
#include "platform/sockio.h"
#include "support/support.h"

namespace {

std::string UniqueName() { return "sv-test-instance-" + std::to_string(getpid()); }

TEST(SingleInstanceTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    platform::SingleInstance first, second;
    bool busy = true;
    ASSERT_TRUE(first.Acquire(UniqueName(), &busy));
    EXPECT_FALSE(busy);
    EXPECT_FALSE(second.Acquire(UniqueName(), &busy));
    EXPECT_TRUE(busy);
    first.Release();
    EXPECT_TRUE(second.Acquire(UniqueName(), &busy));
}

// The name goes with the process, however it ends.
TEST(SingleInstanceTest, NameIsFreedWhenTheHolderDies) {
    const std::string name = UniqueName() + "-child";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::SingleInstance held;
        const char ok = held.Acquire(name) ? '1' : '0';
        [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    platform::SingleInstance mine;
    bool busy = false;
    EXPECT_FALSE(mine.Acquire(name, &busy));
    EXPECT_TRUE(busy);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(mine.Acquire(name));
    close(ready[0]);
    close(ready[1]);
}

TEST(AutostartTest, EntryIsWrittenRecognisedAndRemoved) {
    testsupport::TempDir home;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", home.str().c_str(), 1);
    const std::string command = "\"/opt/wall server/solvane\"";
    EXPECT_FALSE(platform::IsAutostartEntry("Quorvel", command));
    ASSERT_TRUE(platform::SetAutostartEntry("Quorvel", command, true));
    EXPECT_TRUE(std::filesystem::exists(home / "autostart" / "Quorvel.desktop"));
    EXPECT_TRUE(platform::IsAutostartEntry("Quorvel", command));
    EXPECT_FALSE(platform::IsAutostartEntry("Quorvel", "\"/other/solvane\""));
    ASSERT_TRUE(platform::SetAutostartEntry("Quorvel", command, false));
    EXPECT_FALSE(platform::IsAutostartEntry("Quorvel", command));
    EXPECT_TRUE(platform::SetAutostartEntry("Quorvel", command, false));  // already gone
    EXPECT_FALSE(platform::SetAutostartEntry("../x", command, true));
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

// A buffer larger than the socket takes at once goes out whole.
TEST(SockIoTest, SendAllSendsEveryByte) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    const std::string data(4 * 1024 * 1024, 'q');
    size_t got = 0;
    std::thread reader([&] {
        char buf[65536];
        ssize_t n;
        while (got < data.size() && (n = read(fds[1], buf, sizeof buf)) > 0) got += static_cast<size_t>(n);
    });
    EXPECT_TRUE(platform::SendAll(fds[0], data.data(), data.size()));
    reader.join();
    EXPECT_EQ(got, data.size());
    close(fds[1]);
    EXPECT_FALSE(platform::SendAll(fds[0], "x", 1));  // peer gone: EPIPE, no signal
    close(fds[0]);
}

}  // namespace
