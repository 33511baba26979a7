#include "platform/ini.h"
#include "platform/fileio.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/textcodec.h"

// How lines are read:
//  - "[name]" opens a section (the name runs to the last ']', blanks trimmed);
//  - "key=value" inside a section is a key (name and value trimmed);
//  - blank lines, lines starting with ';', lines without '=' and keys before
//    the first section are kept but never matched.
// Only the first section with a given name is ever searched or written, as
// on Windows: a key in a later section of the same name is not seen. Within
// that section the first key of a name wins.
// Deleting a section removes every section of that name, and deleting a key
// removes every copy of it in the first section, so that a read afterwards
// gives the default instead of a value that was hidden until then.

namespace platform {
namespace {

std::mutex& WriterMutex() {
    static std::mutex m;
    return m;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-blind for ASCII letters only; other bytes (UTF-8) must match exactly.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

enum class Kind { Other, Section, Key };

struct Line {
    size_t start = 0;    // first byte of the line
    size_t end = 0;      // end of the text, before CR LF
    size_t next = 0;     // first byte of the next line
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};

struct Document {
    std::string bom;   // a UTF-8 byte-order mark, kept in front
    std::string body;  // the rest of the file
    std::vector<Line> lines;
    std::string eol = "\n";
};

void Classify(Line& line, std::string_view text) {
    std::string_view t = Trim(text);
    if (t.empty() || t.front() == ';') return;
    if (t.front() == '[') {
        size_t close = t.rfind(']');
        if (close == std::string_view::npos) return;
        line.kind = Kind::Section;
        line.name = Trim(t.substr(1, close - 1));
        return;
    }
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return;
    std::string_view name = Trim(t.substr(0, eq));
    if (name.empty()) return;
    line.kind = Kind::Key;
    line.name = name;
    line.value = Trim(t.substr(eq + 1));
}

void Parse(Document& doc) {
    static constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (std::string_view(doc.body).starts_with(kBom)) {
        doc.bom = std::string(kBom);
        doc.body.erase(0, kBom.size());
    }
    const std::string_view body = doc.body;
    size_t firstLf = body.find('\n');
    if (firstLf != std::string_view::npos && firstLf > 0 && body[firstLf - 1] == '\r') doc.eol = "\r\n";
    size_t pos = 0;
    while (pos < body.size()) {
        Line line;
        line.start = pos;
        size_t lf = body.find('\n', pos);
        line.next = lf == std::string_view::npos ? body.size() : lf + 1;
        line.end = lf == std::string_view::npos ? body.size() : lf;
        if (line.end > line.start && body[line.end - 1] == '\r') --line.end;
        Classify(line, body.substr(line.start, line.end - line.start));
        doc.lines.push_back(line);
        pos = line.next;
    }
}

// Reads the whole file; nullopt when it cannot be opened.
std::optional<std::string> ReadAll(const char* file) {
    int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string data;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            errno = err;
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

// Range of the first section called name: header line index and the index
// past its last line. header == npos when there is none.
struct SectionRange {
    size_t header = std::string::npos;
    size_t end = 0;
};

SectionRange FindSection(const Document& doc, std::string_view name, size_t from = 0) {
    SectionRange r;
    for (size_t i = from; i < doc.lines.size(); ++i) {
        if (doc.lines[i].kind != Kind::Section) continue;
        if (r.header != std::string::npos) {
            r.end = i;
            return r;
        }
        if (SameName(doc.lines[i].name, name)) r.header = i;
    }
    r.end = doc.lines.size();
    return r;
}

std::optional<std::string> Lookup(const char* section, const char* key, const char* file) {
    if (!section || !key || !file) return std::nullopt;
    auto data = ReadAll(file);
    if (!data) return std::nullopt;
    Document doc;
    doc.body = std::move(*data);
    Parse(doc);
    SectionRange r = FindSection(doc, Trim(section));
    if (r.header == std::string::npos) return std::nullopt;
    std::string_view want = Trim(key);
    for (size_t i = r.header + 1; i < r.end; ++i) {
        const Line& l = doc.lines[i];
        if (l.kind != Kind::Key || !SameName(l.name, want)) continue;
        std::string_view v = l.value;
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return std::nullopt;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// The file a write goes to: the target of a symbolic link, so the link stays.
std::string WriteTarget(const char* file) {
    struct stat st {};
    if (::lstat(file, &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(file, resolved)) return resolved;
    }
    return file;
}

// A reader takes one pair of quotes off a value: a value that itself starts
// and ends with the same quote gets one more pair, so it reads back as written.
std::string StoredValue(const char* value) {
    if (!value) return {};
    std::string_view v = value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return "\"" + std::string(v) + "\"";
    return std::string(v);
}

// The line end to add after text that does not end in LF: a lone CR already
// ends the line for a reader of another system, so only the LF is missing.
std::string_view MissingLineEnd(std::string_view text, const std::string& eol) {
    if (text.empty() || text.back() == '\n') return {};
    return text.back() == '\r' ? std::string_view("\n") : std::string_view(eol);
}

std::string Edit(const Document& doc, std::string_view section, const char* key, const char* rawValue) {
    const std::string_view body = doc.body;
    const std::string stored = StoredValue(rawValue);
    const char* value = rawValue ? stored.c_str() : nullptr;
    std::vector<bool> drop(doc.lines.size(), false);
    size_t replace = std::string::npos;   // key line whose value changes
    size_t insertAfter = std::string::npos;  // line after which a new key goes
    bool appendSection = false;

    SectionRange r = FindSection(doc, section);
    if (!key) {
        // Remove every section of this name.
        for (; r.header != std::string::npos; r = FindSection(doc, section, r.end))
            for (size_t i = r.header; i < r.end; ++i) drop[i] = true;
    } else {
        std::string_view want = Trim(key);
        if (r.header == std::string::npos) {
            appendSection = value != nullptr;
        } else {
            size_t lastKey = r.header;
            for (size_t i = r.header + 1; i < r.end; ++i) {
                const Line& l = doc.lines[i];
                if (l.kind != Kind::Key) continue;
                lastKey = i;
                if (!SameName(l.name, want)) continue;
                if (!value)
                    drop[i] = true;
                else if (replace == std::string::npos)
                    replace = i;
            }
            if (value && replace == std::string::npos) insertAfter = lastKey;
        }
    }

    std::string out = doc.bom;
    out.reserve(doc.bom.size() + body.size() + 64);
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& l = doc.lines[i];
        if (drop[i]) continue;
        if (i == replace) {
            // Keep the indentation and the key's own spelling; only the value changes.
            size_t nameEnd = static_cast<size_t>(l.name.data() - body.data()) + l.name.size();
            out.append(body.substr(l.start, nameEnd - l.start));
            out += '=';
            out += value;
            out.append(body.substr(l.end, l.next - l.end));
            continue;
        }
        out.append(body.substr(l.start, l.next - l.start));
        if (i == insertAfter) {
            out += MissingLineEnd(body.substr(l.start, l.next - l.start), doc.eol);
            out += Trim(key);
            out += '=';
            out += value;
            out += doc.eol;
        }
    }
    if (appendSection) {
        if (out.size() > doc.bom.size()) out += MissingLineEnd(out, doc.eol);
        out += '[';
        out += section;
        out += ']';
        out += doc.eol;
        out += Trim(key);
        out += '=';
        out += value;
        out += doc.eol;
    }
    return out;
}

}  // namespace

uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* out, uint32_t size, const char* file) {
    if (!out || size == 0) return 0;
    auto found = Lookup(section, key, file);
    std::string_view v = found ? std::string_view(*found) : std::string_view(defaultValue ? defaultValue : "");
    // Cut at a character boundary so a UTF-8 value never ends in half a character.
    v = CutUtf8(v, size - 1);
    std::memcpy(out, v.data(), v.size());
    out[v.size()] = '\0';
    return static_cast<uint32_t>(v.size());
}

std::string GetPrivateProfileString(const char* section, const char* key, const std::string& defaultValue,
                                    const std::string& file) {
    auto found = Lookup(section, key, file.c_str());
    return found ? *found : defaultValue;
}

int32_t GetPrivateProfileInt(const char* section, const char* key, int32_t defaultValue, const char* file) {
    auto found = Lookup(section, key, file);
    if (!found) return defaultValue;
    // Like atoi, without its undefined overflow: out-of-range values saturate.
    const char* p = found->c_str();
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1) break;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
    if (!section || !file || !*file) return false;
    std::string_view sectionName = Trim(section);
    // A line break or '=' in a name, or a line break in a value, would write
    // lines that read back as other keys or sections.
    if (HasLineBreak(sectionName)) return false;
    if (key) {
        std::string_view k = Trim(key);
        if (k.empty() || HasLineBreak(k) || k.find('=') != std::string_view::npos || k.front() == ';' ||
            k.front() == '[')
            return false;
    }
    if (value && HasLineBreak(value)) return false;

    std::lock_guard<std::mutex> lock(WriterMutex());
    const std::string path = WriteTarget(file);
    auto data = ReadAll(path.c_str());
    if (!data) {
        if (errno != ENOENT) return false;
        if (!key || !value) return true;  // nothing to remove from a missing file
        data.emplace();
    }
    Document doc;
    doc.body = std::move(*data);
    Parse(doc);
    std::string out = Edit(doc, sectionName, key, value);
    if (out.size() == doc.bom.size() + doc.body.size() && out == doc.bom + doc.body) return true;
    return SaveFileAtomically(path, out);
}

}  // namespace platform
