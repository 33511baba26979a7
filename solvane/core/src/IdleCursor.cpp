// The idle-cursor and time-sync threads of the core, and the cursor's
// display count that the output window's thread changes.
#include <QCursor>
#include <QGuiApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/MediaManager.h"
#include "util/Util.h"

namespace {

constexpr uint32_t kIdleCursorPeriodMs = 500;
constexpr uint32_t kIdleBeforeHideMs = 5000;
constexpr uint32_t kTimeSyncFirstWaitMs = 5000;
constexpr uint32_t kTimeSyncStepMs = 30000;
// The count moves by one per call, so a few calls always cross zero; the
// bound only keeps a count moved elsewhere from holding the window thread.
constexpr int kMaxCursorCalls = 100;

// The cursor shows while the count is zero or more. Only the output
// window's thread changes it.
int32_t g_cursorCount = 0;
// The count last returned to ShowMouseCursor.
int32_t g_lastCursorCount = 0;
bool g_overridePushed = false;

// Whether Qt's cursor calls may be made here: an application exists and
// this is its thread.
bool OnGuiThread() {
    QCoreApplication* app = QGuiApplication::instance();
    return app && qobject_cast<QGuiApplication*>(app) && QThread::currentThread() == app->thread();
}

// Moves the count by one and hides or shows the pointer over the
// application's windows when it crosses zero.
int32_t ShowCursor(bool show) {
    g_cursorCount += show ? 1 : -1;
    if (show && g_cursorCount == 0 && g_overridePushed) {
        if (OnGuiThread()) QGuiApplication::restoreOverrideCursor();
        g_overridePushed = false;
    } else if (!show && g_cursorCount == -1 && !g_overridePushed && OnGuiThread()) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
        g_overridePushed = true;
    }
    return g_cursorCount;
}

}  // namespace

int32_t CursorDisplayCount() { return g_cursorCount; }

void CMediaManager::ShowMouseCursor(int hide) {
    if (hide == 0) {
        if (g_lastCursorCount >= 0) return;
        g_lastCursorCount = ShowCursor(true);
        for (int i = 1; g_lastCursorCount < 0 && i < kMaxCursorCalls; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            g_lastCursorCount = ShowCursor(true);
        }
        m_nCursorHidden = 0;
    } else {
        if (g_lastCursorCount < 0) return;
        g_lastCursorCount = ShowCursor(false);
        for (int i = 1; g_lastCursorCount >= 0 && i < kMaxCursorCalls; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            g_lastCursorCount = ShowCursor(false);
        }
        m_nCursorHidden = 1;
    }
}

void IdleCursorStep(CMediaManager* core) {
    if (core->m_nAutoHideCursor == 0) return;
    const bool idle = core->System().IdleTimeMs() > kIdleBeforeHideMs;
    const int32_t hidden = core->m_nCursorHidden.load();
    if (idle && hidden == 0)
        core->Output().RequestShowCursor(true);
    else if (!idle && hidden != 0)
        core->Output().RequestShowCursor(false);
}

uint32_t IdleCursorThread(CMediaManager* core) {
    while (!core->m_quitEvent.Wait(kIdleCursorPeriodMs)) IdleCursorStep(core);
    return 0;
}

uint32_t TimeSyncNextWaitMs(uint32_t currentMs, int intervalSeconds) {
    // A non-positive interval would make every later wait zero, a busy loop.
    if (intervalSeconds <= 0) return kTimeSyncFirstWaitMs;
    const uint64_t cap = std::min<uint64_t>(static_cast<uint64_t>(intervalSeconds) * 1000u, 0xFFFFFFFEu);
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t(currentMs) + kTimeSyncStepMs, cap));
}

uint32_t TimeSyncThread(CMediaManager* core) {
    const int interval = core->m_nSyncTimeInterval;
    LOGTEXT::LogInfo("进入 时间同步 线程。等待时间为%lld 毫秒", static_cast<long long>(interval) * 1000);
    uint32_t wait = kTimeSyncFirstWaitMs;
    while (!core->m_quitEvent.Wait(wait)) wait = TimeSyncNextWaitMs(wait, core->m_nSyncTimeInterval);
    LOGTEXT::LogInfo("退出 时间同步 线程。");
    return 0;
}
