// World, system and time commands: how many channels and where, the
// displays, the server settings, channel files and trims, and the clock query.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "CommandUtil.h"
#include "channel/ChannelLayout.h"
#include "core/MediaFiles.h"
#include "core/MediaManager.h"
#include "core/SettingsRecord.h"
#include "platform/cnum.h"
#include "platform/fileio.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/tick.h"
#include "util/Util.h"

using cmdutil::HeadText;
using cmdutil::SetReplyBody;

namespace {

constexpr size_t kTextField = 260;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Size of the primary display (the first one when none is marked primary).
void PrimaryScreenSize(IDisplayList& displays, int32_t& width, int32_t& height) {
    std::vector<MY_MONITORINFO> monitors;
    displays.EnumDisplays(monitors);
    width = height = 0;
    const MY_MONITORINFO* pick = nullptr;
    for (const auto& m : monitors) {
        if (m.primary) {
            pick = &m;
            break;
        }
    }
    if (!pick && !monitors.empty()) pick = &monitors.front();
    if (!pick) return;
    width = pick->monitor.right - pick->monitor.left;
    height = pick->monitor.bottom - pick->monitor.top;
}

void PutIniInt(const std::string& file, const char* section, const char* key, int v) {
    platform::WritePrivateProfileString(section, key, platform::FormatC("%d", v).c_str(), file.c_str());
}
void PutIniText(const std::string& file, const char* section, const char* key, const std::string& v) {
    platform::WritePrivateProfileString(section, key, v.c_str(), file.c_str());
}

}  // namespace

// ---- core members of the world ----

void CMediaManager::SaveMediaSize() { MediaSize(0); }

void CMediaManager::RecomputeWorldSize() {
    std::lock_guard lock(m_csChannelLayout);
    const CChannelLayout& layout = *m_pChannelLayout;
    auto clampMul = [](int64_t a, int64_t b) {
        const int64_t v = a * b;
        return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
    };
    m_nMediaWidth = clampMul(layout.m_nChannelWidth, layout.m_nColumns);
    m_nMediaHeight = clampMul(layout.m_nChannelHeight, layout.m_nRows);
    // The output window spans the stage, the union of the channels' rectangles.
    const RECT& stage = layout.m_stageRect;
    if (stage.right > stage.left && stage.bottom > stage.top) m_rcOutput = stage;
}

void CMediaManager::InitChannelLayout() {
    {
        std::lock_guard lock(m_csChannelLayout);
        CChannelLayout& layout = *m_pChannelLayout;
        layout.SetDefaults();
        if (!layout.LoadCodFile(m_strChannelLayoutFile) && layout.LastLoadRefused()) {
            // Loading it again would refuse it again at every start: keep it
            // aside for a look and start with the default world.
            const std::string bad = m_strChannelLayoutFile + ".bad";
            if (std::rename(m_strChannelLayoutFile.c_str(), bad.c_str()) == 0)
                LOGTEXT::LogError("channel file %s kept aside as %s; the default world is used.",
                                  m_strChannelLayoutFile.c_str(), bad.c_str());
            layout.SetDefaults();
        }
        if (layout.m_channels.empty()) {
            // No layout yet: one channel per attached display.
            std::vector<MY_MONITORINFO> monitors;
            Displays().EnumDisplays(monitors);
            if (!monitors.empty()) {
                std::vector<CHANNEL_BASE_INFO> records(monitors.size());
                std::memset(static_cast<void*>(records.data()), 0, records.size() * sizeof(CHANNEL_BASE_INFO));
                for (size_t i = 0; i < monitors.size(); ++i) records[i].channelId = monitors[i].number;
                const RECT first = monitors.front().monitor;
                if (layout.CreateChannels(static_cast<int>(records.size()), records.data(), first.right - first.left,
                                          first.bottom - first.top, true))
                    layout.ArrangeChannels();
            }
        }
    }
    RecomputeWorldSize();
}

// ---- world family ----

