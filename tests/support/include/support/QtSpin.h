// Runs the Qt event loop until a condition holds, within a deadline.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

inline bool spinUntil(const std::function<bool()>& pred, int deadlineMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > deadlineMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
