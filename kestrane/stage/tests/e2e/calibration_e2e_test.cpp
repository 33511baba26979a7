// The calibration dialogs against a real display server. The matrix layout
// and the colour correction on a screen split into two outputs: the overlap
// chosen in the matrix dialog shows as a blend ramp at the seam, the green
// ratio typed into the colour dialog as half green on the right output. The
// geometry correction on a whole screen: a corner dragged in the warp view
// moves that corner of the picture on the wall.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGraphicsSceneDragDropEvent>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <cmath>
#include <cstdlib>

#include "kestrane/colorcorrection.h"
#include "kestrane/gconfig.h"
#include "kestrane/geometrycorrection.h"
#include "kestrane/matrixdeviceitem.h"
#include "kestrane/matrixlayout.h"
#include "kestrane/nativewidget.h"
#include "kestrane/pictures.h"
#include "kestrane/wheellineedit.h"
#include "lintra/KestraneStageServer.h"
#include "support/ProgramHarness.h"
#include "support/ScriptedPrompts.h"
#include "support/XScreen.h"

namespace {

using namespace e2e;

constexpr int kHalf = 960;
constexpr int kHeight = 1080;
constexpr int kOverlap = 8;                             // grid cells of 40
constexpr int kBlendPixels = kHalf * kOverlap / 40;  // 192

// The dialogs draw offscreen: the X server belongs to the display server.
QApplication* consoleApp() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "kestrane_stage_e2e_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        kestrane::initPictures();
        return a;
    }();
    return app;
}

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

void SavePng(const Screenshot& shot, const std::string& name) {
    const char* bin = std::getenv("SV_BINARY_DIR");
    const QString folder = QString::fromLocal8Bit(bin ? bin : ".") + QStringLiteral("/artefacts");
    QDir().mkpath(folder);
    QImage image(shot.rgb.data(), shot.width, shot.height, shot.width * 3, QImage::Format_RGB888);
    image.save(folder + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".png"));
}

// White up to the blend zone, dark at the seam, half green on the right.
bool ShowsMatrixAndColour(const Screenshot& s) {
    if (s.width < 2 * kHalf || s.height < kHeight) return false;
    const int y = kHeight / 3;
    const bool leftWhite = s.R(100, y) == 255 && s.G(100, y) == 255 && s.B(100, y) == 255;
    const bool seamDark = s.R(kHalf - 2, y) < 40 && s.R(kHalf + 1, y) < 40;
    const bool rightHalfGreen = s.R(1700, y) == 255 && std::abs(s.G(1700, y) - 128) <= 2 && s.B(1700, y) == 255;
    return leftWhite && seamDark && rightHalfGreen;
}

class CalibrationE2E : public SolvaneProgramFixture {
protected:
    void TearDown() override {
        GConfig& c = GConfig::instance();
        c.setConnected(false);
        c.clientSession(QStringLiteral("127.0.0.1"), 2);
        c.clearProject();
        SolvaneProgramFixture::TearDown();
    }
    static void addDevice(int id, int output, double x, int width = kHalf) {
        DeviceRecord d;
        d.name = QStringLiteral("输出%1").arg(output);
        d.serverIp = QStringLiteral("127.0.0.1");
        d.outputIndex = output;
        d.width = width;
        d.height = kHeight;
        d.stageX = x;
        d.stageY = 0;
        GConfig::instance().devices().insert(id, d);
    }
    // Connects to the server and sends it the world of these devices, as
    // the console does on connecting.
    static void connectWithWorld(const QList<int>& deviceIds) {
        GConfig& c = GConfig::instance();
        for (int id : deviceIds) c.updateWorldConfigs(id);
        const QString ip = QStringLiteral("127.0.0.1");
        CKestraneStageServer* session = c.clientSession(ip, 1);
        ASSERT_NE(session, nullptr);
        ASSERT_EQ(session->ConnectServer("127.0.0.1", 30100, 5), 1);
        ASSERT_EQ(session->ResetWorldConfig(*c.worlds().at(ip)), 0);
        c.setConnected(true);
    }
    static void drop(MatrixDeviceItem* cell, int deviceId) {
        QMimeData mime;
        mime.setProperty("deviceId", deviceId);
        QGraphicsSceneDragDropEvent ev(QEvent::GraphicsSceneDrop);
        ev.setMimeData(&mime);
        cell->dropEvent(&ev);
    }
};

