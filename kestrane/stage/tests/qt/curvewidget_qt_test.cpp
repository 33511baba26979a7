#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>

#include "kestrane/curvewidget.h"
#include "support/QtWidgetTestApp.h"

namespace {

TEST(CurveWidgetQt, TheRampRunsFromTheBottomLeftToTheTopRight) {
    const QVector<QPoint> linear = CurveWidget::curvePoints(1.0);
    ASSERT_EQ(linear.size(), 208);
    EXPECT_EQ(linear.first(), QPoint(32, 180));
    EXPECT_EQ(linear.at(1), QPoint(32, 180));             // t = 0
    EXPECT_EQ(linear.last().x(), 32 + 206);
    EXPECT_LE(linear.last().y(), 37);                     // nearly full at the end
    EXPECT_EQ(linear.at(1 + 103).y(), static_cast<int>(36 + 144 * (1 - (1 - 0.5 * std::pow(2 * (1 - 103 / 207.0), 1.2)))));
    for (int i = 1; i < linear.size(); ++i)
        EXPECT_LE(linear.at(i).y(), linear.at(i - 1).y()) << i;
    // A larger exponent lowers the ramp's middle.
    EXPECT_GT(CurveWidget::curvePoints(2.2).at(104).y(), linear.at(104).y());
}

TEST(CurveWidgetQt, EqualExponentsAddUpToNearWhite) {
    testApp();
    CurveWidget w;
    w.resize(260, 200);
    w.exponents = {1.0f, 1.0f, 1.0f};
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());  // no window background
    const QPoint p = CurveWidget::curvePoints(1.0).at(100);
    int best = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        const QRgb c = image.pixel(p.x(), p.y() + dy);
        best = std::max(best, std::min({qRed(c), qGreen(c), qBlue(c)}));
    }
    EXPECT_GT(best, 200);
}

TEST(CurveWidgetQt, DifferentExponentsSeparateTheColours) {
    testApp();
    CurveWidget w;
    w.resize(260, 200);
    w.exponents = {1.0f, 3.0f, 3.0f};
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());  // no window background
    const QPoint red = CurveWidget::curvePoints(1.0).at(104);
    const QRgb c = image.pixel(red.x(), red.y());
    EXPECT_GT(qRed(c), 150);
    EXPECT_LT(qGreen(c), 100);
}

TEST(CurveWidgetQt, AShortExponentListPaintsWithoutFault) {
    testApp();
    CurveWidget w;
    w.resize(260, 200);
    w.exponents = {2.0f};
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());  // no window background
    SUCCEED();
}

}  // namespace
