// The stage-server command encoders: one head per call, sent over the
// object's own session, the reply turned into a result code or outputs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "lintra/KestraneStageServer.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
#include "lintra/specialaction.h"
#include "platform/packed.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "util/Util.h"

using platform::ReadAt;
using platform::WriteAt;

namespace {

// Result conventions of the encoders.
//   R1: -1 not connected, 0 success, 1 the exchange failed.
//   R2: 0 success, 2 the exchange failed (also when not connected).
//   G:  -1 not connected, 1 exchange failed, 2 reply body missing or of the wrong size, 0 success.
constexpr int kNotConnected = -1;
constexpr int kR1Failed = 1;
// What a server answers at +4 for a channel number it does not have.
constexpr int kNoSuchChannel = 5;
constexpr int kR2Failed = 2;
constexpr int kBadReplyBody = 2;
constexpr int kNullRecord = -2;
constexpr int kFileError = 6;

// The id bytes of code 128 lie at +8..+43.
constexpr size_t kMaxBlendEntries = 36;
// The head has room for four display sizes (at 124, 188, 252, 316).
constexpr int32_t kMaxDisplaySizes = 4;
constexpr int kColorPlane = 256;
constexpr uint32_t kColorBody = 3 * kColorPlane;

// A reply body handed out by the session; released here.
struct ReplyBody {
    void* data = nullptr;
    ReplyBody() = default;
    ReplyBody(const ReplyBody&) = delete;
    ReplyBody& operator=(const ReplyBody&) = delete;
    ~ReplyBody() { delete[] static_cast<uint8_t*>(data); }
    const uint8_t* bytes() const { return static_cast<const uint8_t*>(data); }
};

tagNETHEAD NewHead(uint32_t command) {
    tagNETHEAD h;
    lintra::InitHead(h, command);
    return h;
}

void PutInt(tagNETHEAD& h, size_t offset, int32_t v) { WriteAt<int32_t>(&h, offset, v); }
void PutDouble(tagNETHEAD& h, size_t offset, double v) { WriteAt<double>(&h, offset, v); }
void PutByte(tagNETHEAD& h, size_t offset, int v) { reinterpret_cast<uint8_t*>(&h)[offset] = static_cast<uint8_t>(v); }
int32_t GetInt(const tagNETHEAD& h, size_t offset) { return ReadAt<int32_t>(&h, offset); }
double GetDouble(const tagNETHEAD& h, size_t offset) { return ReadAt<double>(&h, offset); }
void PutRect(tagNETHEAD& h, size_t offset, const RECT& r) {
    PutInt(h, offset, r.left);
    PutInt(h, offset + 4, r.top);
    PutInt(h, offset + 8, r.right);
    PutInt(h, offset + 12, r.bottom);
}

// A name put into the text area: the last component of the path, as GBK,
// cut at a character boundary to 255 bytes plus NUL.
void PutFileName(tagNETHEAD& h, const char* path) {
    platform::StoreGbkField(h.textParam, sizeof h.textParam, platform::LastComponent(path ? path : ""));
}

int R1(CClientSession& s, tagNETHEAD& head) {
    if (!s.IsConnected()) return kNotConnected;
    return s.SendSimpleCommand(head) ? 0 : kR1Failed;
}

// A head and an optional body; the reply body, when one comes, is discarded.
int R1Body(CClientSession& s, tagNETHEAD& head, const void* body) {
    if (!s.IsConnected()) return kNotConnected;
    return s.SendAdvancedCommand(head, body, nullptr) ? 0 : kR1Failed;
}

int R2(CClientSession& s, tagNETHEAD& head, const void* body = nullptr) {
    const int ok = (head.bodyLength != 0 || body) ? s.SendAdvancedCommand(head, body, nullptr)
                                                  : s.SendSimpleCommand(head);
    return ok ? 0 : kR2Failed;
}

// Sends and waits for a reply body; G codes.
int G(CClientSession& s, tagNETHEAD& head, ReplyBody& reply) {
    if (!s.IsConnected()) return kNotConnected;
    if (!s.SendAdvancedCommand(head, nullptr, &reply.data)) return kR1Failed;
    return 0;
}

enum class FileRead { Ok, OpenFailed, TooLarge, ReadFailed };

// Reads a whole existing regular file into out.
FileRead ReadWholeFile(const char* path, std::vector<uint8_t>& out, int& err) {
    err = 0;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return FileRead::OpenFailed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        err = errno ? errno : EISDIR;
        ::close(fd);
        return FileRead::OpenFailed;
    }
    if (st.st_size > static_cast<off_t>(lintra::kMaxBodyLength)) {
        ::close(fd);
        return FileRead::TooLarge;
    }
    out.assign(static_cast<size_t>(st.st_size), 0);
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t r = ::read(fd, out.data() + got, out.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            err = r < 0 ? errno : 0;
            ::close(fd);
            return FileRead::ReadFailed;
        }
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    return FileRead::Ok;
}

