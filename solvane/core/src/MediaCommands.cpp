// The media command family (codes 501 to 541): loading, adding, updating and
// removing media, transport, volume, visibility, play rate, the console's
// timeline position and the background picture.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "CommandUtil.h"
#include "core/MediaInfoRecord.h"
#include "core/MediaManager.h"
#include "core/SpecialActions.h"
#include "platform/ini.h"
#include "platform/packed.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

void Sleep(uint32_t ms) {
    if (ms) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int32_t IntAt(const tagNETHEAD& head, size_t offset) { return platform::ReadAt<int32_t>(&head, offset); }
double RealAt(const tagNETHEAD& head, size_t offset) { return platform::ReadAt<double>(&head, offset); }
uint32_t HandleOf(const tagNETHEAD& head) { return static_cast<uint32_t>(IntAt(head, 4)); }

bool IsVideo(const IMedia* m) { return m->Common().type == kMediaFileVideo; }
bool IsReadyVideo(const IMedia* m) { return IsVideo(m) && m->GraphState() == 2; }

// The body as text, up to its first NUL.
std::string BodyText(const uint8_t* body, uint32_t length) {
    if (!body || length == 0) return {};
    const char* p = reinterpret_cast<const char*>(body);
    return std::string(p, strnlen(p, length));
}

std::vector<uint8_t> RecordBytes(IMedia& media) {
    MediaInfoRecord record;
    FillMediaInfoRecord(record, media);
    std::vector<uint8_t> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

std::vector<uint8_t> TextBytes(const std::string& utf8) {
    const std::string gbk = platform::Utf8ToGbk(utf8);
    return std::vector<uint8_t>(gbk.begin(), gbk.end());
}

// Position within a video for timeline time t: (t - start) modulo its length.
double LoopedPosition(double t, double start, double duration) {
    const double offset = t - start;
    if (!(duration > 0.0)) return offset;
    return std::fmod(offset, duration);
}

}  // namespace

void FillMediaInfoRecord(MediaInfoRecord& record, IMedia& media) {
    std::memset(&record, 0, sizeof record);
    const MediaCommon& c = media.Common();
    record.index = c.layer;
    record.reserved = media.LoadReserved();
    platform::StoreGbkField(record.name, sizeof record.name, c.name);
    float left = 0, right = 0, bottom = 0, top = 0;
    media.GetTexRect(left, right, bottom, top);
    record.texTop = top;
    record.texLeft = left;
    record.texRight = right;
    record.texBottom = bottom;
    record.state = c.state;
    record.type = c.type;
    int32_t width = 0, height = 0;
    float aspect = 0.0f;
    media.FrameShape(width, height, aspect);
    record.aspect = aspect;
    record.width = width;
    record.height = height;
    record.handle = c.handle;
    float a = 1.0f, b = 1.0f, cc = 1.0f, d = 1.0f;
    media.GetViewRect(a, b, cc, d);
    record.view4 = d;
    record.view1 = a;
    record.view2 = b;
    record.view3 = cc;
}

IMedia* CMediaManager::ListedMedia(uint32_t handle) {
    if (handle == 0) return nullptr;
    IMedia* media = FindMediaByHandle(handle);
    if (!media) return nullptr;
    std::lock_guard lock(m_csMedia);
    return std::find(m_mediaList.begin(), m_mediaList.end(), media) != m_mediaList.end() ? media : nullptr;
}

namespace {

// The media a command addresses: the one of a non-zero handle, or every
// media for 0. Under the media lock. False when a non-zero handle names no
// listed media.
template <class Fn>
bool ForAddressed(CMediaManager& core, uint32_t handle, Fn&& fn) {
    std::lock_guard lock(core.m_csMedia);
    if (handle == 0) {
        for (IMedia* m : std::vector<IMedia*>(core.m_mediaList)) fn(m);
        return true;
    }
    IMedia* m = core.ListedMedia(handle);
    if (!m) return false;
    fn(m);
    return true;
}

// Position worker of the timeline position command: pauses a playing video,
// lets it settle and moves it to its position. It never takes the media lock
// (the command holds it while it waits for the workers).
struct PositionJob {
    IMedia* media;
    int32_t tag;
    double position;
    uint32_t pauseMs, settleMs, afterMs;
    std::atomic<bool> done{false};
};

void SetMediaPositionWorker(PositionJob& job) {
    IMedia* m = job.media;
    if (job.tag == 200 && IsReadyVideo(m)) {
        if (m->Common().state == kMediaPlaying) {
            m->Pause();
            Sleep(job.pauseMs);
        }
        Sleep(job.settleMs);
        LOGTEXT::LogDebug("%d will set %s to pos %f", static_cast<int>(m->Common().handle), m->Common().name.c_str(),
                          job.position);
        m->SetPosition(job.position);
        Sleep(job.afterMs);
        LOGTEXT::LogDebug("%d setpos ok", static_cast<int>(m->Common().handle));
    }
    job.done = true;
}

}  // namespace

int32_t CMediaManager::OnMediaCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                      tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    const uint32_t code = head.command;
    const uint32_t handle = HandleOf(head);
    const bool sync = m_nSyncMediaEnable != 0;
    const bool isMain = m_nMainServer != 0;
    auto setResult = [&](int32_t v) { reply.intParam[0] = v; };

    switch (code) {
    case 501: {
        std::lock_guard lock(m_csMedia);
        std::vector<uint8_t> bytes;
        int32_t count = 0;
        for (IMedia* m : m_mediaList) {
            if (m->Common().placementMode == 1) continue;
            const std::vector<uint8_t> rec = RecordBytes(*m);
            bytes.insert(bytes.end(), rec.begin(), rec.end());
            ++count;
        }
        setResult(count);
        if (count > 0) cmdutil::SetReplyBody(reply, replyBody, std::move(bytes));
        break;
    }
    case 503: {
        const int32_t type = IntAt(head, 4);
        const std::string name = cmdutil::HeadText(head);
        IMedia* m = LoadMedia(type, name, type == kMediaCapture ? &name : nullptr);
        if (!m) {
            setResult(0);
            break;
        }
        {
            std::lock_guard lock(m_csMedia);
            m_mediaList.push_back(m);
        }
        SaveMediaList();
        setResult(1);
        cmdutil::SetReplyBody(reply, replyBody, RecordBytes(*m));
        break;
    }
    case 504: {
        const int32_t type = IntAt(head, 4);
        const std::string name = cmdutil::HeadText(head);
        if (sync && type == 0) {
            if (!isMain) break;
            SyncMediaInfo info;
            info.name = name;
            BroadcastSyncCommand(info, 10);
            if (IMedia* m = SyncUpdateMedia(name, 0, 0)) {
                std::lock_guard lock(m_csMedia);
                setResult(1);
                cmdutil::SetReplyBody(reply, replyBody, RecordBytes(*m));
            }
            break;
        }
        LOGTEXT::LogInfo("addmedia.type=%d,name=%s,pos=%0.3f,%0.3f,%0.3f,%0.3f", type, name.c_str(), RealAt(head, 44),
                         RealAt(head, 52), RealAt(head, 60), RealAt(head, 68));
        IMedia* m = LoadMedia(type, name, type == kMediaCapture ? &name : nullptr);
        if (!m) break;
        {
            std::lock_guard lock(m_csMedia);
            m_mediaList.push_back(m);
        }
        SaveMediaList();
        setResult(1);
        cmdutil::SetReplyBody(reply, replyBody, RecordBytes(*m));
        break;
    }
    case 505:
        OnSwitchMedia(head, reply, replyBody);
        break;
    case 506:
    case 507:
    case 508: {
        static const char* const kText[3][5] = {
            {"开始处理播放命令", "播放命令-同步", "播放命令-服务器广播同步命令", "结束处理播放命令", "结束处理播放命令"},
            {"开始处理暂停命令", "暂停命令-同步", "暂停命令-服务器广播同步命令", "结束处理播暂停命令",
             "结束处理暂停命令"},
            {"开始处理停止命令", "停止命令-同步", "停止命令-服务器广播同步命令", "结束处理播停止命令",
             "结束处理停止命令"},
        };
        const int k = static_cast<int>(code - 506);
        const int32_t state = k + 1;  // 1 play, 2 pause, 3 stop
        LOGTEXT::LogInfo("%s", kText[k][0]);
        if (sync) {
            LOGTEXT::LogInfo("%s", kText[k][1]);
            setResult(1);
            if (isMain) {
                LOGTEXT::LogInfo("%s", kText[k][2]);
                IMedia* target = nullptr;
                if (handle != 0) {
                    target = ListedMedia(handle);
                    if (!target) setResult(0);
                }
                if (handle == 0 || target) {
                    // The slaves start, pause or stop when the record
                    // reaches them: it leaves before media.bak is written,
                    // which may take tens of milliseconds on a busy disk
                    // and would put every slave behind by as much.
                    const bool changed = ApplyMediaPlayState(target, state, -1);
                    SyncMediaInfo info;
                    int32_t result = 0;
                    GetCurrentVideoStatus(info, result);
                    {
                        std::lock_guard lock(m_csMedia);
                        std::lock_guard current(m_csCurrentVideo);
                        if (IMedia* v = target ? target : m_pCurrentVideo) {
                            info.name = std::string(platform::LastComponent(v->Common().name));
                            v->GetViewRect(info.rect[0], info.rect[1], info.rect[2], info.rect[3]);
                        }
                    }
                    info.value1 = state;
                    int32_t bits = 0x02;
                    if (state == kMediaPlaying) {
                        info.value4 = 100;
                        bits |= 0x80;
                    } else if (state == kMediaPaused) {
                        bits |= 0x04;
                    }
                    BroadcastSyncCommand(info, bits);
                    if (changed) SaveMediaList();
                }
            }
            LOGTEXT::LogInfo("%s", kText[k][3]);
            break;
        }
        bool changed = false;
        bool addressed = false;
        {
            std::lock_guard lock(m_csMedia);
            addressed = ForAddressed(*this, handle, [&](IMedia* m) {
                if (m->Common().state == state) return;
                if (state == kMediaPlaying)
                    m->Play();
                else if (state == kMediaPaused)
                    m->Pause();
                else
                    m->Stop();
                changed = true;
            });
            if (handle == 0) addressed = !m_mediaList.empty();
        }
        if (changed) SaveMediaList();
        setResult(addressed ? 1 : 0);
        LOGTEXT::LogInfo("%s", kText[k][4]);
        break;
    }
    case 509: {
        IMedia* target = handle ? ListedMedia(handle) : nullptr;
        if (handle != 0 && !target) break;
        if (sync && isMain) {
            SyncMediaInfo info;
            if (target) info.name = std::string(platform::LastComponent(target->Common().name));
            BroadcastSyncCommand(info, 16);
        }
        RemoveMedia(target);
        setResult(1);
        break;
    }
    case 510:
    case 511:
    case 512:
    case 513: {
        const int32_t value = IntAt(head, 8);
        const bool addressed = ForAddressed(*this, handle, [&](IMedia* m) {
            if (!IsVideo(m)) return;
            int64_t v = 0;
            if (code == 510)
                v = value != 0 ? 0 : 100;
            else if (code == 511)
                v = int64_t{m->GetVolume()} + value;
            else if (code == 512)
                v = int64_t{m->GetVolume()} - value;
            else
                v = value;
            // A step from the wire may be any number: kept in 0..100 before
            // it reaches the player.
            m->SetVolume(static_cast<int32_t>(std::clamp<int64_t>(v, 0, 100)));
        });
        if (!addressed) break;
        SaveMediaList();
        setResult(1);
        break;
    }
    case 515: {
        if (handle == 0 || !ListedMedia(handle)) break;
        SaveMediaList();
        setResult(1);
        break;
    }
    case 516: {
        std::lock_guard lock(m_csMedia);
        IMedia* m = handle ? ListedMedia(handle) : nullptr;
        if (!m) {
            std::lock_guard current(m_csCurrentVideo);
            if (handle == 0 && m_pCurrentVideo &&
                std::find(m_mediaList.begin(), m_mediaList.end(), m_pCurrentVideo) != m_mediaList.end())
                m = m_pCurrentVideo;
        }
        if (!m) break;
        setResult(1);
        reply.realParam[0] = m->GetPosition();
        reply.realParam[1] = m->GetDuration();
        break;
    }
    case 517:
    case 518:
    case 519: {
        const double value = RealAt(head, 44);
        if (!std::isfinite(value)) break;  // no position to go to
        if (code != 517 && !(value >= 0.001)) {
            setResult(1);
            break;
        }
        if (sync && !isMain) {
            // A synchronised slave moves with the main server's records, as
            // it plays and pauses with them: a local seek would put it out
            // of step until the next correction.
            LOGTEXT::LogInfo("seek command %u left to the main server", code);
            setResult(1);
            break;
        }
        auto target = [&](IMedia* m) {
            const double p = code == 517 ? value : code == 518 ? m->GetPosition() + value : m->GetPosition() - value;
            return std::max(0.0, p);
        };
        const bool addressed = ForAddressed(*this, handle, [&](IMedia* m) {
            if (!IsVideo(m)) return;
            const double p = target(m);
            m->SetPosition(p);
            if (sync && isMain) {
                SyncMediaInfo info;
                info.name = std::string(platform::LastComponent(m->Common().name));
                info.position = std::llround(p * 1e7);
                info.value1 = m->Common().state;
                BroadcastSyncCommand(info, 0x04);
            }
        });
        setResult(addressed ? 1 : 0);
        break;
    }
    case 520: {
        const std::string text = VideoFileText();
        setResult(1);
        if (!text.empty()) cmdutil::SetReplyBody(reply, replyBody, TextBytes(text));
        break;
    }
    case 521: {
        std::string text;
        {
            std::lock_guard lock(m_csMedia);
            for (size_t i = 0; i < m_mediaList.size(); ++i)
                text += std::to_string(i) + ":" + m_mediaList[i]->Common().name + "\r\n";
        }
        setResult(1);
        if (!text.empty()) cmdutil::SetReplyBody(reply, replyBody, TextBytes(text));
        break;
    }
    case 522: {
        std::vector<MY_MONITORINFO> monitors;
        Displays().EnumDisplays(monitors);
        const std::string text = XMLOPER::EncodeMonitorInfo(monitors);
        setResult(1);
        if (!text.empty()) cmdutil::SetReplyBody(reply, replyBody, TextBytes(text));
        break;
    }
    case 524:
        RefreshMediaFileLists(cmdutil::HeadText(head));
        break;
    case 525: {
        m_bTransientBmp = false;
        m_strBmpFilePath = cmdutil::HeadText(head);
        ReloadBackgroundImage();
        if (IntAt(head, 4) != 0) {
            const bool ok = platform::WritePrivateProfileString("Setting", "BmpFilePath", m_strBmpFilePath.c_str(),
                                                                m_strConfigPath.c_str());
            setResult(ok ? 1 : 0);
        }
        break;
    }
    case 526: {
        std::lock_guard lock(m_csMedia);
        if (IMedia* m = ListedMedia(handle)) {
            m->SetViewRect(static_cast<float>(RealAt(head, 44)), static_cast<float>(RealAt(head, 52)),
                           static_cast<float>(RealAt(head, 60)), static_cast<float>(RealAt(head, 68)));
            setResult(1);
        }
        break;
    }
    case 528:
        OnAddTimelineMedia(head, body, bodyLength, reply);
        break;
    case 529: {
        if (IMedia* m = ListedMedia(handle)) RemoveMedia(m);
        break;
    }
    case 530:
        OnUpdateTimelineMedia(head, body, bodyLength);
        break;
    case 531:
        stopalltask();
        RemoveMedia(nullptr);
        break;
    case 532:
        OnSetCurrentTimeline(RealAt(head, 44));
        break;
    case 533: {
        const std::string text = BodyText(body, bodyLength);
        std::lock_guard lock(m_csMedia);
        if (IMedia* m = ListedMedia(handle)) ParseSpecialActions(text, m->Common().actions);
        break;
    }
    case 534:
    case 535:
    case 536: {
        static const char* const kIn[3] = {"Kestrane_Play is in。 multicast %d,%d", "Kestrane_Stop is in",
                                           "Kestrane_Pause is in"};
        static const char* const kOut[3] = {"Kestrane_Play is over", "Kestrane_Stop is over",
                                            "Kestrane_Pause is over"};
        const int k = static_cast<int>(code - 534);
        if (k == 0)
            LOGTEXT::LogInfo(kIn[0], m_nSyncMediaEnable, m_nMainServer);
        else
            LOGTEXT::LogInfo("%s", kIn[k]);
        if (sync && isMain) {
            static const uint32_t kRecord[3] = {808, 810, 809};
            tagNETHEAD record;
            FillMediaStatusRecord(kRecord[k], nullptr, record);
            SendSyncHead(record, 16, 1);
        } else if (k == 0) {
            SetTimelineState(1);
        } else {
            SetTimelineState(k == 1 ? 3 : 2);
        }
        LOGTEXT::LogInfo("%s", kOut[k]);
        break;
    }
    case 537: {
        const int32_t mute = IntAt(head, 8);
        LOGTEXT::LogDebug("Mute in. bMute=%d", mute);
        const bool addressed = ForAddressed(*this, handle, [&](IMedia* m) {
            if (!IsVideo(m)) return;
            m->SetVolume(mute ? 0 : 100);
            LOGTEXT::LogInfo("media %s setvolume mute=%d", m->Common().name.c_str(), mute);
        });
        LOGTEXT::LogDebug("Mute off. ");
        setResult(addressed ? 1 : 0);
        break;
    }
    case 538: {
        const int32_t hide = IntAt(head, 8);
        ForAddressed(*this, handle, [&](IMedia* m) {
            m->Common().visible = hide == 0 ? 1 : 0;
            LOGTEXT::LogInfo("media %s set hide=%d", m->Common().name.c_str(), hide);
        });
        break;
    }
    case 541: {
        const double rate = RealAt(head, 44);
        // A rate that is not a positive number would stall or reverse the
        // player: refused.
        if (!(rate > 0.0) || !std::isfinite(rate)) break;
        // The timeline's own clock must keep pace with its videos, or the
        // videos it starts later come in behind the console.
        if (handle == 0) SetTimelineRate(rate);
        ForAddressed(*this, handle, [&](IMedia* m) {
            if (!IsVideo(m)) return;
            m->SetPlayRate(rate);
            LOGTEXT::LogInfo("media %s set playrate=%f", m->Common().name.c_str(), rate);
        });
        break;
    }
    default:
        break;
    }
    return 0;
}

