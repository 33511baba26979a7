// The desktop capture as the background of every channel: switched on the
// way the console's command does it, grabbed from a scene of X windows on
// the private Xvfb, drawn by the renderer and read back.
#include "gl/GlTestSupport.h"

#include <QImage>
#include <QWindow>

#include <array>
#include <filesystem>

#include "channel/ChannelLayout.h"
#include "channel/Displays.h"
#include "channel/OutputChannel.h"
#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "media/MediaBase.h"
#include "media/MediaFactory.h"
#include "render/OutputRenderer.h"
#include "support/support.h"
// X last: its macros clash with other headers.
#include "support/XScene.h"

namespace {

constexpr int kW = 400;
constexpr int kH = 300;

class DesktopBackground : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(scene_.OpenScene());
        ASSERT_TRUE(OpenGlWindow(QRect(0, 0, kW, kH), window_, context_));

        // The first display lies away from the output window, so the
        // capture never sees its own output.
        backend_.Add(600, 400, 200, 100, true);
        displays_.AddMonitor(600, 400, 200, 100, true);
        core_.SetServices({&output_, &factory_, &displays_, &system_});
        core_.m_pChannelLayout = &layout_;
        core_.m_rcOutput = RECT{0, 0, kW, kH};
        auto ch = std::make_unique<OutputChannel>(0, 0, kW, kH);
        ch->m_stageRect = RECT{0, 0, kW, kH};
        ch->m_outputNumber = 1;
        layout_.m_nChannelWidth = kW;
        layout_.m_nChannelHeight = kH;
        layout_.m_channels.Append(std::move(ch));
        renderer_.SetCore(&core_);
        core_.m_pRenderer = &renderer_;
    }

    void TearDown() override {
        core_.RestartDesktopCapture(0);
        if (context_ && context_->makeCurrent(window_.get())) {
            renderer_.ReleaseGL();
            renderer_.ReleaseProgram();
            context_->doneCurrent();
        }
        core_.m_pRenderer = nullptr;
        core_.m_pChannelLayout = nullptr;
        scene_.CloseScene();
    }

    // Draws one frame and reads the back buffer (RGBA, rows from the bottom).
    void Frame(const std::string& name) {
        if (renderer_.FrameBuffer() == 0) ASSERT_TRUE(renderer_.InitGL(kW, kH));
        renderer_.m_bRebuildLists = true;
        ASSERT_TRUE(renderer_.RenderOutput(0));
        glFinish();
        pixels_.assign(size_t(kW) * kH * 4, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
        const char* bin = std::getenv("SV_BINARY_DIR");
        const std::filesystem::path dir = std::filesystem::path(bin ? bin : ".") / "artefacts";
        std::filesystem::create_directories(dir);
        QImage image(pixels_.data(), kW, kH, kW * 4, QImage::Format_RGBA8888);
        image.mirrored().save(QString::fromStdString((dir / (name + ".png")).string()));
    }

    // Red, green and blue at (x, y), y from the bottom.
    std::array<int, 3> At(int x, int y) const {
        const size_t i = (size_t(y) * kW + x) * 4;
        return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
    }

    bool WaitForGrab() {
        auto* capture = dynamic_cast<MediaBaseClass*>(core_.m_pDesktopCapture);
        return capture && testsupport::WaitUntil([&] {
                   auto lock = capture->LockMedia();
                   return capture->m_bFrameReady;
               });
    }

    testsupport::XScene scene_;
    FakeDisplayBackend backend_;
    ScopedDisplayBackend scopedBackend_{&backend_};
    std::unique_ptr<QWindow> window_;
    std::unique_ptr<QOpenGLContext> context_;
    testsupport::TempDir dir_;
    FakeOutputWindow output_;
    RenderMediaFactory factory_{[] { return false; }};
    FakeDisplayList displays_;
    FakeSystemServices system_;
    CMediaManager core_{dir_.str()};
    CChannelLayout layout_;
    COutputRenderer renderer_;
    std::vector<uint8_t> pixels_;
};

}  // namespace

TEST_F(DesktopBackground, CapturedDisplayFillsTheChannelUntilSwitchedOff) {
    // The display: red on its left half, blue on its right half.
    scene_.Fill(600, 400, 100, 100, 0xFF0000);
    scene_.Fill(700, 400, 100, 100, 0x0000FF);
    ASSERT_TRUE(core_.RestartDesktopCapture(1));
    ASSERT_TRUE(WaitForGrab());
    Frame("desktop_background");
    // Rows away from the info text that an empty media list shows.
    const std::array<int, 3> red{255, 0, 0}, blue{0, 0, 255};
    for (int y : {5, 60, 250, 294}) {
        for (int x : {5, 100, 190}) EXPECT_EQ(At(x, y), red) << x << "," << y;
        for (int x : {210, 300, 394}) EXPECT_EQ(At(x, y), blue) << x << "," << y;
    }

    // Switched off: no background is left behind.
    EXPECT_FALSE(core_.RestartDesktopCapture(0));
    Frame("desktop_background_off");
    for (int x : {5, 100}) EXPECT_NE(At(x, 60), red) << x;
    EXPECT_NE(At(300, 60), blue);
}
