// What the project model asks of the time axis: the play position, the
// rows, locks and eyes, drop marks, taking blocks and media off the rows.
#pragma once

#include "kestrane/consolehooks.h"

class TimeAxisWidget;

class TimeAxisHooks : public ConsoleHooks {
public:
    explicit TimeAxisHooks(TimeAxisWidget* axis) : m_axis(axis) {}

    int playPosition() const override;
    void setPlayPosition(int ms) override;
    void removeLayerIOBlock(int id) override;
    void removePlayControlBlock(int id) override;
    void removeMediaViews(int mediaId) override;
    void refreshTimeAxis() override;

private:
    TimeAxisWidget* m_axis;
};
