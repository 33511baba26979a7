// Natural cubic spline through n nodes (n >= 3), solved for its node slopes
// in single precision and evaluated in Hermite form. The colour curves and
// the colour commands sample it.
#pragma once

#include <cstdint>

class CCubicSplineInterpolation {
public:
    // Copies the nodes and solves the slopes. With fewer than three nodes, a
    // null array, abscissae that do not strictly increase or a value that is
    // not finite the object stays invalid.
    CCubicSplineInterpolation(const float* x, const float* y, int n);
    virtual ~CCubicSplineInterpolation();
    CCubicSplineInterpolation(const CCubicSplineInterpolation&) = delete;
    CCubicSplineInterpolation& operator=(const CCubicSplineInterpolation&) = delete;

    bool IsValid() const { return m_valid; }
    // Samples count + 1 evenly spaced abscissae from the first node to the
    // last into sampleX and the curve values into sampleY (both caller-owned,
    // count + 1 entries). False when invalid or count < 1.
    bool GetInterpolation(float* sampleX, float* sampleY, int count);
    // The curve at x; false when invalid.
    bool Evaluate(float x, float& out) const;

private:
    void Solve();

    bool m_valid = false;
    int32_t m_last = 0;
    int32_t m_sampleCount = 0;
    float* m_x = nullptr;
    float* m_y = nullptr;
    float* m_sampleX = nullptr;  // borrowed
    float* m_sampleY = nullptr;  // borrowed
    float* m_h = nullptr;
    float* m_a = nullptr;
    float* m_b = nullptr;
    float* m_lambda = nullptr;
    float* m_d = nullptr;
};
