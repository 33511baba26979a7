#include "kestrane/mediathread.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <set>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"

namespace {

constexpr int kTopLayer = 999999;
constexpr int kPauseBetweenFilesMs = 50;

// A UTF-8 text cut to at most `limit` bytes without splitting a character.
QByteArray cutUtf8(QByteArray text, int limit) {
    if (text.size() <= limit) return text;
    int end = limit;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (quint8(text[end]) & 0xC0) == 0x80) --end;
    return text.left(end);
}

// The server looks files up by their last component; a path too long for
// the field goes as that component alone.
void fillName(MEDIA_LEVEL_INFO& info, const QString& path) {
    constexpr int kRoom = int(sizeof info.name) - 1;
    QByteArray name = path.toUtf8();
    if (name.size() > kRoom) name = cutUtf8(QFileInfo(path).fileName().toUtf8(), kRoom);
    std::memcpy(info.name, name.constData(), size_t(name.size()));
    info.name[name.size()] = '\0';
}

MEDIA_LEVEL_INFO levelInfo(const MediaThread::MediaCopy& m) {
    MEDIA_LEVEL_INFO info;
    info.type = m.kind == 1 ? 2 : 0;
    fillName(info, m.path);
    info.startTime = m.startMs / 1000.0;
    info.stopTime = (double(m.startMs) + m.durationMs) / 1000.0;
    info.rect.left = int32_t(m.x + 0.5);
    info.rect.top = int32_t(m.y + 0.5);
    info.rect.right = int32_t(info.rect.left + m.width);
    info.rect.bottom = int32_t(info.rect.top + m.height);
    info.specialAction = m.actions.toStdString();
    return info;
}

double playSeconds() { return GConfig::instance().playPositionCopy() / 1000.0; }

}  // namespace

MediaThread::MediaThread(const QString& serverIp, int mode, QObject* parent)
    : QThread(parent), m_serverIp(serverIp), m_mode(mode) {
    // The signals cross to the GUI thread queued.
    qRegisterMetaType<QList<int>>("QList<int>");
    GConfig& config = GConfig::instance();
    for (auto it = config.devices().constBegin(); it != config.devices().constEnd(); ++it)
        if (it->serverIp == serverIp) m_deviceIds.append(it.key());
    for (auto it = config.media().constBegin(); it != config.media().constEnd(); ++it) {
        MediaCopy m;
        m.id = it.key();
        m.kind = it->kind;
        m.path = it->path;
        m.sourceKey = it->sourceKey;
        m.startMs = it->start;
        m.durationMs = it->duration;
        m.x = it->x;
        m.y = it->y;
        m.width = it->width;
        m.height = it->height;
        m.layer = it->layer;
        m.actions = GConfig::specialActionText(it->actions);
        m.hidden = it->hidden;
        m.handle = it->serverHandles.value(serverIp, 0);
        m_media.append(m);
        m_mediaIds.append(it.key());
    }
    m_muted = config.isMuted();
    config.notePlayPosition(config.currentTime());

    // Runs on the GUI thread (this object lives there).
    connect(this, &MediaThread::mediaAdded, this, [](const QString& ip, int mediaId, quint32 handle) {
        GConfig& c = GConfig::instance();
        if (MediaSource* record = c.mediaSource(mediaId)) {
            record->serverHandles.insert(ip, handle);
            return;
        }
        // Removed while the thread ran: the server must not keep it.
        if (CKestraneStageServer* session = c.clientSession(ip, 0)) session->RemoveMedia(handle);
    });
}

qint64 MediaThread::bytesSent() const {
    qint64 sum = 0;
    for (qint64 v : m_bytesSent) sum += v;
    return sum;
}

void MediaThread::fail(qint64 value) { emit mediaSyncStatus(m_serverIp, m_deviceIds, m_mediaIds, -1, value, m_mode); }

int MediaThread::uploadProgress(int state, int64_t total, int64_t done, void* user) {
    auto* self = static_cast<MediaThread*>(user);
    qInfo().noquote() << "upload" << self->m_currentMedia << "state" << state << done << "/" << total;
    self->m_bytesSent.insert(self->m_currentMedia, done);
    emit self->mediaSyncStatus(self->m_serverIp, self->m_deviceIds, self->m_mediaIds, 1, self->bytesSent(), state);
    return 1;
}

void MediaThread::run() {
    GConfig& config = GConfig::instance();
    auto session = [&] { return config.clientSession(m_serverIp, 0); };
    CKestraneStageServer* s = session();
    if (!s || !s->IsConnected()) return fail(0);

    if (m_mode == 1 || m_mode == 2) {
        // A key of 0 names no library entry, so such media never share.
        std::set<qint64> uploaded;
        for (const MediaCopy& m : m_media) {
            if (m.sourceKey != 0 && uploaded.count(m.sourceKey)) continue;
            m_currentMedia = m.id;
            if (!(s = session())) return fail(0);
            if (s->UploadFile(QFile::encodeName(m.path).constData(), &MediaThread::uploadProgress, this) != 0)
                return fail(bytesSent());
            if (!(s = session())) return fail(0);
            uploaded.insert(m.sourceKey);
            msleep(kPauseBetweenFilesMs);
        }
    }

    for (const MediaCopy& m : m_media) {
        const MEDIA_LEVEL_INFO info = levelInfo(m);
        const int layer = kTopLayer - m.layer;
        if (!(s = session())) return fail(0);
        if (m.handle != 0) {
            const int r = s->UpdateMedia(m.handle, layer, info.startTime, info.stopTime, &info.rect,
                                         m.actions.constData());
            qInfo().noquote() << "update media" << m.id << m.actions;
            s->SetCurrentTimeLine(playSeconds());
            if (r != 0) return fail(bytesSent());
            s->HideMedia(m.hidden ? 1 : 0, m.handle);
            if (!session()) return fail(0);
        } else {
            const MEDIA_HANDLE handle = s->AddMedia(layer, &info);
            s->SetCurrentTimeLine(playSeconds());
            if (!session()) return fail(0);
            if (handle == 0) return fail(bytesSent());
            emit mediaAdded(m_serverIp, m.id, handle);
            s->HideMedia(m.hidden ? 1 : 0, handle);
            qInfo().noquote() << "media" << m.id << "handle" << handle;
        }
    }

    if (!(s = session())) return fail(0);
    s->MuteMedia(m_muted ? 1 : 0, 0);
    emit mediaSyncStatus(m_serverIp, m_deviceIds, m_mediaIds, 2, bytesSent(), m_mode);
}
