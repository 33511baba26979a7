// The console driven as an operator drives it: keys and clicks go through
// the X server (XTest) to the real main window and to the real dialogs over
// it, while two display servers, each in a namespace of its own, show what
// reached them. The console's event filter is installed on the application
// as the program does.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QGraphicsView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <functional>
#include <memory>

#include "kestrane/adddevicedialog.h"
#include "kestrane/deviceitem.h"
#include "kestrane/devicetree.h"
#include "kestrane/gconfig.h"
#include "kestrane/geometrycorrection.h"
#include "kestrane/mainwidget.h"
#include "kestrane/medialist.h"
#include "kestrane/mediatable.h"
#include "kestrane/nativewidget.h"
#include "kestrane/pictures.h"
#include "kestrane/playcontroldialogs.h"
#include "kestrane/prompt.h"
#include "kestrane/rightsidebar.h"
#include "kestrane/scene.h"
#include "kestrane/sidepanelhooks.h"
#include "kestrane/stagehooks.h"
#include "kestrane/stagewidget.h"
#include "kestrane/stringoutdialogs.h"
#include "kestrane/timeaxiswidget.h"
#include "kestrane/warpeditmodel.h"
#include "lintra/KestraneStageServer.h"
#include "support/QtSpin.h"
#include "support/RemoteServer.h"
#include "support/XScreen.h"
#include "support/XTestInput.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDeadlineMs = 60000;

QApplication* app() {
    static int argc = 1;
    static char name[] = "kestrane_operator_input_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
        auto* created = new QApplication(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kestrane"));
        kestrane::initPictures();
        QFile sheet(QStringLiteral(SV_SOURCE_DIR "/kestrane/app/qss.css"));
        if (sheet.open(QIODevice::ReadOnly)) created->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        return created;
    }();
    return a;
}

// Boxes are answered OK (questions Yes) and remembered; file dialogs are the
// real ones.
class RecordingPrompts : public kestrane::PromptProvider {
public:
    RecordingPrompts() { kestrane::setPromptProvider(this); }
    ~RecordingPrompts() override { kestrane::setPromptProvider(nullptr); }
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        texts << request.text;
        kestrane::PromptAnswer a;
        a.button = request.kind == kestrane::PromptRequest::Question ? QMessageBox::Yes : QMessageBox::Ok;
        return a;
    }
    QStringList texts;
};

