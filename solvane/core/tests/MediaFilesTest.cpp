#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/MediaFiles.h"
#include "core/MediaManager.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

const std::string kDefaultVideo = "*.avi|*.rmvb|*.mpg|*.mp4|*.mov|*.wmv|*.rm|*.ts|*.mpeg|*.mkv";
const std::string kImages = "*.jpg|*.bmp|*.png";

void Touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    testsupport::WriteFile(p, "");
}

TEST(MediaFileTypes, ByExtension) {
    struct Case {
        const char* path;
        const std::string& patterns;
        bool video;
    };
    const Case cases[] = {
        {"/m/clip.MP4", kDefaultVideo, true},
        {"/m/clip.final.mkv", kDefaultVideo, true},
        {"/m/clip.Avi", kDefaultVideo, true},
        {"/m/clip", kDefaultVideo, false},
        {"/m/mp4", kDefaultVideo, false},          // no dot: the whole path is compared
        {"/m/clip.mp4.txt", kDefaultVideo, false},
        {"/m/folder.mp4/clip", kDefaultVideo, false},
        {"/m/clip.", kDefaultVideo, false},
        {"/m/clip.mp", kDefaultVideo, false},
        {"/m/视频.mov", kDefaultVideo, true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsVideoFile(c.path, c.patterns), c.video) << c.path;
}

TEST(MediaFileTypes, PatternTextsAreSplitAtBarsAndSemicolons) {
    const std::string patterns = "*.avi; *.MOV |mxf||";
    EXPECT_TRUE(IsVideoFile("a.avi", patterns));
    EXPECT_TRUE(IsVideoFile("a.mov", patterns));
    EXPECT_TRUE(IsVideoFile("a.mxf", patterns));
    EXPECT_FALSE(IsVideoFile("a.", patterns)) << "empty pieces match nothing";
    EXPECT_FALSE(IsVideoFile("a.mp4", patterns));
    // The cached list follows a changed pattern text.
    EXPECT_TRUE(IsVideoFile("a.mp4", kDefaultVideo));
    EXPECT_FALSE(IsVideoFile("a.mxf", kDefaultVideo));

    EXPECT_TRUE(IsImageFile("p.JPG", kImages));
    EXPECT_TRUE(IsImageFile("p.png", kImages));
    EXPECT_FALSE(IsImageFile("p.gif", kImages));
    EXPECT_FALSE(IsImageFile("p.jpeg", kImages));
}

class MediaFolder : public ::testing::Test {
protected:
    MediaFolder() : core_(dir_.str()) {
        core_.LoadConfig();
        media_ = dir_ / "media";
        fs::create_directories(media_);
    }
    TempDir dir_;
    CMediaManager core_;
    fs::path media_;
};

TEST_F(MediaFolder, VideosRecursiveImagesTopOnlyInNameOrder) {
    for (const char* name : {"b.MP4", "a.avi", "sub/c.mkv", "sub/deeper/d.Ts", "notes.txt", "视频 一.mov",
                             "pic.PNG", "sub/pic2.jpg", "图片.jpg", "folder.mp4/e.wmv"})
        Touch(media_ / name);
    const std::string m = media_.string();

    ASSERT_TRUE(core_.RefreshMediaFileLists(m));
    EXPECT_EQ(core_.m_strMediaFolder, m);
    const std::vector<std::string> videos = {m + "/a.avi",       m + "/b.MP4",
                                             m + "/folder.mp4/e.wmv", m + "/sub/c.mkv",
                                             m + "/sub/deeper/d.Ts",  m + "/视频 一.mov"};
    EXPECT_EQ(core_.VideoFiles(), videos);
    std::string joined;
    for (const auto& v : videos) joined += (joined.empty() ? "" : "*") + v;
    EXPECT_EQ(core_.VideoFileText(), joined);

    const std::vector<std::string> images = {m + "/pic.PNG", m + "/图片.jpg"};
    EXPECT_EQ(core_.ImageFiles(), images);
    EXPECT_EQ(core_.ImageFileText(), images[0] + "*" + images[1]);

    // A second refresh starts from empty lists.
    fs::remove(media_ / "b.MP4");
    ASSERT_TRUE(core_.RefreshMediaFileLists(m));
    EXPECT_EQ(core_.VideoFiles().size(), videos.size() - 1);
    EXPECT_EQ(core_.ImageFiles(), images);
}

TEST_F(MediaFolder, MissingFolderEmptiesBothListsAndFails) {
    Touch(media_ / "a.mp4");
    Touch(media_ / "a.jpg");
    ASSERT_TRUE(core_.RefreshMediaFileLists(media_.string()));
    ASSERT_EQ(core_.VideoFiles().size(), 1u);

    util::LogCapture log;
    const std::string missing = (dir_ / "nowhere").string();
    EXPECT_FALSE(core_.RefreshMediaFileLists(missing));
    EXPECT_TRUE(core_.VideoFiles().empty());
    EXPECT_TRUE(core_.VideoFileText().empty());
    EXPECT_TRUE(core_.ImageFiles().empty());
    EXPECT_TRUE(core_.ImageFileText().empty());
    EXPECT_EQ(core_.m_strMediaFolder, missing);
    EXPECT_TRUE(log.Contains("find " + missing + "/*.*" + " failed .e=2"));
}

TEST_F(MediaFolder, OneFolderOfManyVideosStopsAfterTheLimit) {
    for (int i = 0; i < 1200; ++i) Touch(media_ / ("v" + std::to_string(10000 + i) + ".mp4"));
    util::LogCapture log;
    ASSERT_TRUE(core_.RefreshMediaFileLists(media_.string()));
    const auto videos = core_.VideoFiles();
    ASSERT_EQ(videos.size(), kMediaFileListLimit + 1);
    EXPECT_EQ(videos.back(), (media_ / "v11000.mp4").string());
    EXPECT_EQ(log.Count("enum count >1000"), 1u);
}

// The limit holds for the whole tree: the enclosing folders and the folders
// after the one that crossed it add nothing more.
TEST_F(MediaFolder, LimitHoldsAcrossSubFolders) {
    for (int i = 0; i < 999; ++i) Touch(media_ / ("a" + std::to_string(1000 + i) + ".mp4"));
    for (int f = 0; f < 6; ++f)
        for (int i = 0; i < 2; ++i) Touch(media_ / ("s" + std::to_string(f)) / ("v" + std::to_string(i) + ".mkv"));
    Touch(media_ / "z.mp4");
    ASSERT_TRUE(core_.RefreshMediaFileLists(media_.string()));
    const auto videos = core_.VideoFiles();
    ASSERT_EQ(videos.size(), kMediaFileListLimit + 1);
    EXPECT_EQ(videos.back(), (media_ / "s0" / "v1.mkv").string());
}

TEST_F(MediaFolder, LinkedFoldersAreNotFollowed) {
    TempDir outside;
    Touch(outside / "secret.mp4");
    Touch(media_ / "sub" / "in.mp4");
    fs::create_directory_symlink(outside.path(), media_ / "out");
    fs::create_directory_symlink(media_, media_ / "sub" / "loop");
    ASSERT_TRUE(core_.RefreshMediaFileLists(media_.string()));
    EXPECT_EQ(core_.VideoFiles(), std::vector<std::string>{(media_ / "sub" / "in.mp4").string()});
}

// The joined text separates paths with '*', and peers get names in GBK: a
// name with '*' or one that is not UTF-8 cannot be listed faithfully.
TEST_F(MediaFolder, NamesThatCannotBeListedAreSkipped) {
    Touch(media_ / "a*b.mp4");
    Touch(media_ / "\xB4\xF3.mp4");
    Touch(media_ / "\xB4\xF3.jpg");
    Touch(media_ / "ok.mp4");
    ASSERT_TRUE(core_.RefreshMediaFileLists(media_.string()));
    EXPECT_EQ(core_.VideoFileText(), (media_ / "ok.mp4").string());
    EXPECT_TRUE(core_.ImageFiles().empty());
}

TEST_F(MediaFolder, ImageListIsBounded) {
    for (int i = 0; i < 1100; ++i) Touch(media_ / ("p" + std::to_string(10000 + i) + ".jpg"));
    ASSERT_TRUE(core_.RefreshMediaFileLists(media_.string()));
    EXPECT_EQ(core_.ImageFiles().size(), kMediaFileListLimit + 1);
}

TEST_F(MediaFolder, SettingTheVideoExtensionsChangesTheList) {
    Touch(media_ / "a.mp4");
    Touch(media_ / "b.mxf");
    core_.m_strMediaVideoExtension = "*.mxf";
    ASSERT_TRUE(core_.RefreshMediaFileLists(media_.string()));
    EXPECT_EQ(core_.VideoFileText(), (media_ / "b.mxf").string());
}

TEST(CaptureDevices, EmptyWhereTheMachineHasNone) {
    for (const auto& e : fs::directory_iterator("/dev"))
        if (e.path().filename().string().rfind("video", 0) == 0) GTEST_SKIP() << "this machine has video nodes";
    std::vector<std::string> list = {"stale"};
    EXPECT_EQ(EnumCaptureDevices(list), 0);
    EXPECT_TRUE(list.empty());
}

}  // namespace
