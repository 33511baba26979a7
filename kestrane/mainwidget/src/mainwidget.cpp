#include "kestrane/mainwidget.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QEventLoop>
#include <QList>
#include <QMetaType>
#include <QSettings>
#include <QTimer>

#include <memory>

#include "kestrane/gconfig.h"
#include "kestrane/settings.h"
#include "lintra/ClientSession.h"

using kestrane::StartupPlan;
using kestrane::StartupSettings;

void clientSessionCallback(int socket, void* /*user*/) {
    GConfig::instance().droppedServers(1, socket);
}

MainWidget::MainWidget(QWidget* parent) : MainWindow(parent) {
    // Worker threads queue lists of device ids to this window.
    qRegisterMetaType<QList<int>>("QList<int>");

    buildLayout();
    buildMenuBar();
    buildToolBox();
    resize(800, 600);

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
    GConfig& config = GConfig::instance();
    if (config.mainWidget == this)
        config.mainWidget = nullptr;
}

void MainWidget::buildLayout() {}
void MainWidget::buildMenuBar() {}
void MainWidget::buildToolBox() {}

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
    m_lastSaveTime = static_cast<uint>(QDateTime::currentSecsSinceEpoch());

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

bool MainWidget::openProjectPath(const QString& path, bool* loaded) {
    qDebug() << __FILE__ << __LINE__ << "opening projects is not available yet:" << path;
    if (loaded)
        *loaded = false;
    return false;
}

bool MainWidget::runStartPanel(QString* /*path*/) { return false; }
void MainWidget::addDevice(int /*id*/) {}
void MainWidget::connectDevices() {}
void MainWidget::startPlayback() {}

bool MainWidget::quitProc() {
    QCoreApplication::quit();
    return true;
}

void MainWidget::checkMediaUpdate() {}
void MainWidget::autoSaveMonitor() {}

void MainWidget::closeEvent(QCloseEvent* event) {
    if (quitProc())
        event->accept();
    else
        event->ignore();
}
