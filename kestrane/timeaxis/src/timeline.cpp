#include "kestrane/timeline.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "kestrane/gconfig.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/timeaxiswidget.h"
#include "stripshade.h"

// ---------------------------------------------------------------- TimeLine

TimeLine::TimeLine(int timeMs, int height, int scroll, TimeAxisWidget* timeAxis)
    : QWidget(timeAxis), m_time(timeMs), m_scroll(scroll), m_height(height), m_timeAxis(timeAxis) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_x = RulerWidget::toPixel(timeMs) + kMargin;
    // Registered before the grip exists: the grip reaches the line through it.
    GConfig::instance().timeLine = this;
    m_grip = new TimeLineSlider(this, timeAxis);
    updateUi();
}

TimeLine::~TimeLine() {
    if (GConfig::instance().timeLine == this)
        GConfig::instance().timeLine = nullptr;
}

void TimeLine::setTime(int ms) {
    m_time = ms;
    m_x = RulerWidget::toPixel(ms) + kMargin;
    updateUi();
}

void TimeLine::setScroll(int px) {
    m_scroll = px;
    updateUi();
}

void TimeLine::setScrollAndZoom(int px) {
    m_scroll = px;
    m_x = RulerWidget::toPixel(m_time) + kMargin;
    updateUi();
}

void TimeLine::setLineHeight(int px) {
    m_height = std::max(0, px);
    updateUi();
}

int TimeLine::timeAtX(int px) const { return RulerWidget::toMs(px + 3 + m_scroll - kColumnOffset - kMargin); }

int TimeLine::dragBy(int dx) {
    const int t = std::clamp(timeAtX(QWidget::x() + dx), 0, std::max(0, GConfig::instance().timeAxisLength()));
    setTime(t);
    return t;
}

void TimeLine::scrollIntoView() {
    const int X = m_x - 3 + kColumnOffset - m_scroll;
    const int w = m_timeAxis->width();
    if (X <= kColumnOffset)
        m_timeAxis->scrollMove(m_x - 8, true);
    else if (X > w)
        m_timeAxis->scrollMove(m_x - 3 + kColumnOffset + int(std::lround(-0.9 * w)), true);
}

void TimeLine::updateUi() {
    // Scrolling below comes back through setScroll; that inner call places
    // the line for the new offset, so this one only finishes.
    if (m_updating)
        return;
    m_updating = true;
    const int w = m_timeAxis->width();
    int X = m_x - 3 + kColumnOffset - m_scroll;
    if (X <= kColumnOffset || X > w) {
        hide();
        m_grip->hide();
        m_updating = false;
        return;
    }
    if ((w - X) * 10 < w && GConfig::instance().previewPlaying()) {
        // Paging along with the play head keeps it at 90 % of the width.
        // At the last offset there is nothing left to page to.
        const int target = int(std::lround(-0.9 * w)) + kColumnOffset - 3 + m_x;
        const int before = m_timeAxis->scrollOffset();
        if (target != before && m_timeAxis->scrollMove(target, false) && m_timeAxis->scrollOffset() != before)
            m_scroll = m_timeAxis->scrollOffset();
        X = m_x - 3 + kColumnOffset - m_scroll;
        if (X <= kColumnOffset || X > w) {
            hide();
            m_grip->hide();
            m_updating = false;
            return;
        }
    }
    setGeometry(X, kTop, kWidth, m_height);
    m_grip->setGeometry(X, kTop - 8, kWidth, 8);
    if (isHidden()) {
        show();
        m_grip->show();
    }
    raise();
    m_grip->raise();
    m_updating = false;
}

void TimeLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(QColor(QStringLiteral("#ff0000")), 1, Qt::SolidLine));
    painter.drawLine(3, 0, 3, m_height);
}

// ---------------------------------------------------------------- grip

TimeLineSlider::TimeLineSlider(TimeLine* line, QWidget* timeAxis) : QWidget(timeAxis), m_line(line) {
    setStyleSheet(QStringLiteral("TimeLineSlider {background:#ff0000;}"));
    setCursor(Qt::SizeHorCursor);
    setFixedSize(TimeLine::kWidth, 8);
}

void TimeLineSlider::paintEvent(QPaintEvent*) { kestrane::paintStyleSheet(this); }

void TimeLineSlider::mousePressEvent(QMouseEvent* event) {
    m_pressX = event->pos().x();
    m_moved = false;
}

void TimeLineSlider::mouseMoveEvent(QMouseEvent* event) {
    m_time = m_line->dragBy(event->pos().x() - m_pressX);
    GConfig::instance().pausePlayback();
    m_moved = true;
}

void TimeLineSlider::mouseReleaseEvent(QMouseEvent*) {
    if (!m_moved)
        return;
    GConfig& config = GConfig::instance();
    if (config.timeAxis)
        config.timeAxis->applyPosition(m_time);
    config.refreshStage();
    // The servers hear of a drag once, at its end.
    config.sendTimeToServers();
    m_moved = false;
}

// ---------------------------------------------------------------- range bar

