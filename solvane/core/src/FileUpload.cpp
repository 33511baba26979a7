// Receiving uploaded media files (codes 1201 to 1204): check, prepare, chunk
// and finish, with a ".dncfg" side file beside the target that names the
// upload in progress so that a later check can let the console resume.
//
// Every step runs under the core's command lock (the dispatcher takes it), so
// a step always sees the side file and the target as the previous step left
// them. Two uploads of one name with different content: the newest prepare
// wins. It takes the name over (new side file, target started anew) and the
// chunks of the displaced upload are refused, because they carry the other
// identity at +84; the displaced console sees refusals and reports failure.
// Two uploads of the same content share the side file and write the same
// bytes at the same offsets: a prepare of the upload in progress keeps the
// file as it is, and once one of them has finished, the others' remaining
// chunks and their finish are taken as done on the whole file.
//
// The target only ever grows as a prefix of the announced file: a chunk must
// start at or before the target's current end and end at or before the
// announced size, so a resume from the target's size is always sound.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "CommandUtil.h"
#include "core/MediaFiles.h"
#include "core/MediaManager.h"
#include "lintra/filekit.h"
#include "lintra/netcodes.h"
#include "platform/fd.h"
#include "platform/fileio.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "util/Util.h"

namespace {

constexpr int32_t kHeldWhole = 1000;
constexpr int32_t kResume = 1;
constexpr int32_t kStartAnew = 2;
constexpr auto& kSideSuffix = kUploadSideSuffix;
constexpr char kSideSection[] = "FileStatus";
// Where the identity text lies in a head: +4 in check, prepare and finish;
// +84 in a chunk (+4 holds the chunk length there). Both areas end before
// the next field, so the text never runs into it.
constexpr size_t kIdentityAt = 4;
constexpr size_t kIdentityArea = 40;
constexpr size_t kChunkIdentityAt = 84;
constexpr int kResumeOffsetParam = 5;  // +84, the resume offset of prepare

struct SideStatus {
    std::string md5;
    int64_t size = 0;
};

using FinishedUploads = std::map<std::string, std::pair<std::string, int64_t>>;
// Finished uploads remembered; the oldest by name go first past this.
constexpr size_t kFinishedUploadsKept = 256;

// Whether the target is the whole file of an upload that finished, of this
// identity (any, when empty).
bool FinishedWhole(const FinishedUploads& finished, const std::string& target, const std::string& identity) {
    const auto it = finished.find(target);
    if (it == finished.end() || (!identity.empty() && identity != it->second.first)) return false;
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           static_cast<int64_t>(st.st_size) == it->second.second;
}

bool IsIdentity(const std::string& s) {
    if (s.size() != 32) return false;
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string HeadIdentity(const tagNETHEAD& head, size_t at) {
    char text[kIdentityArea];
    cmdutil::ReadHeadBytes(head, at, text, sizeof text);
    return std::string(text, strnlen(text, sizeof text));
}

// The side file as its upload wrote it; nullopt for a missing, unreadable
// or damaged one, which then counts as no upload in progress.
std::optional<SideStatus> ReadSideFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    char md5[261] = {};
    platform::GetPrivateProfileString(kSideSection, "MD5", "", md5, sizeof md5, path.c_str());
    char sizeText[64] = {};
    platform::GetPrivateProfileString(kSideSection, "FileSize", "", sizeText, sizeof sizeText, path.c_str());
    SideStatus s;
    s.md5 = md5;
    const char* end = sizeText + std::strlen(sizeText);
    const auto [p, ec] = std::from_chars(sizeText, end, s.size);
    if (!IsIdentity(s.md5) || ec != std::errc() || p != end || s.size < 0) {
        LOGTEXT::LogError("upload status file %s is damaged; ignored", path.c_str());
        return std::nullopt;
    }
    return s;
}

bool WriteSideFile(const std::string& path, const std::string& md5, int64_t size) {
    const std::string text = std::string("[") + kSideSection + "]\nMD5=" + md5 +
                             "\nFileSize=" + std::to_string(size) + "\n";
    return platform::SaveFileAtomically(path, text);
}

// Size of a regular file; nullopt when there is none.
std::optional<int64_t> RegularFileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<int64_t>(st.st_size);
}

