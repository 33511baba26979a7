#include "core/CommandEntry.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "core/MediaManager.h"
#include "core/SerialPort.h"
#include "lintra/netcodes.h"
#include "platform/cnum.h"
#include "platform/sockio.h"
#include "platform/textcodec.h"
#include "util/Util.h"

std::recursive_mutex& GlobalCommandLock() {
    static std::recursive_mutex lock;
    return lock;
}

// ---- binary commands ----

int32_t ExecuteProtocolCommand(CMediaManager& core, const tagNETHEAD& head, const void* data, unsigned length,
                               void* user, tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    reply = tagNETHEAD{};
    replyBody.clear();
    std::lock_guard lock(GlobalCommandLock());
    // The time query must answer at once, even while another command holds
    // the core's lock.
    if (head.command == NETCMD::TimeQuery) return core.OnTimeSyncCommand(head, reply);
    return core.DispatchCommand(head, static_cast<const uint8_t*>(data), length, reply, replyBody, user);
}

void ServeProtocolCommand(CMediaManager& core, int socket, const tagNETHEAD& head, const void* data,
                          unsigned length, void* user) {
    tagNETHEAD reply{};
    std::vector<uint8_t> body;
    ExecuteProtocolCommand(core, head, data, length, user, reply, body);
    if (socket == kNoReplySocket) return;
    // The head announces exactly the body that follows; a handler that set a
    // longer length than it filled would leave the client waiting.
    if (reply.bodyLength > body.size()) {
        LOGTEXT::LogError("reply of command %u announces %u bytes but carries %zu", head.command, reply.bodyLength,
                          body.size());
        reply.bodyLength = static_cast<uint32_t>(body.size());
    }
    if (!platform::SendAll(socket, &reply, sizeof reply)) return;
    if (reply.bodyLength > 0) platform::SendAll(socket, body.data(), reply.bodyLength);
}

void OnProtocolData(int socket, const tagNETHEAD& head, const void* data, unsigned length, const void* user) {
    ServeProtocolCommand(*GetMediaManager(), socket, head, data, length, const_cast<void*>(user));
}

void OnMulticastData(int, const tagNETHEAD& head, const void* data, unsigned length, const void*) {
    ServeProtocolCommand(*GetMediaManager(), kNoReplySocket, head, data, length, nullptr);
}

// ---- text commands ----

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool Same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool ValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// The head's text field carries GBK like a head from the console. A line in
// UTF-8 (ASCII included) is converted; other bytes are taken as GBK already.
// Too long a text is cut at a character boundary.
void StoreText(tagNETHEAD& head, const std::string& text) {
    if (ValidUtf8(text)) {
        platform::StoreGbkField(head.textParam, sizeof head.textParam, text);
    } else {
        const std::string_view cut = platform::CutGbk(text, sizeof head.textParam - 1);
        std::memset(head.textParam, 0, sizeof head.textParam);
        std::memcpy(head.textParam, cut.data(), cut.size());
    }
}

// For the log (UTF-8): GBK bytes are converted.
std::string LogText(const std::string& s) { return ValidUtf8(s) ? s : platform::GbkToUtf8(s); }

int32_t Atoi(const std::string& s) { return platform::AtoiC(s.c_str()); }
double Atof(const std::string& s) { return platform::AtofC(s.c_str()); }

std::string StripLineEnd(const char* line) {
    std::string s = line ? line : "";
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == '\0')) s.pop_back();
    return s;
}

}  // namespace

