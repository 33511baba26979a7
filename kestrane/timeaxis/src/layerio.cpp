#include "kestrane/layerio.h"

#include <QPainter>
#include <QStyleOption>

#include "kestrane/gconfig.h"
#include "kestrane/rulerwidget.h"

LayerIO::LayerIO(int id, QWidget* panel)
    : QWidget(panel),
      m_id(id),
      m_panel(panel),
      m_normalStyle(QStringLiteral(
          ".LayerIO {border:1px solid #999999; border-radius:2px; background:rgb(255,0,204,100);}")),
      m_focusStyle(QStringLiteral(
          ".LayerIO {border:2px solid #ffffff; border-radius:2px; background:rgb(255,0,204,100);}")) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_MouseTracking);
    refreshGeometry();
    setStyleSheet(m_focusStyle);
    setFocus(Qt::OtherFocusReason);
    raise();
}

void LayerIO::refreshGeometry() {
    const LayerIORecord* record = GConfig::instance().findLayerIO(m_id);
    if (!record)
        return;
    m_kind = record->kind;
    const int width = m_kind == 2 ? kStringOutputWidth : RulerWidget::toPixel(record->length);
    setGeometry(RulerWidget::toPixel(record->time) + 7, 0, width, m_panel->height());
    update();
}

void LayerIO::focusInEvent(QFocusEvent* event) {
    setStyleSheet(m_focusStyle);
    QWidget::focusInEvent(event);
}

void LayerIO::focusOutEvent(QFocusEvent* event) {
    setStyleSheet(m_normalStyle);
    QWidget::focusOutEvent(event);
}

void LayerIO::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
