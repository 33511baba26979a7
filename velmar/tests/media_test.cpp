#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

#include "media_support.h"
#include "util/LogCapture.h"
#include "velmar/MediaLibrary.h"
#include "velmar/kestrane.h"

using vt::Recorder;
using vt::TestMedia;

namespace {

class MediaTest : public ::testing::Test {
protected:
    void TearDown() override {
        Kestrane_RemoveMedia(nullptr);
        velmar::SetCaptureSourceLister({});
        EXPECT_EQ(velmar::LiveMediaCount(), 0);
    }
    void* Add(int type, const std::string& path, Recorder* rec = nullptr, int layer = 1) {
        return Kestrane_AddMedia(layer, type, path.c_str(), rec ? &Recorder::Callback : nullptr, rec);
    }
};

// Three test cameras of different sizes, so the one opened is known by its frames.
std::vector<velmar::CaptureSource> Cameras() {
    std::vector<velmar::CaptureSource> out;
    for (const char* size : {"16x16", "32x16", "48x32"})
        out.push_back({std::string("Camera ") + size, "lavfi", std::string("testsrc=size=") + size + ":rate=25", {}});
    return out;
}

}  // namespace

TEST_F(MediaTest, RefusedAdditionsCreateNothing) {
    auto& m = TestMedia::Get();
    struct Case {
        int type;
        const char* path;
    } cases[] = {
        {KESTRANE_MEDIA_VIDEO, nullptr},
        {4, m.picture().c_str()},
        {-1, m.video().c_str()},
        {KESTRANE_MEDIA_VIDEO, "/nonexistent/clip.mp4"},
        {KESTRANE_MEDIA_PICTURE, "/nonexistent/picture.png"},
        {KESTRANE_MEDIA_PICTURE, m.video().c_str()},  // not a picture
        {KESTRANE_MEDIA_SCREEN, "\\\\.\\DISPLAY7"},
        {KESTRANE_MEDIA_CAPTURE, "9"},
    };
    velmar::SetCaptureSourceLister(Cameras);
    for (const Case& c : cases) {
        Recorder rec;
        EXPECT_EQ(Kestrane_AddMedia(1, c.type, c.path, &Recorder::Callback, &rec), nullptr)
            << c.type << " " << (c.path ? c.path : "(null)");
        EXPECT_EQ(rec.Count(), 0u);
    }
    EXPECT_EQ(velmar::LiveMediaCount(), 0);
}

TEST_F(MediaTest, UnknownAndRemovedHandlesAreRefused) {
    void* pic = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture());
    ASSERT_NE(pic, nullptr);
    void* gone = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture());
    ASSERT_NE(gone, nullptr);
    EXPECT_NE(pic, gone);
    EXPECT_EQ(Kestrane_RemoveMedia(gone), 1);

    // An id is a number, never a pointer that gets dereferenced: neither a
    // removed id nor a made-up value reaches a media.
    int local = 0;
    for (void* bad : {gone, reinterpret_cast<void*>(0x12345), static_cast<void*>(&local)}) {
        void* frame = &local;
        int w = -7;
        EXPECT_EQ(Kestrane_GetMediaInfo(bad, &frame, &w, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(frame, &local);
        EXPECT_EQ(w, -7);
        EXPECT_EQ(Kestrane_RemoveMedia(bad), 0);
        EXPECT_EQ(Kestrane_PlayMedia(bad), 0);
        EXPECT_EQ(Kestrane_PauseMedia(bad), 0);
        EXPECT_EQ(Kestrane_StopMedia(bad), 0);
        EXPECT_EQ(Kestrane_MuteMedia(1, bad), 0);
        EXPECT_EQ(Kestrane_SetPlayRate(2.0, bad), 0);
        EXPECT_FALSE(velmar::IsLiveMedia(bad));
    }
    EXPECT_TRUE(velmar::IsLiveMedia(pic));
    EXPECT_EQ(Kestrane_GetMediaInfo(pic, nullptr, nullptr, nullptr, nullptr, nullptr), 1);

    // Ids are not handed out again, and they fit in an int.
    void* next = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture());
    EXPECT_NE(next, gone);
    EXPECT_NE(next, pic);
    EXPECT_LE(reinterpret_cast<uintptr_t>(next), static_cast<uintptr_t>(INT32_MAX));
}

