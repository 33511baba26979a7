#include "kestrane/effectcontainer.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

#include "kestrane/gconfig.h"
#include "kestrane/rulerwidget.h"
#include "stripshade.h"

EffectLayerPanel::EffectLayerPanel(QWidget* parent) : QWidget(parent) {
    setStyleSheet(QStringLiteral("EffectLayerPanel {background:#343434}"));
}


void EffectLayerPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    kestrane::paintStrip(this, painter, m_margin);
}

EffectContainer::EffectContainer(int length, QWidget* parent) : StripContainer(length, 24, parent) {
    setObjectName(QStringLiteral("effectContainer"));
}

EffectLayerPanel* EffectContainer::panel() const { return qobject_cast<EffectLayerPanel*>(strip()); }

void EffectContainer::relayoutStrip() {
    if (EffectLayerPanel* p = panel())
        p->relayout();
}
