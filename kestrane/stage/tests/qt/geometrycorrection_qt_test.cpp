// The geometry-correction dialog offscreen against two recording display
// servers: what opening, switching, editing and closing send, the angle
// editor's corrections, the mirror boxes around whole-grid mode, full
// screen, reset, the background picture and the opener.
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <cstring>
#include <memory>

#include "geometryfixture.h"
#include "kestrane/calibrationdialogs.h"
#include "kestrane/geometrycorrection.h"
#include "kestrane/nativewidget.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "kestrane/wheellineedit.h"
#include "support/ScriptedPrompts.h"

using namespace geometrytest;

namespace {

using Codes = std::vector<std::pair<int, int>>;

class GeometryDialog : public GeometryTest {
protected:
    void TearDown() override {
        dialog.reset();
        GeometryTest::TearDown();
    }
    GeometryCorrection& open(int deviceId) {
        dialog = std::make_unique<GeometryCorrection>(deviceId);
        dialog->show();
        spinUntil([&] { return dialog->widgets().nativeWidget->isInitialised(); });
        return *dialog;
    }
    const GeometryCorrection::Ui& ui() const { return dialog->widgets(); }
    NativeWidget& view() const { return *ui().nativeWidget; }
    // Waits until both servers have seen that many requests in all.
    bool settle(size_t total) {
        return spinUntil([&] { return a.RequestCount() + b.RequestCount() >= total; }, 30000);
    }
    void wheel(bool away) {
        const QPoint at(5, 5);
        QWheelEvent e(QPointF(at), QPointF(ui().angle->mapToGlobal(at)), QPoint(), QPoint(0, away ? 120 : -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(ui().angle, &e);
    }

    std::unique_ptr<GeometryCorrection> dialog;
};

}  // namespace

TEST_F(GeometryDialog, OpeningAndClosingTurnEveryCorrectionScreenOnAndOff) {
    c.device(2)->angle = 1.23456789;
    open(3);
    EXPECT_EQ(c.geometryDialog, dialog.get());
    ASSERT_TRUE(settle(5));
    // The default picture and code 1 to the edited device, then 1 to every
    // device in ascending order.
    const std::vector<Request> first = a.Requests();
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].head.command, NETCMD::SetBackgroundImage);
    EXPECT_EQ(std::string(first[0].head.textParam), "defaultpic.jpg");
    EXPECT_EQ(commonCodes(a), (Codes{{1, 2}, {1, 1}, {1, 2}}));
    EXPECT_EQ(commonCodes(b), (Codes{{1, 3}}));
    EXPECT_EQ(ui().listWidget->count(), 3);
    EXPECT_EQ(ui().listWidget->currentItem()->text(), QStringLiteral("顶屏"));
    EXPECT_EQ(ui().listWidget->item(1)->data(dialog->deviceIdRole()).toInt(), 2);
    EXPECT_EQ(dialog->objectName(), QStringLiteral("GeometryCorrection"));
    ASSERT_NE(dialog->windowHandle(), nullptr);
    EXPECT_EQ(dialog->windowHandle()->objectName(), QStringLiteral("GeometryCorrectionWindow"));

    // A switch sends nothing and leaves the new device's angle exact, though
    // the editor shows it rounded.
    ui().listWidget->setCurrentRow(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog->deviceId(), 2);
    EXPECT_EQ(view().deviceId(), 2);
    EXPECT_EQ(ui().angle->text(), QStringLiteral("1.23457"));
    EXPECT_EQ(c.device(2)->angle, 1.23456789);
    EXPECT_EQ(a.RequestCount() + b.RequestCount(), 5u);
    EXPECT_TRUE(c.isSaved());

    dialog.reset();
    EXPECT_EQ(c.geometryDialog, nullptr);
    ASSERT_TRUE(settle(9));
    // Code 2 to every device, then once more to the device edited last.
    EXPECT_EQ(commonCodes(a), (Codes{{1, 2}, {1, 1}, {1, 2}, {2, 1}, {2, 2}}));
    EXPECT_EQ(commonCodes(b), (Codes{{1, 3}, {2, 3}, {2, 3}}));
}

