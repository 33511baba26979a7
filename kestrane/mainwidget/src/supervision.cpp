// The main window as supervisor of its display servers: connect and
// disconnect rounds, dropped sessions, media rounds and their progress on
// the device items, the busy overlay and the import progress dialog.
#include <QCheckBox>
#include <QDebug>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <utility>

#include "kestrane/deviceconnectthread.h"
#include "kestrane/dprogressbar.h"
#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/mediathread.h"
#include "kestrane/prompt.h"
#include "lintra/KestraneStageServer.h"

namespace prompt = kestrane::prompt;

namespace {

// How often a dropped server is tried again.
constexpr qint64 kReconnectIntervalMs = 1000;

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char kConnectTip[] = "连接设备";
const char kDisconnectTip[] = "断开设备连接";

}  // namespace

void clientSessionCallback(int socket, void* /*user*/) {
    GConfig& config = GConfig::instance();
    if (!config.isConnected())
        return;
    // The library closes the descriptor only after this returns, so no new
    // session can have it yet.
    const QString ip = config.sessionIpOfSocket(socket);
    if (!ip.isEmpty())
        config.droppedServerIps(1, ip);
}

// ---------------------------------------------------------------------------
// Connect and disconnect rounds

void MainWidget::setConnectLook(bool connected) {
    if (!m_connectButton)
        return;
    m_connectButton->setStyleSheet(connected ? m_connectedStyle : m_notConnectedStyle);
    m_connectButton->setToolTip(QString::fromUtf8(connected ? kDisconnectTip : kConnectTip));
}

void MainWidget::connectDevices() { startRound(true); }
void MainWidget::disconnectDevices() { startRound(false); }

void MainWidget::startRound(bool connect) {
    GConfig& config = GConfig::instance();
    m_connectButton->setEnabled(false);
    setConnectLook(connect);

    // Device ids by server, in id order; the map keeps the servers in
    // ascending string order.
    QMap<QString, QList<int>> servers;
    for (int id : config.deviceIds())
        servers[config.devices().value(id).serverIp].append(id);
    if (servers.isEmpty()) {
        if (connect)
            prompt::warning(this, QStringLiteral("连接出错"), QStringLiteral("请先添加设备"));
        m_connectButton->setChecked(false);
        setConnectLook(false);
        m_connectButton->setEnabled(true);
        return;
    }
    m_pendingConnectThreads = servers.size();
    m_failedServers.clear();
    // A round of the operator's takes over from any server being tried again.
    m_reconnectAt.clear();
    m_resyncServers.clear();
    m_resumeServers.clear();

    config.worlds().clear();
    for (int id : config.deviceIds())
        config.updateWorldConfigs(id);

    for (auto it = servers.constBegin(); it != servers.constEnd(); ++it) {
        auto* thread = new DeviceConnectThread(it.value(), it.key(), connect, this);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        QObject::connect(thread, &DeviceConnectThread::connectFinished, this, &MainWidget::connectFinished,
                         Qt::QueuedConnection);
        trackThread(thread);
        thread->start(QThread::InheritPriority);
    }
}

