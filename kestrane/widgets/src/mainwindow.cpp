#include "kestrane/mainwindow.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

#include <cmath>
#include <cstdlib>

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
}

int MainWindow::resizeModeAt(const QPoint& pos, const QSize& size) {
    const int b = kBorderWidth;
    const int x = pos.x(), y = pos.y(), w = size.width(), h = size.height();
    const bool nearLeft = x < b;
    const bool nearTop = y < b;
    const bool nearRight = std::abs(x - w) < b;
    const bool nearBottom = std::abs(y - h) < b;
    if (nearLeft && nearTop) return TopLeftCorner;
    if (nearRight && nearBottom) return BottomRightCorner;
    if (nearRight && nearTop) return TopRightCorner;
    if (nearBottom && nearLeft) return BottomLeftCorner;
    if (nearRight) return RightEdge;
    if (nearLeft) return LeftEdge;
    if (nearBottom) return BottomEdge;
    if (nearTop) return TopEdge;
    return NoResize;
}

Qt::CursorShape MainWindow::cursorShapeAt(const QPoint& pos, const QSize& size) {
    const int b = kBorderWidth;
    const int x = pos.x(), y = pos.y(), w = size.width(), h = size.height();
    const bool nearLeft = x < b;
    const bool nearTop = y < b;
    const bool nearRight = std::abs(x - w) < b;
    const bool nearBottom = std::abs(y - h) < b;
    if ((nearLeft && nearTop) || (nearRight && nearBottom)) return Qt::SizeFDiagCursor;
    if ((nearRight && nearTop) || (nearLeft && nearBottom)) return Qt::SizeBDiagCursor;
    if (nearLeft || nearRight) return Qt::SizeHorCursor;
    if (nearTop || nearBottom) return Qt::SizeVerCursor;
    return Qt::ArrowCursor;
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    m_pressGlobalPos = event->globalPos();
    m_pressWidth = width();
    m_pressHeight = height();
    m_pressPos = event->pos();
    m_resizeMode = resizeModeAt(m_pressPos, size());
    QWidget::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (isMaximized()) {
        m_resizeMode = NoResize;
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint global = event->globalPos();
    if (m_resizeMode == NoResize) {
        m_lastGlobalPos = global;
        setCursor(cursorShapeAt(event->pos(), size()));
        QWidget::mouseMoveEvent(event);
        return;
    }

    // Where the window stood at the press; the edges the mode does not name
    // stay there.
    const int pressLeft = m_pressGlobalPos.x() - m_pressPos.x();
    const int pressTop = m_pressGlobalPos.y() - m_pressPos.y();
    const int pressRight = pressLeft + m_pressWidth;
    const int pressBottom = pressTop + m_pressHeight;
    const int dx = global.x() - m_pressGlobalPos.x();
    const int dy = global.y() - m_pressGlobalPos.y();

    int left = pressLeft, top = pressTop, w = m_pressWidth, h = m_pressHeight;
    bool changesWidth = true;
    switch (m_resizeMode) {
    case LeftEdge: left = global.x(); w = pressRight - left; break;
    case RightEdge: w = m_pressWidth + dx; break;
    case TopEdge: top = global.y(); h = pressBottom - top; changesWidth = false; break;
    case BottomEdge: h = m_pressHeight + dy; changesWidth = false; break;
    case TopLeftCorner:
        left = global.x(); w = pressRight - left;
        top = global.y(); h = pressBottom - top;
        break;
    case TopRightCorner:
        w = m_pressWidth + dx;
        top = global.y(); h = pressBottom - top;
        break;
    case BottomLeftCorner:
        left = global.x(); w = pressRight - left;
        h = m_pressHeight + dy;
        break;
    case BottomRightCorner:
        w = m_pressWidth + dx;
        h = m_pressHeight + dy;
        break;
    default: return;
    }
    if (changesWidth) {
        const int current = width();
        if ((w > current && current >= kMaximumWidth) || (w < current && current <= kMinimumWidth)) {
            QWidget::mouseMoveEvent(event);
            return;
        }
    }
    setGeometry(left, top, w, h);
    QWidget::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    m_resizeMode = NoResize;
    QWidget::mouseReleaseEvent(event);
}

void MainWindow::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor fill(QStringLiteral("#343434"));
    if (isMaximized()) {
        QRect area = rect();
        if (QScreen* screen = windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen())
            area = QRect(QPoint(0, 0), screen->availableGeometry().size());
        painter.fillRect(area, fill);
        return;
    }
    const int b = kBorderWidth;
    QPainterPath body;
    body.addRoundedRect(QRectF(rect().adjusted(b, b, -b, -b)), 2, 2);
    painter.fillPath(body, fill);
    // A soft shadow: each ring one pixel further out and fainter.
    for (int i = 0; i < b; ++i) {
        const int inset = b - i;
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect().adjusted(inset, inset, -inset, -inset)), 4, 4);
        painter.setPen(QColor(0, 0, 0, static_cast<int>(45 - 20 * std::sqrt(double(i)))));
        painter.drawPath(ring);
    }
}
