// The main window on a private X server, driven the way an operator drives
// it: pointer and keys go through the X server (XTest) to the real windows,
// dialogs and menus the console opens.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsView>
#include <QImage>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWindow>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>

#include "kestrane/adddevicedialog.h"
#include "kestrane/colorcorrection.h"
#include "kestrane/deviceattribute.h"
#include "kestrane/devicetree.h"
#include "kestrane/dstartpanel.h"
#include "kestrane/mediatable.h"
#include "kestrane/settings.h"
#include "kestrane/deviceitem.h"
#include "kestrane/gconfig.h"
#include "kestrane/layerplaycontrol.h"
#include "kestrane/mainwidget.h"
#include "kestrane/playcontroldialogs.h"
#include "kestrane/matrixlayout.h"
#include "kestrane/prompt.h"
#include "kestrane/scene.h"
#include "kestrane/stagewidget.h"
#include "kestrane/timeaxiswidget.h"
#include "kestrane/wheellineedit.h"
#include "support/QtSpin.h"
#include "support/QtWidgetTestApp.h"
#include "support/XTestInput.h"

namespace {

using testsupport::XTestInput;

QApplication* xApp() {
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    QApplication* app = testApp();
    // The console's own look, as the program loads it.
    static bool styled = false;
    if (!styled) {
        QFile sheet(QStringLiteral(SV_SOURCE_DIR "/kestrane/app/qss.css"));
        if (sheet.open(QIODevice::ReadOnly)) app->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        styled = true;
    }
    return app;
}

// Runs `step` from the event loop once `ready` holds: the way to act inside
// a modal loop (a menu, a dialog) that the test's own call is blocked in.
void whenReady(std::function<bool()> ready, std::function<void()> step, int deadlineMs = 10000) {
    auto* timer = new QTimer;
    auto* left = new int(deadlineMs / 20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (!ready() && --*left > 0) return;
        timer->stop();
        timer->deleteLater();
        delete left;
        step();
    });
    timer->start(20);
}

QString artefact(const QString& name) {
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    return QStringLiteral(SV_BINARY_DIR "/artefacts/") + name;
}