QPoint centreOf(const QWidget* w) { return w->mapToGlobal(w->rect().center()); }

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The console's main window on the test's X server, its filter on the
// application, a project of two devices, one per display server.
class OperatorInput : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("HOME", m_dir.str().c_str(), 1);
        app();
        ASSERT_TRUE(x.ok()) << "no XTest on the test's X server";
        MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
        window = std::make_unique<MainWidget>();
        qApp->installEventFilter(window.get());
        GConfig::instance().mainWidget = window.get();
        window->setGeometry(0, 0, 1600, 1000);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == window.get(); }, kDeadlineMs));
        ASSERT_TRUE(spinUntil([&] { return x.hasFocus(window->winId()); }, kDeadlineMs));
    }
    void TearDown() override {
        GConfig& g = GConfig::instance();
        if (window && g.isConnected()) {
            window->disconnectDevices();
            spinUntil([&] { return !g.isConnected() && window->connectButton()->isEnabled(); }, kDeadlineMs);
        }
        g.setSaved(true);
        if (window) qApp->removeEventFilter(window.get());
        g.mainWidget = nullptr;
        window.reset();
        g.clearProject();
        g.setProjectPath(QString());
        MainWidget::setStartPanelRunner(nullptr);
    }

    // Two devices on the given servers (none: made-up addresses), saved and
    // opened as a project; or, without `reopen`, left as added.
    void openProject(const QStringList& ips, bool reopen = true) {
        GConfig& g = GConfig::instance();
        for (int i = 0; i < 2; ++i) {
            DeviceRecord d;
            d.name = QStringLiteral("屏%1").arg(i + 1);
            d.serverIp = ips.value(i, QStringLiteral("198.18.%1.2").arg(100 + i));
            d.width = 1920;
            d.height = 1080;
            d.outputIndex = 1;
            d.stageX = i * 1920;
            const int id = g.nextDeviceId();
            g.devices().insert(id, d);
            g.sidePanelHooks().insertDeviceItem(id, 0, false);
            g.stageHooks().addDeviceItem(id);
        }
        window->timeAxisWidget()->addLayer(false);
        if (!reopen) return;
        const QString project = QString::fromStdString((m_dir / "wall.vadra").string());
        ASSERT_TRUE(g.saveProjectFile(project));
        bool opened = false;
        window->openProjectPath(project, &opened);
        ASSERT_TRUE(opened);
        ASSERT_EQ(g.devices().size(), 2);
    }

    // Runs `script` inside the next modal dialog's own event loop once it is
    // shown and active, then closes it if the script left it open. Returns
    // at once; the dialog is started after.
    void whileOpen(const std::function<void(QDialog*)>& script) {
        auto* poll = new QTimer;
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, [this, poll, script] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            poll->stop();
            poll->deleteLater();
            dialog->activateWindow();
            if (spinUntil([&] { return QApplication::activeWindow() == dialog && x.hasFocus(dialog->winId()); },
                          kDeadlineMs))
                script(dialog);
            else ADD_FAILURE() << "the dialog never became the active window";
            if (QApplication::activeModalWidget() == dialog) dialog->reject();
        });
        poll->start();
    }

    // A click through the X server on a widget, then the events it caused.
    void clickOn(const QWidget* w, const QPoint& local = QPoint(-1, -1)) {
        const QPoint at = local.x() < 0 ? centreOf(w) : w->mapToGlobal(local);
        x.click(at.x(), at.y());
        settle();
    }
    void settle() {
        // The X server has the events once XSync returned; a round trip of
        // Qt's own connection brings them in.
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    testsupport::TempDir m_dir;
    testsupport::XTestInput x;
    std::unique_ptr<MainWidget> window;
    RecordingPrompts prompts;
};

class OperatorInputWithServers : public OperatorInput {
protected:
    void SetUp() override {
        ASSERT_TRUE(a.Start(1, m_dir / "a")) << a.ErrorText();
        ASSERT_TRUE(b.Start(2, m_dir / "b")) << b.ErrorText();
        OperatorInput::SetUp();
        openProject({QString::fromStdString(a.Address()), QString::fromStdString(b.Address())}, reopen());
        GConfig& g = GConfig::instance();
        ASSERT_TRUE(spinUntil([&] { return window->connectButton()->isEnabled(); }, kDeadlineMs));
        window->connectButton()->click();
        ASSERT_TRUE(spinUntil([&] { return g.isConnected() && !window->isBusy(); }, kDeadlineMs))
            << prompts.texts.join(QLatin1Char('|')).toStdString();
        ASSERT_TRUE(spinUntil([&] { return window->connectButton()->isEnabled(); }, kDeadlineMs));
    }
    // Whether the project goes through its file before the test.
    virtual bool reopen() const { return true; }
    // How often each server was told to play.
    int plays(const e2e::RemoteServer& s) const { return countOf(s.Log(), "Kestrane_Play is in"); }
    bool bothPlayed(int times) { return plays(a) == times && plays(b) == times; }

    e2e::RemoteServer a;
    e2e::RemoteServer b;
};

// The devices as added, with their tiles on the stage.
class OperatorInputOnStage : public OperatorInputWithServers {
protected:
    bool reopen() const override { return false; }
};

}  // namespace