int ParseUserCommand(CMediaManager& core, tagNETHEAD& head, const char* rawLine, tagNETHEAD& reply,
                     std::vector<uint8_t>& replyBody) {
    const std::string line = StripLineEnd(rawLine);
    const size_t blank = line.find(' ');
    const std::string keyword = blank == std::string::npos ? line : line.substr(0, blank);
    const std::string param = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    LOGTEXT::LogInfo("user command=%s.cmd=%s,param=%s", LogText(line).c_str(), LogText(keyword).c_str(),
                     LogText(param).c_str());

    head = tagNETHEAD{};
    const std::string trimmed = Trim(param);
    const auto set = [&](uint32_t code) { head.command = code; };

    if (Same(keyword, "hit")) {
        set(105);
        head.intParam[0] = Atoi(param);
    } else if (Same(keyword, "resetworld")) {
        set(5);
        head.intParam[0] = Atoi(param);
        // The second word when there is one, else the first.
        const std::string rest = Trim(param);
        const size_t gap = rest.find_first_of(" \t");
        const std::string second = gap == std::string::npos ? std::string() : Trim(rest.substr(gap));
        head.intParam[1] = second.empty() ? Atoi(param) : Atoi(second);
    } else if (Same(keyword, "play")) {
        set(506);
    } else if (Same(keyword, "pause")) {
        set(507);
    } else if (Same(keyword, "stop")) {
        set(508);
    } else if (Same(keyword, "switch")) {
        set(505);
        StoreText(head, trimmed);
        head.intParam[0] = 0;
        head.intParam[1] = 0;
    } else if (Same(keyword, "update")) {
        set(505);
        StoreText(head, trimmed);
        head.intParam[0] = 0;
        head.intParam[1] = 1;
    } else if (Same(keyword, "showimage")) {
        set(505);
        StoreText(head, trimmed);
        head.intParam[0] = 2;
        head.intParam[1] = 1;
    } else if (Same(keyword, "AddDesktop")) {
        set(505);
        if (param.size() <= 4)
            StoreText(head, "\\\\.\\DISPLAY1");
        else if (param.compare(0, 4, "\\\\.\\") == 0)
            StoreText(head, param);
        else
            StoreText(head, "\\\\.\\" + param);
        head.intParam[0] = 3;
        head.intParam[1] = 1;
    } else if (Same(keyword, "ChangeBkImage")) {
        set(525);
        StoreText(head, trimmed);
        head.intParam[0] = 0;
    } else if (Same(keyword, "ModifyBkImage")) {
        set(525);
        StoreText(head, trimmed);
        head.intParam[0] = 1;
    } else if (Same(keyword, "showcapture")) {
        set(505);
        StoreText(head, "video capture");
        head.intParam[0] = 1;
        head.intParam[2] = Atoi(param);
    } else if (Same(keyword, "getframe")) {
        set(516);
        head.intParam[0] = 0;
    } else if (Same(keyword, "RetriveVideoFiles")) {
        set(520);
    } else if (Same(keyword, "SetVolume")) {
        set(513);
        head.intParam[0] = 0;
        head.intParam[1] = Atoi(param);
    } else if (Same(keyword, "ClearMedia")) {
        set(505);
        head.intParam[0] = 0;
    } else if (Same(keyword, "GoForward") || Same(keyword, "GoBack")) {
        set(Same(keyword, "GoForward") ? 518 : 519);
        head.realParam[0] = trimmed.empty() ? 5.0 : Atof(trimmed);
    } else if (Same(keyword, "MoveToFrame")) {
        set(517);
        head.realParam[0] = Atof(trimmed);
    } else if (Same(keyword, "IncVolume") || Same(keyword, "DecVolume")) {
        set(Same(keyword, "IncVolume") ? 511 : 512);
        if (trimmed.empty()) {
            head.intParam[1] = 5;
        } else {
            const int32_t v = Atoi(param);
            head.intParam[1] = v < 0 ? 0 : v > 100 ? 100 : v;
        }
    } else if (Same(keyword, "Cod1D") || Same(keyword, "Cod2D") || Same(keyword, "Cod3D") || Same(keyword, "Cod4D") ||
               Same(keyword, "Cod5D") || Same(keyword, "CodDefault")) {
        set(119);
        head.intParam[0] = Atoi(keyword.substr(3));
    } else if (Same(keyword, "DoTask")) {
        set(1103);
        StoreText(head, trimmed);
    } else if (Same(keyword, "RestartServer")) {
        set(1001);
    } else if (Same(keyword, "ChangeConfigFile")) {
        set(1006);
        StoreText(head, trimmed);
    } else if (Same(keyword, "SetVideoSync")) {
        if (trimmed == "1" || Same(trimmed, "enable") || trimmed == "0" || Same(trimmed, "disable")) {
            core.m_nSyncMediaEnable = (trimmed == "1" || Same(trimmed, "enable")) ? 1 : 0;
            reply.intParam[0] = 1;
            return 1;
        }
        // Any other parameter goes on as the zeroed head: a code without handler.
    } else if (Same(keyword, "MinWnd") || Same(keyword, "RestoreWnd")) {
        // The server registers no main window of its own: the output window
        // is the one the operator sees.
        if (Same(keyword, "MinWnd"))
            core.Output().RequestMinimise();
        else
            core.Output().RequestRestore();
        reply.intParam[0] = 1;
        return 1;
    } else {
        return -1;
    }

    const uint32_t code = head.command;
    if (core.m_nSyncMediaEnable != 0 && core.m_nMainServer == 0 && ((code >= 504 && code <= 508) || code == 1103)) {
        LOGTEXT::LogDebug("命令失败！启用同步后不响应控制命令");
        reply.intParam[0] = 0;
        return 1;
    }
    return core.DispatchCommand(head, nullptr, 0, reply, replyBody, nullptr);
}

