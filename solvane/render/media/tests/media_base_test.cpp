#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "media/MediaBase.h"
#include "media/MediaFactory.h"
#include "media/Pictures.h"

namespace {

// A base object with a frame of the given shape filled with a marker byte.
class FrameMedia : public MediaBaseClass {
public:
    FrameMedia(int32_t w, int32_t h, int32_t stride) : MediaBaseClass(kMediaPicture) {
        auto lock = LockMedia();
        PrepareFrameLocked(w, h, stride);
        std::fill(m_pFrame, m_pFrame + m_nFrameSize, uint8_t{0xEE});
        common_.state = kMediaPlaying;
    }
    uint8_t At(int row, int byte) const { return m_pFrame[row * m_nStride + byte]; }
};

FillRegion Region(uint8_t r, uint8_t g, uint8_t b, float x0, float y0, float x1, float y1) {
    FillRegion reg;
    reg.color[0] = r;
    reg.color[1] = g;
    reg.color[2] = b;
    reg.x0 = x0;
    reg.y0 = y0;
    reg.x1 = x1;
    reg.y1 = y1;
    return reg;
}

}  // namespace

TEST(MediaBase, ConstructionDefaults) {
    FrameMedia m(1, 1, 4);
    MediaBaseClass plain(kMediaPicture);
    EXPECT_EQ(plain.Common().state, kMediaNotLoaded);
    EXPECT_EQ(plain.Common().stereoFormat, -1);
    EXPECT_EQ(plain.m_pFrame, nullptr);
    float l, r, b, t;
    plain.GetTexRect(l, r, b, t);
    EXPECT_EQ(l, 0.0f);
    EXPECT_EQ(r, 1.0f);
    EXPECT_EQ(b, 0.0f);
    EXPECT_EQ(t, 1.0f);
    EXPECT_TRUE(plain.LoadResource("x", 7, 9, -1));
    EXPECT_EQ(plain.Common().layer, 7);
    EXPECT_EQ(plain.m_nReserved, 9);
}

TEST(MediaBase, ReportsShapeGraphStateAndReservedToTheCore) {
    FrameMedia m(640, 480, 1920);
    IMedia& media = m;
    int32_t w = 0, h = 0;
    float aspect = 0.0f;
    media.FrameShape(w, h, aspect);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_FLOAT_EQ(aspect, 640.0f / 480.0f);
    EXPECT_EQ(media.GraphState(), 0);
    m.m_nGraphState = 2;
    EXPECT_EQ(media.GraphState(), 2);
    EXPECT_TRUE(media.LoadResource("x", 1, 33, -1));
    EXPECT_EQ(media.LoadReserved(), 33);
    // A source that does not play keeps the quiet defaults.
    media.SetPosition(3.0);
    EXPECT_EQ(media.GetPosition(), 0.0);
    EXPECT_EQ(media.GetDuration(), 0.0);
    EXPECT_FALSE(media.SetPlayRate(2.0));
    media.SetVolume(50);
    EXPECT_EQ(media.GetVolume(), 0);
    EXPECT_EQ(media.GetSyncTime(), 0u);
    int64_t pos = 7;
    EXPECT_FALSE(media.GetSeekPosition(pos));
}

TEST(MediaBase, FitAspectTallAndWideBoxes) {
    FrameMedia m(1920, 1080, 5760);
    ASSERT_TRUE(m.FitAspect(0.0f, 1.0f, 0.0f, 1.0f));
    float l, r, b, t;
    m.GetTexRect(l, r, b, t);
    EXPECT_EQ(l, 0.0f);
    EXPECT_EQ(r, 1.0f);
    EXPECT_NEAR(b, 0.4375f, 1e-6);
    EXPECT_EQ(t, 1.0f);

    // A box wider than the frame keeps its height and narrows.
    ASSERT_TRUE(m.FitAspect(0.0f, 4.0f, 0.0f, 1.0f));
    m.GetTexRect(l, r, b, t);
    EXPECT_NEAR(r, 1920.0f / 1080.0f, 1e-6);
    EXPECT_EQ(b, 0.0f);

    // An empty box (0 / 0) compares unordered and leaves the rectangle.
    ASSERT_TRUE(m.FitAspect(0.5f, 0.5f, 0.5f, 0.5f));
    float l2, r2, b2, t2;
    m.GetTexRect(l2, r2, b2, t2);
    EXPECT_EQ(r2, r);
    EXPECT_EQ(b2, b);
}

