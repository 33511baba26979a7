// The hidden render context: an OpenGL context on an offscreen surface of
// the application's display connection, created by Kestrane_Init on the
// application's thread.
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QThread>

#include <GL/gl.h>

#include <mutex>

#include "Library.h"
#include "util/Util.h"
#include "velmar/MediaLibrary.h"
#include "velmar/kestrane.h"

namespace velmar {
namespace {

struct RenderWindow {
    QOffscreenSurface* surface = nullptr;
    QOpenGLContext* context = nullptr;
    void* parent = nullptr;
    bool initialised = false;
};

RenderWindow g_render;  // used on the application's thread only

bool OnAppThread() { return qGuiApp && QThread::currentThread() == qGuiApp->thread(); }

void DestroyRenderWindow() {
    if (g_render.context && QOpenGLContext::currentContext() == g_render.context) g_render.context->doneCurrent();
    delete g_render.context;
    delete g_render.surface;
    g_render = RenderWindow{};
}

bool CreateRenderWindow(void* parent) {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    g_render.surface = new QOffscreenSurface;
    g_render.surface->setFormat(format);
    g_render.surface->create();
    if (!g_render.surface->isValid()) {
        LOGTEXT::LogError("Kestrane_Init: no offscreen surface");
        DestroyRenderWindow();
        return false;
    }
    g_render.context = new QOpenGLContext;
    g_render.context->setFormat(g_render.surface->format());
    if (!g_render.context->create() || !g_render.context->makeCurrent(g_render.surface)) {
        LOGTEXT::LogError("Kestrane_Init: cannot create the OpenGL context");
        DestroyRenderWindow();
        return false;
    }
    g_render.context->doneCurrent();
    g_render.parent = parent;
    g_render.initialised = true;
    return true;
}

}  // namespace

void ReleaseRenderContext(bool atExit) {
    if (!g_render.context && !g_render.surface) return;
    if (OnAppThread()) {
        DestroyRenderWindow();
    } else if (atExit) {
        // The display connection has gone with the application object: the
        // objects can no longer be deleted safely and the process ends anyway.
        g_render = RenderWindow{};
    } else {
        LOGTEXT::LogError("render context not released: not on the application's thread");
    }
}

bool MakeRenderContextCurrent() {
    if (!g_render.initialised || !OnAppThread()) return false;
    return g_render.context->makeCurrent(g_render.surface);
}

void DoneRenderContext() {
    if (g_render.initialised && OnAppThread()) g_render.context->doneCurrent();
}

uint32_t UploadPictureTexture(uint32_t texture, const void* bits, int32_t width, int32_t height, int32_t stride,
                              int32_t bitsPerPixel) {
    if (!QOpenGLContext::currentContext() || !bits || width <= 0 || height <= 0) return 0;
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return 0;
    const int32_t bytes = bitsPerPixel / 8;
    if (int64_t{stride} < int64_t{width} * bytes) return 0;
    // Rows padded to 4 bytes go as they are; any other stride in whole pixels
    // through the row length.
    GLint alignment = 4, rowLength = 0;
    if (stride != (width * bytes + 3) / 4 * 4) {
        if (stride % bytes != 0) return 0;
        alignment = 1;
        rowLength = stride / bytes;
    }
    GLuint name = texture;
    if (name == 0) glGenTextures(1, &name);
    if (name == 0) return 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    GLint oldAlignment = 4, oldRowLength = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &oldAlignment);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &oldRowLength);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glTexImage2D(GL_TEXTURE_2D, 0, bytes == 4 ? GL_RGBA8 : GL_RGB8, width, height, 0, bytes == 4 ? GL_BGRA : GL_BGR,
                 GL_UNSIGNED_BYTE, bits);
    glPixelStorei(GL_UNPACK_ALIGNMENT, oldAlignment);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, oldRowLength);
    if (glGetError() != GL_NO_ERROR) {
        if (texture == 0) glDeleteTextures(1, &name);
        return 0;
    }
    return name;
}

uint32_t UploadMediaTexture(void* media, uint32_t texture) {
    auto& lib = Lib();
    std::lock_guard lk(lib.listLock);
    MediaBaseClass* m = FindLiveLocked(media);
    if (!m) return 0;
    auto lock = m->LockFrame();
    if (m->m_frame.empty()) return 0;
    return UploadPictureTexture(texture, m->m_frame.data(), m->m_nWidth, m->m_nHeight, m->m_nStride,
                                m->m_nBitsPerPixel);
}

}  // namespace velmar

using namespace velmar;

extern "C" {

int Kestrane_Init(void* parent) {
    LOGTEXT::LogInfo("Kestrane_Init is in");
    if (!OnAppThread()) {
        LOGTEXT::LogError("Kestrane_Init: needs the application object and its thread");
        return 0;
    }
    EnsureStarted();
    if (g_render.context || g_render.surface) DestroyRenderWindow();
    const int ok = CreateRenderWindow(parent) ? 1 : 0;
    LOGTEXT::LogInfo("Kestrane_Init is over. result=%d", ok);
    return ok;
}

int Kestrane_Uninit() {
    LOGTEXT::LogInfo("Kestrane_Uninit is in");
    ReleaseRenderContext(false);
    return 1;
}

int Kestrane_Draw() {
    {
        auto& lib = Lib();
        std::lock_guard lk(lib.listLock);
        if (lib.list.empty()) return 1;
    }
    if (!MakeRenderContextCurrent()) return 1;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glDepthMask(GL_FALSE);
    glFinish();
    g_render.context->swapBuffers(g_render.surface);
    DoneRenderContext();
    return 1;
}

}  // extern "C"
