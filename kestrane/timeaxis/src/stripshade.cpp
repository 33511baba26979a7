#include "stripshade.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QWidget>

#include "kestrane/gconfig.h"
#include "kestrane/rulerwidget.h"

namespace kestrane {

void paintStrip(QWidget* strip, QPainter& painter, int margin) {
    QStyleOption option;
    option.initFrom(strip);
    strip->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, strip);
    const GConfig& config = GConfig::instance();
    QPainterPath shade;
    shade.setFillRule(Qt::WindingFill);
    shade.addRect(0, 0, RulerWidget::toPixel(config.timelineStart()) + margin, strip->height());
    const int end = RulerWidget::toPixel(config.timelineLength()) + margin;
    shade.addRect(end, 0, strip->width(), strip->height());
    painter.fillPath(shade, QColor(QStringLiteral("#2c2c2c")));
}

void paintStyleSheet(QWidget* widget) {
    QStyleOption option;
    option.initFrom(widget);
    QPainter painter(widget);
    widget->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, widget);
}

}  // namespace kestrane
