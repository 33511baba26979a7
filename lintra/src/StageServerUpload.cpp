// Resumable upload of one file in 8 MiB chunks (codes 1201 to 1204).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "lintra/KestraneStageServer.h"
#include "platform/fd.h"
#include "lintra/filekit.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
#include "platform/packed.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "util/Util.h"

namespace {

constexpr size_t kChunkBytes = 8u * 1024u * 1024u;
// Failed tries in a row (exchanges and connects) before the upload gives up;
// refilled only by a chunk the server accepted.
constexpr int kRetryBudget = 20;
// Reconnects over the whole upload, whatever progress is made in between.
constexpr int kMaxReconnects = 100;
constexpr int kRetryPauseMs = 300;
constexpr int kReconnectTimeoutSeconds = 2;
constexpr int32_t kStatusHeldWhole = 1000;
constexpr int32_t kStatusHeldPart = 1;

enum ProgressState { kLocalFailure = -1, kTransferFailure = 0, kProgress = 1, kFinished = 2 };

using Fd = platform::UniqueFd;

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Reads want bytes at position; false (logged unless quiet) when the file
// fails or has become shorter than it was when the upload began.
bool ReadChunk(int fd, uint8_t* buffer, int64_t position, size_t want, bool quiet = false) {
    size_t got = 0;
    while (got < want) {
        const ssize_t r = ::pread(fd, buffer + got, want - got, static_cast<off_t>(position) + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            if (!quiet) LOGTEXT::LogInfo("UploadData. readfile failed . e=%d", errno);
            return false;
        }
        if (r == 0) {
            if (!quiet) LOGTEXT::LogInfo("UploadData. readfile count=0 . e=%d", 0);
            return false;
        }
        got += static_cast<size_t>(r);
    }
    return true;
}

// The next chunk is read while the current one is on the wire: a chunk waits
// for its answer before the next goes, and the link would idle for the read.
class ChunkReader {
public:
    explicit ChunkReader(int fd) : fd_(fd), current_(new uint8_t[kChunkBytes]), spare_(new uint8_t[kChunkBytes]) {}
    ~ChunkReader() { Settle(); }
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // The chunk at position, from the read ahead when it is that one.
    bool Read(int64_t position, size_t want) {
        if (ahead_.valid() && aheadPosition_ == position && aheadWant_ == want) {
            const bool ok = ahead_.get();
            std::swap(current_, spare_);
            if (ok) return true;
            // A failed read ahead is tried again here and logged by it.
        }
        Settle();
        return ReadChunk(fd_, current_.get(), position, want);
    }
    void ReadAhead(int64_t position, size_t want) {
        Settle();
        if (want == 0) return;
        aheadPosition_ = position;
        aheadWant_ = want;
        uint8_t* into = spare_.get();
        const int fd = fd_;
        // Quietly: a failure is logged when the chunk is read for real.
        ahead_ = std::async(std::launch::async, [fd, into, position, want] {
            return ReadChunk(fd, into, position, want, true);
        });
    }
    uint8_t* data() { return current_.get(); }

private:
    void Settle() {
        if (ahead_.valid()) ahead_.wait();
        ahead_ = {};
    }

    int fd_;
    std::unique_ptr<uint8_t[]> current_, spare_;
    std::future<bool> ahead_;
    int64_t aheadPosition_ = -1;
    size_t aheadWant_ = 0;
};

// The fields every upload head carries: identity text at +4, size at +44
// and the file name (last component, GBK, 255 bytes at most) at +124.
tagNETHEAD UploadHead(uint32_t command, const std::string& identity, int64_t size, const std::string& name) {
    tagNETHEAD h;
    lintra::InitHead(h, command);
    char id[33] = {};
    std::memcpy(id, identity.data(), std::min(identity.size(), sizeof id - 1));
    std::memcpy(reinterpret_cast<uint8_t*>(&h) + 4, id, sizeof id);
    lintra::SetInt64Param(h, 0, size);
    platform::StoreGbkField(h.textParam, sizeof h.textParam, name);
    return h;
}

}  // namespace