TEST_F(GeometryDialog, TheAngleEditorCorrectsItsTextAndRotatesTheGrid) {
    c.device(1)->angle = 30.0;
    open(1);
    struct Case {
        const char* typed;  // typed key by key over the selected text; empty: erased
        const char* shown;
        double angle;
    };
    const std::vector<Case> cases = {
        {"-", "-", 0.0},       // a lone minus turns to 0 and stays
        {"05", "5", 5.0},      // a leading zero goes
        {"-12.5", "-12.5", -12.5},
        {"007", "7", 7.0},
        {"", "0", 0.0},        // cleared: "0"
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.typed);
        ui().angle->setText(QStringLiteral("33"));
        ui().angle->selectAll();
        if (*k.typed) QTest::keyClicks(ui().angle, QString::fromLatin1(k.typed));
        else QTest::keyClick(ui().angle, Qt::Key_Backspace);
        EXPECT_EQ(ui().angle->text(), QString::fromLatin1(k.shown));
        EXPECT_DOUBLE_EQ(c.device(1)->angle, k.angle);
        EXPECT_DOUBLE_EQ(view().model().angle(), k.angle);
    }
    // Every rotation went by the difference to the angle before: the flat
    // grid stored at 30 degrees now stands at 30 degrees back.
    const double s30 = 0.5, c30 = std::sqrt(3.0) / 2;
    EXPECT_NEAR(c.device(1)->grid[40][40].x, c30 - s30, 1e-9);
    EXPECT_NEAR(c.device(1)->grid[40][40].y, c30 + s30, 1e-9);

    struct Wheel {
        const char* from;
        bool away;
        const char* to;
    };
    for (const Wheel& w : {Wheel{"359.95", true, "360"}, Wheel{"-360", false, "-360"}, Wheel{"10", false, "9.9"},
                           Wheel{"360", true, "360"}, Wheel{"-", true, "0.1"}}) {
        SCOPED_TRACE(w.from);
        ui().angle->setText(QString::fromLatin1(w.from));
        wheel(w.away);
        EXPECT_EQ(ui().angle->text(), QString::fromLatin1(w.to));
        EXPECT_DOUBLE_EQ(c.device(1)->angle, QString::fromLatin1(w.to).toDouble());
    }
    // The presets.
    const std::pair<QPushButton*, const char*> presets[] = {
        {ui().angleB, "90"}, {ui().angleC, "180"}, {ui().angleD, "270"}, {ui().angleA, "0"}};
    for (const auto& [button, text] : presets) {
        button->click();
        EXPECT_EQ(ui().angle->text(), QString::fromLatin1(text));
        EXPECT_EQ(c.device(1)->angle, QString::fromLatin1(text).toDouble());
    }
    EXPECT_GT(countOf(a, NETCMD::SetVertexData), 10u);
    EXPECT_FALSE(c.isSaved());
}