TEST_F(MediaTest, PictureCallsBackOnceOnTheCallersThread) {
    Recorder rec;
    void* id = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture(), &rec);
    ASSERT_NE(id, nullptr);
    const auto calls = rec.Calls();
    ASSERT_EQ(calls.size(), 1u);
    const vt::Call& c = calls[0];
    EXPECT_EQ(c.media, id);
    EXPECT_EQ(c.thread, std::this_thread::get_id());
    EXPECT_EQ(c.state, KESTRANE_STATE_PLAYING);
    EXPECT_EQ(c.position, 0.0);
    EXPECT_EQ(c.duration, 0.0);
    EXPECT_EQ(c.atZero, 0);
    EXPECT_EQ(c.format.biSize, 40u);
    EXPECT_EQ(c.format.biWidth, 64);
    EXPECT_EQ(c.format.biHeight, 48);
    EXPECT_EQ(c.format.biPlanes, 1);
    EXPECT_EQ(c.format.biBitCount, 24);
    EXPECT_EQ(c.format.biCompression, 0u);
    EXPECT_EQ(c.format.biSizeImage, 64u * 3 * 48);

    void* frame = nullptr;
    int w = 0, h = 0;
    double pos = -5.0, dur = -6.0;
    ASSERT_EQ(Kestrane_GetMediaInfo(id, &frame, &w, &h, &pos, &dur), 1);
    EXPECT_EQ(frame, c.frame);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    // A picture has no times: they are left as they were.
    EXPECT_EQ(pos, -5.0);
    EXPECT_EQ(dur, -6.0);
    const auto* px = static_cast<const uint8_t*>(frame);
    for (int i : {0, 64 * 3 * 47 + 63 * 3}) {
        EXPECT_EQ(px[i], 0xCC);
        EXPECT_EQ(px[i + 1], 0x66);
        EXPECT_EQ(px[i + 2], 0x33);
    }
}

TEST_F(MediaTest, PictureWithAlphaIsAnnouncedAs32Bit) {
    Recorder rec;
    void* id = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().alpha(), &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(rec.Count(), 1u);
    const BITMAPINFOHEADER f = rec.Calls()[0].format;
    EXPECT_EQ(f.biBitCount, 32);
    EXPECT_EQ(f.biSizeImage, 20u * 4 * 10);
    const auto* px = static_cast<const uint8_t*>(rec.Calls()[0].frame);
    EXPECT_EQ(px[0], 0x30);
    EXPECT_EQ(px[1], 0x20);
    EXPECT_EQ(px[2], 0x10);
    EXPECT_EQ(px[3], 0x80);
}

TEST_F(MediaTest, VideoDeliversFirstPictureThenFramesInOrder) {
    Recorder rec;
    void* id = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().video(), &rec);
    ASSERT_NE(id, nullptr);
    // The shape is known as soon as the file is open.
    void* frame = nullptr;
    int w = 0, h = 0;
    double pos = -1, dur = -1;
    ASSERT_EQ(Kestrane_GetMediaInfo(id, &frame, &w, &h, &pos, &dur), 1);
    EXPECT_NE(frame, nullptr);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(pos, 0.0);
    EXPECT_EQ(dur, 2.0);

    // Paused after loading: the first picture, flagged at zero.
    ASSERT_TRUE(rec.WaitFor(1));
    const vt::Call first = rec.Calls()[0];
    EXPECT_EQ(first.media, id);
    EXPECT_EQ(first.frame, frame);
    EXPECT_EQ(first.atZero, 1);
    EXPECT_EQ(first.position, 0.0);
    EXPECT_NEAR(first.duration, 2.0, 0.05);
    EXPECT_EQ(first.state, KESTRANE_STATE_PAUSED);
    EXPECT_NE(first.thread, std::this_thread::get_id());
    EXPECT_EQ(first.format.biWidth, 320);
    EXPECT_EQ(first.format.biHeight, 240);
    EXPECT_EQ(first.format.biBitCount, 24);
    EXPECT_EQ(first.format.biSizeImage, 320u * 3 * 240);

    ASSERT_EQ(Kestrane_PlayMedia(id), 1);
    ASSERT_TRUE(rec.WaitFor(12));
    ASSERT_EQ(Kestrane_PauseMedia(id), 1);
    const auto calls = rec.Calls();
    double last = -1.0;
    int playing = 0;
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].atZero, 0);
        EXPECT_EQ(calls[i].frame, frame);
        EXPECT_GE(calls[i].position, last) << i;
        last = calls[i].position;
        if (calls[i].state == KESTRANE_STATE_PLAYING) ++playing;
    }
    EXPECT_GT(playing, 5);
    EXPECT_GT(last, 0.0);
}

TEST_F(MediaTest, PaddedRowsKeepTheirStride) {
    Recorder rec;
    void* id = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().odd(), &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_TRUE(rec.WaitFor(1));
    const BITMAPINFOHEADER f = rec.Calls()[0].format;
    EXPECT_EQ(f.biWidth, 50);
    EXPECT_EQ(f.biHeight, 30);
    EXPECT_EQ(f.biSizeImage, 152u * 30);  // 150 bytes of pixels padded to 152
}