// Sends a head with an optional text body (the text and its NUL); R2.
int R2Text(CClientSession& s, tagNETHEAD& head, const std::string& text) {
    if (text.empty()) return R2(s, head);
    if (text.size() + 1 > lintra::kMaxBodyLength) return kR2Failed;
    head.bodyLength = static_cast<uint32_t>(text.size() + 1);
    return s.SendAdvancedCommand(head, text.c_str(), nullptr) ? 0 : kR2Failed;
}

// R2 results are logged with the exchange's own result: 1 completed.
int ExchangeResult(int r2) { return r2 == 0 ? 1 : 0; }

}  // namespace

// ---------------------------------------------------------------------------
// World, general settings and project

int CKestraneStageServer::ResetWorldConfig(const WORLD_BASE_INFO& world) {
    const int32_t count = world.channelCount;
    LOGTEXT::LogInfo("resetword. channel count=%d. width=%d.height=%d.offset(%d,%d),offsetmode=%d", count,
                     world.width, world.height, world.offsetX, world.offsetY, world.offsetMode);
    if (count < 0 || count > lintra::kMaxChannels) {
        // The record has room for eight channels; more would send bytes from beyond it.
        LOGTEXT::LogError("resetword. channel count %d out of 0..%d", count, lintra::kMaxChannels);
        return 3;
    }
    for (int32_t i = 0; i < count; ++i) {
        const CHANNEL_BASE_INFO& c = world.channels[i];
        const RECT blend = c.blendWidth;
        const RECT rc = c.rect;
        LOGTEXT::LogInfo(
            "channel. id=%d.blend(%d,%d,%d,%d).rotate=%f.rect(%d,%d,%d,%d).globalcolor(%f,%f,%f),elimiteparam(%f,%f,%f)",
            c.channelId, blend.left, blend.top, blend.right, blend.bottom, static_cast<double>(c.rotation), rc.left,
            rc.top, rc.right, rc.bottom, static_cast<double>(c.colorRatio[0]), static_cast<double>(c.colorRatio[1]),
            static_cast<double>(c.colorRatio[2]), static_cast<double>(c.edgeParam[0][2]),
            static_cast<double>(c.edgeParam[1][2]), static_cast<double>(c.edgeParam[2][2]));
    }
    if (!IsConnected()) return kNotConnected;
    tagNETHEAD head = NewHead(NETCMD::ResetWorldConfig);
    PutInt(head, 4, count);
    PutInt(head, 16, world.width);
    PutInt(head, 20, world.height);
    PutInt(head, 24, world.offsetX);
    PutInt(head, 28, world.offsetY);
    PutInt(head, 32, world.offsetMode);
    head.bodyLength = static_cast<uint32_t>(count) * static_cast<uint32_t>(lintra::kChannelRecordSize);
    // The channel records lie back to back in the record already.
    const bool ok = count == 0 ? SendSimpleCommand(head) : SendAdvancedCommand(head, world.channels, nullptr);
    if (!ok) return kR1Failed;
    return head.intParam[0];
}

int CKestraneStageServer::GetWorldConfig(WORLD_BASE_INFO& world) {
    tagNETHEAD head = NewHead(NETCMD::GetWorldConfig);
    ReplyBody reply;
    const int r = G(*this, head, reply);
    if (r != 0) return r;
    if (!reply.data) return kBadReplyBody;
    world.channelCount = GetInt(head, 4);
    world.width = GetInt(head, 16);
    world.height = GetInt(head, 20);
    world.offsetX = GetInt(head, 24);
    world.offsetY = GetInt(head, 28);
    world.offsetMode = GetInt(head, 32);
    return 0;
}

