// The core's colour-band commands reach a real picture through the media
// factory that the renderer installs.
#include <gtest/gtest.h>

#include <cstring>

#include "core/MediaManager.h"
#include "media/MediaFactory.h"
#include "media/Pictures.h"
#include "support/support.h"

namespace {

TEST(BackgroundBars, ColourBandCommandFillsTheBackgroundPicture) {
    testsupport::TempDir dir;
    RenderMediaFactory factory;
    CMediaManager core(dir.str());
    CoreServices services;
    services.media = &factory;
    core.SetServices(services);

    tagNETHEAD head{};
    head.command = 304;
    head.intParam[2] = 3;  // three colours
    head.intParam[3] = 1;  // down the picture
    const uint32_t colours[3] = {0x0000FF, 0x00FF00, 0xFF0000};  // red, green, blue (red in the low byte)
    std::memcpy(head.textParam, colours, sizeof colours);
    tagNETHEAD reply{};
    std::vector<uint8_t> body;
    core.DispatchCommand(head, nullptr, 0, reply, body, nullptr);

    std::lock_guard lock(core.m_csMedia);
    auto* bmp = dynamic_cast<BMP*>(core.m_pBackground);
    ASSERT_NE(bmp, nullptr);
    auto media = bmp->LockMedia();
    EXPECT_TRUE(bmp->m_bFrameReady);
    EXPECT_EQ(bmp->Common().state, kMediaPlaying);
    ASSERT_EQ(bmp->m_nWidth, 120);
    // Bands of 40 pixels, stored blue, green, red.
    const uint8_t expected[3][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    for (int x : {0, 39, 40, 79, 80, 119}) {
        const uint8_t* px = bmp->m_pFrame + 60 * bmp->m_nStride + 3 * x;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(px[k], expected[x / 40][k]) << "x " << x;
    }
}

}  // namespace