// Whether the file holds these bytes at offset.
bool SameBytesAt(const std::string& path, int64_t offset, const uint8_t* data, size_t length) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    std::string held(length, '\0');
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd.get(), held.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return std::memcmp(held.data(), data, length) == 0;
}

bool WriteAll(int fd, const uint8_t* data, size_t length, int64_t offset) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd, data + done, length - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void UploadCheck(const tagNETHEAD& head, const std::string& target, const std::string& sidePath,
                                tagNETHEAD& reply) {
    const std::string announced = HeadIdentity(head, kIdentityAt);
    const int64_t size = lintra::GetInt64Param(head, 0);
    reply.intParam[0] = 0;
    if (!IsIdentity(announced) || size < 0) {
        LOGTEXT::LogError("upload check of %s refused: identity '%s', size %lld", target.c_str(), announced.c_str(),
                          static_cast<long long>(size));
        return;
    }
    const std::optional<SideStatus> side = ReadSideFile(sidePath);

    int64_t localSize = 0;
    if (RegularFileSize(target)) {
        std::string local;
        const bool haveIdentity = LINTRA_FILEKIT::GetMD5FromFile(target.c_str(), local);
        platform::UniqueFd fd(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
        const int e = fd.get() < 0 ? errno : 0;
        LOGTEXT::LogDebug("check file %s. remote md5=%s,this md5=%s. hfile=%d,e=%d", target.c_str(),
                          announced.c_str(), local.c_str(), fd.get(), e);
        struct stat st {};
        bool sized = false;
        if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0) {
            localSize = static_cast<int64_t>(st.st_size);
            sized = true;
        } else {
            LOGTEXT::LogDebug("get file size failed,e=%d", fd.get() < 0 ? e : errno);
        }
        if (haveIdentity && sized && local == announced && localSize == size) {
            reply.intParam[0] = kHeldWhole;
            return;
        }
    }
    // Only a strict prefix of the same announced file may be continued: a
    // target as long as the file (or longer) but not identical is damaged.
    if (side && side->md5 == announced && side->size == size && localSize < size) {
        reply.intParam[0] = kResume;
        lintra::SetInt64Param(reply, 0, localSize);
        return;
    }
    reply.intParam[0] = kStartAnew;
    lintra::SetInt64Param(reply, 0, 0);
}

void UploadPrepare(const tagNETHEAD& head, const std::string& target, const std::string& sidePath,
                   FinishedUploads& finished, tagNETHEAD& reply) {
    const std::string announced = HeadIdentity(head, kIdentityAt);
    const int64_t size = lintra::GetInt64Param(head, 0);
    const int64_t offset = lintra::GetInt64Param(head, kResumeOffsetParam);
    reply.intParam[0] = 0;
    if (!IsIdentity(announced) || size < 0) {
        LOGTEXT::LogError("upload prepare of %s refused: identity '%s', size %lld", target.c_str(), announced.c_str(),
                          static_cast<long long>(size));
        return;
    }

    // The target is made ready before the side file names the new upload, so
    // that a crash in between never lets a later check resume over content
    // of another file.
    const std::optional<SideStatus> side = ReadSideFile(sidePath);
    const std::optional<int64_t> localSize = RegularFileSize(target);
    if (!side && FinishedWhole(finished, target, announced) && finished.at(target).second == size) {
        // Another console has just finished this very file.
        reply.intParam[0] = 1;
        return;
    }
    const bool same = side && side->md5 == announced && side->size == size;
    const bool resume = offset > 0 && same && localSize && offset <= *localSize && offset <= size;
    if (same && offset == 0 && localSize && *localSize <= size) {
        // The same file is being received already (another console sends
        // it too): keep what has come, both write the same bytes.
        reply.intParam[0] = 1;
        return;
    }
    finished.erase(target);
    if (resume) {
        // Whatever lies past the resume point is written again.
        if (*localSize > offset && ::truncate(target.c_str(), static_cast<off_t>(offset)) != 0) {
            LOGTEXT::LogError("upload prepare: cut %s to %lld failed. e=%d", target.c_str(),
                              static_cast<long long>(offset), errno);
            return;
        }
    } else {
        if (offset != 0)
            LOGTEXT::LogInfo("upload prepare: %s cannot resume at %lld; starts anew", target.c_str(),
                             static_cast<long long>(offset));
        if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
            // The old content stays: no side file may claim it for this upload.
            LOGTEXT::LogError("create file failed.for prepare file upload. e=%d", errno);
            return;
        }
        platform::UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (fd.get() < 0) {
            // The first chunk tries again.
            LOGTEXT::LogError("create file failed.for prepare file upload. e=%d", errno);
        }
    }
    if (!WriteSideFile(sidePath, announced, size)) {
        LOGTEXT::LogError("upload prepare: write %s failed. e=%d", sidePath.c_str(), errno);
        return;
    }
    reply.intParam[0] = 1;
}

