// Changes of the project that the display servers must know at once. Every
// call runs on the GUI thread and waits for the server's reply, bounded by
// the client session's receive budget; results are logged and otherwise
// ignored.
#include <QDebug>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdint>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"

#include "kestrane/logging.h"
#define KLOG KESTRANE_DEBUG_HERE

namespace {

// Levels of the colour curves: 0, then 16k - 1 for k = 1..16.
constexpr uint8_t kCurveLevels[17] = {0x00, 0x0f, 0x1f, 0x2f, 0x3f, 0x4f, 0x5f, 0x6f, 0x7f,
                                      0x8f, 0x9f, 0xaf, 0xbf, 0xcf, 0xdf, 0xef, 0xff};

double seconds(int ms) { return ms / 1000.0; }

// Runs f on the session of every server that has one, in device order.
template <class F>
void forEachServer(GConfig& c, F&& f) {
    for (const QString& ip : c.serverIps())
        if (CKestraneStageServer* s = c.clientSession(ip, 0)) f(ip, *s);
}

}  // namespace

QStringList GConfig::serverIps() const {
    QStringList ips;
    for (const DeviceRecord& d : m_devices)
        if (!d.serverIp.isEmpty() && !ips.contains(d.serverIp)) ips.append(d.serverIp);
    return ips;
}

void GConfig::playServers(double rate, const std::function<void()>& atPlay) {
    m_serverPlayState = 1;
    m_serverRate = rate;
    if (!m_connected) {
        if (atPlay) atPlay();
        return;
    }
    const double position = seconds(currentTime());
    // A server holds at the time it was given until its play arrives, so the
    // slow part (the seeks a time starts) is done for all of them before
    // any starts: they then start within one play exchange of each other
    // and of the console.
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        KLOG << ip << "SetCurrentTimeLine" << position << s.SetCurrentTimeLine(position);
        KLOG << ip << "SetPlayRate" << rate << s.SetPlayRate(rate, 0);
    });
    if (atPlay) atPlay();
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        KLOG << ip << "PlayMedia" << s.PlayMedia();
    });
}

void GConfig::pauseServers() {
    m_serverPlayState = 2;
    if (!m_connected) return;
    const double position = seconds(currentTime());
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        KLOG << ip << "SetCurrentTimeLine" << position << s.SetCurrentTimeLine(position);
        KLOG << ip << "PauseMedia" << s.PauseMedia();
    });
}

void GConfig::setServersRate(double rate) {
    m_serverRate = rate;
    if (!m_connected) return;
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        KLOG << ip << "SetPlayRate" << rate << s.SetPlayRate(rate, 0);
    });
}

void GConfig::stopServers() {
    m_serverPlayState = 0;
    if (!m_connected) return;
    const double position = seconds(currentTime());
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        KLOG << ip << "SetCurrentTimeLine" << position << s.SetCurrentTimeLine(position);
        KLOG << ip << "StopMedia" << s.StopMedia();
    });
}

void GConfig::sendTimeToServers() {
    if (!m_connected) return;
    const QStringList ips = serverIps();
    // Sessions are fetched again when the push runs: one may have been
    // dropped in between.
    auto push = [ips] {
        GConfig& c = GConfig::instance();
        const double position = seconds(c.currentTime());
        for (const QString& ip : ips) {
            CKestraneStageServer* s = c.clientSession(ip, 0);
            if (!s) continue;
            KLOG << ip << "SetCurrentTimeLine" << position << s->SetCurrentTimeLine(position);
        }
    };
    runLater(push);
    runLater(push, 60);
}

int GConfig::resumeServer(const QString& ip) {
    CKestraneStageServer* s = m_connected ? clientSession(ip, 0) : nullptr;
    if (!s) return -1;
    const double position = seconds(currentTime());
    KLOG << ip << "SetCurrentTimeLine" << position << s->SetCurrentTimeLine(position);
    if (m_serverPlayState == 1) {
        KLOG << ip << "SetPlayRate" << m_serverRate << s->SetPlayRate(m_serverRate, 0);
        KLOG << ip << "PlayMedia" << s->PlayMedia();
    } else if (m_serverPlayState == 2) {
        KLOG << ip << "PauseMedia" << s->PauseMedia();
    }
    return m_serverPlayState;
}