void MainWidget::connectFinished(QList<int> ids, QString ip, int status, bool isConnected) {
    // A message box below runs an event loop, in which the next result may
    // arrive: it waits until this one is done.
    if (m_inConnectFinished) {
        m_deferredResults.append([this, ids, ip, status, isConnected] { connectFinished(ids, ip, status, isConnected); });
        return;
    }
    m_inConnectFinished = true;
    GConfig& config = GConfig::instance();

    for (int id : ids)
        if (DeviceRecord* d = config.device(id))
            d->online = isConnected && status == 0;
    config.refreshStage();

    --m_pendingConnectThreads;
    if (status != 0)
        m_failedServers.append(ip);

    if (m_pendingConnectThreads <= 0) {
        m_pendingConnectThreads = 0;
        const QStringList servers = config.serverIps();
        if (servers.size() == m_failedServers.size()) {
            prompt::warning(this, QStringLiteral("连接出错"), QStringLiteral("无所与所有设备建立连接"));
            m_connectButton->setChecked(false);
            setConnectLook(false);
            QTimer::singleShot(0, this, &MainWidget::disconnectDevices);
            config.setConnected(false);
        } else if (isConnected) {
            if (!m_failedServers.isEmpty())
                prompt::warning(this, QStringLiteral("连接出错"),
                                QStringLiteral("无法与以下IP的设备建立连接：\n %1\n程序将仅更新已连接的设备")
                                    .arg(m_failedServers.join(QStringLiteral(", "))));
            m_connectButton->setChecked(true);
            setConnectLook(true);
            config.enableDeviceAttribute(false);
            config.setConnected(true);
            {
                QMutexLocker lock(&m_pendingMediaRequestMutex);
                m_pendingMediaRequest = 1;
            }
            if (!m_generalConfigSent && config.applyGeneralSettings())
                m_generalConfigSent = true;
        } else {
            mediaUpdateRequest(3);
            m_connectButton->setChecked(false);
            setConnectLook(false);
            config.enableDeviceAttribute(true);
            config.setConnected(false);
            for (MediaSource& m : config.media())
                m.serverHandles.clear();
            for (DeviceRecord& d : config.devices()) {
                d.syncProgress = -1;
                d.syncFailed = false;
            }
            config.refreshStage();
        }
        QTimer::singleShot(400, this, [this] { m_connectButton->setEnabled(true); });
    }

    m_inConnectFinished = false;
    const QList<std::function<void()>> deferred = std::exchange(m_deferredResults, {});
    for (const auto& run : deferred)
        run();
}

// ---------------------------------------------------------------------------
// The 100 ms tick: dropped sessions, then the pending media request

void MainWidget::checkMediaUpdate() {
    if (m_busy)
        return;
    GConfig& config = GConfig::instance();
    const QStringList dropped = config.droppedServerIps(3);
    if (!dropped.isEmpty()) {
        m_busy = true;
        handleDroppedServers(dropped);
        m_busy = false;
    }
    reconnectDroppedServers();
    if (!m_resyncServers.isEmpty()) {
        const QStringList back = std::exchange(m_resyncServers, {});
        if (config.media().isEmpty()) {
            for (const QString& ip : back)
                resumeServer(ip);
        } else {
            // Their own full round; the play state follows when it ends.
            m_busy = true;
            m_resumeServers += back;
            startMediaThreads(1, back);
        }
        return;
    }
    switch (mediaUpdateRequest(1)) {
    case 1:
        startMediaSync();
        break;
    case 2:
        startMediaUpdate(true);
        break;
    case 3:
        startMediaUpdate(false);
        break;
    default:
        break;
    }
}

void MainWidget::handleDroppedServers(const QStringList& ips) {
    GConfig& config = GConfig::instance();
    QStringList dropped;
    // A server being tried again is already taken off: what its attempts
    // open and lose is theirs to deal with.
    for (const QString& ip : config.serverIps())
        if (ips.contains(ip) && !dropped.contains(ip) && !m_reconnectAt.contains(ip) && config.clientSession(ip, 0))
            dropped.append(ip);
    // Our own disconnect or a session already gone: nothing of ours dropped.
    if (dropped.isEmpty())
        return;
    for (DeviceRecord& d : config.devices())
        if (dropped.contains(d.serverIp))
            d.online = false;
    for (const QString& ip : std::as_const(dropped)) {
        // Whatever is sent meanwhile fails at once rather than waits on a
        // dead peer; what the server held is gone with it.
        config.clientSession(ip, 2);
        for (MediaSource& m : config.media())
            m.serverHandles.remove(ip);
        m_reconnectAt.insert(ip, steadyMs() + kReconnectIntervalMs);
        m_resyncServers.removeAll(ip);
        m_resumeServers.removeAll(ip);
    }
    config.refreshStage();
    qWarning().noquote() << "servers dropped, trying again:" << dropped.join(QLatin1Char(' '));
    // Shown, but nobody need answer it for the show to come back.
    prompt::notice(this, QStringLiteral("连接出错"),
                   QStringLiteral("IP：%1下的所有设备连接中断！").arg(dropped.join(QLatin1Char(' '))));
}

