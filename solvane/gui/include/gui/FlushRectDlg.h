// A borderless window over a screen rectangle that flashes it green and red
// for 2 s and closes itself, so that an operator can see which part of the
// wall a rectangle names.
#pragma once

#include <QColor>
#include <QDialog>

#include "platform/types.h"

class QTimer;

class CFlushRectDlg : public QDialog {
public:
    explicit CFlushRectDlg(const RECT& rect, QWidget* parent = nullptr);

    // One flash step (every 400 ms): the next colour of the process-wide
    // green/red alternation.
    void Flash();
    // The end (after 2000 ms): both timers stop and the window closes.
    void Finish();

    // The colour shown now; invalid before the first flash.
    QColor CurrentColour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // The timers start when the window first shows.
    void showEvent(QShowEvent* event) override;

private:
    QTimer* m_flashTimer = nullptr;
    QTimer* m_endTimer = nullptr;
    QColor m_colour;
    bool m_started = false;
};
