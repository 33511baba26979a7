#include "kestrane/mediascrollarea.h"

#include <QTimer>

#include "kestrane/mediaattribute.h"

MediaScrollArea::MediaScrollArea(QWidget* parent) : QScrollArea(parent) {
    m_panel = new MediaAttribute(this);
    // Once the creator has set up the area: take the panel in, with this
    // area's own look in place of the creator's.
    QTimer::singleShot(0, this, [this] {
        setWidget(m_panel);
        setStyleSheet(QStringLiteral(".MediaScrollArea {background:#343434;border:0px;border-bottom:1px solid #1e1e1e;}"));
        m_panel->resize(width(), m_panel->height());
    });
}

void MediaScrollArea::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (m_panel) m_panel->resize(width(), m_panel->height());
}

void MediaScrollArea::showMedia(int id) { m_panel->showMedia(id); }