int CKestraneStageServer::SetGeneralConfig(const TOLVA_GENERAL_CONFIG* config) {
    if (!config) return kNullRecord;
    tagNETHEAD head = NewHead(NETCMD::SetGeneralConfig);
    PutInt(head, 4, config->refreshRate);
    PutInt(head, 8, config->serverAutoStart);
    PutInt(head, 12, config->serverAutoLoadFile);
    char cluster[32];
    platform::StoreGbkField(cluster, sizeof cluster,
                            std::string_view(config->showCluster, strnlen(config->showCluster, sizeof config->showCluster)));
    std::memcpy(reinterpret_cast<uint8_t*>(&head) + 44, cluster, sizeof cluster);
    platform::StoreGbkField(head.textParam, sizeof head.textParam,
                            std::string_view(config->text, strnlen(config->text, sizeof config->text)));
    const int ok = SendSimpleCommand(head);
    LOGTEXT::LogInfo("SetGeneralConfig ret= %d", ok);
    return ok ? 0 : kR2Failed;
}

int CKestraneStageServer::SetProjectFile(const char* path) {
    if (!path) return kNullRecord;
    std::vector<uint8_t> content;
    int err = 0;
    switch (ReadWholeFile(path, content, err)) {
        case FileRead::Ok:
            break;
        case FileRead::TooLarge:
            LOGTEXT::LogError("SetProjectFile. file too large for one body. path=%s", path);
            return kFileError;
        default:
            LOGTEXT::LogDebug("open file failed. e=%d", err);
            return kFileError;
    }
    const uint64_t size = content.size();
    tagNETHEAD head = NewHead(NETCMD::SetProjectFile);
    PutInt(head, 4, static_cast<int32_t>(static_cast<uint32_t>(size)));
    PutInt(head, 8, static_cast<int32_t>(static_cast<uint32_t>(size >> 32)));
    PutFileName(head, path);
    head.bodyLength = static_cast<uint32_t>(size);
    const int ok = size ? SendAdvancedCommand(head, content.data(), nullptr) : SendSimpleCommand(head);
    LOGTEXT::LogInfo("SetProjectFile ret= %d", ok);
    return ok ? 0 : kR2Failed;
}

// ---------------------------------------------------------------------------
// Displays

int CKestraneStageServer::SetDisplayMode(DWORD mode) {
    tagNETHEAD head = NewHead(NETCMD::SetDisplayMode);
    PutInt(head, 4, static_cast<int32_t>(mode));
    return R1(*this, head);
}

int CKestraneStageServer::GetDisplayMode(DWORD& mode) {
    tagNETHEAD head = NewHead(NETCMD::GetDisplayMode);
    const int r = R1(*this, head);
    if (r == 0) mode = static_cast<DWORD>(GetInt(head, 4));
    return r;
}

int CKestraneStageServer::GetDisplayResolutions(POINT* sizes, int* count) {
    tagNETHEAD head = NewHead(NETCMD::GetDisplayResolutions);
    const int r = R1(*this, head);
    if (r != 0 || !sizes || !count) return r;
    const int32_t n = std::clamp<int32_t>(GetInt(head, 4), 0, kMaxDisplaySizes);
    *count = std::clamp(*count, 0, n);
    for (int i = 0; i < *count; ++i) {
        POINT p;
        p.x = GetInt(head, 124 + 64 * static_cast<size_t>(i));
        p.y = GetInt(head, 128 + 64 * static_cast<size_t>(i));
        sizes[i] = p;
    }
    return r;
}

// ---------------------------------------------------------------------------
// Channel geometry

int CKestraneStageServer::SetBlendData(int id, int left, int top, int right, int bottom) {
    tagNETHEAD head = NewHead(NETCMD::SetBlendData);
    PutInt(head, 4, 1);
    PutByte(head, 8, id);
    PutByte(head, 124, left);
    PutByte(head, 125, top);
    PutByte(head, 126, right);
    PutByte(head, 127, bottom);
    const int r = R1(*this, head);
    LOGTEXT::LogInfo("SetBlendData.ret=%d id=%d.left=%d,top=%d,right=%d,bottom=%d", r, id, left, top, right, bottom);
    return r;
}