// The brightest grey of a strip of a grabbed image: the text colour of a
// row of light text on a dark ground.
int brightest(const QImage& image, const QRect& r) {
    int best = 0;
    for (int y = std::max(0, r.top()); y <= std::min(image.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(image.width() - 1, r.right()); ++x)
            best = std::max(best, qGray(image.pixel(x, y)));
    return best;
}

class OperatorGl : public ::testing::Test, public kestrane::PromptProvider {
protected:
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        prompts << request.title + QLatin1Char('|') + request.text;
        kestrane::PromptAnswer a;
        a.button = QMessageBox::Ok;
        return a;
    }

    void SetUp() override {
        setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        xApp();
        ASSERT_TRUE(x.ok());
        kestrane::setPromptProvider(this);
        MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
        GConfig& g = GConfig::instance();
        g.setConnected(false);
        g.setMagnet(false);
        window = std::make_unique<MainWidget>();
        qApp->installEventFilter(window.get());
        g.mainWidget = window.get();
        window->setGeometry(0, 0, 1400, 900);
        window->show();
        ASSERT_TRUE(spinUntil([&] { return window->isVisible() && window->windowHandle()->isExposed(); }));
        window->activateWindow();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        GConfig& g = GConfig::instance();
        g.setSaved(true);
        g.setMagnet(false);
        g.mainWidget = nullptr;
        qApp->removeEventFilter(window.get());
        window.reset();
        g.clearProject();
        g.setProjectPath(QString());
        kestrane::setPromptProvider(nullptr);
        MainWidget::setStartPanelRunner(nullptr);
        QCoreApplication::processEvents();
    }

    // A device record of w × h at stage (sx, sy) with its stage tile.
    int addDevice(const QString& name, int w, int h, double sx, double sy) {
        GConfig& g = GConfig::instance();
        const int id = g.nextDeviceId();
        DeviceRecord d;
        d.name = name;
        d.serverIp = QStringLiteral("127.0.0.1");
        d.outputIndex = id;
        d.width = w;
        d.height = h;
        d.stageX = sx;
        d.stageY = sy;
        g.devices().insert(id, d);
        g.sidePanelHooks().insertDeviceItem(id, 0, false);
        g.stageHooks().addDeviceItem(id);
        if (DeviceRecord* r = g.device(id))
            if (r->stageItem) {
                r->stageX = sx;
                r->stageY = sy;
            }
        g.stageHooks().advanceScene();
        return id;
    }

    QGraphicsView* view() const { return window->stageWidget()->view(); }
    // Screen point of a stage point (stage units).
    QPoint screenOfStage(double sx, double sy) const {
        const double zoom = GConfig::instance().stageZoom();
        const QPointF scene(sx * zoom + 8, sy * zoom + 8);
        return view()->viewport()->mapToGlobal(view()->mapFromScene(scene));
    }
    QList<int> selectedDevices() const {
        QList<int> ids;
        for (QGraphicsItem* item : view()->scene()->selectedItems())
            if (auto* d = dynamic_cast<DeviceItem*>(item)) ids << d->deviceId();
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // Presses, moves in steps the event loop sees, releases.
    void drag(QPoint from, QPoint to, int steps = 12) {
        x.moveTo(from.x(), from.y());
        spinFor(30);
        x.button(1, true);
        spinFor(30);
        for (int i = 1; i <= steps; ++i) {
            const QPoint p = from + (to - from) * i / steps;
            x.moveTo(p.x(), p.y());
            spinFor(15);
        }
        spinFor(30);
        x.button(1, false);
        spinFor(50);
    }
    static void spinFor(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // Clicks a menu entry of the open pop-up by its text, through the X
    // server; false when no pop-up offers it.
    static bool clickMenuEntry(XTestInput& op, const QString& text) {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return false;
        for (QAction* a : menu->actions())
            if (a->text() == text) {
                const QPoint p = menu->mapToGlobal(menu->actionGeometry(a).center());
                op.click(p.x(), p.y());
                return true;
            }
        return false;
    }

    QTemporaryDir m_config;
    XTestInput x;
    std::unique_ptr<MainWidget> window;
    QStringList prompts;
};

}  // namespace

// Two tiles chosen with the mouse, once by Ctrl+click and once by a band
// drawn from the empty stage, open the matrix layout from the tile menu.
// The same choosing works while the tiles' server is connected.
class OperatorSelectGl : public OperatorGl, public ::testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(Online, OperatorSelectGl, ::testing::Values(false, true));

TEST_P(OperatorSelectGl, CtrlClickAndRubberBandSelectTwoTilesAndOpenMatrixLayout) {
    GConfig& g = GConfig::instance();
    const bool online = GetParam();
    g.setMediaEditMode(0);
    const int a = addDevice(QStringLiteral("左屏"), 1920, 1080, 0, 0);
    const int b = addDevice(QStringLiteral("右屏"), 1920, 1080, 2400, 0);
    const int c = addDevice(QStringLiteral("下屏"), 1920, 1080, 0, 1600);
    for (int id : {a, b, c}) g.device(id)->online = online;
    g.stageHooks().advanceScene();
    QCoreApplication::processEvents();

    // Ctrl+click: each click adds its tile, a second one takes it away again.
    x.click(screenOfStage(960, 540).x(), screenOfStage(960, 540).y());
    ASSERT_TRUE(spinUntil([&] { return selectedDevices() == QList<int>{a}; })) << selectedDevices().size();
    x.hold({XK_Control_L});
    const QPoint onB = screenOfStage(2400 + 960, 540);
    x.click(onB.x(), onB.y());
    EXPECT_TRUE(spinUntil([&] { return selectedDevices() == (QList<int>{a, b}); })) << selectedDevices().size();
    const QPoint onC = screenOfStage(960, 1600 + 540);
    x.click(onC.x(), onC.y());
    EXPECT_TRUE(spinUntil([&] { return selectedDevices() == (QList<int>{a, b, c}); })) << selectedDevices().size();
    x.click(onC.x(), onC.y());
    EXPECT_TRUE(spinUntil([&] { return selectedDevices() == (QList<int>{a, b}); })) << selectedDevices().size();
    x.release({XK_Control_L});

    // A click on the empty stage clears; a band from there over the two
    // upper tiles (not the lower one) chooses both.
    const QPoint empty = screenOfStage(6000, 300);
    x.click(empty.x(), empty.y());
    ASSERT_TRUE(spinUntil([&] { return selectedDevices().isEmpty(); }));
    drag(screenOfStage(5500, 1400), screenOfStage(1000, 500));
    ASSERT_TRUE(spinUntil([&] { return selectedDevices() == (QList<int>{a, b}); })) << selectedDevices().size();
    // A connected server's layout dialog talks to that server: not here.
    if (online) return;

    // The tile menu offers the matrix layout for them and opens it.
    MatrixLayout* opened = nullptr;
    whenReady([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
              [&] {
                  whenReady([] { return qobject_cast<MatrixLayout*>(QApplication::activeModalWidget()) != nullptr; },
                            [&] {
                                opened = qobject_cast<MatrixLayout*>(QApplication::activeModalWidget());
                                if (opened) opened->reject();
                            });
                  EXPECT_TRUE(clickMenuEntry(x, QStringLiteral("矩阵布局")));
              });
    x.click(onB.x(), onB.y(), 3);
    EXPECT_TRUE(spinUntil([&] { return opened != nullptr; }, 15000));
    EXPECT_TRUE(prompts.isEmpty()) << prompts.join(QLatin1Char(';')).toStdString();
}

// The start panel at its fixed size shows every control it has: the
// operator reaches "不再显示" and "关闭" with the mouse.
TEST_F(OperatorGl, StartPanelShowsAllItsControlsAndTheyTakeClicks) {
    QString chosen;
    DStartPanel panel(&chosen, window.get());
    panel.move(100, 100);
    bool closed = false;
    int rowsOutside = -1;
    whenReady([&] { return panel.isVisible() && panel.windowHandle() && panel.windowHandle()->isExposed(); },
              [&] {
                  spinFor(100);
                  QPixmap shot = panel.grab();
                  shot.save(artefact(QStringLiteral("start_panel.png")));
                  // Every control lies inside the panel and inside its own parent.
                  rowsOutside = 0;
                  for (QWidget* w : panel.findChildren<QWidget*>()) {
                      const QString n = w->objectName();
                      if (!(n.startsWith(QLatin1String("project")) || n.startsWith(QLatin1String("book")) ||
                            n == QLatin1String("closeMe2") || n == QLatin1String("notShowList")))
                          continue;
                      const QRect inPanel(w->mapTo(&panel, QPoint(0, 0)), w->size());
                      const bool seen = panel.rect().contains(inPanel) &&
                                        w->parentWidget()->rect().contains(w->geometry());
                      if (!seen) {
                          ++rowsOutside;
                          ADD_FAILURE() << n.toStdString() << " lies outside the panel";
                      }
                  }
                  auto* never = panel.findChild<QCheckBox*>(QStringLiteral("notShowList"));
                  // Its whole text, in the font the style sheet gives it.
                  EXPECT_LE(never->sizeHint().width(), never->width());
                  const QPoint n = never->mapToGlobal(QPoint(8, never->height() / 2));
                  x.click(n.x(), n.y());
                  whenReady([never] { return never->isChecked(); },
                            [&] {
                                auto* close = panel.findChild<QPushButton*>(QStringLiteral("closeMe2"));
                                const QPoint c = close->mapToGlobal(close->rect().center());
                                x.click(c.x(), c.y());
                            });
              });
    // A close button out of reach must fail the test, not hang it.
    bool timedOut = false;
    QTimer::singleShot(20000, &panel, [&] {
        timedOut = true;
        panel.done(-1);
    });
    const int result = panel.exec();
    EXPECT_FALSE(timedOut) << "the panel did not close on a click on 关闭";
    closed = true;
    EXPECT_TRUE(closed);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(panel.size(), QSize(512, 521));
    EXPECT_EQ(rowsOutside, 0);
    EXPECT_TRUE(panel.findChild<QCheckBox*>(QStringLiteral("notShowList"))->isChecked());
    EXPECT_EQ(kestrane::openSettings()->value(QStringLiteral("base/showList")).toInt(), 1);
}

// The resolution in the device panel belongs to the display server: typing
// into it changes nothing. A device renamed in the tree to a name with a
// bracketed number inside keeps that name whole, with a counter at its end.
TEST_F(OperatorGl, DevicePanelResolutionIsReadOnlyAndTreeRenameKeepsInnerNumbers) {
    GConfig& g = GConfig::instance();
    g.setMediaEditMode(0);
    const int a = addDevice(QStringLiteral("Proj(1)left"), 1920, 1080, 0, 0);
    const int b = addDevice(QStringLiteral("B"), 1920, 1080, 0, 3000);
    QCoreApplication::processEvents();
    // A double click on the tile brings the device page with its fields.
    const QPoint onB = screenOfStage(960, 3000 + 540);
    x.click(onB.x(), onB.y());
    spinFor(60);
    x.click(onB.x(), onB.y());
    auto* panel = window->findChild<DeviceAttribute*>();
    ASSERT_NE(panel, nullptr);
    QLineEdit* width = panel->findChild<QLineEdit*>(QStringLiteral("deviceWidth"));
    QLineEdit* stageHeight = panel->findChild<QLineEdit*>(QStringLiteral("stageHeight"));
    ASSERT_TRUE(spinUntil([&] { return width->isVisible() && width->text() == QLatin1String("1920"); }))
        << width->text().toStdString();
    const struct {
        QLineEdit* field;
        const char* typed;
    } tries[] = {{width, "1280"}, {stageHeight, "720"}};
    for (const auto& t : tries) {
        const QPoint p = t.field->mapToGlobal(t.field->rect().center());
        x.click(p.x(), p.y());
        spinFor(60);
        x.hold({XK_Control_L});
        x.tap(XK_a);
        x.release({XK_Control_L});
        x.type(t.typed);
        x.tap(XK_Return);
        x.tap(XK_Tab);
        spinFor(150);
        EXPECT_EQ(g.device(b)->width, 1920) << t.typed;
        EXPECT_EQ(g.device(b)->height, 1080) << t.typed;
        EXPECT_EQ(g.device(a)->width, 1920) << t.typed;
        EXPECT_EQ(width->text(), QStringLiteral("1920")) << t.typed;
    }

    // Rename B in the tree to A's name, on the device page's list.
    QWidget* strip = window->findChild<QWidget*>(QStringLiteral("deviceTopPanel"));
    ASSERT_NE(strip, nullptr);
    QList<QPushButton*> pages = strip->findChildren<QPushButton*>();
    std::sort(pages.begin(), pages.end(), [](QPushButton* l, QPushButton* r) { return l->x() < r->x(); });
    ASSERT_FALSE(pages.isEmpty());
    const QPoint listPage = pages.first()->mapToGlobal(pages.first()->rect().center());
    x.click(listPage.x(), listPage.y());
    DeviceTree* tree = window->findChild<DeviceTree*>();
    ASSERT_NE(tree, nullptr);
    QTreeWidgetItem* rowB = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == QLatin1String("B")) rowB = *it;
    ASSERT_NE(rowB, nullptr);
    tree->scrollToItem(rowB);
    ASSERT_TRUE(spinUntil([&] { return tree->isVisible(); }));
    const QPoint r = tree->viewport()->mapToGlobal(tree->visualItemRect(rowB).center());
    x.click(r.x(), r.y());
    spinFor(60);
    x.click(r.x(), r.y());
    ASSERT_TRUE(spinUntil([&] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr; }));
    x.hold({XK_Control_L});
    x.tap(XK_a);
    x.release({XK_Control_L});
    x.type("Proj(1)left");
    x.tap(XK_Return);
    EXPECT_TRUE(spinUntil([&] { return g.device(b)->name == QLatin1String("Proj(1)left(2)"); }))
        << g.device(b)->name.toStdString();
    EXPECT_EQ(g.device(a)->name, QStringLiteral("Proj(1)left"));
}

