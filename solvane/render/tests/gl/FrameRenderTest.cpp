// Frames drawn by the output renderer into a real window under Xvfb, read
// back from the back buffer before any swap and compared with values worked
// out by hand. Each frame is also saved as a PNG in the build folder.
#include "gl/GlTestSupport.h"

#include <QImage>
#include <QWindow>

#include <cmath>
#include <filesystem>

#include "channel/ChannelLayout.h"
#include "channel/OutputChannel.h"
#include "core/MediaManager.h"
#include "core/SpecialActions.h"
#include "media/Pictures.h"
#include "render/OutputRenderer.h"
#include "support/support.h"

namespace {

constexpr int kW = 400;
constexpr int kH = 300;

// The output program's blend curve with its constants p = 1.2, a = 0.5.
double Blend(double x, double g) {
    if (x > 1.0) return 1.0;
    const double f = x < 0.5 ? 0.5 * std::pow(2.0 * x, 1.2) : 1.0 - 0.5 * std::pow(2.0 * (1.0 - x), 1.2);
    return std::pow(f, g);
}

class FrameRender : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(OpenGlWindow(QRect(0, 0, kW, kH), window_, context_));

        core_.m_pChannelLayout = &layout_;
        core_.m_rcOutput = RECT{0, 0, kW, kH};
        renderer_.SetCore(&core_);
        core_.m_pRenderer = &renderer_;
    }

    void TearDown() override {
        if (context_ && context_->makeCurrent(window_.get())) {
            renderer_.ReleaseGL();
            renderer_.ReleaseProgram();
            context_->doneCurrent();
        }
        core_.m_pRenderer = nullptr;
        core_.m_pChannelLayout = nullptr;
    }

    OutputChannel& AddChannel(int x, int y, int w, int h) {
        auto ch = std::make_unique<OutputChannel>(x, y, w, h);
        ch->m_stageRect = RECT{x, y, x + w, y + h};
        ch->m_outputNumber = static_cast<int32_t>(layout_.m_channels.size()) + 1;
        layout_.m_nChannelWidth = w;
        layout_.m_nChannelHeight = h;
        return *layout_.m_channels.Append(std::move(ch));
    }

    void White() {
        core_.m_render.backgroundSelector = CoreRenderState::kSolidColour;
        core_.m_render.backgroundValue = 0xFFFFFF;
    }

    // Draws one frame and reads the back buffer (RGBA, rows from the bottom).
    // Unless told otherwise the display lists are rebuilt first.
    void Frame(const std::string& name, bool rebuildLists = true) {
        if (renderer_.FrameBuffer() == 0) {
            ASSERT_TRUE(renderer_.InitGL(kW, kH));
        }
        if (rebuildLists) renderer_.m_bRebuildLists = true;
        ASSERT_TRUE(renderer_.RenderOutput(0));
        glFinish();
        pixels_.assign(size_t(kW) * kH * 4, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        const char* bin = std::getenv("SV_BINARY_DIR");
        const std::filesystem::path dir = std::filesystem::path(bin ? bin : ".") / "artefacts";
        std::filesystem::create_directories(dir);
        QImage image(pixels_.data(), kW, kH, kW * 4, QImage::Format_RGBA8888);
        image.mirrored().save(QString::fromStdString((dir / (name + ".png")).string()));
    }

    // Channel c (0 red, 1 green, 2 blue) at (x, y), y from the bottom.
    int At(int x, int y, int c) const { return pixels_[(size_t(y) * kW + x) * 4 + c]; }

    // A picture of two halves, red on the left and blue on the right.
    BMP* TwoColourPicture() {
        PictureBits bits;
        bits.width = 2;
        bits.height = 1;
        bits.stride = 8;
        bits.bits = {0, 0, 255, 255, 0, 0, 0, 0};
        auto* bmp = new BMP();
        EXPECT_TRUE(bmp->LoadFromHBitmap(bits));
        std::lock_guard lock(core_.m_csMedia);
        core_.m_mediaList.push_back(bmp);
        return bmp;
    }

    std::unique_ptr<QWindow> window_;
    std::unique_ptr<QOpenGLContext> context_;
    testsupport::TempDir dir_;
    CMediaManager core_{dir_.str()};
    CChannelLayout layout_;
    COutputRenderer renderer_;
    std::vector<uint8_t> pixels_;
};