int CKestraneStageServer::UploadFile(const char* path, UPLOAD_PROGRESS_CALLBACK callback, void* user) {
    auto report = [&](int state, int64_t total, int64_t done) {
        return callback ? callback(state, total, done, user) : 1;
    };

    LOGTEXT::LogInfo("enter uploadfile");
    if (!IsConnected()) {
        LOGTEXT::LogInfo("leave uploadfile for not connect");
        return -1;
    }
    if (!path) {
        LOGTEXT::LogInfo("leave uploadfile for path=NULL");
        return -1;
    }
    LOGTEXT::LogInfo("filepath=%s", path);

    std::string identity;
    if (!LINTRA_FILEKIT::GetMD5FromFile(path, identity)) {
        LOGTEXT::LogInfo("leave uploadfile for getmd5");
        return -1;
    }
    if (identity.empty()) {
        LOGTEXT::LogInfo("leave uploadfile for getmd5. empty");
        return -1;
    }

    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int e = errno;
        report(kLocalFailure, 0, 0);
        LOGTEXT::LogInfo("leave uploadfile for open file. e=%d", e);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        const int e = errno;
        report(kLocalFailure, 0, 0);
        LOGTEXT::LogInfo("leave uploadfile for get file size. e=%d", e);
        return -1;
    }
    const int64_t size = st.st_size;
    if (size == 0) {
        report(kLocalFailure, 0, 0);
        LOGTEXT::LogInfo("leave uploadfile for file size=0. e=%d", 0);
        return -1;
    }
    // The name of the full path, not of a path cut to the field's size.
    const std::string name(platform::LastComponent(path));

    tagNETHEAD query = UploadHead(NETCMD::UploadQuery, identity, size, name);
    if (!SendSimpleCommand(query)) {
        report(kTransferFailure, size, 0);
        LOGTEXT::LogInfo("leave uploadfile for send query status failed. e=%d", errno);
        return -1;
    }
    const int32_t status = query.intParam[0];
    if (status == kStatusHeldWhole) {
        report(kFinished, size, size);
        LOGTEXT::LogInfo("leave uploadfile for always sended");
        return 0;
    }
    int64_t offset = status == kStatusHeldPart ? lintra::GetInt64Param(query, 0) : 0;
    if (offset < 0 || offset > size) {
        // A part larger than the file (or negative) cannot be ours: start anew.
        LOGTEXT::LogInfo("UploadData. remote offset %lld out of 0..%lld, start from 0", static_cast<long long>(offset),
                         static_cast<long long>(size));
        offset = 0;
    }

    tagNETHEAD start = UploadHead(NETCMD::UploadStart, identity, size, name);
    lintra::SetInt64Param(start, 5, offset);
    SendSimpleCommand(start);  // its reply carries nothing the upload needs

    char idText[33] = {};
    std::memcpy(idText, identity.data(), std::min(identity.size(), sizeof idText - 1));

    bool good = true;
    int64_t position = offset;
    int budget = kRetryBudget;
    int reconnects = 0;
    ChunkReader reader(fd.get());
    const std::string serverIp = GetServerAddress();
    const unsigned serverPort = GetServerPort();

    while (position < size) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kChunkBytes), size - position));
        if (!reader.Read(position, want)) {
            good = false;
            break;
        }
        const int64_t next = position + static_cast<int64_t>(want);
        reader.ReadAhead(next, static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kChunkBytes), size - next)));

        tagNETHEAD chunk;
        lintra::InitHead(chunk, NETCMD::UploadData);
        chunk.intParam[0] = static_cast<int32_t>(want);
        lintra::SetInt64Param(chunk, 0, position);
        // The identity tags the chunk as this upload's, so that a server on
        // which a newer upload of the same name began refuses it.
        std::memcpy(reinterpret_cast<uint8_t*>(&chunk) + 84, idText, sizeof idText);
        platform::StoreGbkField(chunk.textParam, sizeof chunk.textParam, name);
        chunk.bodyLength = static_cast<uint32_t>(want);

        if (SendAdvancedCommand(chunk, reader.data(), nullptr)) {
            if (chunk.intParam[0] != 0) {
                position += static_cast<int64_t>(want);
                budget = kRetryBudget;
                if (report(kProgress, size, position) == 0) {
                    LOGTEXT::LogInfo("UploadData:callback over.");
                    if (position != size) good = false;
                    break;
                }
            } else {
                // Refused: the chunk goes again, but the upload no longer ends well.
                good = false;
                report(kTransferFailure, size, position);
                LOGTEXT::LogInfo("UploadData:server return error data failed");
                if (--budget <= 0) break;
            }
            continue;
        }

        if (!IsConnected()) {
            // The owner closed the session: no reconnect behind its back.
            LOGTEXT::LogInfo("UploadData. send advanced failed for disconnect. e=%d", errno);
            budget = 0;
        }
        if (--budget <= 0) {
            good = false;
            report(kTransferFailure, size, position);
            LOGTEXT::LogInfo("UploadData:Send data failed");
            break;
        }
        Pause(kRetryPauseMs);
        Disconnect();
        bool connected = false;
        while (budget > 0 && reconnects < kMaxReconnects) {
            ++reconnects;
            if (ConnectServer(serverIp.c_str(), serverPort, kReconnectTimeoutSeconds)) {
                connected = true;
                break;
            }
            Pause(kRetryPauseMs);
            --budget;
        }
        if (!connected) {
            good = false;
            report(kTransferFailure, size, position);
            LOGTEXT::LogInfo("UploadData:Send data failed");
            break;
        }
    }

    if (position != size) good = false;
    if (good) {
        report(kFinished, size, position);
        tagNETHEAD end = UploadHead(NETCMD::UploadEnd, identity, size, name);
        SendSimpleCommand(end);
        LOGTEXT::LogInfo("UploadData:stop send..");
    }
    LOGTEXT::LogInfo("leave uploadfile");
    return good ? 0 : 1;
}
