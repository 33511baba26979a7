#include "kestrane/clicklabel.h"

#include <QMouseEvent>
#include <QPainter>

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent), m_markRect(QPoint(0, 0), QPoint(-1, -1)) {}

void ClickLabel::setMarkRect(const QRect& rect) {
    m_markRect = rect;
    update();
}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    emit posClicked(event->pos());
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
        emit doubleClickedForPos(event->pos());
    }
    QLabel::mouseDoubleClickEvent(event);
}

void ClickLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (m_markRect.left() <= m_markRect.right() && m_markRect.top() <= m_markRect.bottom()) {
        QPainter painter(this);
        painter.setPen(QColor(QStringLiteral("#ee0000")));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(m_markRect);
    }
}