TEST_F(FrameRender, LeftBlendRampFollowsTheCurve) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    ch.m_blend[OutputChannel::kBlendLeft] = 5;
    White();
    Frame("left_blend");
    const int expected[10] = {0, 13, 32, 56, 83, 114, 146, 178, 208, 236};
    for (int i = 0; i < 10; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(At(5 * i, kH / 2, c), expected[i], 1) << "column " << 5 * i;
    }
    for (int x = 50; x < kW; x += 7) EXPECT_EQ(At(x, kH / 2, 0), 255) << x;
}

TEST_F(FrameRender, EachColourRampTakesItsOwnGamma) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    ch.m_blend[OutputChannel::kBlendLeft] = 5;
    const double gamma[3] = {0.4, 1.0, 2.0};
    for (int c = 0; c < 3; ++c) ch.m_edgeParam[OutputChannel::kEdgeGammaSlot + c] = static_cast<float>(gamma[c]);
    White();
    Frame("gamma_ramps");
    for (int x : {5, 15, 25, 35, 45}) {
        const double bx = (x + 0.5) / 50.0;  // five cells of 400 / 40 columns
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(At(x, kH / 2, k), 255.0 * Blend(bx, gamma[k]), 2.0) << "column " << x << " colour " << k;
    }
    for (int k = 0; k < 3; ++k) EXPECT_EQ(At(200, kH / 2, k), 255);
}

TEST_F(FrameRender, ChangedChannelsReachTheNextFrame) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    White();
    Frame("before_change");
    EXPECT_EQ(At(0, kH / 2, 0), 255);

    // A command changes the blend under the layout lock and marks the scene.
    {
        std::lock_guard lock(core_.m_csChannelLayout);
        ch.m_blend[OutputChannel::kBlendLeft] = 5;
    }
    Frame("unmarked_change", false);
    EXPECT_EQ(At(0, kH / 2, 0), 255) << "the lists are only rebuilt when the scene is marked";

    core_.MarkSceneChanged();
    Frame("marked_change", false);
    EXPECT_NEAR(At(5, kH / 2, 0), 13, 1);
    EXPECT_FALSE(core_.m_bSceneChanged.load());
}

TEST_F(FrameRender, BottomBlendRampFollowsTheCurve) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    ch.m_blend[OutputChannel::kBlendBottom] = 5;
    White();
    Frame("bottom_blend");
    // Five cells of 300 / 40 rows: the ramp spans 37.5 rows.
    for (int y = 0; y < 40; y += 3) {
        const double v = 255.0 * Blend((y + 0.5) / 37.5, 1.2);
        EXPECT_NEAR(At(kW / 2, y, 1), v, 1.5) << "row " << y;
    }
    EXPECT_EQ(At(kW / 2, 40, 1), 255);
    EXPECT_EQ(At(kW / 2, kH - 1, 1), 255);
}

TEST_F(FrameRender, RedRatioHalvesRed) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    ch.m_colorRatio[0] = 0.5f;
    White();
    Frame("red_ratio");
    // The scene pass applies no ratio to a solid colour; the output pass does.
    EXPECT_GE(At(200, 150, 0), 127);
    EXPECT_LE(At(200, 150, 0), 128);
    EXPECT_EQ(At(200, 150, 1), 255);
    EXPECT_EQ(At(200, 150, 2), 255);
}

TEST_F(FrameRender, GeometryAdjustModeIsFlat) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    ch.m_blend[OutputChannel::kBlendLeft] = 5;
    ch.m_blend[OutputChannel::kBlendBottom] = 5;
    White();
    core_.m_nGeometryAdjustMode = 1;
    Frame("adjust_flat");
    for (int x : {0, 5, 25, 200, 399}) {
        for (int y : {0, 10, 150, 299}) EXPECT_EQ(At(x, y, 0), 255) << x << "," << y;
    }
}

TEST_F(FrameRender, GridOffsetMovesThePictureByATenth) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    BMP* picture = TwoColourPicture();
    Frame("two_colour");
    EXPECT_EQ(picture->m_texture.imageDefined, 1);
    EXPECT_FALSE(picture->m_bFrameReady);
    EXPECT_EQ(At(195, 150, 0), 255);
    EXPECT_EQ(At(195, 150, 2), 0);
    EXPECT_EQ(At(205, 150, 0), 0);
    EXPECT_EQ(At(205, 150, 2), 255);

    // 0.4 grid units are 0.2 of the -1..1 view: 40 pixels of 400.
    ch.OffsetGrid(2, 0.4);
    Frame("two_colour_offset");
    EXPECT_EQ(At(235, 150, 0), 255);
    EXPECT_EQ(At(245, 150, 2), 255);
    EXPECT_EQ(At(245, 150, 0), 0);
    EXPECT_EQ(At(35, 150, 0), 0);  // the mesh left the first 40 columns
    EXPECT_EQ(At(35, 150, 2), 0);
    EXPECT_EQ(At(45, 150, 0), 255);
}

