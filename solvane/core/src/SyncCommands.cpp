// The synchronisation family (codes 801 to 812): records of the main server
// (or the console) that keep several display servers playing in step, the
// scan answer, the synchronisation address and the clock.
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string_view>

#include "CommandUtil.h"
#include "SyncWorkers.h"
#include "core/MediaManager.h"
#include "core/NodeSync.h"
#include "core/QuorvelApp.h"
#include "core/ServerClock.h"
#include "channel/ChannelLayout.h"
#include "lintra/ClientSession.h"
#include "lintra/Multicast.h"
#include "lintra/host.h"
#include "platform/packed.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

constexpr int32_t kCommandPort = 30100;

// The address record that 802 to 804 carry in the text area.
constexpr size_t kIpOffset = 124;
constexpr size_t kNameOffset = 188;
constexpr size_t kTextFieldSize = 64;
constexpr size_t kModeOffset = 252;
constexpr size_t kMainOffset = 256;
constexpr size_t kPortOffset = 260;
constexpr size_t kRowsOffset = 264;
constexpr size_t kColumnsOffset = 265;

// Action bits of an 801 record.
constexpr int32_t kBitCompare = 0x01;
constexpr int32_t kBitState = 0x02;
constexpr int32_t kBitSeek = 0x04;
constexpr int32_t kBitLoad = 0x08;
constexpr int32_t kBitDelete = 0x10;
constexpr int32_t kBitSwitch = 0x20;
constexpr int32_t kBitTask = 0x40;
constexpr int32_t kBitSyncTime = 0x80;
constexpr int32_t kBitFrameCheck = 0x100;
constexpr int32_t kBitKeepValues = 0x200;
constexpr int32_t kBitUpdateAck = 0x1000;

// Frame counts further apart than this are reported by the frame check.
constexpr int64_t kFrameCheckLimit = 2000;

int32_t IntAt(const tagNETHEAD& head, size_t offset) { return platform::ReadAt<int32_t>(&head, offset); }
double RealAt(const tagNETHEAD& head, size_t offset) { return platform::ReadAt<double>(&head, offset); }

std::string TextAt(const tagNETHEAD& head, size_t offset, size_t size) {
    return platform::LoadGbkField(reinterpret_cast<const char*>(&head) + offset, size);
}

void PutTextAt(tagNETHEAD& head, size_t offset, size_t size, const std::string& utf8) {
    platform::StoreGbkField(reinterpret_cast<char*>(&head) + offset, size, utf8);
}

bool SameFileName(std::string_view a, std::string_view b) {
    a = platform::LastComponent(a);
    b = platform::LastComponent(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A group the receiver can join: an IPv4 multicast address, and a port.
bool IsMulticastGroup(const std::string& ip, int port) {
    in_addr a{};
    if (inet_pton(AF_INET, ip.c_str(), &a) != 1) return false;
    const uint32_t host = ntohl(a.s_addr);
    return (host >> 28) == 0xE && port > 0 && port <= 65535;
}

bool IsIPv4(const std::string& ip) {
    in_addr a{};
    return inet_pton(AF_INET, ip.c_str(), &a) == 1;
}

// A position in 100 ns units from the record's double; false when it is no
// number a player can take.
bool PositionOf(double value, int64_t& position) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.0e18) return false;
    position = std::llround(value);
    return true;
}

}  // namespace

