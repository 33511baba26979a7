// The layer, task-plan and playlist commands (1101 to 1110), the layer list
// they replace and the layer event thread that loads and runs its media.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "CommandUtil.h"
#include "core/MediaManager.h"
#include "core/TaskPlanFile.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

constexpr size_t kLayerRecordSize = sizeof(LayerMediaRecord);
constexpr size_t kPlaylistRecordSize = sizeof(MediaListRecord);
// Longest task-plan text a peer may send; far beyond any real list.
constexpr size_t kMaxTaskPlanText = 16u * 1024u * 1024u;
constexpr int32_t kTaskBit = 0x40;

int32_t IntAt(const tagNETHEAD& head, size_t offset) {
    int32_t v;
    cmdutil::ReadHeadBytes(head, offset, &v, sizeof v);
    return v;
}

double RealAt(const tagNETHEAD& head, size_t offset) {
    double v;
    cmdutil::ReadHeadBytes(head, offset, &v, sizeof v);
    return v;
}

void SetResult(tagNETHEAD& reply, int32_t v) { cmdutil::WriteHeadBytes(reply, 4, &v, sizeof v); }

bool SameRect(const MediaRectI& a, const MediaRectI& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

// ---- the layer list ----

bool LayerListsEqual(const std::vector<LayerMediaEntry>& a, const std::vector<LayerMediaEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const LayerMediaEntry& x = a[i];
        const LayerMediaEntry& y = b[i];
        if (x.type != y.type || !(std::fabs(x.start - y.start) < 0.00001) ||
            !(std::fabs(x.stop - y.stop) < 0.00001) || !SameRect(x.rect, y.rect) || x.name != y.name)
            return false;
    }
    return true;
}

bool ParseLayerRecords(const uint8_t* body, uint32_t bodyLength, int32_t count, std::vector<LayerMediaEntry>& out) {
    if (count < 0 || count > kMaxLayerEntries) return false;
    if (static_cast<uint64_t>(count) * kLayerRecordSize > bodyLength) return false;
    if (count > 0 && !body) return false;
    std::vector<LayerMediaEntry> entries;
    entries.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        LayerMediaRecord r;
        std::memcpy(&r, body + static_cast<size_t>(i) * kLayerRecordSize, kLayerRecordSize);
        LayerMediaEntry e;
        e.type = r.type;
        e.name = platform::LoadGbkField(r.name, sizeof r.name);
        e.start = r.startTime;
        e.stop = r.stopTime;
        if (!std::isfinite(e.start) || !std::isfinite(e.stop)) return false;
        const RECT rc = r.rect;
        e.rect = {rc.left, rc.top, rc.right, rc.bottom};
        entries.push_back(std::move(e));
    }
    out = std::move(entries);
    return true;
}

LayerMediaRecord MakeLayerMediaRecord(const LayerMediaEntry& entry) {
    LayerMediaRecord r;
    std::memset(&r, 0, sizeof r);
    r.type = entry.type;
    platform::StoreGbkField(r.name, sizeof r.name, entry.name);
    r.startTime = entry.start;
    r.stopTime = entry.stop;
    r.rect = RECT{entry.rect.left, entry.rect.top, entry.rect.right, entry.rect.bottom};
    return r;
}

// ---- commands ----

