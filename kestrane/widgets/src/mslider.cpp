#include "kestrane/mslider.h"

#include <QMouseEvent>

MSlider::MSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {}

void MSlider::mousePressEvent(QMouseEvent* event) {
    QSlider::mousePressEvent(event);
    emit posClicked(event->pos().x());
}