int32_t CMediaManager::OnSyncCommand(const tagNETHEAD& head, tagNETHEAD& reply) {
    switch (head.command) {
    case 801:
        OnMediaSyncRecord(head);
        break;
    case 802:
        PutTextAt(reply, kIpOffset, kTextFieldSize, m_strMulticastIp);
        PutTextAt(reply, kNameOffset, kTextFieldSize, LINTRA_HOST::GetHostName());
        platform::WriteAt<int32_t>(&reply, kModeOffset, m_nSyncMediaEnable);
        platform::WriteAt<int32_t>(&reply, kMainOffset, m_nMainServer);
        platform::WriteAt<int32_t>(&reply, kPortOffset, m_nMulticastPort);
        break;
    case 803:
        OnScanMachine(head);
        break;
    case 804:
        OnSetSyncAddress(head);
        break;
    case 807: {
        const double value = RealAt(head, 44);
        // A clock value is an unsigned 32-bit count; anything else from the
        // wire would be undefined once converted.
        if (!std::isfinite(value) || value < 0.0 || value >= 4294967296.0) {
            LOGTEXT::LogError("sync time refused: %f", value);
            break;
        }
        const auto ms = static_cast<uint32_t>(value);
        LOGTEXT::LogDebug("收到同步时间。 %d", static_cast<int>(ms));
        CServerClock* clock = m_pSyncClock ? m_pSyncClock : CServerClock::GetInstance();
        clock->SetTime(ms);
        break;
    }
    case 808:
    case 809:
    case 810:
    case 812:
        OnSyncTransport(head);
        break;
    default:  // 805, 806, 811
        break;
    }
    return 0;
}

// ---- 808 to 810, 812 ----

void CMediaManager::OnSyncTransport(const tagNETHEAD& head) {
    if (m_nSyncMediaEnable == 0) return;
    const uint32_t code = head.command;
    const int32_t filter = IntAt(head, 16);
    if (filter == 0) {
        // The whole timeline: the time check starts the media by their windows.
        SetTimelineState(code == 809 ? 2 : code == 810 ? 3 : 1);
        return;
    }
    const int32_t time = IntAt(head, 20);
    const double start = RealAt(head, 44);
    const double stop = RealAt(head, 52);
    const std::string fileName(platform::LastComponent(cmdutil::HeadText(head)));
    LOGTEXT::LogInfo("media %s. start=%f,stop=%f. time=%d", fileName.c_str(), start, stop, time);

    std::lock_guard lock(m_csMedia);
    IMedia* found = nullptr;
    for (IMedia* m : m_mediaList) {
        const MediaCommon& c = m->Common();
        if (std::fabs(c.startTime - start) <= 0.001 && std::fabs(c.endTime - stop) <= 0.001 &&
            SameFileName(c.name, fileName)) {
            found = m;
            break;
        }
    }
    if (!found) return;
    const int32_t state = found->Common().state;
    if (code == 808 || code == 812) {
        LOGTEXT::LogInfo("find media.%s", fileName.c_str());
        found->SetSyncTime(static_cast<uint32_t>(time));
        if (state != kMediaPlaying) {
            found->Play();
            LOGTEXT::LogInfo("play");
        }
    } else if (code == 809) {
        if (state != kMediaPaused) {
            LOGTEXT::LogInfo("before pause");
            found->Pause();
            LOGTEXT::LogInfo("after pause");
        }
    } else if (state != kMediaStopped) {
        LOGTEXT::LogInfo("before stop");
        found->Stop();
        LOGTEXT::LogInfo("after stop");
    }
}

// ---- 803 ----

void CMediaManager::OnScanMachine(const tagNETHEAD& head) {
    const std::string ip = TextAt(head, kIpOffset, kTextFieldSize);
    const int32_t port = IntAt(head, kPortOffset);

    tagNETHEAD answer{};
    answer.command = 0;
    PutTextAt(answer, kIpOffset, kTextFieldSize, LINTRA_HOST::GetHostName());
    PutTextAt(answer, kNameOffset, kTextFieldSize, LINTRA_HOST::GetHostIp());
    platform::WriteAt<int32_t>(&answer, kModeOffset, m_nSyncMediaEnable);
    platform::WriteAt<int32_t>(&answer, kMainOffset, m_nMainServer);
    platform::WriteAt<int32_t>(&answer, kPortOffset, kCommandPort);
    int32_t rows = 1, columns = 1;
    {
        std::lock_guard layout(m_csChannelLayout);
        if (m_pChannelLayout) {
            rows = m_pChannelLayout->m_nRows;
            columns = m_pChannelLayout->m_nColumns;
        }
    }
    platform::WriteAt<uint8_t>(&answer, kRowsOffset, static_cast<uint8_t>(std::clamp(rows, 0, 255)));
    platform::WriteAt<uint8_t>(&answer, kColumnsOffset, static_cast<uint8_t>(std::clamp(columns, 0, 255)));

    LOGTEXT::LogInfo("before send.SCAN_MACHINE.ip=%s,port=%d", ip.c_str(), port);
    // Only an IPv4 address and a port are connected to; a name would mean a
    // lookup on the receiver's thread.
    if (IsIPv4(ip) && port > 0 && port <= 65535) {
        CClientSession session;
        if (session.ConnectServer(ip.c_str(), static_cast<unsigned>(port), m_nScanTimeoutSeconds))
            session.SendSimpleCommand(answer);
        session.Disconnect();
    }
    LOGTEXT::LogInfo("after SCAN_MACHINE.ip=%s,port=%d", ip.c_str(), port);
}

