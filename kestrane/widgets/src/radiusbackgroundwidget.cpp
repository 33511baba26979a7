#include "kestrane/radiusbackgroundwidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

RadiusBackgroundWidget::RadiusBackgroundWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(false);
}

void RadiusBackgroundWidget::mousePressEvent(QMouseEvent* event) {
    emit clicked();
    if (dragWindow)
        pressPoint = event->pos() + QPoint(dragOffsetX, dragOffsetY);
    QWidget::mousePressEvent(event);
}

void RadiusBackgroundWidget::mouseMoveEvent(QMouseEvent* event) {
    if (dragWindow && !dragWindow->isMaximized())
        dragWindow->move(event->globalPos() - pressPoint);
    QWidget::mouseMoveEvent(event);
}

void RadiusBackgroundWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleCliked();
    QWidget::mouseDoubleClickEvent(event);
}

void RadiusBackgroundWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const qreal w = width(), h = height(), r = radius, d = 2.0 * radius;
    QPainterPath path;
    path.moveTo(topLeftRound ? QPointF(r, 0) : QPointF(0, 0));
    if (topLeftRound) path.arcTo(QRectF(0, 0, d, d), 90, 90);
    else path.lineTo(0, 0);
    if (bottomLeftRound) path.arcTo(QRectF(0, h - d, d, d), 180, 90);
    else path.lineTo(0, h);
    if (bottomRightRound) path.arcTo(QRectF(w - d, h - d, d, d), 270, 90);
    else path.lineTo(w, h);
    if (topRightRound) path.arcTo(QRectF(w - d, 0, d, d), 0, 90);
    else path.lineTo(w, 0);
    path.closeSubpath();
    painter.fillPath(path, brush);

    painter.setPen(borderColor);
    if (topBorder) painter.drawLine(QPointF(0, 0), QPointF(w, 0));
    if (bottomBorder) painter.drawLine(QPointF(0, h), QPointF(w, h));
    if (leftBorder) painter.drawLine(QPointF(0, 0), QPointF(0, h));
    if (rightBorder) painter.drawLine(QPointF(w, 0), QPointF(w, h));
    painter.end();
    QWidget::paintEvent(event);
}
