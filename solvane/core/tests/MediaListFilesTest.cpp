// media.bak and playlist.dat: bytes built by hand, written and read back,
// and files that end early or claim more than they hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "core/Fakes.h"
#include "core/MediaListRecord.h"
#include "core/MediaManager.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Int32Bytes(int32_t v) {
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}

// One 352-byte record laid out field by field at its offsets.
struct RecordBytes {
    std::string bytes = std::string(352, '\0');

    RecordBytes() { Tex(0.0f, 1.0f, 1.0f, 0.0f); }
    RecordBytes& Path(const std::string& p) {
        std::memcpy(bytes.data(), p.data(), std::min<size_t>(p.size(), 260));
        return *this;
    }
    RecordBytes& StateBytes(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        const uint8_t s[4] = {a, b, c, d};
        std::memcpy(bytes.data() + 260, s, 4);
        return *this;
    }
    RecordBytes& Tex(float l, float t, float r, float b) {
        const float f[4] = {l, t, r, b};
        std::memcpy(bytes.data() + 264, f, 16);
        return *this;
    }
    RecordBytes& Type(int32_t v) {
        std::memcpy(bytes.data() + 280, &v, 4);
        return *this;
    }
    RecordBytes& State(int32_t v) {
        std::memcpy(bytes.data() + 284, &v, 4);
        return *this;
    }
    RecordBytes& Device(uint8_t v) {
        bytes[288] = static_cast<char>(v);
        return *this;
    }
};

MediaListRecord ToRecord(const RecordBytes& r) {
    MediaListRecord rec;
    std::memcpy(&rec, r.bytes.data(), sizeof rec);
    return rec;
}

class MediaListFiles : public ::testing::Test {
protected:
    void SetUp() override { core.SetServices({&output, &factory, &displays, &system}); }
    std::string MakeFile(const std::string& name) {
        WriteFile(dir / name, "x");
        return (dir / name).string();
    }
    FakeMedia* AddMedia(int32_t type, const std::string& name) {
        auto* m = new FakeMedia(type);
        m->Common().name = name;
        std::lock_guard lock(core.m_csMedia);
        core.m_mediaList.push_back(m);
        return m;
    }
    std::string MediaBak() const { return (dir / "media.bak").string(); }
    std::string Playlist() const { return (dir / "playlist.dat").string(); }

    TempDir dir;
    FakeOutputWindow output;
    FakeMediaFactory factory;
    FakeDisplayList displays;
    FakeSystemServices system;
    CMediaManager core{dir.str()};
};

TEST_F(MediaListFiles, PathsLieInTheProgramFolder) {
    EXPECT_EQ(core.m_strMediaListPath, MediaBak());
    EXPECT_EQ(core.m_strPlaylistPath, Playlist());
}

TEST_F(MediaListFiles, SavedMediaListMatchesHandBuiltBytes) {
    FakeMedia* video = AddMedia(kMediaFileVideo, "/srv/media/clip.mp4");
    video->Common().state = kMediaPlaying;
    video->Common().texRect = {0.25f, 0.75f, 0.5f, 0.125f};
    const uint8_t sb[4] = {1, 2, 3, 4};
    std::memcpy(video->Common().stateBytes, sb, 4);
    video->Common().deviceRef = 9;  // not a capture: not stored
    FakeMedia* capture = AddMedia(kMediaCapture, "USB camera");
    capture->Common().deviceRef = 7;
    capture->Common().state = kMediaPaused;
    AddMedia(kMediaScreenCapture, "\\\\.\\DISPLAY1");

    core.SaveMediaList();

    const std::string expected =
        Int32Bytes(3) +
        RecordBytes().Path("/srv/media/clip.mp4").StateBytes(1, 2, 3, 4).Tex(0.25f, 0.75f, 0.5f, 0.125f)
            .Type(0).State(1).bytes +
        RecordBytes().Path("USB camera").Type(1).State(2).Device(7).bytes +
        RecordBytes().Path("\\\\.\\DISPLAY1").Type(3).bytes;
    EXPECT_EQ(ReadFile(MediaBak()), expected);
}

TEST_F(MediaListFiles, EmptyMediaListIsFourBytes) {
    WriteFile(MediaBak(), "old content that must go");
    core.SaveMediaList();
    EXPECT_EQ(ReadFile(MediaBak()), Int32Bytes(0));
}

