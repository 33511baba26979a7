#include "core/MediaManager.h"
#include "util/Util.h"

#include <algorithm>
#include <chrono>

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Marks the command under the core lock as running for the watchdog, and as
// done however the handler leaves.
class RunningCommand {
public:
    explicit RunningCommand(CMediaManager& core) : m_core(core) {
        std::lock_guard lock(m_core.m_csCmdWatch);
        m_core.m_bCmdRunning = true;
        m_core.m_nCmdStartMs = SteadyMs();
        ++m_core.m_nCmdCount;
    }
    ~RunningCommand() {
        std::lock_guard lock(m_core.m_csCmdWatch);
        m_core.m_bCmdRunning = false;
    }
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;

private:
    CMediaManager& m_core;
};

}  // namespace

CommandFamily FamilyOfCommand(uint32_t code) {
    struct Range {
        uint32_t low, high;
        CommandFamily family;
    };
    // Tested in this order, bounds inclusive.
    static constexpr Range kRanges[] = {
        {2, 13, CommandFamily::World},          {101, 136, CommandFamily::Blend},
        {201, 206, CommandFamily::Color},       {301, 311, CommandFamily::BlendSetting},
        {501, 541, CommandFamily::Media},       {801, 812, CommandFamily::Sync},
        {901, 901, CommandFamily::TimeSync},    {1001, 1009, CommandFamily::System},
        {1101, 1110, CommandFamily::Layer},     {1201, 1204, CommandFamily::FileUpload},
    };
    for (const Range& r : kRanges)
        if (code >= r.low && code <= r.high) return r.family;
    return CommandFamily::None;
}

int32_t CMediaManager::DispatchCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                       tagNETHEAD& reply, std::vector<uint8_t>& replyBody, void* /*context*/) {
    LOGTEXT::LogInfo("***********cmdType=%d.param = %d,%d,%d,%d\n", static_cast<int>(head.command), head.intParam[0],
                     head.intParam[1], head.intParam[2], head.intParam[3]);

    const CommandFamily family = FamilyOfCommand(head.command);
    // Synchronisation between servers must go on while another command runs.
    if (family == CommandFamily::Sync) return OnSyncCommand(head, reply);

    std::lock_guard lock(m_csCore);
    RunningCommand running(*this);
    int32_t result = 0;
    switch (family) {
    case CommandFamily::World:
        result = OnWorldCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::Blend:
        result = OnBlendCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::Color:
        result = OnColorCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::BlendSetting:
        result = OnBlendSettingCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::Media:
        result = OnMediaCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::TimeSync:
        result = OnTimeSyncCommand(head, reply);
        break;
    case CommandFamily::System:
        result = OnSystemCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::Layer:
        result = OnLayerCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::FileUpload:
        result = OnFileUploadCommand(head, body, bodyLength, reply, replyBody);
        break;
    case CommandFamily::Sync:
    case CommandFamily::None:
        break;
    }
    return result;
}

uint32_t CommandWatchdogThread(CMediaManager* core) {
    const int64_t limit = core->m_nWaitFreezeTime;
    // Looks a few times per limit, so a command is ended at most a fraction
    // of the limit late.
    const auto period = static_cast<uint32_t>(std::clamp<int64_t>(limit / 8, 1, 500));
    while (!core->m_quitEvent.Wait(period)) {
        bool frozen = false;
        {
            std::lock_guard lock(core->m_csCmdWatch);
            frozen = core->m_bCmdRunning && SteadyMs() - core->m_nCmdStartMs >= limit;
        }
        if (!frozen) continue;
        LOGTEXT::LogInfo("命令处理超时，重新启动服务器");
        RestartSelf(core);
        return 0;
    }
    return 0;
}

void CMediaManager::StartCommandWatchdog() {
    if (m_nWatchdogRunning) return;
    // A limit of zero or less would time out every command and restart the
    // server after each one: it means "no watchdog".
    if (m_nWaitFreezeTime <= 0) {
        LOGTEXT::LogInfo("command watchdog off: WaitFreezeTime=%d", m_nWaitFreezeTime);
        return;
    }
    StartWorker(m_watchdogThread, &CommandWatchdogThread, "command watchdog");
    m_nWatchdogRunning = 1;
}

void RestartSelf(CMediaManager* core) {
    // The helper runs detached in its own session and holds no descriptor of
    // ours but the read end of the pipe it waits on, so the new process finds
    // the ports and the single-instance lock free.
    const ProcessIdentity self = core->System().CurrentProcess();
    core->System().RunRestartHelper(BuildRestartHelperArgv(self));
    core->Output().RequestQuit();
}
