// The geometry-correction dialog on a real (virtual) X display with OpenGL:
// the warp preview draws the background picture through the device's grid,
// as the screen shows it. Screenshots go to the build's artefacts folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <string>

#include "kestrane/gconfig.h"
#include "kestrane/geometrycorrection.h"
#include "kestrane/nativewidget.h"
#include "kestrane/wheellineedit.h"
#include "support/QtSpin.h"
#include "support/QtWidgetTestApp.h"
#include "support/ScriptedPrompts.h"

namespace {

QApplication* glApp() {
    // The rendering library needs GLX under the X11 platform.
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    return testApp();
}

bool near(QRgb got, QRgb want, int tolerance) {
    return std::abs(qRed(got) - qRed(want)) <= tolerance && std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
           std::abs(qBlue(got) - qBlue(want)) <= tolerance;
}

std::string show(QRgb c) {
    return std::to_string(qRed(c)) + "," + std::to_string(qGreen(c)) + "," + std::to_string(qBlue(c));
}

class GeometryGl : public ::testing::Test {
protected:
    void SetUp() override {
        glApp();
        c.setHooks(nullptr);
        c.clearProject();
        DeviceRecord d;
        d.name = QStringLiteral("左屏");
        d.serverIp = QStringLiteral("10.40.0.1");
        d.outputIndex = 1;
        d.width = 1920;
        d.height = 1080;
        c.devices().insert(1, d);
    }
    void TearDown() override {
        dialog.reset();
        c.clearProject();
    }
    // The view as the screen shows it.
    QImage grabView() const {
        NativeWidget* view = dialog->widgets().nativeWidget;
        const QPoint at = view->mapToGlobal(QPoint(0, 0));
        return view->screen()->grabWindow(0, at.x(), at.y(), view->width(), view->height()).toImage();
    }
    // A point of the view at normalised (x, y) of its square.
    QPoint viewPoint(double x, double y) const {
        const WarpEditModel& m = dialog->widgets().nativeWidget->model();
        return m.toScreen(DOUBLE_POINT{x, y});
    }
    // Waits until the screen shows `want` at the point (within tolerance).
    bool waitForColour(const QPoint& p, QRgb want, int tolerance, QRgb* last) {
        return spinUntil(
            [&] {
                const QImage shot = grabView();
                *last = shot.isNull() ? 0 : shot.pixel(p);
                return near(*last, want, tolerance);
            },
            30000);
    }

    GConfig& c = GConfig::instance();
    std::unique_ptr<GeometryCorrection> dialog;
};

}  // namespace

TEST_F(GeometryGl, ThePreviewDrawsThePictureThroughTheGrid) {
    dialog = std::make_unique<GeometryCorrection>(1);
    dialog->move(0, 0);
    dialog->show();
    NativeWidget* view = dialog->widgets().nativeWidget;
    ASSERT_TRUE(spinUntil([&] { return view->isInitialised(); }, 30000));
    ASSERT_TRUE(view->isDrawing()) << "no OpenGL context on the preview window";

    // The default picture: blue cells between white lines (a JPEG, so near).
    QRgb last = 0;
    const QPoint cell = viewPoint(-0.875, 0.625);  // mid-cell of the picture, between grid lines
    EXPECT_TRUE(waitForColour(cell, qRgb(0x2f, 0x6f, 0x9f), 40, &last)) << show(last);

    // A picture of one colour, chosen as the operator would.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("magenta.png"));
    QImage magenta(160, 90, QImage::Format_RGB32);
    magenta.fill(qRgb(200, 0, 200));
    ASSERT_TRUE(magenta.save(path));
    ScriptedPrompts prompts;
    prompts.answerPath(path);
    dialog->widgets().enableBackgroundImage->click();
    dialog->widgets().addImage->click();
    // Off the grid lines both before and after the turn below.
    const QPoint centre = viewPoint(0.035, 0.015);
    EXPECT_TRUE(waitForColour(centre, qRgb(200, 0, 200), 8, &last)) << show(last);
    // The margin around the square is cleared.
    EXPECT_TRUE(waitForColour(QPoint(5, view->height() / 2), qRgb(0, 0, 0), 8, &last)) << show(last);

    // Turned by 45 degrees, the square's corner region falls outside the
    // picture while the middle keeps it.
    dialog->widgets().angle->setText(QStringLiteral("45"));
    EXPECT_TRUE(waitForColour(viewPoint(0.9, 0.9), qRgb(0, 0, 0), 8, &last)) << show(last);
    EXPECT_TRUE(waitForColour(centre, qRgb(200, 0, 200), 8, &last)) << show(last);

    // The whole dialog as the screen shows it, for a look.
    const QRect frame = dialog->frameGeometry();
    const QImage shot =
        dialog->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
    ASSERT_FALSE(shot.isNull());
    const QString artefacts = QStringLiteral(SV_BINARY_DIR "/artefacts");
    ASSERT_TRUE(QDir().mkpath(artefacts));
    ASSERT_TRUE(shot.save(artefacts + QStringLiteral("/geometry_correction_dialog.png")));
    // Read back from the file: the turned picture in the view, the title strip above.
    const QImage saved(artefacts + QStringLiteral("/geometry_correction_dialog.png"));
    ASSERT_FALSE(saved.isNull());
    const QPoint inView = view->mapTo(dialog.get(), centre);
    EXPECT_TRUE(near(saved.pixel(inView), qRgb(200, 0, 200), 8)) << show(saved.pixel(inView));
    EXPECT_TRUE(near(saved.pixel(dialog->width() / 2, 3), qRgb(0xc9, 0xc9, 0xc9), 4))
        << show(saved.pixel(dialog->width() / 2, 3));
}
