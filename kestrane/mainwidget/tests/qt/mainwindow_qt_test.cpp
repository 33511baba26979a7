#include <gtest/gtest.h>

#include <QComboBox>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QSplitter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>

#include <cstdlib>

#include "kestrane/common.h"
#include "kestrane/controlsidebar.h"
#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/outcontrollist.h"
#include "kestrane/prompt.h"
#include "kestrane/rightsidebar.h"
#include "kestrane/scene.h"
#include "kestrane/stagewidget.h"
#include "kestrane/timeaxiswidget.h"
#include "support/QtWidgetTestApp.h"
#include "support/support.h"

namespace {

// The whole main window offscreen, its own configuration folder, and the
// operator's answers scripted: questions get `answer`, save dialogs
// `savePath`, open dialogs `openPath`.
class MainWindowQt : public ::testing::Test, public kestrane::PromptProvider {
protected:
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        (request.isMessage() ? prompts : dialogs) << request.title;
        kestrane::PromptAnswer a;
        a.button = request.kind == kestrane::PromptRequest::Question ? answer : QMessageBox::Ok;
        if (request.kind == kestrane::PromptRequest::SaveFile && !savePath.isEmpty()) a.paths << savePath;
        if (request.kind == kestrane::PromptRequest::OpenFile && !openPath.isEmpty()) a.paths << openPath;
        return a;
    }

    void SetUp() override {
        setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        testApp();
        kestrane::setPromptProvider(this);
        MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
        GConfig& g = GConfig::instance();
        g.setConnected(false);
        window = std::make_unique<MainWidget>();
        window->resize(1280, 800);
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        GConfig& g = GConfig::instance();
        g.setSaved(true);
        window.reset();
        g.clearProject();
        g.setProjectPath(QString());
        kestrane::setPromptProvider(nullptr);
        MainWidget::setStartPanelRunner(nullptr);
        QCoreApplication::processEvents();
    }

    QString path(const QString& name) const { return m_files.filePath(name); }

    // A device record with its stage item and tree row.
    int addDevice(const QString& name, int w, int h) {
        GConfig& g = GConfig::instance();
        const int id = g.nextDeviceId();
        DeviceRecord d;
        d.name = name;
        d.serverIp = QStringLiteral("127.0.0.1");
        d.width = w;
        d.height = h;
        g.devices().insert(id, d);
        g.sidePanelHooks().insertDeviceItem(id, 0, false);
        g.stageHooks().addDeviceItem(id);
        return id;
    }

    // A red picture file in the media library, placed on the stage and on
    // the first layer.
    int addPicture(int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString file = path(QStringLiteral("red.png"));
        EXPECT_TRUE(image.save(file));
        GConfig& g = GConfig::instance();
        const int id = g.nextMediaId();
        MediaSource m;
        m.kind = 1;
        m.path = file;
        m.x = 0;
        m.y = 0;
        m.width = w;
        m.height = h;
        m.nativeWidth = w;
        m.nativeHeight = h;
        m.start = 0;
        m.duration = 10000;
        m.layer = 0;
        m.id = id;
        g.mediaLibrary().append(m);
        g.setMediaRecord(m, id);
        g.stageHooks().addMediaItem(id);
        window->timeAxisWidget()->addItemToLayer(id, 0, 0);
        return id;
    }

    QAction* action(const QString& id) const { return window->actions().value(id); }

    QTemporaryDir m_config;
    QTemporaryDir m_filesDir;
    QDir m_files{m_filesDir.path()};
    std::unique_ptr<MainWidget> window;
    QStringList prompts;  // message boxes
    QStringList dialogs;  // file dialogs
    QMessageBox::StandardButton answer = QMessageBox::No;
    QString savePath;
    QString openPath;
};