TimeAxisSlider::TimeAxisSlider(int lengthPx, QWidget* parent) : QWidget(parent), m_length(lengthPx) {
    setFixedHeight(12);
    setStyleSheet(QStringLiteral(
        "TimeAxisSlider {border-top:1px solid #141414;border-bottom:1px solid #141414;background-color:#343434;}"));
    m_track = new SliderWidget(this);
    m_track->setGeometry(0, 1, SliderWidget::kMargin + m_length, 10);
}

void TimeAxisSlider::setScroll(int px) {
    m_scroll = px;
    m_track->move(-px, 1);
}

void TimeAxisSlider::setLength(int lengthPx, int scroll) {
    m_length = lengthPx;
    m_scroll = scroll;
    m_track->setGeometry(-scroll, 1, SliderWidget::kMargin + m_length, 10);
    m_track->refresh(true);
}

void TimeAxisSlider::paintEvent(QPaintEvent*) { kestrane::paintStyleSheet(this); }

void TimeAxisSlider::mousePressEvent(QMouseEvent* event) {
    const int x = m_scroll + event->pos().x();
    QTimer::singleShot(0, this, [x] {
        GConfig& config = GConfig::instance();
        config.pausePlayback();
        config.setCurrentTime(std::max(0, RulerWidget::toMs(x - SliderWidget::kMargin)));
        config.sendTimeToServers();
    });
}

SliderWidget::SliderWidget(QWidget* parent) : QWidget(parent) {
    setStyleSheet(QStringLiteral("SliderWidget {background-color:#40444e;}"));
    m_startHandle = new SliderHandle(this, SliderHandle::Start);
    m_endHandle = new SliderHandle(this, SliderHandle::End);
    connect(this, &SliderWidget::posClicked, this, &SliderWidget::changeTimeLine);
    if (RulerWidget* ruler = GConfig::instance().ruler)
        connect(ruler, &RulerWidget::posClicked, this, &SliderWidget::changeTimeLine);
    refresh(true);
}

void SliderWidget::refresh(bool moveHandles) {
    if (moveHandles) {
        m_startHandle->placeOnAxis();
        m_endHandle->placeOnAxis();
    }
    const GConfig& config = GConfig::instance();
    m_startX = RulerWidget::toPixel(config.timelineStart()) + kMargin;
    m_endX = RulerWidget::toPixel(config.timelineLength()) + kMargin;
    update();
}

void SliderWidget::changeTimeLine(int x) {
    GConfig& config = GConfig::instance();
    config.pausePlayback();
    config.setCurrentTime(std::max(0, RulerWidget::toMs(x - kMargin)));
}

void SliderWidget::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QPainterPath outside;
    outside.setFillRule(Qt::WindingFill);
    outside.addRect(0, 0, m_startX, 10);
    outside.addRect(m_endX, 0, width(), 10);
    painter.fillPath(outside, QColor(QStringLiteral("#343434")));
}

void SliderWidget::mousePressEvent(QMouseEvent* event) {
    emit posClicked(event->pos().x());
    GConfig::instance().sendTimeToServers();
    // On to the bar, which sets the same time once more.
    event->ignore();
}

SliderHandle::SliderHandle(SliderWidget* track, int index) : QWidget(track), m_track(track), m_index(index) {
    setFixedSize(7, 10);
    setStyleSheet(QStringLiteral("SliderHandle {background:url(:/images/时间轴.png)}"));
    setCursor(Qt::SizeHorCursor);
}

void SliderHandle::placeOnAxis() {
    const GConfig& config = GConfig::instance();
    if (m_index == End)
        move(RulerWidget::toPixel(config.timelineLength()) + SliderWidget::kMargin, 0);
    else
        move(std::max(0, RulerWidget::toPixel(config.timelineStart()) + SliderWidget::kMargin - width()), 0);
}

void SliderHandle::paintEvent(QPaintEvent*) { kestrane::paintStyleSheet(this); }

void SliderHandle::mousePressEvent(QMouseEvent* event) {
    m_pressX = event->pos().x();
    m_moved = false;
    // The press stays with the handle.
    event->accept();
}

void SliderHandle::mouseMoveEvent(QMouseEvent* event) {
    const int w = width();
    int x = QWidget::x() + event->pos().x() - m_pressX;
    GConfig& config = GConfig::instance();
    if (m_index == Start) {
        const SliderHandle* end = m_track->endHandle();
        if (x + w < end->x())
            x = std::max(x, SliderWidget::kMargin - w);
        else
            x = end->x() - w;
        move(x, 0);
        config.setTimelineStart(RulerWidget::toMs(x + w - SliderWidget::kMargin));
    } else {
        const SliderHandle* start = m_track->startHandle();
        const int startRight = start->x() + start->width();
        if (x > startRight)
            x = std::min(x, m_track->width() - w);
        else
            x = startRight;
        move(x, 0);
        config.setTimelineLength(RulerWidget::toMs(x - SliderWidget::kMargin), 0);
    }
    m_moved = true;
}
