// The geometry editor's image preview: its own OpenGL context, one still
// picture as a texture, and the warp mesh with its grid lines and markers.
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QThread>
#include <QWindow>

#include <GL/gl.h>

#include <cmath>
#include <memory>

#include "Media.h"
#include "util/Util.h"
#include "velmar/MediaLibrary.h"
#include "velmar/WarpEditState.h"
#include "velmar/imagepreview.h"

namespace velmar {
namespace {

constexpr int kSide = 41;

struct ImagePreview {
    QWindow* window = nullptr;  // the caller's, not owned
    std::unique_ptr<QOffscreenSurface> hidden;
    std::unique_ptr<QOpenGLContext> context;
    bool initialised = false;
    BMP picture;  // the still image last loaded
    GLuint texture = 0;
    bool textureValid = false;

    QSurface* Surface() const {
        return window ? static_cast<QSurface*>(window) : static_cast<QSurface*>(hidden.get());
    }
};

ImagePreview& Preview() {
    // Never destroyed: its GL objects cannot outlive the display connection,
    // which the application object takes with it at exit.
    static ImagePreview* preview = new ImagePreview;
    return *preview;
}

bool OnAppThread() { return qGuiApp && QThread::currentThread() == qGuiApp->thread(); }

void Release() {
    ImagePreview& p = Preview();
    if (p.context && QOpenGLContext::currentContext() == p.context.get()) p.context->doneCurrent();
    // The texture goes with its context.
    p.context.reset();
    p.hidden.reset();
    p.window = nullptr;
    p.texture = 0;
    p.textureValid = false;
    p.initialised = false;
}

QSurfaceFormat PreviewFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

bool Create(void* window) {
    ImagePreview& p = Preview();
    if (window) {
        p.window = static_cast<QWindow*>(window);
        if (p.window->surfaceType() != QSurface::OpenGLSurface) {
            LOGTEXT::LogError("Kestrane_InitImageContext: the window is not an OpenGL surface");
            return false;
        }
    } else {
        p.hidden = std::make_unique<QOffscreenSurface>();
        p.hidden->setFormat(PreviewFormat());
        p.hidden->create();
        if (!p.hidden->isValid()) {
            LOGTEXT::LogError("Kestrane_InitImageContext: no hidden surface");
            return false;
        }
    }
    p.context = std::make_unique<QOpenGLContext>();
    p.context->setFormat(window ? p.window->requestedFormat() : p.hidden->format());
    if (!p.context->create() || !p.context->makeCurrent(p.Surface())) {
        LOGTEXT::LogError("Kestrane_InitImageContext: cannot create the OpenGL context");
        return false;
    }
    p.initialised = true;
    return true;
}

void Vertex(const DOUBLE_POINT& point) {
    // By value: the point may lie inside a packed record.
    const double x = point.x, y = point.y;
    glVertex2f(static_cast<float>(x), static_cast<float>(y));
}

void Markers(const DOUBLE_POINT grid[kSide][kSide]) {
    static constexpr GridPoint kControl[9] = {{0, 0},   {40, 0},  {40, 40}, {0, 40}, {20, 0},
                                              {40, 20}, {20, 40}, {0, 20},  {20, 20}};
    const WarpEditState state = GetWarpEditState();
    auto points = [&](float size, auto&& body) {
        glPointSize(size);
        glBegin(GL_POINTS);
        body();
        glEnd();
    };
    auto current = [&] {
        if (!state.HasCurrent()) return;
        glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
        points(25.0f, [&] { Vertex(grid[state.current.i][state.current.j]); });
    };
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    switch (state.adjustMode) {
        case 2:
            points(20.0f, [&] {
                for (const GridPoint& c : kControl) Vertex(grid[c.i][c.j]);
            });
            current();
            break;
        case 1:
            points(20.0f, [&] {
                for (int k = 0; k < 4; ++k) Vertex(grid[kControl[k].i][kControl[k].j]);
            });
            current();
            break;
        case 3:
            points(5.0f, [&] {
                for (int i = 0; i < kSide; ++i)
                    for (int j = 0; j < kSide; ++j) Vertex(grid[i][j]);
            });
            break;
        case 0:
            points(8.0f, [&] {
                for (const GridPoint& s : state.selected)
                    if (s.i >= 0 && s.i < kSide && s.j >= 0 && s.j < kSide) Vertex(grid[s.i][s.j]);
            });
            break;
        default: break;
    }
}

void Outline(const DOUBLE_POINT points[9]) {
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    glLineWidth(3.0f);
    static constexpr int kSides[4][3] = {{0, 4, 1}, {1, 5, 2}, {2, 6, 3}, {3, 7, 0}};
    for (const auto& side : kSides) {
        glBegin(GL_LINE_STRIP);
        for (int k : side) Vertex(points[k]);
        glEnd();
    }
    for (int k = 0; k < 8; ++k) {
        const double cx = points[k].x, cy = points[k].y;
        glBegin(GL_POLYGON);
        for (int n = 0; n <= 50; ++n) {
            const double a = n * 6.2831852 / 50;
            glVertex2f(static_cast<float>(cx + 0.05 * std::cos(a)), static_cast<float>(cy + 0.05 * std::sin(a)));
        }
        glEnd();
    }
}

int Draw(const char* name, const RECT* rect, const DOUBLE_POINT grid[kSide][kSide], const DOUBLE_POINT* outline,
         int columns, int rows) {
    if (!rect || !grid) {
        LOGTEXT::LogError("%s: no rectangle or grid", name);
        return 0;
    }
    // The grid holds 41 x 41 points: more columns or rows would read past it.
    if (columns < 2 || rows < 2 || columns > kSide || rows > kSide) return 1;
    ImagePreview& p = Preview();
    if (!p.context) {
        LOGTEXT::LogError("%s: no preview context", name);
        return 1;
    }
    // Only the preview's own context is drawn into: a context of the caller
    // that happens to be current is left untouched and current again after.
    QOpenGLContext* const before = QOpenGLContext::currentContext();
    QSurface* const beforeSurface = before ? before->surface() : nullptr;
    if (before != p.context.get() && !p.context->makeCurrent(p.Surface())) {
        LOGTEXT::LogError("%s: cannot make the preview context current", name);
        return 1;
    }
    struct Restore {
        QOpenGLContext* context;
        QSurface* surface;
        QOpenGLContext* preview;
        ~Restore() {
            if (context == preview) return;
            if (context && surface) context->makeCurrent(surface);
            else preview->doneCurrent();
        }
    } restore{before, beforeSurface, p.context.get()};
    glViewport(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (p.textureValid) glBindTexture(GL_TEXTURE_2D, p.texture);
    glEnable(GL_TEXTURE_2D);
    glClear(GL_COLOR_BUFFER_BIT);

    // Texture coordinates run along the columns in s and the rows in t.
    const double ds = 1.0 / (columns - 1), dt = 1.0 / (rows - 1);
    glBegin(GL_QUADS);
    for (int i = 0; i + 1 < columns; ++i) {
        for (int j = 0; j + 1 < rows; ++j) {
            const float s0 = static_cast<float>(i * ds), s1 = static_cast<float>((i + 1) * ds);
            const float t0 = static_cast<float>(j * dt), t1 = static_cast<float>((j + 1) * dt);
            glTexCoord2f(s0, t0);
            Vertex(grid[i][j]);
            glTexCoord2f(s0, t1);
            Vertex(grid[i][j + 1]);
            glTexCoord2f(s1, t1);
            Vertex(grid[i + 1][j + 1]);
            glTexCoord2f(s1, t0);
            Vertex(grid[i + 1][j]);
        }
    }
    glEnd();

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineWidth(1.0f);
    glPointSize(5.0f);

    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    for (int i = 0; i < columns; ++i) {
        glBegin(GL_LINE_STRIP);
        for (int j = 0; j < rows; ++j) Vertex(grid[i][j]);
        glEnd();
    }
    for (int j = 0; j < rows; ++j) {
        glBegin(GL_LINE_STRIP);
        for (int i = 0; i < columns; ++i) Vertex(grid[i][j]);
        glEnd();
    }
    Markers(grid);
    if (outline) Outline(outline);
    glPopAttrib();

    // A hidden window's swap only draws Qt's warning: nothing to show.
    if (!p.window || p.window->isExposed()) p.context->swapBuffers(p.Surface());
    return 1;
}

}  // namespace
}  // namespace velmar

using namespace velmar;

extern "C" {

int Kestrane_InitImageContext(void* window) {
    LOGTEXT::LogInfo("Kestrane_InitImageContext is in");
    if (!OnAppThread()) {
        LOGTEXT::LogError("Kestrane_InitImageContext: needs the application object and its thread");
        return 0;
    }
    Release();
    const bool ok = Create(window);
    if (!ok) Release();
    LOGTEXT::LogInfo("Kestrane_InitImageContext is over. result=%d", ok ? 1 : 0);
    return ok ? 1 : 0;
}

int Kestrane_UninitImageContext() {
    LOGTEXT::LogInfo("Kestrane_UninitImageContext is in");
    if (OnAppThread()) Release();
    else LOGTEXT::LogError("Kestrane_UninitImageContext: not on the application's thread");
    LOGTEXT::LogInfo("Kestrane_UninitImageContext is over");
    return 1;
}

int Kestrane_LoadImage(const char* path) {
    LOGTEXT::LogInfo("Kestrane_LoadImage is in");
    ImagePreview& p = Preview();
    if (!p.initialised || !path) {
        LOGTEXT::LogInfo("Kestrane_LoadImage leave. no context or no path");
        return 0;
    }
    if (!p.context->makeCurrent(p.Surface())) return 0;
    p.picture.Close();
    if (!p.picture.LoadResource(path, 0, 0, -1)) {
        LOGTEXT::LogInfo("Kestrane_LoadImage leave. cannot load %s", path);
        return 0;
    }
    if (p.texture) glDeleteTextures(1, &p.texture);
    p.texture = 0;
    p.textureValid = false;
    {
        auto lock = p.picture.LockFrame();
        p.texture = UploadPictureTexture(0, p.picture.m_frame.data(), p.picture.m_nWidth, p.picture.m_nHeight,
                                         p.picture.m_nStride, p.picture.m_nBitsPerPixel);
    }
    p.textureValid = p.texture != 0;
    LOGTEXT::LogInfo("Kestrane_LoadImage is over. texture=%u", p.texture);
    return p.textureValid ? 1 : 0;
}

int Kestrane_DrawImage(const RECT* rect, const DOUBLE_POINT grid[41][41], int columns, int rows) {
    return Draw("Kestrane_DrawImage", rect, grid, nullptr, columns, rows);
}

int Kestrane_DrawImage2(const RECT* rect, const DOUBLE_POINT grid[41][41], const DOUBLE_POINT points[9], int columns,
                        int rows) {
    if (!points) {
        LOGTEXT::LogError("Kestrane_DrawImage2: no control points");
        return 0;
    }
    return Draw("Kestrane_DrawImage2", rect, grid, points, columns, rows);
}

}  // extern "C"
