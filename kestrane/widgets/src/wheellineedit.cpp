#include "kestrane/wheellineedit.h"

#include <QKeyEvent>
#include <QWheelEvent>

WheelLineEdit::WheelLineEdit(QWidget* parent) : QLineEdit(parent) {}

void WheelLineEdit::wheelEvent(QWheelEvent* event) {
    // The rotation along the wheel's orientation: the larger component.
    const QPoint angle = event->angleDelta();
    const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
    emit wheelRolled(delta > 0);
    // QWidget ignores it, so an enclosing scroll area still scrolls.
    QWidget::wheelEvent(event);
}

void WheelLineEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
