#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "channel/CubicSpline.h"
#include "channel/OutputChannel.h"

namespace {
const float kAbscissae[9] = {0, 31, 63, 95, 127, 159, 191, 223, 255};

void SetCurve(OutputChannel& ch, int colour, const float v[9]) {
    for (int i = 0; i < 9; ++i) ch.m_curve[colour][1 + i] = v[i];
}
}  // namespace

TEST(ColorCurves, ResetGivesIdentityBlocksAndLookup) {
    OutputChannel ch;
    const float want[9] = {0.0f, 0.12156863f, 0.24705882f, 0.37254903f, 0.49803922f,
                           0.62352943f, 0.7490196f, 0.8745098f, 1.0f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(ch.m_curve[k][0], 1.0f);
        for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(ch.m_curve[k][1 + i], want[i]);
        for (int i = 10; i < 16; ++i) EXPECT_EQ(ch.m_curve[k][i], 0.0f);
    }
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_LE(std::abs(int(ch.m_lookup[i][k]) - i), 1) << i;
    EXPECT_EQ(ch.m_lookup[0][0], 0);
    EXPECT_EQ(ch.m_lookup[255][2], 255);
}

TEST(ColorCurves, ConstantHalfGives127Everywhere) {
    OutputChannel ch;
    const float half[9] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    for (int k = 0; k < 3; ++k) SetCurve(ch, k, half);
    ch.BuildColorCurves();
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) ASSERT_EQ(ch.m_lookup[i][k], 127) << i;
}

TEST(ColorCurves, OvershootNearWhiteStaysWhite) {
    // A steep climb that levels off: the natural spline overshoots 1.0
    // between the flat nodes.
    const float v[9] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    float raw[256] = {};
    OutputChannel::SampleCurve(v, raw);
    int over = -1;
    for (int i = 0; i < 256; ++i)
        if (raw[i] * 255.0f >= 256.0f) over = i;
    ASSERT_GE(over, 0) << "case must overshoot past 256";

    OutputChannel ch;
    SetCurve(ch, 0, v);
    ch.BuildColorCurves();
    EXPECT_EQ(ch.m_lookup[over][0], 255);
    for (int i = 127; i < 256; ++i) EXPECT_GE(ch.m_lookup[i][0], 250) << i;
}

TEST(ColorCurves, LookupByteRule) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        int out;
    } cases[] = {{0.0, 0},   {127.9, 127}, {254.99, 254}, {255.0, 255}, {256.7, 255},
                 {1e12, 255}, {-1.5, 0},   {-0.5, 0},     {inf, 255},   {-inf, 0},
                 {std::nan(""), 0}};
    for (const auto& c : cases) EXPECT_EQ(OutputChannel::LookupByte(c.in), c.out) << c.in;
}

TEST(ColorCurves, EdgeBlendReset) {
    OutputChannel ch;
    ch.m_edgeTable[4][9] = 7.0f;
    ch.m_edgeTable[4][19] = 8.0f;
    ch.m_edgeTable[4][3] = 9.0f;
    ch.m_edgeTableFlag = 1;
    ch.ResetEdgeBlend();
    const float want[16] = {1.2f, 1.2f, 1.2f, 0.5f, 0.5f, 0.5f, 1.2f, 1.2f, 1.2f, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ch.m_edgeParam[i], want[i]);
    EXPECT_EQ(ch.m_edgeTable[4][3], 1.2f);
    EXPECT_EQ(ch.m_edgeTable[4][10], 0.5f);
    EXPECT_EQ(ch.m_edgeTable[4][9], 7.0f);
    EXPECT_EQ(ch.m_edgeTable[4][19], 8.0f);
    EXPECT_EQ(ch.m_edgeTableFlag, 0);
}

TEST(CubicSpline, TooFewOrBadNodesAreInvalid) {
    const float x2[2] = {0, 255}, y2[2] = {0, 1};
    CCubicSplineInterpolation two(x2, y2, 2);
    float sx[256], sy[256];
    EXPECT_FALSE(two.IsValid());
    EXPECT_FALSE(two.GetInterpolation(sx, sy, 255));

    CCubicSplineInterpolation null(nullptr, y2, 3);
    EXPECT_FALSE(null.IsValid());

    const float y3[3] = {0, 0.5f, 1};
    const float repeated[3] = {0, 100, 100}, falling[3] = {0, 200, 100};
    const float nanx[3] = {0, std::nanf(""), 255};
    const float infy[3] = {0, std::numeric_limits<float>::infinity(), 1};
    const float okx[3] = {0, 100, 255};
    for (const float* x : {repeated, falling, nanx}) {
        CCubicSplineInterpolation s(x, y3, 3);
        EXPECT_FALSE(s.IsValid());
        EXPECT_FALSE(s.GetInterpolation(sx, sy, 255));
    }
    CCubicSplineInterpolation s(okx, infy, 3);
    EXPECT_FALSE(s.IsValid());
    CCubicSplineInterpolation ok(okx, y3, 3);
    EXPECT_TRUE(ok.IsValid());
    EXPECT_FALSE(ok.GetInterpolation(sx, sy, 0));
}

TEST(CubicSpline, SamplesAndReproducesNodes) {
    const float y[9] = {0.0f, 0.1f, 0.3f, 0.2f, 0.6f, 0.5f, 0.9f, 0.8f, 1.0f};
    CCubicSplineInterpolation s(kAbscissae, y, 9);
    ASSERT_TRUE(s.IsValid());
    float sx[256], sy[256];
    ASSERT_TRUE(s.GetInterpolation(sx, sy, 255));
    for (int i = 0; i <= 255; ++i) EXPECT_FLOAT_EQ(sx[i], static_cast<float>(i));
    for (int n = 0; n < 9; ++n) EXPECT_NEAR(sy[static_cast<int>(kAbscissae[n])], y[n], 1e-5) << n;

    // A straight line is reproduced exactly enough, including the slope ends.
    const float x3[4] = {0, 10, 30, 60};
    const float y3[4] = {1, 3, 7, 13};
    CCubicSplineInterpolation line(x3, y3, 4);
    float v = 0;
    ASSERT_TRUE(line.Evaluate(45.0f, v));
    EXPECT_NEAR(v, 10.0f, 1e-4);
    ASSERT_TRUE(line.Evaluate(-10.0f, v));  // extrapolates on the first interval
    EXPECT_NEAR(v, -1.0f, 1e-4);
}

TEST(CubicSpline, NaturalSplineHandValue) {
    // Three nodes (0,0) (1,1) (2,0): slopes 1.5, 0, -1.5; S(0.5) = 11/16.
    const float x[3] = {0, 1, 2}, y[3] = {0, 1, 0};
    CCubicSplineInterpolation s(x, y, 3);
    float v = 0;
    ASSERT_TRUE(s.Evaluate(0.5f, v));
    EXPECT_NEAR(v, 0.6875f, 1e-6);
}
