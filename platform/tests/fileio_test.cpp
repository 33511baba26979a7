#include "platform/fileio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "support/support.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

size_t EntriesIn(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(AtomicSave, LongNamesAndFailuresLeaveTheTargetAlone) {
    TempDir dir;
    // Names at the file-name limit: a temp name made by adding a suffix to
    // the target could not be created, and an empty target was left behind.
    for (size_t length : {249u, 255u}) {
        const fs::path target = dir / std::string(length, 'n');
        ASSERT_TRUE(platform::SaveFileAtomically(target.string(), "first")) << length;
        ASSERT_TRUE(platform::SaveFileAtomically(target.string(), "second")) << length;
        EXPECT_EQ(ReadFile(target), "second");
    }
    EXPECT_EQ(EntriesIn(dir.path()), 2u);  // no temp file stays

    // A folder that does not exist: nothing is made, the call says so.
    EXPECT_FALSE(platform::SaveFileAtomically((dir / "none/file").string(), "x"));
    EXPECT_FALSE(fs::exists(dir / "none"));
}

TEST(AtomicSave, NewFilesTakeTheUmaskAndOldOnesKeepTheirMode) {
    TempDir dir;
    const mode_t old = ::umask(027);
    ASSERT_TRUE(platform::SaveFileAtomically((dir / "new").string(), "x"));
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    WriteFile(dir / "kept", "a");
    ::chmod((dir / "kept").c_str(), 0604);
    ASSERT_TRUE(platform::SaveFileAtomically((dir / "kept").string(), "b"));
    ASSERT_EQ(::stat((dir / "kept").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
}

TEST(AtomicSave, StaleTempFilesOfOurPatternAreRemoved) {
    TempDir dir;
    const std::string prefix = platform::kSaveTempPrefix;
    WriteFile(dir / (prefix + "a1b2c3"), "torn");
    WriteFile(dir / (prefix + "short"), "not ours");
    WriteFile(dir / "mediacfg.ini", "kept");
    fs::create_directory(dir / (prefix + "dirdir"));
    EXPECT_EQ(platform::RemoveStaleSaveTemps(dir.str()), 1u);
    EXPECT_FALSE(fs::exists(dir / (prefix + "a1b2c3")));
    EXPECT_TRUE(fs::exists(dir / (prefix + "short")));
    EXPECT_TRUE(fs::exists(dir / "mediacfg.ini"));
    EXPECT_TRUE(fs::exists(dir / (prefix + "dirdir")));
    EXPECT_EQ(platform::RemoveStaleSaveTemps((dir / "none").string()), 0u);
}

TEST(Paths, RegularFilesOnly) {
    TempDir dir;
    WriteFile(dir / "clip.mp4", "x");
    ASSERT_EQ(::mkfifo((dir / "fifo.mp4").c_str(), 0600), 0);
    fs::create_symlink(dir / "clip.mp4", dir / "link.mp4");
    fs::create_directory(dir / "folder.mp4");
    EXPECT_TRUE(platform::RegularFileExists((dir / "clip.mp4").string()));
    EXPECT_TRUE(platform::RegularFileExists((dir / "link.mp4").string()));
    EXPECT_FALSE(platform::RegularFileExists((dir / "fifo.mp4").string()));
    EXPECT_FALSE(platform::RegularFileExists((dir / "folder.mp4").string()));
    EXPECT_FALSE(platform::RegularFileExists("/dev/zero"));
    EXPECT_FALSE(platform::RegularFileExists(""));
}

}  // namespace