TEST_F(MediaListFiles, LongNamesAreCutAtACharacterWithinTheField) {
    struct Case {
        std::string name;
        std::string stored;
    };
    const std::string zi = "\xE8\xA7\x86";  // a three-byte character
    const Case cases[] = {
        {std::string(300, 'a'), std::string(258, 'a')},
        {std::string(258, 'b'), std::string(258, 'b')},
        // 256 + 3 bytes would pass 258: the whole character goes.
        {std::string(256, 'c') + zi, std::string(256, 'c')},
        {std::string(255, 'd') + zi + "e", std::string(255, 'd') + zi},
    };
    for (const Case& c : cases) {
        FakeMedia media(kMediaPicture);
        media.Common().name = c.name;
        MediaListRecord record;
        std::memset(&record, 0xAB, sizeof record);
        FillMediaListRecord(record, media);
        EXPECT_EQ(MediaListRecordPath(record), c.stored);
        for (size_t i = c.stored.size(); i < 260; ++i) ASSERT_EQ(record.path[i], 0) << i;
    }
}

TEST_F(MediaListFiles, FillZeroesEverythingItDoesNotSet) {
    FakeMedia media(kMediaPicture);
    media.Common().name = "p.jpg";
    media.Common().texRect = {0.0f, 1.0f, 1.0f, 0.0f};
    MediaListRecord record;
    std::memset(&record, 0xFF, sizeof record);
    FillMediaListRecord(record, media);
    std::string bytes(352, '\0');
    std::memcpy(bytes.data(), &record, 352);
    EXPECT_EQ(bytes, RecordBytes().Path("p.jpg").Type(2).bytes);
}

// The capture device's number is one byte at 288 both ways; device 0 is a
// zero byte, not an empty name.
TEST_F(MediaListFiles, CaptureDeviceByteReadsBackAsItWasWritten) {
    for (uint8_t device : {uint8_t{0}, uint8_t{2}, uint8_t{57}}) {
        SCOPED_TRACE(static_cast<int>(device));
        WriteFile(MediaBak(), Int32Bytes(1) + RecordBytes().Path("video capture").Type(1).Device(device).bytes);
        FakeMediaFactory factory2;
        CMediaManager other(dir.str());
        other.SetServices({&output, &factory2, &displays, &system});
        other.m_nCaptureEnabled = 1;
        other.LoadMediaList(MediaBak());
        ASSERT_EQ(other.m_mediaList.size(), 1u);
        EXPECT_EQ(other.m_mediaList[0]->Common().name, std::to_string(device));
        EXPECT_EQ(other.m_mediaList[0]->Common().deviceRef, device);
        // Saved again, the file is byte for byte what was read.
        other.SaveMediaList();
        EXPECT_EQ(ReadFile(MediaBak()),
                  Int32Bytes(1) + RecordBytes().Path(std::to_string(device)).Type(1).State(other.m_mediaList[0]->Common().state).Device(device).bytes);
    }
}

TEST_F(MediaListFiles, SavedListLoadsBackIntoAFreshCore) {
    const std::string clip = MakeFile("clip.mp4");
    const std::string still = MakeFile("still.jpg");
    FakeMedia* v = AddMedia(kMediaFileVideo, clip);
    v->Common().state = kMediaPlaying;
    v->Common().texRect = {0.1f, 0.9f, 0.8f, 0.2f};
    FakeMedia* p = AddMedia(kMediaPicture, still);
    p->Common().texRect = {0.0f, 0.5f, 0.5f, 0.0f};
    core.SaveMediaList();

    FakeMediaFactory factory2;
    CMediaManager other(dir.str());
    other.SetServices({&output, &factory2, &displays, &system});
    other.LoadMediaList(MediaBak());
    ASSERT_EQ(other.m_mediaList.size(), 2u);
    const MediaCommon& a = other.m_mediaList[0]->Common();
    const MediaCommon& b = other.m_mediaList[1]->Common();
    EXPECT_EQ(a.type, kMediaFileVideo);
    EXPECT_EQ(a.name, clip);
    EXPECT_FLOAT_EQ(a.texRect.left, 0.1f);
    EXPECT_FLOAT_EQ(a.texRect.top, 0.9f);
    EXPECT_FLOAT_EQ(a.texRect.right, 0.8f);
    EXPECT_FLOAT_EQ(a.texRect.bottom, 0.2f);
    EXPECT_EQ(b.type, kMediaPicture);
    EXPECT_EQ(b.name, still);
    EXPECT_FLOAT_EQ(b.texRect.top, 0.5f);
    EXPECT_EQ(other.m_pCurrentVideo, other.m_mediaList[0]);
    EXPECT_NE(a.handle, 0u);
}

