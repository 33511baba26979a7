#include "kestrane/mainwidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QCheckBox>
#include <QDesktopWidget>
#include <QGraphicsItem>
#include <QPushButton>
#include <QDir>
#include <QStandardPaths>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QMetaType>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include "kestrane/adddevicedialog.h"
#include "kestrane/axishooks.h"
#include "kestrane/calibrationdialogs.h"
#include "kestrane/clicklabel.h"
#include "kestrane/dgeneralsettings.h"
#include "kestrane/deviceitem.h"
#include "kestrane/devicetree.h"
#include "kestrane/dstartpanel.h"
#include "kestrane/graphicsitem.h"
#include "kestrane/gconfig.h"
#include "kestrane/mainwindowhooks.h"
#include "kestrane/mediasidebar.h"
#include "kestrane/prompt.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "kestrane/controlsidebar.h"
#include "kestrane/rightsidebar.h"
#include "kestrane/scene.h"
#include "kestrane/settings.h"
#include "kestrane/stagepanelhooks.h"
#include "kestrane/stagewidget.h"
#include "kestrane/timeaxiswidget.h"
#include "lintra/ClientSession.h"

namespace prompt = kestrane::prompt;

using kestrane::StartupPlan;
using kestrane::StartupSettings;

namespace {

const char kProjectFilter[] = "Vadra(*.vadra)";
const char kRoundRunningText[] = "正在连接或断开设备，请等待完成后再新建或打开项目！";
const int kSidebarWidth = 240;

// What the configuration object asks of the main window itself.
class WindowHooks : public MainWindowHooks {
public:
    explicit WindowHooks(MainWidget* window) : m_window(window) {}

    void mediaUpdateRequest(int kind) override { m_window->mediaUpdateRequest(2, kind); }
    void showWaiting(bool show) override { m_window->showWaiting(show); }
    bool isWaitingHidden() const override { return m_window->isProgressHidden(); }
    void showProgress(bool show) override { m_window->showProgress(show); }
    void updateProgress(int current, int total, const QString& name) override {
        m_window->updateProgress(current, total, name);
    }
    void setSelectMode(bool mediaMode, bool lockOther) override { m_window->setSelectMode(mediaMode, lockOther); }
    void resetToolBox() override { m_window->resetToolBox(); }
    QList<int> verticalSplitterSizes() const override { return m_window->verticalSplitterSizes(); }
    QList<int> horizontalSplitterSizes() const override { return m_window->horizontalSplitterSizes(); }
    void setSplitterSizes(const QList<int>& vertical, const QList<int>& horizontal) override {
        m_window->setVerticalSplitterSizes(vertical);
        m_window->setHorizontalSplitterSizes(horizontal);
    }
    void resetSplitters() override {
        m_window->setVerticalSplitterSizes({1200, 500});
        m_window->setHorizontalSplitterSizes({m_window->width() - kSidebarWidth, kSidebarWidth});
    }
    void connectDevices() override { m_window->connectDevices(); }
    void setMenuSpeed(int index) override { m_window->setMenuSpeed(index); }
    void setAutoSaveInterval(int seconds) override { m_window->setAutoSaveInterval(seconds); }

private:
    MainWidget* m_window;
};

}  // namespace

MainWidget::MainWidget(QWidget* parent) : MainWindow(parent) {
    // Worker threads queue lists of device ids to this window.
    qRegisterMetaType<QList<int>>("QList<int>");

    GConfig::instance().mainWidget = this;
    m_windowHooks = std::make_unique<WindowHooks>(this);
    GConfig::instance().setMainWindowHooks(m_windowHooks.get());
    m_calibrationHooks = std::make_unique<CalibrationDialogs>();
    GConfig::instance().setCalibrationHooks(m_calibrationHooks.get());

    initLayout();
    initMenuBar();
    initToolBox();
    resize(800, 600);
    initConnections();

    m_mediaUpdateTimer = new QTimer(this);
    connect(m_mediaUpdateTimer, &QTimer::timeout, this, &MainWidget::checkMediaUpdate);
    m_mediaUpdateTimer->start(100);
    m_autoSaveTimer = new QTimer(this);
    connect(m_autoSaveTimer, &QTimer::timeout, this, &MainWidget::autoSaveMonitor);
    m_autoSaveTimer->start(1000);

    QTimer::singleShot(0, this, [] { GConfig::instance().setSaved(true); });

    m_windowNameList = QStringList{QStringLiteral("DPlayControlWindow"),     QStringLiteral("DPauseControlWindow"),
                        QStringLiteral("DJumpControlWindow"),     QStringLiteral("AddDeviceDialogWindow"),
                        QStringLiteral("DStringOutWindow"),       QStringLiteral("QMessageBoxClassWindow"),
                        QStringLiteral("DTimeAxisStringOutWindow")};
    m_classNameList = QStringList{QStringLiteral("QLineEdit"),    QStringLiteral("QTextEdit"),
                       QStringLiteral("QPushButton"),  QStringLiteral("DJumpControl"),
                       QStringLiteral("DStringOut"),   QStringLiteral("DTimeAxisStringOut"),
                       QStringLiteral("DPauseControl"), QStringLiteral("DPlayControl"),
                       QStringLiteral("QMessageBox"),  QStringLiteral("AddDeviceDialog")};

    CClientSession::SetCallback(&clientSessionCallback, nullptr);

    QTimer::singleShot(100, this, qOverload<>(&MainWidget::applyStartupOptions));
}

