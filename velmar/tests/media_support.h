// Test media made with the ffmpeg tool, and a recorder for the media callback.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <dirent.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/support.h"
#include "velmar/kestrane.h"

namespace vt {

// Made once per test program; removed with the program's temp folder.
struct TestMedia {
    testsupport::TempDir dir;
    std::string video;      // 320 x 240, 2 s, 25 frames/s
    std::string odd;        // 50 x 30 (rows padded), 1 s
    std::string longVideo;  // 12.9 s
    std::string picture;    // 64 x 48 of 0x3366CC
    std::string alpha;      // 20 x 10 with an alpha channel

    static TestMedia& Get() {
        static TestMedia* m = new TestMedia;
        return *m;
    }

private:
    TestMedia() {
        video = Make("video.mp4", "-f lavfi -i testsrc=size=320x240:rate=25 -t 2 -pix_fmt yuv420p -g 5");
        odd = Make("odd.mp4", "-f lavfi -i testsrc=size=50x30:rate=25 -t 1 -pix_fmt yuv444p -g 5");
        longVideo = Make("long.mp4", "-f lavfi -i testsrc=size=32x32:rate=10 -t 12.9 -pix_fmt yuv420p");
        picture = Make("picture.png", "-f lavfi -i color=c=0x3366CC:s=64x48,format=rgb24 -frames:v 1");
        alpha = Make("alpha.png", "-f lavfi -i color=c=0x10203080:s=20x10,format=rgba -frames:v 1");
    }
    std::string Make(const std::string& name, const std::string& args) {
        const std::string path = (dir / name).string();
        int status = -1;
        const std::string out =
            testsupport::RunShell("ffmpeg -nostdin -loglevel error -y " + args + " '" + path + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return path;
    }
};

struct Call {
    void* media;
    void* frame;
    BITMAPINFOHEADER format;
    double position;
    double duration;
    int atZero;
    int state;
    std::thread::id thread;
};

// Keeps every callback; pass it as the user value.
class Recorder {
public:
    static void Callback(void* media, void* frame, const BITMAPINFOHEADER* format, double position, double duration,
                         int atZero, int state, void* user) {
        auto* self = static_cast<Recorder*>(user);
        Call c{media, frame, format ? *format : BITMAPINFOHEADER{}, position, duration, atZero, state,
               std::this_thread::get_id()};
        std::lock_guard lk(self->mu_);
        self->calls_.push_back(c);
    }
    std::vector<Call> Calls() const {
        std::lock_guard lk(mu_);
        return calls_;
    }
    size_t Count() const {
        std::lock_guard lk(mu_);
        return calls_.size();
    }
    bool WaitFor(size_t n) const {
        return testsupport::WaitUntil([&] { return Count() >= n; }, std::chrono::seconds(10));
    }

private:
    mutable std::mutex mu_;
    std::vector<Call> calls_;
};

inline int ThreadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

}  // namespace vt
