#include "kestrane/curvewidget.h"

#include <QPainter>
#include <QStyleOption>

#include <cmath>

CurveWidget::CurveWidget(QWidget* parent) : QWidget(parent) {}

void CurveWidget::setValues(const QList<float>& values) {
    exponents = values;
    update();
}

QVector<QPoint> CurveWidget::curvePoints(double g) {
    // The display server's edge-blend ramp (exponent 1.2, midpoint 0.5),
    // raised to the channel's exponent.
    QVector<QPoint> points;
    points.reserve(208);
    points.append(QPoint(32, 180));
    for (int i = 0; i < 207; ++i) {
        const double t = i / 207.0;
        const double f = t < 0.5 ? 0.5 * std::pow(2.0 * t, 1.2) : 1.0 - 0.5 * std::pow(2.0 * (1.0 - t), 1.2);
        points.append(QPoint(32 + i, static_cast<int>(36 + 144 * (1.0 - std::pow(f, g)))));
    }
    return points;
}

void CurveWidget::paintEvent(QPaintEvent* event) {
    {
        QStyleOption option;
        option.initFrom(this);
        QPainter background(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &background, this);
    }
    QWidget::paintEvent(event);

    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    const QColor colors[3] = {QColor(255, 10, 10, 255), QColor(10, 255, 10, 255), QColor(QStringLiteral("#1111dd"))};
    for (int pass = 0; pass < 3; ++pass) {
        painter.setPen(QPen(colors[pass], 1));
        const double g = pass < exponents.size() ? exponents[pass] : 1.0;
        painter.drawPolyline(curvePoints(g));
    }
}
