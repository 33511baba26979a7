// The output program: one GLSL fragment program for every pass of the
// output, with uniform setters that cache uniform locations by name. All
// calls need the output's GL context current.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class GlslProgram {
public:
    // Creates the process-wide program object when there is none yet.
    GlslProgram();
    ~GlslProgram() = default;
    GlslProgram(const GlslProgram&) = delete;
    GlslProgram& operator=(const GlslProgram&) = delete;

    // Compiles the compiled-in output program and links it.
    bool LoadShaderResource();
    // Compiles the given fragment text and links it; false (with the logs
    // logged) when compiling or linking fails.
    bool LoadShaderSource(const std::string& text);

    void Begin();
    void End();

    bool SetUniformArray(const char* name, const float* values, int count);
    bool SetUniformFloat(const char* name, float value);
    // Binds the texture on unit 0 and points texScreen at that unit.
    bool SetTexture(uint32_t texture);

    bool SetProcType(float op);
    bool SetProcType(int op, float r, float g, float b);
    bool SetTransparentValue(uint32_t texture, float alpha);
    bool SetGlobalColorRatio(float r, float g, float b, bool curvesOn);
    bool SetEdgeParam(float r, float g, float b);
    bool SetEdgePos(const float values[40]);
    // 256 red-green-blue byte triples; uploaded unscaled (0 ... 255).
    bool SetColorCurves(const uint8_t curves[256][3]);

    // Deletes the shader and the process-wide program and forgets the
    // locations.
    void Release();

    // The process-wide program object (0 when none).
    static uint32_t ProgramHandle();
    const char* InfoLog() const { return m_infoLog; }

private:
    int Location(const char* name);

    uint32_t m_shader = 0;
    char m_infoLog[512] = {};
    std::map<std::string, int32_t> m_locations;
};
