#include "core/MediaManager.h"
#include "core/MediaFiles.h"
#include "core/TaskPlanFile.h"

#include <algorithm>
#include <filesystem>
#include <cmath>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel/ChannelLayout.h"
#include "hesper/Hesper.h"
#include "platform/cnum.h"
#include "platform/fileio.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "util/Util.h"

namespace {

constexpr uint32_t kTextBuffer = 260;

// Four dotted decimal numbers to the address as it lies in memory (network
// byte order); 0 when the text is not an address.
uint32_t DottedToU32(const std::string& text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return 0;
    if (a > 255 || b > 255 || c > 255 || d > 255) return 0;
    const uint8_t bytes[4] = {uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
}

}  // namespace

int g_nSyncTimePort = 0;
int g_bCaptureDesktopCursor = 1;

namespace {
std::mutex g_globalTextLock;
std::string g_strSyncTimeIp;
std::string g_strHostName;
std::string g_strServerIp;
std::atomic<CMediaManager*> g_core{nullptr};
}  // namespace

std::string GetSyncTimeIp() {
    std::lock_guard lock(g_globalTextLock);
    return g_strSyncTimeIp;
}
void SetSyncTimeIp(const std::string& ip) {
    std::lock_guard lock(g_globalTextLock);
    g_strSyncTimeIp = ip;
}
std::string GetServerHostName() {
    std::lock_guard lock(g_globalTextLock);
    return g_strHostName;
}
void SetServerHostName(const std::string& name) {
    std::lock_guard lock(g_globalTextLock);
    g_strHostName = name;
}
std::string GetServerIpText() {
    std::lock_guard lock(g_globalTextLock);
    return g_strServerIp;
}
void SetServerIpText(const std::string& ip) {
    {
        std::lock_guard lock(g_globalTextLock);
        g_strServerIp = ip;
    }
    // The idle screen shows the address the others reach this server on.
    if (CMediaManager* core = g_core.load()) core->RefreshInfoText();
}

// ---- construction ----

CMediaManager::CMediaManager() : CMediaManager(platform::BaseFolder()) {}

CMediaManager::CMediaManager(const std::string& programFolder) : m_ownedLayout(std::make_unique<CChannelLayout>()) {
    m_pChannelLayout = m_ownedLayout.get();
    SetServices({});
    SetCentralControl(nullptr);
    InitPaths(programFolder);
    m_strChannelLayoutFile = platform::JoinPath(m_strProgramFolder, LoadChannelSetting());
}

void CMediaManager::InitPaths(const std::string& programFolder) {
    m_strProgramFolder = programFolder;
    m_strMediaListPath = platform::JoinPath(programFolder, "media.bak");
    m_strPlaylistPath = platform::JoinPath(programFolder, "playlist.dat");
    m_strConfigPath = platform::JoinPath(programFolder, "mediacfg.ini");
    m_strTaskListPath = platform::JoinPath(programFolder, "taskp.dat");
    static const char* const kPatterns[] = {"red_green_blue_h.jpg", "red_green_blue_v.jpg", "black_white_h.jpg",
                                            "black_white_v.jpg",    "black.jpg",            "white.jpg"};
    m_testPatterns.clear();
    for (const char* name : kPatterns)
        m_testPatterns.push_back(platform::JoinPath(platform::JoinPath(programFolder, "Image"), name));
}

CMediaManager::~CMediaManager() {
    m_quitEvent.Set();
    StopTimelinePlayThread();
    stopalltask();
    JoinSyncWorkers();
    // These threads end on the quit event and use the core until then, so
    // they are joined, never left running behind a deleted core.
    m_watchdogThread.Join();
    m_timeSyncThread.Join();
    m_idleCursorThread.Join();
    {
        std::lock_guard lock(m_csMedia);
        for (IMedia* m : m_mediaList) DestroyMediaObject(m);
        m_mediaList.clear();
        for (IMedia** embedded : {&m_pBackground, &m_pDefaultBackground, &m_pDesktopCapture, &m_pMatting}) {
            DestroyMediaObject(*embedded);
            *embedded = nullptr;
        }
    }
    std::lock_guard lock(m_csCurrentVideo);
    m_pCurrentVideo = nullptr;
}

void CMediaManager::SetServices(const CoreServices& services) {
    m_services.output = services.output ? services.output : &NullOutputWindow();
    m_services.media = services.media ? services.media : &NullMediaFactory();
    m_services.displays = services.displays ? services.displays : &BackendDisplayList();
    m_services.system = services.system ? services.system : &LinuxSystemServices();
}

void CMediaManager::SetCentralControl(ICentralControl* central) {
    m_pCentral = central ? central : &NullCentralControl();
}

// ---- singleton ----


CMediaManager* GetMediaManager() {
    CMediaManager* core = g_core.load();
    if (core) return core;
    // The first call comes from the main thread before other threads exist;
    // the exchange only keeps a late racer from leaking a second core.
    auto* fresh = new CMediaManager();
    CMediaManager* expected = nullptr;
    if (g_core.compare_exchange_strong(expected, fresh)) return fresh;
    delete fresh;
    return expected;
}

void DestroyMediaManager() { delete g_core.exchange(nullptr); }

// ---- mediacfg.ini ----

namespace {

struct Ini {
    const std::string& file;
    int Int(const char* section, const char* key, int def) const {
        return platform::GetPrivateProfileInt(section, key, def, file.c_str());
    }
    std::string Text(const char* section, const char* key, const char* def) const {
        char buf[kTextBuffer];
        platform::GetPrivateProfileString(section, key, def, buf, sizeof buf, file.c_str());
        return buf;
    }
    // Any text may stand in the file: values far out of range (1e10 seconds)
    // would convert to int or float undefined, and NaN compares false.
    double Real(const char* section, const char* key, const char* def) const {
        const double v = platform::AtofC(Text(section, key, def).c_str());
        if (std::isnan(v)) return platform::AtofC(def);
        return std::clamp(v, -kRealLimit, kRealLimit);
    }
    static constexpr double kRealLimit = 1e6;
    void PutInt(const char* section, const char* key, int v) const {
        platform::WritePrivateProfileString(section, key, platform::FormatC("%d", v).c_str(), file.c_str());
    }
    void PutReal(const char* section, const char* key, double v) const {
        platform::WritePrivateProfileString(section, key, platform::FormatC("%f", v).c_str(), file.c_str());
    }
    void PutText(const char* section, const char* key, const std::string& v) const {
        platform::WritePrivateProfileString(section, key, v.c_str(), file.c_str());
    }
};

}  // namespace

void CMediaManager::LoadConfig() {
    const Ini ini{m_strConfigPath};
    m_nSyncMediaEnable = ini.Int("SyncMedia", "Enable", 0);
    m_strMulticastIp = ini.Text("SyncMedia", "MulticastIp", "226.10.60.10");
    m_nMulticastPort = ini.Int("SyncMedia", "MulticastPort", 30400);
    {
        std::lock_guard lock(m_textLock);
        m_strLocalIp = ini.Text("SyncMedia", "LocalIp", "");
    }
    m_dCompensation = ini.Real("SyncMedia", "Compensation", "0.8");
    // Seconds in the file, whole milliseconds in memory (truncated).
    m_nSyncTime = static_cast<int>(ini.Real("SyncMedia", "SyncTime", "5.0") * 1000.0);
    m_nDisTime = ini.Int("SyncMedia", "DisTime", 80);
    m_nEnableFrameSync = ini.Int("SyncMedia", "EnableFrameSync", 0);
    m_strMediaFolder = ini.Text("Setting", "MediaFolder", platform::JoinPath(m_strProgramFolder, "media").c_str());
    m_strMediaRoot = ini.Text("Setting", "MediaRoot", m_strProgramFolder.c_str());
    m_nAutoPlay = ini.Int("Setting", "AutoPlay", 0);
    m_nLoopMedia = ini.Int("Setting", "LoopMedia", 0);
    m_nUseBackgroundBmp = ini.Int("Setting", "UseBackgroundBmp", 1);
    m_strBmpFilePath = ini.Text("Setting", "BmpFilePath",
                                platform::JoinPath(m_strProgramFolder, "image/background.jpg").c_str());
    m_nDisplayBackgroundIfNoVideo = ini.Int("Setting", "DisplayBackgroundIfNoVideo", 1);
    m_nShowMatting = ini.Int("Setting", "ShowMatting", 0);
    m_strMediaVideoExtension = ini.Text("Setting", "MediaVideoExtension",
                                        "*.avi|*.rmvb|*.mpg|*.mp4|*.mov|*.wmv|*.rm|*.ts|*.mpeg|*.mkv");
    m_nRotationAngle = ini.Int("MediaOption", "RotationAngle", 0);
    m_strRotationCondition = ini.Text("MediaOption", "RotationCondition", "*.mp4|*.mov");
    m_nEnableRotation = ini.Int("MediaOption", "EnableRotation", 0);
    m_nTopmostWindow = ini.Int("Setting", "TopmostWindow", 1);
    m_nAutoHideCursor = ini.Int("Setting", "AutoHideCursor", 1);
    m_nSyncTimeEnable = ini.Int("SyncTime", "Enable", 1);
    m_nSyncTimeInterval = ini.Int("SyncTime", "Interval", 360);
    g_nSyncTimePort = ini.Int("SyncMedia", "SyncTimePort", 0);
    SetSyncTimeIp(ini.Text("SyncMedia", "SyncTimeIp", ""));
    g_bCaptureDesktopCursor = ini.Int("Setting", "CaptureDesktopCursor", 1);
    m_nEnableStereo = ini.Int("VideoOption", "EnableStereo", 0);
    m_nVideoType = ini.Int("VideoOption", "VideoType", 0);
    m_nVideo3DFormat = ini.Int("VideoOption", "Video3DFormat", 0);
    m_nVerticalSync = ini.Int("VideoOption", "VerticalSync", 0);
    m_nDefaultVolume = ini.Int("VideoOption", "DefaultVolume", 90);
    m_strAudioDevice = ini.Text("VideoOption", "AudioDevice", "default");
    m_nCaptureEnabled = ini.Int("VideoOption", "EnableCapture", 1);
    m_nStartupMediaType = ini.Int("StartupLoadMedia", "MediaType", 0);
    m_nStartupLoadEnable = ini.Int("StartupLoadMedia", "Enable", 0);
    m_strStartupVideoPath = ini.Text("StartupLoadMedia", "VideoPath", "");
    m_strStartupDesktopName = ini.Text("StartupLoadMedia", "DesktopName", "");
    m_nLimitMainDisplay = ini.Int("MouseRange", "LimitMainDisplay", 0);
    ini.PutInt("MouseRange", "LimitMainDisplay", m_nLimitMainDisplay);
    m_nDisplayFrame = ini.Int("Debug", "DisplayFrame", 0);
    m_nWaitFreezeTime = ini.Int("Debug", "WaitFreezeTime", 15000);
    LoadGlobalTrim();
}

void CMediaManager::LoadGlobalTrim() {
    const Ini ini{m_strConfigPath};
    m_fGlobalTrimLeft = static_cast<float>(ini.Real("GlobalTrim", "Left", "1.0"));
    m_fGlobalTrimRight = static_cast<float>(ini.Real("GlobalTrim", "Right", "1.0"));
    m_fGlobalTrimTop = static_cast<float>(ini.Real("GlobalTrim", "Top", "1.0"));
    m_fGlobalTrimBottom = static_cast<float>(ini.Real("GlobalTrim", "Bottom", "1.0"));
}

void CMediaManager::SaveGlobalTrim() {
    const Ini ini{m_strConfigPath};
    ini.PutReal("GlobalTrim", "Left", m_fGlobalTrimLeft);
    ini.PutReal("GlobalTrim", "Right", m_fGlobalTrimRight);
    ini.PutReal("GlobalTrim", "Top", m_fGlobalTrimTop);
    ini.PutReal("GlobalTrim", "Bottom", m_fGlobalTrimBottom);
}

void CMediaManager::SaveSyncConfig() {
    const Ini ini{m_strConfigPath};
    ini.PutInt("SyncMedia", "Enable", m_nSyncMediaEnable);
    ini.PutInt("SyncMedia", "MainServer", m_nMainServer);
    ini.PutText("SyncMedia", "MulticastIp", m_strMulticastIp);
    ini.PutInt("SyncMedia", "MulticastPort", m_nMulticastPort);
    ini.PutInt("SyncMedia", "SyncTimePort", g_nSyncTimePort);
    ini.PutText("SyncMedia", "SyncTimeIp", GetSyncTimeIp());
}

void CMediaManager::SaveSettings() {
    SaveSyncConfig();
    SaveGlobalTrim();
    const Ini ini{m_strConfigPath};
    ini.PutText("Setting", "MediaFolder", m_strMediaFolder);
    ini.PutInt("Setting", "AutoPlay", m_nAutoPlay);
    ini.PutInt("Setting", "LoopMedia", m_nLoopMedia);
    ini.PutInt("Setting", "UseBackgroundBmp", m_nUseBackgroundBmp);
    ini.PutText("Setting", "BmpFilePath", m_strBmpFilePath);
    ini.PutInt("Setting", "DisplayBackgroundIfNoVideo", m_nDisplayBackgroundIfNoVideo);
    ini.PutText("Setting", "MediaVideoExtension", m_strMediaVideoExtension);
    ini.PutInt("MediaOption", "RotationAngle", m_nRotationAngle);
    ini.PutText("MediaOption", "RotationCondition", m_strRotationCondition);
    ini.PutInt("MediaOption", "EnableRotation", m_nEnableRotation);
    ini.PutInt("Setting", "TopmostWindow", m_nTopmostWindow);
    ini.PutInt("Setting", "AutoHideCursor", m_nAutoHideCursor);
    ini.PutInt("VideoOption", "VideoType", m_nVideoType);
    ini.PutInt("VideoOption", "Video3DFormat", m_nVideo3DFormat);
    ini.PutInt("VideoOption", "EnableStereo", m_nEnableStereo);
    ini.PutInt("VideoOption", "VerticalSync", m_nVerticalSync);
    ini.PutText("VideoOption", "AudioDevice", m_strAudioDevice);
    ini.PutInt("VideoOption", "EnableCapture", m_nCaptureEnabled);
    ini.PutInt("StartupLoadMedia", "MediaType", m_nStartupMediaType);
    ini.PutInt("StartupLoadMedia", "Enable", m_nStartupLoadEnable);
    ini.PutText("StartupLoadMedia", "VideoPath", m_strStartupVideoPath);
    ini.PutText("StartupLoadMedia", "DesktopName", m_strStartupDesktopName);
}

std::string CMediaManager::LoadChannelSetting() {
    return Ini{m_strConfigPath}.Text("ChannelSetting", "DefaultConfigFile", "default.cfg");
}

void CMediaManager::SaveChannelSetting(const std::string& name) {
    Ini{m_strConfigPath}.PutText("ChannelSetting", "DefaultConfigFile", name);
}

void CMediaManager::MediaSize(int load) {
    const Ini ini{m_strConfigPath};
    if (load) {
        m_nMediaWidth = ini.Int("MediaSize", "WidthPort", 1024);
        m_nMediaHeight = ini.Int("MediaSize", "HeightPort", 768);
    } else {
        ini.PutInt("MediaSize", "WidthPort", m_nMediaWidth);
        ini.PutInt("MediaSize", "HeightPort", m_nMediaHeight);
    }
}

int CMediaManager::ScreenPowerOption() { return Ini{m_strConfigPath}.Int("ScreenPowerOption", "Option", 3); }

// ---- media ----

uint32_t CMediaManager::RegisterMedia(IMedia* media) {
    if (!media) return 0;
    std::lock_guard lock(m_handleLock);
    if (media->Common().handle != 0 && m_handles.count(media->Common().handle)) return media->Common().handle;
    // Handles only grow: a handle that named a destroyed object never names
    // another one. Running out (after 2^32 - 1 loads) gives 0, no handle.
    if (m_nextHandle == 0) return 0;
    const uint32_t handle = m_nextHandle++;
    m_handles[handle] = media;
    media->Common().handle = handle;
    return handle;
}

IMedia* CMediaManager::FindMediaByHandle(uint32_t handle) {
    std::lock_guard lock(m_handleLock);
    auto it = m_handles.find(handle);
    return it == m_handles.end() ? nullptr : it->second;
}

void CMediaManager::ReleaseMediaHandle(uint32_t handle) {
    std::lock_guard lock(m_handleLock);
    m_handles.erase(handle);
}

void CMediaManager::DestroyMediaObject(IMedia* media) {
    if (!media) return;
    ReleaseMediaHandle(media->Common().handle);
    delete media;
}

IMedia* CMediaManager::LoadMedia(int type, const std::string& name, const std::string* deviceName) {
    LOGTEXT::LogInfo("loadmedia. media=%s,type=%d", name.c_str(), type);
    int typeBit = 0;
    bool mayLoad = false;
    switch (type) {
    case kMediaFileVideo:
        typeBit = 1;
        // A device or FIFO would block the decoder under the command lock.
        mayLoad = platform::RegularFileExists(name);
        break;
    case kMediaPicture:
        typeBit = 2;
        mayLoad = platform::RegularFileExists(name);
        break;
    case kMediaScreenCapture:
        typeBit = 4;
        mayLoad = true;
        break;
    case kMediaCapture:
        typeBit = 8;
        mayLoad = m_nCaptureEnabled != 0 && deviceName != nullptr;
        break;
    default:
        break;
    }
    const int stereo = (m_nEnableStereo != 0 && (m_nVideoType & typeBit) != 0) ? m_nVideo3DFormat : -1;

    IMedia* result = nullptr;
    if (mayLoad) {
        int32_t layer;
        {
            std::lock_guard lock(m_csMedia);
            layer = static_cast<int32_t>(m_mediaList.size());
        }
        std::unique_ptr<IMedia> media = MediaFactory().CreateMedia(type);
        if (media && media->LoadResource(name, layer, 0, stereo)) {
            if (type == kMediaFileVideo) {
                media->SetNotifyWindow(&Output());
                media->SetVolume(m_nDefaultVolume);
            }
            if (type == kMediaCapture) {
                media->Common().name = *deviceName;
                // The number the list files store for the device.
                media->Common().deviceRef = static_cast<uint8_t>(std::atoi(deviceName->c_str()));
                media->Play();
            }
            result = media.release();
            RegisterMedia(result);
        }
        // A media whose load failed is destroyed with the unique_ptr.
    }
    LOGTEXT::LogInfo("loadmedia. result = %d", result ? static_cast<int>(result->Common().handle) : 0);
    return result;
}

void CMediaManager::FillMediaStatusRecord(uint32_t command, IMedia* media, tagNETHEAD& head) {
    head = tagNETHEAD{};
    head.command = command;
    head.intParam[0] = static_cast<int32_t>(DottedToU32(OwnIpText()));
    head.intParam[2] = 2;
    // The show-cluster name lies from byte 92 on: at most 30 bytes and a NUL.
    char cluster[31];
    platform::StoreGbkField(cluster, sizeof cluster, ShowClusterName());
    std::memcpy(reinterpret_cast<uint8_t*>(&head) + 92, cluster, sizeof cluster);
    if (!media) {
        head.intParam[3] = 0;
        return;
    }
    head.intParam[3] = 1;
    uint32_t clockMs = 0;
    if (!media->ClockTimeMs(clockMs)) clockMs = 0;
    head.intParam[4] = static_cast<int32_t>(clockMs);
    head.realParam[0] = media->Common().startTime;
    head.realParam[1] = media->Common().endTime;
    const std::string fileName(platform::LastComponent(media->Common().name));
    platform::StoreGbkField(head.textParam, sizeof head.textParam, fileName);
}

std::string CMediaManager::OwnAddressText() {
    {
        std::lock_guard lock(m_textLock);
        if (!m_strLocalIp.empty()) return m_strLocalIp;
    }
    return GetServerIpText();
}

std::string CMediaManager::OwnIpText() {
    std::lock_guard lock(m_textLock);
    return m_strLocalIp.empty() ? m_strOwnIp : m_strLocalIp;
}

void CMediaManager::RefreshInfoText() { m_render.SetInfoText(OwnAddressText()); }

void CMediaManager::SetOwnIpText(const std::string& ip) {
    std::lock_guard lock(m_textLock);
    m_strOwnIp = ip;
}

std::string CMediaManager::ShowClusterName() {
    std::lock_guard lock(m_textLock);
    return m_strShowCluster;
}

void CMediaManager::SetShowClusterName(const std::string& name) {
    std::lock_guard lock(m_textLock);
    m_strShowCluster = name;
}

// ---- initialisation ----

void CMediaManager::StartWorker(platform::StoppableThread& thread, uint32_t (*routine)(CMediaManager*),
                                const char* name) {
    thread.Start([this, routine](platform::StoppableThread&) { routine(this); }, name);
}

void CMediaManager::Initialize() {
    // Saves killed half-way leave their temp files beside the target.
    for (const char* sub : {"", "data", kTaskFolder})
        platform::RemoveStaleSaveTemps(*sub ? platform::JoinPath(m_strProgramFolder, sub) : m_strProgramFolder);
    SetOwnIpText(System().HostFirstIPv4());
    Displays().VirtualScreenSize(m_nVirtualScreenWidth, m_nVirtualScreenHeight);
    InitChannelLayout();
    Output().Invalidate();
    LoadConfig();
    RefreshInfoText();

    if (Output().SetSwapInterval(m_nVerticalSync != 0 ? 1 : 0))
        LOGTEXT::LogInfo("垂直同步：%d", m_nVerticalSync);

    if (m_nStartupLoadEnable != 0) {
        int type = -1;
        std::string name;
        if (m_nStartupMediaType == 0) {
            type = kMediaFileVideo;
            name = m_strStartupVideoPath;
        } else if (m_nStartupMediaType == 1) {
            type = kMediaScreenCapture;
            name = m_strStartupDesktopName;
        }
        if (type >= 0 && !name.empty()) {
            if (IMedia* media = LoadMedia(type, name, nullptr)) {
                {
                    std::lock_guard lock(m_csMedia);
                    m_mediaList.push_back(media);
                }
                if (type == kMediaFileVideo) {
                    std::lock_guard lock(m_csCurrentVideo);
                    m_pCurrentVideo = media;
                }
                media->Play();
            }
        }
    } else if (m_nAutoPlay != 0) {
        LoadMediaList(m_strMediaListPath);
    }

    CreateEmbeddedPictures();
    ReloadBackgroundImage();
    PreparePictureMedia();

    m_quitEvent.Reset();
    StartWorker(m_timeSyncThread, &TimeSyncThread, "time sync");
    StartWorker(m_idleCursorThread, &IdleCursorThread, "idle cursor");

    // A folder saved before it was bounded (or since removed) gives way to
    // the program's own media folder; the settings file keeps its text.
    const std::string ownFolder = platform::JoinPath(m_strProgramFolder, "media");
    if (m_strMediaFolder != ownFolder && !AcceptableMediaFolder(m_strMediaFolder)) {
        LOGTEXT::LogError("media folder %s refused, %s used.", m_strMediaFolder.c_str(), ownFolder.c_str());
        m_strMediaFolder = ownFolder;
    }
    platform::MakeDirs(m_strMediaFolder);
    // Used by its resolved path, so that a link in it re-pointed later
    // cannot move where uploads land.
    {
        std::error_code ec;
        const std::string real = std::filesystem::canonical(m_strMediaFolder, ec).string();
        if (!ec) m_strMediaFolder = real;
    }
    RefreshMediaFileLists(m_strMediaFolder);

    if (m_nLimitMainDisplay != 0) LimitHesper();

    LoadTaskPlans();
    LoadPlaylist();
    StartTaskPlanThread();

    StartCommandWatchdog();

    StopTimelinePlayThread();
    StartTimelinePlayThread();
}
