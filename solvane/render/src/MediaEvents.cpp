#include "render/MediaEvents.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "core/MediaManager.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {
std::atomic<uint32_t> g_lastSyncStop{0};

SyncMediaInfo StateRecord(int32_t state) {
    SyncMediaInfo info;
    info.value1 = state;
    return info;
}

void OnComplete(CMediaManager& core, IMedia* media, IMediaPlayerEvents& player,
                const WaitAllSlaveNodesFn& waitAllSlaveNodes) {
    if (core.m_nSyncMediaEnable == 0) {
        player.SeekTo(0);
        media->Pause();
        const int32_t placement = media->Common().placementMode;
        if (core.m_nLoopMedia != 0 && placement == 0) media->Play();
        player.SignalStop();
        if (placement == 2) core.StartSyncMediaLoad(media);
        LOGTEXT::LogInfo("播放完成通知处理完毕");
        return;
    }
    if (core.m_nMainServer == 0) return;

    g_lastSyncStop = platform::GetTickCount();
    LOGTEXT::LogInfo("停止命令-同步");
    if (core.m_nLoopMedia != 0) {
        LOGTEXT::LogInfo("重播命令-服务器广播同步命令");
        core.BroadcastSyncCommand(StateRecord(2), 3);
        player.SeekTo(0);
        media->Pause();
        if (waitAllSlaveNodes) waitAllSlaveNodes(1000);
        core.BroadcastSyncCommand(StateRecord(1), 2);
        media->Play();
    } else {
        LOGTEXT::LogInfo("停止命令-服务器广播同步命令");
        core.BroadcastSyncCommand(StateRecord(3), 2);
        media->Stop();
    }
}
}  // namespace

uint32_t LastSyncStopTick() { return g_lastSyncStop.load(); }

void HandleMediaPlayerEvents(CMediaManager& core, IMedia* media, const WaitAllSlaveNodesFn& waitAllSlaveNodes) {
    std::lock_guard lock(core.m_csMedia);
    // The notice may arrive after the media was removed (and destroyed): only
    // a pointer still in the list is touched.
    if (!media || std::find(core.m_mediaList.begin(), core.m_mediaList.end(), media) == core.m_mediaList.end())
        return;
    auto* player = dynamic_cast<IMediaPlayerEvents*>(media);
    if (!player) return;
    int32_t code = 0;
    while (player->NextPlayerEvent(code)) {
        if (code == kPlayerEventComplete) OnComplete(core, media, *player, waitAllSlaveNodes);
    }
}