int32_t CMediaManager::OnLayerCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                      tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    switch (head.command) {
    case 1101: {
        std::vector<TaskPlanTask> tasks;
        {
            std::lock_guard lock(m_csTaskList);
            tasks = m_taskList;
        }
        std::string text;
        if (tasks.empty() || !TaskPlanListToText(tasks, text) || text.empty()) break;
        // The text, its terminator and one more NUL: peers take length - 2
        // bytes as the text.
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        bytes.push_back(0);
        SetResult(reply, 1);
        cmdutil::SetReplyBody(reply, replyBody, std::move(bytes));
        break;
    }
    case 1102: {
        const int32_t expected = IntAt(head, 4);
        if (body && bodyLength > 0) {
            const size_t length = strnlen(reinterpret_cast<const char*>(body), bodyLength);
            std::vector<TaskPlanTask> tasks;
            std::string why;
            if (length == 0) {
                why = "empty text";
            } else if (length > kMaxTaskPlanText) {
                why = "text too long";
            } else if (!TaskPlanFromText(tasks, std::string_view(reinterpret_cast<const char*>(body), length))) {
                why = "text not readable";
            } else {
                TaskPlansAcceptable(tasks, &why);
            }
            if (!why.empty()) {
                // The plans held so far stay, on disk and in memory.
                LOGTEXT::LogError("task plans refused: %s", why.c_str());
                break;
            }
            stopalltask();
            {
                std::lock_guard lock(m_csTaskList);
                m_taskList = std::move(tasks);
            }
            SaveTaskPlan();
        }
        std::lock_guard lock(m_csTaskList);
        SetResult(reply, static_cast<int64_t>(m_taskList.size()) == expected ? 1 : 0);
        break;
    }
    case 1103: {
        const std::string name = cmdutil::HeadText(head);
        const bool sync = m_nSyncMediaEnable != 0;
        const bool main = m_nMainServer != 0;
        int32_t result = 0;
        if (sync && main) {
            tagNETHEAD record{};
            record.command = 801;
            record.intParam[0] = kTaskBit;
            platform::StoreGbkField(record.textParam, sizeof record.textParam, name);
            if (SendSyncHead(record, 16, 1)) result = 1;
        }
        if (!sync || main) {
            if (RunTaskPlan(name) != 0) result = 1;
        }
        SetResult(reply, result);
        break;
    }
    case 1105: {
        const size_t count = m_playlist.size();
        SetResult(reply, static_cast<int32_t>(count));
        if (count == 0) break;
        std::vector<uint8_t> bytes(count * kPlaylistRecordSize);
        std::memcpy(bytes.data(), m_playlist.data(), bytes.size());
        cmdutil::SetReplyBody(reply, replyBody, std::move(bytes));
        break;
    }
    case 1106: {
        const int32_t count = IntAt(head, 4);
        // A count the body does not hold is refused whole: the playlist and
        // its file stay as they were.
        if (count < 0 || static_cast<uint64_t>(count) * kPlaylistRecordSize > bodyLength || (count > 0 && !body)) {
            LOGTEXT::LogError("playlist refused: %d records in %u bytes", count, bodyLength);
            break;
        }
        std::vector<MediaListRecord> records(static_cast<size_t>(count));
        if (count > 0) std::memcpy(records.data(), body, records.size() * kPlaylistRecordSize);
        m_playlist = std::move(records);
        SavePlaylist();
        break;
    }
    case 1109: {
        const int32_t count = IntAt(head, 4);
        std::vector<LayerMediaEntry> layers;
        if (!ParseLayerRecords(body, bodyLength, count, layers)) {
            LOGTEXT::LogError("media layers refused: %d entries in %u bytes", count, bodyLength);
            break;
        }
        for (size_t i = 0; i < layers.size(); ++i) {
            const LayerMediaEntry& e = layers[i];
            LOGTEXT::LogInfo("Medialayer%d:name=%s,type=%d,start=%0.3f,stop=%0.3f,pos={%d,%d,%d,%d}", static_cast<int>(i),
                             e.name.c_str(), e.type, e.start, e.stop, e.rect.left, e.rect.top, e.rect.right,
                             e.rect.bottom);
        }
        {
            std::lock_guard lock(m_csLayers);
            if (LayerListsEqual(layers, m_layerList)) break;
        }
        // stopalltask also ends the layer thread of the old list.
        stopalltask();
        {
            std::lock_guard lock(m_csLayers);
            m_layerList = layers;
        }
        m_layerEvent.Reset();
        m_layerThread.Start(
            [this, layers = std::move(layers)](platform::StoppableThread& self) { LayerEventThread(self, layers); },
            "layer events");
        break;
    }
    case 1110: {
        const double time = RealAt(head, 44);
        if (!std::isfinite(time)) {
            LOGTEXT::LogError("layer time refused: %f", time);
            break;
        }
        m_dLayerBaseTime = time;
        m_nLayerState = IntAt(head, 4);
        m_layerEvent.Set();
        break;
    }
    default:  // 1104, 1107, 1108
        break;
    }
    return 0;
}