TEST(MediaBase, ViewRectRoundTripStoresSwappedPair) {
    MediaBaseClass m(kMediaPicture);
    m.SetViewRect(1, 2, 3, 4);
    EXPECT_EQ(m.Common().viewRect[2], 4.0f);
    EXPECT_EQ(m.Common().viewRect[3], 3.0f);
    float a, b, c, d;
    m.GetViewRect(a, b, c, d);
    EXPECT_EQ(a, 1.0f);
    EXPECT_EQ(b, 2.0f);
    EXPECT_EQ(c, 3.0f);
    EXPECT_EQ(d, 4.0f);
}

TEST(MediaBase, FillRegionsSwappedEqualsOrdered) {
    FrameMedia a(10, 10, 32), b(10, 10, 32);
    a.FillRegions({Region(1, 2, 3, 0.2f, 0.3f, 0.6f, 0.8f)});
    b.FillRegions({Region(1, 2, 3, 0.6f, 0.8f, 0.2f, 0.3f)});
    EXPECT_EQ(std::vector<uint8_t>(a.m_pFrame, a.m_pFrame + a.m_nFrameSize),
              std::vector<uint8_t>(b.m_pFrame, b.m_pFrame + b.m_nFrameSize));
    // Byte column floor(0.2 * 32) = 6 is pixel 2; rows 3..7; blue first.
    EXPECT_EQ(a.At(3, 6), 3);
    EXPECT_EQ(a.At(3, 7), 2);
    EXPECT_EQ(a.At(3, 8), 1);
    EXPECT_EQ(a.At(2, 6), 0xEE);
    EXPECT_EQ(a.At(8, 6), 0xEE);
    EXPECT_EQ(a.At(3, 3), 0xEE);
}

TEST(MediaBase, FillRegionsClampsAndNeverTouchesPadding) {
    // 5 pixels of 3 bytes in a 16-byte stride: byte 15 is padding.
    FrameMedia m(5, 4, 16);
    m.FillRegions({Region(9, 9, 9, -3.0f, -1.0f, 7.0f, 9.0f)});
    for (int r = 0; r < 4; ++r) {
        for (int x = 0; x < 15; ++x) EXPECT_EQ(m.At(r, x), 9) << r << "," << x;
        EXPECT_EQ(m.At(r, 15), 0xEE) << r;
    }
}

TEST(MediaBase, FillRegionsDoesNothingWithoutFrameOrState) {
    FrameMedia m(4, 4, 12);
    m.Common().state = kMediaNotLoaded;
    m.FillRegions({Region(1, 1, 1, 0, 0, 1, 1)});
    EXPECT_EQ(m.At(0, 0), 0xEE);
    MediaBaseClass empty(kMediaPicture);
    empty.Common().state = kMediaPlaying;
    EXPECT_TRUE(empty.FillRegions({Region(1, 1, 1, 0, 0, 1, 1)}));
}

TEST(MediaBase, FillRegionsOnBgraFrameKeepsPixelPlaces) {
    FrameMedia m(4, 2, 16);
    m.FillRegions({Region(10, 20, 30, 0.25f, 0.0f, 0.75f, 1.0f)});
    EXPECT_EQ(m.At(0, 3), 0xEE);
    EXPECT_EQ(m.At(0, 4), 30);
    EXPECT_EQ(m.At(0, 7), 255);
    EXPECT_EQ(m.At(0, 11), 255);
    EXPECT_EQ(m.At(0, 12), 0xEE);
}

TEST(MediaBase, PrepareFrameGrowsOnlyAndMarksRecreate) {
    MediaBaseClass m(kMediaPicture);
    auto lock = m.LockMedia();
    ASSERT_TRUE(m.PrepareFrameLocked(100, 10, 300));
    EXPECT_EQ(m.m_nCapacity, 3000);
    EXPECT_EQ(m.m_texture.recreate, 1);
    m.m_texture.recreate = 0;
    ASSERT_TRUE(m.PrepareFrameLocked(100, 10, 300));
    EXPECT_EQ(m.m_texture.recreate, 0);
    ASSERT_TRUE(m.PrepareFrameLocked(10, 10, 40));
    EXPECT_EQ(m.m_nCapacity, 3000);
    EXPECT_EQ(m.m_nFrameSize, 400);
    EXPECT_EQ(m.FramePixelFormat(), kPixelFormatBGRA);
    EXPECT_EQ(m.m_texture.recreate, 1);
    EXPECT_FALSE(m.PrepareFrameLocked(0, 10, 40));
    EXPECT_FALSE(m.PrepareFrameLocked(10, 10, 20));
    EXPECT_FALSE(m.PrepareFrameLocked(40000, 40000, 120000));
}

