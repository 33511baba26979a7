// Connects to (or drops) one display server and sends it its world, off the
// GUI thread. Made and started on the GUI thread; reports once.
#pragma once

#include <QList>
#include <QString>
#include <QThread>

#include <memory>
#include <vector>

#include "kestrane/common.h"

struct WORLD_BASE_INFO;

class DeviceConnectThread : public QThread {
    Q_OBJECT
public:
    // Takes a copy of the server's world now, on the GUI thread: the worker
    // never reads the world map itself.
    DeviceConnectThread(const QList<int>& deviceIds, const QString& serverIp, bool connect,
                        QObject* parent = nullptr);
    ~DeviceConnectThread() override;

    // The display servers' command port.
    static constexpr unsigned kServerPort = 30100;
    static constexpr int kConnectTimeoutSeconds = 2;

signals:
    // result: 0 dropped (connect false); -1 no connection, the session went
    // away between steps, or no world; else the server's answer to the world.
    void connectFinished(QList<int> deviceIds, QString serverIp, int result, bool connect);

protected:
    void run() override;

private:
    QList<int> m_deviceIds;
    QString m_serverIp;
    bool m_connect;
    std::unique_ptr<WORLD_BASE_INFO> m_world;  // null: the server has no world
    std::vector<DeviceRecord> m_devices;       // of this server, for their curves and edge values
};