TEST_F(GeometryDialog, WholeGridModePutsTheMirrorBoxesAsideAcrossASwitch) {
    c.device(1)->adjustMode = 1;
    c.device(1)->adjustValue = 0x100;
    c.device(2)->adjustMode = 2;
    c.device(2)->adjustValue = 0x200;
    open(1);
    EXPECT_TRUE(ui().fourPoint->isChecked());
    EXPECT_TRUE(ui().leftRightImage->isChecked());
    EXPECT_FALSE(ui().upDownImage->isChecked());

    ui().wholePoint->click();
    EXPECT_EQ(view().model().adjustMode(), 3);
    EXPECT_EQ(view().model().mirrorFlags(), 0);
    EXPECT_FALSE(ui().leftRightImage->isEnabled());
    EXPECT_FALSE(ui().leftRightImage->isChecked());
    // A second click on the same radio keeps what was put aside.
    ui().wholePoint->click();

    ui().listWidget->setCurrentRow(1);
    EXPECT_TRUE(ui().ninePoint->isChecked());
    EXPECT_TRUE(ui().upDownImage->isChecked());  // shown from the record, still disabled
    EXPECT_FALSE(ui().leftRightImage->isEnabled());
    EXPECT_FALSE(ui().upDownImage->isEnabled());

    ui().fourPoint->click();
    EXPECT_TRUE(ui().leftRightImage->isEnabled());
    EXPECT_TRUE(ui().upDownImage->isEnabled());
    EXPECT_TRUE(ui().leftRightImage->isChecked());
    EXPECT_FALSE(ui().upDownImage->isChecked());
    EXPECT_EQ(view().model().adjustMode(), 1);
    EXPECT_EQ(view().model().mirrorFlags(), 0x100);

    // The mirror boxes keep the selection; the same radio again changes nothing.
    ui().upDownImage->click();
    EXPECT_EQ(view().model().mirrorFlags(), 0x300);
    ui().fourPoint->click();
    EXPECT_EQ(view().model().mirrorFlags(), 0x300);
    EXPECT_EQ(countOf(a, NETCMD::SetVertexData) + countOf(b, NETCMD::SetVertexData), 0u);
}

TEST_F(GeometryDialog, EscapeTogglesFullScreenAndNeverCloses) {
    open(1);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(ui().topPanel->isHidden());
    EXPECT_TRUE(ui().rightWidget->isHidden());
    EXPECT_FALSE(ui().setFullscreen->isHidden());
    EXPECT_EQ(ui().setFullscreen->text(), QStringLiteral("恢复"));
    EXPECT_TRUE(dialog->windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(ui().widget_2->styleSheet().contains(QStringLiteral("#191919")));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(ui().topPanel->isHidden());
    EXPECT_FALSE(ui().rightWidget->isHidden());
    EXPECT_EQ(ui().setFullscreen->text(), QStringLiteral("全屏"));
    EXPECT_FALSE(dialog->windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 0);
    // The button does the same.
    ui().setFullscreen->click();
    EXPECT_TRUE(ui().topPanel->isHidden());
    ui().setFullscreen->click();
    EXPECT_FALSE(ui().topPanel->isHidden());
}

TEST_F(GeometryDialog, ResetFlattensTheGridKeepsTheModeAndSendsIt) {
    DeviceRecord& d = *c.device(1);
    d.adjustMode = 0;
    d.adjustValue = 0x100;
    d.angle = 30.0;
    d.grid[5][5] = DOUBLE_POINT{0.25, 0.25};
    d.controlPoints[8] = DOUBLE_POINT{0.1, 0.1};
    open(1);
    ASSERT_TRUE(settle(5));
    const size_t before = a.RequestCount();
    ui().reset->click();
    const DeviceRecord flat;
    EXPECT_EQ(std::memcmp(d.grid, flat.grid, sizeof(VERTEX_GRID)), 0);
    EXPECT_EQ(std::memcmp(d.controlPoints, flat.controlPoints, sizeof d.controlPoints), 0);
    EXPECT_EQ(d.angle, 0.0);
    EXPECT_EQ(d.adjustMode, 0);
    EXPECT_EQ(d.adjustValue, 0x100);
    EXPECT_TRUE(ui().randomPoint->isChecked());
    EXPECT_EQ(ui().angle->text(), QStringLiteral("0"));
    EXPECT_EQ(view().model().adjustMode(), 0);
    ASSERT_TRUE(a.WaitForRequests(before + 1));
    const std::vector<Request> got = a.Requests();
    EXPECT_EQ(got[before].head.command, NETCMD::SetVertexData);
    ASSERT_EQ(got[before].body.size(), sizeof(VERTEX_GRID));
    EXPECT_EQ(std::memcmp(got[before].body.data(), flat.grid, sizeof(VERTEX_GRID)), 0);
    EXPECT_FALSE(c.isSaved());
}

TEST_F(GeometryDialog, APictureIsChosenThroughThePromptsAndSentToTheDevice) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath(QStringLiteral("white.png"));
    QImage white(32, 32, QImage::Format_RGB32);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(good));
    const QString bad = dir.filePath(QStringLiteral("bad.png"));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("no picture");
    f.close();

    open(2);
    ASSERT_TRUE(settle(5));
    EXPECT_FALSE(ui().addImage->isEnabled());
    ui().enableBackgroundImage->click();
    EXPECT_TRUE(ui().addImage->isEnabled());
    const QString defaultPath = ui().picPath->text();
    EXPECT_TRUE(defaultPath.endsWith(QStringLiteral("/defaultpic.jpg")));

    ScriptedPrompts prompts;
    prompts.answerPath(QString()).answerPath(bad).answer(QMessageBox::Ok).answerPath(good);
    const size_t before = b.RequestCount();
    ui().addImage->click();  // cancelled
    ui().addImage->click();  // unreadable
    EXPECT_EQ(ui().picPath->text(), defaultPath);
    EXPECT_EQ(b.RequestCount(), before);
    ui().addImage->click();
    ASSERT_EQ(prompts.calls().size(), 4);
    EXPECT_EQ(prompts.calls()[0].title, QStringLiteral("添加图片"));
    EXPECT_EQ(prompts.calls()[0].filter, QStringLiteral("image(*.png *.jpg *.jpeg *.gif)"));
    EXPECT_TRUE(prompts.calls()[0].dir.isEmpty());
    EXPECT_EQ(prompts.calls()[2].kind, kestrane::PromptRequest::Warning);
    EXPECT_EQ(prompts.calls()[2].title, QStringLiteral("媒体错误"));
    EXPECT_EQ(prompts.calls()[2].text, QStringLiteral("您选择的图片无法解析"));
    EXPECT_EQ(ui().picPath->text(), good);
    EXPECT_EQ(ui().picPath->toolTip(), good);
    EXPECT_EQ(view().picturePath(), good);
    ASSERT_TRUE(b.WaitForRequests(before + 1));
    const Request sentPicture = b.Requests().back();
    EXPECT_EQ(sentPicture.head.command, NETCMD::SetBackgroundImage);
    EXPECT_EQ(std::string(sentPicture.head.textParam), "white.png");
    EXPECT_EQ(a.RequestCount(), 2u);  // server A heard only the opening codes
}

