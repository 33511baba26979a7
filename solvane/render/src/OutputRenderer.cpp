#include "render/OutputRenderer.h"

#include <GL/glew.h>

#include "render/GlslProgram.h"
#include "util/Util.h"

COutputRenderer::COutputRenderer() = default;
COutputRenderer::~COutputRenderer() = default;

bool COutputRenderer::InitGL(int32_t width, int32_t height) {
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) LOGTEXT::LogError("glewInit: %s", reinterpret_cast<const char*>(glewGetErrorString(glew)));
    m_nSceneWidth = width;
    m_nSceneHeight = height;
    glEnable(GL_MULTISAMPLE);
    m_bRebuildLists = false;
    m_nDisplayFlags = 1;

    if (!m_program) {
        auto program = std::make_unique<GlslProgram>();
        const bool loaded = glew == GLEW_OK && (m_strShaderText.empty() ? program->LoadShaderResource()
                                                                        : program->LoadShaderSource(m_strShaderText));
        if (!loaded) {
            program->Release();
            LOGTEXT::LogError("create shader program failed");
            return false;
        }
        m_program = std::move(program);
    }
    return true;
}

void COutputRenderer::ReleaseGL() {}

void COutputRenderer::ReleaseProgram() {
    if (m_program) m_program->Release();
    m_program.reset();
}

bool COutputRenderer::RenderOutput(int32_t) {
    glClearDepth(1.0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
}
