// The video and image file lists of the media folder, the file-type tests by
// extension and the capture-device list.
#include "core/MediaFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>

#include "core/MediaManager.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/videodev.h"
#include "util/Util.h"

namespace fs = std::filesystem;

namespace {

// Deeper folders are not searched: a tree that deep is a mistake, and the
// recursion must stay bounded.
constexpr int kMaxFolderDepth = 32;
constexpr const char* kImagePatterns = "*.jpg|*.bmp|*.png";

// The extension list built from a pattern text, kept until the text changes.
// Locked because the lists may be rebuilt from the command thread and a
// dialog's thread at once.
struct ExtensionList {
    std::mutex mu;
    bool built = false;
    std::string patterns;
    std::vector<std::string> extensions;
};
ExtensionList g_videoExtensions;
ExtensionList g_imageExtensions;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool MatchesExtension(ExtensionList& list, const std::string& patterns, const std::string& path) {
    std::lock_guard lock(list.mu);
    if (!list.built || list.patterns != patterns) {
        list.extensions.clear();
        size_t start = 0;
        while (start <= patterns.size()) {
            size_t end = patterns.find_first_of("|;", start);
            if (end == std::string::npos) end = patterns.size();
            std::string_view piece(patterns.data() + start, end - start);
            const size_t dot = piece.find('.');
            if (dot != std::string_view::npos) piece.remove_prefix(dot + 1);
            piece = Trim(piece);
            // An empty piece (a stray "|") would make every name ending in
            // "." match.
            if (!piece.empty()) list.extensions.emplace_back(piece);
            start = end + 1;
        }
        list.patterns = patterns;
        list.built = true;
    }
    const size_t dot = path.rfind('.');
    const std::string_view ext = dot == std::string::npos ? std::string_view(path)
                                                           : std::string_view(path).substr(dot + 1);
    return std::any_of(list.extensions.begin(), list.extensions.end(),
                       [&](const std::string& e) { return EqualNoCase(e, ext); });
}

struct FolderEntry {
    std::string name;
    bool folder = false;   // a real sub-folder (not a link to one)
    bool file = false;     // a regular file or a link to one
};

// The entries of one folder sorted by name, so that the lists (and which
// files fall past the limit) do not depend on the file system's order.
// A scan reads at most this many entries in all, however large or deep the
// folder: it runs under the command lock.
constexpr size_t kMaxScanEntries = 10000;

bool ReadFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::error_code& ec,
                size_t limit = kMaxScanEntries) {
    entries.clear();
    fs::directory_iterator it(folder, ec);
    if (ec) return false;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        if (entries.size() >= limit) {
            LOGTEXT::LogInfo("scan of %s stopped after %zu entries.", folder.c_str(), kMaxScanEntries);
            break;
        }
        const fs::directory_entry& e = *it;
        std::error_code statEc;
        FolderEntry entry;
        entry.name = e.path().filename().string();
        // A linked folder could lead out of the media folder or back into
        // itself: only real sub-folders are searched.
        entry.folder = !e.is_symlink(statEc) && e.is_directory(statEc);
        entry.file = !entry.folder && e.is_regular_file(statEc);
        entries.push_back(std::move(entry));
    }
    ec.clear();
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

// Whether a name can go into the lists: the joined text separates paths
// with '*', and peers receive the names in GBK, so a name must be UTF-8.
bool ListableName(const std::string& name) {
    if (name.find('*') != std::string::npos || !platform::IsValidUtf8(name)) {
        LOGTEXT::LogDebug("skip file name %s", platform::IsValidUtf8(name) ? name.c_str() : "(not UTF-8)");
        return false;
    }
    return true;
}

// Names with an upload side file beside them: files still being received
// (or left by an upload that was cut), not media to offer.
std::set<std::string> NamesBeingUploaded(const std::vector<FolderEntry>& entries) {
    std::set<std::string> names;
    const std::string_view suffix = kUploadSideSuffix;
    for (const FolderEntry& e : entries)
        if (e.name.size() > suffix.size() &&
            e.name.compare(e.name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.insert(e.name.substr(0, e.name.size() - suffix.size()));
    return names;
}

struct FoundFiles {
    std::vector<std::string> paths;
    size_t scanned = 0;       // folder entries read so far, across sub-folders
    size_t countBefore = 0;   // paths already in the list
    bool full = false;
    size_t Count() const { return countBefore + paths.size(); }
};

bool SearchVideos(const std::string& folder, const std::string& patterns, FoundFiles& found, int depth) {
    const std::string pattern = platform::JoinPath(folder, "*.*");
    LOGTEXT::LogDebug("enum v path = %s", pattern.c_str());
    std::vector<FolderEntry> entries;
    std::error_code ec;
    if (found.scanned >= kMaxScanEntries) return true;
    if (!ReadFolder(folder, entries, ec, kMaxScanEntries - found.scanned)) {
        LOGTEXT::LogError("find %s failed .e=%d", pattern.c_str(), ec.value());
        return false;
    }
    found.scanned += entries.size();
    const std::set<std::string> uploading = NamesBeingUploaded(entries);
    for (const FolderEntry& entry : entries) {
        if (found.full) break;
        const std::string path = platform::JoinPath(folder, entry.name);
        if (entry.folder) {
            if (depth < kMaxFolderDepth) SearchVideos(path, patterns, found, depth + 1);
            continue;
        }
        if (!entry.file || !IsVideoFile(path, patterns) || !ListableName(entry.name) || uploading.count(entry.name))
            continue;
        found.paths.push_back(path);
        // The limit holds for the whole search: a search that went on in
        // the enclosing folders would add a path for every further folder.
        if (found.Count() > kMediaFileListLimit) {
            LOGTEXT::LogInfo("enum count >1000");
            found.full = true;
        }
    }
    return true;
}

void AppendJoined(std::vector<std::string>& list, std::string& joined, const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        if (!joined.empty() || !list.empty()) joined += '*';
        joined += p;
        list.push_back(p);
    }
}

}  // namespace

