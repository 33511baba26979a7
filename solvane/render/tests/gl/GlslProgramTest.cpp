#include <cmath>

#include "gl/GlTestSupport.h"
#include "render/GlslProgram.h"
#include "render/OutputRenderer.h"
#include "util/LogCapture.h"

namespace {

class GlslProgramTest : public OffscreenGl {
protected:
    void SetUp() override {
        OffscreenGl::SetUp();
        program_ = std::make_unique<GlslProgram>();
    }
    void TearDown() override {
        if (context_ && context_->makeCurrent(surface_.get()) && program_) program_->Release();
        OffscreenGl::TearDown();
    }

    // A quad over the whole target whose vertex red runs from 0 at the left
    // to 1 at the right (the horizontal blend coordinate); green is 1.
    static void DrawRamp() {
        glBegin(GL_QUADS);
        glColor4f(0, 1, 0, 1);
        glTexCoord2f(0, 0);
        glVertex2f(-1, -1);
        glColor4f(1, 1, 0, 1);
        glTexCoord2f(1, 0);
        glVertex2f(1, -1);
        glColor4f(1, 1, 0, 1);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glColor4f(0, 1, 0, 1);
        glTexCoord2f(0, 1);
        glVertex2f(-1, 1);
        glEnd();
    }

    // The edge blend curve, worked out by hand from its definition.
    static double Blend(double x, double g) {
        if (x > 1.0) return 1.0;
        const double f = x < 0.5 ? 0.5 * std::pow(2 * x, 1.2) : 1.0 - 0.5 * std::pow(2 * (1 - x), 1.2);
        return std::pow(f, g);
    }

    std::unique_ptr<GlslProgram> program_;
};

TEST_F(GlslProgramTest, EdgeBlendRampFollowsTheCurve) {
    ASSERT_TRUE(program_->LoadShaderResource());
    const GLuint white = SolidTexture(255, 255, 255, 255);
    for (double gamma : {1.2, 1.0}) {
        SCOPED_TRACE(gamma);
        glClear(GL_COLOR_BUFFER_BIT);
        program_->Begin();
        EXPECT_TRUE(program_->SetProcType(10.0f));
        EXPECT_TRUE(program_->SetGlobalColorRatio(1, 1, 1, false));
        EXPECT_TRUE(program_->SetEdgeParam(gamma, gamma, gamma));
        EXPECT_TRUE(program_->SetTexture(white));
        DrawRamp();
        program_->End();
        for (double x : {0.0, 0.25, 0.5, 0.75, 1.0}) {
            SCOPED_TRACE(x);
            const int column = std::min(kWidth - 1, static_cast<int>(x * kWidth));
            // The ramp is sampled at pixel centres.
            const double centre = (column + 0.5) / kWidth;
            const double expected = Blend(centre, gamma) * 255.0;
            const auto px = Pixel(column, kHeight / 2);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(px[c], expected, 1.0) << "component " << c;
        }
    }
    // The anchors of the curve at gamma 1: B(0.5) = 0.5, B(0.25) = 0.5 * 0.5^1.2.
    EXPECT_NEAR(Pixel(kWidth / 2, kHeight / 2)[0], 0.5 * 255, 1.5);
    EXPECT_NEAR(Pixel(kWidth / 4, kHeight / 2)[0], 0.5 * std::pow(0.5, 1.2) * 255, 1.5);
    glDeleteTextures(1, &white);
}

TEST_F(GlslProgramTest, SolidColourIgnoresTheTextureAndAlphaReplacementKeepsIt) {
    ASSERT_TRUE(program_->LoadShaderResource());
    const GLuint red = SolidTexture(255, 0, 0, 255);
    program_->Begin();
    EXPECT_TRUE(program_->SetTexture(red));
    EXPECT_TRUE(program_->SetProcType(2, 0.2f, 0.4f, 0.6f));
    DrawRamp();
    auto px = Pixel(10, 10);
    EXPECT_NEAR(px[0], 51, 1);
    EXPECT_NEAR(px[1], 102, 1);
    EXPECT_NEAR(px[2], 153, 1);
    EXPECT_EQ(px[3], 255);

    const GLuint texel = SolidTexture(200, 100, 50, 255);
    EXPECT_TRUE(program_->SetTransparentValue(texel, 0.5f));
    EXPECT_TRUE(program_->SetProcType(3.0f));
    DrawRamp();
    program_->End();
    px = Pixel(10, 10);
    EXPECT_NEAR(px[0], 200, 1);
    EXPECT_NEAR(px[1], 100, 1);
    EXPECT_NEAR(px[2], 50, 1);
    EXPECT_NEAR(px[3], 128, 1);
    glDeleteTextures(1, &red);
    glDeleteTextures(1, &texel);
}

TEST_F(GlslProgramTest, UnknownUniformFailsEveryTimeAndIsNotCached) {
    ASSERT_TRUE(program_->LoadShaderResource());
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(program_->SetUniformFloat("noSuchUniform", 1.0f));
        const float values[2] = {1, 2};
        EXPECT_FALSE(program_->SetUniformArray("noSuchUniform", values, 2));
    }
    EXPECT_TRUE(program_->SetUniformFloat("transparent_value", 1.0f));
}

// Texture names are never reused and soon pass the number of texture units;
// such a texture must still be the one drawn.
TEST_F(GlslProgramTest, TextureWithANameBeyondTheUnitCountIsDrawn) {
    ASSERT_TRUE(program_->LoadShaderResource());
    GLint units = 0;
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
    std::vector<GLuint> names(static_cast<size_t>(units) + 8);
    glGenTextures(static_cast<GLsizei>(names.size()), names.data());
    const GLuint green = SolidTexture(0, 255, 0, 255);
    ASSERT_GE(green, static_cast<GLuint>(units));
    program_->Begin();
    EXPECT_TRUE(program_->SetProcType(1.0f));
    EXPECT_TRUE(program_->SetTexture(green));
    DrawRamp();
    program_->End();
    const auto px = Pixel(kWidth / 2, kHeight / 2);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[1], 255);
    EXPECT_EQ(px[2], 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
    glDeleteTextures(1, &green);
}

TEST_F(GlslProgramTest, BrokenShaderFailsWithItsLogAndTheOutputCannotStart) {
    util::LogCapture log;
    EXPECT_FALSE(program_->LoadShaderSource("void main() { gl_FragColor = undefinedThing; }"));
    EXPECT_TRUE(log.Contains("undefinedThing"));
    program_->Release();

    COutputRenderer renderer;
    renderer.m_strShaderText = "this is not GLSL";
    EXPECT_FALSE(renderer.InitGL(64, 64));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "create shader program failed"));
    EXPECT_EQ(renderer.Program(), nullptr);

    COutputRenderer good;
    EXPECT_TRUE(good.InitGL(64, 64));
    EXPECT_NE(good.Program(), nullptr);
    good.ReleaseProgram();
}

}  // namespace
