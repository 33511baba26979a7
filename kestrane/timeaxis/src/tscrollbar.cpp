#include "kestrane/tscrollbar.h"

#include <QTimer>

#include <chrono>

#include "kestrane/gconfig.h"

namespace {

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TScrollBar::TScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent), m_clock(monotonicMs) {
    // Every action of the user (arrows, page clicks, keys, wheel) counts
    // as moving it; the position already holds the new value then.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
        touch();
        emit valueChangedByMouse(sliderPosition());
    });
    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &TScrollBar::moveTimeLine);
    m_timer->start();
}

void TScrollBar::setClock(Clock clock) { m_clock = clock ? std::move(clock) : Clock(monotonicMs); }

bool TScrollBar::isHeldOff() const {
    return m_pressed != 0 || (m_moved && m_clock() - m_lastMouseTime <= kHoldOffMs);
}

void TScrollBar::touch() {
    m_lastMouseTime = m_clock();
    m_moved = true;
}

void TScrollBar::mousePressEvent(QMouseEvent* event) {
    touch();
    m_pressed = 1;
    QScrollBar::mousePressEvent(event);
}

void TScrollBar::mouseReleaseEvent(QMouseEvent* event) {
    touch();
    m_pressed = 0;
    QScrollBar::mouseReleaseEvent(event);
}

void TScrollBar::mouseMoveEvent(QMouseEvent* event) {
    QScrollBar::mouseMoveEvent(event);
    touch();
    emit valueChangedByMouse(value());
}

void TScrollBar::moveTimeLine() {
    if (m_pressed) {
        m_lastMouseTime = m_clock();
        return;
    }
    if (m_moved && m_clock() - m_lastMouseTime > kHoldOffMs) {
        m_moved = false;
        if (GConfig::instance().previewPlaying())
            GConfig::instance().timeLineX();
    }
}
