// Replacing what the outputs show: the playlist advance that follows a
// playlist video to the next entry, the synchronised replacement that the
// load and switch commands use, and the switch that drops the old media once
// the new one is listed.
#include <algorithm>
#include <cmath>
#include <list>
#include <memory>
#include <system_error>
#include <thread>

#include "SyncWorkers.h"
#include "core/MediaManager.h"
#include "lintra/Multicast.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "util/Util.h"

struct SyncWorkerList {
    struct Item {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Item> items;
};

namespace {

constexpr int32_t kPlaylistOrigin = 2;  // placement mode of a media the playlist advance loaded

bool InList(const std::vector<IMedia*>& list, const IMedia* media) {
    return std::find(list.begin(), list.end(), media) != list.end();
}

// The current video is dropped when it is one of the given media; the
// caller holds the media lock.
void ReleaseCurrentVideo(CMediaManager& core, const std::vector<IMedia*>& media) {
    std::lock_guard current(core.m_csCurrentVideo);
    if (InList(media, core.m_pCurrentVideo)) core.m_pCurrentVideo = nullptr;
}

}  // namespace

// ---- worker threads ----

void StartSyncWorker(CMediaManager& core, std::function<void()> body, const char* name) {
    std::list<SyncWorkerList::Item> finished;
    std::lock_guard lock(core.m_csSyncWorkers);
    if (!core.m_pSyncWorkers) core.m_pSyncWorkers = std::make_shared<SyncWorkerList>();
    auto& items = core.m_pSyncWorkers->items;
    for (auto it = items.begin(); it != items.end();) {
        auto next = std::next(it);
        if (it->done->load()) finished.splice(finished.end(), items, it);
        it = next;
    }
    // Their bodies have returned: these joins do not wait.
    for (auto& item : finished) item.thread.join();
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        items.push_back({std::thread([body = std::move(body), done] {
                             body();
                             done->store(true);
                         }),
                         done});
    } catch (const std::system_error& e) {
        LOGTEXT::LogError("%s: no thread (%s)", name, e.what());
    }
}

void CMediaManager::JoinSyncWorkers() {
    std::list<SyncWorkerList::Item> all;
    {
        std::lock_guard lock(m_csSyncWorkers);
        if (m_pSyncWorkers) all.swap(m_pSyncWorkers->items);
    }
    for (auto& item : all) item.thread.join();
}

// ---- playlist advance ----

void CMediaManager::StartSyncMediaLoad(IMedia* media) {
    if (!media) return;
    // Read now: the media is removed (and destroyed) by the advance itself.
    const int32_t index = media->Common().playlistIndex;
    StartSyncWorker(*this, [this, index] { LoadSyncMedia(index); }, "playlist advance");
}

void CMediaManager::LoadSyncMedia(int32_t index) {
    // Two advances at once would each load an entry and leave two playlist
    // media on the outputs.
    std::lock_guard advance(m_csPlaylistAdvance);

    std::vector<IMedia*> gone;
    {
        std::lock_guard lock(m_csMedia);
        for (IMedia* m : m_mediaList)
            if (m->Common().placementMode == kPlaylistOrigin) gone.push_back(m);
        std::erase_if(m_mediaList, [&](IMedia* m) { return InList(gone, m); });
        // The current video must never point at a destroyed media.
        ReleaseCurrentVideo(*this, gone);
        for (IMedia* m : gone) DestroyMediaObject(m);
    }

    // The playlist is replaced by the playlist command under the command lock.
    MediaListRecord entry;
    int32_t next = 0;
    {
        std::lock_guard core(m_csCore);
        if (m_playlist.empty()) return;
        const auto count = static_cast<int64_t>(m_playlist.size());
        next = (index < 0 || int64_t{index} + 1 >= count) ? 0 : index + 1;
        entry = m_playlist[static_cast<size_t>(next)];
    }
    const std::string path = MediaListRecordPath(entry);
    const int32_t type = entry.type;
    if ((type == kMediaFileVideo || type == kMediaPicture) && !IsListedPathAcceptable(path)) {
        LOGTEXT::LogError("playlist entry refused: %s", path.c_str());
        return;
    }
    const std::string device = std::to_string(entry.deviceRef[0]);
    IMedia* media = LoadMedia(type, path, type == kMediaCapture ? &device : nullptr);
    if (!media) return;

    tagNETHEAD answer{};
    {
        std::lock_guard lock(m_csMedia);
        m_mediaList.push_back(media);
        MediaCommon& c = media->Common();
        c.playlistIndex = next;
        c.placementMode = kPlaylistOrigin;
        float left = entry.texLeft, top = entry.texTop, right = entry.texRight, bottom = entry.texBottom;
        if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom)) {
            const MediaListRecord empty = EmptyMediaListRecord();
            left = empty.texLeft;
            top = empty.texTop;
            right = empty.texRight;
            bottom = empty.texBottom;
        }
        media->SetTexRect(left, right, bottom, top);
        media->Play();
        answer.command = 1108;
        answer.intParam[0] = next;
        answer.intParam[1] = static_cast<int32_t>(c.handle);
        answer.intParam[2] = type;
        platform::StoreGbkField(answer.textParam, sizeof answer.textParam, path);
    }
    CMutlicastSender sender;
    if (sender.Init(m_strAnswerGroup.c_str(), static_cast<unsigned>(m_nAnswerPort), 16, 1)) {
        sender.SendData(&answer, static_cast<int>(sizeof answer));
        sender.UnInit();
    }
}

