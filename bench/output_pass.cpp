// Frames per second of one 1920x1080 channel drawn through its full warp mesh
// with the blending program, against a plain textured full-screen quad of the
// same size, and the same for a 2x2 wall of such channels in one window. Run
// under X with a screen that holds the wall:
//   tools/xvfb-test --screen 3840x2160x24 build/bench/bench_output_pass
#include <GL/glew.h>

#undef __GLEW_H__
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWindow>
#define __GLEW_H__

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "channel/ChannelLayout.h"
#include "channel/OutputChannel.h"
#include "core/MediaManager.h"
#include "render/OutputRenderer.h"

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;
constexpr int kBatch = 10;
constexpr int kRounds = 8;

// Seconds per frame of a batch of frames, each finished before the next.
template <typename F>
double SecondsPerFrame(F&& draw) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) {
        draw();
        glFinish();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kBatch;
}

// The machine is shared and its load moves: the two draws take turns in
// short batches and each keeps its best batch.
template <typename A, typename B>
std::pair<double, double> BestFps(A&& a, B&& b) {
    a();
    b();
    glFinish();
    double bestA = 1e9, bestB = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        bestA = std::min(bestA, SecondsPerFrame(a));
        bestB = std::min(bestB, SecondsPerFrame(b));
    }
    return {1.0 / bestA, 1.0 / bestB};
}

struct Figures {
    double mesh = 0.0;
    double quad = 0.0;
};

// One window of cols x rows channels of 1920x1080 each: the renderer's frame
// against a plain textured quad covering the same window.
Figures RunCase(int cols, int rows, const char* folder) {
    Figures out;
    const int w = kW * cols, h = kH * rows;
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.setFormat(format);
    window.setFlags(Qt::FramelessWindowHint);
    window.setGeometry(0, 0, w, h);
    window.show();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !context.makeCurrent(&window)) {
        std::fprintf(stderr, "no GL context\n");
        return out;
    }
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) return out;

    CMediaManager core(folder);
    CChannelLayout layout;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            auto channel = std::make_unique<OutputChannel>(c * kW, r * kH, (c + 1) * kW, (r + 1) * kH);
            channel->m_stageRect = RECT{c * kW, r * kH, (c + 1) * kW, (r + 1) * kH};
            // Neighbours overlap and blend, as on a real wall.
            if (c > 0) channel->m_blend[OutputChannel::kBlendLeft] = 4;
            if (c + 1 < cols || cols == 1) channel->m_blend[OutputChannel::kBlendRight] = 4;
            if (cols == 1) channel->m_blend[OutputChannel::kBlendLeft] = 4;
            layout.m_channels.Append(std::move(channel));
        }
    }
    core.m_pChannelLayout = &layout;
    core.m_rcOutput = RECT{0, 0, w, h};
    core.m_render.backgroundSelector = CoreRenderState::kSolidColour;
    core.m_render.backgroundValue = 0x808080;
    COutputRenderer renderer(&core);
    if (!renderer.InitGL(w, h)) return out;

    // The plain quad samples a texture of the same size.
    std::vector<uint8_t> texels(size_t(w) * h * 3, 128);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    auto quad = [&] {
        glViewport(0, 0, w, h);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glUseProgram(0);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(-1, -1);
        glTexCoord2f(1, 0);
        glVertex2f(1, -1);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(-1, 1);
        glEnd();
    };
    std::tie(out.mesh, out.quad) = BestFps([&] { renderer.RenderOutput(0); }, quad);
    glDeleteTextures(1, &texture);
    renderer.ReleaseGL();
    renderer.ReleaseProgram();
    static bool named = false;
    if (!named) {
        std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        named = true;
    }
    context.doneCurrent();
    return out;
}

void Print(const char* what, const Figures& f) {
    std::printf("%s\n", what);
    std::printf("  frame with warp mesh and blending program (solid scene): %7.1f fps\n", f.mesh);
    std::printf("  plain textured quad over the same window:                %7.1f fps\n", f.quad);
    std::printf("  ratio mesh / quad: %.3f\n", f.quad > 0 ? f.mesh / f.quad : 0.0);
}

}  // namespace

// Arguments: none runs both cases; "1" or "4" runs one.
int main(int argc, char** argv) {
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
    const std::string only = argc > 1 ? argv[1] : "";
    QGuiApplication app(argc, argv);
    char folder[] = "/tmp/bench_output_passXXXXXX";
    if (!mkdtemp(folder)) return 1;
    if (only.empty() || only == "1") Print("one channel, 1920x1080", RunCase(1, 1, folder));
    if (only.empty() || only == "4") Print("four channels, 2x2 wall of 1920x1080 (3840x2160 window)", RunCase(2, 2, folder));
    std::filesystem::remove_all(folder);
    return 0;
}
