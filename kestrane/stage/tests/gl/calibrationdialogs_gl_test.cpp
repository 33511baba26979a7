// The matrix layout and colour-correction dialogs drawn on a real (virtual)
// X display, saved as pictures under artefacts/ and read back.
#include <gtest/gtest.h>

#include <QDir>
#include <QGraphicsView>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <cstdlib>

#include "kestrane/colorcorrection.h"
#include "kestrane/gconfig.h"
#include "kestrane/matrixdeviceitem.h"
#include "kestrane/matrixlayout.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "support/QtWidgetTestApp.h"

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Saves the widget's picture and gives back what the file holds.
QImage saveAndReload(QWidget* w, const QString& name) {
    const char* bin = std::getenv("SV_BINARY_DIR");
    const QString folder = QString::fromLocal8Bit(bin ? bin : ".") + QStringLiteral("/artefacts");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    EXPECT_TRUE(w->grab().toImage().save(path));
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// Whether a pixel of that colour lies inside the rectangle.
bool hasColour(const QImage& image, const QRect& area, QRgb colour) {
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
    return false;
}

class CalibrationDialogsGl : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        GConfig& c = GConfig::instance();
        c.setHooks(nullptr);
        c.clearProject();
        for (int id : {1, 2}) {
            DeviceRecord d;
            d.name = id == 1 ? QStringLiteral("左屏") : QStringLiteral("右屏");
            d.serverIp = QStringLiteral("10.40.0.1");
            d.outputIndex = id;
            d.width = 1920;
            d.height = 1080;
            d.stageX = (id - 1) * 1920;
            d.stageY = 0;
            c.devices().insert(id, d);
        }
    }
    void TearDown() override { GConfig::instance().clearProject(); }
};

TEST_F(CalibrationDialogsGl, MatrixLayoutShowsItsCells) {
    MatrixLayout dialog({1, 2});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    settle();
    dialog.cells().at(0)->setDevice(1);
    settle();
    const QImage image = saveAndReload(&dialog, QStringLiteral("matrix_layout.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(5, 14) & 0xFFFFFF, 0xc9c9c9u) << "title strip";
    const QRect view = dialog.form().graphicsView->geometry();
    EXPECT_TRUE(hasColour(image, view, 0xccff00)) << "an occupied cell's outline";
    EXPECT_TRUE(hasColour(image, view, 0x797979)) << "an empty cell's outline";
    EXPECT_EQ(image.pixel(view.right() - 2, view.bottom() - 2) & 0xFFFFFF, 0x191919u) << "the view's background";
}

TEST_F(CalibrationDialogsGl, ColorCorrectionShowsTheEditedDevice) {
    ColorCorrection dialog(1);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    settle();
    const QImage image = saveAndReload(&dialog, QStringLiteral("color_correction.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(5, 14) & 0xFFFFFF, 0xc9c9c9u) << "title strip";
    const QRect view(dialog.form().graphicsView->mapTo(&dialog, QPoint(0, 0)), dialog.form().graphicsView->size());
    EXPECT_TRUE(hasColour(image, view, 0x00b7ef)) << "the edited device's outline";
    EXPECT_TRUE(hasColour(image, view, 0xaeaeae)) << "another device's outline";
    EXPECT_TRUE(hasColour(image, image.rect(), 0x008000)) << "the green swatch";
}

}  // namespace
