#include "kestrane/deviceconnectthread.h"

#include <QDebug>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"

DeviceConnectThread::DeviceConnectThread(const QList<int>& deviceIds, const QString& serverIp, bool connect,
                                         QObject* parent)
    : QThread(parent), m_deviceIds(deviceIds), m_serverIp(serverIp), m_connect(connect) {
    // The signals cross to the GUI thread queued.
    qRegisterMetaType<QList<int>>("QList<int>");
    auto& worlds = GConfig::instance().worlds();
    auto it = worlds.find(serverIp);
    if (it != worlds.end() && it->second) m_world = std::make_unique<WORLD_BASE_INFO>(*it->second);
    GConfig& config = GConfig::instance();
    for (int id : config.deviceIds())
        if (const DeviceRecord* d = config.device(id); d && d->serverIp == serverIp) m_devices.push_back(*d);
}

DeviceConnectThread::~DeviceConnectThread() = default;

void DeviceConnectThread::run() {
    GConfig& config = GConfig::instance();
    if (!config.clientSession(m_serverIp, 0)) config.clientSession(m_serverIp, 1);
    qInfo().noquote() << "server" << m_serverIp << "channels:" << (m_world ? m_world->channelCount : 0);

    if (!m_connect) {
        config.clientSession(m_serverIp, 2);
        emit connectFinished(m_deviceIds, m_serverIp, 0, false);
        return;
    }

    // Each step fetches the session again: a disconnect started meanwhile
    // drops it, and then nothing more goes out.
    auto report = [&](int result) { emit connectFinished(m_deviceIds, m_serverIp, result, true); };
    CKestraneStageServer* session = config.clientSession(m_serverIp, 0);
    if (!session) return report(-1);
    const int connected =
        session->ConnectServer(m_serverIp.toLatin1().constData(), kServerPort, kConnectTimeoutSeconds);
    qInfo().noquote() << "connect" << m_serverIp << "result" << connected;
    if (connected == 0) return report(-1);

    session = config.clientSession(m_serverIp, 0);
    if (!session || !session->IsConnected()) return report(-1);
    session->ClearAllMedia();

    session = config.clientSession(m_serverIp, 0);
    if (!session || !session->IsConnected() || !m_world) {
        if (!m_world) qWarning().noquote() << "no world for server" << m_serverIp;
        return report(-1);
    }
    const int result = session->ResetWorldConfig(*m_world);
    qInfo().noquote() << "world to" << m_serverIp << "result" << result;
    if (result == 0)
        for (const DeviceRecord& d : m_devices) {
            session = config.clientSession(m_serverIp, 0);
            if (!session || !session->IsConnected()) break;
            GConfig::sendCurvesAndEdges(*session, d);
        }
    report(result);
}
