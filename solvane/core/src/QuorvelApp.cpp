#include "core/QuorvelApp.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/CommandEntry.h"
#include "core/MediaManager.h"
#include "core/OutputHost.h"
#include "core/SystemUtil.h"
#include "lintra/Multicast.h"
#include "lintra/NetServer.h"
#include "lintra/ServerSession.h"
#include "platform/autostart.h"
#include "platform/cnum.h"
#include "platform/inhibit.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/signals.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

constexpr const char* kInstanceName = "Quorvel_OneInstance";
constexpr const char* kAutostartName = "Quorvel";
constexpr const char* kVersion = "1.0.0.3";
constexpr uint32_t kNetworkJoinMs = 1000;

CQuorvelApp* g_app = nullptr;

void PrintInstanceMessage(const char* text, const char* caption, uint32_t) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

// Quotes one argument of a desktop entry's Exec line.
std::string DesktopQuote(const std::string& arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The machine's services with the autostart entry of this program.
class AppSystemServices final : public ISystemServices {
public:
    explicit AppSystemServices(CQuorvelApp& app) : m_app(app), m_base(LinuxSystemServices()) {}
    uint32_t IdleTimeMs() override { return m_app.m_pUserIdle ? m_app.m_pUserIdle->IdleTimeMs() : m_base.IdleTimeMs(); }
    void KeepAwake() override {
        if (m_app.m_pUserIdle)
            m_app.m_pUserIdle->KeepAwake();
        else
            m_base.KeepAwake();
    }
    bool IsAutoStart() override {
        m_app.IsAutoStart();
        return m_app.m_nAutoStart != 0;
    }
    bool SetAutoStart(bool enable) override {
        m_app.SetAutoStart(enable ? 1 : 0);
        return IsAutoStart() == enable;
    }
    bool RunRestartHelper(const std::vector<std::string>& argv) override { return m_base.RunRestartHelper(argv); }
    ProcessIdentity CurrentProcess() override { return m_base.CurrentProcess(); }
    int32_t IsNetworkAlive(uint32_t* flags) override { return m_base.IsNetworkAlive(flags); }
    std::string HostName() override { return m_base.HostName(); }
    std::string HostFirstIPv4() override { return m_base.HostFirstIPv4(); }

private:
    CQuorvelApp& m_app;
    ISystemServices& m_base;
};

void RemoveFile(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace

CQuorvelApp* AfxGetApp() { return g_app; }

namespace {

// The settings command reaches the serial central control through this.
class AppCentralControl final : public ICentralControl {
public:
    explicit AppCentralControl(CQuorvelApp& app) : m_app(app) {}
    SerialPortSettings Settings() override {
        return {m_app.m_nCentralEnable, m_app.m_nCentralPort, m_app.m_nCentralBaud,
                m_app.m_nCentralDataBits, m_app.m_nCentralParity, m_app.m_nCentralStopBits};
    }
    void SetSettings(const SerialPortSettings& s) override {
        m_app.m_nCentralEnable = s.enable;
        m_app.m_nCentralPort = s.port;
        m_app.m_nCentralBaud = s.baud;
        m_app.m_nCentralDataBits = s.dataBits;
        m_app.m_nCentralParity = s.parity;
        m_app.m_nCentralStopBits = s.stopBits;
    }
    int32_t Start() override {
        const SerialPortSettings s = Settings();
        // The serial layer logs why an open failed; it hands out no code.
        return StartCentralControl(s.port, s.baud, s.dataBits, s.stopBits, s.parity) ? 0 : 2;
    }
    void SaveSettings() override { m_app.SaveSerialPortConfig(); }

private:
    CQuorvelApp& m_app;
};

}  // namespace

CQuorvelApp::CQuorvelApp()
    : m_multicast(std::make_unique<CMulticastReceiver>()),
      m_sleepInhibitor(std::make_unique<platform::SleepInhibitor>()) {
    m_system = std::make_unique<AppSystemServices>(*this);
    m_central = std::make_unique<AppCentralControl>(*this);
    g_app = this;
}

CQuorvelApp::~CQuorvelApp() {
    m_networkThread.Stop(kNetworkJoinMs);
    m_keepAwakeThread.Stop(kNetworkJoinMs);
    m_multicast.reset();
    if (g_app == this) g_app = nullptr;
}

std::string CQuorvelApp::AutostartCommand() const {
    std::string command = DesktopQuote(m_strProgramPath);
    if (!m_strBaseOverride.empty()) command += " --base-dir " + DesktopQuote(m_strBaseOverride);
    return command;
}

void CQuorvelApp::IsAutoStart() {
    m_nAutoStart = 0;
    if (platform::IsAutostartEntry(kAutostartName, AutostartCommand())) m_nAutoStart = 1;
}

void CQuorvelApp::SetAutoStart(int enable) {
    if (!platform::SetAutostartEntry(kAutostartName, AutostartCommand(), enable != 0))
        LOGTEXT::LogError("autostart entry could not be %s", enable ? "written" : "removed");
    m_nAutoStart = enable;
}

void CQuorvelApp::LoadSerialPortConfig() {
    const char* f = m_strConfigPath.c_str();
    m_nCentralEnable = platform::GetPrivateProfileInt("SerialPort", "Enable", 0, f);
    m_nCentralPort = platform::GetPrivateProfileInt("SerialPort", "Port", 1, f);
    m_nCentralBaud = platform::GetPrivateProfileInt("SerialPort", "Baud", 9600, f);
    m_nCentralDataBits = platform::GetPrivateProfileInt("SerialPort", "Databits", 8, f);
    m_nCentralStopBits = platform::GetPrivateProfileInt("SerialPort", "Stopbits", 0, f);
    m_nCentralParity = platform::GetPrivateProfileInt("SerialPort", "Parity", 0, f);
}

void CQuorvelApp::SaveSerialPortConfig() {
    const char* f = m_strConfigPath.c_str();
    const auto put = [f](const char* key, int v) {
        platform::WritePrivateProfileString("SerialPort", key, platform::FormatC("%d", v).c_str(), f);
    };
    put("Enable", m_nCentralEnable);
    put("Port", m_nCentralPort);
    put("Baud", m_nCentralBaud);
    put("Databits", m_nCentralDataBits);
    put("Stopbits", m_nCentralStopBits);
    put("Parity", m_nCentralParity);
}

int CQuorvelApp::RestartMulticast(const std::string& group, unsigned port) {
    // A command's worker may ask after the shutdown stopped the receiver:
    // it stays stopped.
    if (m_stopEvent.IsSet()) return 0;
    m_multicast->StopListen();
    if (m_stopEvent.Wait(300)) return 0;
    m_multicast->SetCallback(&OnMulticastData);
    return m_multicast->StartListen(group.c_str(), port);
}

// ---- start-up and shutdown ----

int CQuorvelApp::InitInstance(int argc, char** argv, IOutputHost& host) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--base-dir" && i + 1 < argc) {
            m_strBaseOverride = argv[++i];
        } else if (arg.rfind("--base-dir=", 0) == 0) {
            m_strBaseOverride = arg.substr(11);
        } else {
            std::fprintf(stderr, "usage: %s [--base-dir DIR]\n", argc > 0 ? argv[0] : "solvane");
            return 2;
        }
    }
    if (!m_strBaseOverride.empty()) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(m_strBaseOverride, ec);
        if (!ec) m_strBaseOverride = absolute.lexically_normal().string();
    }

    platform::IgnoreSigpipe();
    // Termination signals become the quit request of the render loop.
    platform::QuitSignalWatcher quitSignals;
    quitSignals.Start([&host](int) { host.Window().RequestQuit(); });

    platform::SetBaseFolder(platform::ResolveBaseFolder("solvane", m_strBaseOverride));
    m_strProgramPath = LinuxSystemServices().CurrentProcess().executable;

    bool busy = false;
    if (!m_instance.Acquire(kInstanceName, &busy)) {
        if (busy) {
            (m_instanceMessage ? m_instanceMessage : &PrintInstanceMessage)("此程序已经被启动！请查看托盘！",
                                                                            "运行错误", 5000);
            return 1;
        }
        std::fprintf(stderr, "single-instance check unavailable; starting anyway\n");
    }

    FirewallInitialize(&m_pFirewall);
    FirewallAddThisProgram(m_pFirewall);
    FirewallOpenPort(m_pFirewall, "ZorezeVaduzovorIziva", 30600);
    FirewallOpenPort(m_pFirewall, "DovureRedizozevUzevaZire", 30400);
    FirewallOpenPort(m_pFirewall, "VuzizaVuzo1", 30100);
    FirewallOpenPort(m_pFirewall, "ReruroZuda2", 30101);

    BuildCrashDumpFile();
    LOGTEXT::Setpath(nullptr);
    LOGTEXT::LogInfo("****************程序启动.%s位. 版本=%s.***************", sizeof(void*) == 8 ? "64" : "32",
                     kVersion);

    m_strConfigPath = platform::JoinPath(platform::BaseFolder(), "mediacfg.ini");
    // The core is made here, with the program's base folder and services, so
    // that every thread below finds it ready.
    CMediaManager* core = GetMediaManager();
    core->SetServices({&host.Window(), host.MediaFactory(), nullptr, m_system.get()});
    core->SetCentralControl(m_central.get());

    SetServerHostName(core->System().HostName());
    // USB adapters are reached through the configuration's COM table.
    LoadSerialDeviceMap(platform::JoinPath(platform::BaseFolder(), "mediacfg.ini"));
    m_nSerialPortCount = EnumSerialPorts(m_serialPorts);

    char temp[260] = {};
    AESOPER::GetTempFilePath(temp, sizeof temp);
    m_strTempBase = temp;
    m_strCgPath = m_strTempBase + ".cg";
    m_strCgPath2 = m_strTempBase + "_ad" + ".cg";
    if (m_strTempBase.empty() || !WriteResourceToFile(136, m_strCgPath2.c_str()) ||
        !WriteResourceToFile(135, m_strCgPath.c_str())) {
        LOGTEXT::LogInfo("加载数据文件失败！");
        LOGTEXT::LogInfo("程序终止");
        RemoveFile(m_strCgPath2);
        RemoveFile(m_strCgPath);
        RemoveFile(m_strTempBase);
        FirewallCleanup(&m_pFirewall);
        DestroyMediaManager();
        return 1;
    }

    IsAutoStart();

    LoadSerialPortConfig();
    if (m_nCentralEnable != 0 &&
        !StartCentralControl(m_nCentralPort, m_nCentralBaud, m_nCentralDataBits, m_nCentralStopBits,
                             m_nCentralParity)) {
        LOGTEXT::LogDebug("start serial failed.port=%d,baud=%d,databit=%d,stopbits=%d,pairty=%d", m_nCentralPort,
                          m_nCentralBaud, m_nCentralDataBits, m_nCentralStopBits, m_nCentralParity);
    }

    ApplyScreenPowerOption(core->ScreenPowerOption());
    m_keepAwakeThread.Start([this](platform::StoppableThread&) { KeepAwakeThread(this); }, "keep awake");

    int exitCode = 0;
    if (host.CreateOutputWindow()) exitCode = host.RunRenderLoop();

    Shutdown();
    quitSignals.Stop();
    return exitCode;
}

