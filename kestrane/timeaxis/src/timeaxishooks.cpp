#include "kestrane/timeaxishooks.h"

#include "kestrane/timeaxiswidget.h"

int TimeAxisHooks::playPosition() const { return m_axis->position(); }
void TimeAxisHooks::setPlayPosition(int ms) { m_axis->setCurrentTime(ms); }
void TimeAxisHooks::removeLayerIOBlock(int id) { m_axis->removeLayerIOBlock(id); }
void TimeAxisHooks::removePlayControlBlock(int id) { m_axis->removePlayControlBlock(id); }
void TimeAxisHooks::removeMediaViews(int mediaId) { m_axis->removeMediaFromLayers(mediaId); }
void TimeAxisHooks::refreshTimeAxis() { m_axis->refreshRows(true); }
