#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "../media_support.h"
#include "velmar/MediaLibrary.h"
#include "velmar/kestrane.h"

using vt::Recorder;
using vt::TestMedia;

namespace {

class RenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!qGuiApp) {
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
            static int argc = 1;
            static char name[] = "velmar_gl_tests";
            static char* argv[] = {name, nullptr};
            new QGuiApplication(argc, argv);  // lives for the whole program
        }
    }
    void TearDown() override {
        Kestrane_RemoveMedia(nullptr);
        Kestrane_Uninit();
    }

    // Reads a 2-D texture back as rows of the given format, packed to 4 bytes.
    static std::vector<uint8_t> ReadTexture(uint32_t texture, int w, int h, int bytes) {
        const int stride = (w * bytes + 3) / 4 * 4;
        std::vector<uint8_t> out(size_t(stride) * h, 0xEE);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glGetTexImage(GL_TEXTURE_2D, 0, bytes == 4 ? GL_BGRA : GL_BGR, GL_UNSIGNED_BYTE, out.data());
        return out;
    }

    // Compares the pixels (not the padding) of two bottom-up pictures.
    static void ExpectSamePixels(const uint8_t* a, const uint8_t* b, int w, int h, int stride, int bytes) {
        for (int r = 0; r < h; ++r)
            ASSERT_EQ(std::memcmp(a + size_t(r) * stride, b + size_t(r) * stride, size_t(w) * bytes), 0) << "row " << r;
    }
};

}  // namespace

TEST_F(RenderTest, InitCreatesTheHiddenContextAndReplacesAnEarlierOne) {
    EXPECT_FALSE(velmar::MakeRenderContextCurrent());
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    ASSERT_TRUE(velmar::MakeRenderContextCurrent());
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    velmar::DoneRenderContext();
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    EXPECT_TRUE(velmar::MakeRenderContextCurrent());
    velmar::DoneRenderContext();
    EXPECT_EQ(Kestrane_Uninit(), 1);
    EXPECT_FALSE(velmar::MakeRenderContextCurrent());
    EXPECT_EQ(Kestrane_Uninit(), 1);
}

TEST_F(RenderTest, InitAwayFromTheApplicationThreadIsRefused) {
    int result = -1;
    std::thread t([&] { result = Kestrane_Init(nullptr); });
    t.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(velmar::MakeRenderContextCurrent());
}

TEST_F(RenderTest, PictureFrameUploadsAndReadsBack) {
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    struct Case {
        std::string path;
        int w, h, bytes;
    } cases[] = {{TestMedia::Get().picture(), 64, 48, 3}, {TestMedia::Get().alpha(), 20, 10, 4}};
    for (const Case& c : cases) {
        void* id = Kestrane_AddMedia(0, KESTRANE_MEDIA_PICTURE, c.path.c_str(), nullptr, nullptr);
        ASSERT_NE(id, nullptr);
        void* frame = nullptr;
        ASSERT_EQ(Kestrane_GetMediaInfo(id, &frame, nullptr, nullptr, nullptr, nullptr), 1);
        ASSERT_TRUE(velmar::MakeRenderContextCurrent());
        const uint32_t tex = velmar::UploadMediaTexture(id, 0);
        ASSERT_NE(tex, 0u);
        GLint w = 0, h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
        const auto back = ReadTexture(tex, c.w, c.h, c.bytes);
        ExpectSamePixels(back.data(), static_cast<const uint8_t*>(frame), c.w, c.h, (c.w * c.bytes + 3) / 4 * 4,
                         c.bytes);
        // Uploading again reuses the texture.
        EXPECT_EQ(velmar::UploadMediaTexture(id, tex), tex);
        GLuint name = tex;
        glDeleteTextures(1, &name);
        velmar::DoneRenderContext();
    }
}