void GConfig::removeMedia(int mediaId) {
    auto rec = m_media.find(mediaId);
    if (rec == m_media.end()) {
        KLOG << "no media" << mediaId << "to remove";
        return;
    }
    m_timeAxisHooks->removeMediaViews(mediaId);
    m_stageHooks->removeMediaItem(mediaId);
    // The views may have touched the map; look the record up again.
    rec = m_media.find(mediaId);
    if (rec == m_media.end()) return;
    if (m_connected) {
        const QMap<QString, quint32> handles = rec->serverHandles;
        for (auto it = handles.constBegin(); it != handles.constEnd(); ++it) {
            CKestraneStageServer* s = clientSession(it.key(), 0);
            if (!s) continue;
            KLOG << it.key() << "RemoveMedia" << it.value() << s->RemoveMedia(it.value());
        }
    }
    void* preview = rec->previewHandle;
    // The library stops the media's threads before it returns, so nothing
    // of it is left running once the record goes.
    if (preview) removePreviewMedia(preview);
    setSaved(false);
    m_media.remove(mediaId);
    m_timeAxisHooks->refreshTimeAxis();
}

void GConfig::muteMedia(bool mute, int mediaId) {
    if (mediaId == 0) {
        m_muted = mute;
        mutePreviewMedia(mute, nullptr);
        forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
            KLOG << ip << "MuteMedia" << mute << s.MuteMedia(mute ? 1 : 0, 0);
        });
        return;
    }
    const MediaSource* m = mediaSource(mediaId);
    if (!m || !m->previewHandle) return;
    mutePreviewMedia(mute, m->previewHandle);
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        // A null handle would address every media of that server.
        const MEDIA_HANDLE h = m->serverHandles.value(ip, 0);
        if (!h) {
            KLOG << ip << "holds no media" << mediaId << "to mute";
            return;
        }
        KLOG << ip << "MuteMedia" << mute << h << s.MuteMedia(mute ? 1 : 0, h);
    });
}

void GConfig::hideMedia(bool hide, int mediaId) {
    if (!m_connected) return;
    const MediaSource* m = mediaSource(mediaId);
    if (!m) return;
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        // A null handle would address every media of that server.
        const MEDIA_HANDLE h = m->serverHandles.value(ip, 0);
        if (!h) {
            KLOG << ip << "holds no media" << mediaId << "to hide";
            return;
        }
        KLOG << ip << "HideMedia" << hide << h << s.HideMedia(hide ? 1 : 0, h);
    });
}

void GConfig::setBackgroundImage(int deviceId, const QString& path) {
    if (!m_connected) return;
    const DeviceRecord* d = device(deviceId);
    if (!d) return;
    CKestraneStageServer* s = clientSession(d->serverIp, 0);
    if (!s) return;
    // The file is read here and only its name travels; the path keeps this
    // system's own separators so that it still opens.
    const QByteArray local = QFile::encodeName(QDir::toNativeSeparators(path));
    // Shown while the geometry is corrected only: the server keeps the
    // picture it is configured with.
    KLOG << d->serverIp << "SetBackgroundImage" << path << s->SetBackgroundImage(local.constData(), 0);
}

void GConfig::sendColorCorrection(int deviceId, int kind) {
    if (!m_connected) return;
    const DeviceRecord* d = device(deviceId);
    if (!d) return;
    CKestraneStageServer* s = clientSession(d->serverIp, 0);
    if (!s) return;
    const int channel = d->outputIndex;
    switch (kind) {
    case 1:
        KLOG << d->serverIp << "SetGlobalColorRatio" << channel
             << s->SetGlobalColorRatio(channel, d->colorRatio[0], d->colorRatio[1], d->colorRatio[2]);
        break;
    case 2:
        KLOG << d->serverIp << "SetEdgeEliminateParam" << channel
             << s->SetEdgeEliminateParam(channel, d->edgeParam[0], d->edgeParam[1], d->edgeParam[2], 0);
        break;
    case 3:
        KLOG << d->serverIp << "SetAdvancedGlobalColor" << channel
             << s->SetAdvancedGlobalColor(channel, d->colorCurve[0], d->colorCurve[1], d->colorCurve[2], kCurveLevels,
                                          17);
        break;
    default:
        break;
    }
}

