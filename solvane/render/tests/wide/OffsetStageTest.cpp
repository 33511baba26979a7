// A stage that does not start at the desktop's origin: projectors to the
// right of an operator's 1920-pixel screen. The output window sits at
// (1920, 0) of a 3840 x 1080 desktop and every channel must land in its own
// part of that window, read back from the screen itself.
#include "gl/GlTestSupport.h"

#include <QImage>
#include <QWindow>
#include <QX11Info>

#include <array>
#include <filesystem>

#include "channel/ChannelLayout.h"
#include "channel/OutputChannel.h"
#include "core/MediaManager.h"
#include "media/Pictures.h"
#include "render/OutputRenderer.h"
#include "support/support.h"
// X last: its macros clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kLeft = 1920;
constexpr int kW = 400;
constexpr int kH = 300;

using Rgb = std::array<int, 3>;

class OffsetStage : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        Display* dpy = QX11Info::display();
        ASSERT_NE(dpy, nullptr);
        ASSERT_GE(DisplayWidth(dpy, DefaultScreen(dpy)), kLeft + kW) << "needs a desktop wider than one screen";
        ASSERT_TRUE(OpenGlWindow(QRect(kLeft, 0, kW, kH), window_, context_));
        core_.m_pChannelLayout = &layout_;
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

    // A channel at desktop position (x, y), showing the texture's s range.
    void AddChannel(int x, int w, double s0, double s40) {
        auto ch = std::make_unique<OutputChannel>(x, 0, w, kH);
        ch->m_stageRect = RECT{x, 0, x + w, kH};
        ch->m_outputNumber = static_cast<int32_t>(layout_.m_channels.size()) + 1;
        ch->m_texWindow[OutputChannel::kTexS0] = s0;
        ch->m_texWindow[OutputChannel::kTexS40] = s40;
        layout_.m_nChannelWidth = w;
        layout_.m_nChannelHeight = kH;
        layout_.m_channels.Append(std::move(ch));
    }

    // A picture of two halves, red on the left and blue on the right.
    void TwoColourPicture() {
        PictureBits bits;
        bits.width = 2;
        bits.height = 1;
        bits.stride = 8;
        bits.bits = {0, 0, 255, 255, 0, 0, 0, 0};
        auto* bmp = new BMP();
        ASSERT_TRUE(bmp->LoadFromHBitmap(bits));
        std::lock_guard lock(core_.m_csMedia);
        core_.m_mediaList.push_back(bmp);
    }

    // Draws and shows one frame; the window's part of the screen is kept.
    void Show(const std::string& name) {
        ASSERT_TRUE(renderer_.InitGL(kW, kH));
        renderer_.m_bRebuildLists = true;
        ASSERT_TRUE(renderer_.RenderOutput(0));
        glFinish();
        // The frame as drawn, before it goes to the screen.
        back_.assign(size_t(kW) * kH * 4, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, back_.data());
        context_->swapBuffers(window_.get());
        glFinish();
        Display* dpy = QX11Info::display();
        XSync(dpy, False);
        XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), kLeft, 0, kW, kH, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        QImage shot(kW, kH, QImage::Format_RGB32);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) shot.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xFF000000u);
        XDestroyImage(image);
        shot_ = shot;
        const char* bin = std::getenv("SV_BINARY_DIR");
        const std::filesystem::path dir = std::filesystem::path(bin ? bin : ".") / "artefacts";
        std::filesystem::create_directories(dir);
        shot_.save(QString::fromStdString((dir / (name + ".png")).string()));
    }

    // The colour on screen at (x, y) of the window, y from the top.
    Rgb At(int x, int y) const {
        const QRgb p = shot_.pixel(x, y);
        return {qRed(p), qGreen(p), qBlue(p)};
    }

    std::unique_ptr<QWindow> window_;
    std::unique_ptr<QOpenGLContext> context_;
    testsupport::TempDir dir_;
    CMediaManager core_{dir_.str()};
    CChannelLayout layout_;
    COutputRenderer renderer_;
    QImage shot_;
    std::vector<uint8_t> back_;  // RGBA, rows from the bottom
};

}  // namespace

TEST_F(OffsetStage, ChannelsLandInTheirOwnPartOfTheWindow) {
    // Each channel draws the whole picture (red left, blue right) into its
    // part of the scene and shows that part: red, blue, red, blue across
    // the window, in a band of the scene's 4:3 view.
    AddChannel(kLeft, kW / 2, 0.0, 0.5);
    AddChannel(kLeft + kW / 2, kW / 2, 0.5, 1.0);
    core_.m_rcOutput = RECT{kLeft, 0, kLeft + kW, kH};
    TwoColourPicture();
    Show("offset_stage");
    const Rgb red{255, 0, 0}, blue{0, 0, 255}, black{0, 0, 0};
    auto back = [&](int x, int y) {
        const size_t i = (size_t(kH - 1 - y) * kW + x) * 4;
        return Rgb{back_[i], back_[i + 1], back_[i + 2]};
    };
    struct Case {
        int x, y;
        Rgb want;
    } cases[] = {{5, 150, red},    {95, 150, red},   {105, 150, blue}, {195, 150, blue}, {205, 150, red},
                 {295, 150, red},  {305, 150, blue}, {395, 150, blue}, {50, 60, red},    {350, 240, blue},
                 {50, 10, black},  {350, 290, black}};
    for (const Case& c : cases) {
        EXPECT_EQ(back(c.x, c.y), c.want) << "drawn " << c.x << "," << c.y;
        EXPECT_EQ(At(c.x, c.y), c.want) << "on screen " << c.x << "," << c.y;
    }
}
