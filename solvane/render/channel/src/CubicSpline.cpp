#include "channel/CubicSpline.h"

#include <cmath>

CCubicSplineInterpolation::CCubicSplineInterpolation(const float* x, const float* y, int n) {
    if (!x || !y || n < 3) return;
    // A repeated or falling abscissa would divide by a zero or negative
    // interval width; such a curve has no spline.
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) return;
        if (i > 0 && !(x[i] > x[i - 1])) return;
    }
    m_x = new float[n];
    m_y = new float[n];
    m_h = new float[n];
    m_a = new float[n];
    m_b = new float[n];
    m_lambda = new float[n];
    m_d = new float[n];
    for (int i = 0; i < n; ++i) {
        m_x[i] = x[i];
        m_y[i] = y[i];
        m_h[i] = m_a[i] = m_b[i] = m_lambda[i] = m_d[i] = 0.0f;
    }
    m_last = n - 1;
    Solve();
    m_valid = true;
    for (int i = 0; i <= m_last; ++i) {
        if (!std::isfinite(m_d[i])) m_valid = false;
    }
}

CCubicSplineInterpolation::~CCubicSplineInterpolation() {
    delete[] m_x;
    delete[] m_y;
    delete[] m_h;
    delete[] m_a;
    delete[] m_b;
    delete[] m_lambda;
    delete[] m_d;
}

void CCubicSplineInterpolation::Solve() {
    const int m = m_last;
    float* h = m_h;
    float* lambda = m_lambda;
    float* d = m_d;
    float* a = m_a;
    float* b = m_b;
    const float* x = m_x;
    const float* y = m_y;
    for (int i = 0; i < m; ++i) h[i] = x[i + 1] - x[i];
    for (int i = 1; i < m; ++i) {
        lambda[i] = h[i - 1] / (h[i - 1] + h[i]);
        d[i] = 3.0f * ((1.0f - lambda[i]) * (y[i] - y[i - 1]) / h[i - 1] +
                       lambda[i] * (y[i + 1] - y[i]) / h[i]);
    }
    // Natural ends: second derivative zero.
    lambda[0] = 1.0f;
    d[0] = 3.0f * (y[1] - y[0]) / h[0];
    lambda[m] = 0.0f;
    d[m] = 3.0f * (y[m] - y[m - 1]) / h[m - 1];
    for (int i = 0; i <= m; ++i) {
        b[i] = 2.0f;
        a[i] = 1.0f - lambda[i];
    }
    // Tridiagonal solve: forward elimination, back substitution.
    for (int i = 1; i <= m; ++i) {
        lambda[i - 1] /= b[i - 1];
        d[i - 1] /= b[i - 1];
        b[i] -= a[i] * lambda[i - 1];
        d[i] -= a[i] * d[i - 1];
    }
    d[m] /= b[m];
    for (int i = m - 1; i >= 0; --i) d[i] -= lambda[i] * d[i + 1];
}

bool CCubicSplineInterpolation::Evaluate(float xv, float& out) const {
    if (!m_valid || !std::isfinite(xv)) return false;
    const int m = m_last;
    int k;
    if (xv <= m_x[0]) {
        k = 0;
    } else if (xv > m_x[m]) {
        k = m - 1;
    } else {
        int j = 1;
        while (j < m && m_x[j] < xv) ++j;
        k = j - 1;
    }
    const float H = m_h[k];
    const float A = xv - m_x[k];
    const float B = m_x[k + 1] - xv;
    const float* s = m_d;
    const float S = (m_y[k] * (3.0f * B * B - 2.0f * B * B * B / H) +
                     m_y[k + 1] * (3.0f * A * A - 2.0f * A * A * A / H) +
                     s[k] * (H * B * B - B * B * B) - s[k + 1] * (H * A * A - A * A * A)) /
                    (H * H);
    if (!std::isfinite(S)) return false;
    out = S;
    return true;
}

bool CCubicSplineInterpolation::GetInterpolation(float* sampleX, float* sampleY, int count) {
    if (!m_valid || !sampleX || !sampleY || count < 1) return false;
    m_sampleX = sampleX;
    m_sampleY = sampleY;
    m_sampleCount = count;
    const float x0 = m_x[0];
    const float span = m_x[m_last] - m_x[0];
    for (int i = 0; i <= count; ++i) sampleX[i] = x0 + static_cast<float>(i) * span / static_cast<float>(count);
    for (int i = 1; i <= count; ++i) {
        if (!Evaluate(sampleX[i], sampleY[i])) return false;
    }
    sampleY[0] = m_y[0];
    return true;
}
