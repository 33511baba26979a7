#include "kestrane/layerplaycontrol.h"

#include <QPainter>
#include <QStyleOption>

#include "kestrane/gconfig.h"
#include "kestrane/layerpanel.h"
#include "kestrane/rulerwidget.h"

LayerPlayControl::LayerPlayControl(int controlId, LayerPanel* panel)
    : QWidget(panel), m_controlId(controlId), m_panel(panel) {
    GConfig& config = GConfig::instance();
    if (PlayControlRecord* record = config.findPlayControl(controlId)) {
        m_type = record->type;
        if (record->time == -1)
            record->time = config.currentTime();
    }
    updateGeometry();
    raise();
}

void LayerPlayControl::updateGeometry() {
    const PlayControlRecord* record = GConfig::instance().findPlayControl(m_controlId);
    if (!record)
        return;
    setGeometry(RulerWidget::toPixel(record->time) + 7, kTop, kWidth, kHeight);
}

void LayerPlayControl::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    static const char* const icons[] = {":/images/control_pause.png", ":/images/control_play.png",
                                        ":/images/control_jump.png"};
    if (m_type >= 0 && m_type <= 2)
        painter.drawPixmap(0, 0, QPixmap(QString::fromLatin1(icons[m_type])));
}
