#include "core/NodeSync.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "core/Media.h"
#include "core/MediaManager.h"
#include "core/MediaStateText.h"
#include "core/ServerClock.h"
#include "core/SocketManager.h"
#include "core/SystemUtil.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

std::atomic<CNodeSync*> g_nodeSync{nullptr};
std::mutex g_controllerLock;
std::string g_controllerAddress;

// Windows wait results, as the acknowledgement wait logs them.
constexpr int kWaitObject0 = 0;
constexpr int kWaitTimeout = 258;

bool SameFileName(const std::string& a, const std::string& b) {
    return strcasecmp(FileNameOfPath(a).c_str(), FileNameOfPath(b).c_str()) == 0;
}

// A 2-byte payload: the command and one zero byte.
struct ShortPayload {
    uint8_t bytes[2];
    explicit ShortPayload(uint8_t command) : bytes{command, 0} {}
};

}  // namespace

CNodeSync* GetNodeSync() { return g_nodeSync.load(); }
void SetNodeSyncInstance(CNodeSync* sync) { g_nodeSync.store(sync); }

std::string GetControllerAddress() {
    std::lock_guard lock(g_controllerLock);
    return g_controllerAddress;
}

void SetControllerAddress(const std::string& address) {
    std::lock_guard lock(g_controllerLock);
    g_controllerAddress = address;
}

CNodeSync::CNodeSync(CMediaManager* core, CServerClock* clock, NodeSyncOptions options)
    : m_pCoreGiven(core), m_pClock(clock), m_options(std::move(options)) {}

CNodeSync::~CNodeSync() { Stop(); }

int CNodeSync::Start() {
    // The network thread starts the node again after it restarted its
    // listeners: the old run ends first.
    if (m_bRunning) Stop();
    m_pCore = m_pCoreGiven ? m_pCoreGiven : GetMediaManager();
    m_stopEvent.Reset();
    m_nMasterAnswerTick.store(platform::GetTickCount() - m_options.masterAnswerMs);
    m_bMasterAlive.store(false);
    m_bRunning = true;
    m_pCore->m_nNodeSyncEnabled = 1;
    m_monitor.Start([this](platform::StoppableThread&) { MonitorLoop(); }, "node sync");

    int bound = 1;
    const char* bindAddress = m_options.bindAddress.c_str();
    m_stateEndpoint = std::make_unique<CSocketManager>();
    m_heartbeatEndpoint = std::make_unique<CSocketManager>();
    for (auto* endpoint : {m_stateEndpoint.get(), m_heartbeatEndpoint.get()}) {
        const uint16_t port = endpoint == m_stateEndpoint.get() ? m_options.statePort : m_options.heartbeatPort;
        endpoint->SetCommandCallback(&CNodeSync::OnCommand);
        endpoint->SetUserPointer(this);
        if (!endpoint->Start(port, bindAddress)) {
            LOGTEXT::LogError("node sync: cannot bind %s:%d", bindAddress, static_cast<int>(port));
            bound = 0;
        }
    }
    SleepUnlessStopped(m_options.startSettleMs);
    return bound;
}

void CNodeSync::Stop() {
    m_stopEvent.Set();
    m_monitor.Join(m_options.stopWaitMs, "node sync monitor did not end in time; left behind");
    // Each endpoint ends its own receive thread before it closes its socket.
    if (m_stateEndpoint) m_stateEndpoint->Stop();
    if (m_heartbeatEndpoint) m_heartbeatEndpoint->Stop();
    m_stateEndpoint.reset();
    m_heartbeatEndpoint.reset();
    {
        std::lock_guard lock(m_nodeLock);
        m_slaves.clear();
        m_nSlaveCount.store(0);
    }
    if (m_bRunning && m_pCore) m_pCore->m_nNodeSyncEnabled = 0;
    m_bRunning = false;
}

bool CNodeSync::SleepUnlessStopped(uint32_t ms) { return ms == 0 || !m_stopEvent.Wait(ms); }

bool CNodeSync::SyncSwitchOn() const {
    return m_pCore && m_pCore->m_nNodeSyncEnabled != 0 && m_pCore->m_nSyncMediaEnable != 0;
}