// A new folder made while a clip of a folder is selected goes above that
// folder, never between the folder and its clips.
TEST_F(OperatorGl, NewMediaFolderGoesAboveTheFolderOfTheSelectedClip) {
    GConfig& g = GConfig::instance();
    MediaTable* table = window->findChild<MediaTable*>();
    ASSERT_NE(table, nullptr);
    MediaSource folder;
    folder.kind = MediaTable::kFolderKind;
    folder.path = QStringLiteral("K");
    folder.folderKey = 4242;
    MediaSource clip;
    clip.kind = 1;
    clip.path = QStringLiteral("/media/k1.png");
    clip.fileName = QStringLiteral("k1.png");
    clip.duration = -1;
    clip.sourceKey = 77;
    MediaSource loose = clip;
    loose.path = QStringLiteral("/media/top.png");
    loose.fileName = QStringLiteral("top.png");
    loose.sourceKey = 78;
    table->insertMediaRow(loose, 0, 0);
    table->insertFolderRow(folder, 0);
    table->insertMediaRow(clip, 1, folder.folderKey);
    table->updateMediaOrder();
    ASSERT_EQ(g.mediaLibrary().size(), 3);
    ASSERT_TRUE(spinUntil([&] { return table->isVisible(); }));

    // The clip's row, then the new-folder button, with the mouse.
    const QPoint onClip = table->viewport()->mapToGlobal(table->visualItemRect(table->item(1, 2)).center());
    x.click(onClip.x(), onClip.y());
    ASSERT_TRUE(spinUntil([&] { return table->currentRow() == 1; }));
    auto* add = window->findChild<QPushButton*>(QStringLiteral("medialistAddfolder"));
    ASSERT_NE(add, nullptr);
    const QPoint onAdd = add->mapToGlobal(add->rect().center());
    x.click(onAdd.x(), onAdd.y());
    ASSERT_TRUE(spinUntil([&] { return g.mediaLibrary().size() == 4; }));
    const QList<MediaSource>& lib = g.mediaLibrary();
    int k = -1;
    for (int i = 0; i < lib.size(); ++i)
        if (lib.at(i).kind == MediaTable::kFolderKind && lib.at(i).folderKey == folder.folderKey) k = i;
    ASSERT_GE(k, 0);
    ASSERT_LT(k + 1, lib.size());
    EXPECT_EQ(lib.at(k + 1).sourceKey, 77) << "the clip no longer follows its folder";
    EXPECT_EQ(lib.at(k + 1).folderKey, folder.folderKey);
    ASSERT_GT(k, 0) << "the new folder is not above K";
    EXPECT_EQ(lib.at(k - 1).kind, MediaTable::kFolderKind) << "the new folder is not right above K";
}