TEST_F(MainWindowQt, TheWindowHoldsStageTimeAxisAndSidebarAndShowsADeviceWithAPicture) {
    MainWidget& w = *window;
    GConfig& g = GConfig::instance();
    // Panes in place, registered with the model.
    QSplitter* vertical = w.findChild<QSplitter*>(QStringLiteral("vertical"));
    QSplitter* horizontal = w.findChild<QSplitter*>(QStringLiteral("horizontal"));
    ASSERT_TRUE(vertical && horizontal);
    EXPECT_EQ(vertical->orientation(), Qt::Vertical);
    EXPECT_EQ(vertical->widget(0), horizontal);
    EXPECT_EQ(vertical->widget(1), w.timeAxisWidget());
    EXPECT_EQ(horizontal->widget(0), w.stageWidget());
    EXPECT_EQ(horizontal->widget(1), w.rightSidebar());
    EXPECT_EQ(w.rightSidebar()->objectName(), QStringLiteral("rightSidebar"));
    EXPECT_EQ(g.stageWidget, w.stageWidget());
    EXPECT_EQ(g.timeAxis, w.timeAxisWidget());
    EXPECT_EQ(g.rightSidebar, w.rightSidebar());
    for (const char* name : {"topBar", "toolboxBar", "menubar", "minimize", "maximize", "closewindow"})
        EXPECT_NE(w.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(w.findChild<QWidget*>(QStringLiteral("topBar"))->height(), 29);
    EXPECT_EQ(w.menuBar()->width(), 490);
    // The sidebar keeps its width whatever the window's.
    for (int width : {1280, 1000})
    {
        w.resize(width, 800);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.rightSidebar()->width(), 240) << width;
    }
    w.resize(1280, 800);
    // The menu bar follows the model: its top menus in order, every
    // entry carries its id.
    const QList<QAction*> tops = w.menuBar()->actions();
    ASSERT_EQ(tops.size(), g.topMenus().size());
    for (int i = 0; i < tops.size(); ++i) EXPECT_EQ(tops.at(i)->text(), g.topMenus().at(i).at(1));
    for (const QString& id : {"new", "open", "save", "save_as", "settings", "add_device_hd", "del"}) {
        ASSERT_NE(action(id), nullptr) << id.toStdString();
        EXPECT_EQ(action(id)->property("action").toString(), id);
    }
    for (const QString& id : g.disabledActions())
        if (action(id)) EXPECT_FALSE(action(id)->isEnabled()) << id.toStdString();
    EXPECT_EQ(action("save")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));

    // A device and a picture over it, through the model.
    const int device = addDevice(QStringLiteral("显示1"), 1920, 1080);
    addPicture(1920, 1080);
    ASSERT_NE(g.device(device), nullptr);
    EXPECT_NE(g.device(device)->stageItem, nullptr);

    // The stage shows what plays at the current time once it advances.
    auto redIn = [&w](const QImage& image, QWidget* part) {
        const QRect r(part->mapTo(&w, QPoint(0, 0)), part->size());
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); y += 2)
            for (int x = r.left(); x <= r.right(); x += 2) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 60 && c.blue() < 60) ++n;
            }
        return n;
    };
    QImage shot;
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        g.stageHooks().advanceScene();
        QCoreApplication::processEvents();
        shot = w.grab().toImage();
        return redIn(shot, w.stageWidget()) > 1000;
    }));
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    ASSERT_TRUE(shot.save(QStringLiteral(SV_BINARY_DIR "/artefacts/main_window.png")));
    const QImage back(QStringLiteral(SV_BINARY_DIR "/artefacts/main_window.png"));
    ASSERT_EQ(back.size(), shot.size());
    // The title bar's own grey, in the empty stretch right of the menus.
    EXPECT_EQ(back.pixelColor(600, 14).name(), QStringLiteral("#343434"));
    // The picture shows red in the stage's part of the saved picture, and
    // nothing of it spills into the sidebar.
    EXPECT_GT(redIn(back, w.stageWidget()), 1000);
    EXPECT_EQ(redIn(back, w.rightSidebar()), 0);
}

TEST_F(MainWindowQt, ControlMenuOpensTheControlTabOnItsPage) {
    RightSidebar* bar = window->rightSidebar();
    auto* control = qobject_cast<ControlSidebar*>(bar->controlPage());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GConfig::instance().outControlList, control->outList());
    action("control_submenu_out")->trigger();
    EXPECT_EQ(bar->stack()->currentIndex(), 2);
    EXPECT_EQ(control->stack()->currentIndex(), 1);
    EXPECT_TRUE(control->buttons()[1]->isChecked());
    action("control_submenu_in")->trigger();
    EXPECT_EQ(control->stack()->currentIndex(), 0);
    EXPECT_FALSE(control->buttons()[1]->isChecked());
}

