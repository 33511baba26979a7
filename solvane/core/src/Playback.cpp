// Playback operations of the core that the media and synchronisation
// commands share: the synchronisation broadcast, play states, removing
// media, the current video and the background and desktop pictures.
#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "core/MediaManager.h"
#include "core/NodeSync.h"
#include "lintra/Multicast.h"
#include "platform/ini.h"
#include "platform/textcodec.h"
#include "util/Util.h"

namespace {

constexpr int32_t kCommandPort = 30100;

// The dotted address as it lies in memory (network byte order); 0 when the
// text is no IPv4 address.
uint32_t AddressOf(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return 0;
    return a.s_addr;
}

bool InList(const std::vector<IMedia*>& list, const IMedia* media) {
    return std::find(list.begin(), list.end(), media) != list.end();
}

}  // namespace

bool CMediaManager::SendSyncHead(const tagNETHEAD& head, int ttl, int loop) {
    CMutlicastSender sender;
    if (!sender.Init(m_strMulticastIp.c_str(), static_cast<unsigned>(m_nMulticastPort), ttl, loop)) {
        LOGTEXT::LogError("sync send: no sender for %s:%d", m_strMulticastIp.c_str(), m_nMulticastPort);
        return false;
    }
    const int sent = sender.SendData(&head, static_cast<int>(sizeof head));
    sender.UnInit();
    return sent == static_cast<int>(sizeof head);
}

void CMediaManager::BroadcastSyncCommand(const SyncMediaInfo& info, int32_t actionBits, bool newAckRound) {
    if (m_nMainServer == 0) return;
    constexpr int32_t kAcknowledgedBits = 0x08 | 0x20 | 0x1000;  // load, switch, update
    if (newAckRound && (actionBits & kAcknowledgedBits))
        if (CNodeSync* sync = GetNodeSync()) sync->BeginAcknowledgementRound();
    tagNETHEAD head{};
    head.command = 801;
    head.intParam[0] = actionBits;
    head.intParam[1] = info.value1;
    head.intParam[2] = info.value2;
    head.intParam[3] = info.value3;
    head.intParam[4] = info.value4;
    head.intParam[5] = info.value5;
    head.intParam[6] = static_cast<int32_t>(AddressOf(OwnAddressText()));
    head.intParam[7] = kCommandPort;
    head.realParam[0] = static_cast<double>(info.position);
    for (int k = 0; k < 4; ++k) head.realParam[4 + k] = info.rect[k];
    platform::StoreGbkField(head.textParam, sizeof head.textParam, info.name);
    head.bodyLength = 0;
    SendSyncHead(head, 15, 0);
}

namespace {

// Brings one media to a play state; false when it was there already.
bool ApplyPlayState(IMedia* media, int32_t state) {
    if (media->Common().state == state) return false;
    switch (state) {
    case kMediaPlaying:
        media->Play();
        return true;
    case kMediaPaused:
        media->Pause();
        return true;
    case kMediaStopped:
        media->Stop();
        return true;
    default:
        return false;
    }
}

}  // namespace

void CMediaManager::SetMediaPlayState(IMedia* media, int32_t state, int32_t typeFilter) {
    if (ApplyMediaPlayState(media, state, typeFilter)) SaveMediaList();
}

bool CMediaManager::ApplyMediaPlayState(IMedia* media, int32_t state, int32_t typeFilter) {
    // Only play, pause and stop are states one can go to; anything else
    // would change nothing yet rewrite the list file.
    if (state < kMediaPlaying || state > kMediaStopped) return false;
    bool changed = false;
    {
        std::lock_guard lock(m_csMedia);
        auto passes = [&](IMedia* m) { return typeFilter == -1 || m->Common().type == typeFilter; };
        if (media) {
            // A pointer that is no longer listed may be gone: left alone.
            if (InList(m_mediaList, media) && passes(media)) changed = ApplyPlayState(media, state);
        } else {
            for (IMedia* m : m_mediaList)
                if (passes(m) && ApplyPlayState(m, state)) changed = true;
        }
    }
    return changed;
}