void CQuorvelApp::Shutdown() {
    m_stopEvent.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RemoveFile(m_strCgPath);
    RemoveFile(m_strCgPath2);
    RemoveFile(m_strTempBase);
    m_multicast->StopListen();
    // The network thread ends the command listeners, and with them every
    // command; it misses its wait when a command hangs (the watchdog's
    // restart comes that way).
    const bool networkEnded =
        m_networkThread.Join(kNetworkJoinMs, "network thread did not end in time; left behind");
    const bool keepAwakeEnded =
        m_keepAwakeThread.Join(kNetworkJoinMs, "keep-awake thread did not end in time; left behind");
    // Serial commands reach the core: no more of them once it goes away.
    const bool serialEnded = StopCentralControl();
    m_instance.Release();
    m_sleepInhibitor->Release();
    LOGTEXT::LogInfo("程序结束");
    FirewallCleanup(&m_pFirewall);
    if (m_pNodeSync) m_pNodeSync->Stop();
    // A thread left behind may still be inside the core: the core stays
    // for the little time the process has left rather than vanish under it.
    if (networkEnded && keepAwakeEnded && serialEnded)
        DestroyMediaManager();
    else
        LOGTEXT::LogError("a thread still runs in the server core at exit; the core is left in place");
}

// ---- threads ----

