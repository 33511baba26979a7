#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOffscreenSurface>
#include <QOpenGLFramebufferObject>
#include <QWindow>

#include <GL/gl.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../media_support.h"
#include "support/support.h"
#include "velmar/imagepreview.h"
#include "velmar/warp.h"

using vt::TestMedia;

namespace {

using Rgba = std::array<uint8_t, 4>;
constexpr Rgba kRed{255, 0, 0, 255}, kWhite{255, 255, 255, 255}, kBlue{0, 0, 255, 255}, kGreen{0, 255, 0, 255}, kYellow{255, 255, 0, 255};
constexpr Rgba kGrey{10, 20, 30, 255};
constexpr int kSize = 400;  // grid lines every 10 pixels

// The preview draws into a frame buffer the test binds in the preview's own
// context, and the pixels are read back from it.
class ImagePreviewTest : public ::testing::Test {
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
    void SetUp() override {
        for (int i = 0; i < 41; ++i)
            for (int j = 0; j < 41; ++j) grid[i][j] = DOUBLE_POINT{-1.0 + i / 20.0, -1.0 + j / 20.0};
        Kestrane_SetAdjustMode(0, 0);
        static const int none[41][41] = {};
        Kestrane_ChooseVertex(none);
        Kestrane_ChooseVertex2(-1, -1);
    }
    void TearDown() override {
        fbo.reset();
        Kestrane_UninitImageContext();
    }
    // A context on the hidden surface with a bound frame buffer of grey.
    void Init() {
        ASSERT_EQ(Kestrane_InitImageContext(nullptr), 1);
        ASSERT_NE(QOpenGLContext::currentContext(), nullptr);
        fbo = std::make_unique<QOpenGLFramebufferObject>(kSize, kSize);
        ASSERT_TRUE(fbo->bind());
        glClearColor(kGrey[0] / 255.0f, kGrey[1] / 255.0f, kGrey[2] / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    }
    // RGBA of the pixel at (x, y), y from the bottom.
    static Rgba RawPixel(int x, int y) {
        Rgba out{};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        return out;
    }
    // Its colour, alpha taken as opaque: smoothed lines and points write
    // their coverage into the alpha channel.
    static Rgba Pixel(int x, int y) {
        Rgba out = RawPixel(x, y);
        out[3] = 255;
        return out;
    }
    static std::string Show(const Rgba& c) {
        return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) + "," +
               std::to_string(c[3]);
    }
    static size_t CountColour(const Rgba& colour) {
        std::vector<uint8_t> all(size_t(kSize) * kSize * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, all.data());
        size_t n = 0;
        for (size_t k = 0; k < all.size(); k += 4)
            if (Rgba{all[k], all[k + 1], all[k + 2], 255} == colour) ++n;
        return n;
    }
    // White above, blue below; made once per program.
    static const std::string& TwoColourPicture() {
        static const std::string path = [] {
            const std::string out = (TestMedia::Get().dir / "halves.png").string();
            int status = -1;
            const std::string text = testsupport::RunShell(
                "ffmpeg -nostdin -loglevel error -y -filter_complex "
                "'color=c=white:s=64x32[a];color=c=blue:s=64x32[b];[a][b]vstack,format=rgb24' -frames:v 1 '" +
                    out + "' 2>&1",
                &status);
            EXPECT_EQ(status, 0) << text;
            return out;
        }();
        return path;
    }

    DOUBLE_POINT grid[41][41];
    const RECT rect{0, 0, kSize, kSize};
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
};

}  // namespace

TEST_F(ImagePreviewTest, LoadImageWithoutContextIsRefused) {
    EXPECT_EQ(Kestrane_LoadImage(TestMedia::Get().picture().c_str()), 0);
}

TEST_F(ImagePreviewTest, IdentityGridShowsThePictureFillingTheViewport) {
    Init();
    ASSERT_EQ(Kestrane_LoadImage(TwoColourPicture().c_str()), 1);
    ASSERT_EQ(Kestrane_DrawImage(&rect, grid, 41, 41), 1);
    // Cell centres: the picture; its first row (blue) at the bottom.
    for (int x : {5, 195, 395}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(Pixel(x, 5), kBlue) << Show(Pixel(x, 5));
        EXPECT_EQ(Pixel(x, 195), kBlue);
        EXPECT_EQ(Pixel(x, 205), kWhite);
        EXPECT_EQ(Pixel(x, 395), kWhite);
    }
    // Grid lines every 10 pixels in green, on one side or the other of the
    // pixel edge they run along; no markers in mode 0 without a selection.
    EXPECT_TRUE(Pixel(99, 55) == kGreen || Pixel(100, 55) == kGreen) << Show(Pixel(100, 55));
    EXPECT_TRUE(Pixel(55, 299) == kGreen || Pixel(55, 300) == kGreen) << Show(Pixel(55, 300));
    EXPECT_EQ(CountColour(kRed), 0u);
    EXPECT_EQ(CountColour(kYellow), 0u);
}