TEST_F(MediaListFiles, LoadPlaysOnlyPlayingVideosAndSkipsGoneFilesQuietly) {
    const std::string first = MakeFile("first.mp4");
    const std::string second = MakeFile("second.mp4");
    const std::string pic = MakeFile("pic.jpg");
    WriteFile(MediaBak(), Int32Bytes(5) +
                              RecordBytes().Path(first).Type(0).State(1).bytes +
                              RecordBytes().Path((dir / "gone.mp4").string()).Type(0).State(1).bytes +
                              RecordBytes().Path(pic).Type(2).State(1).bytes +
                              RecordBytes().Path(second).Type(0).State(0).bytes +
                              RecordBytes().Path("cam").Type(1).Device('3').bytes);
    util::LogCapture log;
    core.LoadMediaList(MediaBak());
    ASSERT_EQ(core.m_mediaList.size(), 3u);
    EXPECT_EQ(core.m_mediaList[0]->Common().name, first);
    EXPECT_EQ(core.m_mediaList[1]->Common().name, pic);
    EXPECT_EQ(core.m_mediaList[2]->Common().name, second);
    // The last video file loaded is the current one.
    EXPECT_EQ(core.m_pCurrentVideo, core.m_mediaList[2]);
    int plays = 0;
    for (const auto& j : factory.journal) plays += (j == "play");
    EXPECT_EQ(plays, 1);
    EXPECT_EQ(core.m_mediaList[0]->Common().state, kMediaPlaying);
    EXPECT_FALSE(log.Contains(LOGTEXT::Level::Error, ""));
    // The capture record was tried with its device byte as the device name.
    EXPECT_TRUE(log.Contains("loadmedia. media=cam,type=1"));
}

TEST_F(MediaListFiles, MediaListCountsAreBoundedByTheFile) {
    const std::string clip = MakeFile("clip.mp4");
    const std::string rec = RecordBytes().Path(clip).Type(0).bytes;
    struct Case {
        const char* what;
        std::string bytes;
        size_t loaded;
    };
    const Case cases[] = {
        {"count 3, two records and 100 bytes", Int32Bytes(3) + rec + rec + std::string(100, 'z'), 2},
        {"count INT32_MAX, one record", Int32Bytes(std::numeric_limits<int32_t>::max()) + rec, 1},
        {"negative count", Int32Bytes(-2) + rec, 0},
        {"count fewer than the records", Int32Bytes(1) + rec + rec, 1},
        {"cut inside the count", std::string("\x02\x00", 2), 0},
        {"empty file", "", 0},
    };
    for (const Case& c : cases) {
        FakeMediaFactory f;
        CMediaManager fresh(dir.str());
        fresh.SetServices({&output, &f, &displays, &system});
        WriteFile(MediaBak(), c.bytes);
        fresh.LoadMediaList(MediaBak());
        EXPECT_EQ(fresh.m_mediaList.size(), c.loaded) << c.what;
    }
}

TEST_F(MediaListFiles, MissingMediaListLeavesTheListAsItIs) {
    AddMedia(kMediaPicture, "kept.jpg");
    core.LoadMediaList((dir / "nothing.bak").string());
    EXPECT_EQ(core.m_mediaList.size(), 1u);
}

TEST_F(MediaListFiles, ListedPathsThatClimbFoldersAreRefused) {
    std::filesystem::create_directories(dir / "sub");
    const std::string pic = MakeFile("pic.jpg");
    const std::string climbing = (dir / "sub" / ".." / "pic.jpg").string();
    ASSERT_TRUE(std::filesystem::exists(climbing));
    WriteFile(MediaBak(), Int32Bytes(2) + RecordBytes().Path(climbing).Type(2).bytes +
                              RecordBytes().Path(pic).Type(2).bytes);
    util::LogCapture log;
    core.LoadMediaList(MediaBak());
    ASSERT_EQ(core.m_mediaList.size(), 1u);
    EXPECT_EQ(core.m_mediaList[0]->Common().name, pic);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "media list entry refused: " + climbing));

    struct Case {
        const char* path;
        bool ok;
    };
    const Case cases[] = {
        {"/srv/media/a.mp4", true}, {"a.mp4", true},          {"d:\\media\\a..b.mp4", true},
        {"", false},                {"..", false},            {"../a.mp4", false},
        {"/srv/../etc/x", false},   {"d:\\media\\..\\x", false}, {"/srv/media/..", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsListedPathAcceptable(c.path), c.ok) << c.path;
}

TEST_F(MediaListFiles, TextureRectanglesThatAreNotNumbersFallBackToTheWholePicture) {
    const std::string pic = MakeFile("pic.jpg");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    WriteFile(MediaBak(), Int32Bytes(1) + RecordBytes().Path(pic).Type(2).Tex(nan, 1.0f, 1.0f, 0.0f).bytes);
    core.LoadMediaList(MediaBak());
    ASSERT_EQ(core.m_mediaList.size(), 1u);
    const MediaRectF& r = core.m_mediaList[0]->Common().texRect;
    EXPECT_EQ(r.left, 0.0f);
    EXPECT_EQ(r.top, 1.0f);
    EXPECT_EQ(r.right, 1.0f);
    EXPECT_EQ(r.bottom, 0.0f);
}