void CQuorvelApp::ApplyScreenPowerOption(int option) {
    m_nScreenPowerOption = option;
    LOGTEXT::LogInfo("screen power option=%d", option);
    if ((option & 1) && m_pUserIdle) m_pUserIdle->SuppressScreenSaver();
    // Bit 1 is taken on the keep-awake thread: asking the system bus may
    // take a while and must not hold up the start.
}

uint32_t KeepAwakeThread(CQuorvelApp* app) {
    if (app->m_nScreenPowerOption & 2) {
        std::string error;
        if (!app->m_sleepInhibitor->Acquire("sleep:idle", "solvane", "display wall showing", &error))
            LOGTEXT::LogInfo("system sleep not held off (no logind): %s", error.c_str());
    }
    // Only bit 0 keeps the screens on; without it the screen saver and
    // power-off follow the desktop's own settings.
    while (!app->m_stopEvent.Wait(app->m_nKeepAwakeMs))
        if (app->m_nScreenPowerOption & 1) GetMediaManager()->System().KeepAwake();
    return 0;
}

void StartNetworkListenThread() {
    CQuorvelApp* app = AfxGetApp();
    if (!app) return;
    app->m_networkThread.Start([app](platform::StoppableThread&) { NetworkListenThread(app); }, "network");
}

