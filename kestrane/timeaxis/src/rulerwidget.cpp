#include "kestrane/rulerwidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

#include "kestrane/axismath.h"
#include "kestrane/gconfig.h"

using namespace kestrane;

RulerWidget::RulerWidget(int level, QWidget* parent) : QWidget(parent) {
    setScale(level);
}

void RulerWidget::setScale(int level) {
    const axis::ScaleLevel& s = axis::scaleOf(level);
    m_interval = s.interval;
    m_spacing = s.spacing;
    m_level = std::clamp(level, 0, axis::kLevelCount - 1);
    update();
}

int RulerWidget::msToPixel(int ms) const { return axis::msToPixel(scale(), ms); }
int RulerWidget::pixelToMs(int px) const { return axis::pixelToMs(scale(), px); }
QString RulerWidget::labelText(int tick) const { return axis::labelText(scale(), m_unit, tick); }

void RulerWidget::setUnit(int unit) {
    m_unit = unit;
    update();
}

int RulerWidget::currentScale() {
    const RulerWidget* ruler = GConfig::instance().ruler;
    return ruler ? ruler->scale() : axis::kDefaultLevel;
}

int RulerWidget::toPixel(int ms) { return axis::msToPixel(currentScale(), ms); }
int RulerWidget::toMs(int px) { return axis::pixelToMs(currentScale(), px); }

void RulerWidget::moveRuler(int x) {
    m_offset = x;
    update();
}

void RulerWidget::mousePressEvent(QMouseEvent* event) {
    emit posClicked(m_offset + event->pos().x());
    GConfig::instance().sendTimeToServers();
    QWidget::mousePressEvent(event);
}

void RulerWidget::paintEvent(QPaintEvent*) {
    m_extent = width() + m_offset;
    const int origin = std::max(0, m_margin - m_offset);
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    // Outside the project's span.
    const GConfig& config = GConfig::instance();
    const int startX = msToPixel(config.timelineStart()) + m_margin - m_offset;
    const int endX = msToPixel(config.timelineLength()) + m_margin - m_offset;
    QPainterPath shade;
    shade.setFillRule(Qt::WindingFill);
    if (startX > 0)
        shade.addRect(0, 0, startX, height());
    if (endX <= 0)
        shade.addRect(0, 0, width(), height());
    else if (endX < width())
        shade.addRect(endX, 0, width(), height());
    painter.fillPath(shade, QColor(QStringLiteral("#2c2c2c")));

    painter.setPen(QColor(QStringLiteral("#cccccc")));
    painter.drawLine(origin, m_baseY, width(), m_baseY);

    int count = m_extent / m_spacing;
    if (count > 0)
        ++count;
    const QFontMetrics metrics = painter.fontMetrics();
    bool drawnBefore = false;
    for (int i = 0; i < count; ++i) {
        const int x = m_spacing * i - m_offset + m_margin;
        if (x > width())
            break;
        if (x < 0)
            continue;
        painter.setPen(QPen(QColor(QStringLiteral("#1e1e1e")), 0, Qt::SolidLine));
        painter.drawLine(x, 0, x, i % 2 ? 10 : 13);
        if (i % 2)
            continue;
        const QString label = labelText(i);
        const int w = metrics.horizontalAdvance(label);
        if (w >= 2 * m_spacing - 6 && i % 4 != 0)
            continue;
        painter.setPen(QColor(QStringLiteral("#cccccc")));
        const int baseY = 13 + metrics.height();
        painter.drawText(drawnBefore ? x - w / 2 : x + 2, baseY, label);
        drawnBefore = true;
    }
}
