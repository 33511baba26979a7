#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>

#include "kestrane/clicklabel.h"
#include "kestrane/colorwidget.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "kestrane/scrollbar.h"
#include "support/QtWidgetTestApp.h"

namespace {

constexpr auto Press = QEvent::MouseButtonPress;
constexpr auto Move = QEvent::MouseMove;
constexpr auto Release = QEvent::MouseButtonRelease;
constexpr auto DoubleClick = QEvent::MouseButtonDblClick;

QImage renderOf(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    w.render(&image);
    return image;
}

TEST(RadiusBackgroundWidgetQt, PressReportsAndDragsTheWindowByTheOffsetPoint) {
    testApp();
    QWidget window;
    window.setGeometry(300, 200, 400, 300);
    window.show();
    RadiusBackgroundWidget bar(&window);
    bar.setGeometry(0, 0, 400, 30);
    bar.dragWindow = &window;
    bar.dragOffsetX = 7;
    bar.dragOffsetY = 3;
    EXPECT_TRUE(bar.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_FALSE(bar.hasMouseTracking());

    QSignalSpy clicked(&bar, &RadiusBackgroundWidget::clicked);
    QSignalSpy doubled(&bar, &RadiusBackgroundWidget::doubleCliked);
    sendMouseAt(&bar, Press, {50, 10}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(bar.pressPoint, QPoint(57, 13));

    sendMouse(&bar, Move, QPoint(500, 600), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(window.pos(), QPoint(500 - 57, 600 - 13));

    sendMouseAt(&bar, DoubleClick, {5, 5}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(doubled.count(), 0);
    sendMouseAt(&bar, DoubleClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(doubled.count(), 1);
}

TEST(RadiusBackgroundWidgetQt, WithoutAWindowToDragNothingMoves) {
    testApp();
    RadiusBackgroundWidget bar;
    bar.setGeometry(100, 100, 50, 20);
    bar.show();
    const QPoint before = bar.pos();
    sendMouseAt(&bar, Press, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&bar, Move, QPoint(700, 700), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(bar.pos(), before);
    EXPECT_EQ(bar.pressPoint, QPoint());
}

TEST(RadiusBackgroundWidgetQt, RoundsOnlyTheChosenCornersAndDrawsTheChosenBorders) {
    testApp();
    RadiusBackgroundWidget w;
    w.resize(100, 60);
    w.radius = 10;
    w.topLeftRound = true;
    w.bottomRightRound = true;
    w.brush = QBrush(QColor(0, 0, 255));
    w.leftBorder = true;
    w.borderColor = QColor(255, 0, 0);
    const QImage image = renderOf(w);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);            // rounded away
    EXPECT_EQ(qAlpha(image.pixel(98, 58)), 0);
    EXPECT_EQ(image.pixel(98, 1), qRgb(0, 0, 255));     // square corner
    EXPECT_EQ(image.pixel(50, 30), qRgb(0, 0, 255));
    EXPECT_GT(qRed(image.pixel(0, 30)), 100);           // the left border
    EXPECT_EQ(qRed(image.pixel(50, 0)), 0);             // no top border
}

TEST(ClickLabelQt, ReportsPressPositionLeftClicksAndDoubleClicksInOrder) {
    testApp();
    ClickLabel label;
    label.resize(80, 20);
    QList<QString> order;
    QObject::connect(&label, &ClickLabel::posClicked, [&](QPoint p) {
        order << QStringLiteral("pos %1,%2").arg(p.x()).arg(p.y());
    });
    QObject::connect(&label, &ClickLabel::clicked, [&] { order << QStringLiteral("clicked"); });
    QObject::connect(&label, &ClickLabel::doubleClicked, [&] { order << QStringLiteral("double"); });
    QObject::connect(&label, &ClickLabel::doubleClickedForPos, [&](QPoint p) {
        order << QStringLiteral("doublePos %1,%2").arg(p.x()).arg(p.y());
    });

    sendMouseAt(&label, Press, {3, 4}, Qt::RightButton, Qt::RightButton);
    sendMouseAt(&label, Release, {3, 4}, Qt::RightButton, Qt::NoButton);
    sendMouseAt(&label, Press, {5, 6}, Qt::LeftButton, Qt::LeftButton);
    sendMouseAt(&label, Release, {5, 6}, Qt::LeftButton, Qt::NoButton);
    sendMouseAt(&label, DoubleClick, {7, 8}, Qt::RightButton, Qt::RightButton);
    sendMouseAt(&label, DoubleClick, {9, 10}, Qt::LeftButton, Qt::LeftButton);
    // The base double-click handling is a press, so it reports its position too.
    EXPECT_EQ(order, (QList<QString>{"pos 3,4", "pos 5,6", "clicked", "pos 7,8", "double", "doublePos 9,10",
                                     "pos 9,10"}));
}

TEST(ClickLabelQt, OutlinesOnlyAValidMarkRectangle) {
    testApp();
    ClickLabel label;
    label.resize(40, 40);
    EXPECT_FALSE(label.markRect().isValid());
    const QRgb red = qRgb(0xee, 0, 0);
    auto redCount = [&] {
        const QImage image = renderOf(label);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == red;
        return n;
    };
    EXPECT_EQ(redCount(), 0);
    label.setMarkRect(QRect(10, 10, 11, 11));
    EXPECT_GT(redCount(), 30);
    EXPECT_EQ(renderOf(label).pixel(10, 10), red);
    EXPECT_NE(renderOf(label).pixel(15, 15), red);  // outline only
}

TEST(ColorWidgetQt, NamesGiveTheirTableColoursAndBackgrounds) {
    testApp();
    ColorWidget w;
    EXPECT_EQ(w.colorName(), QStringLiteral("无颜色"));
    EXPECT_EQ(w.color(), QColor(16, 16, 16, 75));
    EXPECT_TRUE(w.styleSheet().contains(QStringLiteral("border-bottom:1px solid #141414")));
    EXPECT_EQ(w.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(ColorWidget::colorTable().size(), 7);
    EXPECT_EQ(ColorWidget::colorTable().value(QStringLiteral("紫色")), QColor(125, 38, 205, 50));

    w.setColorName(QStringLiteral("黄色"));
    EXPECT_EQ(w.color(), QColor(255, 232, 28, 110));
    EXPECT_TRUE(w.styleSheet().contains(QStringLiteral("background-color:#755555")));
    w.setColorName(QStringLiteral("红色"));
    EXPECT_EQ(w.color(), QColor(255, 0, 0, 90));
    EXPECT_TRUE(w.styleSheet().contains(QStringLiteral("background-color:#424242")));

    w.setColorName(QStringLiteral("粉色"));
    EXPECT_FALSE(w.color().isValid());
    EXPECT_EQ(w.colorName(), QStringLiteral("粉色"));
}

TEST(ColorWidgetQt, TintsWithItsColourAndNotWithAnUnknownOne) {
    testApp();
    ColorWidget w;
    w.resize(30, 20);
    // Beside the eye picture, which sits in the middle.
    w.setColorName(QStringLiteral("红色"));
    const QRgb tinted = renderOf(w).pixel(2, 10);
    w.setColorName(QStringLiteral("粉色"));
    const QRgb plain = renderOf(w).pixel(2, 10);
    EXPECT_EQ(plain, qRgb(0x42, 0x42, 0x42));
    EXPECT_GT(qRed(tinted), qRed(plain));
    EXPECT_LT(qGreen(tinted), qGreen(plain));
}

TEST(ColorWidgetQt, RightPressAndLeftReleaseAreReported) {
    testApp();
    ColorWidget w;
    w.resize(30, 20);
    QSignalSpy clicked(&w, &ColorWidget::clicked);
    QSignalSpy right(&w, &ColorWidget::rightClicked);
    sendMouseAt(&w, Press, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(right.count(), 0);
    sendMouseAt(&w, Release, {5, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicked.count(), 1);
    sendMouseAt(&w, Press, {5, 5}, Qt::RightButton, Qt::RightButton);
    sendMouseAt(&w, Release, {5, 5}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(clicked.count(), 1);

    w.setEyeHidden(true);
    EXPECT_EQ(w.eyeHidden(), 1);
    w.setEyeHidden(false);
    EXPECT_EQ(w.eyeHidden(), 0);
}

TEST(ScrollBarQt, IsAPlainScrollBar) {
    testApp();
    ScrollBar bar(Qt::Vertical);
    EXPECT_EQ(bar.orientation(), Qt::Vertical);
    EXPECT_STREQ(bar.metaObject()->className(), "ScrollBar");
}

}  // namespace