// ---- switch media (505) ----

void CMediaManager::OnSwitchMedia(const tagNETHEAD& head, tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    const int32_t type = IntAt(head, 4);
    const bool play = IntAt(head, 8) != 0;
    const std::string name = cmdutil::HeadText(head);
    const std::string device = std::to_string(IntAt(head, 12));
    StopTaskThread(10000, "reset等待任务线程无信号，强制终止");

    if (m_nSyncMediaEnable != 0 && type == 0) {
        if (m_nMainServer == 0) return;
        SyncMediaInfo info;
        info.name = name;
        info.value1 = play ? 1 : 2;
        IMedia* m = SyncUpdateMedia(name, play ? 1 : 2, 0);
        if (!m) {
            BroadcastSyncCommand(info, 16);
            return;
        }
        if (play && IsVideo(m)) info.value2 = static_cast<int32_t>(m->GetSyncTime());
        BroadcastSyncCommand(info, play ? 32 : 2);
        if (play) SetMediaPlayState(m, kMediaPlaying, -1);
        std::lock_guard lock(m_csMedia);
        reply.intParam[0] = 1;
        cmdutil::SetReplyBody(reply, replyBody, RecordBytes(*m));
        return;
    }

    LOGTEXT::LogInfo("ResetMedia");
    reply.intParam[0] = 0;
    IMedia* fresh = nullptr;
    if (!name.empty()) {
        fresh = LoadMedia(type, name, type == kMediaCapture ? &device : nullptr);
        // A name that does not load leaves the wall as it is: only an empty
        // name clears it.
        if (!fresh) {
            m_nLastTransportTick = platform::GetTickCount();
            return;
        }
    }
    m_nLastTransportTick = platform::GetTickCount();
    RemoveMedia(nullptr);
    if (!fresh) return;
    {
        std::lock_guard lock(m_csMedia);
        m_mediaList.push_back(fresh);
    }
    if (IsVideo(fresh)) SetCurrentVideo(fresh, 0);
    if (play) fresh->Play();
    SaveMediaList();
    std::lock_guard lock(m_csMedia);
    reply.intParam[0] = 1;
    cmdutil::SetReplyBody(reply, replyBody, RecordBytes(*fresh));
}