// ---- synchronised replacement ----

IMedia* CMediaManager::SyncUpdateMedia(const std::string& name, int32_t playState, int32_t flags) {
    // A name with a folder that exists here is taken as it is; any other
    // name means the file of that name in the media folder. Names come from
    // the wire: no climbing out of a folder.
    std::string path;
    if (name.find_first_of("\\/") != std::string::npos && IsListedPathAcceptable(name) &&
        platform::FileExists(name)) {
        path = name;
    } else if (auto inFolder = platform::JoinSafe(m_strMediaFolder, platform::LastComponent(name))) {
        path = *inFolder;
    } else {
        LOGTEXT::LogError("sync media name refused: %s", name.c_str());
        return nullptr;
    }

    IMedia* media = LoadMedia(kMediaFileVideo, path, nullptr);
    LOGTEXT::LogInfo("After LoadMedia %s. fv=%d", path.c_str(), media ? static_cast<int>(media->Common().handle) : 0);
    if (!media) return nullptr;

    {
        std::lock_guard lock(m_csMedia);
        if (flags & 0x20) {
            std::vector<IMedia*> old;
            old.swap(m_mediaList);
            for (IMedia* m : old)
                if (m->Common().type == kMediaFileVideo) LOGTEXT::LogInfo("remove sync media");
            ReleaseCurrentVideo(*this, old);
            for (IMedia* m : old) {
                LOGTEXT::LogInfo("before close previous media.");
                DestroyMediaObject(m);
            }
        }
        LOGTEXT::LogInfo("同步更新媒体，%s", path.c_str());
        m_mediaList.push_back(media);
        {
            std::lock_guard current(m_csCurrentVideo);
            m_pCurrentVideo = media;
        }
        LOGTEXT::LogInfo("After push media to list.");
        if (flags & 0x02) {
            if (playState == kMediaPlaying)
                media->Play();
            else if (playState == kMediaPaused)
                media->Pause();
            else if (playState == kMediaStopped)
                media->Stop();
        }
    }
    LOGTEXT::LogInfo("After Unlock Media");
    // The list changed: media.bak follows it like after every other change.
    SaveMediaList();
    return media;
}

// ---- switch ----

void CMediaManager::StartSwitchMedia(IMedia* fresh) {
    if (!fresh) return;
    const uint32_t generation = ++m_nSwitchGeneration;
    StartSyncWorker(*this, [this, fresh, generation] { SwitchMedia(fresh, generation); }, "media switch");
}

void CMediaManager::SwitchMedia(IMedia* fresh, uint32_t generation) {
    // A settle time before the old pictures go; a shutdown cuts it short.
    if (m_quitEvent.Wait(m_nSwitchSettleMs)) return;
    std::vector<IMedia*> old;
    {
        std::lock_guard lock(m_csMedia);
        // A later switch, or a command that removed the new media meanwhile,
        // decides what stays; fresh may be gone, so it is only compared.
        if (generation != m_nSwitchGeneration.load() || !InList(m_mediaList, fresh)) return;
        for (IMedia* m : m_mediaList)
            if (m != fresh) old.push_back(m);
        m_mediaList.assign(1, fresh);
        ReleaseCurrentVideo(*this, old);
        if (fresh->Common().type == kMediaFileVideo) {
            std::lock_guard current(m_csCurrentVideo);
            m_pCurrentVideo = fresh;
        }
    }
    for (IMedia* m : old) {
        m->Close();
        DestroyMediaObject(m);
    }
    SaveMediaList();
}
