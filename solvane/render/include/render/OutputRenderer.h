// The GL state of the display server's output. This holds what the output
// window needs from it: building and releasing the GL objects (with the
// output program) and drawing one frame. The frame's scene and output passes
// are added by the frame renderer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class GlslProgram;

class COutputRenderer {
public:
    COutputRenderer();
    virtual ~COutputRenderer();
    COutputRenderer(const COutputRenderer&) = delete;
    COutputRenderer& operator=(const COutputRenderer&) = delete;

    // Builds the GL objects for a width x height output with the context
    // current. False (after the log line "create shader program failed")
    // when the output program cannot be made: the output cannot run then.
    bool InitGL(int32_t width, int32_t height);
    // Deletes the GL objects of InitGL except the output program.
    void ReleaseGL();
    // Deletes the output program (with the context current).
    void ReleaseProgram();
    // Draws one frame for the given eye (0 left, 1 right).
    virtual bool RenderOutput(int32_t eye);

    GlslProgram* Program() { return m_program.get(); }

    // Fragment text used instead of the compiled-in program (empty: the
    // compiled-in one).
    std::string m_strShaderText;
    bool m_bRebuildLists = false;
    uint32_t m_nDisplayFlags = 1;
    int32_t m_nStereoGranted = 0;
    int32_t m_nSceneWidth = 1024;
    int32_t m_nSceneHeight = 1024;

private:
    std::unique_ptr<GlslProgram> m_program;
};
