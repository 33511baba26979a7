// Shows the three edge-blend ramps of the colour-correction editor, one per
// colour channel, each raised to its channel's exponent.
#pragma once

#include <QList>
#include <QPoint>
#include <QVector>
#include <QWidget>

class CurveWidget : public QWidget {
    Q_OBJECT
public:
    explicit CurveWidget(QWidget* parent = nullptr);

    // Red, green and blue exponents; missing ones count as 1.
    QList<float> exponents{1.0f, 1.0f, 1.0f};
    // Takes new exponents and repaints.
    void setValues(const QList<float>& values);

    // The 208 points of one ramp drawn with exponent `g`.
    static QVector<QPoint> curvePoints(double g);

protected:
    void paintEvent(QPaintEvent* event) override;
};