// ---- layer event thread ----

void CMediaManager::LayerEventThread(platform::StoppableThread& self, std::vector<LayerMediaEntry> layers) {
    // The media are named by handle: a command may remove and destroy any of
    // them while this thread runs.
    std::vector<uint32_t> handles;
    for (const LayerMediaEntry& e : layers) {
        if (self.StopRequested() || m_taskStopEvent.IsSet() || m_quitEvent.IsSet()) return;
        std::string name = e.name;
        std::string device;
        if (e.type == kMediaFileVideo || e.type == kMediaPicture) {
            // The console names a file of this server's media folder.
            const auto inFolder = MediaFolderFile(e.name);
            if (!inFolder) {
                LOGTEXT::LogError("media layer refused: name %s", e.name.c_str());
                continue;
            }
            name = *inFolder;
        } else if (e.type == kMediaCapture) {
            device = std::to_string(std::atoi(e.name.c_str()));
        }
        IMedia* m = LoadMedia(e.type, name, e.type == kMediaCapture ? &device : nullptr);
        if (!m) continue;
        MediaCommon& c = m->Common();
        c.placementMode = 3;
        c.stageRect = e.rect;
        c.baseStageRect = e.rect;
        c.startTime = e.start;
        c.endTime = e.stop;
        if (c.finished) c.finished->Reset();
        handles.push_back(c.handle);
        std::lock_guard lock(m_csMedia);
        m_mediaList.push_back(m);
    }

    double base = m_dLayerBaseTime;
    m_dTimelineTime = base;
    uint32_t layerTick = platform::GetTickCount();
    uint32_t period = platform::kInfinite;
    for (;;) {
        const int hit =
            platform::Event::WaitAny({&m_taskStopEvent, &m_quitEvent, &m_layerEvent, &self.StopEvent()}, period);
        if (hit == 0 || hit == 1 || hit == 3) return;  // the layer media stay in the list
        if (hit == 2) {
            base = m_dLayerBaseTime;
            const int32_t state = m_nLayerState;
            LOGTEXT::LogInfo("layer event. time=%0.3f", base);
            m_dTimelineTime = base;
            layerTick = platform::GetTickCount();
            period = platform::kInfinite;
            std::lock_guard lock(m_csMedia);
            for (uint32_t handle : handles) {
                IMedia* m = ListedMedia(handle);
                if (!m) continue;
                if (!(base > m->Common().startTime)) {
                    if (state == 1) period = 100;
                    continue;
                }
                if (m->Common().type == kMediaFileVideo) {
                    if (m_taskTiming.layerSeekSettleMs) m_quitEvent.Wait(m_taskTiming.layerSeekSettleMs);
                    m->SetPosition(base - m->Common().startTime);
                }
                switch (state) {
                case 3:
                    m->Stop();
                    break;
                case 2:
                    m->Pause();
                    break;
                case 1:
                    m->Play();
                    break;
                default:
                    break;
                }
            }
            continue;
        }
        // Time-out: the layer clock runs from the last event.
        const double now = platform::TickDiff(platform::GetTickCount(), layerTick) / 1000.0 + base;
        m_dTimelineTime = now;
        const int32_t state = m_nLayerState;
        std::lock_guard lock(m_csMedia);
        for (uint32_t handle : handles) {
            IMedia* m = ListedMedia(handle);
            if (!m) continue;
            const MediaCommon& c = m->Common();
            if (now > c.endTime) {
                if (c.state != kMediaStopped) m->Stop();
            } else if (now > c.startTime && c.state != kMediaPlaying && state == 1) {
                m->Play();
            }
        }
    }
}