TEST_F(MainWindowQt, SaveThroughTheMenuAndLoadBack) {
    GConfig& g = GConfig::instance();
    const int device = addDevice(QStringLiteral("左屏"), 1280, 720);
    const int media = addPicture(640, 360);
    g.setSaved(false);

    // Untitled and modified: Save asks for a name.
    savePath = path(QStringLiteral("wall.vadra"));
    action("save")->trigger();
    EXPECT_TRUE(QFileInfo::exists(savePath));
    EXPECT_TRUE(g.isSaved());
    EXPECT_EQ(g.projectPath(), savePath);
    EXPECT_EQ(dialogs, QStringList{QStringLiteral("保存为")});
    EXPECT_TRUE(prompts.isEmpty()) << prompts.join('|').toStdString();

    // A new project forgets it (the add-device dialog that follows "new" is
    // not part of this).
    window->newProject();
    EXPECT_TRUE(g.devices().isEmpty());
    EXPECT_TRUE(g.media().isEmpty());
    EXPECT_TRUE(g.projectPath().isEmpty());

    // Open through the menu brings both back, unmodified.
    prompts.clear();
    openPath = savePath;
    action("open")->trigger();
    ASSERT_NE(g.device(device), nullptr);
    EXPECT_EQ(g.device(device)->name, QStringLiteral("左屏"));
    EXPECT_EQ(g.device(device)->width, 1280);
    ASSERT_TRUE(g.media().contains(media));
    EXPECT_EQ(g.mediaRecord(media).path, path(QStringLiteral("red.png")));
    EXPECT_EQ(g.projectPath(), savePath);
    EXPECT_TRUE(g.isSaved());
    EXPECT_TRUE(prompts.isEmpty()) << prompts.join('|').toStdString();

    // Not a project file: refused, the open project stays.
    const QString junk = path(QStringLiteral("junk.vadra"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a project");
    f.close();
    openPath = junk;
    action("open")->trigger();
    EXPECT_EQ(prompts, QStringList{QStringLiteral("无法识别项目文件")});
    EXPECT_EQ(g.projectPath(), savePath);
    EXPECT_NE(g.device(device), nullptr);

    // Its picture gone: opening asks, and Yes opens it as modified.
    window->newProject();
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("red.png"))));
    prompts.clear();
    answer = QMessageBox::Yes;
    openPath = savePath;
    action("open")->trigger();
    EXPECT_EQ(prompts, QStringList{QStringLiteral("媒体文件缺失")});
    EXPECT_NE(g.device(device), nullptr);
    EXPECT_FALSE(g.isSaved());
}