TEST_F(MediaTest, DurationIsReportedInWholeSeconds) {
    void* id = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().longVideo());
    ASSERT_NE(id, nullptr);
    double pos = -1, dur = -1;
    ASSERT_EQ(Kestrane_GetMediaInfo(id, nullptr, nullptr, nullptr, &pos, &dur), 1);
    EXPECT_EQ(dur, 12.0);
    EXPECT_EQ(pos, 0.0);
}

TEST_F(MediaTest, MuteAndRateCountTheVideoFilesChanged) {
    void* a = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().video());
    void* b = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().odd());
    void* p = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture());
    ASSERT_TRUE(a && b && p);
    EXPECT_EQ(Kestrane_MuteMedia(1, nullptr), 2);
    EXPECT_EQ(Kestrane_MuteMedia(0, a), 1);
    EXPECT_EQ(Kestrane_MuteMedia(1, p), 0);
    EXPECT_EQ(Kestrane_SetPlayRate(2.0, nullptr), 2);
    EXPECT_EQ(Kestrane_SetPlayRate(0.5, b), 1);
    EXPECT_EQ(Kestrane_SetPlayRate(1.0, p), 0);
    // A rate the engine cannot play changes nothing.
    EXPECT_EQ(Kestrane_SetPlayRate(0.0, nullptr), 0);
    EXPECT_EQ(Kestrane_SetPlayRate(-1.0, nullptr), 0);
    EXPECT_EQ(Kestrane_SetPlayRate(NAN, nullptr), 0);
}

TEST_F(MediaTest, RemoveAllEmptiesTheListAndAnswersZero) {
    void* a = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().video());
    void* b = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().odd());
    void* p = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture());
    ASSERT_TRUE(a && b && p);
    EXPECT_EQ(velmar::LiveMediaCount(), 3);
    EXPECT_EQ(Kestrane_RemoveMedia(nullptr), 0);
    EXPECT_EQ(velmar::LiveMediaCount(), 0);
    for (void* id : {a, b, p}) EXPECT_EQ(Kestrane_GetMediaInfo(id, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(Kestrane_PlayMedia(nullptr), 1);  // an empty list: nothing to do
}

TEST_F(MediaTest, PerMediaControlsFollowThePlayStates) {
    Recorder rec;
    void* id = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().video(), &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(Kestrane_PlayMedia(id), 1);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        double pos = 0;
        Kestrane_GetMediaInfo(id, nullptr, nullptr, nullptr, &pos, nullptr);
        return pos >= 1.0;
    }));
    EXPECT_EQ(Kestrane_StopMedia(id), 1);
    double pos = -1;
    ASSERT_EQ(Kestrane_GetMediaInfo(id, nullptr, nullptr, nullptr, &pos, nullptr), 1);
    EXPECT_EQ(pos, 0.0);
    // Pausing twice is the same as pausing once; all three answer for the list.
    EXPECT_EQ(Kestrane_PauseMedia(id), 1);
    EXPECT_EQ(Kestrane_PauseMedia(id), 1);
    EXPECT_EQ(Kestrane_Pause(), 1);
    EXPECT_EQ(Kestrane_Stop(), 1);
    EXPECT_EQ(Kestrane_PlayMedia(nullptr), 1);
}

TEST_F(MediaTest, EndOfFileStopsTheVideoAtTheStart) {
    util::LogCapture log;
    Recorder rec;
    void* id = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().odd(), &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_TRUE(rec.WaitFor(1));
    ASSERT_EQ(Kestrane_SetPlayRate(4.0, id), 1);
    ASSERT_EQ(Kestrane_PlayMedia(id), 1);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return log.Contains("播放完成通知处理完毕"); },
                                       std::chrono::seconds(10)));
    double pos = -1;
    ASSERT_EQ(Kestrane_GetMediaInfo(id, nullptr, nullptr, nullptr, &pos, nullptr), 1);
    EXPECT_EQ(pos, 0.0);
    // Stopped, it plays again from the start.
    const size_t before = rec.Count();
    EXPECT_EQ(Kestrane_PlayMedia(id), 1);
    EXPECT_TRUE(rec.WaitFor(before + 3));
}