void MainWidget::reconnectDroppedServers() {
    GConfig& config = GConfig::instance();
    if (!config.isConnected()) {
        m_reconnectAt.clear();
        m_resyncServers.clear();
        m_resumeServers.clear();
        return;
    }
    const qint64 t = steadyMs();
    for (auto it = m_reconnectAt.begin(); it != m_reconnectAt.end();) {
        const QString ip = it.key();
        if (m_reconnectRunning.contains(ip) || it.value() > t) {
            ++it;
            continue;
        }
        QList<int> ids;
        for (int id : config.deviceIds())
            if (config.devices().value(id).serverIp == ip)
                ids.append(id);
        if (ids.isEmpty()) {
            it = m_reconnectAt.erase(it);
            continue;
        }
        auto* thread = new DeviceConnectThread(ids, ip, true, this);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        QObject::connect(thread, &DeviceConnectThread::connectFinished, this, &MainWidget::reconnectFinished,
                         Qt::QueuedConnection);
        trackThread(thread);
        m_reconnectRunning.insert(ip);
        thread->start(QThread::InheritPriority);
        ++it;
    }
}

void MainWidget::reconnectFinished(QList<int> ids, QString ip, int status, bool /*isConnected*/) {
    m_reconnectRunning.remove(ip);
    GConfig& config = GConfig::instance();
    if (!config.isConnected() || !m_reconnectAt.contains(ip)) {
        // The operator disconnected meanwhile: what this attempt opened goes.
        if (!config.isConnected())
            config.clientSession(ip, 2);
        return;
    }
    if (status != 0) {
        // A session that connected but took no world starts afresh; one
        // that never connected is tried again as it is.
        if (CKestraneStageServer* s = config.clientSession(ip, 0); s && s->IsConnected())
            config.clientSession(ip, 2);
        m_reconnectAt.insert(ip, steadyMs() + kReconnectIntervalMs);
        return;
    }
    m_reconnectAt.remove(ip);
    qInfo().noquote() << "server" << ip << "back";
    for (int id : ids)
        if (DeviceRecord* d = config.device(id))
            d->online = true;
    config.refreshStage();
    if (!m_resyncServers.contains(ip))
        m_resyncServers.append(ip);
}

void MainWidget::resumeServer(const QString& ip) {
    const int state = GConfig::instance().resumeServer(ip);
    qInfo().noquote() << "server" << ip << "resumed, state" << state;
}

// ---------------------------------------------------------------------------
// The pending media request

int MainWidget::mergeMediaRequest(int pending, int request) {
    switch (pending) {
    case 0:
    case 3:
        return request;
    case 1:
        return 1;
    case 2:
        return request == 1 ? 1 : 2;
    default:
        return pending;
    }
}

int MainWidget::mediaUpdateRequest(int op, int value) {
    QMutexLocker lock(&m_pendingMediaRequestMutex);
    if (op == 2)
        m_pendingMediaRequest = mergeMediaRequest(m_pendingMediaRequest, value);
    else if (op == 3)
        m_pendingMediaRequest = 0;
    return m_pendingMediaRequest;
}

// ---------------------------------------------------------------------------
// Media rounds

qint64 MainWidget::pendingUploadSize() const {
    qint64 total = 0;
    QSet<qint64> counted;
    for (const MediaSource& m : GConfig::instance().media()) {
        // A key of 0 names no library entry: such media never share a file.
        if (m.sourceKey != 0) {
            if (counted.contains(m.sourceKey))
                continue;
            counted.insert(m.sourceKey);
        }
        const QFileInfo info(m.path);
        if (info.isFile())
            total += info.size();
    }
    return total;
}

void MainWidget::startMediaSync() {
    if (m_busy)
        return;
    m_busy = true;
    GConfig& config = GConfig::instance();
    if (!config.isConnected()) {
        prompt::warning(this, QStringLiteral("更新出错"), QStringLiteral("当前设备未连上服务器，无法更新"));
        m_busy = false;
        mediaUpdateRequest(3);
        return;
    }
    // Nothing to send, or nothing on disk to upload: the request is done
    // rather than looked at again every tick.
    if (config.media().isEmpty() || pendingUploadSize() == 0) {
        m_busy = false;
        mediaUpdateRequest(3);
        return;
    }
    m_updateButton->setEnabled(false);
    startMediaThreads(1);
}

