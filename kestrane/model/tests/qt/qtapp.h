// The one GUI application object of the Qt test program.
#pragma once

#include <QCoreApplication>
#include <QGuiApplication>

inline QGuiApplication* testApp() {
    static int argc = 1;
    static char name[] = "kestrane_model_qt_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* a = new QGuiApplication(argc, argv);
    return a;
}
