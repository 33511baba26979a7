// A Qt application and an off-screen GL context with a frame buffer to draw
// into and read back, for the tests of the renderer.
#pragma once

#include <GL/glew.h>

// Qt warns when GLEW comes first although only GLEW's entry points are used
// here; its guard keeps gl.h out either way.
#undef __GLEW_H__
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRect>
#include <QSurfaceFormat>
#include <QWindow>
#define __GLEW_H__
#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "support/support.h"

inline QGuiApplication& TestApp() {
    static int argc = 1;
    static char name[] = "solvane_render_gl_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

inline QSurfaceFormat CompatFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    format.setAlphaBufferSize(8);
    return format;
}

// A frameless GL window at `geometry`, shown and exposed, with a current
// context and GLEW set up: what the frame tests draw into.
inline ::testing::AssertionResult OpenGlWindow(const QRect& geometry, std::unique_ptr<QWindow>& window,
                                               std::unique_ptr<QOpenGLContext>& context) {
    window = std::make_unique<QWindow>();
    window->setSurfaceType(QSurface::OpenGLSurface);
    window->setFormat(CompatFormat());
    window->setFlags(Qt::FramelessWindowHint);
    window->setGeometry(geometry);
    window->show();
    if (!testsupport::WaitUntil([&] {
            QCoreApplication::processEvents();
            return window->isExposed();
        }))
        return ::testing::AssertionFailure() << "the window was never exposed";
    context = std::make_unique<QOpenGLContext>();
    context->setFormat(CompatFormat());
    if (!context->create() || !context->makeCurrent(window.get()))
        return ::testing::AssertionFailure() << "no GL context";
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) return ::testing::AssertionFailure() << "GLEW did not start";
    return ::testing::AssertionSuccess();
}

// A current context with an RGBA frame buffer of width x height bound.
class OffscreenGl : public ::testing::Test {
protected:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 40;

    void SetUp() override {
        TestApp();
        surface_ = std::make_unique<QOffscreenSurface>();
        surface_->setFormat(CompatFormat());
        surface_->create();
        context_ = std::make_unique<QOpenGLContext>();
        context_->setFormat(CompatFormat());
        ASSERT_TRUE(context_->create());
        ASSERT_TRUE(context_->makeCurrent(surface_.get()));
        glewExperimental = GL_TRUE;
        ASSERT_EQ(glewInit(), static_cast<GLenum>(GLEW_OK));
        glGenTextures(1, &colour_);
        glBindTexture(GL_TEXTURE_2D, colour_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &fbo_);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void TearDown() override {
        if (context_ && context_->makeCurrent(surface_.get())) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &fbo_);
            glDeleteTextures(1, &colour_);
            context_->doneCurrent();
        }
        context_.reset();
        surface_.reset();
    }

    // RGBA bytes of the pixel at (x, y), y from the bottom.
    std::vector<uint8_t> Pixel(int x, int y) {
        std::vector<uint8_t> rgba(4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    // A 2 x 2 texture of one colour.
    GLuint SolidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        const uint8_t texels[16] = {r, g, b, a, r, g, b, a, r, g, b, a, r, g, b, a};
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
        glBindTexture(GL_TEXTURE_2D, 0);
        return name;
    }

    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    GLuint fbo_ = 0;
    GLuint colour_ = 0;
};