TEST_F(OperatorInputWithServers, SpacePlaysFromTheMainWindowOnlyAndNeverFromADialogOrItsControls) {
    GConfig& g = GConfig::instance();
    ASSERT_TRUE(bothPlayed(0));

    // In the main window, whichever panel has the focus, Space toggles the
    // show on both walls.
    QGraphicsView* stage = window->stageWidget()->findChild<QGraphicsView*>();
    ASSERT_NE(stage, nullptr);
    QWidget* deviceTree = g.deviceTree;
    ASSERT_NE(deviceTree, nullptr);
    window->rightSidebar()->showDeviceTab();
    int played = 0;
    // First as the project opened, before any click; then with the focus
    // put in the panels.
    for (QWidget* panel : {static_cast<QWidget*>(nullptr), static_cast<QWidget*>(stage->viewport()), deviceTree}) {
        SCOPED_TRACE(panel ? panel->metaObject()->className() : "as opened");
        if (panel) clickOn(panel, QPoint(panel->width() - 5, panel->height() - 5));
        if (!panel) {
            // Only the pointer over the window, as an operator's hand would be.
            const QPoint over = centreOf(stage->viewport());
            x.moveTo(over.x(), over.y());
            settle();
            ASSERT_TRUE(spinUntil([&] { return x.hasFocus(window->winId()) && QApplication::focusWidget(); }));
        }
        x.tap(XK_space);
        ++played;
        ASSERT_TRUE(spinUntil([&] { return g.previewPlaying() && bothPlayed(played); }, kDeadlineMs))
            << plays(a) << " " << plays(b);
        x.tap(XK_space);
        ASSERT_TRUE(spinUntil([&] { return !g.previewPlaying(); }, kDeadlineMs));
    }

    // Space typed into each dialog, into the control the operator clicked:
    // the control takes it, the show does not move.
    PlayControlRecord jump;
    jump.id = g.nextPlayControlId();
    jump.type = 2;
    jump.time = 1000;
    jump.layerRow = 0;
    g.addPlayControl(jump);
    struct Case {
        const char* name;
        std::function<void()> run;
    };
    DeviceRecord newDevice;
    QVariantMap stringOut;
    const std::vector<Case> dialogs = {
        {"jump control", [&] { DJumpControl(jump.id, window.get()).exec(); }},
        {"string output", [&] { DStringOut(&stringOut, 0, window.get()).exec(); }},
        {"add device", [&] { AddDeviceDialog(&newDevice, -1, window.get()).exec(); }},
    };
    for (const Case& k : dialogs) {
        SCOPED_TRACE(k.name);
        bool typed = false;
        whileOpen([&](QDialog* dialog) {
            // A radio button where the dialog has one, else a combo box.
            QWidget* control = nullptr;
            for (QRadioButton* r : dialog->findChildren<QRadioButton*>())
                if (r->isVisible() && r->isEnabled() && !r->isChecked() && !control) control = r;
            if (!control)
                for (QComboBox* c : dialog->findChildren<QComboBox*>())
                    if (c->isVisible() && c->isEnabled() && !control) control = c;
            ASSERT_NE(control, nullptr);
            if (auto* radio = qobject_cast<QRadioButton*>(control)) {
                // Pointed at and given the focus as a click would, but left
                // unchecked, so that Space shows it reached the button.
                radio->setFocus(Qt::MouseFocusReason);
                ASSERT_TRUE(spinUntil([&] { return radio->hasFocus(); }));
                x.moveTo(centreOf(radio).x(), centreOf(radio).y());
                x.tap(XK_space);
                typed = spinUntil([&] { return radio->isChecked(); });
            } else {
                auto* combo = static_cast<QComboBox*>(control);
                clickOn(combo);
                ASSERT_TRUE(spinUntil([&] { return QApplication::activePopupWidget() != nullptr; }));
                x.tap(XK_Escape);
                ASSERT_TRUE(spinUntil([&] { return QApplication::activePopupWidget() == nullptr && combo->hasFocus(); }));
                x.tap(XK_space);
                typed = spinUntil([&] { return QApplication::activePopupWidget() != nullptr; });
                x.tap(XK_Escape);
                spinUntil([&] { return QApplication::activePopupWidget() == nullptr; });
            }
            settle();
        });
        k.run();
        EXPECT_TRUE(typed);
        EXPECT_FALSE(g.previewPlaying());
        EXPECT_FALSE(g.timeAxisHooks().isPlayButtonDown());
    }

    // A file name with a blank typed into the import file dialog.
    {
        kestrane::setPromptProvider(nullptr);
        QString typedName;
        whileOpen([&](QDialog* dialog) {
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            clickOn(name);
            ASSERT_TRUE(spinUntil([&] { return name->hasFocus(); }));
            x.type("a b");
            spinUntil([&] { return name->text() == QStringLiteral("a b"); });
            typedName = name->text();
        });
        window->rightSidebar()->showMediaTab();
        g.mediaList->addSource(1);
        kestrane::setPromptProvider(&prompts);
        EXPECT_EQ(typedName, QStringLiteral("a b"));
        EXPECT_FALSE(g.previewPlaying());
    }

    // Still nothing reached the walls; back in the main window Space works.
    settle();
    EXPECT_TRUE(bothPlayed(played)) << plays(a) << " " << plays(b);
    window->activateWindow();
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == window.get(); }, kDeadlineMs));
    ASSERT_TRUE(spinUntil([&] { return x.hasFocus(window->winId()); }, kDeadlineMs));
    clickOn(stage->viewport(), QPoint(stage->viewport()->width() - 5, stage->viewport()->height() - 5));
    x.tap(XK_space);
    ++played;
    EXPECT_TRUE(spinUntil([&] { return g.previewPlaying() && bothPlayed(played); }, kDeadlineMs))
        << plays(a) << " " << plays(b);
    x.tap(XK_space);
    EXPECT_TRUE(spinUntil([&] { return !g.previewPlaying(); }, kDeadlineMs));
}