// ---- timeline media (528, 530, 532) ----

void CMediaManager::OnAddTimelineMedia(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                       tagNETHEAD& reply) {
    LOGTEXT::LogInfo("enter AddMedia cmd");
    const int32_t type = IntAt(head, 4);
    const int32_t layer = IntAt(head, 8);
    const MediaRectI rect{IntAt(head, 20), IntAt(head, 24), IntAt(head, 28), IntAt(head, 32)};
    const double start = RealAt(head, 44);
    const double stop = RealAt(head, 52);
    std::string name = cmdutil::HeadText(head);

    if (!std::isfinite(start) || !std::isfinite(stop)) {
        LOGTEXT::LogError("AddMedia refused: time window %f..%f", start, stop);
        LOGTEXT::LogInfo("leave AddMedia cmd");
        return;
    }
    if (type == kMediaFileVideo || type == kMediaPicture) {
        // The console names a file by its name (or by a path of its own
        // folder): the file of that name in this server's media folder.
        const auto inFolder = MediaFolderFile(name);
        if (!inFolder) {
            LOGTEXT::LogError("AddMedia refused: name %s", name.c_str());
            LOGTEXT::LogInfo("leave AddMedia cmd");
            return;
        }
        name = *inFolder;
    }
    const std::string actions = BodyText(body, bodyLength);
    if (!actions.empty()) LOGTEXT::LogInfo("action=%s", actions.c_str());
    std::string device;
    if (type == kMediaCapture) device = std::to_string(std::atoi(name.c_str()));

    IMedia* m = LoadMedia(type, name, type == kMediaCapture ? &device : nullptr);
    if (!m) {
        reply.intParam[0] = 0;
        LOGTEXT::LogInfo("leave AddMedia cmd");
        return;
    }
    MediaCommon& c = m->Common();
    c.placementMode = 3;
    c.layer = layer;
    c.startTime = start;
    c.endTime = stop;
    c.baseStageRect = rect;
    c.stageRect = rect;
    c.visible = 1;
    ParseSpecialActions(actions, c.actions);
    reply.intParam[0] = static_cast<int32_t>(c.handle);

    {
        std::lock_guard lock(m_csMedia);
        m_mediaList.push_back(m);
        // Drawn in list order: lower layers first.
        std::stable_sort(m_mediaList.begin(), m_mediaList.end(),
                         [](IMedia* a, IMedia* b) { return a->Common().layer < b->Common().layer; });
        ReloadDynamicMedia();
    }

    const double t = m_dTimelineTime;
    if (IsReadyVideo(m) && start <= t && t <= stop) {
        const double target = LoopedPosition(t, start, m->GetDuration());
        const double old = m->GetPosition();
        if (std::fabs(target - old) > 0.001) {
            LOGTEXT::LogInfo("%s will setpos to %f. old pos=%f.", c.name.c_str(), target, old);
            Sleep(m_nSeekSettleMs);
            std::lock_guard lock(m_csMedia);
            if (ListedMedia(c.handle) == m) {
                m->SetPosition(target);
                LOGTEXT::LogInfo("after setpos to %f", target);
            }
        }
    }
    LOGTEXT::LogInfo("leave AddMedia cmd");
}

