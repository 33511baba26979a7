// The main window's tool box, menu dispatch, keys, busy overlay, import
// progress and auto-save, offscreen.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdlib>
#include <memory>

#include "kestrane/calibrationhooks.h"
#include "kestrane/dprogressbar.h"
#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/prompt.h"
#include "kestrane/settings.h"
#include "kestrane/sidepanelhooks.h"
#include "kestrane/stagewidget.h"
#include "kestrane/timeaxishooks.h"
#include "kestrane/timeaxiswidget.h"
#include "support/QtSpin.h"
#include "support/QtWidgetTestApp.h"

namespace {

class ToolBoxQt : public ::testing::Test, public kestrane::PromptProvider {
protected:
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        prompts << request.text;
        kestrane::PromptAnswer a;
        a.button = request.kind == kestrane::PromptRequest::Question ? QMessageBox::No : QMessageBox::Ok;
        return a;
    }
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        testApp();
        kestrane::setPromptProvider(this);
        MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
        GConfig::instance().setConnected(false);
        window = std::make_unique<MainWidget>();
        window->resize(1280, 800);
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        GConfig& g = GConfig::instance();
        g.setConnected(false);
        g.setSaved(true);
        window.reset();
        g.clearProject();
        g.setProjectPath(QString());
        g.setMagnet(false);
        g.setRealtimeUpdate(false);
        kestrane::setPromptProvider(nullptr);
        MainWidget::setStartPanelRunner(nullptr);
        QCoreApplication::processEvents();
    }
    void trigger(const QString& id) {
        QAction* a = window->actions().value(id);
        ASSERT_NE(a, nullptr) << id.toStdString();
        a->trigger();
    }

    QTemporaryDir m_config;
    std::unique_ptr<MainWidget> window;
    QStringList prompts;
};