int CKestraneStageServer::SetBlendData(const std::map<int, RECT>& blends) {
    tagNETHEAD head = NewHead(NETCMD::SetBlendData);
    std::string line = "SetBlendData. ";
    size_t k = 0;
    char buf[96];
    for (const auto& [id, rc] : blends) {
        if (k == kMaxBlendEntries) {
            LOGTEXT::LogError("SetBlendData. %zu entries; only the first %zu are sent", blends.size(), kMaxBlendEntries);
            break;
        }
        PutByte(head, 8 + k, id);
        PutByte(head, 124 + 4 * k, rc.left);
        PutByte(head, 125 + 4 * k, rc.top);
        PutByte(head, 126 + 4 * k, rc.right);
        PutByte(head, 127 + 4 * k, rc.bottom);
        std::snprintf(buf, sizeof buf, "id=%d.[%d,%d,%d,%d]\n", id, rc.left, rc.top, rc.right, rc.bottom);
        line += buf;
        ++k;
    }
    PutInt(head, 4, static_cast<int32_t>(k));
    const int r = R1(*this, head);
    std::snprintf(buf, sizeof buf, ". ret=%d", r);
    line += buf;
    LOGTEXT::LogInfo("%s", line.c_str());
    return r;
}

int CKestraneStageServer::SetVertexData(int id, const DOUBLE_POINT grid[41][41]) {
    if (!grid) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::SetVertexData);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::VertexSub::Whole);
    head.bodyLength = static_cast<uint32_t>(lintra::kGridBytes);
    const int r = R1Body(*this, head, grid);
    std::string line;
    line.reserve(lintra::kGridPoints * 16 + 64);
    char buf[64];
    std::snprintf(buf, sizeof buf, "SetVertexData. id=%d", id);
    line += buf;
    for (int i = 0; i < lintra::kGridSide; ++i) {
        for (int j = 0; j < lintra::kGridSide; ++j) {
            const DOUBLE_POINT p = grid[i][j];
            std::snprintf(buf, sizeof buf, "(%0.3f,%0.3f)", p.x, p.y);
            line += buf;
        }
        line += "\r\n";
    }
    std::snprintf(buf, sizeof buf, "\r\nret=%d", r);
    line += buf;
    LOGTEXT::LogInfo("%s", line.c_str());
    return r;
}

int CKestraneStageServer::SetSingleVertexData(int id, int row, int column, DOUBLE_POINT p) {
    tagNETHEAD head = NewHead(NETCMD::SetVertexData);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::VertexSub::Single);
    PutInt(head, 12, row);
    PutInt(head, 16, column);
    PutDouble(head, 44, p.x);
    PutDouble(head, 52, p.y);
    const int r = R1(*this, head);
    LOGTEXT::LogInfo("SetSingleVertexData. id=%d.row=%d,col=%d.(%0.3f,%0.3f).ret=%d", id, row, column, p.x, p.y, r);
    return r;
}

int CKestraneStageServer::SetRowVertexData(int id, int row, const DOUBLE_POINT points[41]) {
    if (!points) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::SetVertexData);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::VertexSub::Row);
    PutInt(head, 12, row);
    head.bodyLength = lintra::kGridSide * sizeof(DOUBLE_POINT);
    return R1Body(*this, head, points);
}

int CKestraneStageServer::SetColVertexData(int id, int column, const DOUBLE_POINT points[41]) {
    if (!points) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::SetVertexData);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::VertexSub::Column);
    // The display server reads the column of this sub-code at +12.
    PutInt(head, 12, column);
    head.bodyLength = lintra::kGridSide * sizeof(DOUBLE_POINT);
    return R1Body(*this, head, points);
}

int CKestraneStageServer::GetVertexData(int id, DOUBLE_POINT grid[41][41]) {
    if (!grid) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::GetVertexData);
    PutInt(head, 4, id);
    ReplyBody reply;
    const int r = G(*this, head, reply);
    if (r != 0) return r;
    if (!reply.data || head.bodyLength != lintra::kGridBytes) return kBadReplyBody;
    std::memcpy(grid, reply.data, lintra::kGridBytes);
    return 0;
}

