// Master/slave synchronisation among display servers over UDP. Slaves send a
// heartbeat to the master every 500 ms; the master keeps the list of live
// slaves, gives each new one its clock and the current media state, replays
// its media when a slave asks for it and collects acknowledgements.
//
// Datagram: a 16-bit little-endian payload length, then the payload, whose
// first byte is the command. State port (30110): 1 master's media state,
// 2 redo all synchronisation. Heartbeat port (30111): 3 heartbeat, 4 answer,
// 100 master time, 51 load and 53 update acknowledgements, 101 second
// acknowledgement.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/QuorvelApp.h"
#include "platform/event.h"
#include "platform/thread.h"

class CMediaManager;
class CServerClock;
class CSocketManager;
struct SyncMediaInfo;

// Node-sync commands (first payload byte).
enum NodeSyncCommand : uint8_t {
    kNodeSyncState = 1,
    kNodeSyncRedo = 2,
    kNodeSyncHeartbeat = 3,
    kNodeSyncAlive = 4,
    kNodeSyncLoadAck = 51,
    kNodeSyncUpdateAck = 53,
    kNodeSyncTime = 100,
    kNodeSyncSecondAck = 101,
};

// Ports, addresses and timings; tests shorten the timings and give each
// node its own loopback address.
struct NodeSyncOptions {
    // Where both endpoints bind; when not "0.0.0.0" also the source address
    // of what this node sends (several nodes on one machine).
    std::string bindAddress = "0.0.0.0";
    uint16_t statePort = 30110;
    uint16_t heartbeatPort = 30111;
    uint32_t heartbeatMs = 500;        // monitor period
    uint32_t slaveExpiryMs = 1201;     // the master drops a slave silent this long
    uint32_t masterAnswerMs = 1501;    // a slave needs an answer younger than this
    uint32_t startSettleMs = 300;      // pause after binding the endpoints
    uint32_t stopWaitMs = 1000;        // bound on joining the monitor thread
    uint32_t minAckWaitMs = 500;       // an acknowledgement wait lasts at least this
    uint32_t longAckWaitMs = 5000;     // the wait after the add and switch broadcasts and in the redo
    uint32_t redoPauseMs = 200;        // after the pause broadcast of a redo
    uint32_t redoAfterWaitMs = 100;    // before the redo resumes playing videos
};

class CNodeSync : public INodeSync {
public:
    // A null core is the process's core (GetMediaManager, taken at Start); a
    // null clock the process's server clock.
    explicit CNodeSync(CMediaManager* core = nullptr, CServerClock* clock = nullptr,
                       NodeSyncOptions options = {});
    ~CNodeSync() override;
    CNodeSync(const CNodeSync&) = delete;
    CNodeSync& operator=(const CNodeSync&) = delete;

    // Starts the monitor thread and binds both endpoints (a running node is
    // stopped first). 1 when both endpoints are bound, else 0 (the monitor
    // runs anyway, so that a later start can bind again).
    int Start() override;
    // Ends the monitor thread, the endpoints and any acknowledgement wait.
    void Stop() override;

    // One datagram (or several, for a payload longer than a receiver reads
    // at once) of the 2-byte length and the payload to address:port, through
    // a short-lived socket. The bytes sent, or -1.
    int SendTo(const std::string& address, uint16_t port, const uint8_t* payload, uint32_t length);

    // Waits until every slave has acknowledged (true), up to timeoutMs, and
    // at least the minimum acknowledgement wait in all. True at once without
    // slaves; false on time-out or stop.
    bool WaitAllSlaveNodes(uint32_t timeoutMs);
    // The same with the long wait (5,000 ms): the add-media and switch-media
    // broadcasts call it.
    bool WaitAllSlaveNodes();
    // Starts counting acknowledgements from none: call it before sending
    // what the slaves acknowledge, never after (an answer may be quicker
    // than the wait that follows).
    void BeginAcknowledgementRound();
    // Waits for handle (0) or the second acknowledgement (1) up to timeoutMs;
    // -1 on time-out. 0 at once without slaves.
    int WaitSecondAcknowledgement(platform::Event* handle, uint32_t timeoutMs);

    // Sends the media state to one slave's state port; the send result.
    int SendStateToSlave(const std::string& address);
    // Slave acknowledgements to the heartbeat port of the configured master.
    int SendLoadAcknowledgement();
    int SendUpdateAcknowledgement();

    // What the node knows now.
    std::vector<std::string> SlaveAddresses() const;
    size_t SlaveCount() const;
    bool MasterAlive() const { return m_bMasterAlive.load(); }
    bool IsRunning() const { return m_bRunning; }
    const NodeSyncOptions& Options() const { return m_options; }

    // Handles one received command (the endpoints' callback).
    void OnReceive(uint8_t command, const std::string& address, const uint8_t* data, uint32_t length);

protected:
    // Reaches of the server core, overridable for tests.
    virtual void BroadcastSync(const SyncMediaInfo& info, int32_t actionBits);
    virtual void StopAllTasks();

private:
    static void OnCommand(int socket, const char* address, int port, uint8_t command, const uint8_t* data,
                          uint32_t length, void* user);
    void MonitorLoop();
    bool SyncSwitchOn() const;
    bool IsMaster() const;
    void OnHeartbeat(const std::string& address);
    void OnAcknowledgement(const char* what);
    void OnSecondAcknowledgement();
    void ApplyMasterState(const std::string& address, const uint8_t* data, uint32_t length);
    void RedoAllSync();
    bool SleepUnlessStopped(uint32_t ms);
    bool IsSlave(const std::string& address) const;

    CMediaManager* m_pCoreGiven;
    CMediaManager* m_pCore = nullptr;
    CServerClock* m_pClock;
    NodeSyncOptions m_options;

    std::unique_ptr<CSocketManager> m_stateEndpoint;      // 30110
    std::unique_ptr<CSocketManager> m_heartbeatEndpoint;  // 30111
    mutable std::mutex m_nodeLock;
    std::map<std::string, uint32_t> m_slaves;  // address text -> last-seen tick
    std::atomic<int32_t> m_nSlaveCount{0};
    std::atomic<int32_t> m_nAckCount{0};
    platform::Event m_allAcknowledged{false, false};
    std::atomic<int32_t> m_nSecondAckCount{0};
    platform::Event m_secondAcknowledged{false, false};
    std::atomic<uint32_t> m_nMasterAnswerTick{0};
    std::atomic<bool> m_bMasterAlive{false};
    platform::Event m_stopEvent{true, false};
    platform::StoppableThread m_monitor;
    bool m_bRunning = false;
};

// The node synchronisation that the program installed (null before and in
// tests): command handlers reach it here for the acknowledgement waits and
// the slave acknowledgements.
CNodeSync* GetNodeSync();
void SetNodeSyncInstance(CNodeSync* sync);

// The master's address text that command 804 configures (the controller
// address); slaves send their heartbeats and acknowledgements there.
std::string GetControllerAddress();
void SetControllerAddress(const std::string& address);