// With the magnet switched on by Ctrl+M, a picture dragged to within a few
// pixels of a tile's edge lands flush on it; without it, it stays where
// the pointer left it.
TEST_F(OperatorGl, MagnetLandsADraggedPictureFlushOnATileEdge) {
    GConfig& g = GConfig::instance();
    addDevice(QStringLiteral("左屏"), 1920, 1080, 0, 0);
    QImage image(960, 540, QImage::Format_RGB32);
    image.fill(Qt::red);
    QTemporaryDir files;
    const QString file = files.filePath(QStringLiteral("red.png"));
    ASSERT_TRUE(image.save(file));
    const int id = g.nextMediaId();
    MediaSource m;
    m.kind = 1;
    m.path = file;
    m.x = 2000;
    m.y = 400;
    m.width = m.nativeWidth = 960;
    m.height = m.nativeHeight = 540;
    m.start = 0;
    m.duration = 10000;
    m.layer = 0;
    m.id = id;
    g.mediaLibrary().append(m);
    g.setMediaRecord(m, id);
    g.stageHooks().addMediaItem(id);
    window->timeAxisWidget()->addItemToLayer(id, 0, 0);
    g.setMediaEditMode(1);
    g.stageHooks().advanceScene();
    QCoreApplication::processEvents();

    // Rows, each from where the last left the picture: magnet off or on,
    // pointer travel in screen pixels (8 stage units each at this zoom),
    // where the picture's left edge ends. The tile's right edge is at 1920.
    const struct {
        bool magnet;
        int travel;
        double left;
    } rows[] = {
        {false, -5, 1960},       // 5 px right of the edge: stays there
        {true, -1, 1920},        // magnet on, 4 px: the gap closes
        {true, 60, 1920 + 480},  // far from every edge: moves freely
        {true, -66, 1920},       // 6 px over the tile: flush again
    };
    for (const auto& r : rows) {
        if (g.magnet() != r.magnet) {
            // The key goes to the main window, as the operator types it.
            const QPoint title = window->mapToGlobal(QPoint(700, 10));
            x.moveTo(title.x(), title.y());
            spinFor(50);
            x.hold({XK_Control_L});
            x.tap(XK_m);
            x.release({XK_Control_L});
            ASSERT_TRUE(spinUntil([&] { return g.magnet() == r.magnet; })) << "Ctrl+M did not switch the magnet";
        }
        const MediaSource* rec = g.mediaSource(id);
        ASSERT_NE(rec, nullptr);
        const QPoint from = screenOfStage(rec->x + 480, rec->y + 270);
        drag(from, from + QPoint(r.travel, 0), 10);
        ASSERT_TRUE(spinUntil([&] { return g.mediaSource(id) != nullptr; }));
        EXPECT_NEAR(g.mediaSource(id)->x, r.left, 0.5) << "magnet " << r.magnet << " travel " << r.travel;
        EXPECT_NEAR(g.mediaSource(id)->y, 400, 0.5);
    }
}