int CKestraneStageServer::SelectChannel(int id) {
    tagNETHEAD head = NewHead(NETCMD::SelectChannel);
    PutInt(head, 4, id);
    return R1(*this, head);
}

int CKestraneStageServer::MoveVertexData(int editMode, int row, int column, DOUBLE_POINT delta,
                                         DOUBLE_POINT grid[41][41]) {
    tagNETHEAD head = NewHead(NETCMD::MoveVertexData);
    PutInt(head, 4, editMode);
    PutInt(head, 8, row);
    PutInt(head, 12, column);
    // The display server sends the grid back when +16 is non-zero.
    PutInt(head, 16, grid ? 1 : 0);
    PutDouble(head, 44, delta.x);
    PutDouble(head, 52, delta.y);
    if (!grid) return R1(*this, head);
    ReplyBody reply;
    const int r = G(*this, head, reply);
    if (r != 0) return r;
    if (!reply.data || head.bodyLength != lintra::kGridBytes) return kBadReplyBody;
    std::memcpy(grid, reply.data, lintra::kGridBytes);
    return 0;
}

int CKestraneStageServer::SelectVertexData(int editMode, int row, int column) {
    tagNETHEAD head = NewHead(NETCMD::SelectVertexData);
    PutInt(head, 4, editMode);
    PutInt(head, 8, row);
    PutInt(head, 12, column);
    return R1(*this, head);
}

int CKestraneStageServer::SetChannelPos(int id, float angle, RECT rect) {
    tagNETHEAD head = NewHead(NETCMD::SetChannelPos);
    PutInt(head, 4, id);
    PutRect(head, 8, rect);
    PutDouble(head, 44, static_cast<double>(angle));
    return R1(*this, head);
}

int CKestraneStageServer::SetEdgeEliminateParam(int id, const float a[3], const float b[3], const float c[3],
                                                int flag) {
    if (!a || !b || !c) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::SetEdgeEliminateParam);
    PutInt(head, 4, id);
    PutInt(head, 8, flag);
    for (size_t k = 0; k < 3; ++k) {
        PutDouble(head, 44 + 24 * k, static_cast<double>(a[k]));
        PutDouble(head, 52 + 24 * k, static_cast<double>(b[k]));
        PutDouble(head, 60 + 24 * k, static_cast<double>(c[k]));
    }
    return R1(*this, head);
}

int CKestraneStageServer::GetEdgeEliminateParam(int id, float a[3], float b[3], float c[3]) {
    if (!a || !b || !c) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::GetEdgeEliminateParam);
    PutInt(head, 4, id);
    const int r = R1(*this, head);
    if (r != 0) return r;
    for (size_t k = 0; k < 3; ++k) {
        a[k] = static_cast<float>(GetDouble(head, 44 + 24 * k));
        b[k] = static_cast<float>(GetDouble(head, 52 + 24 * k));
        c[k] = static_cast<float>(GetDouble(head, 60 + 24 * k));
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Colour and background

int CKestraneStageServer::SetBackgroundColor(DWORD colour) {
    tagNETHEAD head = NewHead(NETCMD::SetBackgroundColor);
    PutInt(head, 8, colour == 0xFFFFFFFFu ? 0 : 1);
    PutInt(head, 12, 1);
    PutInt(head, 16, 1);
    WriteAt<uint32_t>(&head, 124, colour);
    return R1(*this, head);
}

int CKestraneStageServer::SetBackgroundImage(const char* path, int keep) {
    if (!IsConnected()) return kNotConnected;
    if (!path) return kNullRecord;
    LOGTEXT::LogInfo("in setbackgroundimage. path=%s", path);
    std::vector<uint8_t> content;
    int err = 0;
    switch (ReadWholeFile(path, content, err)) {
        case FileRead::Ok:
            break;
        case FileRead::OpenFailed:
            LOGTEXT::LogDebug("open file failed. e=%d", err);
            return kFileError;
        case FileRead::TooLarge:
            LOGTEXT::LogError("setbackgroundimage. file too large for one body. path=%s", path);
            return kFileError;
        case FileRead::ReadFailed:
            LOGTEXT::LogError("setbackgroundimage. read failed. e=%d", err);
            return kFileError;
    }
    LOGTEXT::LogInfo("file size=%d", static_cast<int>(content.size()));
    tagNETHEAD head = NewHead(NETCMD::SetBackgroundImage);
    PutInt(head, 4, static_cast<int32_t>(content.size()));
    PutInt(head, 8, keep != 0 ? 1 : 0);
    // The server keeps only the last component of the name.
    PutFileName(head, path);
    head.bodyLength = static_cast<uint32_t>(content.size());
    const int ok = content.empty() ? SendSimpleCommand(head) : SendAdvancedCommand(head, content.data(), nullptr);
    LOGTEXT::LogInfo("out of setbackgroundimage. send=%d", ok);
    return ok ? 0 : kR1Failed;
}

int CKestraneStageServer::GetGlobalColorRatio(int id, float& r, float& g, float& b) {
    tagNETHEAD head = NewHead(NETCMD::GetGlobalColor);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::ColorSub::Ratio);
    PutDouble(head, 44, static_cast<double>(r));
    PutDouble(head, 52, static_cast<double>(g));
    PutDouble(head, 60, static_cast<double>(b));
    const int ret = R1Body(*this, head, nullptr);
    if (ret != 0) return ret;
    // A server without that channel answers 5 and zeros: that is no reading,
    // so the caller keeps its values and learns of the failure.
    if (head.intParam[0] == kNoSuchChannel) return kR1Failed;
    r = static_cast<float>(GetDouble(head, 44));
    g = static_cast<float>(GetDouble(head, 52));
    b = static_cast<float>(GetDouble(head, 60));
    return 0;
}

