#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/videodev.h"
#include "support/support.h"

namespace {

using testsupport::TempDir;

bool AnyVideoNode(const std::string& dir) {
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind("video", 0) == 0) return true;
    return false;
}

TEST(VideoDevices, NoneWhereTheMachineHasNoVideoNodes) {
    if (AnyVideoNode("/dev")) GTEST_SKIP() << "this machine has video nodes";
    int error = -1;
    EXPECT_TRUE(platform::ListVideoCaptureDevices(&error).empty());
    EXPECT_EQ(error, 0);
}

// Nodes named like devices that are not capture devices: a plain file, a
// FIFO (which must not block the scan), a character device without V4L2 and
// names that only look alike.
TEST(VideoDevices, NodesThatAreNotCaptureDevicesAreLeftOut) {
    TempDir dir;
    testsupport::WriteFile(dir / "video0", "x");
    ASSERT_EQ(::mkfifo((dir / "video1").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", dir / "video2");
    testsupport::WriteFile(dir / "videox", "");
    testsupport::WriteFile(dir / "video", "");
    int error = -1;
    EXPECT_TRUE(platform::ListVideoCaptureDevices(&error, dir.str()).empty());
    EXPECT_EQ(error, 0);
}

TEST(VideoDevices, MissingFolderReportsItsError) {
    TempDir dir;
    int error = 0;
    EXPECT_TRUE(platform::ListVideoCaptureDevices(&error, (dir / "none").string()).empty());
    EXPECT_EQ(error, ENOENT);
}

}  // namespace