void MainWidget::startMediaUpdate(bool withUpload) {
    if (m_busy)
        return;
    m_busy = true;
    GConfig& config = GConfig::instance();
    if (!config.isConnected() || config.media().isEmpty() || config.serverIps().isEmpty() ||
        pendingUploadSize() == 0) {
        m_busy = false;
        mediaUpdateRequest(3);
        return;
    }
    startMediaThreads(withUpload ? 2 : 3);
}

void MainWidget::startMediaThreads(int mode, const QStringList& only) {
    GConfig& config = GConfig::instance();
    const QStringList servers = only.isEmpty() ? config.serverIps() : only;
    if (servers.isEmpty()) {
        // No thread would ever report: the round ends now.
        if (mode == 1 && config.isConnected() && !m_realTime->isChecked())
            m_updateButton->setEnabled(true);
        m_busy = false;
        mediaUpdateRequest(3);
        return;
    }
    // The threads copy the records now: the request they answer is taken,
    // and whatever the operator changes from here on asks for a new round
    // that runs once this one ends, so the last edit always reaches the wall.
    mediaUpdateRequest(3);
    m_pendingMediaThreads = servers.size();
    m_totalUploadSize = pendingUploadSize();
    m_failedMediaServers.clear();
    for (const QString& ip : servers) {
        auto* thread = new MediaThread(ip, mode, this);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        QObject::connect(thread, &MediaThread::mediaSyncStatus, this, &MainWidget::receiveMediaSyncStatus,
                         Qt::QueuedConnection);
        trackThread(thread);
        thread->start(QThread::InheritPriority);
    }
}

void MainWidget::receiveMediaSyncStatus(QString ip, QList<int> deviceIds, QList<int> mediaIds, int status,
                                        qlonglong uploadSize, int updateType) {
    if (m_inSyncStatus) {
        m_deferredResults.append([this, ip, deviceIds, mediaIds, status, uploadSize, updateType] {
            receiveMediaSyncStatus(ip, deviceIds, mediaIds, status, uploadSize, updateType);
        });
        return;
    }
    m_inSyncStatus = true;

    const bool upload = updateType == 1 || updateType == 2;
    double ratio = -1.0;
    if (upload)
        ratio = m_totalUploadSize > 0 ? qMin(1.0, double(uploadSize) / double(m_totalUploadSize)) : 1.0;
    bool ended = false;
    if ((status == -1 || status == 2) && m_resumeServers.removeAll(ip) > 0)
        resumeServer(ip);
    if (status == -1) {
        if (upload)
            showMediaSyncResult(ip, ratio, true);
        m_failedMediaServers.append(ip);
        --m_pendingMediaThreads;
        ended = true;
    } else if (status == 2) {
        if (upload)
            showMediaSyncResult(ip, ratio, false);
        --m_pendingMediaThreads;
        ended = true;
    } else if (status == 1) {
        if (upload)
            showMediaSyncResult(ip, ratio, false);
    }

    if (ended && m_pendingMediaThreads <= 0) {
        m_pendingMediaThreads = 0;
        GConfig& config = GConfig::instance();
        if (updateType == 1 && config.isConnected() && !m_realTime->isChecked())
            m_updateButton->setEnabled(true);
        if (upload) {
            const QStringList failed = m_failedMediaServers;
            QTimer::singleShot(1000, this, [this, failed] {
                GConfig& c = GConfig::instance();
                for (DeviceRecord& d : c.devices()) {
                    if (failed.contains(d.serverIp)) {
                        d.syncFailed = true;
                    } else {
                        d.syncProgress = -1;
                        d.syncFailed = false;
                    }
                }
                c.refreshStage();
            });
        }
        m_busy = false;
    }

    m_inSyncStatus = false;
    const QList<std::function<void()>> deferred = std::exchange(m_deferredResults, {});
    for (const auto& run : deferred)
        run();
}