namespace {

// The darkest grey inside a widget as the screen shows it.
int darkest(QWidget* w) {
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), w->width(), w->height()).toImage();
    int best = 255;
    for (int y = 2; y < shot.height() - 2; ++y)
        for (int x = 2; x < shot.width() - 2; ++x) best = std::min(best, qGray(shot.pixel(x, y)));
    return best;
}

QImage grabOnScreen(QWidget* w) {
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), w->width(), w->height()).toImage();
}

}  // namespace

// The tile menu draws an entry that cannot act dim, also under the
// pointer, and a click on it does nothing; the device menu of the menu bar
// refuses a matrix layout of outputs of different resolutions as the tile
// menu does, and opens it for equal ones.
TEST_F(OperatorGl, DisabledMenuEntriesLookDisabledAndTheDeviceMenuChecksResolutions) {
    GConfig& g = GConfig::instance();
    g.setMediaEditMode(0);
    addDevice(QStringLiteral("左屏"), 1920, 1080, 0, 0);
    addDevice(QStringLiteral("右屏"), 1920, 1080, 2400, 0);
    addDevice(QStringLiteral("小屏"), 1280, 720, 0, 1600);
    QCoreApplication::processEvents();
    const QPoint onA = screenOfStage(960, 540);
    x.click(onA.x(), onA.y());
    ASSERT_TRUE(spinUntil([&] { return selectedDevices().size() == 1; }));

    // One tile selected: "矩阵布局" is disabled.
    int enabledText = -1, disabledText = -1, disabledHovered = -1;
    bool stayedOpen = false;
    whenReady([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        spinFor(100);
        QAction* on = nullptr;
        QAction* off = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->text() == QStringLiteral("几何校正")) on = a;
            if (a->text() == QStringLiteral("矩阵布局")) off = a;
        }
        if (!on || !off || off->isEnabled()) {
            QStringList texts;
            for (QAction* a : menu->actions()) texts << a->text() + (a->isEnabled() ? "+" : "-");
            ADD_FAILURE() << "the tile menu lacks its entries, or offers a matrix layout of one tile: "
                          << texts.join(QLatin1Char(' ')).toStdString() << " selected " << selectedDevices().size();
            menu->close();
            return;
        }
        QImage shot = grabOnScreen(menu);
        shot.save(artefact(QStringLiteral("tile_menu.png")));
        enabledText = brightest(shot, menu->actionGeometry(on).adjusted(4, 2, -4, -2));
        disabledText = brightest(shot, menu->actionGeometry(off).adjusted(4, 2, -4, -2));
        // The pointer on the disabled entry, then a click on it.
        const QPoint p = menu->mapToGlobal(menu->actionGeometry(off).center());
        x.moveTo(p.x(), p.y());
        spinFor(150);
        disabledHovered = brightest(grabOnScreen(menu), menu->actionGeometry(off).adjusted(4, 2, -4, -2));
        x.click(p.x(), p.y());
        spinFor(200);
        stayedOpen = QApplication::activePopupWidget() == menu && menu->isVisible();
        x.tap(XK_Escape);
    });
    x.click(onA.x(), onA.y(), 3);
    ASSERT_TRUE(spinUntil([&] { return enabledText >= 0 && !QApplication::activePopupWidget(); }, 15000));
    EXPECT_GE(enabledText, 150);
    EXPECT_LE(disabledText, 110) << "a disabled entry is drawn like an enabled one (" << enabledText << ")";
    EXPECT_LE(disabledHovered, 110);
    EXPECT_TRUE(stayedOpen);

    // The menu bar's "设备" → "矩阵布局" over tiles of two resolutions, then of one.
    auto openFromMenuBar = [&](bool expectDialog) {
        bool opened = false;
        QMenuBar* bar = window->menuBar();
        QAction* deviceMenu = nullptr;
        for (QAction* a : bar->actions())
            if (a->text() == QStringLiteral("设备(&D)")) deviceMenu = a;
        if (!deviceMenu) {
            ADD_FAILURE() << "no device menu";
            return false;
        }
        whenReady([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
                  [&] { EXPECT_TRUE(clickMenuEntry(x, QStringLiteral("矩阵布局"))); });
        whenReady([] { return qobject_cast<MatrixLayout*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
            if (auto* d = qobject_cast<MatrixLayout*>(QApplication::activeModalWidget())) {
                opened = true;
                d->reject();
            }
        }, expectDialog ? 15000 : 1500);
        const QPoint m = bar->mapToGlobal(bar->actionGeometry(deviceMenu).center());
        x.click(m.x(), m.y());
        spinUntil([&] { return opened; }, expectDialog ? 15000 : 2000);
        return opened;
    };
    x.hold({XK_Control_L});
    const QPoint onSmall = screenOfStage(640, 1600 + 360);
    x.click(onSmall.x(), onSmall.y());
    x.release({XK_Control_L});
    ASSERT_TRUE(spinUntil([&] { return selectedDevices().size() == 2; }));
    EXPECT_FALSE(openFromMenuBar(false)) << "matrix layout opened over two resolutions";

    x.click(onA.x(), onA.y());
    x.hold({XK_Control_L});
    const QPoint onB = screenOfStage(2400 + 960, 540);
    x.click(onB.x(), onB.y());
    x.release({XK_Control_L});
    ASSERT_TRUE(spinUntil([&] { return selectedDevices().size() == 2; }));
    EXPECT_TRUE(openFromMenuBar(true));
}