TEST_F(OperatorInput, DeleteTypedWhileRenamingKeepsEveryRecord) {
    GConfig& g = GConfig::instance();
    openProject({});

    // A device renamed in the device tree: Delete erases the typed name only.
    window->rightSidebar()->showDeviceTab();
    DeviceTree* tree = g.deviceTree;
    ASSERT_NE(tree, nullptr);
    ASSERT_TRUE(spinUntil([&] { return tree->isVisible(); }));
    QTreeWidgetItem* first = tree->findItemById(1);
    ASSERT_NE(first, nullptr);
    const QPoint row = tree->visualItemRect(first).center();
    auto doubleClick = [&](QWidget* w, const QPoint& at) {
        const QPoint global = w->mapToGlobal(at);
        x.click(global.x(), global.y());
        x.click(global.x(), global.y());
        settle();
    };
    doubleClick(tree->viewport(), row);
    QPointer<QLineEdit> editor;
    ASSERT_TRUE(spinUntil([&] {
        editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return editor && tree->isAncestorOf(editor) && !editor->text().isEmpty();
    }));
    x.tap(XK_Delete);
    ASSERT_TRUE(spinUntil([&] { return editor->text().isEmpty(); }));
    settle();
    EXPECT_EQ(g.devices().size(), 2);
    EXPECT_NE(g.device(1), nullptr);
    EXPECT_NE(tree->findItemById(1), nullptr);
    x.tap(XK_Escape);
    ASSERT_TRUE(spinUntil([&] { return !editor || !editor->isVisible(); }));
    EXPECT_EQ(g.device(1)->name, QStringLiteral("屏1"));

    // Delete on the tree itself still deletes the selected device.
    clickOn(tree->viewport(), tree->visualItemRect(tree->findItemById(2)).center());
    ASSERT_TRUE(spinUntil([&] { return tree->hasFocus(); }));
    x.tap(XK_Delete);
    EXPECT_TRUE(spinUntil([&] { return g.devices().size() == 1 && g.device(2) == nullptr; }))
        << prompts.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_NE(g.device(1), nullptr);

    // A media folder renamed in the media table, with the folder's row
    // selected: Delete erases the typed name only.
    window->rightSidebar()->showMediaTab();
    MediaList* list = g.mediaList;
    ASSERT_NE(list, nullptr);
    MediaTable* table = list->getTable();
    ASSERT_TRUE(spinUntil([&] { return table->isVisible(); }));
    list->addFolder();
    ASSERT_TRUE(spinUntil([&] { return table->rowCount() == 1; }));
    const int entries = g.mediaLibrary().size();
    QWidget* folderRow = table->cellWidget(0, 0);
    ASSERT_NE(folderRow, nullptr);
    QWidget* label = folderRow->findChild<QWidget*>(QStringLiteral("folderName"));
    ASSERT_NE(label, nullptr);
    clickOn(label);
    ASSERT_TRUE(spinUntil([&] { return !table->selectedItems().isEmpty() || table->currentRow() == 0; }));
    doubleClick(label, label->rect().center());
    auto* folderEditor = folderRow->findChild<QLineEdit*>(QStringLiteral("folderNameEditor"));
    ASSERT_NE(folderEditor, nullptr);
    ASSERT_TRUE(spinUntil([&] { return folderEditor->isVisible() && folderEditor->hasFocus(); }));
    const QString typed = folderEditor->text();
    x.tap(XK_Home);
    x.tap(XK_Delete);
    ASSERT_TRUE(spinUntil([&] { return folderEditor->text() == typed.mid(1); }));
    settle();
    EXPECT_EQ(table->rowCount(), 1);
    EXPECT_EQ(g.mediaLibrary().size(), entries);
}

