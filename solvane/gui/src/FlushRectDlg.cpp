#include "gui/FlushRectDlg.h"

#include <QPainter>
#include <QTimer>

namespace {

// Goes on from one flasher to the next: green first after start-up.
bool g_nextIsRed = false;

}  // namespace

CFlushRectDlg::CFlushRectDlg(const RECT& rect, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint) {
    // Above a topmost output, without taking the keyboard from it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    m_flashTimer = new QTimer(this);
    m_flashTimer->setInterval(400);
    connect(m_flashTimer, &QTimer::timeout, this, &CFlushRectDlg::Flash);
    m_endTimer = new QTimer(this);
    m_endTimer->setSingleShot(true);
    m_endTimer->setInterval(2000);
    connect(m_endTimer, &QTimer::timeout, this, &CFlushRectDlg::Finish);
}

void CFlushRectDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        m_flashTimer->start();
        m_endTimer->start();
    }
}

void CFlushRectDlg::Flash() {
    m_colour = g_nextIsRed ? QColor(255, 0, 0) : QColor(0, 255, 0);
    g_nextIsRed = !g_nextIsRed;
    update();
}

void CFlushRectDlg::Finish() {
    m_flashTimer->stop();
    m_endTimer->stop();
    close();
}

void CFlushRectDlg::paintEvent(QPaintEvent* event) {
    if (!m_colour.isValid()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), m_colour);
}