// The colour dialog's percentage fields show their whole value with the
// console's style sheet on a real X server; the add-device dialog shows
// its texts dark on its light ground and only disabled fields grey.
TEST_F(OperatorGl, ColourFieldsShowWholeValuesAndAddDeviceTextsAreReadable) {
    GConfig& g = GConfig::instance();
    g.setMediaEditMode(0);
    addDevice(QStringLiteral("左屏"), 1920, 1080, 0, 0);
    const QPoint onA = screenOfStage(960, 540);
    x.click(onA.x(), onA.y());
    ASSERT_TRUE(spinUntil([&] { return selectedDevices().size() == 1; }));

    int fields = 0, clipped = 0;
    whenReady([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, [&] {
        whenReady([] { return qobject_cast<ColorCorrection*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
            auto* dialog = qobject_cast<ColorCorrection*>(QApplication::activeModalWidget());
            spinFor(300);
            grabOnScreen(dialog).save(artefact(QStringLiteral("colour_dialog.png")));
            for (WheelLineEdit* e : dialog->findChildren<WheelLineEdit*>()) {
                if (!e->isVisible() || e->text() != QLatin1String("100.0")) continue;
                ++fields;
                // Shown whole, "100.0" differs from "00.0": a clipped "1" does not.
                const QImage whole = grabOnScreen(e);
                e->setText(QStringLiteral("00.0"));
                spinFor(50);
                const QImage cut = grabOnScreen(e);
                e->setText(QStringLiteral("100.0"));
                if (whole == cut) ++clipped;
            }
            dialog->reject();
        });
        EXPECT_TRUE(clickMenuEntry(x, QStringLiteral("色彩校正")));
    });
    x.click(onA.x(), onA.y(), 3);
    ASSERT_TRUE(spinUntil([&] { return fields > 0 && !QApplication::activeModalWidget(); }, 20000)) << fields;
    EXPECT_EQ(clipped, 0) << "of " << fields << " fields showing 100.0";

    // The add-device dialog from the tool box button.
    QPushButton* add = nullptr;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* b = qobject_cast<QPushButton*>(w); b && b->toolTip() == QStringLiteral("添加设备") && b->isVisible())
            add = b;
    ASSERT_NE(add, nullptr);
    int nameText = 256, widthText = 256, labelText = 256;
    whenReady([] { return qobject_cast<AddDeviceDialog*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
        auto* dialog = qobject_cast<AddDeviceDialog*>(QApplication::activeModalWidget());
        spinFor(300);
        grabOnScreen(dialog).save(artefact(QStringLiteral("add_device_dialog.png")));
        nameText = darkest(dialog->findChild<QLineEdit*>(QStringLiteral("deviceName")));
        QLineEdit* width = dialog->findChild<QLineEdit*>(QStringLiteral("width"));
        widthText = width->isEnabled() ? -1 : darkest(width);
        labelText = darkest(dialog->findChild<QLabel*>(QStringLiteral("label99")));
        dialog->reject();
    });
    const QPoint a = add->mapToGlobal(add->rect().center());
    x.click(a.x(), a.y());
    ASSERT_TRUE(spinUntil([&] { return nameText < 256 && !QApplication::activeModalWidget(); }, 15000));
    EXPECT_LE(nameText, 80) << "the name field's text is light";
    EXPECT_LE(labelText, 80) << "the labels are light";
    if (widthText >= 0) EXPECT_GT(widthText, nameText + 40) << "a disabled field looks like an enabled one";
}