// ---- 804 ----

void CMediaManager::OnSetSyncAddress(const tagNETHEAD& head) {
    const int32_t kind = IntAt(head, 4);
    const std::string ip = TextAt(head, kIpOffset, kTextFieldSize);
    const int32_t port = IntAt(head, kPortOffset);
    if (kind != 0) {
        m_nSyncMediaEnable = IntAt(head, kModeOffset);
        m_nMainServer = IntAt(head, kMainOffset);
        SetControllerAddress(ip);
        m_nControllerPort = port;
    } else if (ip != m_strMulticastIp || port != m_nMulticastPort) {
        // A group the receiver cannot join would cut this server off from
        // every later synchronisation command: the old one stays.
        if (IsMulticastGroup(ip, port)) {
            m_strMulticastIp = ip;
            m_nMulticastPort = port;
            RestartSyncReceiver(ip, port);
        } else {
            LOGTEXT::LogError("SET_SYNC_ADDR refused: %s:%d is no multicast group", ip.c_str(), port);
        }
    }
    LOGTEXT::LogInfo("SET_SYNC_ADDR.ip=%s,port=%d", m_strMulticastIp.c_str(), m_nMulticastPort);
    SaveSyncConfig();
}

void CMediaManager::RestartSyncReceiver(const std::string& group, int port) {
    // The receiver joins its own thread when it stops: never restarted on it.
    StartSyncWorker(
        *this,
        [group, port] {
            if (CQuorvelApp* app = AfxGetApp()) app->RestartMulticast(group, static_cast<unsigned>(port));
        },
        "sync receiver restart");
}

// ---- 801 ----

