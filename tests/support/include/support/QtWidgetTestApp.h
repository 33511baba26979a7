// The one widget application object of a Qt test program.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include "kestrane/pictures.h"

inline QApplication* testApp() {
    static int argc = 1;
    static char name[] = "kestrane_qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    // The console's pictures, as the program has them.
    kestrane::initPictures();
    return a;
}

// Delivers one mouse event as the window system would, with the global
// position given and the local one taken from the widget's place now.
inline void sendMouse(QWidget* w, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    const QPoint local = global - w->mapToGlobal(QPoint(0, 0));
    QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

inline void sendMouseAt(QWidget* w, QEvent::Type type, const QPoint& local, Qt::MouseButton button,
                        Qt::MouseButtons buttons) {
    sendMouse(w, type, w->mapToGlobal(local), button, buttons);
}
