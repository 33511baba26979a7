// Brings one display server up to date with the project's media: uploads
// the files (modes 1 and 2), adds or updates every media item, sends the
// time and the mute state. It works on a copy of the records made on the GUI
// thread; handles of newly added media go back to the GUI thread, which
// stores them, or takes the media off the server when its record has gone.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QThread>

#include <cstdint>

class MediaThread : public QThread {
    Q_OBJECT
public:
    // 1 full synchronisation with upload, 2 update with upload, 3 update
    // without upload.
    MediaThread(const QString& serverIp, int mode, QObject* parent = nullptr);

    QList<int> deviceIds() const { return m_deviceIds; }

    // What the thread knows of one media item.
    struct MediaCopy {
        int id = 0;
        int kind = 0;
        QString path;
        qint64 sourceKey = 0;
        int startMs = 0;
        int durationMs = 0;
        double x = 0, y = 0, width = 0, height = 0;
        int layer = 0;
        QByteArray actions;
        bool hidden = false;
        quint32 handle = 0;  // on this server; 0: none
    };

signals:
    // status 1 after every upload report (value: bytes sent over all files,
    // last: the upload state); 2 done (last: the mode); -1 a step failed.
    void mediaSyncStatus(QString serverIp, QList<int> deviceIds, QList<int> mediaIds, int status, qint64 value,
                         int last);
    // A media item was added to the server under this handle.
    void mediaAdded(QString serverIp, int mediaId, quint32 handle);

protected:
    void run() override;

private:
    static int uploadProgress(int state, int64_t total, int64_t done, void* user);
    qint64 bytesSent() const;
    void fail(qint64 value);

    QString m_serverIp;
    int m_mode;
    QList<int> m_deviceIds;
    QList<int> m_mediaIds;
    QList<MediaCopy> m_media;
    bool m_muted = false;
    int m_currentMedia = 0;
    QMap<int, qint64> m_bytesSent;
};