uint32_t NetworkListenThread(CQuorvelApp* app) {
    const uint32_t startTick = platform::GetTickCount();
    CServerSession session;
    CMediaManager* core = GetMediaManager();
    ISystemServices& system = core->System();

    uint32_t lastFlags = 0;
    int32_t lastAlive = system.IsNetworkAlive(&lastFlags);
    LOGTEXT::LogDebug("network alive =%d. flags=%d", lastAlive, static_cast<int>(lastFlags));
    SetServerIpText(system.HostFirstIPv4());

    void* server = NET_SERVER::StartServer(static_cast<int>(app->m_nProtocolPort));
    if (server) NET_SERVER::SetDataRecvCallback(server, &OnProtocolData, nullptr);
    session.SetDataReceiverCallback(&OnUserCommand);
    int listenersReady = session.StartListen(app->m_nUserPort) & 1;
    if (lastAlive) listenersReady &= app->RestartMulticast(core->m_strMulticastIp, static_cast<unsigned>(core->m_nMulticastPort));
    if (app->m_pNodeSync) app->m_pNodeSync->Start();
    LOGTEXT::LogInfo("protocol port=%d,user port=%d", static_cast<int>(app->m_nProtocolPort),
                     static_cast<int>(app->m_nUserPort));

    bool restartNeeded = false;
    bool stopped = false;
    while (platform::TickDiff(platform::GetTickCount(), startTick) < app->m_nSelfRestartMs) {
        if (app->m_stopEvent.Wait(app->m_nNetCheckMs)) {
            LOGTEXT::LogDebug("log net check signaled");
            stopped = true;
            break;
        }
        uint32_t flags = 0;
        const int32_t alive = system.IsNetworkAlive(&flags);
        if (alive != lastAlive && flags != lastFlags) {
            if (alive) {
                restartNeeded = true;
                listenersReady = 0;
            }
            SetServerIpText(system.HostFirstIPv4());
            lastAlive = alive;
            lastFlags = flags;
            LOGTEXT::LogDebug("network alive =%d. flags=%d", alive, static_cast<int>(flags));
        }
        if (!restartNeeded) continue;
        if (listenersReady) {
            restartNeeded = false;
            continue;
        }
        session.StopListen();
        if (server) NET_SERVER::StopServer(server);
        server = nullptr;
        app->m_multicast->StopListen();
        // Waits on the stop event so that a shutdown is not held up.
        if (app->m_stopEvent.Wait(app->m_nListenerRestartPauseMs)) {
            stopped = true;
            break;
        }
        server = NET_SERVER::StartServer(static_cast<int>(app->m_nProtocolPort));
        if (server) NET_SERVER::SetDataRecvCallback(server, &OnProtocolData, nullptr);
        const int commandReady = server != nullptr;
        const int userReady = session.StartListen(app->m_nUserPort) & 1;
        const int multicastReady =
            app->RestartMulticast(core->m_strMulticastIp, static_cast<unsigned>(core->m_nMulticastPort));
        listenersReady = commandReady && userReady && multicastReady;
        if (app->m_pNodeSync) app->m_pNodeSync->Start();
        SetServerIpText(system.HostFirstIPv4());
        if (listenersReady) {
            restartNeeded = false;
            LOGTEXT::LogInfo("重新 启动网络监听 成功");
        } else {
            LOGTEXT::LogInfo("重新 启动网络监听 失败");
        }
    }
    if (!stopped) {
        LOGTEXT::LogDebug("restart by time");
        RestartSelf(core);
    }

    if (server) NET_SERVER::StopServer(server);
    session.StopListen();
    if (app->m_pNodeSync) app->m_pNodeSync->Stop();
    app->m_multicast->StopListen();
    return 0;
}
