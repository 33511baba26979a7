#include <gtest/gtest.h>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "media/FileVideo.h"
#include "render/MediaEvents.h"
#include "support/support.h"

namespace {

using namespace std::chrono_literals;
using testsupport::WaitUntil;

// A looping video file goes round: its end reaches the output window, the
// window's handler rewinds it and it plays again to its end.
TEST(VideoLoop, EndOfAVideoFileRewindsAndPlaysAgain) {
    testsupport::TempDir dir;
    const std::string clip = (dir / "loop.mp4").string();
    int status = 0;
    testsupport::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=25 -t 0.5 "
                          "-pix_fmt yuv420p '" + clip + "' 2>&1",
                          &status);
    ASSERT_EQ(status, 0);

    FakeOutputWindow window;
    CMediaManager core(dir.str());
    core.m_nSyncMediaEnable = 0;
    core.m_nLoopMedia = 1;
    auto* video = new FileVideo(false);
    ASSERT_TRUE(video->LoadResource(clip, 0, 0, -1));
    video->Common().handle = 11;
    video->SetNotifyWindow(&window);
    core.m_mediaList.push_back(video);

    auto frameAt = [&](int64_t below) {
        auto lock = video->LockMedia();
        const bool ready = video->m_bFrameReady && video->m_llSeekPosition < below;
        video->m_bFrameReady = false;
        return ready;
    };
    video->Play();
    for (size_t round = 1; round <= 2; ++round) {
        ASSERT_TRUE(WaitUntil([&] { return window.Count("media 11") == round; }, 20s)) << round;
        // The end has been reached; the next frame shown is near the start.
        // Played slowly meanwhile, so that however busy the machine this
        // thread looks before the video has moved on.
        { auto lock = video->LockMedia(); video->m_bFrameReady = false; }
        ASSERT_TRUE(video->SetPlayRate(0.02));
        HandleMediaPlayerEvents(core, video, {});
        EXPECT_EQ(video->Common().state, kMediaPlaying);
        EXPECT_TRUE(video->m_stopEvent.IsSet());
        video->m_stopEvent.Reset();
        ASSERT_TRUE(WaitUntil([&] { return frameAt(av::kUnitsPerSecond / 5); }, 20s)) << round;
        ASSERT_TRUE(video->SetPlayRate(1.0));
    }
}

}  // namespace