TEST_F(RenderTest, VideoFrameWithPaddedRowsUploadsAndReadsBack) {
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    Recorder rec;
    void* id = Kestrane_AddMedia(0, KESTRANE_MEDIA_VIDEO, TestMedia::Get().odd().c_str(), &Recorder::Callback, &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_TRUE(rec.WaitFor(1));  // paused: the first picture stays in the buffer
    void* frame = nullptr;
    ASSERT_EQ(Kestrane_GetMediaInfo(id, &frame, nullptr, nullptr, nullptr, nullptr), 1);
    ASSERT_TRUE(velmar::MakeRenderContextCurrent());
    const uint32_t tex = velmar::UploadMediaTexture(id, 0);
    ASSERT_NE(tex, 0u);
    const auto back = ReadTexture(tex, 50, 30, 3);
    ExpectSamePixels(back.data(), static_cast<const uint8_t*>(frame), 50, 30, 152, 3);
    // The test picture is not a flat colour: the rows really were compared.
    EXPECT_NE(std::memcmp(back.data(), back.data() + 152 * 15, 150), 0);
    velmar::DoneRenderContext();
}

TEST_F(RenderTest, UploadRefusesBadPicturesAndUnknownMedia) {
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    ASSERT_TRUE(velmar::MakeRenderContextCurrent());
    std::vector<uint8_t> bits(16 * 16 * 4, 0x40);
    struct Case {
        int w, h, stride, bpp;
    } bad[] = {{0, 4, 12, 24}, {4, 0, 12, 24}, {4, 4, 8, 24}, {4, 4, 13, 24}, {4, 4, 16, 16}};
    for (const Case& c : bad)
        EXPECT_EQ(velmar::UploadPictureTexture(0, bits.data(), c.w, c.h, c.stride, c.bpp), 0u)
            << c.w << "x" << c.h << " stride " << c.stride << " bpp " << c.bpp;
    EXPECT_EQ(velmar::UploadPictureTexture(0, nullptr, 4, 4, 12, 24), 0u);
    EXPECT_EQ(velmar::UploadMediaTexture(reinterpret_cast<void*>(0x7777), 0), 0u);
    // A stride wider than the padded row, in whole pixels, is taken.
    const uint32_t tex = velmar::UploadPictureTexture(0, bits.data(), 4, 4, 24, 24);
    EXPECT_NE(tex, 0u);
    velmar::DoneRenderContext();
    // Without a current context nothing is uploaded.
    EXPECT_EQ(velmar::UploadPictureTexture(0, bits.data(), 4, 4, 12, 24), 0u);
}

TEST_F(RenderTest, DrawClearsWithMediaAndAnswersOneAlways) {
    EXPECT_EQ(Kestrane_Draw(), 1);  // no context, no media
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    EXPECT_EQ(Kestrane_Draw(), 1);  // no media: nothing is done
    ASSERT_NE(Kestrane_AddMedia(0, KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture().c_str(), nullptr, nullptr),
              nullptr);
    EXPECT_EQ(Kestrane_Draw(), 1);
    ASSERT_TRUE(velmar::MakeRenderContextCurrent());
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 1.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[3], 1.0f);
    GLboolean depthWrites = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_EQ(depthWrites, GL_FALSE);
    velmar::DoneRenderContext();
}

TEST_F(RenderTest, ScreenCaptureGrabsTheDisplayOnItsOwnThread) {
    Recorder rec;
    void* id = Kestrane_AddMedia(2, KESTRANE_MEDIA_SCREEN, "", &Recorder::Callback, &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_TRUE(rec.WaitFor(3));
    const auto calls = rec.Calls();
    const QSize screen = QGuiApplication::primaryScreen()->size();
    for (const vt::Call& c : calls) {
        EXPECT_EQ(c.media, id);
        EXPECT_NE(c.thread, std::this_thread::get_id());
        EXPECT_EQ(c.format.biWidth, screen.width());
        EXPECT_EQ(c.format.biHeight, screen.height());
        EXPECT_EQ(c.format.biBitCount, 24);
        EXPECT_EQ(c.format.biSizeImage, uint32_t((screen.width() * 3 + 3) / 4 * 4 * screen.height()));
        EXPECT_EQ(c.position, 0.0);
        EXPECT_NE(c.frame, nullptr);
    }
    EXPECT_EQ(Kestrane_GetMediaInfo(id, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    // The display named by number, and one that does not exist.
    void* first = Kestrane_AddMedia(2, KESTRANE_MEDIA_SCREEN, "\\\\.\\DISPLAY1", nullptr, nullptr);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(Kestrane_AddMedia(2, KESTRANE_MEDIA_SCREEN, "\\\\.\\DISPLAY2", nullptr, nullptr), nullptr);
    EXPECT_EQ(Kestrane_AddMedia(2, KESTRANE_MEDIA_SCREEN, "DISPLAY1", nullptr, nullptr), nullptr);
    EXPECT_EQ(Kestrane_RemoveMedia(id), 1);
    const size_t after = rec.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rec.Count(), after);
    EXPECT_EQ(Kestrane_RemoveMedia(first), 1);
}

TEST_F(RenderTest, ShutdownReleasesContextAndThreads) {
    // The GL driver keeps its own worker threads once it has made a first
    // context; they are not the library's.
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    velmar::Shutdown();
    const int baseline = vt::ThreadCount();
    ASSERT_EQ(Kestrane_Init(nullptr), 1);
    Recorder rec;
    ASSERT_NE(Kestrane_AddMedia(2, KESTRANE_MEDIA_SCREEN, "", &Recorder::Callback, &rec), nullptr);
    ASSERT_NE(Kestrane_AddMedia(0, KESTRANE_MEDIA_VIDEO, TestMedia::Get().video().c_str(), nullptr, nullptr), nullptr);
    ASSERT_TRUE(rec.WaitFor(2));
    velmar::Shutdown();
    EXPECT_FALSE(velmar::MakeRenderContextCurrent());
    EXPECT_EQ(velmar::LiveMediaCount(), 0);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return vt::ThreadCount() <= baseline; }))
        << vt::ThreadCount() << " threads, " << baseline << " before";
}