int CKestraneStageServer::GetAdvancedGlobalColor(int id, uint8_t c0[256], uint8_t c1[256], uint8_t c2[256]) {
    if (!c0 || !c1 || !c2) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::GetGlobalColor);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::ColorSub::Curves);
    ReplyBody reply;
    const int r = G(*this, head, reply);
    if (r != 0) return r;
    if (!reply.data || head.bodyLength != kColorBody) return kBadReplyBody;
    std::memcpy(c0, reply.bytes(), kColorPlane);
    std::memcpy(c1, reply.bytes() + kColorPlane, kColorPlane);
    std::memcpy(c2, reply.bytes() + 2 * kColorPlane, kColorPlane);
    return 0;
}

int CKestraneStageServer::GetGlobalColor(int id, float& r, float& g, float& b, uint8_t c0[256], uint8_t c1[256],
                                         uint8_t c2[256]) {
    if (!c0 || !c1 || !c2) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::GetGlobalColor);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::ColorSub::Both);
    ReplyBody reply;
    const int ret = G(*this, head, reply);
    if (ret != 0) return ret;
    if (!reply.data || head.bodyLength != kColorBody) return kBadReplyBody;
    r = static_cast<float>(GetDouble(head, 44));
    g = static_cast<float>(GetDouble(head, 52));
    b = static_cast<float>(GetDouble(head, 60));
    std::memcpy(c0, reply.bytes(), kColorPlane);
    std::memcpy(c1, reply.bytes() + kColorPlane, kColorPlane);
    std::memcpy(c2, reply.bytes() + 2 * kColorPlane, kColorPlane);
    return 0;
}

int CKestraneStageServer::SetGlobalColorRatio(int id, float r, float g, float b) {
    tagNETHEAD head = NewHead(NETCMD::SetGlobalColor);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::ColorSub::Ratio);
    PutDouble(head, 44, static_cast<double>(r));
    PutDouble(head, 52, static_cast<double>(g));
    PutDouble(head, 60, static_cast<double>(b));
    const int ret = R1(*this, head);
    LOGTEXT::LogInfo("SetGlobalColorRatio. id=%d.r=%0.3f,g=%0.3f,b=%0.3f.ret=%d", id, static_cast<double>(r),
                     static_cast<double>(g), static_cast<double>(b), ret);
    return ret;
}