void CMediaManager::OnUpdateTimelineMedia(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength) {
    const bool hasText = body && bodyLength > 0;
    const std::string actions = BodyText(body, bodyLength);
    if (hasText) LOGTEXT::LogInfo("updatemediainfo. action=%s", actions.c_str());
    const double start = RealAt(head, 44);
    const double stop = RealAt(head, 52);
    {
        std::lock_guard lock(m_csMedia);
        IMedia* m = ListedMedia(HandleOf(head));
        if (!m) return;
        MediaCommon& c = m->Common();
        if (hasText) ParseSpecialActions(actions, c.actions);
        const MediaRectI rect{IntAt(head, 20), IntAt(head, 24), IntAt(head, 28), IntAt(head, 32)};
        c.baseStageRect = rect;
        c.stageRect = rect;
        const bool finite = std::isfinite(start) && std::isfinite(stop);
        if (finite && (std::fabs(start - c.startTime) >= 0.00001 || std::fabs(stop - c.endTime) >= 0.00001)) {
            c.startTime = start;
            c.endTime = stop;
            const double t = m_dTimelineTime;
            if (IsVideo(m) && c.state == kMediaPlaying && start <= t && t <= stop) {
                m->Pause();
                Sleep(m_nUpdateSettleMs);
                m->SetPosition(t - start);
            }
        }
        ReloadDynamicMedia();
    }
}