TEST_F(OperatorInputOnStage, TheDeviceMenuOpensTheGeometryEditorForTheListedDeviceAndItsKeysAndHandlesWork) {
    GConfig& g = GConfig::instance();
    const QString ipA = QString::fromStdString(a.Address());

    // No tile has the focus: the device chosen in the device list counts.
    window->rightSidebar()->showDeviceTab();
    DeviceTree* tree = g.deviceTree;
    ASSERT_TRUE(spinUntil([&] { return tree->isVisible(); }));
    clickOn(tree->viewport(), tree->visualItemRect(tree->findItemById(1)).center());
    ASSERT_TRUE(spinUntil([&] { return tree->findItemById(1)->isSelected(); }));
    ASSERT_EQ(g.scene->focusItem(), nullptr);

    struct Seen {
        bool ran = false;
        DOUBLE_POINT keyed{};        // the top-left corner after the keys
        DOUBLE_POINT onServer{};     // the same vertex as the server holds it
        DOUBLE_POINT next{};         // the top-right corner after D and Right
        QPoint handleStart, handleEnd, pointer;  // nine-point centre drag
        QPoint cornerStart, cornerEnd;           // corner grabbed at its handle's edge
        bool fullScreenFollowed = false, restoredFollowed = false;
        bool screenshotSaved = false, titleGrey = false, gridGreen = false;
    } seen;
    whileOpen([&](QDialog* dialog) {
        auto* geometry = qobject_cast<GeometryCorrection*>(dialog);
        ASSERT_NE(geometry, nullptr);
        NativeWidget* view = geometry->widgets().nativeWidget;
        ASSERT_TRUE(spinUntil([&] { return view->isInitialised() && geometry->serversNotified(); }, kDeadlineMs));
        EXPECT_EQ(view->deviceId(), 1);
        const WarpEditModel& m = view->model();
        ASSERT_EQ(m.adjustMode(), WarpEditModel::FourPoints);
        // The current point is the top-left corner: three thousandths left
        // and two up.
        for (KeySym k : {XK_Left, XK_Left, XK_Left, XK_Up, XK_Up}) x.tap(k);
        spinUntil([&] { return m.controlPoint(3).y > 1.0015; });
        seen.keyed = g.device(1)->grid[0][40];
        DOUBLE_POINT server[41][41];
        CKestraneStageServer* session = g.clientSession(ipA, 0);
        if (session && session->GetVertexData(g.device(1)->outputIndex, server) == 0) seen.onServer = server[0][40];
        // The dialog as drawn on the X server with the installed fonts.
        {
            settle();
            e2e::Screenshot shot;
            if (e2e::GrabScreen(shot)) {
                const QRect frame(dialog->mapToGlobal(QPoint(0, 0)), dialog->size());
                QImage image(shot.rgb.data(), shot.width, shot.height, shot.width * 3, QImage::Format_RGB888);
                const QImage cut = image.copy(frame);
                fs::create_directories(fs::path(SV_BINARY_DIR) / "artefacts");
                seen.screenshotSaved = cut.save(QStringLiteral(SV_BINARY_DIR "/artefacts/geometry_dialog_xvfb.png"));
                // The title bar's grey, and the grid's green lines in the view.
                seen.titleGrey = cut.pixelColor(200, 5) == QColor(QStringLiteral("#c9c9c9"));
                const QRect v(view->mapTo(dialog, QPoint(0, 0)), view->size());
                for (int yy = v.top(); yy < v.bottom() && !seen.gridGreen; ++yy)
                    for (int xx = v.left(); xx < v.right(); ++xx) {
                        const QColor c = cut.pixelColor(xx, yy);
                        if (c.green() > 200 && c.red() < 60 && c.blue() < 60) {
                            seen.gridGreen = true;
                            break;
                        }
                    }
            }
        }
        // D picks the top-right corner, Right moves it.
        x.tap(XK_d);
        x.tap(XK_Right);
        spinUntil([&] { return m.controlPoint(2).x > 1.0005; });
        seen.next = g.device(1)->controlPoints[2];

        // Nine points: the centre handle follows the pointer.
        clickOn(geometry->widgets().ninePoint);
        spinUntil([&] { return m.adjustMode() == WarpEditModel::NinePoints; });
        seen.handleStart = view->mapToGlobal(m.toScreen(m.vertex(20, 20)));
        seen.pointer = QPoint(48, -36);
        x.moveTo(seen.handleStart.x(), seen.handleStart.y());
        x.buttonDown();
        for (int step = 1; step <= 4; ++step) {
            const QPoint p = seen.handleStart + seen.pointer * step / 4;
            x.moveTo(p.x(), p.y());
            settle();
        }
        x.buttonUp();
        // The editor may take the last moves after the release reached it.
        spinUntil([&] {
            const QPoint now = view->mapToGlobal(m.toScreen(m.vertex(20, 20)));
            return ((now - seen.handleStart) - seen.pointer).manhattanLength() <= 2;
        });
        seen.handleEnd = view->mapToGlobal(m.toScreen(m.vertex(20, 20)));

        // Four points: the bottom-left handle grabbed a few pixels outside the
        // picture, still on the handle.
        clickOn(geometry->widgets().fourPoint);
        spinUntil([&] { return m.adjustMode() == WarpEditModel::FourPoints; });
        seen.cornerStart = view->mapToGlobal(m.toScreen(m.vertex(0, 0)));
        const QPoint grab = seen.cornerStart + QPoint(-4, 4);
        x.moveTo(grab.x(), grab.y());
        x.buttonDown();
        for (int step = 1; step <= 3; ++step) {
            x.moveTo(grab.x() + 10 * step, grab.y() - 10 * step);
            settle();
        }
        x.buttonUp();
        spinUntil([&] {
            const QPoint now = view->mapToGlobal(m.toScreen(m.vertex(0, 0)));
            return ((now - seen.cornerStart) - QPoint(30, -30)).manhattanLength() <= 2;
        });
        seen.cornerEnd = view->mapToGlobal(m.toScreen(m.vertex(0, 0)));

        // Full screen and back: the picture's rectangle follows the view.
        auto follows = [&] {
            const WarpEditModel::ViewRect want = WarpEditModel::viewRectFor(view->width(), view->height());
            const WarpEditModel::ViewRect r = m.viewRect();
            return r.left == want.left && r.top == want.top && r.right == want.right && r.bottom == want.bottom;
        };
        const QSize normal = view->size();
        clickOn(geometry->widgets().setFullscreen);
        seen.fullScreenFollowed = spinUntil([&] { return view->width() > normal.width() && follows(); });
        clickOn(geometry->widgets().setFullscreen);
        seen.restoredFollowed = spinUntil([&] { return view->width() < normal.width() + 1 && follows(); });
        seen.ran = true;
    });

    // The menu "设备" and its entry, clicked.
    QMenu* deviceMenu = nullptr;
    for (QAction* top : window->menuBar()->actions())
        if (top->menu() && top->text() == QStringLiteral("设备(&D)")) deviceMenu = top->menu();
    ASSERT_NE(deviceMenu, nullptr);
    clickOn(window->menuBar(), window->menuBar()->actionGeometry(deviceMenu->menuAction()).center());
    ASSERT_TRUE(spinUntil([&] { return deviceMenu->isVisible(); }));
    QAction* entry = window->actions().value(QStringLiteral("device_correction"));
    ASSERT_NE(entry, nullptr);
    clickOn(deviceMenu, deviceMenu->actionGeometry(entry).center());
    ASSERT_TRUE(spinUntil([&] { return seen.ran && QApplication::activeModalWidget() == nullptr; }, kDeadlineMs))
        << prompts.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(prompts.texts.isEmpty()) << prompts.texts.join(QLatin1Char('|')).toStdString();

    EXPECT_NEAR(seen.keyed.x, -1.003, 1e-9);
    EXPECT_NEAR(seen.keyed.y, 1.002, 1e-9);
    EXPECT_NEAR(seen.onServer.x, -1.003, 1e-9);
    EXPECT_NEAR(seen.onServer.y, 1.002, 1e-9);
    EXPECT_NEAR(seen.next.x, 1.001, 1e-9);
    EXPECT_NEAR(seen.next.y, 1.0, 1e-9);
    const QPoint handleTravel = seen.handleEnd - seen.handleStart;
    EXPECT_LE((handleTravel - seen.pointer).manhattanLength(), 2) << handleTravel.x() << "," << handleTravel.y();
    const QPoint cornerTravel = seen.cornerEnd - seen.cornerStart;
    EXPECT_LE((cornerTravel - QPoint(30, -30)).manhattanLength(), 2) << cornerTravel.x() << "," << cornerTravel.y();
    EXPECT_TRUE(seen.fullScreenFollowed);
    EXPECT_TRUE(seen.restoredFollowed);
    EXPECT_TRUE(seen.screenshotSaved);
    EXPECT_TRUE(seen.titleGrey);
    EXPECT_TRUE(seen.gridGreen);
    // The record holds the last corner drag and it went out.
    EXPECT_NE(g.device(1)->grid[0][0].x, -1.0);
}

TEST_F(OperatorInput, TheDeviceMenuSaysWhatToSelectWhenNoDeviceIsChosen) {
    GConfig& g = GConfig::instance();
    openProject({});
    g.deviceTree->clearSelection();
    if (g.scene) g.scene->clearSelection();
    QMenu* deviceMenu = nullptr;
    for (QAction* top : window->menuBar()->actions())
        if (top->menu() && top->text() == QStringLiteral("设备(&D)")) deviceMenu = top->menu();
    ASSERT_NE(deviceMenu, nullptr);
    for (const char* id : {"device_color", "device_correction"}) {
        SCOPED_TRACE(id);
        prompts.texts.clear();
        clickOn(window->menuBar(), window->menuBar()->actionGeometry(deviceMenu->menuAction()).center());
        ASSERT_TRUE(spinUntil([&] { return deviceMenu->isVisible(); }));
        clickOn(deviceMenu, deviceMenu->actionGeometry(window->actions().value(QString::fromLatin1(id))).center());
        EXPECT_TRUE(spinUntil([&] { return !prompts.texts.isEmpty(); }));
        EXPECT_EQ(prompts.texts, QStringList{QStringLiteral("请先在舞台或设备列表中选中一个设备")});
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}