bool CNodeSync::IsMaster() const { return m_pCore && m_pCore->m_nMainServer != 0; }

std::vector<std::string> CNodeSync::SlaveAddresses() const {
    std::lock_guard lock(m_nodeLock);
    std::vector<std::string> out;
    for (const auto& [address, tick] : m_slaves) out.push_back(address);
    return out;
}

size_t CNodeSync::SlaveCount() const { return static_cast<size_t>(m_nSlaveCount.load()); }

// ---- sending ----

int CNodeSync::SendTo(const std::string& address, uint16_t port, const uint8_t* payload, uint32_t length) {
    // The receiver can hold no longer message; the length field no longer one.
    if ((!payload && length) || length > CSocketManager::kMaxMessageLength) {
        LOGTEXT::LogError("node sync: payload of %u bytes not sent", length);
        return -1;
    }
    uint32_t peerAddress = 0;
    if (address.empty() || !CSocketComm::GetIPAddress(address.c_str(), peerAddress)) return -1;
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    if (m_options.bindAddress != "0.0.0.0" && !m_options.bindAddress.empty()) {
        // Several nodes on one machine tell themselves apart by address.
        uint32_t local = 0;
        sockaddr_in from;
        std::memset(&from, 0, sizeof from);
        from.sin_family = AF_INET;
        bool bound = CSocketComm::GetIPAddress(m_options.bindAddress.c_str(), local);
        if (bound) {
            from.sin_addr.s_addr = htonl(local);
            bound = ::bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0;
        }
        if (!bound) {
            ::close(s);
            return -1;
        }
    }
    sockaddr_in to;
    std::memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(peerAddress);
    to.sin_port = htons(port);

    std::vector<uint8_t> datagram(2 + length);
    datagram[0] = static_cast<uint8_t>(length & 0xFF);
    datagram[1] = static_cast<uint8_t>(length >> 8);
    if (length) std::memcpy(datagram.data() + 2, payload, length);
    // A receiver reads at most kReceiveDataSize bytes of a datagram; a longer
    // message goes in pieces, which its stream buffer joins again.
    int total = 0;
    for (size_t off = 0; off < datagram.size(); off += CSocketComm::kReceiveDataSize) {
        const size_t piece = std::min<size_t>(CSocketComm::kReceiveDataSize, datagram.size() - off);
        const ssize_t r = ::sendto(s, datagram.data() + off, piece, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to),
                                   sizeof to);
        if (r < 0) {
            total = -1;
            break;
        }
        total += static_cast<int>(r);
    }
    ::close(s);
    return total;
}

int CNodeSync::SendStateToSlave(const std::string& address) {
    std::string text;
    {
        std::lock_guard lock(m_pCore->m_csMedia);
        text = BuildMediaStateText(*m_pCore);
    }
    std::vector<uint8_t> payload(1 + text.size() + 1, 0);
    payload[0] = kNodeSyncState;
    std::memcpy(payload.data() + 1, text.data(), text.size());
    const int ret = SendTo(address, m_options.statePort, payload.data(), static_cast<uint32_t>(payload.size()));
    LOGTEXT::LogInfo(" 发送数据到从节点%s. ret=%d. %s", address.c_str(), ret, text.c_str());
    return ret;
}

int CNodeSync::SendLoadAcknowledgement() {
    const ShortPayload p(kNodeSyncLoadAck);
    return SendTo(GetControllerAddress(), m_options.heartbeatPort, p.bytes, sizeof p.bytes);
}

int CNodeSync::SendUpdateAcknowledgement() {
    const ShortPayload p(kNodeSyncUpdateAck);
    return SendTo(GetControllerAddress(), m_options.heartbeatPort, p.bytes, sizeof p.bytes);
}

// ---- waits ----