void CMediaManager::RemoveMedia(IMedia* media) {
    {
        std::lock_guard lock(m_csMedia);
        if (media) {
            auto it = std::find(m_mediaList.begin(), m_mediaList.end(), media);
            if (it == m_mediaList.end()) return;
            m_mediaList.erase(it);
            if (media->Common().type == kMediaFileVideo) SetCurrentVideo(media, 1);
            DestroyMediaObject(media);
        } else {
            std::vector<IMedia*> all;
            all.swap(m_mediaList);
            {
                std::lock_guard current(m_csCurrentVideo);
                m_pCurrentVideo = nullptr;
            }
            for (IMedia* m : all) DestroyMediaObject(m);
        }
    }
    SaveMediaList();
}

void CMediaManager::SetCurrentVideo(IMedia* media, int release) {
    // Lock order: the media lock, then the current-video lock.
    std::lock_guard lock(m_csMedia);
    std::lock_guard current(m_csCurrentVideo);
    if (release == 0) {
        m_pCurrentVideo = media;
        return;
    }
    if (m_pCurrentVideo != media) return;
    m_pCurrentVideo = nullptr;
    for (IMedia* m : m_mediaList) {
        if (m != media && m->Common().type == kMediaFileVideo) {
            m_pCurrentVideo = m;
            break;
        }
    }
}

bool CMediaManager::GetCurrentVideoStatus(SyncMediaInfo& info, int32_t& resultCode) {
    // The list membership is read under the media lock, so a video that is
    // being removed is never reported (or touched) half destroyed.
    std::lock_guard lock(m_csMedia);
    std::lock_guard current(m_csCurrentVideo);
    IMedia* video = m_pCurrentVideo;
    if (!video || !InList(m_mediaList, video)) return false;
    int64_t position = 0;
    if (!video->GetSeekPosition(position)) position = 0;
    info.position = position;
    info.value1 = video->Common().state;
    info.value3 = 0;  // sources keep no further status value
    uint32_t clockMs = 0;
    if (!video->ClockTimeMs(clockMs)) clockMs = 0;
    info.value2 = static_cast<int32_t>(clockMs);
    resultCode = 131;
    return true;
}

bool CMediaManager::ReloadBackgroundImage() {
    // The picture objects are made by the renderer side; without one there
    // is nothing to load into.
    std::lock_guard lock(m_csMedia);
    if (m_pBackground) m_pBackground->Close();
    LOGTEXT::LogDebug("enter reload background image.enbale= %d", m_nUseBackgroundBmp);
    bool loaded = false;
    if (m_nUseBackgroundBmp != 0 && m_pBackground) {
        const int32_t layout = (m_nEnableStereo & 2) != 0 ? m_nVideoType : -1;
        loaded = m_pBackground->LoadResource(m_strBmpFilePath, 0, 0, layout);
        m_bBackgroundChanged = true;
        LOGTEXT::LogInfo("leave background image ret=%d.%s.", loaded ? 1 : 0, m_strBmpFilePath.c_str());
    } else {
        LOGTEXT::LogInfo("leave background image ret=%d.%s.", 0, m_strBmpFilePath.c_str());
    }
    return loaded;
}

bool CMediaManager::RestartDesktopCapture(int reopen) {
    std::lock_guard lock(m_csMedia);
    if (m_pDesktopCapture) m_pDesktopCapture->Close();
    if (reopen == 0) {
        m_bBackgroundChanged = true;
        return false;
    }
    std::vector<MY_MONITORINFO> monitors;
    Displays().EnumDisplays(monitors);
    // Made on first use: only a server that captures its desktop pays for it.
    if (!m_pDesktopCapture) m_pDesktopCapture = MediaFactory().CreateMedia(kMediaScreenCapture).release();
    if (monitors.empty() || !m_pDesktopCapture) return false;
    return m_pDesktopCapture->LoadResource(monitors.front().deviceName, 0, 0, -1);
}