TEST_F(FrameRender, SolidColourFillsEveryChannelOverMedia) {
    OutputChannel& left = AddChannel(0, 0, kW / 2, kH);
    OutputChannel& right = AddChannel(kW / 2, 0, kW / 2, kH);
    left.m_texWindow[OutputChannel::kTexS40] = 0.5;
    right.m_texWindow[OutputChannel::kTexS0] = 0.5;
    TwoColourPicture();
    core_.m_render.backgroundSelector = CoreRenderState::kSolidColour;
    core_.m_render.backgroundValue = 10 | (200 << 8) | (30 << 16);
    Frame("solid_colour");
    for (int x : {1, 100, 198, 201, 300, 398}) {
        for (int y : {1, 150, 298}) {
            EXPECT_EQ(At(x, y, 0), 10) << x << "," << y;
            EXPECT_EQ(At(x, y, 1), 200);
            EXPECT_EQ(At(x, y, 2), 30);
        }
    }
}

TEST_F(FrameRender, TestCardQuadrantsAndThreeSidedBorder) {
    AddChannel(0, 0, kW, kH);
    ASSERT_TRUE(renderer_.InitGL(kW, kH));
    core_.m_render.displayFlags = 0;
    Frame("test_card");
    auto rgb = [&](int x, int y) { return std::array<int, 3>{At(x, y, 0), At(x, y, 1), At(x, y, 2)}; };
    // Quadrants of (-0.5 .. 0.5) x (-0.375 .. 0.375): pixels 100..300 by 75..225.
    EXPECT_EQ(rgb(150, 112), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(rgb(250, 112), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(rgb(250, 187), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(rgb(150, 187), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(rgb(50, 150), (std::array<int, 3>{0, 0, 0}));
    // Cyan along the bottom, right and top edges; the left edge stays dark.
    EXPECT_EQ(rgb(200, 3), (std::array<int, 3>{0, 255, 255}));
    EXPECT_EQ(rgb(396, 150), (std::array<int, 3>{0, 255, 255}));
    EXPECT_EQ(rgb(200, 296), (std::array<int, 3>{0, 255, 255}));
    EXPECT_EQ(rgb(3, 150), (std::array<int, 3>{0, 0, 0}));
}

TEST_F(FrameRender, EmptyMediaListShowsTheInfoOverlay) {
    AddChannel(0, 0, kW, kH);
    core_.m_render.SetInfoText("1.2.3.4");
    Frame("info_overlay");
    // The text starts at x = -1/3 (pixel 133) and y = -0.15 (row 120) and its
    // four lines run down by 10 rows each.
    int inside = 0, outside = 0;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            if (At(x, y, 0) < 128) continue;
            if (x >= 130 && y >= 70 && y <= 140)
                ++inside;
            else
                ++outside;
        }
    }
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);

    // With media loaded there is no overlay.
    TwoColourPicture();
    Frame("info_overlay_media");
    EXPECT_EQ(At(50, 250, 0), 255);
}

TEST_F(FrameRender, NewFrameSizeRecreatesTextureAndDeadMediaFreeIt) {
    AddChannel(0, 0, kW, kH);
    BMP* picture = TwoColourPicture();
    Frame("resize_before");
    const uint32_t first = picture->m_texture.name;
    ASSERT_NE(first, 0u);
    EXPECT_EQ(picture->m_texture.width, 2);

    // A producer replaces the frame by a larger one of another format.
    {
        auto lock = picture->LockMedia();
        ASSERT_TRUE(picture->PrepareFrameLocked(4, 2, 16));
        for (int i = 0; i < 32; i += 4) {
            picture->m_pFrame[i] = 0;
            picture->m_pFrame[i + 1] = 255;
            picture->m_pFrame[i + 2] = 0;
            picture->m_pFrame[i + 3] = 255;
        }
        picture->m_bFrameReady = true;
    }
    Frame("resize_after");
    EXPECT_EQ(picture->m_texture.width, 4);
    EXPECT_EQ(picture->m_texture.format, static_cast<uint32_t>(GL_BGRA));
    EXPECT_EQ(At(200, 150, 1), 255);
    EXPECT_EQ(At(200, 150, 0), 0);

    // Destroyed off the render thread: the name is deleted at the next frame.
    const GLuint name = picture->m_texture.name;
    {
        std::lock_guard lock(core_.m_csMedia);
        core_.m_mediaList.clear();
    }
    std::thread([picture] { delete picture; }).join();
    EXPECT_TRUE(glIsTexture(name));
    Frame("resize_gone");
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(FrameRender, AdjustOverlayDrawsPatternAndMarkers) {
    OutputChannel& ch = AddChannel(0, 0, kW, kH);
    White();
    ASSERT_TRUE(renderer_.InitGL(kW, kH));
    core_.m_render.displayFlags = CoreRenderState::kFlagScene | CoreRenderState::kFlagAdjust;
    // A grid pushed half out of the view: its markers outside are skipped.
    ch.OffsetGrid(0, 1.5);
    Frame("adjust_overlay");
    EXPECT_FALSE(renderer_.m_readBack.empty());
    // The centre line (k = 20, red on the white scene) now lies at x = -0.75
    // (pixel 50); before it lay at pixel 200.
    int minGreen = 255;
    for (int x = 47; x <= 53; ++x) minGreen = std::min(minGreen, At(x, 100, 1));
    EXPECT_LT(minGreen, 100);
    EXPECT_GT(At(50, 100, 0), 200);
    EXPECT_EQ(At(200, 100, 1), 255);
}

TEST_F(FrameRender, LayerMediaOnlyInItsTimeWindowAndChannels) {
    OutputChannel& left = AddChannel(0, 0, kW / 2, kH);
    OutputChannel& right = AddChannel(kW / 2, 0, kW / 2, kH);
    left.m_texWindow[OutputChannel::kTexS40] = 0.5;
    right.m_texWindow[OutputChannel::kTexS0] = 0.5;
    PictureBits bits;
    bits.width = 4;
    bits.height = 4;
    bits.stride = 12;
    bits.bits.assign(48, 0);
    for (int i = 1; i < 48; i += 3) bits.bits[i] = 255;  // green
    auto* bmp = new BMP();
    ASSERT_TRUE(bmp->LoadFromHBitmap(bits));
    MediaCommon& mc = bmp->Common();
    mc.placementMode = 3;
    mc.startTime = 0.0;
    mc.endTime = 10.0;
    // Stage rows run down from the top: 100..200 are output rows 100..200 up.
    mc.stageRect = MediaRectI{50, 125, 150, 175};
    {
        std::lock_guard lock(core_.m_csMedia);
        core_.m_mediaList.push_back(bmp);
    }
    core_.m_dTimelineTime = 5.0;
    Frame("layer_media");
    EXPECT_EQ(At(60, 150, 1), 255);
    EXPECT_EQ(At(140, 130, 1), 255);
    EXPECT_EQ(At(100, 190, 1), 0);
    EXPECT_EQ(At(40, 150, 1), 0);
    EXPECT_EQ(At(260, 150, 1), 0);  // the right channel's stage does not meet it

    // Rotated by 90 degrees about its centre it stands upright; 0.0005
    // degrees is no rotation.
    mc.angle = 0.0005;
    Frame("layer_media_tiny_angle");
    EXPECT_EQ(At(60, 150, 1), 255);
    mc.angle = 90.0;
    core_.m_render.dynamicReloadDone = 1;
    Frame("layer_media_rotated");
    EXPECT_EQ(At(100, 190, 1), 255);
    EXPECT_EQ(At(60, 150, 1), 0);

    core_.m_dTimelineTime = 10.5;
    Frame("layer_media_late");
    EXPECT_EQ(At(100, 150, 1), 0);
    core_.m_dTimelineTime = 5.0;
    mc.visible = 0;
    Frame("layer_media_hidden");
    EXPECT_EQ(At(100, 150, 1), 0);
}

TEST_F(FrameRender, LayerMediaMoveAlongTheirSpecialActions) {
    AddChannel(0, 0, kW / 2, kH).m_texWindow[OutputChannel::kTexS40] = 0.5;
    AddChannel(kW / 2, 0, kW / 2, kH).m_texWindow[OutputChannel::kTexS0] = 0.5;
    PictureBits bits;
    bits.width = 4;
    bits.height = 4;
    bits.stride = 12;
    bits.bits.assign(48, 0);
    for (int i = 1; i < 48; i += 3) bits.bits[i] = 255;  // green
    auto* bmp = new BMP();
    ASSERT_TRUE(bmp->LoadFromHBitmap(bits));
    MediaCommon& mc = bmp->Common();
    mc.placementMode = 3;
    mc.startTime = 0.0;
    mc.endTime = 10.0;
    mc.baseStageRect = MediaRectI{50, 125, 150, 175};
    mc.stageRect = mc.baseStageRect;
    // From the base place at 0 s to (250, 125) at 4 s: into the right channel.
    ASSERT_TRUE(ParseSpecialActions("1:{4,250/125/0/0}", mc.actions));
    {
        std::lock_guard lock(core_.m_csMedia);
        core_.m_mediaList.push_back(bmp);
    }
    core_.m_dTimelineTime = 0.0;
    Frame("special_action_start");
    EXPECT_EQ(At(100, 150, 1), 255);
    EXPECT_EQ(At(300, 150, 1), 0);
    core_.m_dTimelineTime = 6.0;
    Frame("special_action_moved");
    EXPECT_EQ(mc.stageRect.left, 250);
    EXPECT_EQ(At(100, 150, 1), 0);
    EXPECT_EQ(At(300, 150, 1), 255);
}

}  // namespace

// A stereo picture is drawn with its first (left-eye) half.
TEST_F(FrameRender, StereoPictureShowsItsFirstHalf) {
    AddChannel(0, 0, kW, kH);
    const std::string path = (dir_ / "stereo.png").string();
    int status = -1;
    const std::string text = testsupport::RunShell(
        "ffmpeg -nostdin -loglevel error -y -filter_complex "
        "'color=c=red:s=8x4[a];color=c=blue:s=8x4[b];[a][b]hstack,format=rgb24' -frames:v 1 '" + path + "' 2>&1",
        &status);
    ASSERT_EQ(status, 0) << text;
    auto* bmp = new BMP();
    ASSERT_TRUE(bmp->LoadResource(path, 0, 0, 1));
    {
        std::lock_guard lock(core_.m_csMedia);
        core_.m_mediaList.push_back(bmp);
    }
    Frame("stereo_picture");
    for (int x : {5, 200, 394}) {
        for (int y : {5, 150, 294}) {
            EXPECT_EQ(At(x, y, 0), 255) << x << "," << y;
            EXPECT_EQ(At(x, y, 2), 0) << x << "," << y;
        }
    }
}

// A 24-bit frame of an odd width, its rows padded to four bytes, reaches its
// texture pixel for pixel and opaque, created and then replaced in place.
TEST_F(FrameRender, TwentyFourBitFrameReachesItsTextureUnchanged) {
    constexpr int w = 5, h = 3, stride = 16;
    std::vector<uint8_t> frame(size_t(stride) * h, 0xEE);
    auto fill = [&](int seed) {
        for (int r = 0; r < h; ++r)
            for (int i = 0; i < w * 3; ++i) frame[size_t(r) * stride + i] = static_cast<uint8_t>(seed + r * 31 + i * 11);
    };
    auto readBack = [&](GLuint name) {
        std::vector<uint8_t> texels(size_t(w) * h * 4);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
        int wrong = 0;
        for (int r = 0; r < h; ++r) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* s = frame.data() + size_t(r) * stride + x * 3;
                const uint8_t* t = texels.data() + (size_t(r) * w + x) * 4;
                wrong += t[0] != s[0] || t[1] != s[1] || t[2] != s[2] || t[3] != 255;
            }
        }
        return wrong;
    };
    MediaTexture tex;
    fill(1);
    CreateFrameTexture(tex, w, h, GL_BGR, frame.data(), stride);
    EXPECT_EQ(readBack(tex.name), 0);
    fill(100);
    UploadFrameTexture(tex, frame.data(), stride);
    EXPECT_EQ(readBack(tex.name), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ReleaseFrameTexture(tex);

    // Outside its edges a frame without an alpha of its own is opaque black;
    // a 32-bit picture keeps the transparent border.
    struct Case {
        uint32_t format;
        bool opaque;
        float alpha;
    };
    const std::vector<uint8_t> frame32(size_t(w) * h * 4, 0x80);
    for (const Case& c : {Case{GL_BGR, false, 1.0f}, Case{GL_BGRA, true, 1.0f}, Case{GL_BGRA, false, 0.0f}}) {
        MediaTexture t;
        const bool wide = c.format == GL_BGRA;
        CreateFrameTexture(t, w, h, c.format, wide ? frame32.data() : frame.data(), wide ? w * 4 : stride, c.opaque);
        GLfloat border[4] = {-1, -1, -1, -1};
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
        EXPECT_EQ(border[0], 0.0f);
        EXPECT_EQ(border[3], c.alpha) << std::hex << c.format << " " << c.opaque;
        ReleaseFrameTexture(t);
    }
}