void CMediaManager::OnMediaSyncRecord(const tagNETHEAD& head) {
    if (m_nSyncMediaEnable == 0) {
        LOGTEXT::LogInfo("未启用同步");
        return;
    }
    const int32_t bits = IntAt(head, 4);
    const int32_t value1 = IntAt(head, 8);   // the sender's play state
    const int32_t value2 = IntAt(head, 12);  // its clock (ms) or frame count
    const int32_t value3 = IntAt(head, 16);
    const int32_t value5 = IntAt(head, 24);
    const uint32_t sender = static_cast<uint32_t>(IntAt(head, 28));
    int64_t position = 0;
    const bool hasPosition = PositionOf(RealAt(head, 44), position);
    const std::string path = cmdutil::HeadText(head);
    m_nLastSyncTick = platform::GetTickCount();
    const bool isMain = m_nMainServer != 0;

    if (bits & kBitFrameCheck) {
        if (isMain) return;
        std::lock_guard lock(m_csMedia);
        for (IMedia* m : m_mediaList) {
            if (m->Common().type != kMediaFileVideo) continue;
            const int64_t local = m->GetSyncTime();
            const int64_t dis = int64_t{value2} - local;
            // There is no separate frame-sync worker here: a large distance
            // is reported and left to the next position record.
            if (dis > kFrameCheckLimit || dis < -kFrameCheckLimit)
                LOGTEXT::LogDebug("remote frame=%d.%d. current=%d. %d. dis=%d.%d", value2, value1,
                                  static_cast<int>(local), m->Common().state, static_cast<int>(dis),
                                  static_cast<int>(kFrameCheckLimit));
        }
        return;
    }
    if (bits & kBitTask) {
        stopalltask();
        StartSyncTask(path);
        return;
    }
    if (bits & (kBitLoad | kBitSwitch)) {
        LOGTEXT::LogInfo("Sync Add Media. path=%s", path.c_str());
        IMedia* media = SyncUpdateMedia(path, value1, bits);
        if (media && !isMain)
            if (CNodeSync* sync = GetNodeSync()) sync->SendLoadAcknowledgement();
        return;
    }
    if (bits & kBitDelete) {
        if (!path.empty()) {
            std::vector<IMedia*> gone;
            {
                std::lock_guard lock(m_csMedia);
                for (IMedia* m : m_mediaList)
                    if (SameFileName(m->Common().name, path)) gone.push_back(m);
                for (IMedia* m : gone) m->Close();
            }
            for (IMedia* m : gone) RemoveMedia(m);
            LOGTEXT::LogInfo("同步删除命令。文件=%s", path.c_str());
        } else {
            RemoveMedia(nullptr);
            LOGTEXT::LogInfo("同步删除所有视频命令。");
        }
        if (!isMain) {
            tagNETHEAD answer{};
            answer.command = 801;
            answer.intParam[0] = kBitDelete;
            in_addr own{};
            if (inet_pton(AF_INET, OwnAddressText().c_str(), &own) == 1)
                answer.intParam[6] = static_cast<int32_t>(own.s_addr);
            answer.intParam[7] = kCommandPort;
            platform::StoreGbkField(answer.textParam, sizeof answer.textParam, path);
            CMutlicastSender out;
            if (out.Init(m_strAnswerGroup.c_str(), static_cast<unsigned>(m_nAnswerPort), 16, 1)) {
                out.SendData(&answer, static_cast<int>(sizeof answer));
                out.UnInit();
            }
        }
    } else {
        // media.bak is written once the record has reached every video: a
        // write per video would hold the later ones back by as long as it
        // takes.
        bool changed = false;
        std::lock_guard lock(m_csMedia);
        for (IMedia* m : std::vector<IMedia*>(m_mediaList)) {
            if (m->Common().type != kMediaFileVideo) continue;
            if (!path.empty() && !SameFileName(m->Common().name, path)) continue;
            const int32_t clock = static_cast<int32_t>(m->GetSyncTime());
            LOGTEXT::LogInfo("同步操作%d.同步状态=%d，当前状态=%d。remote framecount=%d.current=%d. dis=%d", bits,
                             value1, m->Common().state, value2, clock, value2 - clock);
            if (bits & kBitSyncTime) m->SetSyncTime(static_cast<uint32_t>(value2));
            if ((bits & kBitState) && ApplyMediaPlayState(m, value1, -1)) changed = true;
            if ((bits & kBitCompare) && !isMain) {
                int64_t local = 0;
                m->GetSeekPosition(local);
                const double dis = (static_cast<double>(position) - static_cast<double>(local)) / 1e4;  // ms
                LOGTEXT::LogInfo("current=%f. remote %f.  dis=  %f ms", local / 1e7, position / 1e7, dis);
                if (hasPosition && std::fabs(dis) > m_nDisTime) {
                    m->SeekTo(position);
                    LOGTEXT::LogInfo("22 所有。 接收同步调整视频帧。绝对位置=%lld", static_cast<long long>(position));
                }
                if (ApplyMediaPlayState(m, value1, -1)) changed = true;
            }
            if ((bits & kBitSeek) && hasPosition) {
                m->SeekTo(position);
                LOGTEXT::LogInfo("同步位置");
            }
            if (bits & kBitKeepValues) {
                m->Common().syncValue3 = value3;
                m->Common().syncValue5 = value5;
            }
        }
        if (changed) SaveMediaList();
        if ((bits & kBitUpdateAck) && !isMain)
            if (CNodeSync* sync = GetNodeSync()) sync->SendUpdateAcknowledgement();
    }
    LOGTEXT::LogInfo("同步完成");
    if (sender != 0) {
        in_addr a{};
        a.s_addr = sender;
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &a, text, sizeof text) && GetControllerAddress() != text) SetControllerAddress(text);
    }
}