void CMediaManager::OnSetCurrentTimeline(double time) {
    LOGTEXT::LogInfo("Kestrane_SetCurrentTimeline is in. ftime=%f", time);
    if (!std::isfinite(time)) {
        LOGTEXT::LogError("timeline position refused: %f", time);
        return;
    }
    SetTimelineTime(time);

    LOGTEXT::LogInfo("before lock media");
    std::lock_guard lock(m_csMedia);
    LOGTEXT::LogInfo("after lock media");
    ReloadDynamicMedia();
    Sleep(m_nRecheckWaitMs);
    // Re-check only a running timeline: a paused one must not start media.
    if (m_nTimelineState == 1) CheckTimelineMedia(time);
    LOGTEXT::LogInfo("after recheck media");

    std::vector<std::unique_ptr<PositionJob>> jobs;
    for (IMedia* m : m_mediaList) {
        const MediaCommon& c = m->Common();
        if (!IsReadyVideo(m) || !(c.startTime <= time && time <= c.endTime)) continue;
        auto job = std::make_unique<PositionJob>();
        job->media = m;
        job->tag = 200;
        job->position = LoopedPosition(time, c.startTime, m->GetDuration());
        job->pauseMs = m_nWorkerPauseMs;
        job->settleMs = m_nWorkerSettleMs;
        job->afterMs = m_nWorkerAfterMs;
        jobs.push_back(std::move(job));
    }
    std::vector<std::thread> workers;
    workers.reserve(jobs.size());
    for (auto& job : jobs) workers.emplace_back(SetMediaPositionWorker, std::ref(*job));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nWorkerLimitMs);
    auto allDone = [&] { return std::all_of(jobs.begin(), jobs.end(), [](const auto& j) { return j->done.load(); }); };
    while (!allDone() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (size_t i = 0; i < jobs.size(); ++i)
        if (!jobs[i]->done) LOGTEXT::LogDebug("线程未及时响应 %d", static_cast<int>(i));
    // A late worker still uses its media: it is waited for, never left behind.
    for (auto& w : workers) w.join();
    LOGTEXT::LogDebug("have reset pos");
    LOGTEXT::LogInfo("Kestrane_SetCurrentTimeline is out off. ");
}