void GConfig::sendCurvesAndEdges(CKestraneStageServer& s, const DeviceRecord& d) {
    KLOG << d.serverIp << "SetEdgeEliminateParam" << d.outputIndex
         << s.SetEdgeEliminateParam(d.outputIndex, d.edgeParam[0], d.edgeParam[1], d.edgeParam[2], 0);
    KLOG << d.serverIp << "SetAdvancedGlobalColor" << d.outputIndex
         << s.SetAdvancedGlobalColor(d.outputIndex, d.colorCurve[0], d.colorCurve[1], d.colorCurve[2], kCurveLevels,
                                     17);
}

void GConfig::resendCurvesAndEdges(const QString& serverIp) {
    if (!m_connected) return;
    CKestraneStageServer* s = clientSession(serverIp, 0);
    if (!s) return;
    for (int id : deviceIds())
        if (const DeviceRecord* d = device(id); d && d->serverIp == serverIp) sendCurvesAndEdges(*s, *d);
}

void GConfig::sendVertexData(int deviceId) {
    if (!m_connected) return;
    const DeviceRecord* d = device(deviceId);
    if (!d) return;
    CKestraneStageServer* s = clientSession(d->serverIp, 0);
    if (!s) return;
    KLOG << d->serverIp << "SetVertexData" << d->outputIndex << s->SetVertexData(d->outputIndex, d->grid);
}

void GConfig::sendCommonDataToAll(int code, int value) {
    if (!m_connected) return;
    forEachServer(*this, [&](const QString& ip, CKestraneStageServer& s) {
        KLOG << ip << "SetCommonData" << code << value << s.SetCommonData(code, value, nullptr, 0);
    });
}

void GConfig::sendCommonData(int deviceId, int code) {
    if (!m_connected) return;
    const DeviceRecord* d = device(deviceId);
    if (!d) return;
    CKestraneStageServer* s = clientSession(d->serverIp, 0);
    if (!s) return;
    KLOG << d->serverIp << "SetCommonData" << code << d->outputIndex
         << s->SetCommonData(code, d->outputIndex, nullptr, 0);
}

int GConfig::worldChannelIndex(const QString& ip, int outputNumber) const {
    const auto it = m_worlds.find(ip);
    if (it == m_worlds.end() || !it->second) return -1;
    const WORLD_BASE_INFO& world = *it->second;
    const int32_t count = std::clamp<int32_t>(world.channelCount, 0, lintra::kMaxChannels);
    for (int32_t i = 0; i < count; ++i)
        if (world.channels[i].channelId == outputNumber) return i;
    return -1;
}

namespace {

// The session and channel index a read-back for a device goes to.
struct ChannelTarget {
    CKestraneStageServer* session = nullptr;
    int index = -1;
    int result = 0;  // non-zero: the read-back answer without sending
};

ChannelTarget channelTarget(GConfig& c, int deviceId) {
    ChannelTarget t;
    if (!c.isConnected()) {
        t.result = -1;
        return t;
    }
    const DeviceRecord* d = c.device(deviceId);
    if (d) {
        t.session = c.clientSession(d->serverIp, 0);
        // The server counts the channels of its list from 1.
        const int place = c.worldChannelIndex(d->serverIp, d->outputIndex);
        t.index = place < 0 ? -1 : place + 1;
    }
    if (!t.session) t.result = -1;
    else if (t.index < 0) t.result = 1;
    return t;
}

}  // namespace

int GConfig::readVertexData(int deviceId, DOUBLE_POINT grid[41][41]) {
    const ChannelTarget t = channelTarget(*this, deviceId);
    if (t.result != 0) return t.result;
    const int r = t.session->GetVertexData(t.index, grid);
    KLOG << device(deviceId)->serverIp << "GetVertexData" << t.index << r;
    return r;
}

int GConfig::readEdgeEliminateParam(int deviceId, float a[3], float b[3], float c[3]) {
    const ChannelTarget t = channelTarget(*this, deviceId);
    if (t.result != 0) return t.result;
    const int r = t.session->GetEdgeEliminateParam(t.index, a, b, c);
    KLOG << device(deviceId)->serverIp << "GetEdgeEliminateParam" << t.index << r;
    return r;
}