MainWidget::~MainWidget() {
    // Worker threads are children of the window: none may be running when
    // it goes.
    stopWorkers();
    GConfig& config = GConfig::instance();
    // The panels go first, while the hooks they call still live.
    delete m_vertical;
    m_vertical = nullptr;
    if (&config.stageHooks() == static_cast<StageHooks*>(m_stageHooks.get()))
        config.setStageHooks(nullptr);
    if (&config.timeAxisHooks() == static_cast<TimeAxisHooks*>(m_axisHooks.get()))
        config.setTimeAxisHooks(nullptr);
    if (&config.mainWindowHooks() == m_windowHooks.get())
        config.setMainWindowHooks(nullptr);
    if (&config.calibrationHooks() == static_cast<CalibrationHooks*>(m_calibrationHooks.get()))
        config.setCalibrationHooks(nullptr);
    if (config.stageWidget == m_stageWidget)
        config.stageWidget = nullptr;
    if (config.mainWidget == this)
        config.mainWidget = nullptr;
}

void MainWidget::initLayout() {
    GConfig& config = GConfig::instance();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window takes the sizes it is given (the first restore's 80 % of a
    // small screen too); the panels' minimums do not widen it.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    m_topBar = new RadiusBackgroundWidget(this);
    m_topBar->radius = 2;
    m_topBar->topLeftRound = true;
    m_topBar->topRightRound = true;
    m_topBar->brush = QBrush(QColor(QStringLiteral("#343434")));
    m_topBar->bottomBorder = true;
    m_topBar->borderColor = QColor(QStringLiteral("#000"));
    m_topBar->dragWindow = this;
    m_topBar->dragOffsetX = 5;
    m_topBar->dragOffsetY = 5;
    m_topBar->setCursor(Qt::ArrowCursor);
    m_topBar->setObjectName(QStringLiteral("topBar"));
    m_topBar->setFixedHeight(29);
    layout->addWidget(m_topBar);

    auto* toolRow = new QHBoxLayout;
    toolRow->setContentsMargins(0, 0, 0, 0);
    toolRow->setSpacing(0);
    m_toolBox = new QWidget(this);
    m_toolBox->setObjectName(QStringLiteral("toolboxBar"));
    m_toolBox->setFixedHeight(29);
    toolRow->addWidget(m_toolBox);
    auto* toolFiller = new QWidget(this);
    toolFiller->setFixedWidth(5);
    toolFiller->setStyleSheet(QStringLiteral("border-top:1px solid #454545;"));
    toolRow->addWidget(toolFiller);
    layout->addLayout(toolRow);

    auto* splitterRow = new QHBoxLayout;
    splitterRow->setContentsMargins(0, 0, 0, 0);
    splitterRow->setSpacing(0);
    m_vertical = new QSplitter(Qt::Vertical, this);
    m_vertical->setObjectName(QStringLiteral("vertical"));
    m_vertical->setContentsMargins(5, 0, 0, 5);
    splitterRow->addWidget(m_vertical);
    auto* splitterFiller = new QWidget(this);
    splitterFiller->setFixedWidth(5);
    splitterRow->addWidget(splitterFiller);
    layout->addLayout(splitterRow);

    m_horizontal = new QSplitter(Qt::Horizontal, m_vertical);
    m_horizontal->setObjectName(QStringLiteral("horizontal"));
    m_horizontal->setContentsMargins(0, 0, 0, 0);

    m_stageWidget = new StageWidget(m_horizontal);
    config.stageWidget = m_stageWidget;
    m_stageHooks = std::make_unique<StagePanelHooks>(m_stageWidget);
    config.setStageHooks(m_stageHooks.get());

    RightSidebarPages pages;
    pages.makeMediaPage = [](QWidget* parent) -> QWidget* { return new MediaSidebar(parent); };
    pages.mediaFirstPage = [](QWidget* page) {
        if (auto* media = qobject_cast<MediaSidebar*>(page))
            media->showFirstPage();
    };
    pages.showMediaAttribute = [](QWidget* page, int mediaId, bool switchTab) {
        if (auto* media = qobject_cast<MediaSidebar*>(page))
            media->showMediaAttribute(mediaId, switchTab);
    };
    pages.makeControlPage = [](QWidget* parent) -> QWidget* { return new ControlSidebar(parent); };
    pages.setControlTab = [](QWidget* page, int tab) {
        if (auto* control = qobject_cast<ControlSidebar*>(page))
            control->setCurrentTab(tab);
    };
    RightSidebar::setPages(pages);
    m_rightSidebar = new RightSidebar(m_horizontal);
    m_rightSidebar->setObjectName(QStringLiteral("rightSidebar"));
    // Width the splitter gains or loses goes to the stage alone.
    m_horizontal->setStretchFactor(0, 1);
    m_horizontal->setStretchFactor(1, 0);

    m_timeAxisWidget = new TimeAxisWidget(m_vertical);
    m_axisHooks = std::make_unique<AxisHooks>(m_timeAxisWidget);
    config.setTimeAxisHooks(m_axisHooks.get());

    m_vertical->setSizes({1200, 500});
    m_horizontal->setSizes({width() - kSidebarWidth, kSidebarWidth});
}

void MainWidget::initMenuBar() {
    auto* bar = new QHBoxLayout(m_topBar);
    bar->setContentsMargins(8, 0, 0, 3);
    bar->setSpacing(0);
    m_topBar->setFocusPolicy(Qt::NoFocus);

    auto* logo = new QLabel(m_topBar);
    logo->setFixedSize(13, 21);
    logo->setStyleSheet(QStringLiteral("QLabel {background-image:url(:/images/logo_13x21.png)}"));
    bar->addWidget(logo);

    m_menuBar = new QMenuBar(m_topBar);
    m_menuBar->setFocusPolicy(Qt::NoFocus);
    m_menuBar->setFixedWidth(490);
    m_menuBar->setObjectName(QStringLiteral("menubar"));
    m_menuBar->setCursor(Qt::ArrowCursor);
    connect(m_menuBar, &QMenuBar::triggered, this, &MainWidget::menuClicked);
    for (const QStringList& top : GConfig::instance().topMenus()) {
        if (top.size() < 2)
            continue;
        auto* menu = new QMenu(top.at(1), m_menuBar);
        menu->setFocusPolicy(Qt::NoFocus);
        menu->setCursor(Qt::ArrowCursor);
        createMenu(menu, top.at(0));
        m_menuBar->addMenu(menu);
        if (top.at(0) == QLatin1String("edit")) {
            // Delete deletes through the menu only while it is open; at all
            // other times the key belongs to the focused widget.
            connect(menu, &QMenu::aboutToShow, this, [this] {
                if (QAction* del = m_actions.value(QStringLiteral("del")))
                    del->setShortcut(QKeySequence(Qt::Key_Delete));
            });
            connect(menu, &QMenu::aboutToHide, this, [this] {
                if (QAction* del = m_actions.value(QStringLiteral("del")))
                    del->setShortcut(QKeySequence());
            });
        }
    }
    bar->addWidget(m_menuBar);

    auto* spacer = new ClickLabel(m_topBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(spacer, &ClickLabel::doubleClicked, this, &MainWidget::resizeMaxOrNormalWindow);
    bar->addWidget(spacer);
    auto* minimize = new ClickLabel(m_topBar);
    minimize->setObjectName(QStringLiteral("minimize"));
    minimize->setFixedSize(26, 26);
    connect(minimize, &ClickLabel::clicked, this, &QWidget::showMinimized);
    bar->addWidget(minimize);
    m_maximize = new ClickLabel(m_topBar);
    m_maximize->setObjectName(QStringLiteral("maximize"));
    m_maximize->setFixedSize(26, 26);
    connect(m_maximize, &ClickLabel::clicked, this, &MainWidget::resizeMaxOrNormalWindow);
    bar->addWidget(m_maximize);
    auto* close = new ClickLabel(m_topBar);
    close->setObjectName(QStringLiteral("closewindow"));
    close->setFixedSize(26, 26);
    connect(close, &ClickLabel::clicked, this, &MainWidget::quitProc);
    bar->addWidget(close);
}

void MainWidget::createMenu(QMenu* menu, const QString& menuId) {
    GConfig& config = GConfig::instance();
    if (menuId == QLatin1String("last_items")) {
        std::unique_ptr<QSettings> settings = kestrane::openSettings();
        if (!settings)
            return;
        const QVariantList entries = settings->value(QStringLiteral("projects/projectData")).toList();
        for (const QVariant& entry : entries) {
            const QVariantList pair = entry.toList();
            if (pair.size() < 2)
                continue;
            QAction* action = menu->addAction(QIcon(QStringLiteral(":/images/logo2.png")), pair.at(0).toString());
            action->setProperty("action", QStringLiteral("last_items"));
            action->setProperty("path", pair.at(1).toString());
            connect(action, &QAction::triggered, this, &MainWidget::actionSlots);
        }
        return;
    }
    const QStringList disabled = config.disabledActions();
    for (const QStringList& item : config.menuItems(menuId)) {
        const QString kind = item.value(0);
        if (kind == QLatin1String("action") || kind == QLatin1String("checkable")) {
            const QString id = item.value(1);
            QAction* action = menu->addAction(item.value(2));
            m_actions.insert(id, action);
            action->setProperty("action", id);
            if (kind == QLatin1String("checkable")) {
                action->setCheckable(true);
                action->setChecked(item.value(3) == QLatin1String("on"));
            } else {
                if (item.size() > 3)
                    action->setShortcut(QKeySequence(item.at(3)));
                const QStringList icons = config.toolIcons(id);
                if (icons.size() >= 2) {
                    action->setIcon(QIcon(icons.at(0)));
                    connect(action, &QAction::hovered, this, &MainWidget::hoverMenu);
                }
            }
            connect(action, &QAction::triggered, this, &MainWidget::actionSlots);
            if (disabled.contains(id))
                action->setEnabled(false);
        } else if (kind == QLatin1String("separator")) {
            menu->addSeparator();
        } else if (kind == QLatin1String("menu")) {
            const QString id = item.value(1);
            auto* sub = new QMenu(item.value(2), menu);
            if (id.contains(QLatin1String("add_device_")) || id == QLatin1String("add_device"))
                sub->setObjectName(QStringLiteral("menudeviceList"));
            createMenu(sub, id);
            menu->addMenu(sub);
        }
    }
}

void MainWidget::initConnections() {
    connect(m_stageWidget->scene(), &Scene::itemDropped, m_timeAxisWidget,
            [axis = m_timeAxisWidget](int id, int row, int layer) { axis->addItemToLayer(id, row, layer); });
}

QList<int> MainWidget::verticalSplitterSizes() const { return m_vertical ? m_vertical->sizes() : QList<int>{}; }
QList<int> MainWidget::horizontalSplitterSizes() const {
    return m_horizontal ? m_horizontal->sizes() : QList<int>{};
}
void MainWidget::setVerticalSplitterSizes(const QList<int>& sizes) {
    if (m_vertical)
        m_vertical->setSizes(sizes);
}
void MainWidget::setHorizontalSplitterSizes(const QList<int>& sizes) {
    if (m_horizontal)
        m_horizontal->setSizes(sizes);
}

void MainWidget::setMenuSpeed(int index) {
    static const char* const kSpeeds[] = {"play_control_speed_1", "play_control_speed_1.5", "play_control_speed_2"};
    if (index < 0 || index > 2)
        return;
    for (int i = 0; i < 3; ++i)
        if (QAction* a = m_actions.value(QString::fromLatin1(kSpeeds[i])))
            a->setChecked(i == index);
}

void MainWidget::menuClicked() { setCursor(Qt::ArrowCursor); }
void MainWidget::hoverMenu() {}

void MainWidget::resizeMaxOrNormalWindow() {
    if (!m_maximize)
        return;
    if (isMaximized()) {
        layout()->setContentsMargins(5, 5, 5, 5);
        m_maximize->setStyleSheet(QStringLiteral(
            "QLabel {background:url(:/images/normal_transparent.png);}QLabel:hover "
            "{background:url(:/images/normal_halftransparent.png);}"));
        showNormal();
        if (m_firstRestore) {
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            setGeometry(int(screen.width() * 0.2 * 0.5), int(screen.height() * 0.2 * 0.5), int(screen.width() * 0.8),
                        int(screen.height() * 0.8));
            m_firstRestore = false;
        }
    } else {
        layout()->setContentsMargins(0, 0, 0, 0);
        m_maximize->setStyleSheet(QStringLiteral(
            "QLabel {background:url(:/images/maximize_transparent.png);}QLabel:hover "
            "{background:url(:/images/maximize_halftransparent.png);}"));
        showMaximized();
    }
}

void MainWidget::resizeEvent(QResizeEvent* event) {
    MainWindow::resizeEvent(event);
    setHorizontalSplitterSizes({width() - kSidebarWidth, kSidebarWidth});
    placeOverlay();
}

namespace {

// Stage items are looked up by id when a queued operation runs: the item
// may have gone meanwhile.
DeviceItem* findDeviceItem(int id) {
    Scene* scene = GConfig::instance().scene;
    if (!scene)
        return nullptr;
    for (QGraphicsItem* item : scene->items())
        if (auto* device = dynamic_cast<DeviceItem*>(item); device && device->deviceId() == id)
            return device;
    return nullptr;
}

void queueDeviceOperation(QObject* context, int deviceId, void (DeviceItem::*operation)()) {
    QTimer::singleShot(0, context, [deviceId, operation] {
        if (DeviceItem* item = findDeviceItem(deviceId))
            (item->*operation)();
    });
}

QList<QGraphicsItem*> selectedStageItems() {
    Scene* scene = GConfig::instance().scene;
    return scene ? scene->selectedItems() : QList<QGraphicsItem*>{};
}

QGraphicsItem* stageFocusItem() {
    Scene* scene = GConfig::instance().scene;
    return scene ? scene->focusItem() : nullptr;
}

// The focus item's id when it is of the kind, else the first selected
// item's when that is, else 0.
template <class Item, int (Item::*idOf)() const>
int focusOrFirstSelectedId() {
    if (auto* item = dynamic_cast<Item*>(stageFocusItem()); item && (item->*idOf)() != 0)
        return (item->*idOf)();
    const QList<QGraphicsItem*> selected = selectedStageItems();
    if (!selected.isEmpty())
        if (auto* item = dynamic_cast<Item*>(selected.first()))
            return (item->*idOf)();
    return 0;
}

// The device a correction from the menu is for: the stage's focus tile,
// else the one selected tile, else the first device selected in the device
// list; 0 when the operator has chosen none.
int deviceToCorrect() {
    if (auto* item = dynamic_cast<DeviceItem*>(stageFocusItem()))
        return item->deviceId();
    QList<DeviceItem*> tiles;
    for (QGraphicsItem* item : selectedStageItems())
        if (auto* device = dynamic_cast<DeviceItem*>(item))
            tiles << device;
    if (tiles.size() == 1)
        return tiles.first()->deviceId();
    if (DeviceTree* tree = GConfig::instance().deviceTree)
        for (QTreeWidgetItem* item : tree->selectedInTreeOrder())
            if (DeviceTree::isDevice(item) && findDeviceItem(DeviceTree::itemId(item)))
                return DeviceTree::itemId(item);
    return 0;
}

}  // namespace

void MainWidget::actionSlots(bool /*checked*/) {
    auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    runAction(action->property("action").toString(), action);
}

void MainWidget::runAction(const QString& id, QAction* action) {
    GConfig& config = GConfig::instance();
    TimeAxisWidget* axis = m_timeAxisWidget;
    static const QStringList kPresets{
        QStringLiteral("add_device_vga"),  QStringLiteral("add_device_svga"), QStringLiteral("add_device_xga"),
        QStringLiteral("add_device_720p"), QStringLiteral("add_device_wxga"), QStringLiteral("add_device_qvga"),
        QStringLiteral("add_device_sxga"), QStringLiteral("add_device_uxga"), QStringLiteral("add_device_hd"),
        QStringLiteral("add_device_uhd"),  QStringLiteral("add_device_diy")};
    static const QStringList kScales{QStringLiteral("stage_resize12_5"), QStringLiteral("stage_resize25"),
                                     QStringLiteral("stage_resize50"), QStringLiteral("stage_resize75"),
                                     QStringLiteral("stage_resize100")};
    static const QStringList kSpeeds{QStringLiteral("play_control_speed_1"), QStringLiteral("play_control_speed_1.5"),
                                     QStringLiteral("play_control_speed_2")};
    static const QStringList kSequences{QStringLiteral("layer_sequence_top"), QStringLiteral("layer_sequence_up"),
                                        QStringLiteral("layer_sequence_down"),
                                        QStringLiteral("layer_sequence_bottom")};

    if (id == QLatin1String("save")) {
        saveProject();
    } else if (id == QLatin1String("open")) {
        openProject();
    } else if (id == QLatin1String("new")) {
        newProject();
        addDevice(-1);
    } else if (id == QLatin1String("close") || id == QLatin1String("quit")) {
        quitProc();
    } else if (id == QLatin1String("magnet")) {
        const bool on = !m_snap->isChecked();
        config.setMagnet(on);
        m_snap->setChecked(on);
    } else if (id == QLatin1String("add_play_control")) {
        addPlayControl(1);
    } else if (id == QLatin1String("add_pause_control")) {
        addPlayControl(0);
    } else if (id == QLatin1String("add_jump_control")) {
        addPlayControl(2);
    } else if (id == QLatin1String("play_control_play")) {
        if (config.previewPlaying())
            config.pausePlayback();
        else
            config.startPlayback();
    } else if (id == QLatin1String("settings")) {
        DGeneralSettings dialog(this);
        dialog.exec();
    } else if (id == QLatin1String("last_items")) {
        const QString path = action ? action->property("path").toString() : QString();
        if (path != config.projectPath())
            openProject(path);
    } else if (id == QLatin1String("save_as")) {
        saveProjectAs();
    } else if (id == QLatin1String("add_time_axis_layer")) {
        axis->addLayer(false);
    } else if (id == QLatin1String("del_time_axis_layer")) {
        axis->removeLayer();
    } else if (id == QLatin1String("time_axis_resize_add")) {
        axis->addScale();
    } else if (id == QLatin1String("time_axis_resize_reduce")) {
        axis->reduceScale();
    } else if (id == QLatin1String("play_control_back")) {
        axis->playStop();
    } else if (id == QLatin1String("play_control_plus")) {
        axis->forwardFiveSecond();
    } else if (id == QLatin1String("play_control_reduce")) {
        axis->backFiveSecond();
    } else if (kSpeeds.contains(id)) {
        const int index = kSpeeds.indexOf(id);
        for (int i = 0; i < kSpeeds.size(); ++i)
            if (QAction* other = m_actions.value(kSpeeds.at(i)); other && i != index)
                other->setChecked(false);
        axis->setSpeedIndex(index);
    } else if (kSequences.contains(id)) {
        axis->changeLayerSequence(kSequences.indexOf(id));
    } else if (kScales.contains(id)) {
        m_stageWidget->setScaleIndex(kScales.indexOf(id));
    } else if (id == QLatin1String("add_media")) {
        runAddMedia();
    } else if (kPresets.contains(id)) {
        addDevice(kPresets.indexOf(id));
    } else if (id == QLatin1String("device_layout") || id == QLatin1String("combination") ||
               id == QLatin1String("discombination")) {
        const QList<QGraphicsItem*> selected = selectedStageItems();
        auto* first = selected.size() > 1 ? dynamic_cast<DeviceItem*>(selected.first()) : nullptr;
        // Laying out or grouping outputs of different resolutions is refused
        // here as the tile menu refuses it; ungrouping needs no such check.
        const bool sameSize = id == QLatin1String("discombination") || DeviceItem::sameResolution(selected);
        if (first && sameSize) {
            void (DeviceItem::*operation)() = id == QLatin1String("device_layout") ? &DeviceItem::openMatrixLayout
                                              : id == QLatin1String("combination") ? &DeviceItem::combine
                                                                                    : &DeviceItem::uncombine;
            queueDeviceOperation(this, first->deviceId(), operation);
        }
    } else if (id == QLatin1String("device_color") || id == QLatin1String("device_correction")) {
        const int deviceId = deviceToCorrect();
        if (deviceId != 0)
            queueDeviceOperation(this, deviceId,
                                 id == QLatin1String("device_color") ? &DeviceItem::openColorCorrection
                                                                     : &DeviceItem::openGeometryCorrection);
        else
            prompt::warning(this, QStringLiteral("操作出错"), QStringLiteral("请先在舞台或设备列表中选中一个设备"));
    } else if (id == QLatin1String("attribute")) {
        QGraphicsItem* item = stageFocusItem();
        if (!item) {
            const QList<QGraphicsItem*> selected = selectedStageItems();
            if (selected.size() == 1)
                item = selected.first();
        }
        if (auto* device = dynamic_cast<DeviceItem*>(item)) {
            const int deviceId = device->deviceId();
            QTimer::singleShot(0, this, [deviceId] { GConfig::instance().showDeviceLater(deviceId, true); });
        }
    } else if (id == QLatin1String("del")) {
        const QList<QGraphicsItem*> selected = selectedStageItems();
        if (!selected.isEmpty()) {
            if (config.editMode() == 1) {
                if (auto* media = dynamic_cast<GraphicsItem*>(selected.first()))
                    media->deleteSelected();
            } else if (auto* device = dynamic_cast<DeviceItem*>(selected.first())) {
                device->deleteSelected();
            }
        }
    } else if (id == QLatin1String("material_submenu_list")) {
        config.sidePanelHooks().showMediaTab();
    } else if (id == QLatin1String("material_submenu_attr")) {
        config.showMediaLater(focusOrFirstSelectedId<GraphicsItem, &GraphicsItem::mediaId>(), true);
    } else if (id == QLatin1String("device_submenu_list")) {
        config.sidePanelHooks().showDeviceTab();
    } else if (id == QLatin1String("device_submenu_attr")) {
        config.showDeviceLater(focusOrFirstSelectedId<DeviceItem, &DeviceItem::deviceId>(), true);
    } else if (id == QLatin1String("control_submenu_in")) {
        config.sidePanelHooks().showControlTab(0);
    } else if (id == QLatin1String("control_submenu_out")) {
        config.sidePanelHooks().showControlTab(1);
    } else if (id == QLatin1String("connect")) {
        if (m_connectButton->isEnabled() && !config.isConnected())
            connectDevices();
    } else if (id == QLatin1String("disconnect")) {
        if (m_connectButton->isEnabled() && config.isConnected())
            disconnectDevices();
    } else if (id == QLatin1String("realtime_update")) {
        const bool on = action && action->isChecked();
        if (action)
            action->setChecked(on);
        m_realTime->setChecked(on);
        m_updateButton->setEnabled(!on);
        config.setRealtimeUpdate(on);
    } else if (id == QLatin1String("update")) {
        if (m_updateButton->isEnabled())
            mediaUpdateRequest(2, 1);
    } else if (id == QLatin1String("open_welcome")) {
        QString path;
        const bool accepted = runStartPanel(&path);
        if (accepted && path.isEmpty())
            addDevice(-1);
        else if (!path.isEmpty() && path != config.projectPath())
            openProject(path);
    }
}

void MainWidget::addDevice() { addDevice(-1); }

void MainWidget::addDevice(int index) {
    GConfig& config = GConfig::instance();
    if (config.isConnected()) {
        prompt::warning(this, QStringLiteral("无法添加新设备"), QStringLiteral("仅当所有设备处于离线状态才能添加新的设备"));
        return;
    }
    config.pausePlayback();
    DeviceRecord record;
    AddDeviceDialog dialog(&record, index, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    record.presetIndex = 2;
    record.presetText = config.resolutionPresets().value(2);
    const int id = config.nextDeviceId();
    config.devices().insert(id, record);
    config.setSaved(false);
    config.sidePanelHooks().insertDeviceItem(id, 0, false);
    config.stageHooks().addDeviceItem(id);
    config.sidePanelHooks().showDeviceTab();
}

StartupSettings MainWidget::readStartupSettings() {
    StartupSettings s;
    std::unique_ptr<QSettings> settings = kestrane::openSettings();
    if (!settings)
        return s;
    s.showList = settings->value(QStringLiteral("base/showList"), 0).toInt();
    settings->beginGroup(QStringLiteral("GeneralSettings"));
    s.clientAutoLoadFile = settings->value(QStringLiteral("clientAutoLoadFile"), false).toBool();
    s.clientAutoLoadFilePath = settings->value(QStringLiteral("clientAutoLoadFilePath"), QString()).toString();
    s.clientAutoMinimize = settings->value(QStringLiteral("clientAutoMinimize"), false).toBool();
    s.clientAutoConnect = settings->value(QStringLiteral("clientAutoConnect"), false).toBool();
    s.clientAutoConnectAndPlay = settings->value(QStringLiteral("clientAutoConnectAndPlay"), false).toBool();
    s.autoSaveInterval = settings->value(QStringLiteral("autoSaveInterval"), 1).toInt();
    settings->endGroup();
    return s;
}

void MainWidget::applyStartupOptions() { applyStartupOptions(QCoreApplication::arguments()); }

void MainWidget::applyStartupOptions(const QStringList& args) {
    // The edit menu gives "del" its Delete key only while it is open.
    if (QAction* del = m_actions.value(QStringLiteral("del")))
        del->setShortcut(QKeySequence());
    QCoreApplication::processEvents();

    const StartupSettings settings = readStartupSettings();
    m_autoSaveInterval = kestrane::autoSaveIntervalSeconds(settings.autoSaveInterval);
    m_lastSaveTime = static_cast<uint>(now());

    const StartupPlan plan = kestrane::planStartup(args, settings);
    if (plan.minimize)
        showMinimized();

    bool loaded = true;
    switch (plan.action) {
    case StartupPlan::OpenArgument:
        openProjectPath(plan.path, &loaded);
        return;
    case StartupPlan::OpenConfigured:
        openProjectPath(plan.path, &loaded);
        if (loaded && plan.connectWhenLoaded)
            autoConnectAndPlay(plan.playWhenConnected);
        return;
    case StartupPlan::ShowStartPanel: {
        QString path;
        if (runStartPanel(&path) && path.isEmpty()) {
            addDevice(-1);
            return;
        }
        if (!path.isEmpty())
            openProjectPath(path, &loaded);
        return;
    }
    case StartupPlan::Nothing:
        return;
    }
}

void MainWidget::autoConnectAndPlay(bool andPlay) {
    connectDevices();
    if (!andPlay)
        return;
    // Checks every 500 ms until a connection completes or no connection
    // thread is left, so that the loop cannot hang while servers are slow.
    QEventLoop loop;
    QTimer check;
    check.setInterval(500);
    connect(&check, &QTimer::timeout, &loop, [this, &loop] {
        if (GConfig::instance().isConnected()) {
            QCoreApplication::processEvents();
            startPlayback();
            loop.quit();
        } else if (m_pendingConnectThreads <= 0) {
            loop.quit();
        }
    });
    check.start();
    loop.exec();
}

bool MainWidget::serverRoundRunning() {
    m_threads.removeAll(QPointer<QThread>());
    if (m_pendingConnectThreads > 0 || m_pendingMediaThreads > 0)
        return true;
    // A thread that has reported may still be on its last steps with the
    // sessions clearing the project frees.
    for (const QPointer<QThread>& thread : m_threads)
        if (thread && thread->isRunning())
            return true;
    return false;
}

bool MainWidget::refuseWhileRoundRuns() {
    if (!serverRoundRunning())
        return false;
    prompt::warning(this, QStringLiteral("操作出错"), QString::fromUtf8(kRoundRunningText));
    return true;
}

bool MainWidget::mayReplaceProject() {
    GConfig& config = GConfig::instance();
    if (refuseWhileRoundRuns())
        return false;
    if (config.isConnected()) {
        prompt::warning(this, QStringLiteral("操作出错"), QStringLiteral("连接状态下无法打开新项目！"));
        return false;
    }
    config.pausePlayback();
    return config.isSaved() ||
           prompt::question(this, QStringLiteral("保存确认"), QStringLiteral("是否先保存当前项目？"),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes ||
           saveProject();
}

void MainWidget::newProject() {
    if (!mayReplaceProject())
        return;
    GConfig& config = GConfig::instance();
    config.clearProject();
    // Clearing leaves no playable length; a new project gets the one the
    // time axis started with (the default play duration), or the transport
    // would stop at once until media are dropped.
    config.setTimelineStart(0);
    config.setTimelineLength(std::max(config.minimumSpan(), 0), 0);
    for (int i = 0; i < 5; ++i)
        m_timeAxisWidget->addLayer(false);
    config.setProjectPath(QString());
    config.setTitleText(QStringLiteral("无标题.vadra"));
    config.setSaved(true);
}

bool MainWidget::loadProjectFromFile(const QString& path, bool interactive) {
    GConfig& config = GConfig::instance();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        prompt::warning(this, QStringLiteral("无法打开文件"),
                        QStringLiteral("没有找到文件：%1，请先确认该文件是否存在并再次尝试").arg(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    QStringList missing;
    const bool clean = config.checkProjectFile(bytes, missing);
    if (!clean) {
        if (missing.isEmpty()) {
            const QString refusal = config.projectFileRefusal();
            prompt::warning(this, QStringLiteral("无法识别项目文件"),
                            refusal.isEmpty() ? QStringLiteral("项目文件格式不正确，无法识别") : refusal);
            return false;
        }
        const QString text = interactive
                                 ? QStringLiteral("项目媒体文件缺失，缺失的媒体文件将不再显示，是否继续打开文档？\n缺失的媒体文件是：\n%1")
                                 : QStringLiteral("项目媒体文件缺失，缺失的媒体文件将不再显示，是否继续打开文档？\n缺失文件如下：\n%1");
        if (prompt::question(this, QStringLiteral("媒体文件缺失"), text.arg(missing.join(QLatin1Char('\n'))),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return false;
    }
    config.showWaiting(true);
    config.clearProject();
    config.loadProjectData(bytes, path);
    if (!interactive) {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    config.showWaiting(false);
    config.setSaved(clean);
    // Folder rows mark the project saved once the event loop comes round:
    // a project that lost media on the way must stay marked as changed.
    if (!clean)
        QTimer::singleShot(0, this, [] { GConfig::instance().setSaved(false); });
    warnDevicesWithoutChannel();
    return true;
}

void MainWidget::warnDevicesWithoutChannel() {
    // The add-device dialog refuses a ninth output; a file may still hold
    // one, and the walls would silently miss it.
    GConfig& config = GConfig::instance();
    QStringList lines;
    for (int id : config.devicesWithoutChannel())
        if (const DeviceRecord* d = config.device(id))
            lines << QStringLiteral("%1（%2，输出%3）").arg(d->name, d->serverIp).arg(d->outputIndex);
    if (!lines.isEmpty())
        prompt::warning(this, QStringLiteral("输出通道已用完"),
                        QStringLiteral("当前服务端的输出通道已用完，以下设备不会输出到服务端：\n%1")
                            .arg(lines.join(QLatin1Char('\n'))));
}

void MainWidget::openProject(const QString& givenPath) {
    if (!mayReplaceProject())
        return;
    GConfig& config = GConfig::instance();
    QString path = givenPath;
    if (path.isEmpty()) {
        path = prompt::openFileName(this, QStringLiteral("打开项目"), QString(), QString::fromLatin1(kProjectFilter));
        if (path.isEmpty() || path == config.projectPath())
            return;
    }
    loadProjectFromFile(path, true);
}

bool MainWidget::openProjectPath(const QString& path, bool* loaded) {
    GConfig& config = GConfig::instance();
    if (refuseWhileRoundRuns()) {
        if (loaded)
            *loaded = false;
        return false;
    }
    config.showWaiting(true);
    const bool ok = loadProjectFromFile(path, false);
    config.showWaiting(false);
    if (loaded)
        *loaded = ok;
    return ok;
}

bool MainWidget::saveProject() {
    GConfig& config = GConfig::instance();
    m_saving = true;
    QString path = config.projectPath();
    if (!config.isSaved() && path.isEmpty()) {
        path = prompt::saveFileName(this, QStringLiteral("保存为"), QString(), QString::fromLatin1(kProjectFilter));
        if (path.isEmpty()) {
            m_saving = false;
            return false;
        }
    }
    bool ok = !path.isEmpty() && config.saveProjectFile(path);
    if (!ok)
        prompt::warning(this, QStringLiteral("保存失败"), QStringLiteral("保存失败，请检查保存位置是否可以写入数据"));
    m_saving = false;
    return ok;
}

void MainWidget::saveProjectAs() {
    GConfig& config = GConfig::instance();
    if (config.isConnected()) {
        prompt::warning(this, QStringLiteral("操作出错"), QStringLiteral("连接状态下无法另存项目"));
        return;
    }
    config.pausePlayback();
    const QString path =
        prompt::saveFileName(this, QStringLiteral("另存为"), QString(), QString::fromLatin1(kProjectFilter));
    if (path.isEmpty())
        return;
    if (!config.saveProjectFile(path))
        prompt::warning(this, QStringLiteral("保存失败"), QStringLiteral("保存失败，请检查保存位置是否可以写入数据"));
}

MainWidget::StartPanelRunner& MainWidget::startPanelRunner() {
    static StartPanelRunner runner;
    return runner;
}

void MainWidget::setStartPanelRunner(StartPanelRunner runner) { startPanelRunner() = std::move(runner); }

bool MainWidget::runStartPanel(QString* path) {
    if (const StartPanelRunner& runner = startPanelRunner())
        return runner(this, path);
    DStartPanel panel(path, this);
    return panel.exec() == QDialog::Accepted;
}

void MainWidget::startPlayback() { GConfig::instance().startPlayback(); }

bool MainWidget::quitProc() {
    GConfig& config = GConfig::instance();
    bool saveWhenClose = false;
    if (std::unique_ptr<QSettings> settings = kestrane::openSettings())
        saveWhenClose = settings->value(QStringLiteral("GeneralSettings/saveWhenClose"), false).toBool();
    if (saveWhenClose && !config.projectPath().isEmpty() && !config.isSaved() && !saveProject()) {
        prompt::warning(this, QStringLiteral("文件保存出错"), QStringLiteral("文件保存出错，请手动保存后再关闭"));
        return false;
    }
    if (!config.isSaved()) {
        const QMessageBox::StandardButton answer =
            prompt::question(this, QStringLiteral("保存确认"), QStringLiteral("关闭前是否先保存当前项目？"),
                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Yes && !saveProject()))
            return false;
        if (answer != QMessageBox::Yes && answer != QMessageBox::No)
            return false;
    }
    QCoreApplication::quit();
    return true;
}

qint64 MainWidget::now() const { return m_clock ? m_clock() : QDateTime::currentSecsSinceEpoch(); }

void MainWidget::autoSaveMonitor() {
    const uint nowSeconds = static_cast<uint>(now());
    if (m_lastSaveTime != 0 && !m_saving && nowSeconds > m_lastSaveTime + static_cast<uint>(m_autoSaveInterval)) {
        m_saving = true;
        autoSave();
    }
}

void MainWidget::autoSave() {
    GConfig& config = GConfig::instance();
    if (isWaitingShown()) {
        m_saving = false;
        return;
    }
    bool namedNow = false;
    if (config.projectPath().isEmpty()) {
        QString folder;
        if (std::unique_ptr<QSettings> settings = kestrane::openSettings())
            folder = settings->value(QStringLiteral("GeneralSettings/savePath"), QString()).toString();
        // Without a chosen folder untitled work goes to Documents. Either
        // folder is made when it does not exist yet (a chosen one may have
        // been removed since, or be on a fresh account).
        if (folder.isEmpty())
            folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!folder.isEmpty())
            QDir().mkpath(folder);
        const QString name = nextUntitledPath(folder);
        if (name.isEmpty()) {
            m_saving = false;
            return;
        }
        config.setProjectPath(folder + QLatin1Char('/') + name);
        namedNow = true;
    }
    if (!config.isSaved()) {
        const QString path = config.projectPath();
        const bool ok = config.saveProjectFile(path);
        m_lastSaveTime = static_cast<uint>(now());
        if (ok) {
            qInfo().noquote() << "auto-saved" << path;
        } else {
            qWarning().noquote() << "auto-save to" << path << "failed";
            // An untitled project must not point at a file that was never written.
            if (namedNow)
                config.setProjectPath(QString());
        }
    } else {
        m_lastSaveTime = static_cast<uint>(now());
    }
    m_saving = false;
}

QString MainWidget::nextUntitledPath(const QString& folder) {
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return QString();
    const QStringList names = dir.entryList(QDir::Files | QDir::NoSymLinks | QDir::Hidden | QDir::System);
    const QString first = QStringLiteral("无标题.vadra");
    if (!names.contains(first))
        return first;
    for (int n = 2;; ++n) {
        const QString name = QStringLiteral("无标题(%1).vadra").arg(n);
        if (!names.contains(name))
            return name;
    }
}

void MainWidget::closeEvent(QCloseEvent* event) {
    if (quitProc())
        event->accept();
    else
        event->ignore();
}
