#include "render/GlslProgram.h"

#include <GL/glew.h>

#include <vector>

#include "render/OutputShader.h"
#include "util/Util.h"

namespace {
// One program for the whole process, like the output it draws.
GLuint g_program = 0;
float g_stepRed[256];
float g_stepGreen[256];
float g_stepBlue[256];

std::string ShaderLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, text.data());
    return text.data();
}

std::string ProgramLog(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    glGetProgramInfoLog(program, length, nullptr, text.data());
    return text.data();
}
}  // namespace

GlslProgram::GlslProgram() {
    if (g_program == 0) g_program = glCreateProgram();
}

uint32_t GlslProgram::ProgramHandle() { return g_program; }

bool GlslProgram::LoadShaderResource() { return LoadShaderSource(kOutputShaderText); }

bool GlslProgram::LoadShaderSource(const std::string& text) {
    if (g_program == 0) g_program = glCreateProgram();
    if (g_program == 0) return false;
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    if (shader == 0) return false;
    const GLchar* source = text.c_str();
    const GLint length = static_cast<GLint>(text.size());
    glShaderSource(shader, 1, &source, &length);
    glCompileShader(shader);

    // Drivers write warnings into a successful compile's log too, so the
    // status decides and the log is only reported.
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    const std::string compileLog = ShaderLog(shader);
    if (!compileLog.empty()) LOGTEXT::LogInfo("%s", compileLog.c_str());
    if (compiled != GL_TRUE) {
        glDeleteShader(shader);
        return false;
    }
    if (m_shader != 0) {
        glDetachShader(g_program, m_shader);
        glDeleteShader(m_shader);
    }
    m_shader = shader;
    glAttachShader(g_program, shader);
    glLinkProgram(g_program);
    m_locations.clear();

    GLint linked = GL_FALSE;
    glGetProgramiv(g_program, GL_LINK_STATUS, &linked);
    const std::string linkLog = ProgramLog(g_program);
    if (!linkLog.empty()) LOGTEXT::LogInfo("%s", linkLog.c_str());
    return linked == GL_TRUE;
}

void GlslProgram::Begin() { glUseProgram(g_program); }

void GlslProgram::End() { glUseProgram(0); }

int GlslProgram::Location(const char* name) {
    glUseProgram(g_program);
    auto it = m_locations.find(name);
    if (it != m_locations.end()) return it->second;
    const GLint location = glGetUniformLocation(g_program, name);
    if (location >= 0) m_locations.emplace(name, location);
    return location;
}

bool GlslProgram::SetUniformArray(const char* name, const float* values, int count) {
    const int location = Location(name);
    if (location < 0) return false;
    glUniform1fv(location, count, values);
    return glGetError() == GL_NO_ERROR;
}

bool GlslProgram::SetUniformFloat(const char* name, float value) {
    const int location = Location(name);
    if (location < 0) return false;
    glUniform1f(location, value);
    return glGetError() == GL_NO_ERROR;
}

bool GlslProgram::SetTexture(uint32_t texture) {
    const int location = Location("texScreen");
    if (location < 0) return false;
    // Always unit 0: texture names grow without bound and units run out
    // long before them.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1i(location, 0);
    if (glGetError() == GL_NO_ERROR) return true;
    glGetProgramInfoLog(g_program, sizeof(m_infoLog) - 1, nullptr, m_infoLog);
    return false;
}

bool GlslProgram::SetProcType(float op) {
    const float values[4] = {op, -1.0f, -1.0f, -1.0f};
    return SetUniformArray("procType", values, 4);
}

bool GlslProgram::SetProcType(int op, float r, float g, float b) {
    const float values[4] = {static_cast<float>(op), r, g, b};
    return SetUniformArray("procType", values, 4);
}

bool GlslProgram::SetTransparentValue(uint32_t texture, float alpha) {
    if (!SetTexture(texture)) return false;
    return SetUniformFloat("transparent_value", alpha);
}

bool GlslProgram::SetGlobalColorRatio(float r, float g, float b, bool curvesOn) {
    const float values[4] = {r, g, b, curvesOn ? 1.1f : 0.0f};
    return SetUniformArray("fGlobalColorRatio", values, 4);
}

bool GlslProgram::SetEdgeParam(float r, float g, float b) {
    const float values[3] = {r, g, b};
    return SetUniformArray("edgeParam", values, 3);
}

bool GlslProgram::SetEdgePos(const float values[40]) { return SetUniformArray("edgePos", values, 40); }

bool GlslProgram::SetColorCurves(const uint8_t curves[256][3]) {
    for (int i = 0; i < 256; ++i) {
        g_stepRed[i] = curves[i][0];
        g_stepGreen[i] = curves[i][1];
        g_stepBlue[i] = curves[i][2];
    }
    const bool red = SetUniformArray("stepColorRed", g_stepRed, 256);
    const bool green = SetUniformArray("stepColorGreen", g_stepGreen, 256);
    const bool blue = SetUniformArray("stepColorBlue", g_stepBlue, 256);
    return red && green && blue;
}

void GlslProgram::Release() {
    if (m_shader != 0) {
        glDeleteShader(m_shader);
        m_shader = 0;
    }
    if (g_program != 0) {
        glDeleteProgram(g_program);
        g_program = 0;
    }
    m_locations.clear();
}