int32_t CMediaManager::OnWorldCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                      tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    CChannelLayout& layout = *m_pChannelLayout;
    switch (head.command) {
    case 2:
    case 3:
        Displays().IdentifyDisplays();
        break;

    case 4: {
        std::vector<MY_MONITORINFO> monitors;
        Displays().EnumDisplays(monitors);
        const std::string text = XMLOPER::EncodeMonitorInfo(monitors);
        LOGTEXT::LogInfo("C_GET_MONITOR_INFO:%s", text.c_str());
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        SetReplyBody(reply, replyBody, std::move(bytes));
        break;
    }

    case 5: {  // reset world
        const int32_t rows = head.intParam[0], cols = head.intParam[1];
        const int32_t width = head.intParam[2], height = head.intParam[3];
        const int32_t originX = head.intParam[4], originY = head.intParam[5], originMode = head.intParam[6];
        reply.intParam[0] = 0;
        reply.intParam[1] = layout.m_nChannelLimit;
        // A grid needs at least one row and column; sizes of 0 keep the current ones.
        const bool sizeOk = (width == 0 && height == 0) ||
                            (layoutbounds::SizeOk(width) && layoutbounds::SizeOk(height));
        const bool originOk = originMode == 1 || originMode == 2 ||
                              (layoutbounds::CoordOk(originX) && layoutbounds::CoordOk(originY));
        if (rows < 1 || cols < 1 || width < 0 || height < 0 || !sizeOk || !originOk) {
            LOGTEXT::LogError("C_RESET_WORLD refused. row=%d,col=%d,width=%d,height=%d,origin=%d,%d", rows, cols,
                              width, height, originX, originY);
            break;
        }
        if (layout.m_nChannelLimit > 0 && static_cast<int64_t>(rows) * cols > layout.m_nChannelLimit) {
            LOGTEXT::LogInfo("SET World Error. Limit %d.row=%d,col=%d,width=%d,height=%d.MAX=%d",
                             layout.m_nChannelLimit, rows, cols, width, height, 1);
            break;
        }
        int32_t primaryW = 0, primaryH = 0;
        PrimaryScreenSize(Displays(), primaryW, primaryH);
        {
            std::lock_guard lock(m_csChannelLayout);
            if (!(rows == layout.m_nRows && cols == layout.m_nColumns && width == layout.m_nChannelWidth &&
                  height == layout.m_nChannelHeight)) {
                LOGTEXT::LogInfo("C_RESET_WORLD.row=%d,col=%d,width=%d,height=%d", rows, cols, width, height);
                layout.SetDefaults();
                layout.m_nRows = rows;
                layout.m_nColumns = cols;
                if (width != 0 && height != 0) {
                    layout.m_nChannelWidth = width;
                    layout.m_nChannelHeight = height;
                }
                layout.ResetChannels();
                layout.ArrangeChannels();
            }
            if (originMode == 1) {
                layout.m_nOriginX = primaryW;
                layout.m_nOriginY = primaryH;
            } else if (originMode == 2) {
                layout.m_nOriginX = 0;
                layout.m_nOriginY = 0;
            } else {
                layout.m_nOriginX = originX;
                layout.m_nOriginY = originY;
            }
        }
        // The desktop capture is made again for the new world. Outside the
        // layout lock: the capture takes the media lock, which comes first.
        RestartDesktopCapture(0);
        RecomputeWorldSize();
        reply.intParam[0] = 1;
        MarkSceneChanged();
        Output().RequestRebuild();
        break;
    }

    case 6: {  // save channel files
        SaveMediaSize();
        std::lock_guard lock(m_csChannelLayout);
        if (!layout.SaveCodFile(m_strChannelLayoutFile))
            LOGTEXT::LogError("save channel file %s failed.", m_strChannelLayoutFile.c_str());
        const std::string dataFolder = platform::JoinPath(m_strProgramFolder, "data");
        platform::MakeDirs(dataFolder);
        const std::string profile = platform::JoinPath(dataFolder, "default.cod");
        ::unlink(profile.c_str());
        std::string text;
        int index = 1;
        for (const auto& ch : layout.m_channels) {
            text += platform::FormatC("[channel_%d]\n", index++);
            text += platform::FormatC("left=%f\n", ch->m_texWindow[OutputChannel::kTexS0]);
            text += platform::FormatC("top=%f\n", ch->m_texWindow[OutputChannel::kTexT0]);
            text += platform::FormatC("right=%f\n", ch->m_texWindow[OutputChannel::kTexS40]);
            text += platform::FormatC("bottom=%f\n", ch->m_texWindow[OutputChannel::kTexT40]);
        }
        if (!platform::SaveFileAtomically(profile, text))
            LOGTEXT::LogError("save texture rectangles %s failed.", profile.c_str());
        break;
    }

    case 7: {  // channel layout
        std::lock_guard lock(m_csChannelLayout);
        reply.intParam[0] = layout.m_nRows;
        reply.intParam[1] = layout.m_nColumns;
        reply.intParam[2] = layout.m_nChannelWidth;
        reply.intParam[3] = layout.m_nChannelHeight;
        reply.intParam[4] = layout.m_nOriginX;
        reply.intParam[5] = layout.m_nOriginY;
        reply.intParam[6] = layout.m_nReserved;
        reply.intParam[8] = layout.m_nStoredWord3;
        if (head.intParam[0] != 0) {
            std::vector<uint8_t> bytes(layout.m_channels.size() * 32);
            size_t pos = 0;
            for (const auto& ch : layout.m_channels) {
                const RECT r = ch->m_rect;
                const int32_t v[8] = {r.left,
                                      r.top,
                                      r.right,
                                      r.bottom,
                                      ch->m_blend[OutputChannel::kBlendLeft],
                                      ch->m_blend[OutputChannel::kBlendTop],
                                      ch->m_blend[OutputChannel::kBlendRight],
                                      ch->m_blend[OutputChannel::kBlendBottom]};
                std::memcpy(bytes.data() + pos, v, sizeof v);
                pos += sizeof v;
            }
            SetReplyBody(reply, replyBody, std::move(bytes));
        }
        break;
    }

    case 8: {
        const int32_t w = head.intParam[0], h = head.intParam[1];
        if (w != 0 && h != 0) Displays().SetDisplayResolution(w, h, HeadText(head));
        break;
    }

    case 9: {
        const int32_t directionOrAngle = head.intParam[0];
        if (head.intParam[1] != 0)
            Displays().RotateDisplay(directionOrAngle, HeadText(head));
        else if (directionOrAngle >= 0)
            Displays().SetDisplayOrientation(HeadText(head), directionOrAngle);
        break;
    }

    case 10: {  // set world
        const int32_t count = head.intParam[0];
        const int32_t rows = head.intParam[1], cols = head.intParam[2];
        const int32_t width = head.intParam[3], height = head.intParam[4];
        const int32_t offsetMode = head.intParam[7];
        reply.intParam[0] = -2;
        reply.intParam[1] = layout.m_nChannelLimit;
        // Everything below divides by the channel size and reads count records.
        if (!layoutbounds::SizeOk(width) || !layoutbounds::SizeOk(height)) {
            LOGTEXT::LogError("set world refused: channel size %d x %d.", width, height);
            reply.intParam[0] = 4;
            break;
        }
        if (count < 0 || count > lintra::kMaxChannels) {
            LOGTEXT::LogError("set world refused: %d channels.", count);
            reply.intParam[0] = 3;
            break;
        }
        const uint64_t need = static_cast<uint64_t>(count) * lintra::kChannelRecordSize;
        if (bodyLength < need || (count > 0 && !body)) {
            LOGTEXT::LogError("set world refused: %u body bytes for %d channels.", bodyLength, count);
            reply.intParam[0] = 4;
            break;
        }
        std::vector<CHANNEL_BASE_INFO> records(static_cast<size_t>(count));
        if (count > 0) std::memcpy(static_cast<void*>(records.data()), body, need);
        if (!std::all_of(records.begin(), records.end(),
                         [](const CHANNEL_BASE_INFO& rec) { return layoutbounds::RectOk(rec.rect); })) {
            LOGTEXT::LogError("set world refused: a stage rectangle out of range.");
            reply.intParam[0] = 4;
            break;
        }

        bool displaysMatch = true;
        for (const CHANNEL_BASE_INFO& rec : records) {
            RECT r{};
            int32_t primary = 0;
            if (!Displays().GetDisplayRectByNumber(rec.channelId, r, primary) || r.right - r.left != width ||
                r.bottom - r.top != height) {
                displaysMatch = false;
                break;
            }
        }
        if (!displaysMatch) {
            reply.intParam[0] = 4;
            break;
        }
        int32_t primaryW = 0, primaryH = 0, virtualW = 0, virtualH = 0;
        PrimaryScreenSize(Displays(), primaryW, primaryH);
        Displays().VirtualScreenSize(virtualW, virtualH);
        if (virtualH % height != 0 || virtualW % width != 0) {
            reply.intParam[0] = 4;
            break;
        }
        if ((static_cast<int64_t>(virtualW) * virtualH) / (static_cast<int64_t>(width) * height) < count) {
            reply.intParam[0] = 3;
            break;
        }
        const int64_t cells = static_cast<int64_t>(rows) * cols;
        if (layout.m_nChannelLimit > 0 && (cells > layout.m_nChannelLimit || cells > count)) {
            LOGTEXT::LogInfo("SET World Error. Limit %d.row=%d,col=%d,width=%d,height=%d.MAX=%d",
                             layout.m_nChannelLimit, rows, cols, width, height, count);
            reply.intParam[0] = 3;
            break;
        }
        {
            std::lock_guard lock(m_csChannelLayout);
            layout.m_nChannelCount = count;
            if (offsetMode == 1) {
                if (virtualW > primaryW) {
                    layout.m_nOriginX = primaryW;
                    layout.m_nOriginY = 0;
                } else {
                    layout.m_nOriginX = 0;
                    layout.m_nOriginY = primaryH;
                }
            }
            layout.CreateChannels(count, records.data(), width, height, false);
            layout.ArrangeChannels();
            layout.ComputeEdgePositions();
            m_render.backgroundSelector = -1;
            m_render.backgroundValue = -1;
            m_nGeometryAdjustMode = 0;
            reply.intParam[0] = 0;
            MarkSceneChanged();
        }
        RecomputeWorldSize();
        Output().RequestRebuild();
        std::lock_guard lock(m_csChannelLayout);
        if (!layout.SaveCodFile(m_strChannelLayoutFile))
            LOGTEXT::LogError("save channel file %s failed.", m_strChannelLayoutFile.c_str());
        break;
    }

    case 11: {  // get world
        std::lock_guard lock(m_csChannelLayout);
        reply.intParam[0] = layout.m_nChannelCount;
        reply.intParam[1] = layout.m_nRows;
        reply.intParam[2] = layout.m_nColumns;
        reply.intParam[3] = layout.m_nChannelWidth;
        reply.intParam[4] = layout.m_nChannelHeight;
        reply.intParam[5] = layout.m_nOriginX;
        reply.intParam[6] = layout.m_nOriginY;
        reply.intParam[7] = layout.m_nReserved;
        reply.intParam[8] = layout.m_nStoredWord3;
        // Room for every record the world can hold; unfilled bytes are zero.
        std::vector<uint8_t> block(lintra::kMaxChannels * lintra::kChannelRecordSize, 0);
        const size_t n = std::min<size_t>(layout.m_channels.size(), lintra::kMaxChannels);
        for (size_t i = 0; i < n; ++i) {
            const OutputChannel& ch = *layout.m_channels[i];
            uint8_t* rec = block.data() + i * lintra::kChannelRecordSize;
            const int32_t v[5] = {ch.m_outputNumber, ch.m_blend[OutputChannel::kBlendLeft],
                                  ch.m_blend[OutputChannel::kBlendTop], ch.m_blend[OutputChannel::kBlendRight],
                                  ch.m_blend[OutputChannel::kBlendBottom]};
            std::memcpy(rec, v, sizeof v);
            std::memcpy(rec + 20, &ch.m_rotation, sizeof ch.m_rotation);
        }
        SetReplyBody(reply, replyBody, std::move(block));
        break;
    }

    case 12: {  // general configuration
        m_nRefreshRate = head.intParam[0];
        m_nServerAutoStart = head.intParam[1];
        m_nServerAutoLoadFile = head.intParam[2];
        char cluster[32];
        cmdutil::ReadHeadBytes(head, offsetof(tagNETHEAD, realParam), cluster, sizeof cluster);
        SetShowClusterName(platform::LoadGbkField(cluster, sizeof cluster));
        std::memcpy(m_generalText, head.textParam, sizeof m_generalText);
        break;
    }

    case 13: {  // project file
        reply.intParam[0] = 0;
        const std::string wireName = HeadText(head);
        const auto name = platform::SafeFileName(wireName);
        if (!name) {
            LOGTEXT::LogError("project file name refused: %s", wireName.c_str());
            break;
        }
        const uint64_t declared = static_cast<uint64_t>(static_cast<uint32_t>(head.intParam[0])) |
                                  (static_cast<uint64_t>(static_cast<uint32_t>(head.intParam[1])) << 32);
        const size_t n = static_cast<size_t>(std::min<uint64_t>(declared, body ? bodyLength : 0));
        const std::string folder = platform::JoinPath(m_strProgramFolder, "project");
        platform::MakeDirs(folder);
        const std::string path = platform::JoinPath(folder, *name);
        if (!platform::SaveFileAtomically(path, std::string_view(reinterpret_cast<const char*>(body), n))) {
            LOGTEXT::LogError("write project file %s failed.", path.c_str());
            break;
        }
        reply.intParam[0] = 1;
        break;
    }

    default:
        break;
    }
    return 0;
}

