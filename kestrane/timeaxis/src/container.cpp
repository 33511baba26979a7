#include "kestrane/container.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QStyleOption>

#include "kestrane/layerpanel.h"

StripContainer::StripContainer(int length, int height, QWidget* parent) : QWidget(parent), m_length(length) {
    setFixedHeight(height);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* spacer = new QWidget(this);
    spacer->setFixedWidth(0);
    spacer->setStyleSheet(QStringLiteral("background:#343434;"));
    layout->addWidget(spacer);
    m_viewport = new QWidget(this);
    m_viewport->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(m_viewport);
}

void StripContainer::setPanel(QWidget* strip) {
    m_strip = strip;
    strip->setParent(m_viewport);
    strip->setGeometry(0, 1, m_margin + m_length, height() - 2);
    strip->show();
}

void StripContainer::placeStrip() {
    if (m_strip)
        m_strip->setGeometry(-m_offset, 1, m_margin + m_length, height() - 2);
}

void StripContainer::setLength(int length, int offset) {
    m_length = length;
    m_offset = offset;
    placeStrip();
    relayoutStrip();
}

void StripContainer::setScroll(int x) {
    if (!m_strip)
        return;
    m_offset = x;
    m_strip->move(-x, 1);
}

void StripContainer::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

Container::Container(int length, QWidget* parent) : StripContainer(length, 42, parent) {
    setObjectName(QStringLiteral("timeAxisWidget"));
}

LayerPanel* Container::panel() const { return qobject_cast<LayerPanel*>(strip()); }

void Container::relayoutStrip() {
    if (LayerPanel* p = panel())
        p->updateItems();
}
