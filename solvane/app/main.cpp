// The display server program.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "core/OutputHost.h"
#include "core/QuorvelApp.h"

namespace {

// The second-start message: a box that closes by itself where there is a
// display, a line on standard error where there is none.
void ShowInstanceMessage(const char* text, const char* caption, uint32_t timeoutMs) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return;
    }
    int argc = 1;
    char name[] = "solvane";
    char* argv[] = {name, nullptr};
    QApplication qapp(argc, argv);
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(caption), QString::fromUtf8(text));
    QTimer::singleShot(static_cast<int>(timeoutMs), &box, &QMessageBox::reject);
    box.exec();
}

}  // namespace

int main(int argc, char** argv) {
    CQuorvelApp app;
    app.SetInstanceMessage(&ShowInstanceMessage);
    StandInOutputHost output;
    return app.InitInstance(argc, argv, output);
}