TEST_F(ImagePreviewTest, WarpedGridDrawsThePictureWhereTheGridGoes) {
    Init();
    ASSERT_EQ(Kestrane_LoadImage(TwoColourPicture().c_str()), 1);
    // Squeezed into the left half: x from -1 to 0.
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) grid[i][j].x = -1.0 + i / 40.0;
    ASSERT_EQ(Kestrane_DrawImage(&rect, grid, 41, 41), 1);
    EXPECT_EQ(Pixel(52, 97), kBlue);
    EXPECT_EQ(Pixel(52, 302), kWhite);
    // The right half is cleared to black.
    EXPECT_EQ(Pixel(300, 100), (Rgba{0, 0, 0, 255})) << Show(Pixel(300, 100));
}

TEST_F(ImagePreviewTest, PictureWithAlphaKeepsItsAlphaAndOthersAreOpaque) {
    Init();
    struct Case {
        const std::string& path;
        uint8_t alpha;
    } cases[] = {{TestMedia::Get().alpha(), 0x80}, {TestMedia::Get().picture(), 0xFF}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(Kestrane_LoadImage(c.path.c_str()), 1);
        ASSERT_EQ(Kestrane_DrawImage(&rect, grid, 41, 41), 1);
        EXPECT_EQ(RawPixel(205, 205)[3], c.alpha) << Show(RawPixel(205, 205));
    }
    // 0x3366CC
    EXPECT_EQ(Pixel(205, 205), (Rgba{0x33, 0x66, 0xCC, 0xFF}));
}

TEST_F(ImagePreviewTest, UnreadablePictureKeepsTheEarlierTexture) {
    Init();
    ASSERT_EQ(Kestrane_LoadImage(TwoColourPicture().c_str()), 1);
    EXPECT_EQ(Kestrane_LoadImage("/nonexistent/picture.png"), 0);
    ASSERT_EQ(Kestrane_DrawImage(&rect, grid, 41, 41), 1);
    EXPECT_EQ(Pixel(5, 5), kBlue);
    EXPECT_EQ(Pixel(5, 395), kWhite);
}

TEST_F(ImagePreviewTest, TooFewOrTooManyPointsDrawNothing) {
    Init();
    ASSERT_EQ(Kestrane_LoadImage(TwoColourPicture().c_str()), 1);
    const int counts[][2] = {{1, 41}, {41, 1}, {42, 41}, {41, 42}};
    for (const auto& c : counts) {
        EXPECT_EQ(Kestrane_DrawImage(&rect, grid, c[0], c[1]), 1);
        EXPECT_EQ(Pixel(200, 200), kGrey) << c[0] << " x " << c[1];
    }
    EXPECT_EQ(Kestrane_DrawImage(nullptr, grid, 41, 41), 0);
    EXPECT_EQ(Kestrane_DrawImage(&rect, nullptr, 41, 41), 0);
    EXPECT_EQ(Kestrane_DrawImage2(&rect, grid, nullptr, 41, 41), 0);
    EXPECT_EQ(Pixel(200, 200), kGrey);
}