void UploadChunk(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                 const std::string& target, const std::string& sidePath, const FinishedUploads& finished,
                 tagNETHEAD& reply) {
    reply.intParam[0] = 0;
    const std::optional<SideStatus> side = ReadSideFile(sidePath);
    if (!side) {
        // Another console finished the same file: this chunk is in it.
        const int64_t offset = lintra::GetInt64Param(head, 0);
        const int32_t length = head.intParam[0];
        if (FinishedWhole(finished, target, HeadIdentity(head, kChunkIdentityAt)) && length > 0 && body &&
            static_cast<uint32_t>(length) <= bodyLength && offset >= 0 &&
            offset <= finished.at(target).second - length && SameBytesAt(target, offset, body, length)) {
            reply.intParam[0] = 1;
            return;
        }
        LOGTEXT::LogError("upload chunk for %s refused: no upload prepared", target.c_str());
        return;
    }
    // A console that tags its chunks names its upload; an untagged chunk is
    // taken for the upload in progress.
    const std::string tag = HeadIdentity(head, kChunkIdentityAt);
    if (!tag.empty() && tag != side->md5) {
        LOGTEXT::LogError("upload chunk for %s refused: it belongs to upload %s, %s is in progress", target.c_str(),
                          tag.c_str(), side->md5.c_str());
        return;
    }
    const int32_t length = head.intParam[0];
    const int64_t offset = lintra::GetInt64Param(head, 0);
    if (length <= 0 || !body || static_cast<uint32_t>(length) > bodyLength) {
        LOGTEXT::LogError("upload chunk for %s refused: length %d with %u bytes", target.c_str(), length, bodyLength);
        return;
    }
    if (offset < 0 || offset > side->size || length > side->size - offset) {
        LOGTEXT::LogError("upload chunk for %s refused: %d bytes at %lld beyond the announced size %lld",
                          target.c_str(), length, static_cast<long long>(offset), static_cast<long long>(side->size));
        return;
    }

    int raw = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (raw < 0) {
        LOGTEXT::LogError("create file failed. path=%s.for upload command. e=%d", target.c_str(), errno);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        raw = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (raw < 0) return;
    }
    platform::UniqueFd fd(raw);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || offset > static_cast<int64_t>(st.st_size)) {
        // A chunk past the end would leave a hole that a resume takes for data.
        LOGTEXT::LogError("upload chunk for %s refused: offset %lld past the end of the file", target.c_str(),
                          static_cast<long long>(offset));
        return;
    }
    if (!WriteAll(fd.get(), body, static_cast<size_t>(length), offset)) {
        LOGTEXT::LogError("upload chunk for %s: write of %d bytes at %lld failed. e=%d", target.c_str(), length,
                          static_cast<long long>(offset), errno);
        return;
    }
    reply.intParam[0] = 1;
}