TEST_F(CalibrationE2E, MatrixOverlapAndGreenRatioReachTheScreen) {
    ASSERT_TRUE(SplitScreenIntoMonitors(2));
    ASSERT_TRUE(StartServer());
    consoleApp();

    // The console's project and the world it sends on connecting.
    GConfig& c = GConfig::instance();
    c.clearProject();
    addDevice(1, 1, 0);
    addDevice(2, 2, kHalf);
    ASSERT_NO_FATAL_FAILURE(connectWithWorld({1, 2}));

    {
        MatrixLayout matrix({1, 2});
        matrix.show();
        settle();
        matrix.form().rowNum->setValue(1);
        matrix.form().colNum->setValue(2);
        settle();
        ASSERT_EQ(matrix.cells().size(), 2);
        drop(matrix.cells()[0], 1);
        drop(matrix.cells()[1], 2);
        matrix.form().hNum->setText(QString::number(kOverlap));
        settle();
        matrix.accept();
    }
    EXPECT_EQ(c.device(1)->blendRight, kOverlap);
    EXPECT_EQ(c.device(2)->blendLeft, kOverlap);
    EXPECT_NE(c.device(1)->groupStamp, 0);

    auto colour = std::make_unique<ColorCorrection>(2);
    colour->show();
    settle();
    colour->form().ratioEdit[1]->setText(QStringLiteral("50"));
    settle();
    EXPECT_FLOAT_EQ(c.device(2)->colorRatio[1], 0.5f);

    Screenshot shot;
    const bool shown = testsupport::WaitUntil([&] { return GrabScreen(shot) && ShowsMatrixAndColour(shot); }, 60s);
    SavePng(shot, "e2e_matrix_colour");
    ASSERT_TRUE(shown) << "the screen never showed the blend and the ratio (see artefacts/e2e_matrix_colour.png)";

    const int y = kHeight / 3;
    // Left output: white up to its blend zone, then falling towards the seam.
    EXPECT_EQ(shot.R(kHalf - kBlendPixels - 10, y), 255);
    int previous = 256;
    for (int x = kHalf - kBlendPixels; x < kHalf; x += 8) {
        EXPECT_LE(shot.R(x, y), previous) << "x " << x;
        EXPECT_EQ(shot.G(x, y), shot.R(x, y)) << "x " << x;
        previous = shot.R(x, y);
    }
    EXPECT_GT(shot.R(kHalf - kBlendPixels + 4, y), 215);
    // Right output: rising from the seam, green at half of red throughout.
    previous = -1;
    for (int x = kHalf; x < kHalf + kBlendPixels; x += 8) {
        EXPECT_GE(shot.R(x, y), previous) << "x " << x;
        EXPECT_NEAR(shot.G(x, y), shot.R(x, y) / 2.0, 2.0) << "x " << x;
        previous = shot.R(x, y);
    }
    EXPECT_EQ(shot.R(kHalf + kBlendPixels + 10, y), 255);
    EXPECT_NEAR(shot.G(kHalf + kBlendPixels + 10, y), 127.5, 1.0);

    // Closing the colour dialog ends the test screen on the server.
    colour.reset();
    EXPECT_NE(Log().find("color: rgb=255,255,255"), std::string::npos);
}

// What the wall shows of a picture red on its left half, blue on its right.
bool IsRed(const Screenshot& s, int x, int y) { return s.R(x, y) > 200 && s.G(x, y) < 60 && s.B(x, y) < 60; }
bool IsBlue(const Screenshot& s, int x, int y) { return s.B(x, y) > 200 && s.R(x, y) < 60 && s.G(x, y) < 60; }
bool IsBlack(const Screenshot& s, int x, int y) { return s.R(x, y) < 40 && s.G(x, y) < 40 && s.B(x, y) < 40; }

