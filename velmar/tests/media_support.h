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

// Made on first use in each test program (ctest runs every test in its own
// process, so only what a test needs is encoded); removed with the folder.
struct TestMedia {
    testsupport::TempDir dir;

    static TestMedia& Get() {
        static TestMedia* m = new TestMedia;
        return *m;
    }
    // 320 x 240, 2 s, 25 frames/s
    const std::string& video() { return Lazy(video_, "video.mp4", "-f lavfi -i testsrc=size=320x240:rate=25 -t 2 -pix_fmt yuv420p -g 5"); }
    // 50 x 30 (rows padded), 1 s
    const std::string& odd() { return Lazy(odd_, "odd.mp4", "-f lavfi -i testsrc=size=50x30:rate=25 -t 1 -pix_fmt yuv444p -g 5"); }
    // 12.9 s
    const std::string& longVideo() { return Lazy(long_, "long.mp4", "-f lavfi -i testsrc=size=32x32:rate=10 -t 12.9 -pix_fmt yuv420p"); }
    // 32 x 32, 10 s
    const std::string& tenSeconds() { return Lazy(ten_, "ten.mp4", "-f lavfi -i testsrc=size=32x32:rate=10 -t 10 -pix_fmt yuv420p"); }
    // 64 x 48 of 0x3366CC
    const std::string& picture() { return Lazy(picture_, "picture.png", "-f lavfi -i color=c=0x3366CC:s=64x48,format=rgb24 -frames:v 1"); }
    // 20 x 10 with an alpha channel
    const std::string& alpha() { return Lazy(alpha_, "alpha.png", "-f lavfi -i color=c=0x10203080:s=20x10,format=rgba -frames:v 1"); }

private:
    TestMedia() = default;
    const std::string& Lazy(std::string& path, const std::string& name, const std::string& args) {
        std::lock_guard lk(mu_);
        if (path.empty()) {
            const std::string out = (dir / name).string();
            int status = -1;
            const std::string text =
                testsupport::RunShell("ffmpeg -nostdin -loglevel error -y " + args + " '" + out + "' 2>&1", &status);
            EXPECT_EQ(status, 0) << text;
            path = out;
        }
        return path;
    }
    std::mutex mu_;
    std::string video_, odd_, long_, ten_, picture_, alpha_;
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
// A video calls back from its decode thread until it is removed (a pause hands
// its last frame over once more), so a recorder removes every media before it
// goes: the fixtures' own removal comes only after the test's locals are gone.
class Recorder {
public:
    Recorder() = default;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    ~Recorder() { Kestrane_RemoveMedia(nullptr); }

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