TEST_F(ImagePreviewTest, MarkersFollowTheAdjustMode) {
    Init();
    ASSERT_EQ(Kestrane_LoadImage(TwoColourPicture().c_str()), 1);
    struct Probe {
        int x, y;
        Rgba colour;
    };
    // Centre of the viewport is element (20, 20); corner (0, 0) at pixel (0, 0).
    struct Case {
        int mode;
        int current[2];
        int selected[2];  // -1: none
        std::vector<Probe> probes;
    } cases[] = {
        {1, {-1, -1}, {-1, -1}, {{3, 3, kRed}, {396, 396, kRed}, {3, 396, kRed}, {396, 3, kRed}, {203, 203, kWhite}}},
        {1, {10, 30}, {-1, -1}, {{3, 3, kRed}, {103, 303, kYellow}}},
        {2, {-1, -1}, {-1, -1}, {{3, 3, kRed}, {203, 203, kRed}, {203, 3, kRed}, {3, 203, kRed}}},
        {2, {20, 20}, {-1, -1}, {{203, 203, kYellow}, {203, 3, kRed}}},
        {0, {20, 20}, {10, 10}, {{101, 101, kRed}, {203, 203, kWhite}}},
        {3, {-1, -1}, {-1, -1}, {{100, 100, kRed}, {300, 300, kRed}, {105, 105, kBlue}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        SCOPED_TRACE(c.current[0]);
        Kestrane_SetAdjustMode(c.mode, 0);
        Kestrane_ChooseVertex2(c.current[0], c.current[1]);
        static int mask[41][41];
        for (auto& row : mask)
            for (int& v : row) v = 0;
        if (c.selected[0] >= 0) mask[c.selected[0]][c.selected[1]] = 1;
        Kestrane_ChooseVertex(mask);
        ASSERT_EQ(Kestrane_DrawImage(&rect, grid, 41, 41), 1);
        for (const Probe& p : c.probes)
            EXPECT_EQ(Pixel(p.x, p.y), p.colour) << p.x << "," << p.y << ": " << Show(Pixel(p.x, p.y));
        if (c.current[0] < 0) {
            EXPECT_EQ(CountColour(kYellow), 0u);
        }
    }
}

TEST_F(ImagePreviewTest, OutlineJoinsTheBorderControlPointsWithDiscs) {
    Init();
    ASSERT_EQ(Kestrane_LoadImage(TwoColourPicture().c_str()), 1);
    // The control points of a square of half the size: corners at +-0.5.
    const DOUBLE_POINT points[9] = {{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}, {0.0, -0.5},
                                    {0.5, 0.0},   {0.0, 0.5},  {-0.5, 0.0}, {0.0, 0.0}};
    ASSERT_EQ(Kestrane_DrawImage2(&rect, grid, points, 41, 41), 1);
    EXPECT_EQ(Pixel(150, 100), kYellow) << Show(Pixel(150, 100));  // on the line 0-4
    EXPECT_EQ(Pixel(300, 250), kYellow);                           // on the line 5-2
    EXPECT_EQ(Pixel(100, 93), kYellow);                            // inside the disc of point 0 only
    EXPECT_EQ(Pixel(205, 93), kYellow);                            // inside the disc of point 4
    EXPECT_EQ(Pixel(103, 83), kBlue) << Show(Pixel(103, 83));     // beyond it
    EXPECT_EQ(Pixel(205, 205), kWhite);                            // the centre has no disc
}

TEST_F(ImagePreviewTest, CallersWindowTakesTheContextAndAnotherInitReplacesIt) {
    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.resize(64, 64);
    window.show();
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return window.isExposed();
        },
        std::chrono::seconds(10)));
    ASSERT_EQ(Kestrane_InitImageContext(&window), 1);
    QOpenGLContext* first = QOpenGLContext::currentContext();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->surface(), &window);
    ASSERT_EQ(Kestrane_LoadImage(TestMedia::Get().picture().c_str()), 1);
    const RECT small{0, 0, 64, 64};
    EXPECT_EQ(Kestrane_DrawImage(&small, grid, 41, 41), 1);
    ASSERT_EQ(Kestrane_InitImageContext(nullptr), 1);
    EXPECT_NE(QOpenGLContext::currentContext()->surface(), &window);
    EXPECT_EQ(Kestrane_UninitImageContext(), 1);
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);
    EXPECT_EQ(Kestrane_LoadImage(TestMedia::Get().picture().c_str()), 0);
    EXPECT_EQ(Kestrane_UninitImageContext(), 1);

    QWindow raster;  // not an OpenGL surface
    EXPECT_EQ(Kestrane_InitImageContext(&raster), 0);
}

// A context of the caller's that is current when the preview draws keeps its
// pixels and stays current; the picture goes to the preview's own context.
TEST_F(ImagePreviewTest, DrawsOnlyIntoItsOwnContext) {
    Init();
    QOpenGLContext* preview = QOpenGLContext::currentContext();
    ASSERT_EQ(Kestrane_LoadImage(TwoColourPicture().c_str()), 1);

    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext other;
    ASSERT_TRUE(other.create());
    ASSERT_TRUE(other.makeCurrent(&surface));
    QOpenGLFramebufferObject otherFbo(kSize, kSize);
    ASSERT_TRUE(otherFbo.bind());
    glClearColor(kGrey[0] / 255.0f, kGrey[1] / 255.0f, kGrey[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    ASSERT_EQ(Kestrane_DrawImage(&rect, grid, 41, 41), 1);
    EXPECT_EQ(QOpenGLContext::currentContext(), &other);
    EXPECT_EQ(CountColour(kGrey), size_t(kSize) * kSize);
    EXPECT_EQ(CountColour(kBlue), 0u);
    otherFbo.release();
    other.doneCurrent();

    ASSERT_TRUE(preview->makeCurrent(preview->surface()));
    ASSERT_TRUE(fbo->bind());
    EXPECT_EQ(Pixel(5, 5), kBlue) << Show(Pixel(5, 5));
    EXPECT_EQ(Pixel(395, 395), kWhite);
}