int ParseUserCommand(tagNETHEAD& head, const char* line, tagNETHEAD& reply, std::vector<uint8_t>& replyBody) {
    return ParseUserCommand(*GetMediaManager(), head, line, reply, replyBody);
}

std::string AnswerUserCommand(CMediaManager& core, const std::string& rawLine, bool serial) {
    tagNETHEAD head{};
    tagNETHEAD reply{};
    std::vector<uint8_t> body;
    int result;
    {
        std::lock_guard lock(GlobalCommandLock());
        result = ParseUserCommand(core, head, rawLine.c_str(), reply, body);
    }
    if (result < 0) return "invalid";
    std::string answer;
    if (head.command == 520) {
        const size_t n = reply.bodyLength < body.size() ? reply.bodyLength : body.size();
        answer.assign(reinterpret_cast<const char*>(body.data()), n);
    } else if (head.command == 516) {
        if (reply.intParam[0] != 0)
            answer.assign(reinterpret_cast<const char*>(&reply) + offsetof(tagNETHEAD, realParam), 16);
        else
            answer = "fail";
    } else {
        answer = reply.intParam[0] != 0 ? "ok" : "fail";
    }
    LOGTEXT::LogInfo(serial ? "serail result of command:%s. %d" : "result of command:%s. %d",
                     LogText(StripLineEnd(rawLine.c_str())).c_str(), reply.intParam[0]);
    return answer;
}

int OnUserCommand(int socket, const char* data, int length) {
    if (!data || length <= 0) return 0;
    const std::string line(data, strnlen(data, static_cast<size_t>(length)));
    const std::string answer = AnswerUserCommand(*GetMediaManager(), line, false);
    if (!answer.empty()) platform::SendAll(socket, answer.data(), answer.size());
    return 0;
}

// ---- central control ----

namespace {

CSerialPort& CentralControlPort() {
    static CSerialPort port;
    return port;
}

}  // namespace

void OnSerialCommand(const char* data, size_t length) {
    if (!data || length == 0) return;
    const std::string line(data, strnlen(data, length));
    const std::string answer = AnswerUserCommand(*GetMediaManager(), line, true);
    if (!answer.empty()) CentralControlPort().WriteToPort(answer);
}

int StartCentralControl(int port, int baud, int dataBits, int stopBits, int parity) {
    CSerialPort& serial = CentralControlPort();
    serial.Stop();
    serial.SetReceiveCallback(&OnSerialCommand);
    if (serial.getOpenPort(port, baud, dataBits, parity, stopBits) != 0) return 0;
    serial.StartMonitoring();
    return 1;
}

bool StopCentralControl() { return CentralControlPort().Stop(); }

int IsCentralControlOpen() { return CentralControlPort().IsOpen() ? 1 : 0; }