bool CNodeSync::WaitAllSlaveNodes(uint32_t timeoutMs) {
    if (SlaveCount() == 0) return true;
    const auto begin = std::chrono::steady_clock::now();
    // The round began before its broadcast went out (BeginAcknowledgementRound):
    // acknowledgements that came in before this wait count, and those that
    // completed it have set the event already.
    const int index = platform::Event::WaitAny({&m_allAcknowledged, &m_stopEvent}, timeoutMs);
    LOGTEXT::LogDebug("wait all slave node. wait=%d", index == 0 ? kWaitObject0 : index < 0 ? kWaitTimeout : 1);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    if (took.count() < static_cast<int64_t>(m_options.minAckWaitMs))
        SleepUnlessStopped(m_options.minAckWaitMs - static_cast<uint32_t>(took.count()));
    return index == 0;
}

bool CNodeSync::WaitAllSlaveNodes() { return WaitAllSlaveNodes(m_options.longAckWaitMs); }

void CNodeSync::BeginAcknowledgementRound() {
    m_allAcknowledged.Reset();
    m_nAckCount.store(0);
}

bool CNodeSync::IsSlave(const std::string& address) const {
    std::lock_guard lock(m_nodeLock);
    return m_slaves.count(address) != 0;
}

int CNodeSync::WaitSecondAcknowledgement(platform::Event* handle, uint32_t timeoutMs) {
    if (SlaveCount() == 0) return 0;
    if (!handle) return m_secondAcknowledged.Wait(timeoutMs) ? 1 : -1;
    return platform::Event::WaitAny({handle, &m_secondAcknowledged}, timeoutMs);
}

// ---- monitor ----

void CNodeSync::MonitorLoop() {
    int misses = 0;
    bool lossReported = false;
    while (!m_stopEvent.Wait(m_options.heartbeatMs)) {
        if (!SyncSwitchOn()) continue;
        if (IsMaster()) {
            std::lock_guard lock(m_nodeLock);
            // Read under the lock: a tick refreshed after it was read would
            // look like a slave silent for ages.
            const uint32_t now = platform::GetTickCount();
            for (auto it = m_slaves.begin(); it != m_slaves.end();) {
                const uint32_t silent = platform::TickDiff(now, it->second);
                if (silent >= m_options.slaveExpiryMs && silent < 0x80000000u) {
                    LOGTEXT::LogInfo("节点 %s 在规定时间内没响应，移除", it->first.c_str());
                    it = m_slaves.erase(it);
                } else {
                    ++it;
                }
            }
            m_nSlaveCount.store(static_cast<int32_t>(m_slaves.size()));
            continue;
        }
        const ShortPayload heartbeat(kNodeSyncHeartbeat);
        SendTo(GetControllerAddress(), m_options.heartbeatPort, heartbeat.bytes, sizeof heartbeat.bytes);
        const uint32_t since = platform::TickDiff(platform::GetTickCount(), m_nMasterAnswerTick.load());
        if (since < m_options.masterAnswerMs) {
            misses = 0;
            if (lossReported) {
                LOGTEXT::LogDebug("恢复到主控了");
                lossReported = false;
            }
        } else if (++misses == 2) {
            m_bMasterAlive.store(false);
            LOGTEXT::LogDebug("主控没有响应了");
            lossReported = true;
        }
    }
}

// ---- receiving ----

void CNodeSync::OnCommand(int, const char* address, int, uint8_t command, const uint8_t* data, uint32_t length,
                          void* user) {
    static_cast<CNodeSync*>(user)->OnReceive(command, address ? address : "", data, length);
}

