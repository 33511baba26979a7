#include <cmath>
#include <cstring>

#include "channel/CubicSpline.h"
#include "channel/OutputChannel.h"

void OutputChannel::SampleCurve(const float values[9], float out[256]) {
    static constexpr float kAbscissae[9] = {0.0f, 31.0f, 63.0f, 95.0f, 127.0f, 159.0f, 191.0f, 223.0f, 255.0f};
    CCubicSplineInterpolation spline(kAbscissae, values, 9);
    float work[256];
    std::memset(work, 0, sizeof work);
    if (spline.IsValid()) spline.GetInterpolation(work, out, 255);
}

uint8_t OutputChannel::LookupByte(double value) {
    // A spline overshoot past 255 must stay peak white, not wrap to black.
    if (std::isnan(value) || value <= 0.0) return 0;
    if (value >= 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int32_t>(value));
}

void OutputChannel::BuildColorCurves() {
    float curves[3][256];
    std::memset(curves, 0, sizeof curves);
    for (int k = 0; k < 3; ++k) SampleCurve(&m_curve[k][1], curves[k]);
    for (int i = 0; i < 256; ++i) {
        for (int k = 0; k < 3; ++k) m_lookup[i][k] = LookupByte(curves[k][i] * 255.0f);
    }
}

void OutputChannel::ResetEdgeBlend() {
    // Per colour: shape exponent, midpoint, gamma. The gamma slots start
    // at the ramp the wall has always shown until a console sends its own.
    for (int i = 0; i < 16; ++i) m_edgeParam[i] = i < 3 ? 1.2f : (i < 6 ? 0.5f : (i < 9 ? 1.2f : 0.0f));
    for (auto& row : m_edgeTable) {
        for (int i = 0; i <= 8; ++i) row[i] = 1.2f;
        for (int i = 10; i <= 18; ++i) row[i] = 0.5f;
    }
    m_edgeTableFlag = 0;
}