TEST_F(MainWindowQt, AnOpenWithMissingMediaStaysModifiedAndNamesANinthOutput) {
    GConfig& g = GConfig::instance();
    // Nine devices on one server, outputs 1 to 9: the ninth has no channel.
    for (int k = 1; k <= 9; ++k) {
        const int id = addDevice(QStringLiteral("屏%1").arg(k), 640, 480);
        g.device(id)->outputIndex = k;
        g.device(id)->stageX = 640 * (k - 1);
        g.device(id)->stageY = 0;
    }
    addPicture(64, 36);
    // A library entry whose file goes, and a folder row on the time axis.
    MediaSource gone;
    gone.kind = 1;
    gone.path = path(QStringLiteral("gone.png"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::green);
    ASSERT_TRUE(image.save(gone.path));
    gone.fileName = QStringLiteral("gone.png");
    gone.sourceKey = 99;
    g.mediaLibrary().append(gone);
    window->timeAxisWidget()->addFolder(false);
    QCoreApplication::processEvents();
    const QString file = path(QStringLiteral("nine.vadra"));
    ASSERT_TRUE(g.saveProjectFile(file));
    ASSERT_TRUE(QFile::remove(gone.path));

    g.setProjectPath(QString());
    g.setSaved(true);
    prompts.clear();
    answer = QMessageBox::Yes;  // open it without the missing file
    openPath = file;
    action(QStringLiteral("open"))->trigger();
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(g.deviceIds().size(), 9);
    // The file lost a media file on the way: the project is not the file.
    EXPECT_FALSE(g.isSaved());
    EXPECT_TRUE(prompts.contains(QStringLiteral("媒体文件缺失"))) << prompts.join('|').toStdString();
    EXPECT_TRUE(prompts.contains(QStringLiteral("输出通道已用完"))) << prompts.join('|').toStdString();
    EXPECT_EQ(g.devicesWithoutChannel().size(), 1);
    EXPECT_EQ(g.device(g.devicesWithoutChannel().first())->outputIndex, 9);
}

TEST_F(MainWindowQt, ProjectCommandsAreRefusedWhileConnected) {
    GConfig& g = GConfig::instance();
    addDevice(QStringLiteral("显示1"), 800, 600);
    g.setConnected(true);
    savePath = path(QStringLiteral("x.vadra"));
    openPath = savePath;
    window->newProject();
    action("open")->trigger();
    action("save_as")->trigger();
    window->addDevice(3);
    g.setConnected(false);
    EXPECT_EQ(prompts, (QStringList{QStringLiteral("操作出错"), QStringLiteral("操作出错"), QStringLiteral("操作出错"),
                                    QStringLiteral("无法添加新设备")}));
    EXPECT_FALSE(QFileInfo::exists(savePath));
    EXPECT_EQ(g.devices().size(), 1);
}

TEST_F(MainWindowQt, DeleteBelongsToTheEditMenuOnlyWhileItIsOpen) {
    QAction* del = action("del");
    ASSERT_NE(del, nullptr);
    QMenu* edit = nullptr;
    for (QAction* top : window->menuBar()->actions())
        if (top->menu() && top->menu()->actions().contains(del)) edit = top->menu();
    ASSERT_NE(edit, nullptr);
    window->applyStartupOptions({"kestrane", "start"});
    EXPECT_TRUE(del->shortcut().isEmpty());
    emit edit->aboutToShow();
    EXPECT_EQ(del->shortcut(), QKeySequence(Qt::Key_Delete));
    emit edit->aboutToHide();
    EXPECT_TRUE(del->shortcut().isEmpty());
}

TEST_F(MainWindowQt, TheSpeedEntriesFollowTheIndex) {
    const QStringList ids{"play_control_speed_1", "play_control_speed_1.5", "play_control_speed_2"};
    for (const QString& id : ids) ASSERT_NE(action(id), nullptr) << id.toStdString();
    auto checked = [&] {
        QList<bool> on;
        for (const QString& id : ids) on << action(id)->isChecked();
        return on;
    };
    const struct {
        int index;
        QList<bool> expected;
    } cases[] = {
        {2, {false, false, true}}, {1, {false, true, false}}, {3, {false, true, false}},
        {-1, {false, true, false}}, {0, {true, false, false}},
    };
    for (const auto& c : cases) {
        GConfig::instance().mainWindowHooks().setMenuSpeed(c.index);
        EXPECT_EQ(checked(), c.expected) << c.index;
    }
}

TEST_F(MainWindowQt, TheTimeAxisSpeedBoxAndTheMenuFollowEachOther) {
    const QStringList ids{"play_control_speed_1", "play_control_speed_1.5", "play_control_speed_2"};
    QComboBox* box = window->timeAxisWidget()->speedBox();
    for (int index : {2, 1, 0}) {
        box->setCurrentIndex(index);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(action(ids[i])->isChecked(), i == index) << index;
    }
    for (int index : {1, 2, 0}) {
        action(ids[index])->trigger();
        EXPECT_EQ(box->currentIndex(), index);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(action(ids[i])->isChecked(), i == index) << index;
    }
}

TEST_F(MainWindowQt, TheFirstRestoreCentresTheWindowOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window->showMaximized();
    QCoreApplication::processEvents();
    window->resizeMaxOrNormalWindow();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->geometry(), QRect(int(screen.width() * 0.1), int(screen.height() * 0.1),
                                        int(screen.width() * 0.8), int(screen.height() * 0.8)));
    // Later restores keep the window's own geometry.
    window->setGeometry(20, 30, 700, 500);
    window->showMaximized();
    QCoreApplication::processEvents();
    window->resizeMaxOrNormalWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->geometry(), QRect(20, 30, 700, 500));
}

TEST_F(MainWindowQt, QuitAsksAboutUnsavedWorkAndSavesOnYes) {
    GConfig& g = GConfig::instance();
    const struct {
        QMessageBox::StandardButton answer;
        QString savePath;  // what the save dialog answers
        bool quits;
        bool written;
    } cases[] = {
        {QMessageBox::Cancel, "q1.vadra", false, false},
        {QMessageBox::No, "q2.vadra", true, false},
        {QMessageBox::Yes, "q3.vadra", true, true},
        {QMessageBox::Yes, "", false, false},  // the save dialog cancelled
    };
    for (const auto& c : cases) {
        g.setProjectPath(QString());
        g.setSaved(false);
        prompts.clear();
        answer = c.answer;
        savePath = c.savePath.isEmpty() ? QString() : path(c.savePath);
        EXPECT_EQ(window->quitProc(), c.quits) << c.savePath.toStdString();
        EXPECT_EQ(prompts.value(0), QStringLiteral("保存确认"));
        if (!c.savePath.isEmpty()) EXPECT_EQ(QFileInfo::exists(savePath), c.written) << c.savePath.toStdString();
    }
    // Nothing to save: no question.
    g.setSaved(true);
    prompts.clear();
    EXPECT_TRUE(window->quitProc());
    EXPECT_TRUE(prompts.isEmpty());
}

}  // namespace