void CNodeSync::OnReceive(uint8_t command, const std::string& address, const uint8_t* data, uint32_t length) {
    if (!m_pCore) return;
    if (command != kNodeSyncHeartbeat && command != kNodeSyncAlive && command != kNodeSyncSecondAck)
        LOGTEXT::LogInfo("SYNC CMD. cmdtype=%d", static_cast<int>(command));
    const bool master = IsMaster();
    // A slave follows one server: clock, answers and state from anyone else
    // (a stray or forged datagram) would wipe its show or move its clock.
    // The main server takes acknowledgements and redo requests from its
    // slaves only; a heartbeat is how a new slave joins.
    if (master ? command != kNodeSyncHeartbeat && !IsSlave(address) : address != GetControllerAddress()) {
        LOGTEXT::LogDebug("node sync: command %d from %s ignored", static_cast<int>(command), address.c_str());
        return;
    }
    switch (command) {
    case kNodeSyncTime: {
        if (master || length < 4) return;
        uint32_t value = 0;
        std::memcpy(&value, data, sizeof value);
        LOGTEXT::LogDebug("收到同步时间。 %d", static_cast<int>(value));
        // The process clock is looked up each time: the render loop frees it
        // at its end.
        (m_pClock ? m_pClock : CServerClock::GetInstance())->SetTime(value);
        m_nMasterAnswerTick.store(platform::GetTickCount());
        m_bMasterAlive.store(true);
        return;
    }
    case kNodeSyncAlive:
        if (master) return;
        m_nMasterAnswerTick.store(platform::GetTickCount());
        m_bMasterAlive.store(true);
        return;
    case kNodeSyncHeartbeat:
        if (master) OnHeartbeat(address);
        return;
    case kNodeSyncLoadAck:
        if (master) OnAcknowledgement("set load ok event");
        return;
    case kNodeSyncUpdateAck:
        if (master) OnAcknowledgement("set update ok event");
        return;
    case kNodeSyncSecondAck:
        if (master) OnSecondAcknowledgement();
        return;
    case kNodeSyncState:
        if (!master) ApplyMasterState(address, data, length);
        return;
    case kNodeSyncRedo:
        if (master) RedoAllSync();
        return;
    default:
        return;
    }
}

void CNodeSync::OnHeartbeat(const std::string& address) {
    std::lock_guard lock(m_nodeLock);
    auto known = m_slaves.find(address);
    if (known != m_slaves.end()) {
        known->second = platform::GetTickCount();
        const ShortPayload alive(kNodeSyncAlive);
        SendTo(address, m_options.heartbeatPort, alive.bytes, sizeof alive.bytes);
        return;
    }
    LOGTEXT::LogInfo(" 新的节点加入。%s", address.c_str());
    // The new slave has not seen the media commands that acknowledgements
    // are being collected for: one more is needed this round.
    m_nAckCount.store(-1);
    m_slaves[address] = platform::GetTickCount();
    m_nSlaveCount.store(static_cast<int32_t>(m_slaves.size()));

    uint8_t timePayload[10] = {kNodeSyncTime};
    const uint32_t masterTime = platform::GetTickCount() + 2;
    std::memcpy(timePayload + 1, &masterTime, sizeof masterTime);
    int ret = SendTo(address, m_options.heartbeatPort, timePayload, sizeof timePayload);
    LOGTEXT::LogInfo(" 发送同步时间命令。ret = %d", ret);
    {
        std::lock_guard media(m_pCore->m_csMedia);
        const std::string text = BuildMediaStateText(*m_pCore);
        std::vector<uint8_t> payload(1 + text.size() + 1, 0);
        payload[0] = kNodeSyncState;
        std::memcpy(payload.data() + 1, text.data(), text.size());
        ret = SendTo(address, m_options.statePort, payload.data(), static_cast<uint32_t>(payload.size()));
        LOGTEXT::LogInfo(" 发送数据到从节点%s . ret=%d. %s", address.c_str(), ret, text.c_str());
    }
    const uint32_t now = platform::GetTickCount();
    for (auto& [slave, tick] : m_slaves) tick = now;
}

void CNodeSync::OnAcknowledgement(const char* what) {
    const int32_t count = ++m_nAckCount;
    const int32_t slaves = m_nSlaveCount.load();
    LOGTEXT::LogDebug("slave node count=%d.action count=%d", static_cast<int>(slaves), static_cast<int>(count));
    if (slaves > 0 && count == slaves) {
        LOGTEXT::LogDebug("%s", what);
        m_allAcknowledged.Set();
    }
}

void CNodeSync::OnSecondAcknowledgement() {
    const int32_t count = ++m_nSecondAckCount;
    const int32_t slaves = m_nSlaveCount.load();
    if (slaves > 0 && count >= slaves) {
        m_secondAcknowledged.Set();
        m_nSecondAckCount.store(0);
    }
}