// A frame filled off the lock takes the storage's place only when the frame
// lives in its own storage and the buffer is of its size.
TEST(MediaBase, SwapFrameTakesOnlyAFilledBufferOfTheFramesSize) {
    FrameMedia m(4, 2, 16);
    auto lock = m.LockMedia();
    m.m_texture.recreate = 0;
    std::vector<uint8_t> filled(32, 0x11);
    ASSERT_TRUE(m.SwapFrameLocked(filled));
    EXPECT_EQ(m.At(1, 15), 0x11);
    EXPECT_EQ(filled, std::vector<uint8_t>(32, 0xEE));  // the replaced frame comes back
    EXPECT_EQ(m.m_texture.recreate, 0);                 // same shape: the texture stays

    std::vector<uint8_t> wrongSize(31, 0x22);
    EXPECT_FALSE(m.SwapFrameLocked(wrongSize));
    EXPECT_EQ(m.At(0, 0), 0x11);

    uint8_t foreign[32] = {};
    uint8_t* own = m.m_pFrame;
    m.m_pFrame = foreign;  // a subclass showing memory of its own
    EXPECT_FALSE(m.SwapFrameLocked(filled));
    EXPECT_EQ(filled[0], 0xEE);
    m.m_pFrame = own;
}

TEST(MediaBase, ResolveStereoByShape) {
    EXPECT_EQ(MediaBaseClass::ResolveStereo(1, 3840, 1080), 2);
    EXPECT_EQ(MediaBaseClass::ResolveStereo(1, 1920, 2160), 3);
    EXPECT_EQ(MediaBaseClass::ResolveStereo(1, 100, 100), 3);
    EXPECT_EQ(MediaBaseClass::ResolveStereo(-1, 100, 10), -1);
    EXPECT_EQ(MediaBaseClass::ResolveStereo(2, 10, 100), 2);
}

TEST(MediaBase, TextureNameGoesToReleaseHookOnlyWhenMade) {
    std::vector<uint32_t> released;
    MediaTexture::SetReleaseHook([&](uint32_t n) { released.push_back(n); });
    {
        MediaBaseClass never(kMediaPicture);
    }
    EXPECT_TRUE(released.empty());
    {
        MediaBaseClass made(kMediaPicture);
        made.m_texture.name = 42;
        made.m_texture.created = 1;
    }
    MediaTexture::SetReleaseHook(nullptr);
    EXPECT_EQ(released, std::vector<uint32_t>{42});
}

// A producer that keeps changing the frame size while a reader uploads
// under the lock: the reader always sees a buffer as large as the fields say.
TEST(MediaBase, HandOverUnderLockSeesConsistentFrames) {
    FrameMedia m(8, 8, 24);
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        for (int i = 0; i < 2000; ++i) {
            auto lock = m.LockMedia();
            const int w = 8 + (i % 50);
            m.PrepareFrameLocked(w, w, 3 * w);
            std::fill(m.m_pFrame, m.m_pFrame + m.m_nFrameSize, static_cast<uint8_t>(i));
            m.m_bFrameReady = true;
        }
        stop = true;
    });
    while (!stop) {
        auto lock = m.LockMedia();
        if (!m.m_bFrameReady) continue;
        ASSERT_GE(static_cast<int>(m.m_nCapacity), m.m_nFrameSize);
        volatile uint8_t last = m.m_pFrame[m.m_nFrameSize - 1];
        (void)last;
        m.m_bFrameReady = false;
    }
    producer.join();
}

TEST(MediaFactory, MakesSourcesByType) {
    RenderMediaFactory factory([] { return false; });
    auto pic = factory.CreateMedia(kMediaPicture);
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->Common().type, kMediaPicture);
    EXPECT_FALSE(pic->LoadResource("/nonexistent/x.jpg", 0, 0, -1));
    for (int32_t type : {kMediaFileVideo, kMediaCapture}) {
        auto media = factory.CreateMedia(type);
        ASSERT_NE(media, nullptr);
        EXPECT_EQ(media->Common().type, type);
    }
    EXPECT_EQ(factory.CreateMedia(42), nullptr);
}
