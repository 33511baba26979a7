// The core's own pictures made by the render media factory.
#include <gtest/gtest.h>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "core/Resources.h"
#include "media/MediaFactory.h"
#include "media/Pictures.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

class CorePicturesRendered : public ::testing::Test {
protected:
    void SetUp() override {
        MY_MONITORINFO primary;
        primary.number = 1;
        primary.primary = 1;
        primary.monitor = {0, 0, 1920, 1080};
        displays.monitors = {primary};
        core.SetServices({&output, &factory, &displays, &system});
    }

    testsupport::TempDir dir;
    FakeOutputWindow output;
    RenderMediaFactory factory{[] { return false; }};
    FakeDisplayList displays;
    FakeSystemServices system;
    CMediaManager core{dir.str()};
};

}  // namespace

TEST(RenderMediaFactoryPictures, MattingPictureIsAStillPicture) {
    RenderMediaFactory factory([] { return false; });
    auto media = factory.CreateMedia(kMediaMattingPicture);
    ASSERT_NE(dynamic_cast<CMattingImage*>(media.get()), nullptr);
    EXPECT_EQ(media->Common().type, kMediaPicture);
    EXPECT_NE(dynamic_cast<BMP*>(factory.CreateMedia(kMediaPicture).get()), nullptr);
}

TEST_F(CorePicturesRendered, DefaultBackgroundAndMattingAreLoaded) {
    core.CreateEmbeddedPictures();
    EXPECT_EQ(core.LoadDefaultBackground(), 1);
    core.m_nShowMatting = 1;
    core.LoadMattingImage();

    auto* background = dynamic_cast<BMP*>(core.m_pDefaultBackground);
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->Common().name, "BKimage");
    EXPECT_EQ(background->Common().state, kMediaPlaying);
    EXPECT_EQ(background->m_nWidth, 1920);
    EXPECT_EQ(background->m_nHeight, 1080);
    EXPECT_EQ(background->m_nStride, 5760);
    EXPECT_EQ(background->FramePixelFormat(), kPixelFormatBGR);
    EXPECT_TRUE(background->m_bFrameReady);

    auto* matting = dynamic_cast<CMattingImage*>(core.m_pMatting);
    ASSERT_NE(matting, nullptr);
    EXPECT_EQ(matting->Common().name, "Matting");
    EXPECT_EQ(matting->Common().state, kMediaPlaying);
    ASSERT_GT(matting->m_nWidth, 0);
    EXPECT_EQ(matting->m_nStride, 4 * matting->m_nWidth);
    EXPECT_EQ(matting->FramePixelFormat(), kPixelFormatBGRA);
    EXPECT_EQ(core.m_render.mattingEnabled, 1);
    // Transparent at its corner, opaque enough in its middle to be seen.
    auto lock = matting->LockMedia();
    const uint8_t* frame = matting->m_pFrame;
    EXPECT_EQ(frame[3], 0);
    const size_t middle = size_t(matting->m_nHeight / 2) * matting->m_nStride + size_t(matting->m_nWidth / 2) * 4;
    EXPECT_GT(frame[middle + 3], 0);
}

TEST_F(CorePicturesRendered, BytesThatDoNotDecodeAreRefusedAndLogged) {
    core.CreateEmbeddedPictures();
    util::LogCapture log;
    const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(core.m_pMatting->LoadFromPictureData(junk, sizeof junk));
    EXPECT_FALSE(core.m_pDefaultBackground->LoadFromPictureData(nullptr, 0));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "matting picture: 8 bytes do not decode."));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "picture: 0 bytes do not decode."));
    EXPECT_EQ(core.m_pMatting->Common().state, kMediaNotLoaded);
}
