// The one Qt application object of a console target, offscreen, with its
// configuration folder inside the scratch folder.
#pragma once

#include <QGuiApplication>
#include <cstdlib>

#include "FuzzSupport.h"

namespace fuzzsupport {

inline QGuiApplication* QtApp() {
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("XDG_CONFIG_HOME", (ScratchDir() + "/config").c_str(), 1);
        static int argc = 1;
        static char name[] = "kestrane";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    return app;
}

}  // namespace fuzzsupport