int CKestraneStageServer::SetAdvancedGlobalColor(int id, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                                                 const uint8_t* c3, int n) {
    // n control points: abscissae in the text area, ordinates in the three planes.
    n = std::clamp(n, 0, kColorPlane);
    if (n > 0 && (!c0 || !c1 || !c2 || !c3)) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::SetGlobalColor);
    PutInt(head, 4, id);
    PutInt(head, 8, NETCMD::ColorSub::Curves);
    PutInt(head, 12, n);
    std::vector<uint8_t> body(kColorBody, 0);
    if (n > 0) {
        std::memcpy(head.textParam, c3, static_cast<size_t>(n));
        std::memcpy(body.data(), c0, static_cast<size_t>(n));
        std::memcpy(body.data() + kColorPlane, c1, static_cast<size_t>(n));
        std::memcpy(body.data() + 2 * kColorPlane, c2, static_cast<size_t>(n));
    }
    head.bodyLength = kColorBody;
    return R1Body(*this, head, body.data());
}

// ---------------------------------------------------------------------------
// Media

MEDIA_HANDLE CKestraneStageServer::AddMedia(int layer, const MEDIA_LEVEL_INFO* info) {
    if (!info) return 0;
    const std::string name(info->name, strnlen(info->name, sizeof info->name));
    LOGTEXT::LogInfo("enter AddMedia.type=%d.layer=%d.time=(%f,%f),rc(%d,%d,%d,%d)", info->type, layer,
                     info->startTime, info->stopTime, info->rect.left, info->rect.top, info->rect.right,
                     info->rect.bottom);
    LOGTEXT::LogInfo("AddMedia. name=%s", name.c_str());
    tagNETHEAD head = NewHead(NETCMD::AddMedia);
    PutInt(head, 4, info->type);
    PutInt(head, 8, layer);
    PutRect(head, 20, info->rect);
    PutDouble(head, 44, info->startTime);
    PutDouble(head, 52, info->stopTime);
    // Files (video 0, picture 2) are looked up by name in the server's media
    // folder; capture and desktop names are not paths.
    if (info->type == 0 || info->type == 2)
        PutFileName(head, name.c_str());
    else
        platform::StoreGbkField(head.textParam, sizeof head.textParam, name);
    const std::string& actions = info->specialAction;
    const std::string body = actions.empty() ? std::string() : std::string(actions.c_str(), actions.size() + 1);
    if (!body.empty()) {
        if (body.size() > lintra::kMaxBodyLength) {
            LOGTEXT::LogInfo("add media send data failed");
            return 0;
        }
        head.bodyLength = static_cast<uint32_t>(body.size());
        LOGTEXT::LogInfo("special action=%s", actions.c_str());
    }
    const int ok = body.empty() ? SendSimpleCommand(head) : SendAdvancedCommand(head, body.data(), nullptr);
    if (!ok) {
        LOGTEXT::LogInfo("add media send data failed");
        return 0;
    }
    const MEDIA_HANDLE handle = static_cast<MEDIA_HANDLE>(head.intParam[0]);
    LOGTEXT::LogInfo("add media return %d", static_cast<int>(handle));
    return handle;
}

int CKestraneStageServer::RemoveMedia(MEDIA_HANDLE handle) {
    tagNETHEAD head = NewHead(NETCMD::RemoveMedia);
    PutInt(head, 4, static_cast<int32_t>(handle));
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("RemoveMedia id=%d. ret= %d", static_cast<int>(handle), ExchangeResult(r));
    return r;
}

int CKestraneStageServer::UpdateMedia(MEDIA_HANDLE handle, int layer, double start, double stop, const RECT* rect,
                                      const char* actions) {
    if (!rect) return kR2Failed;
    const RECT rc = *rect;
    LOGTEXT::LogInfo("updatemedia. rc(%d,%d,%d,%d). starttime=%f,stoptime=%f.", rc.left, rc.top, rc.right, rc.bottom,
                     start, stop);
    tagNETHEAD head = NewHead(NETCMD::UpdateMedia);
    PutInt(head, 4, static_cast<int32_t>(handle));
    PutInt(head, 8, layer);
    PutRect(head, 20, rc);
    PutDouble(head, 44, start);
    PutDouble(head, 52, stop);
    const std::string text = actions ? actions : "";
    if (!text.empty()) LOGTEXT::LogInfo("actions:%s", text.c_str());
    const int r = R2Text(*this, head, text);
    LOGTEXT::LogInfo("UpdateMedia ret= %d", ExchangeResult(r));
    return r;
}