TEST_F(MediaTest, CaptureDeviceByNumberPlaysAtOnceOutsideTheList) {
    velmar::SetCaptureSourceLister(Cameras);
    Recorder rec;
    void* id = Add(KESTRANE_MEDIA_CAPTURE, "2", &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_TRUE(rec.WaitFor(5));
    const auto calls = rec.Calls();
    for (const vt::Call& c : calls) {
        EXPECT_EQ(c.media, id);
        EXPECT_EQ(c.format.biWidth, 48);  // the third camera
        EXPECT_EQ(c.format.biHeight, 32);
        EXPECT_EQ(c.position, 0.0);
        EXPECT_EQ(c.duration, 0.0);
        EXPECT_EQ(c.atZero, 0);
        EXPECT_NE(c.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(calls.back().state, KESTRANE_STATE_PLAYING);
    // Not in the media list: the list functions do not reach it ...
    EXPECT_EQ(Kestrane_GetMediaInfo(id, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(Kestrane_PauseMedia(id), 0);
    // ... but it can be removed, and then calls back no more.
    EXPECT_EQ(Kestrane_RemoveMedia(id), 1);
    const size_t after = rec.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rec.Count(), after);
    EXPECT_FALSE(velmar::IsLiveMedia(id));
}

TEST_F(MediaTest, NoCaptureDeviceRefusesTheCapture) {
    velmar::SetCaptureSourceLister([] { return std::vector<velmar::CaptureSource>{}; });
    EXPECT_EQ(Add(KESTRANE_MEDIA_CAPTURE, "0"), nullptr);
}

TEST_F(MediaTest, ShutdownLeavesNoThreadBehind) {
    velmar::Shutdown();
    const int baseline = vt::ThreadCount();
    velmar::SetCaptureSourceLister(Cameras);
    Recorder v, c;
    void* video = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().video(), &v);
    void* cam = Add(KESTRANE_MEDIA_CAPTURE, "0", &c);
    ASSERT_TRUE(video && cam);
    ASSERT_EQ(Kestrane_PlayMedia(video), 1);
    ASSERT_TRUE(v.WaitFor(3));
    ASSERT_TRUE(c.WaitFor(3));
    EXPECT_GT(vt::ThreadCount(), baseline);
    velmar::Shutdown();
    EXPECT_EQ(velmar::LiveMediaCount(), 0);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return vt::ThreadCount() == baseline; }))
        << vt::ThreadCount() << " threads, " << baseline << " before";
    // The library starts again after a shutdown.
    EXPECT_NE(Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture()), nullptr);
}

// Media names are files: a protocol name is refused unless a file of that
// name exists, which then plays as the file it is.
TEST_F(MediaTest, ProtocolNamesAreRefusedAndFilesNamedLikeThemPlay) {
    const std::string video = TestMedia::Get().video();
    const std::string dir = TestMedia::Get().dir.str();
    const std::string likeConcat = dir + "/concat:" + video + "|" + video;
    std::filesystem::create_directories(std::filesystem::path(likeConcat).parent_path());
    std::filesystem::copy_file(TestMedia::Get().odd(), likeConcat, std::filesystem::copy_options::overwrite_existing);
    struct Case {
        std::string name;
        int width;  // 0: refused
    };
    const Case cases[] = {
        {"concat:" + video + "|" + video, 0},
        {"http://127.0.0.1:9/video.mp4", 0},
        {"pipe:0", 0},
        {likeConcat, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* id = Add(KESTRANE_MEDIA_VIDEO, c.name);
        if (c.width == 0) {
            EXPECT_EQ(id, nullptr);
            continue;
        }
        ASSERT_NE(id, nullptr);
        int width = 0;
        ASSERT_EQ(Kestrane_GetMediaInfo(id, nullptr, &width, nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(Kestrane_RemoveMedia(id), 1);
    }
}

// A reader takes pictures as copies made under the frame lock.
TEST_F(MediaTest, FrameCopiesCarryTheirShape) {
    velmar::FrameCopy copy;
    EXPECT_FALSE(velmar::CopyMediaFrame(reinterpret_cast<void*>(uintptr_t{999999}), copy));
    void* picture = Add(KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture());
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(velmar::CopyMediaFrame(picture, copy));
    EXPECT_EQ(copy.width, 64);
    EXPECT_EQ(copy.height, 48);
    EXPECT_EQ(copy.bitsPerPixel, 24);
    EXPECT_EQ(copy.stride, 192);
    ASSERT_EQ(copy.bits.size(), size_t{192} * 48);
    // 0x3366CC as blue, green, red.
    EXPECT_EQ(copy.bits[0], 0xCC);
    EXPECT_EQ(copy.bits[1], 0x66);
    EXPECT_EQ(copy.bits[2], 0x33);

    void* video = Add(KESTRANE_MEDIA_VIDEO, TestMedia::Get().odd());
    ASSERT_NE(video, nullptr);
    ASSERT_TRUE(velmar::CopyMediaFrame(video, copy));
    EXPECT_EQ(copy.width, 50);
    EXPECT_EQ(copy.height, 30);
    EXPECT_EQ(copy.stride, 152);
    EXPECT_EQ(copy.bits.size(), size_t{152} * 30);
    ASSERT_EQ(Kestrane_RemoveMedia(video), 1);
    EXPECT_FALSE(velmar::CopyMediaFrame(video, copy));
}