// ---- system family ----

int32_t CMediaManager::OnSystemCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                       tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    CChannelLayout& layout = *m_pChannelLayout;
    switch (head.command) {
    case 1001:
        RestartSelf(this);
        reply.intParam[0] = 1;
        break;

    case 1002: {
        SERVER_SETTINGS_RECORD rec;
        std::memset(&rec, 0, sizeof rec);
        rec.loopMedia = m_nLoopMedia;
        rec.autoHideCursor = m_nAutoHideCursor;
        rec.topmostWindow = m_nTopmostWindow;
        rec.enableRotation = m_nEnableRotation;
        rec.rotationAngle = m_nRotationAngle;
        platform::StoreGbkField(rec.rotationCondition, kTextField, m_strRotationCondition);
        platform::StoreGbkField(rec.mediaFolder, kTextField, m_strMediaFolder);
        platform::StoreGbkField(rec.mediaVideoExtension, kTextField, m_strMediaVideoExtension);
        rec.useBackgroundBmp = m_nUseBackgroundBmp;
        rec.displayBackgroundIfNoVideo = m_nDisplayBackgroundIfNoVideo;
        platform::StoreGbkField(rec.bmpFilePath, kTextField, m_strBmpFilePath);
        rec.startupEnable = m_nStartupLoadEnable;
        rec.startupMediaType = m_nStartupMediaType;
        platform::StoreGbkField(rec.startupVideoPath, kTextField, m_strStartupVideoPath);
        platform::StoreGbkField(rec.startupDesktopName, kTextField, m_strStartupDesktopName);
        const SerialPortSettings serial = Central().Settings();
        rec.serialEnable = serial.enable;
        rec.serialPort = serial.port;
        rec.serialBaud = serial.baud;
        rec.serialDataBits = serial.dataBits;
        rec.serialParity = serial.parity;
        rec.serialStopBits = serial.stopBits;
        rec.enableStereo = m_nEnableStereo;
        rec.video3DFormat = m_nVideo3DFormat;
        rec.videoType = m_nVideoType;
        rec.verticalSync = m_nVerticalSync;
        std::vector<uint8_t> bytes(sizeof rec);
        std::memcpy(bytes.data(), &rec, sizeof rec);
        SetReplyBody(reply, replyBody, std::move(bytes));
        break;
    }

    case 1003: {
        if (!body || bodyLength < sizeof(SERVER_SETTINGS_RECORD)) {
            LOGTEXT::LogError("set settings refused: %u body bytes.", bodyLength);
            break;
        }
        SERVER_SETTINGS_RECORD rec;
        std::memcpy(&rec, body, sizeof rec);
        auto text = [](const char* field) { return platform::LoadGbkField(field, kTextField); };
        // Uploads write into the media folder with the server's rights and
        // the show network is not authenticated: a system tree is refused,
        // and with it the whole record.
        // Below the server's media root only: a home folder would let an
        // upload land where that user's session runs it.
        const std::string wanted = text(rec.mediaFolder);
        const std::string root = m_strMediaRoot.empty() ? m_strProgramFolder : m_strMediaRoot;
        const std::optional<std::string> folder = WireMediaFolder(wanted, root);
        if (!folder) {
            LOGTEXT::LogError("set settings refused: media folder %s is not an existing folder outside the system "
                              "trees and below %s.",
                              wanted.c_str(), root.c_str());
            reply.intParam[0] = 0;
            break;
        }
        reply.intParam[0] = 1;

        m_nLoopMedia = rec.loopMedia;
        m_nAutoHideCursor = rec.autoHideCursor;
        m_nTopmostWindow = rec.topmostWindow;

        m_nRotationAngle = rec.rotationAngle;
        m_strRotationCondition = text(rec.rotationCondition);
        m_nEnableRotation = rec.enableRotation;

        SerialPortSettings serial;
        serial.enable = rec.serialEnable;
        serial.port = rec.serialPort;
        serial.baud = rec.serialBaud;
        serial.dataBits = rec.serialDataBits;
        serial.parity = rec.serialParity;
        serial.stopBits = rec.serialStopBits;
        Central().SetSettings(serial);
        if (serial.enable) {
            int32_t error = Central().Start();
            if (error != 0) {
                LOGTEXT::LogInfo("启动中控失败 id=%d。port=%d,baud=%d,databits=%d,stopbits=%d,parity=%d", error,
                                 serial.port, serial.baud, serial.dataBits, serial.stopBits, serial.parity);
                reply.intParam[3] = error;
            }
        }

        m_nStartupLoadEnable = rec.startupEnable;
        m_nStartupMediaType = rec.startupMediaType;
        m_strStartupVideoPath = text(rec.startupVideoPath);
        m_strStartupDesktopName = text(rec.startupDesktopName);
        const std::string extension = text(rec.mediaVideoExtension);
        const bool listsChanged = *folder != m_strMediaFolder || extension != m_strMediaVideoExtension;
        m_strMediaFolder = *folder;
        m_strMediaVideoExtension = extension;
        if (listsChanged) RefreshMediaFileLists(m_strMediaFolder);

        m_nEnableStereo = rec.enableStereo;
        m_nVideo3DFormat = rec.video3DFormat;
        m_nVideoType = rec.videoType;
        m_nVerticalSync = rec.verticalSync;
        Output().SetSwapInterval(m_nVerticalSync != 0 ? 1 : 0);

        m_nDisplayBackgroundIfNoVideo = rec.displayBackgroundIfNoVideo;
        m_nUseBackgroundBmp = rec.useBackgroundBmp;
        m_strBmpFilePath = text(rec.bmpFilePath);
        ReloadBackgroundImage();

        Output().RequestTopmost();
        const std::string& ini = m_strConfigPath;
        PutIniInt(ini, "Setting", "LoopMedia", m_nLoopMedia);
        PutIniInt(ini, "Setting", "AutoHideCursor", m_nAutoHideCursor);
        PutIniInt(ini, "Setting", "TopmostWindow", m_nTopmostWindow);
        PutIniText(ini, "Setting", "MediaFolder", m_strMediaFolder);
        PutIniText(ini, "Setting", "MediaVideoExtension", m_strMediaVideoExtension);
        PutIniInt(ini, "Setting", "UseBackgroundBmp", m_nUseBackgroundBmp);
        PutIniInt(ini, "Setting", "DisplayBackgroundIfNoVideo", m_nDisplayBackgroundIfNoVideo);
        PutIniText(ini, "Setting", "BmpFilePath", m_strBmpFilePath);
        PutIniInt(ini, "MediaOption", "EnableRotation", m_nEnableRotation);
        PutIniInt(ini, "MediaOption", "RotationAngle", m_nRotationAngle);
        PutIniText(ini, "MediaOption", "RotationCondition", m_strRotationCondition);
        PutIniInt(ini, "VideoOption", "EnableStereo", m_nEnableStereo);
        PutIniInt(ini, "VideoOption", "Video3DFormat", m_nVideo3DFormat);
        PutIniInt(ini, "VideoOption", "VideoType", m_nVideoType);
        PutIniInt(ini, "VideoOption", "VerticalSync", m_nVerticalSync);
        // The start-up media settings changed too: keep them over a restart.
        PutIniInt(ini, "StartupLoadMedia", "Enable", m_nStartupLoadEnable);
        PutIniInt(ini, "StartupLoadMedia", "MediaType", m_nStartupMediaType);
        PutIniText(ini, "StartupLoadMedia", "VideoPath", m_strStartupVideoPath);
        PutIniText(ini, "StartupLoadMedia", "DesktopName", m_strStartupDesktopName);
        Central().SaveSettings();
        break;
    }

    case 1004: {  // channel data file out
        reply.intParam[0] = 0;
        std::lock_guard lock(m_csChannelLayout);
        const std::string temp = platform::CreateTempFile(".chd");
        if (temp.empty()) {
            LOGTEXT::LogError("get channel data: no temporary file.");
            break;
        }
        std::vector<uint8_t> bytes;
        const bool ok = layout.m_channels.SaveChannelData(temp) && ReadWholeFile(temp, bytes);
        ::unlink(temp.c_str());
        if (!ok) {
            LOGTEXT::LogError("get channel data: writing or reading %s failed.", temp.c_str());
            break;
        }
        reply.intParam[0] = 1;
        SetReplyBody(reply, replyBody, std::move(bytes));
        break;
    }

    case 1005: {  // channel data file in
        reply.intParam[0] = 0;
        std::lock_guard lock(m_csChannelLayout);
        if (!body || bodyLength < 32) {
            LOGTEXT::LogError("put channel data refused: %u body bytes.", bodyLength);
            break;
        }
        const std::string temp = platform::CreateTempFile(".chd");
        if (temp.empty()) {
            LOGTEXT::LogError("put channel data: no temporary file.");
            break;
        }
        ChannelPtrList loaded;
        const bool read =
            platform::SaveFileAtomically(temp, std::string_view(reinterpret_cast<const char*>(body), bodyLength)) &&
            loaded.LoadChannelData(temp);
        ::unlink(temp.c_str());
        if (!read) {
            LOGTEXT::LogError("put channel data: the file could not be read.");
            break;
        }
        if (loaded.size() != layout.m_channels.size()) {
            LOGTEXT::LogError("put channel data refused: %zu channels for %zu.", loaded.size(),
                              layout.m_channels.size());
            break;
        }
        int32_t widest = 0;
        for (const auto& ch : loaded)
            for (int32_t b : ch->m_blend) widest = std::max(widest, b);
        const int32_t rows = layout.m_nRows, cols = layout.m_nColumns;
        const int32_t w = layout.m_nChannelWidth, h = layout.m_nChannelHeight;
        std::vector<uint8_t> rec(OutputChannel::kRecordSize);
        for (int32_t row = 0; row < rows; ++row) {
            for (int32_t col = 0; col < cols; ++col) {
                const int64_t index = static_cast<int64_t>(row) * cols + col;
                if (index >= static_cast<int64_t>(layout.m_channels.size())) continue;
                OutputChannel& ch = *layout.m_channels[static_cast<size_t>(index)];
                loaded[static_cast<size_t>(index)]->ToBytes(rec.data());
                ch.FromBytes(rec.data());
                ch.m_rect = RECT{col * w, row * h, col * w + w, row * h + h};
                for (int32_t& b : ch.m_blend) b = 0;
                // Blend only towards a neighbour.
                if (col > 0) ch.m_blend[OutputChannel::kBlendLeft] = widest;
                if (col < cols - 1) ch.m_blend[OutputChannel::kBlendRight] = widest;
                if (row > 0) ch.m_blend[OutputChannel::kBlendTop] = widest;
                if (row < rows - 1) ch.m_blend[OutputChannel::kBlendBottom] = widest;
            }
        }
        layout.ArrangeChannels();
        reply.intParam[0] = 1;
        MarkSceneChanged();
        break;
    }

    case 1006: {  // change configuration file
        const std::string wireName = HeadText(head);
        const auto name = platform::SafeFileName(wireName);
        if (!name) {
            LOGTEXT::LogError("configuration file name refused: %s", wireName.c_str());
            break;
        }
        const std::string path = platform::JoinPath(m_strProgramFolder, *name);
        if (!platform::FileExists(path)) break;
        {
            std::lock_guard lock(m_csChannelLayout);
            // A refused file changes nothing and is not taken as the layout file.
            CChannelLayout probe;
            if (!probe.LoadCodFile(path)) {
                LOGTEXT::LogError("configuration file %s refused.", path.c_str());
                break;
            }
            layout.ClearChannels();
            layout.SetDefaults();
            layout.LoadCodFile(path);
            m_strChannelLayoutFile = path;
            SaveChannelSetting(*name);
        }
        RecomputeWorldSize();
        {
            std::lock_guard lock(m_csChannelLayout);
            if (layout.m_nAutoArrange) layout.ArrangeChannels();
        }
        MarkSceneChanged();
        Output().RequestRebuild();
        LOGTEXT::LogInfo("修改配置文件名为%s", name->c_str());
        reply.intParam[0] = 1;
        break;
    }

    case 1007:
        reply.realParam[0] = m_fGlobalTrimLeft;
        reply.realParam[1] = m_fGlobalTrimRight;
        reply.realParam[2] = m_fGlobalTrimTop;
        reply.realParam[3] = m_fGlobalTrimBottom;
        break;

    case 1008:
        m_fGlobalTrimLeft = static_cast<float>(head.realParam[0]);
        m_fGlobalTrimRight = static_cast<float>(head.realParam[1]);
        m_fGlobalTrimTop = static_cast<float>(head.realParam[2]);
        m_fGlobalTrimBottom = static_cast<float>(head.realParam[3]);
        SaveGlobalTrim();
        break;

    case 1009: {  // common data
        const int32_t sub = head.intParam[0], value = head.intParam[1];
        if (sub == 2 && m_bTransientBmp) {
            m_bTransientBmp = false;
            m_strBmpFilePath = m_strConfiguredBmpPath;
            ReloadBackgroundImage();
        }
        // The renderer reads these fields under the layout lock.
        std::lock_guard lock(m_csChannelLayout);
        m_nGeometryAdjustValue = value;
        if (sub == 1) {
            m_nGeometryAdjustMode = 1;
            LOGTEXT::LogDebug("进入几何调整模式");
        } else if (sub == 2) {
            m_nGeometryAdjustMode = 0;
            LOGTEXT::LogDebug("离开几何调整模式");
        } else if (sub == 9 || sub == 10) {
            if (OutputChannel* ch = layout.FindChannel(value)) {
                ch->m_ratioFlag = sub == 9 ? 1 : 0;
                MarkSceneChanged();
            }
        }
        m_render.backgroundSelector = sub;
        m_render.backgroundValue = value;
        if (sub == 5)
            LOGTEXT::LogInfo("color: rgb=%d,%d,%d", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
        break;
    }

    default:
        break;
    }
    return 0;
}

// ---- time query ----

int32_t CMediaManager::OnTimeSyncCommand(const tagNETHEAD& head, tagNETHEAD& reply) {
    const FILETIME received = platform::GetLocalFileTime();
    reply.intParam[0] = m_nMainServer;
    cmdutil::WriteHeadBytes(reply, 156, &received, sizeof received);
    uint8_t echo[8];
    cmdutil::ReadHeadBytes(head, 148, echo, sizeof echo);
    cmdutil::WriteHeadBytes(reply, 148, echo, sizeof echo);
    const uint32_t marker = 0x1C000000u;
    cmdutil::WriteHeadBytes(reply, 124, &marker, sizeof marker);
    const FILETIME finished = platform::GetLocalFileTime();
    cmdutil::WriteHeadBytes(reply, 164, &finished, sizeof finished);
    return 0;
}