int CKestraneStageServer::ClearAllMedia() {
    tagNETHEAD head = NewHead(NETCMD::ClearAllMedia);
    return R2(*this, head);
}

int CKestraneStageServer::SetCurrentTimeLine(double seconds) {
    tagNETHEAD head = NewHead(NETCMD::SetCurrentTimeLine);
    PutDouble(head, 44, seconds);
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("SetCurrentTimeLine ftime=%f. ret= %d", seconds, ExchangeResult(r));
    return r;
}

int CKestraneStageServer::UpdateSpecialAction2(MEDIA_HANDLE handle, const char* text) {
    tagNETHEAD head = NewHead(NETCMD::UpdateSpecialAction);
    PutInt(head, 4, static_cast<int32_t>(handle));
    const std::string actions = text ? text : "";
    if (actions.empty())
        LOGTEXT::LogInfo("update action. null");
    else
        LOGTEXT::LogInfo("update action. %s", actions.c_str());
    return R2Text(*this, head, actions);
}

int CKestraneStageServer::UpdateSpecialAction(MEDIA_HANDLE handle, const SPECIAL_ACTION_MAP& actions) {
    return UpdateSpecialAction2(handle, EncodeSepcialActionInfo(actions).c_str());
}

int CKestraneStageServer::PlayMedia() {
    tagNETHEAD head = NewHead(NETCMD::PlayMedia);
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("PlayMedia ret= %d", ExchangeResult(r));
    return r;
}

int CKestraneStageServer::StopMedia() {
    tagNETHEAD head = NewHead(NETCMD::StopMedia);
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("StopMedia ret= %d", ExchangeResult(r));
    return r;
}

int CKestraneStageServer::PauseMedia() {
    tagNETHEAD head = NewHead(NETCMD::PauseMedia);
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("PauseMedia ret= %d", ExchangeResult(r));
    return r;
}

int CKestraneStageServer::MuteMedia(int mute, MEDIA_HANDLE handle) {
    tagNETHEAD head = NewHead(NETCMD::MuteMedia);
    PutInt(head, 4, static_cast<int32_t>(handle));
    PutInt(head, 8, mute);
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("MuteMedia id=%d. ret= %d", static_cast<int>(handle), ExchangeResult(r));
    return r;
}

int CKestraneStageServer::HideMedia(int hide, MEDIA_HANDLE handle) {
    tagNETHEAD head = NewHead(NETCMD::HideMedia);
    PutInt(head, 4, static_cast<int32_t>(handle));
    PutInt(head, 8, hide);
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("HideMedia id=%d. ret= %d", static_cast<int>(handle), ExchangeResult(r));
    return r;
}

int CKestraneStageServer::SetPlayRate(double rate, MEDIA_HANDLE handle) {
    tagNETHEAD head = NewHead(NETCMD::SetPlayRate);
    PutInt(head, 4, static_cast<int32_t>(handle));
    PutDouble(head, 44, rate);
    const int r = R2(*this, head);
    LOGTEXT::LogInfo("SetPlayRate id=%d. ret= %d", static_cast<int>(handle), ExchangeResult(r));
    return r;
}

// ---------------------------------------------------------------------------
// Other

int CKestraneStageServer::SetCommonData(int a, int b, const void* data, int length) {
    if (length < 0 || !data) length = 0;
    if (static_cast<uint32_t>(length) > lintra::kMaxBodyLength) return kR1Failed;
    tagNETHEAD head = NewHead(NETCMD::SetCommonData);
    PutInt(head, 4, a);
    PutInt(head, 8, b);
    PutInt(head, 12, length);
    constexpr int kInHead = static_cast<int>(sizeof head.textParam);  // 256
    PutInt(head, 16, length < kInHead ? 1 : 0);
    if (length < kInHead) {
        // At most 255 bytes: the text area keeps its terminator.
        if (length > 0) std::memcpy(head.textParam, data, static_cast<size_t>(length));
        return R1(*this, head);
    }
    head.bodyLength = static_cast<uint32_t>(length);
    return R1Body(*this, head, data);
}
