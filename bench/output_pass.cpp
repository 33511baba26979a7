// Frames per second of one 1920x1080 channel drawn through its full warp mesh
// with the blending program, against a plain textured full-screen quad of the
// same size. Run under X (for instance tools/xvfb-test bench_output_pass).
#include <GL/glew.h>

#undef __GLEW_H__
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWindow>
#define __GLEW_H__

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "channel/ChannelLayout.h"
#include "channel/OutputChannel.h"
#include "core/MediaManager.h"
#include "render/OutputRenderer.h"

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;
constexpr int kFrames = 60;

template <typename F>
double FramesPerSecond(F&& draw) {
    draw();
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; ++i) {
        draw();
        glFinish();
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return s > 0 ? kFrames / s : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
    QGuiApplication app(argc, argv);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.setFormat(format);
    window.setFlags(Qt::FramelessWindowHint);
    window.setGeometry(0, 0, kW, kH);
    window.show();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !context.makeCurrent(&window)) {
        std::fprintf(stderr, "no GL context\n");
        return 1;
    }
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) return 1;

    char folder[] = "/tmp/bench_output_passXXXXXX";
    if (!mkdtemp(folder)) return 1;
    CMediaManager core(folder);
    CChannelLayout layout;
    auto channel = std::make_unique<OutputChannel>(0, 0, kW, kH);
    channel->m_stageRect = RECT{0, 0, kW, kH};
    channel->m_blend[OutputChannel::kBlendLeft] = 4;
    channel->m_blend[OutputChannel::kBlendRight] = 4;
    layout.m_channels.Append(std::move(channel));
    core.m_pChannelLayout = &layout;
    core.m_rcOutput = RECT{0, 0, kW, kH};
    core.m_render.backgroundSelector = CoreRenderState::kSolidColour;
    core.m_render.backgroundValue = 0x808080;
    COutputRenderer renderer(&core);
    if (!renderer.InitGL(kW, kH)) return 1;

    const double mesh = FramesPerSecond([&] { renderer.RenderOutput(0); });

    // The plain quad samples a texture of the same size.
    std::vector<uint8_t> texels(size_t(kW) * kH * 3, 128);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kW, kH, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    const double quad = FramesPerSecond([&] {
        glViewport(0, 0, kW, kH);
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
    });
    glDeleteTextures(1, &texture);

    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    std::printf("frame with warp mesh and blending program (1920x1080, solid scene): %.1f fps\n", mesh);
    std::printf("plain textured full-screen quad (1920x1080): %.1f fps\n", quad);
    std::printf("ratio mesh / quad: %.3f\n", quad > 0 ? mesh / quad : 0.0);
    renderer.ReleaseGL();
    renderer.ReleaseProgram();
    context.doneCurrent();
    std::filesystem::remove_all(folder);
    return 0;
}