TEST_F(CalibrationE2E, ACornerDraggedInTheGeometryViewMovesThatCornerOnTheWall) {
    // One output over the whole screen; the server on its X display,
    // whatever this process picked for the dialogs.
    ASSERT_TRUE(SplitScreenIntoMonitors(1));
    ASSERT_TRUE(StartServer({"QT_QPA_PLATFORM=xcb"}));
    consoleApp();

    GConfig& c = GConfig::instance();
    c.clearProject();
    addDevice(1, 1, 0, 2 * kHalf);
    ASSERT_NO_FATAL_FAILURE(connectWithWorld({1}));

    // The picture the server shows while the editor is open, chosen in the
    // dialog as an operator would.
    QImage split(2 * kHalf, kHeight, QImage::Format_RGB888);
    split.fill(Qt::blue);
    QPainter(&split).fillRect(0, 0, kHalf, kHeight, Qt::red);
    const QString picture = QString::fromStdString((dir / "split.png").string());
    ASSERT_TRUE(split.save(picture));

    auto geometry = std::make_unique<GeometryCorrection>(1);
    geometry->show();
    const GeometryCorrection::Ui& ui = geometry->widgets();
    NativeWidget& view = *ui.nativeWidget;
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return view.isInitialised();
        },
        30s));
    {
        ScriptedPrompts prompts;
        prompts.answerPath(picture);
        ui.enableBackgroundImage->click();
        ui.addImage->click();
    }
    ASSERT_EQ(ui.picPath->text(), picture);
    ui.fourPoint->click();
    settle();

    // The whole picture first: red to the left edge, blue to the right.
    Screenshot shot;
    const int top = 8, middle = kHeight / 2, bottom = kHeight - 8;
    const bool whole = testsupport::WaitUntil(
        [&] {
            return GrabScreen(shot) && shot.width >= 2 * kHalf && IsRed(shot, 6, top) && IsRed(shot, 6, bottom) &&
                   IsBlue(shot, 2 * kHalf - 6, top);
        },
        60s);
    SavePng(shot, "e2e_geometry_before");
    ASSERT_TRUE(whole) << "the server never showed the picture (see artefacts/e2e_geometry_before.png)\n" << Log();

    // The top-left control point (grid 0, 40) dragged a tenth of the view
    // to the right, in a few steps, as the mouse would.
    const WarpEditModel& model = view.model();
    const WarpEditModel::ViewRect r = model.viewRect();
    ASSERT_GT(r.right - r.left, 100);
    const QPoint from(r.left, r.top);
    ASSERT_EQ(model.toScreen(c.device(1)->controlPoints[3]), from);
    const int step = (r.right - r.left) / 40;
    auto mouse = [&](QEvent::Type type, const QPoint& at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), QPointF(view.mapToGlobal(at)), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &e);
    };
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int k = 1; k <= 4; ++k) mouse(QEvent::MouseMove, from + QPoint(k * step, 0), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, from + QPoint(4 * step, 0), Qt::NoButton);
    settle();

    // The stored corner; the picture's left edge now runs from there down
    // to the untouched bottom-left corner.
    const DOUBLE_POINT corner = c.device(1)->controlPoints[3];
    EXPECT_NEAR(corner.x, -0.8, 0.02);
    EXPECT_DOUBLE_EQ(corner.y, 1.0);
    const double cornerX = (corner.x + 1.0) / 2.0 * 2 * kHalf;  // about 192 pixels
    const auto edgeAt = [&](int y) { return cornerX * (1.0 - double(y) / kHeight); };
    const bool moved = testsupport::WaitUntil(
        [&] {
            return GrabScreen(shot) && IsBlack(shot, int(edgeAt(top)) - 12, top) &&
                   IsRed(shot, int(edgeAt(top)) + 12, top) && IsBlack(shot, int(edgeAt(middle)) - 12, middle) &&
                   IsRed(shot, int(edgeAt(middle)) + 12, middle);
        },
        60s);
    SavePng(shot, "e2e_geometry_corner");
    ASSERT_TRUE(moved) << "the corner never moved on the wall (see artefacts/e2e_geometry_corner.png)\n" << Log();
    // The other corners stay where they were.
    EXPECT_TRUE(IsRed(shot, 6, bottom));
    EXPECT_TRUE(IsBlue(shot, 2 * kHalf - 6, top));
    EXPECT_TRUE(IsBlue(shot, 2 * kHalf - 6, bottom));
    // The split between the colours stays at the middle at the bottom and
    // leans right towards the top, where the picture is narrower.
    EXPECT_TRUE(IsRed(shot, kHalf - 6, bottom) && IsBlue(shot, kHalf + 6, bottom));
    EXPECT_TRUE(IsRed(shot, kHalf + int(cornerX / 2) - 6, top) && IsBlue(shot, kHalf + int(cornerX / 2) + 6, top));

    geometry.reset();
}

}  // namespace
