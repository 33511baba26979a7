#include "platform/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "support/support.h"

namespace {

using namespace platform;
using testsupport::TempDir;

// Sets an environment variable for the scope of a test.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Paths, NamesFromOutside) {
    struct Case {
        const char* path;
        const char* last;
        const char* safe;  // nullptr: refused
    };
    const Case cases[] = {
        {"..\\..\\x", "x", "x"},
        {"/etc/x", "x", "x"},
        {"a/b\\c", "c", "c"},
        {"", "", nullptr},
        {".", ".", nullptr},
        {"..", "..", nullptr},
        {"a\\..", "..", nullptr},
        {"dir/", "", nullptr},
        {"d:\\media\\显示.mp4", "显示.mp4", "显示.mp4"},
        {"...", "...", "..."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LastComponent(c.path), c.last) << c.path;
        auto safe = SafeFileName(c.path);
        if (c.safe)
            EXPECT_EQ(safe, std::optional<std::string>(c.safe)) << c.path;
        else
            EXPECT_FALSE(safe) << c.path;
    }
    EXPECT_FALSE(IsSafeName("a/b"));
    EXPECT_FALSE(IsSafeName("a\\b"));
    EXPECT_FALSE(IsSafeName(std::string_view("a\0b", 3)));
    EXPECT_TRUE(IsSafeName("a b.ini"));
}

TEST(Paths, Joining) {
    EXPECT_EQ(JoinSafe("/base", "x.ini"), std::optional<std::string>("/base/x.ini"));
    EXPECT_EQ(JoinSafe("/base/", "x.ini"), std::optional<std::string>("/base/x.ini"));
    EXPECT_FALSE(JoinSafe("/base", ".."));
    EXPECT_FALSE(JoinSafe("/base", "a/b"));
    EXPECT_FALSE(JoinSafe("/base", ""));
    EXPECT_EQ(JoinPath("/base", "image/background.jpg"), "/base/image/background.jpg");
    EXPECT_EQ(JoinPath("/base/", "/x"), "/base/x");
    EXPECT_EQ(JoinPath("/", "x"), "/x");
    EXPECT_EQ(JoinPath("", "x"), "x");
    EXPECT_EQ(JoinPath("/base", ""), "/base");
}

TEST(Paths, ProgramFolderHoldsTheProgram) {
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(ProgramFolder(), std::filesystem::path(exe).parent_path().string());
    EXPECT_TRUE(FileExists(JoinPath(ProgramFolder(), std::string(LastComponent(exe)))));
}

TEST(Paths, BaseFolderRule) {
    TempDir dir;
    // A writable program folder is the base folder.
    EXPECT_EQ(detail::ResolveBaseFolderFrom(dir.str(), "app", ""), dir.str());
    // An override wins and is created.
    const std::string over = (dir / "over/base").string();
    EXPECT_EQ(detail::ResolveBaseFolderFrom(dir.str(), "app", over), over);
    EXPECT_TRUE(std::filesystem::is_directory(over));
    // Without a usable program folder: the data folder of the user.
    const std::string gone = (dir / "missing").string();
    {
        EnvVar xdg("XDG_DATA_HOME", (dir / "xdg").c_str());
        EXPECT_EQ(detail::ResolveBaseFolderFrom(gone, "app", ""), (dir / "xdg/app").string());
        EXPECT_TRUE(std::filesystem::is_directory(dir / "xdg/app"));
    }
    {
        EnvVar xdg("XDG_DATA_HOME", "relative/ignored");
        EnvVar home("HOME", dir.str().c_str());
        EXPECT_EQ(detail::ResolveBaseFolderFrom(gone, "app", ""), (dir / ".local/share/app").string());
        EXPECT_TRUE(std::filesystem::is_directory(dir / ".local/share/app"));
    }
}

TEST(Paths, SetBaseFolder) {
    EXPECT_EQ(BaseFolder(), ProgramFolder());
    SetBaseFolder("/srv/wall");
    EXPECT_EQ(BaseFolder(), "/srv/wall");
    SetBaseFolder(ProgramFolder());
}

TEST(Paths, PrivateTempFolder) {
    std::vector<std::string> seen(4);
    std::vector<std::thread> threads;
    for (auto& s : seen) threads.emplace_back([&s] { s = PrivateTempFolder(); });
    for (auto& t : threads) t.join();
    const std::string folder = PrivateTempFolder();
    ASSERT_FALSE(folder.empty());
    for (const auto& s : seen) EXPECT_EQ(s, folder);
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());
}

TEST(Paths, TempFilesAreUnique) {
    std::set<std::string> names;
    for (int i = 0; i < 200; ++i) {
        std::string f = CreateTempFile(".dmp");
        ASSERT_FALSE(f.empty());
        EXPECT_TRUE(names.insert(f).second) << f;
        EXPECT_EQ(std::filesystem::path(f).parent_path().string(), PrivateTempFolder());
        EXPECT_EQ(std::filesystem::path(f).extension(), ".dmp");
        EXPECT_EQ(std::filesystem::file_size(f), 0u);
    }
    for (const auto& f : names) std::filesystem::remove(f);
}

TEST(Paths, TempFolderIsMadeAgainWhenRemoved) {
    std::string first = PrivateTempFolder();
    ASSERT_EQ(rmdir(first.c_str()), 0);
    std::string again = CreateTempFile();
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(FileExists(again));
    std::filesystem::remove(again);
}

TEST(Paths, MakeDirsAndFileExists) {
    TempDir dir;
    EXPECT_TRUE(MakeDirs((dir / "a/b/c").string()));
    EXPECT_TRUE(MakeDirs((dir / "a/b/c").string()));
    EXPECT_TRUE(FileExists((dir / "a/b/c").string()));
    EXPECT_FALSE(FileExists((dir / "none").string()));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(MakeDirs(""));
    testsupport::WriteFile(dir / "file", "x");
    EXPECT_FALSE(MakeDirs((dir / "file/sub").string()));
}

}  // namespace