TEST_F(MediaListFiles, FailedSaveLogsAndKeepsNothingHalfWritten) {
    core.m_strMediaListPath = (dir / "no such folder" / "media.bak").string();
    AddMedia(kMediaPicture, "p.jpg");
    util::LogCapture log;
    core.SaveMediaList();
    EXPECT_FALSE(std::filesystem::exists(core.m_strMediaListPath));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "save media list"));
}

TEST_F(MediaListFiles, SavedPlaylistMatchesHandBuiltBytesAndReadsBack) {
    const RecordBytes a = RecordBytes().Path("/srv/media/a.mp4").Type(0).State(1).StateBytes(5, 0, 0, 6);
    const RecordBytes b = RecordBytes().Path("b.jpg").Type(2).Tex(0.5f, 1.0f, 1.0f, 0.5f);
    core.m_playlist = {ToRecord(a), ToRecord(b)};
    core.SavePlaylist();
    EXPECT_EQ(ReadFile(Playlist()), Int32Bytes(1) + Int32Bytes(2) + a.bytes + b.bytes);

    CMediaManager other(dir.str());
    other.LoadPlaylist();
    ASSERT_EQ(other.m_playlist.size(), 2u);
    EXPECT_EQ(std::memcmp(&other.m_playlist[0], a.bytes.data(), 352), 0);
    EXPECT_EQ(std::memcmp(&other.m_playlist[1], b.bytes.data(), 352), 0);

    core.m_playlist.clear();
    core.SavePlaylist();
    EXPECT_EQ(ReadFile(Playlist()), Int32Bytes(1) + Int32Bytes(0));
}

TEST_F(MediaListFiles, PlaylistReadsWholeRecordsOnly) {
    const std::string rec = RecordBytes().Path("x.mp4").bytes;
    struct Case {
        const char* what;
        std::string bytes;
        size_t records;
    };
    const Case cases[] = {
        {"version 7 reads like 1", Int32Bytes(7) + Int32Bytes(1) + rec, 1},
        {"four bytes", Int32Bytes(1), 0},
        {"two bytes", std::string("\x01\x00", 2), 0},
        {"empty", "", 0},
        {"count cut short", Int32Bytes(1) + std::string("\x03\x00", 2), 0},
        {"negative count", Int32Bytes(1) + Int32Bytes(-1) + rec, 0},
        {"zero count", Int32Bytes(1) + Int32Bytes(0) + rec, 0},
        {"count 3, two records and 100 bytes", Int32Bytes(1) + Int32Bytes(3) + rec + rec + std::string(100, 'q'), 2},
        {"count INT32_MAX, one record", Int32Bytes(1) + Int32Bytes(std::numeric_limits<int32_t>::max()) + rec, 1},
    };
    for (const Case& c : cases) {
        CMediaManager fresh(dir.str());
        WriteFile(Playlist(), c.bytes);
        fresh.LoadPlaylist();
        EXPECT_EQ(fresh.m_playlist.size(), c.records) << c.what;
        for (const MediaListRecord& r : fresh.m_playlist) EXPECT_EQ(MediaListRecordPath(r), "x.mp4") << c.what;
    }
}

TEST_F(MediaListFiles, PlaylistAppendsToWhatIsHeldAndAMissingFileChangesNothing) {
    const RecordBytes held = RecordBytes().Path("held.mp4");
    core.m_playlist = {ToRecord(held)};
    core.LoadPlaylist();  // no file yet
    EXPECT_EQ(core.m_playlist.size(), 1u);

    WriteFile(Playlist(), Int32Bytes(1) + Int32Bytes(1) + RecordBytes().Path("new.mp4").bytes);
    core.LoadPlaylist();
    ASSERT_EQ(core.m_playlist.size(), 2u);
    EXPECT_EQ(MediaListRecordPath(core.m_playlist[0]), "held.mp4");
    EXPECT_EQ(MediaListRecordPath(core.m_playlist[1]), "new.mp4");
}

TEST_F(MediaListFiles, UnterminatedPathFieldIsReadToItsEnd) {
    MediaListRecord r = EmptyMediaListRecord();
    std::memset(r.path, 'n', sizeof r.path);
    EXPECT_EQ(MediaListRecordPath(r), std::string(260, 'n'));
}

}  // namespace