TEST_F(ToolBoxQt, ControlsHaveTheirSizesTipsStatesAndLooks) {
    QPushButton* connect = window->connectButton();
    EXPECT_EQ(connect->size(), QSize(21, 21));
    EXPECT_EQ(connect->toolTip(), QStringLiteral("连接设备"));
    EXPECT_TRUE(connect->isCheckable());
    EXPECT_FALSE(connect->isChecked());
    EXPECT_EQ(connect->styleSheet(), window->notConnectedStyle());
    EXPECT_EQ(window->connectedStyle(),
              QStringLiteral("QPushButton {background:url(:/images/connect.png);border:0px;padding-right:3px;} "
                             "QPushButton:hover {background:url(:/images/connect_hover.png);} QPushButton:pressed "
                             "{background:url(:/images/connect_pressed.png);} QPushButton:disabled "
                             "{background:url(:/images/connect_pressed.png);}"));
    EXPECT_EQ(window->updateButton()->size(), QSize(41, 20));
    EXPECT_FALSE(window->updateButton()->isEnabled());
    EXPECT_EQ(window->updateButton()->styleSheet(),
              QStringLiteral("QPushButton {background:url(:/images/update_disable.png);border:0px;}"));
    EXPECT_EQ(window->realTimeCheckBox()->objectName(), QStringLiteral("realTimeCheckBox"));
    EXPECT_EQ(window->realTimeCheckBox()->text(), QStringLiteral("实时更新"));
    EXPECT_FALSE(window->realTimeCheckBox()->isEnabled());
    EXPECT_TRUE(window->selectMediaButton()->isChecked());
    EXPECT_FALSE(window->selectDeviceButton()->isChecked());
    EXPECT_EQ(window->selectMediaButton()->styleSheet(),
              QStringLiteral("QPushButton {background:url(:/images/select_media_01.png);border:0px;} "
                             "QPushButton:hover {background:url(:/images/select_media_02.png)} QPushButton:pressed "
                             "{background:url(:/images/select_media_03.png)} QPushButton:checked "
                             "{background:url(:/images/select_media_03.png)} QPushButton:disabled "
                             "{background:url(:/images/select_media_04.png)}"));
    EXPECT_EQ(window->snapButton()->styleSheet(),
              QStringLiteral("QPushButton {background:url(:/images/toolbox_snap.png);border:0px;} "
                             "QPushButton:hover {background:url(:/images/toolbox_snap_2.png)} QPushButton:pressed "
                             "{background:url(:/images/toolbox_snap_3.png)} QPushButton:checked "
                             "{background:url(:/images/toolbox_snap_3.png)} QPushButton:disabled "
                             "{background:url(:/images/toolbox_snap_4.png)}"));
    EXPECT_EQ(window->addMediaButton()->styleSheet(),
              QStringLiteral("QPushButton {background:url(:/images/添加媒体_01.png);border:0px;} "
                             "QPushButton:hover {background:url(:/images/添加媒体_02.png)} QPushButton:pressed "
                             "{background:url(:/images/添加媒体_03.png)} "));
    const QStringList tips{"左对齐", "左右居中对齐", "右对齐", "上对齐", "上下居中对齐", "下对齐"};
    ASSERT_EQ(window->alignButtons().size(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(window->alignButtons()[i]->toolTip(), tips[i]);
        EXPECT_EQ(window->alignButtons()[i]->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(window->handButton()->toolTip(), QStringLiteral("平移"));
}

TEST_F(ToolBoxQt, PendingMediaRequestsMergeByTheTable) {
    struct Case {
        int pending, request, result;
    } cases[] = {{0, 1, 1}, {0, 2, 2}, {0, 3, 3}, {1, 2, 1}, {1, 3, 1}, {2, 1, 1}, {2, 2, 2},
                 {2, 3, 2}, {2, 0, 2}, {3, 1, 1}, {3, 2, 2}, {3, 0, 0}, {7, 1, 7}};
    for (const Case& c : cases)
        EXPECT_EQ(MainWidget::mergeMediaRequest(c.pending, c.request), c.result) << c.pending << "," << c.request;
    // Through the window's lock: read, merge, clear.
    EXPECT_EQ(window->mediaUpdateRequest(1), 0);
    EXPECT_EQ(window->mediaUpdateRequest(2, 3), 3);
    EXPECT_EQ(window->mediaUpdateRequest(2, 2), 2);
    EXPECT_EQ(window->mediaUpdateRequest(2, 3), 2);
    EXPECT_EQ(window->mediaUpdateRequest(3), 0);
    // The model's real-time update merges through the hook.
    GConfig::instance().setRealtimeUpdate(true);
    GConfig::instance().requestRealtimeUpdate(true);
    EXPECT_EQ(window->mediaUpdateRequest(1), 2);
    window->mediaUpdateRequest(3);
}

TEST_F(ToolBoxQt, TheConnectButtonDrivesTheUpdateControls) {
    QPushButton* update = window->updateButton();
    QCheckBox* live = window->realTimeCheckBox();
    window->connectButton()->setChecked(true);
    EXPECT_TRUE(update->isEnabled());
    EXPECT_TRUE(live->isEnabled());
    EXPECT_TRUE(update->styleSheet().contains(QStringLiteral("update_hover.png")));

    live->click();
    EXPECT_TRUE(GConfig::instance().isRealtimeUpdate());
    EXPECT_FALSE(update->isEnabled());
    EXPECT_TRUE(window->actions().value(QStringLiteral("realtime_update"))->isChecked());

    // Disconnecting clears the real-time switch; reconnecting leaves it off.
    window->connectButton()->setChecked(false);
    EXPECT_FALSE(live->isChecked());
    EXPECT_FALSE(live->isEnabled());
    EXPECT_FALSE(update->isEnabled());
    window->connectButton()->setChecked(true);
    EXPECT_FALSE(live->isChecked());
    EXPECT_TRUE(update->isEnabled());
    EXPECT_FALSE(GConfig::instance().isRealtimeUpdate());
    EXPECT_FALSE(window->actions().value(QStringLiteral("realtime_update"))->isChecked());

    // The update button asks for a full synchronisation, also over a partial one.
    window->mediaUpdateRequest(2, 3);
    update->click();
    EXPECT_EQ(window->mediaUpdateRequest(1), 1);
    window->mediaUpdateRequest(3);
    window->connectButton()->setChecked(false);
}

TEST_F(ToolBoxQt, SelectButtonsKeepOneModeChosen) {
    GConfig& g = GConfig::instance();
    window->selectMediaButton()->click();  // already chosen: stays chosen
    EXPECT_TRUE(window->selectMediaButton()->isChecked());
    EXPECT_EQ(g.editMode(), 1);
    window->selectDeviceButton()->click();
    EXPECT_TRUE(window->selectDeviceButton()->isChecked());
    EXPECT_FALSE(window->selectMediaButton()->isChecked());
    EXPECT_EQ(g.editMode(), 0);
    window->setSelectMode(true, true);
    EXPECT_TRUE(window->selectMediaButton()->isChecked());
    EXPECT_FALSE(window->selectDeviceButton()->isEnabled());
    window->setSelectMode(false, false);
    EXPECT_TRUE(window->selectMediaButton()->isEnabled());
    EXPECT_TRUE(window->selectDeviceButton()->isChecked());
    window->resetToolBox();
    EXPECT_TRUE(window->selectMediaButton()->isChecked());
    EXPECT_EQ(g.editMode(), 1);
}

TEST_F(ToolBoxQt, TheHandToolTurnsSnapAndMoveConstraintsOff) {
    GConfig& g = GConfig::instance();
    window->leftRightButton()->click();
    EXPECT_EQ(g.moveConstraint(), 1);
    window->upDownButton()->click();
    EXPECT_EQ(g.moveConstraint(), 2);
    EXPECT_FALSE(window->leftRightButton()->isChecked());
    window->snapButton()->click();
    EXPECT_TRUE(g.magnet());

    window->handButton()->click();
    EXPECT_TRUE(g.handTool());
    EXPECT_EQ(g.moveConstraint(), 0);
    EXPECT_FALSE(g.magnet());
    for (QPushButton* b : window->alignButtons()) EXPECT_FALSE(b->isEnabled());
    for (QPushButton* b : {window->snapButton(), window->upDownButton(), window->selectMediaButton()})
        EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(window->upDownButton()->isChecked());

    window->handButton()->click();
    EXPECT_FALSE(g.handTool());
    EXPECT_TRUE(window->snapButton()->isEnabled());
    EXPECT_FALSE(window->snapButton()->isChecked());  // not checked again
    EXPECT_FALSE(window->upDownButton()->isChecked());
}

// Side-panel calls of the dispatcher, recorded.
class RecordingSidePanel : public SidePanelHooks {
public:
    void showMediaTab() override { calls << "media tab"; }
    void showDeviceTab() override { calls << "device tab"; }
    void showControlTab(int page) override { calls << QStringLiteral("control tab %1").arg(page); }
    void showMediaAttribute(int id, bool tab) override { calls << QStringLiteral("media %1 %2").arg(id).arg(tab); }
    QStringList calls;
};

TEST_F(ToolBoxQt, MenuCommandsReachTheirPanes) {
    GConfig& g = GConfig::instance();
    TimeAxisWidget* axis = window->timeAxisWidget();

    trigger(QStringLiteral("play_control_speed_1.5"));
    EXPECT_EQ(axis->speedIndex(), 1);
    EXPECT_FALSE(window->actions().value(QStringLiteral("play_control_speed_1"))->isChecked());
    trigger(QStringLiteral("play_control_speed_2"));
    EXPECT_EQ(axis->speedIndex(), 2);
    EXPECT_FALSE(window->actions().value(QStringLiteral("play_control_speed_1.5"))->isChecked());

    const int rows = axis->layerRowCount();
    trigger(QStringLiteral("add_time_axis_layer"));
    EXPECT_GT(axis->layerRowCount(), rows);

    trigger(QStringLiteral("stage_resize50"));
    EXPECT_EQ(window->stageWidget()->scaleCombo()->currentIndex(), 2);

    trigger(QStringLiteral("magnet"));
    EXPECT_TRUE(g.magnet());
    EXPECT_TRUE(window->snapButton()->isChecked());
    trigger(QStringLiteral("magnet"));
    EXPECT_FALSE(g.magnet());

    // "update" only while the update button is enabled.
    trigger(QStringLiteral("update"));
    EXPECT_EQ(window->mediaUpdateRequest(1), 0);

    // "connect" with no device: the refusal; "disconnect" while not connected: nothing.
    trigger(QStringLiteral("connect"));
    EXPECT_EQ(prompts, QStringList{QStringLiteral("请先添加设备")});
    EXPECT_TRUE(window->connectButton()->isEnabled());
    prompts.clear();
    trigger(QStringLiteral("disconnect"));
    EXPECT_TRUE(prompts.isEmpty());

    SidePanelHooks& previous = g.sidePanelHooks();
    RecordingSidePanel side;
    g.setSidePanelHooks(&side);
    trigger(QStringLiteral("material_submenu_list"));
    trigger(QStringLiteral("device_submenu_list"));
    trigger(QStringLiteral("control_submenu_in"));
    trigger(QStringLiteral("control_submenu_out"));
    trigger(QStringLiteral("material_submenu_attr"));  // nothing selected: media 0
    spinUntil([&] { return side.calls.size() >= 5; }, 30000);
    g.setSidePanelHooks(&previous);
    EXPECT_EQ(side.calls, (QStringList{"media tab", "device tab", "control tab 0", "control tab 1", "media 0 1"}));
}

TEST_F(ToolBoxQt, PlayControlsNeedAnUnlockedLayer) {
    GConfig& g = GConfig::instance();
    TimeAxisWidget* axis = window->timeAxisWidget();
    axis->clearLayers();
    trigger(QStringLiteral("add_play_control"));
    EXPECT_EQ(prompts, QStringList{QStringLiteral("请先在时间轴上添加图层，然后才能添加控制命令")});
    EXPECT_TRUE(g.playControls().isEmpty());

    axis->addLayer(false);
    prompts.clear();
    trigger(QStringLiteral("add_jump_control"));
    ASSERT_TRUE(prompts.isEmpty()) << prompts.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(g.playControls().size(), 1);
    const PlayControlRecord* r = g.playControls().first();
    EXPECT_EQ(r->type, 2);
    // Made without a time, its block puts it at the play head.
    EXPECT_EQ(r->time, g.currentTime());
    EXPECT_EQ(r->keyCode, 0x01010002);
    EXPECT_EQ(r->id, 1);
    EXPECT_EQ(r->layerRow, axis->layerRowNear(g.currentLayer()));
}

// Transport calls, recorded.
class RecordingAxis : public TimeAxisHooks {
public:
    void play() override { calls << "play"; }
    void pause() override { calls << "pause"; }
    void setPlayButtonDown(bool down) override {
        m_down = down;
        calls << (down ? "down" : "up");
    }
    bool isPlayButtonDown() const override { return m_down; }
    QStringList calls;
    bool m_down = false;
};

class RecordingCalibration : public CalibrationHooks {
public:
    void handleKey(int key) override { keys << key; }
    QList<int> keys;
};

TEST_F(ToolBoxQt, SpaceTogglesTheShowOutsideTextFieldsAndFunctionKeysAlways) {
    GConfig& g = GConfig::instance();
    TimeAxisHooks& previous = g.timeAxisHooks();
    RecordingAxis axis;
    g.setTimeAxisHooks(&axis);

    auto send = [&](QObject* target, QEvent::Type type, int key, bool repeat = false) {
        QKeyEvent e(type, key, Qt::NoModifier, QString(), repeat);
        return window->eventFilter(target, &e);
    };
    // Controls of the main window itself; a widget of another window (here
    // one named like a control dialog's) never drives the show.
    QWidget& plain = *window->stageWidget();
    QLineEdit& edit = *new QLineEdit(window.get());
    QPushButton& button = *new QPushButton(window.get());
    QWidget dialog;
    dialog.setObjectName(QStringLiteral("DPlayControlWindow"));

    // The native window's copy of a key is left to reach the focused widget.
    QWindow native;
    EXPECT_FALSE(send(&native, QEvent::KeyPress, Qt::Key_Space));
    EXPECT_FALSE(send(&native, QEvent::KeyRelease, Qt::Key_F5));
    for (QObject* excluded : std::initializer_list<QObject*>{&edit, &button, &dialog}) {
        EXPECT_FALSE(send(excluded, QEvent::KeyPress, Qt::Key_Space));
        EXPECT_FALSE(send(excluded, QEvent::KeyRelease, Qt::Key_Space));
    }
    EXPECT_TRUE(axis.calls.isEmpty());

    // Held down: pressed once, auto-repeats pass, one toggle on the last release.
    EXPECT_TRUE(send(&plain, QEvent::KeyPress, Qt::Key_Space));
    EXPECT_FALSE(send(&plain, QEvent::KeyPress, Qt::Key_Space, true));
    EXPECT_FALSE(send(&plain, QEvent::KeyRelease, Qt::Key_Space, true));
    EXPECT_TRUE(send(&plain, QEvent::KeyRelease, Qt::Key_Space));
    g.setPreviewPlaying(true);
    EXPECT_TRUE(send(&plain, QEvent::KeyPress, Qt::Key_Space));
    EXPECT_TRUE(send(&plain, QEvent::KeyRelease, Qt::Key_Space));
    g.setPreviewPlaying(false);
    EXPECT_EQ(axis.calls, (QStringList{"down", "up", "play", "down", "up", "pause"}));

    // Function keys are taken even in a text field of the window, on release
    // only.
    EXPECT_FALSE(send(&edit, QEvent::KeyPress, Qt::Key_F5));
    EXPECT_TRUE(send(&edit, QEvent::KeyRelease, Qt::Key_F5));
    EXPECT_FALSE(send(&edit, QEvent::KeyRelease, Qt::Key_F5, true));

    // The geometry window gets its keys while a geometry dialog is open.
    // Its keys are read from its native window, which is what carries the
    // name.
    RecordingCalibration calibration;
    g.setCalibrationHooks(&calibration);
    QWindow geometry;
    geometry.setObjectName(QStringLiteral("GeometryCorrectionWindow"));
    send(&geometry, QEvent::KeyPress, Qt::Key_Left);
    EXPECT_TRUE(calibration.keys.isEmpty());
    // Only its presence counts here; the dialog itself is another window's.
    int stand = 0;
    g.geometryDialog = reinterpret_cast<GeometryCorrection*>(&stand);
    send(&geometry, QEvent::KeyPress, Qt::Key_Left);
    send(&plain, QEvent::KeyPress, Qt::Key_Right);
    g.geometryDialog = nullptr;
    g.setCalibrationHooks(nullptr);
    EXPECT_EQ(calibration.keys, QList<int>{Qt::Key_Left});

    g.setTimeAxisHooks(&previous);
}

TEST_F(ToolBoxQt, FunctionKeysRunTheFirstBoundControl) {
    GConfig& g = GConfig::instance();
    TimeAxisWidget* axis = window->timeAxisWidget();
    axis->setAxisLength(60000, false);
    g.setTimelineLengthValue(60000);
    auto add = [&](int type, int key, int time, const QString& name = QString()) {
        PlayControlRecord r;
        r.id = g.nextPlayControlId();
        r.type = type;
        r.keyCode = key;
        r.time = time;
        r.name = name;
        return g.addPlayControl(r);
    };
    add(0, Qt::Key_F5, 3000);
    add(1, Qt::Key_F5, 7000);
    PlayControlRecord* jump = add(2, Qt::Key_F6, 0);
    jump->jumpMode = 1;
    jump->targetName = QStringLiteral("nowhere");
    add(5, Qt::Key_F7, 9000);

    EXPECT_TRUE(window->triggerFunctionKey(Qt::Key_F5));
    EXPECT_EQ(g.currentTime(), 3000);
    EXPECT_TRUE(axis->isPaused());

    // A jump to a control that does not exist does nothing at all.
    EXPECT_TRUE(window->triggerFunctionKey(Qt::Key_F6));
    EXPECT_EQ(g.currentTime(), 3000);
    // Records of other types are passed over; unbound keys do nothing.
    EXPECT_FALSE(window->triggerFunctionKey(Qt::Key_F7));
    EXPECT_FALSE(window->triggerFunctionKey(Qt::Key_F8));
    EXPECT_EQ(g.currentTime(), 3000);
}

TEST_F(ToolBoxQt, TheBusyOverlayAndTheProgressDialogSitOnTheWindow) {
    EXPECT_TRUE(window->isProgressHidden());
    EXPECT_FALSE(window->isWaitingShown());
    window->showWaiting(true);
    ASSERT_NE(window->waitingCover(), nullptr);
    EXPECT_TRUE(window->isWaitingShown());
    auto check = [&] {
        const int w = window->width(), h = window->height();
        EXPECT_EQ(window->waitingCover()->geometry(), QRect(0, 29, w, h - 29));
        EXPECT_EQ(window->waitingTopCover()->geometry(), QRect(0, 0, w - 32, 29));
        const int k = ((h - 29 - 1) - 30) / 2;
        EXPECT_EQ(window->waitingAnimation()->pos(), QPoint(((w - 1) - 30) / 2, int(k - 0.2 * k)));
        EXPECT_EQ(window->waitingAnimation()->size(), QSize(31, 31));
    };
    check();
    window->resize(1000, 700);
    QCoreApplication::processEvents();
    check();

    window->showProgress(true);
    EXPECT_FALSE(window->isProgressHidden());
    window->updateProgress(3, 8, QStringLiteral("a.png"));
    EXPECT_EQ(window->progressDialog()->progress()->value(), 37);
    EXPECT_TRUE(window->progressDialog()->findChildren<QLabel*>().size() >= 1);
    bool found = false;
    for (QLabel* l : window->progressDialog()->findChildren<QLabel*>())
        found |= l->text() == QStringLiteral("正在导入3/8个媒体：a.png");
    EXPECT_TRUE(found);
    window->updateProgress(1, 0, QStringLiteral("b.png"));  // nothing to divide by
    EXPECT_EQ(window->progressDialog()->progress()->value(), 0);
    // The overlay coming back hides the dialog; going away hides everything.
    window->showWaiting(true);
    EXPECT_TRUE(window->isProgressHidden());
    EXPECT_TRUE(GConfig::instance().isWaitingHidden());
    window->showWaiting(false);
    EXPECT_FALSE(window->isWaitingShown());
}

TEST_F(ToolBoxQt, UntitledNamesSkipTakenFilesOnly) {
    QTemporaryDir dir;
    const QString folder = dir.path();
    EXPECT_EQ(MainWidget::nextUntitledPath(folder + QStringLiteral("/missing")), QString());
    EXPECT_EQ(MainWidget::nextUntitledPath(folder), QStringLiteral("无标题.vadra"));
    QDir(folder).mkdir(QStringLiteral("无标题.vadra"));  // a folder of that name is no file
    EXPECT_EQ(MainWidget::nextUntitledPath(folder), QStringLiteral("无标题.vadra"));
    QDir(folder).rmdir(QStringLiteral("无标题.vadra"));
    for (const QString& name : {QStringLiteral("无标题.vadra"), QStringLiteral("无标题(2).vadra"),
                                QStringLiteral("无标题(4).vadra")}) {
        QFile f(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(MainWidget::nextUntitledPath(folder), QStringLiteral("无标题(3).vadra"));
}

TEST_F(ToolBoxQt, AutoSaveNamesUntitledWorkAndWritesOnlyChanges) {
    GConfig& g = GConfig::instance();
    QTemporaryDir saves;
    {
        std::unique_ptr<QSettings> s = kestrane::openSettings();
        s->setValue(QStringLiteral("GeneralSettings/savePath"), saves.path());
        s->sync();
    }
    qint64 now = 100000;
    window->setClock([&] { return now; });
    window->setAutoSaveInterval(60);
    window->setLastSaveTime(uint(now));
    g.setProjectPath(QString());
    g.setSaved(true);
    const QString untitled = saves.path() + QStringLiteral("/无标题.vadra");

    now += 60;  // not yet past the interval
    window->autoSaveMonitor();
    EXPECT_TRUE(g.projectPath().isEmpty());

    now += 1;  // unchanged work: a name, no file
    window->autoSaveMonitor();
    EXPECT_EQ(g.projectPath(), untitled);
    EXPECT_FALSE(QFile::exists(untitled));
    EXPECT_EQ(window->lastSaveTime(), uint(now));

    // While busy nothing is written and the clock of the last save stays.
    g.setSaved(false);
    now += 100;
    window->showWaiting(true);
    window->autoSaveMonitor();
    EXPECT_FALSE(QFile::exists(untitled));
    EXPECT_EQ(window->lastSaveTime(), uint(now - 100));
    window->showWaiting(false);
    window->autoSaveMonitor();
    EXPECT_TRUE(QFile::exists(untitled));
    EXPECT_TRUE(g.isSaved());
}

TEST_F(ToolBoxQt, AStoredAutoSaveFolderThatIsGoneIsMadeAgain) {
    GConfig& g = GConfig::instance();
    QTemporaryDir saves;
    const QString folder = saves.path() + QStringLiteral("/演出/自动保存");
    {
        std::unique_ptr<QSettings> s = kestrane::openSettings();
        s->setValue(QStringLiteral("GeneralSettings/savePath"), folder);
        s->sync();
    }
    qint64 now = 7000;
    window->setClock([&] { return now; });
    window->setAutoSaveInterval(60);
    window->setLastSaveTime(uint(now));
    g.setProjectPath(QString());
    g.setSaved(false);
    now += 61;
    window->autoSaveMonitor();
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/无标题.vadra")));
    EXPECT_EQ(g.projectPath(), folder + QStringLiteral("/无标题.vadra"));
    EXPECT_TRUE(g.isSaved());
}

TEST_F(ToolBoxQt, AFailedAutoSaveLeavesTheProjectUntitled) {
    GConfig& g = GConfig::instance();
    QTemporaryDir saves;
    // A folder where the file would go: the write fails.
    ASSERT_TRUE(QDir(saves.path()).mkdir(QStringLiteral("无标题.vadra")));
    {
        std::unique_ptr<QSettings> s = kestrane::openSettings();
        s->setValue(QStringLiteral("GeneralSettings/savePath"), saves.path());
        s->sync();
    }
    qint64 now = 5000;
    window->setClock([&] { return now; });
    window->setAutoSaveInterval(60);
    window->setLastSaveTime(uint(now));
    g.setProjectPath(QString());
    g.setSaved(false);
    now += 61;
    window->autoSaveMonitor();
    EXPECT_TRUE(g.projectPath().isEmpty());
    EXPECT_FALSE(g.isSaved());
    EXPECT_TRUE(prompts.isEmpty());  // a failed auto-save is only logged
}

TEST_F(ToolBoxQt, SupervisionEdgeCasesWithoutServers) {
    GConfig& g = GConfig::instance();
    DeviceRecord d;
    d.serverIp = QStringLiteral("198.18.9.2");
    d.width = 1920;
    d.height = 1080;
    g.devices().insert(1, d);

    // A drop that names no server of the project (or one without a
    // session) changes nothing and says nothing.
    window->handleDroppedServers({QStringLiteral("198.18.7.2")});
    window->handleDroppedServers({QStringLiteral("198.18.9.2")});
    EXPECT_TRUE(prompts.isEmpty());
    EXPECT_TRUE(window->connectButton()->isEnabled());

    // A sync request while not connected: the warning, and the request ends.
    window->mediaUpdateRequest(2, 1);
    window->checkMediaUpdate();
    EXPECT_EQ(prompts, QStringList{QStringLiteral("当前设备未连上服务器，无法更新")});
    EXPECT_EQ(window->mediaUpdateRequest(1), 0);
    EXPECT_FALSE(window->isBusy());

    // Connected but no media file to send: the request ends at once.
    prompts.clear();
    g.setConnected(true);
    MediaSource m;
    m.kind = 1;
    m.path = QStringLiteral("/nonexistent/picture.png");
    g.media().insert(1, m);
    window->mediaUpdateRequest(2, 1);
    window->checkMediaUpdate();
    EXPECT_EQ(window->mediaUpdateRequest(1), 0);
    EXPECT_FALSE(window->isBusy());
    EXPECT_EQ(window->pendingMediaThreads(), 0);

    // Progress: over a total of 0 it shows 100 %; mode 3 shows none.
    window->receiveMediaSyncStatus(d.serverIp, {1}, {1}, 1, 0, 3);
    EXPECT_EQ(g.devices()[1].syncProgress, -1);
    window->receiveMediaSyncStatus(d.serverIp, {1}, {1}, 1, 0, 1);
    EXPECT_EQ(g.devices()[1].syncProgress, 100);
    window->showMediaSyncResult(d.serverIp, 0.426, true);
    EXPECT_EQ(g.devices()[1].syncProgress, 43);
    EXPECT_TRUE(g.devices()[1].syncFailed);
    g.setConnected(false);
}

// A message box of one connect result runs an event loop, where the next
// result may be delivered: that one waits until the first is done.
TEST_F(ToolBoxQt, AConnectResultArrivingDuringTheBoxOfAnotherWaitsForIt) {
    GConfig& g = GConfig::instance();
    for (const char* ip : {"198.18.8.2", "198.18.9.2"}) {
        DeviceRecord d;
        d.serverIp = QString::fromLatin1(ip);
        g.devices().insert(g.nextDeviceId(), d);
    }
    struct Nested : kestrane::PromptProvider {
        MainWidget* window = nullptr;
        QStringList texts;
        bool secondOnlineInside = true;
        kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
            texts << request.text;
            if (texts.size() == 1) {
                window->connectFinished({2}, QStringLiteral("198.18.9.2"), 0, true);
                secondOnlineInside = GConfig::instance().device(2)->online;
            }
            kestrane::PromptAnswer a;
            a.button = QMessageBox::Ok;
            return a;
        }
    } nested;
    nested.window = window.get();
    kestrane::setPromptProvider(&nested);
    // One server failed: its warning; the other's result comes in meanwhile.
    window->connectFinished({1}, QStringLiteral("198.18.8.2"), -1, true);
    kestrane::setPromptProvider(this);
    ASSERT_GE(nested.texts.size(), 1);
    EXPECT_TRUE(nested.texts.first().contains(QStringLiteral("198.18.8.2")));
    EXPECT_FALSE(nested.secondOnlineInside);  // not handled inside the box
    EXPECT_TRUE(g.device(2)->online);          // handled after it
    EXPECT_FALSE(g.device(1)->online);
    g.setConnected(false);
    window->connectButton()->setChecked(false);
}

}  // namespace
