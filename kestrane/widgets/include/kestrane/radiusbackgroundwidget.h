// A panel with optionally rounded corners and single borders that drags the
// window it belongs to. Its owner sets the members directly.
#pragma once

#include <QBrush>
#include <QColor>
#include <QPoint>
#include <QWidget>

class RadiusBackgroundWidget : public QWidget {
    Q_OBJECT
public:
    explicit RadiusBackgroundWidget(QWidget* parent = nullptr);

    int radius = 0;
    bool topLeftRound = false;
    bool topRightRound = false;
    bool bottomRightRound = false;
    bool bottomLeftRound = false;
    QBrush brush;  // none
    QWidget* dragWindow = nullptr;
    int dragOffsetX = 0;
    int dragOffsetY = 0;
    QPoint pressPoint;
    bool topBorder = false;
    bool bottomBorder = false;
    bool leftBorder = false;
    bool rightBorder = false;
    QColor borderColor;  // invalid

signals:
    void clicked();
    // Emitted and connected by the widget's users only.
    void topHide(bool);
    void rightHide(bool);
    void leftHide(bool);
    void doubleCliked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