bool AcceptableMediaFolder(const std::string& folder) {
    if (folder.empty() || folder[0] != '/') return false;
    std::error_code ec;
    const fs::path real = fs::canonical(folder, ec);
    if (ec || !fs::is_directory(real, ec)) return false;
    const std::string p = real.string();
    if (p == "/") return false;
    auto under = [&](std::string_view tree) {
        return p.compare(0, tree.size(), tree) == 0 && (p.size() == tree.size() || p[tree.size()] == '/');
    };
    if (under("/var/tmp")) return true;
    for (std::string_view tree : {"/bin", "/boot", "/dev", "/etc", "/proc", "/run", "/sbin", "/sys", "/usr", "/var"})
        if (under(tree)) return false;
    // "/lib", "/lib64", "/libx32" and the like.
    const std::string top = p.substr(0, p.find('/', 1));
    return top.compare(0, 4, "/lib") != 0;
}

std::optional<std::string> WireMediaFolder(const std::string& folder, const std::string& root) {
    if (!AcceptableMediaFolder(folder) || root.empty()) return std::nullopt;
    std::error_code ec;
    const std::string real = fs::canonical(folder, ec).string();
    if (ec) return std::nullopt;
    const std::string top = fs::canonical(root, ec).string();
    if (ec) return std::nullopt;
    const bool below = real.compare(0, top.size(), top) == 0 &&
                       (real.size() == top.size() || real[top.size()] == '/' || top == "/");
    if (!below) return std::nullopt;
    return real;
}

bool IsVideoFile(const std::string& path, const std::string& patterns) {
    return MatchesExtension(g_videoExtensions, patterns, path);
}

bool IsImageFile(const std::string& path, const std::string& patterns) {
    return MatchesExtension(g_imageExtensions, patterns, path);
}

bool IsVideoFile(const std::string& path) { return IsVideoFile(path, GetMediaManager()->m_strMediaVideoExtension); }

bool IsImageFile(const std::string& path) { return IsImageFile(path, kImagePatterns); }

// ---- the lists of the core ----

bool CMediaManager::RefreshMediaFileLists(const std::string& folder) {
    {
        std::lock_guard lock(m_csFileLists);
        m_videoFiles.clear();
        m_strVideoFiles.clear();
        m_imageFiles.clear();
        m_strImageFiles.clear();
    }
    m_strMediaFolder = folder;
    return EnumMediaFiles(folder) && EnumImageFiles(folder);
}

std::optional<std::string> CMediaManager::MediaFolderFile(const std::string& name) const {
    return platform::JoinSafe(m_strMediaFolder, platform::LastComponent(name));
}

bool CMediaManager::EnumMediaFiles(const std::string& folder) {
    FoundFiles found;
    {
        std::lock_guard lock(m_csFileLists);
        found.countBefore = m_videoFiles.size();
    }
    // A list already past the limit takes nothing more.
    if (found.countBefore > kMediaFileListLimit) found.full = true;
    if (!SearchVideos(folder, m_strMediaVideoExtension, found, 0)) return false;
    std::lock_guard lock(m_csFileLists);
    AppendJoined(m_videoFiles, m_strVideoFiles, found.paths);
    return true;
}

bool CMediaManager::EnumImageFiles(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code ec;
    if (!ReadFolder(folder, entries, ec)) return false;
    const std::set<std::string> uploading = NamesBeingUploaded(entries);
    std::lock_guard lock(m_csFileLists);
    std::vector<std::string> paths;
    size_t count = m_imageFiles.size();
    for (const FolderEntry& entry : entries) {
        if (count > kMediaFileListLimit) {
            LOGTEXT::LogDebug("enum image count >1000");
            break;
        }
        if (!entry.file || uploading.count(entry.name)) continue;
        std::string path = platform::JoinPath(folder, entry.name);
        if (!IsImageFile(path, m_strPictureFilter) || !ListableName(entry.name)) continue;
        paths.push_back(std::move(path));
        ++count;
    }
    AppendJoined(m_imageFiles, m_strImageFiles, paths);
    return true;
}

std::vector<std::string> CMediaManager::VideoFiles() {
    std::lock_guard lock(m_csFileLists);
    return m_videoFiles;
}

std::string CMediaManager::VideoFileText() {
    std::lock_guard lock(m_csFileLists);
    return m_strVideoFiles;
}

std::vector<std::string> CMediaManager::ImageFiles() {
    std::lock_guard lock(m_csFileLists);
    return m_imageFiles;
}

std::string CMediaManager::ImageFileText() {
    std::lock_guard lock(m_csFileLists);
    return m_strImageFiles;
}

// ---- capture devices ----

int32_t EnumCaptureDevices(std::vector<std::string>& list) {
    list.clear();
    int error = 0;
    for (auto& device : platform::ListVideoCaptureDevices(&error)) list.push_back(std::move(device.name));
    return error;
}