void CNodeSync::ApplyMasterState(const std::string& address, const uint8_t* data, uint32_t length) {
    const std::string text(reinterpret_cast<const char*>(data), data ? strnlen(reinterpret_cast<const char*>(data), length) : 0);
    LOGTEXT::LogDebug("init requst response. %s", text.c_str());
    const std::vector<MediaStateEntry> entries = ParseMediaStateText(text);

    int touched = 0;
    bool match = false;
    {
        std::lock_guard lock(m_pCore->m_csMedia);
        std::vector<IMedia*> videos;
        for (IMedia* media : m_pCore->m_mediaList) {
            if (media && media->Common().type == kMediaFileVideo) videos.push_back(media);
        }
        if (entries.empty() && videos.empty()) return;
        match = entries.size() == videos.size();
        for (size_t i = 0; match && i < entries.size(); ++i) {
            bool found = false;
            for (IMedia* video : videos) found = found || SameFileName(entries[i].name, video->Common().name);
            match = found;
        }
        if (match) {
            for (IMedia* video : videos) {
                video->Pause();
                ++touched;
            }
        }
    }
    if (!match) {
        StopAllTasks();
        for (const MediaStateEntry& entry : entries) {
            IMedia* media = m_pCore->LoadMedia(kMediaFileVideo, entry.name, nullptr);
            if (!media) continue;
            media->Pause();
            media->SeekTo(entry.position);
            std::lock_guard lock(m_pCore->m_csMedia);
            m_pCore->m_mediaList.push_back(media);
            // The video caught up with becomes the current one, as a video
            // loaded by command does, so the frame queries answer on a slave.
            std::lock_guard current(m_pCore->m_csCurrentVideo);
            IMedia*& shown = m_pCore->m_pCurrentVideo;
            if (!shown || std::find(m_pCore->m_mediaList.begin(), m_pCore->m_mediaList.end(), shown) ==
                              m_pCore->m_mediaList.end())
                shown = media;
            ++touched;
        }
    }
    if (touched > 0) {
        const ShortPayload redo(kNodeSyncRedo);
        SendTo(address, m_options.statePort, redo.bytes, sizeof redo.bytes);
    }
}

void CNodeSync::RedoAllSync() {
    LOGTEXT::LogDebug("do all sync again. ");
    std::lock_guard lock(m_pCore->m_csMedia);
    SyncMediaInfo pauseAll;
    pauseAll.value1 = kMediaPaused;
    BroadcastSync(pauseAll, 2);
    SleepUnlessStopped(m_options.redoPauseMs);
    // Before the replayed records go out: an acknowledgement may come back
    // before the wait below begins.
    BeginAcknowledgementRound();

    std::map<size_t, IMedia*> wasPlaying;
    bool anyVideo = false;
    for (size_t i = 0; i < m_pCore->m_mediaList.size(); ++i) {
        IMedia* media = m_pCore->m_mediaList[i];
        if (!media || media->Common().type != kMediaFileVideo) continue;
        anyVideo = true;
        if (media->Common().state == kMediaPlaying) wasPlaying[i] = media;
        media->Pause();
        SyncMediaInfo info;
        info.name = media->Common().name;
        int64_t position = 0;
        if (media->GetSeekPosition(position)) {
            info.position = position;
            media->SeekTo(position);
        }
        info.value1 = media->Common().state;
        uint32_t clockMs = 0;
        info.value2 = media->ClockTimeMs(clockMs) ? static_cast<int32_t>(clockMs) : 0;
        info.value3 = media->Common().syncValue3;
        info.value5 = media->Common().syncValue5;
        LOGTEXT::LogInfo("重播命令-服务器广播同步命令");
        BroadcastSync(info, 0x1281);
    }
    if (anyVideo) WaitAllSlaveNodes(m_options.longAckWaitMs);
    SleepUnlessStopped(m_options.redoAfterWaitMs);
    for (const auto& [index, media] : wasPlaying) {
        SyncMediaInfo play;
        play.name = media->Common().name;
        play.value1 = kMediaPlaying;
        BroadcastSync(play, 2);
        media->Play();
    }
}

void CNodeSync::BroadcastSync(const SyncMediaInfo& info, int32_t actionBits) {
    // The redo began its own round for all of its records.
    m_pCore->BroadcastSyncCommand(info, actionBits, false);
}

void CNodeSync::StopAllTasks() { m_pCore->stopalltask(); }