TEST_F(GeometryDialog, TheOpenerRunsTheDialogAndKeysReachTheViewWhileItIsOpen) {
    CalibrationDialogs dialogs;
    c.setCalibrationHooks(&dialogs);
    c.device(3)->adjustMode = 3;
    bool sawDialog = false;
    size_t gridsWhileOpen = 0;
    QTimer::singleShot(0, [&] {
        spinUntil([&] { return c.geometryDialog && c.geometryDialog->widgets().nativeWidget->isInitialised(); });
        sawDialog = c.geometryDialog != nullptr;
        c.handleGeometryKey(Qt::Key_Up);
        c.handleGeometryKey(Qt::Key_Up);
        gridsWhileOpen = countOf(a, NETCMD::SetVertexData);
        if (c.geometryDialog) c.geometryDialog->widgets().cancel->click();
    });
    c.openGeometryCorrection(3, nullptr);
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(c.geometryDialog, nullptr);
    EXPECT_EQ(gridsWhileOpen, 2u);
    EXPECT_NEAR(c.device(3)->grid[0][0].y, -1.0 + 0.002, 1e-12);
    // Closed: keys go nowhere.
    c.handleGeometryKey(Qt::Key_Up);
    EXPECT_EQ(countOf(a, NETCMD::SetVertexData), 2u);
    c.setCalibrationHooks(nullptr);
}