void UploadFinish(const tagNETHEAD& head, const std::string& target, const std::string& sidePath,
                  FinishedUploads& finished, tagNETHEAD& reply) {
    reply.intParam[0] = 0;
    const std::optional<SideStatus> side = ReadSideFile(sidePath);
    if (!side) {
        if (FinishedWhole(finished, target, HeadIdentity(head, kIdentityAt))) {
            reply.intParam[0] = 1;
            return;
        }
        // Nothing in progress (or a damaged status): nothing to keep either.
        if (::unlink(sidePath.c_str()) == 0) reply.intParam[0] = 1;
        return;
    }
    const std::string announced = HeadIdentity(head, kIdentityAt);
    if (!announced.empty() && announced != side->md5) {
        LOGTEXT::LogError("upload end for %s ignored: upload %s is in progress, not %s", target.c_str(),
                          side->md5.c_str(), announced.c_str());
        return;
    }
    const std::optional<int64_t> localSize = RegularFileSize(target);
    if (!localSize || *localSize != side->size) {
        // Kept, so that the next upload of this file resumes instead of
        // taking an incomplete file for whole.
        LOGTEXT::LogError("upload end for %s: %lld of %lld bytes held; status kept", target.c_str(),
                          static_cast<long long>(localSize.value_or(-1)), static_cast<long long>(side->size));
        return;
    }
    if (::unlink(sidePath.c_str()) != 0) {
        LOGTEXT::LogError("upload end: remove %s failed. e=%d", sidePath.c_str(), errno);
        return;
    }
    if (finished.size() >= kFinishedUploadsKept && !finished.count(target)) finished.erase(finished.begin());
    finished[target] = {side->md5, side->size};
    reply.intParam[0] = 1;
}

}  // namespace

int32_t CMediaManager::OnFileUploadCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                           tagNETHEAD& reply, std::vector<uint8_t>& /*replyBody*/) {
    // The name from the wire is cut to its last component, so an upload
    // always lands in the media folder; a name that would be taken for
    // another upload's side file is refused too.
    const std::string wireName = cmdutil::HeadText(head);
    std::optional<std::string> name = platform::SafeFileName(wireName);
    const size_t suffixLength = sizeof kSideSuffix - 1;
    if (name && name->size() >= suffixLength &&
        name->compare(name->size() - suffixLength, suffixLength, kSideSuffix) == 0)
        name.reset();
    if (!name) {
        LOGTEXT::LogError("upload command %u: file name refused: %s", head.command, wireName.c_str());
        reply.intParam[0] = 0;
        return 0;
    }
    const std::string folder =
        m_strMediaFolder.empty() ? platform::JoinPath(m_strProgramFolder, "media") : m_strMediaFolder;
    const std::string target = platform::JoinPath(folder, *name);
    const std::string sidePath = target + kSideSuffix;
    // Only regular files directly inside the folder are created or replaced:
    // a link placed there could point the write anywhere, and a device or
    // FIFO would hang or misbehave.
    for (const std::string& path : {target, sidePath}) {
        struct stat st;
        // (A folder in the way fails later, as any unwritable target does.)
        if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            LOGTEXT::LogError("upload command %u: %s is not a regular file.", head.command, path.c_str());
            reply.intParam[0] = 0;
            return 0;
        }
    }

    switch (head.command) {
        case NETCMD::UploadQuery:
            UploadCheck(head, target, sidePath, reply);
            break;
        case NETCMD::UploadStart:
            platform::MakeDirs(folder);
            UploadPrepare(head, target, sidePath, m_finishedUploads, reply);
            break;
        case NETCMD::UploadData:
            UploadChunk(head, body, bodyLength, target, sidePath, m_finishedUploads, reply);
            break;
        case NETCMD::UploadEnd:
            UploadFinish(head, target, sidePath, m_finishedUploads, reply);
            break;
        default:
            break;
    }
    return 0;
}