// A play control at the very start of a row opens its dialog on a double
// click, also with a picture starting there on the same row.
TEST_F(OperatorGl, DoubleClickOnAPlayControlAtTimeZeroOpensItsDialog) {
    GConfig& g = GConfig::instance();
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(Qt::red);
    QTemporaryDir files;
    const QString file = files.filePath(QStringLiteral("red.png"));
    ASSERT_TRUE(image.save(file));
    const int id = g.nextMediaId();
    MediaSource m;
    m.kind = 1;
    m.path = file;
    m.width = m.nativeWidth = 320;
    m.height = m.nativeHeight = 240;
    m.start = 0;
    m.duration = 10000;
    m.layer = 0;
    m.id = id;
    g.mediaLibrary().append(m);
    g.setMediaRecord(m, id);
    g.stageHooks().addMediaItem(id);
    window->timeAxisWidget()->addItemToLayer(id, 0, 0);
    window->addPlayControl(1);
    LayerPlayControl* block = nullptr;
    ASSERT_TRUE(spinUntil([&] {
        block = window->findChild<LayerPlayControl*>();
        return block && block->isVisible();
    }));
    ASSERT_EQ(g.findPlayControl(block->controlId())->time, 0);

    bool opened = false;
    // Anywhere on the block: its left edge is where a bar starting at 0 begins.
    for (const QPoint at : {QPoint(1, 5), block->rect().center(), QPoint(9, 5)}) {
        opened = false;
        whenReady([] { return qobject_cast<PlayControlDialog*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
            if (auto* d = qobject_cast<PlayControlDialog*>(QApplication::activeModalWidget())) {
                opened = true;
                grabOnScreen(d).save(artefact(QStringLiteral("play_control_dialog.png")));
                d->reject();
            }
        });
        const QPoint p = block->mapToGlobal(at);
        x.click(p.x(), p.y());
        x.click(p.x(), p.y());
        EXPECT_TRUE(spinUntil([&] { return opened; }, 12000))
            << "the double click at " << at.x() << " did not reach the play control";
        spinFor(600);  // past the double-click interval before the next pair
    }
}
