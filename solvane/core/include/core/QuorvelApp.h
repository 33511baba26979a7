// The display server's application object: start-up in order (single
// instance, firewall, logging, resource texts, central control, keep-awake,
// output window and render loop), the network thread that owns the
// listeners, and the shutdown.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Seams.h"
#include "platform/event.h"
#include "platform/instance.h"
#include "platform/thread.h"

class IOutputHost;
namespace platform {
class SleepInhibitor;
}
class CMulticastReceiver;
struct FirewallProfile;

// Master/slave synchronisation among servers, started and stopped by the
// network thread and the shutdown.
class INodeSync {
public:
    virtual ~INodeSync() = default;
    virtual int Start() = 0;
    virtual void Stop() = 0;
};

// The user's input idle time and the keep-awake of the display the server
// runs on. The program installs the one of its display; without it the idle
// time is 0 and keep-awake does nothing. Called from the idle-cursor and
// keep-awake threads.
class IUserIdle {
public:
    virtual ~IUserIdle() = default;
    virtual uint32_t IdleTimeMs() = 0;
    virtual void KeepAwake() = 0;
    // Screen saver and monitor power-off held off while the server runs.
    virtual void SuppressScreenSaver() {}
};

// Shows the second-start message: a box that closes after timeoutMs where
// there is a display, else a line on standard error.
using InstanceMessageFn = void (*)(const char* text, const char* caption, uint32_t timeoutMs);

class CQuorvelApp {
public:
    CQuorvelApp();
    ~CQuorvelApp();
    CQuorvelApp(const CQuorvelApp&) = delete;
    CQuorvelApp& operator=(const CQuorvelApp&) = delete;

    // The whole life of the server; returns the process exit code (the
    // render loop's after a shutdown, 0 when all went well; 1 when another
    // server runs or start-up failed; 2 for a bad command line). Options:
    // --base-dir DIR.
    int InitInstance(int argc, char** argv, IOutputHost& host);

    void SetInstanceMessage(InstanceMessageFn fn) { m_instanceMessage = fn; }
    void SetNodeSync(INodeSync* sync) { m_pNodeSync = sync; }
    // Install before InitInstance; the object must outlive it.
    void SetUserIdle(IUserIdle* idle) { m_pUserIdle = idle; }

    void IsAutoStart();
    void SetAutoStart(int enable);
    void LoadSerialPortConfig();
    void SaveSerialPortConfig();
    // Stop the receiver, wait 300 ms (or until stop), install the command
    // callback, join the group; the receiver's start result.
    int RestartMulticast(const std::string& group, unsigned port);
    // The command that the autostart entry runs.
    std::string AutostartCommand() const;

    // ---- fields ----
    uint32_t m_nProtocolPort = 30100;
    uint32_t m_nUserPort = 30101;
    std::string m_strConfigPath;
    int m_nAutoStart = 0;
    std::string m_strCgPath;
    std::string m_strCgPath2;
    std::string m_strTempBase;          // the reserved temp name the two paths derive from
    int m_nCentralEnable = 0;
    int m_nCentralPort = 1;
    int m_nCentralBaud = 9600;
    int m_nCentralDataBits = 8;
    int m_nCentralParity = 0;
    int m_nCentralStopBits = 0;
    std::unique_ptr<CMulticastReceiver> m_multicast;
    uint8_t m_serialPorts[256] = {};
    int m_nSerialPortCount = 0;
    platform::Event m_stopEvent{true, false};
    platform::StoppableThread m_networkThread;
    platform::StoppableThread m_keepAwakeThread;
    INodeSync* m_pNodeSync = nullptr;
    IUserIdle* m_pUserIdle = nullptr;

    // Timings of the network thread (ms).
    uint32_t m_nNetCheckMs = 2000;
    uint32_t m_nListenerRestartPauseMs = 5000;
    uint32_t m_nSelfRestartMs = 3600000;
    uint32_t m_nKeepAwakeMs = 50000;
    int m_nScreenPowerOption = 3;

private:
    void Shutdown();
    // [ScreenPowerOption] Option: bit 0 keeps the screens on, bit 1 keeps
    // the system from sleeping (a logind inhibitor).
    void ApplyScreenPowerOption(int option);

    std::string m_strProgramPath;
    std::string m_strBaseOverride;
    platform::SingleInstance m_instance;
    FirewallProfile* m_pFirewall = nullptr;
    InstanceMessageFn m_instanceMessage = nullptr;
    std::unique_ptr<ISystemServices> m_system;
    std::unique_ptr<ICentralControl> m_central;
    friend uint32_t KeepAwakeThread(CQuorvelApp* app);
    std::unique_ptr<platform::SleepInhibitor> m_sleepInhibitor;
};

// The one application object (set by its constructor).
CQuorvelApp* AfxGetApp();

uint32_t NetworkListenThread(CQuorvelApp* app);
uint32_t KeepAwakeThread(CQuorvelApp* app);
// Starts the network thread of the application object.
void StartNetworkListenThread();
