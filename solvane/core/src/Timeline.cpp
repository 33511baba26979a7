// The server's timeline clock, the media time check that plays and pauses
// timeline videos by their time windows, and the dynamic reload that closes
// the videos no output of this server shows.
#include <algorithm>
#include <cmath>
#include <thread>

#include "channel/ChannelLayout.h"
#include "core/MediaManager.h"
#include "core/SpecialActions.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

// How often a master repeats the start record of a timeline video that has
// not started yet (the record may be lost; it is not acknowledged).
constexpr uint32_t kSyncStartRepeatMs = 1000;
// Samples of a moving media's path in one dynamic reload (0.5 s apart).
constexpr int kMaxPathSamples = 20000;

void Sleep(uint32_t ms) {
    if (ms) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Intersects(const MediaRectI& a, const RECT& b) {
    return std::max(a.left, b.left) < std::min(a.right, b.right) &&
           std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

}  // namespace

// ---- clock ----

double CMediaManager::TimelineTimeNow() {
    std::lock_guard lock(m_csTimeline);
    const uint32_t elapsed = platform::TickDiff(platform::GetTickCount(), m_nTimelineBaseTick);
    return elapsed / 1000.0 * m_dTimelineRate + m_dTimelineBaseTime;
}

void CMediaManager::SetTimelineRate(double rate) {
    if (!(rate > 0.0) || !std::isfinite(rate)) return;
    std::lock_guard lock(m_csTimeline);
    // A running clock is re-based first, so the time already played keeps
    // the rate it was played at.
    const uint32_t now = platform::GetTickCount();
    if (m_nTimelineState == 1 && m_nTimelineHold == 0) {
        m_dTimelineBaseTime += platform::TickDiff(now, m_nTimelineBaseTick) / 1000.0 * m_dTimelineRate;
        m_nTimelineBaseTick = now;
    }
    m_dTimelineRate = rate;
}

void CMediaManager::SetTimelineTime(double t) {
    std::lock_guard lock(m_csTimeline);
    m_nTimelineHold = 1;
    m_nTimelineBaseTick = platform::GetTickCount();
    // The base always moves with the tick: a time equal to the last one
    // computed must not leave the clock at an older base.
    m_dTimelineBaseTime = t;
    if (std::fabs(t - m_dTimelineTime) > 0.0001) m_dTimelineTime = t;
}

void CMediaManager::SetTimelineState(int32_t state) {
    switch (state) {
    case 2: {
        // The base time moves to the pause instant, so that a play without a
        // new timeline position goes on from where the pause left the
        // timeline instead of jumping back to the old base time.
        {
            std::lock_guard lock(m_csTimeline);
            const uint32_t now = platform::GetTickCount();
            if (m_nTimelineState == 1 && m_nTimelineHold == 0) {
                m_dTimelineBaseTime += platform::TickDiff(now, m_nTimelineBaseTick) / 1000.0 * m_dTimelineRate;
                m_dTimelineTime = m_dTimelineBaseTime;
            }
            m_nTimelineState = 2;
            m_nTimelineHold = 1;
            m_nTimelineBaseTick = now;
        }
        std::lock_guard lock(m_csMedia);
        for (IMedia* m : m_mediaList) m->Pause();
        break;
    }
    case 3: {
        m_nTimelineHold = 1;
        m_nTimelineState = 3;
        std::lock_guard lock(m_csMedia);
        for (IMedia* m : m_mediaList) {
            LOGTEXT::LogInfo("before stop %s", m->Common().name.c_str());
            if (m->Common().state != kMediaStopped) {
                m->Pause();
                Sleep(m_nStopSettleMs);
                m->Stop();
            }
            LOGTEXT::LogInfo("after stop");
        }
        break;
    }
    case 1: {
        // A held clock starts counting from its base time now: the time it
        // stood still does not count.
        std::lock_guard lock(m_csTimeline);
        if (m_nTimelineHold != 0) m_nTimelineBaseTick = platform::GetTickCount();
        m_nTimelineState = 1;
        m_nTimelineHold = 0;
        break;
    }
    default:
        break;
    }
}

// ---- time check ----

void CMediaManager::MediaTimeCheckStep() {
    // Held or not playing: nothing is computed and nothing started, or a
    // pause would be undone by the next pass.
    if (m_nTimelineHold != 0 || m_nTimelineState != 1) return;
    const double t = TimelineTimeNow();
    m_dTimelineTime = t;
    CheckTimelineMedia(t);
}

void CMediaManager::CheckTimelineMedia(double t) {
    std::lock_guard lock(m_csMedia);
    const std::vector<IMedia*> media = m_mediaList;
    for (IMedia* m : media) {
        const MediaCommon& c = m->Common();
        if (c.type != kMediaFileVideo || m->GraphState() != 2) continue;
        if (c.startTime < t && t < c.endTime) {
            if (c.state == kMediaPlaying) {
                std::lock_guard sent(m_csSyncResend);
                m_syncStartSent.erase(c.handle);
                continue;
            }
            LOGTEXT::LogInfo("media %s will play. current play time=%f", c.name.c_str(), t);
            if (m_nSyncMediaEnable == 0) {
                m->Play();
                LOGTEXT::LogInfo("after play");
            } else if (m_nMainServer != 0) {
                // Every server, this one included, starts the media when the
                // record arrives. Repeated now and then until it plays, since
                // a lost record is never answered.
                const uint32_t now = platform::GetTickCount();
                {
                    std::lock_guard sent(m_csSyncResend);
                    auto it = m_syncStartSent.find(c.handle);
                    if (it != m_syncStartSent.end() && platform::TickDiff(now, it->second) < kSyncStartRepeatMs)
                        continue;
                    m_syncStartSent[c.handle] = now;
                }
                tagNETHEAD head;
                FillMediaStatusRecord(808, m, head);
                SendSyncHead(head, 16, 1);
            }
        } else if (t > c.endTime) {
            if (c.state != kMediaPaused) {
                LOGTEXT::LogInfo("out of play time. media %s will pause. current pause time=%f", c.name.c_str(), t);
                m->Pause();
            }
        }
    }
}

void CMediaManager::StartTimelinePlayThread() {
    StopTimelinePlayThread();
    m_nTimelineHold = 1;
    m_timelineManualEvent.Reset();
    const bool started = m_timeCheckThread.Start(
        [this](platform::StoppableThread& self) {
            LOGTEXT::LogInfo("enter media time check thread");
            ReloadDynamicMedia();
            for (;;) {
                if (platform::Event::WaitAny({&self.StopEvent(), &m_timelineManualEvent}, 10) >= 0) {
                    LOGTEXT::LogInfo("check thread wait signal");
                    LOGTEXT::LogInfo("leave media time check thread");
                    return;
                }
                MediaTimeCheckStep();
            }
        },
        "media time check");
    LOGTEXT::LogInfo("start timeline thread. h=%d.e=%d", started ? 1 : 0, 0);
}

void CMediaManager::StopTimelinePlayThread() {
    LOGTEXT::LogInfo("enter StopTimelinePlayThread");
    m_timelineManualEvent.Set();
    // A thread that misses the wait is logged and left to end on its own.
    m_timeCheckThread.Stop(2000, "terminate thread.dw=258");
    LOGTEXT::LogInfo("leave StopPlayThread");
}

// ---- dynamic reload ----

void CMediaManager::ReloadDynamicMedia() {
    std::lock_guard lock(m_csMedia);
    m_render.dynamicReloadDone = 0;
    if (m_mediaList.empty()) {
        m_render.dynamicReloadDone = 1;
        return;
    }
    std::vector<RECT> outputs;
    {
        std::lock_guard layout(m_csChannelLayout);
        if (m_pChannelLayout)
            for (const auto& ch : m_pChannelLayout->m_channels) outputs.push_back(ch->m_stageRect);
    }
    for (auto it = m_mediaList.rbegin(); it != m_mediaList.rend(); ++it) {
        IMedia* m = *it;
        MediaCommon& c = m->Common();
        // Only media placed by stage rectangle and time window can leave the
        // outputs; a full-screen video (the start-up video, a switched one)
        // has no stage rectangle and would otherwise be closed at once.
        if (c.type != kMediaFileVideo || c.placementMode != 3) continue;
        c.onOutput = 0;
        auto onSomeOutput = [&](const MediaRectI& r) {
            return std::any_of(outputs.begin(), outputs.end(), [&](const RECT& out) { return Intersects(r, out); });
        };
        if (onSomeOutput(c.stageRect)) {
            c.onOutput = 1;
        } else if (!c.actions.empty() && std::isfinite(c.startTime) && std::isfinite(c.endTime)) {
            // The path is sampled on a copy: the scene pass places the media
            // itself when it draws it. A window from the wire may be huge, so
            // the samples are counted.
            MediaCommon path = c;
            int n = 0;
            for (double t = c.startTime; t < c.endTime && n < kMaxPathSamples; t = c.startTime + 0.5 * ++n) {
                ApplySpecialActions(path, t);
                if (onSomeOutput(path.stageRect)) {
                    c.onOutput = 1;
                    break;
                }
            }
        }
        const int32_t graph = m->GraphState();
        if (!c.onOutput && graph == 2) {
            m->Close();
            LOGTEXT::LogInfo("close media. %s", c.name.c_str());
        } else if (c.onOutput && graph == 0) {
            LOGTEXT::LogInfo("will reload media %s.", c.name.c_str());
            // The reload gives index 0; the media keeps the layer the
            // commands gave it.
            const int32_t layer = c.layer;
            const std::string name = c.name;
            const bool ok = m->LoadResource(name, 0, m->LoadReserved(), c.stereoFormat);
            c.layer = layer;
            LOGTEXT::LogInfo("reload media %s. ret=%d", name.c_str(), ok ? 1 : 0);
        }
    }
    m_render.dynamicReloadDone = 1;
}