void MainWidget::showMediaSyncResult(const QString& ip, double ratio, bool failed) {
    GConfig& config = GConfig::instance();
    const int percent = int(ratio * 100 + 0.5);
    for (DeviceRecord& d : config.devices()) {
        if (d.serverIp != ip)
            continue;
        d.syncProgress = percent;
        d.syncFailed = failed;
    }
    config.refreshStage();
}

// ---------------------------------------------------------------------------
// Worker threads

void MainWidget::trackThread(QThread* thread) {
    m_threads.removeAll(QPointer<QThread>());
    m_threads.append(thread);
}

void MainWidget::stopWorkers(int deadlineMs) {
    m_threads.removeAll(QPointer<QThread>());
    if (m_threads.isEmpty())
        return;
    GConfig& config = GConfig::instance();
    // A dropped session fails the thread's next step at once and wakes a
    // blocked exchange.
    for (const QString& ip : config.serverIps())
        config.clientSession(ip, 2);
    QDeadlineTimer deadline(deadlineMs);
    for (const QPointer<QThread>& thread : m_threads) {
        if (!thread)
            continue;
        QObject::disconnect(thread.data(), nullptr, this, nullptr);
        if (!thread->wait(deadline)) {
            // Destroying a running thread aborts the program: let it go.
            qWarning() << "worker thread did not end in time; left running";
            thread->setParent(nullptr);
        }
    }
    m_threads.clear();
}

// ---------------------------------------------------------------------------
// Busy overlay and import progress

void MainWidget::placeOverlay() {
    if (!m_cover)
        return;
    m_cover->setGeometry(0, 29, width(), height() - 29);
    m_topCover->setGeometry(0, 0, width() - 32, 29);
    const int k = ((m_cover->height() - 1) - 30) / 2;
    m_animation->move(((m_cover->width() - 1) - 30) / 2, int(k - 0.2 * k));
    if (m_progress) {
        const int h = ((m_cover->height() - 1) - 68) / 2;
        m_progress->move(((m_cover->width() - 1) - 268) / 2, int(h - 0.2 * h));
    }
}

void MainWidget::showWaiting(bool show) {
    if (!m_cover) {
        auto makeCover = [this] {
            auto* cover = new QWidget(this);
            cover->setAttribute(Qt::WA_TranslucentBackground);
            cover->setStyleSheet(QStringLiteral("background:transparent;"));
            cover->setCursor(Qt::ArrowCursor);
            cover->hide();
            return cover;
        };
        m_cover = makeCover();
        m_topCover = makeCover();
        m_animation = new QLabel(m_cover);
        m_animation->setFixedSize(31, 31);
        auto* movie = new QMovie(QStringLiteral(":/images/waitting4.gif"), QByteArray(), m_animation);
        m_animation->setMovie(movie);
        movie->start();
        placeOverlay();
    }
    if (show) {
        m_cover->show();
        m_cover->raise();
        m_topCover->show();
        m_topCover->raise();
        if (m_progress)
            m_progress->hide();
    } else {
        if (!m_cover->isHidden())
            m_cover->hide();
        if (!m_topCover->isHidden())
            m_topCover->hide();
        if (m_progress && !m_progress->isHidden())
            m_progress->hide();
    }
}

bool MainWidget::isWaitingShown() const { return m_cover && !m_cover->isHidden(); }

void MainWidget::showProgress(bool show) {
    if (!show) {
        if (m_progress)
            m_progress->hide();
        return;
    }
    if (!m_progress) {
        if (!m_cover) {
            showWaiting(false);
        }
        m_progress = new DProgressBar(m_cover);
        m_progress->setModal(false);
        placeOverlay();
    }
    m_progress->show();
}

void MainWidget::updateProgress(int current, int total, const QString& name) {
    if (!m_progress) {
        showProgress(true);
        m_progress->hide();
    }
    m_progress->setInfo(QStringLiteral("正在导入%1/%2个媒体：%3").arg(current).arg(total).arg(name));
    // A total of 0 has nothing to divide: no progress yet.
    m_progress->setProgress(total > 0 ? int(qint64(current) * 100 / total) : 0);
}

bool MainWidget::isProgressHidden() const { return !m_progress || m_progress->isHidden(); }
