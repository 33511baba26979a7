// File layer of the XML document: byte-order marks, the declared encoding,
// UTF-8 detection and conversion between the file's encoding and the UTF-8
// text in memory. GBK family encodings go through the platform's GB18030
// codec, which writes the same bytes as GBK for every GBK character.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "XmlScan.h"
#include "core/XmlDocument.h"
#include "platform/fileio.h"
#include "platform/textcodec.h"

using namespace xmlscan;

namespace {

constexpr int32_t kCpMemory = 65001;  // the document text in memory is UTF-8
constexpr int32_t kCpUtf8 = 65001;
constexpr int32_t kCpUtf16Le = 1200;
constexpr int32_t kCpUtf16Be = 1201;
constexpr int32_t kCpUtf32 = 65005;
constexpr int32_t kCpGbk = 936;
constexpr int32_t kCpGb18030 = 54936;
constexpr int32_t kCpGb2312 = 20936;
constexpr int32_t kCpLatin1 = 28591;
constexpr int32_t kCpWindows1252 = 1252;
constexpr int32_t kCpAscii = 20127;
// Files without a declaration that are not UTF-8 come from peers that write
// their ANSI code page.
constexpr int32_t kCpLegacyAnsi = kCpGbk;

// Whole files are read into memory; the cap keeps every converted text
// within the document's 32-bit positions.
constexpr int64_t kMaxFileBytes = int64_t(256) << 20;

// Names this build converts. Encodings without a converter here (Big5,
// Shift_JIS, EUC-KR, UTF-7, HZ) are left out, so their bytes are taken as
// they are, like any name the table does not know.
struct EncodingName {
    const char* name;
    int32_t codePage;
};
constexpr EncodingName kEncodings[] = {
    {"utf-8", kCpUtf8}, {"utf8", kCpUtf8}, {"unicode-1-1-utf-8", kCpUtf8}, {"unicode-2-0-utf-8", kCpUtf8},
    {"x-unicode20utf8", kCpUtf8},
    {"utf-16", kCpUtf16Le}, {"utf-16le", kCpUtf16Le}, {"unicode", kCpUtf16Le}, {"ucs-2", kCpUtf16Le},
    {"iso-10646-ucs-2", kCpUtf16Le}, {"unicodefeff", kCpUtf16Le},
    {"utf-16be", kCpUtf16Be}, {"unicodefffe", kCpUtf16Be},
    {"gb2312", kCpGbk}, {"gbk", kCpGbk}, {"cp936", kCpGbk}, {"ms936", kCpGbk}, {"windows-936", kCpGbk},
    {"chinese", kCpGbk}, {"csgb2312", kCpGbk}, {"csgb231280", kCpGbk}, {"gb_2312-80", kCpGbk},
    {"iso-ir-58", kCpGbk}, {"x-gbk", kCpGbk},
    {"gb18030", kCpGb18030}, {"x-cp20936", kCpGb2312},
    {"iso-8859-1", kCpLatin1}, {"iso_8859-1", kCpLatin1}, {"iso8859-1", kCpLatin1}, {"latin1", kCpLatin1},
    {"l1", kCpLatin1}, {"cp819", kCpLatin1}, {"ibm819", kCpLatin1}, {"iso-ir-100", kCpLatin1},
    {"csisolatin1", kCpLatin1}, {"iso_8859-1:1987", kCpLatin1},
    {"windows-1252", kCpWindows1252}, {"cp1252", kCpWindows1252}, {"x-ansi", kCpWindows1252},
    {"us-ascii", kCpAscii}, {"ascii", kCpAscii}, {"us", kCpAscii}, {"ansi_x3.4-1968", kCpAscii},
    {"ansi_x3.4-1986", kCpAscii}, {"iso646-us", kCpAscii}, {"cp367", kCpAscii}, {"ibm367", kCpAscii},
    {"csascii", kCpAscii}, {"iso-ir-6", kCpAscii},
};

// Windows-1252 0x80-0x9F; the five unassigned bytes map to the C1 controls.
constexpr uint16_t kWin1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Decodes UTF-8 strictly; every invalid sequence becomes "?" and counts as a failure.
void DecodeUtf8(std::string_view s, std::vector<char32_t>& out, int32_t& failed) {
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int n = 0;
        char32_t cp = 0, min = 0;
        if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; min = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; min = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; min = 0x10000; }
        bool ok = n > 0;
        for (int k = 1; ok && k <= n; ++k) {
            if (i + size_t(k) >= s.size()) { ok = false; break; }
            const unsigned char t = static_cast<unsigned char>(s[i + size_t(k)]);
            if ((t & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (t & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back('?');
            ++failed;
            ++i;
            continue;
        }
        out.push_back(cp);
        i += size_t(n) + 1;
    }
}

bool IsValidUtf8(std::string_view s) {
    std::vector<char32_t> cps;
    int32_t failed = 0;
    DecodeUtf8(s, cps, failed);
    return failed == 0;
}

void EncodeUtf8(const std::vector<char32_t>& cps, std::string& out) {
    for (const char32_t cp : cps) platform::AppendUtf8(out, cp);
}

size_t CountOf(std::string_view s, std::string_view what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string_view::npos; at = s.find(what, at + what.size())) ++n;
    return n;
}

bool Decode(int32_t cp, std::string_view src, std::vector<char32_t>& out, int32_t& failed) {
    switch (cp) {
    case kCpUtf8:
        DecodeUtf8(src, out, failed);
        return true;
    case kCpUtf16Le:
    case kCpUtf16Be: {
        const size_t units = src.size() / 2;
        auto unit = [&](size_t k) -> char32_t {
            const unsigned char a = static_cast<unsigned char>(src[2 * k]);
            const unsigned char b = static_cast<unsigned char>(src[2 * k + 1]);
            return cp == kCpUtf16Le ? char32_t(a | (b << 8)) : char32_t((a << 8) | b);
        };
        for (size_t k = 0; k < units; ++k) {
            const char32_t u = unit(k);
            if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
                const char32_t v = unit(k + 1);
                if (v >= 0xDC00 && v <= 0xDFFF) {
                    out.push_back((((u & 0x3FF) << 10) | (v & 0x3FF)) + 0x10000);
                    ++k;
                    continue;
                }
            }
            if (u >= 0xD800 && u <= 0xDFFF) {
                out.push_back('?');
                ++failed;
            } else {
                out.push_back(u);
            }
        }
        if (src.size() % 2) ++failed;
        return true;
    }
    case kCpUtf32:
        for (size_t k = 0; k + 4 <= src.size(); k += 4) {
            char32_t c = 0;
            for (int b = 3; b >= 0; --b) c = (c << 8) | static_cast<unsigned char>(src[k + size_t(b)]);
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
                out.push_back('?');
                ++failed;
            } else {
                out.push_back(c);
            }
        }
        if (src.size() % 4) ++failed;
        return true;
    case kCpGbk:
    case kCpGb18030:
    case kCpGb2312: {
        const std::string utf8 = platform::GbkToUtf8(src);
        // Bytes the codec could not read come back as U+FFFD; count those
        // that were not U+FFFD in the source already.
        const size_t replaced = CountOf(utf8, "\xEF\xBF\xBD");
        const size_t genuine = CountOf(src, "\x84\x31\xA4\x37");
        if (replaced > genuine) failed += int32_t(replaced - genuine);
        DecodeUtf8(utf8, out, failed);
        return true;
    }
    case kCpLatin1:
        for (const char c : src) out.push_back(static_cast<unsigned char>(c));
        return true;
    case kCpWindows1252:
        for (const char c : src) {
            const unsigned char b = static_cast<unsigned char>(c);
            out.push_back(b >= 0x80 && b < 0xA0 ? char32_t(kWin1252High[b - 0x80]) : char32_t(b));
        }
        return true;
    case kCpAscii:
        for (const char c : src) {
            const unsigned char b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out.push_back(b);
            } else {
                out.push_back('?');
                ++failed;
            }
        }
        return true;
    default:
        return false;
    }
}

bool Encode(int32_t cp, const std::vector<char32_t>& cps, std::string& out, int32_t& failed) {
    switch (cp) {
    case kCpUtf8:
        EncodeUtf8(cps, out);
        return true;
    case kCpUtf16Le:
    case kCpUtf16Be: {
        auto put = [&](char32_t u) {
            const char lo = char(u & 0xFF), hi = char((u >> 8) & 0xFF);
            if (cp == kCpUtf16Le) {
                out += lo;
                out += hi;
            } else {
                out += hi;
                out += lo;
            }
        };
        for (const char32_t c : cps) {
            if (c > 0xFFFF) {
                put(0xD800 | (((c - 0x10000) >> 10) & 0x3FF));
                put(0xDC00 | (c & 0x3FF));
            } else {
                put(c);
            }
        }
        return true;
    }
    case kCpUtf32:
        for (const char32_t c : cps) {
            for (int b = 0; b < 4; ++b) out += char((c >> (8 * b)) & 0xFF);
        }
        return true;
    case kCpGbk:
    case kCpGb18030:
    case kCpGb2312: {
        std::string utf8;
        EncodeUtf8(cps, utf8);
        out += platform::Utf8ToGbk(utf8);
        return true;
    }
    case kCpLatin1:
    case kCpAscii:
    case kCpWindows1252:
        for (const char32_t c : cps) {
            const char32_t limit = cp == kCpAscii ? 0x80 : 0x100;
            if (c < limit && !(cp == kCpWindows1252 && c >= 0x80 && c < 0xA0)) {
                out += char(c);
                continue;
            }
            int found = -1;
            if (cp == kCpWindows1252) {
                for (int k = 0; k < 32; ++k) {
                    if (kWin1252High[k] == c) found = k;
                }
            }
            if (found >= 0) {
                out += char(0x80 + found);
            } else {
                out += '?';
                ++failed;
            }
        }
        return true;
    default:
        return false;
    }
}

// Code page for conversion: the empty name is the in-memory text.
int32_t ConversionCodePage(std::string_view encoding) {
    const int32_t cp = CXmlDocument::GetEncodingCodePage(encoding);
    return cp == 0 ? kCpMemory : cp;
}

bool ConvertCodePages(int32_t to, int32_t from, std::string_view src, std::string& out, int32_t& failed) {
    std::vector<char32_t> cps;
    cps.reserve(src.size());
    if (!Decode(from, src, cps, failed)) return false;
    out.clear();
    out.reserve(cps.size() + cps.size() / 100 + 16);
    return Encode(to, cps, out, failed);
}

void LogFileError(std::string* log, int err) {
    std::string msg = std::strerror(err);
    const size_t cut = msg.find_first_of("\r\n");
    if (cut != std::string::npos) msg.resize(cut);
    if (msg.size() > 100) msg.resize(100);
    AddResult(log, "file_error", "msg", msg, "n", err);
}

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace

int32_t CXmlDocument::GetEncodingCodePage(std::string_view encoding) {
    if (encoding.empty()) return 0;
    if (encoding.size() >= 6 && EqualFold(encoding.substr(0, 6), "UTF-32", true)) return kCpUtf32;
    if (encoding.size() >= 100) return -1;
    std::string lower(encoding);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    for (const EncodingName& e : kEncodings) {
        if (lower == e.name) return e.codePage;
    }
    return -1;
}

bool CXmlDocument::EncodingsDiffer(std::string_view a, std::string_view b) {
    int32_t cpA = GetEncodingCodePage(a);
    int32_t cpB = GetEncodingCodePage(b);
    if (cpA == -1 || cpB == -1) return false;
    if (cpA == 0) cpA = kCpMemory;
    if (cpB == 0) cpB = kCpMemory;
    return cpA != cpB;
}

bool CXmlDocument::ConvertText(std::string_view toEncoding, std::string_view fromEncoding,
                               std::string_view src, std::string& out, int32_t* failed) {
    int32_t lost = 0;
    const int32_t to = ConversionCodePage(toEncoding);
    const int32_t from = ConversionCodePage(fromEncoding);
    const bool ok = to != -1 && from != -1 && ConvertCodePages(to, from, src, out, lost);
    if (failed) *failed = lost;
    return ok;
}

std::string CXmlDocument::GetDeclaredEncoding(std::string_view text) {
    if (int64_t(text.size()) >= kMaxDocLength) return {};
    bool firstElementSeen = false;
    int32_t pos = 0;
    for (;;) {
        Node node;
        const int type = ScanNode(text, pos, node, nullptr);
        if (type < 0) return {};
        pos = node.start + node.length;
        const std::string_view name = text.substr(size_t(node.nameStart), size_t(node.nameLength));
        if (type == kNodeProcessingInstruction && node.start == 0 && EqualFold(name, "xml", true)) {
            AttrPos attr;
            if (!xmlscan::FindAttribute(text, node.start, node.length, "encoding", true, attr)) return {};
            return UnescapeText(text.substr(size_t(attr.valueStart), size_t(attr.valueLength)));
        }
        if (type == kNodeElement) {
            if (!firstElementSeen) {
                firstElementSeen = true;
                if (!EqualFold(name, "html", true)) return {};
                continue;
            }
            if (!EqualFold(name, "meta", true)) continue;
            AttrPos attr;
            if (!xmlscan::FindAttribute(text, node.start, node.length, "http-equiv", true, attr)) continue;
            const std::string equiv =
                UnescapeText(text.substr(size_t(attr.valueStart), size_t(attr.valueLength)));
            if (!EqualFold(equiv, "Content-Type", true)) continue;
            if (!xmlscan::FindAttribute(text, node.start, node.length, "content", true, attr)) continue;
            const std::string content =
                UnescapeText(text.substr(size_t(attr.valueStart), size_t(attr.valueLength)));
            // Tokens of the content value; "charset" "=" token gives the encoding.
            std::vector<std::string> tokens;
            for (size_t i = 0; i < content.size();) {
                const char c = content[i];
                if (IsSpace(c) || c == ';') {
                    ++i;
                } else if (c == '=') {
                    tokens.emplace_back("=");
                    ++i;
                } else {
                    size_t j = i;
                    while (j < content.size() && !IsSpace(content[j]) && content[j] != ';' && content[j] != '=')
                        ++j;
                    tokens.emplace_back(content.substr(i, j - i));
                    i = j;
                }
            }
            for (size_t k = 0; k + 2 < tokens.size(); ++k) {
                if (EqualFold(tokens[k], "charset", true) && tokens[k + 1] == "=") return tokens[k + 2];
            }
            continue;
        }
        if (type == kNodeEndTag && firstElementSeen && EqualFold(name, "head", true)) return {};
    }
}

bool CXmlDocument::ReadTextFile(const std::string& path, std::string& text, std::string* log,
                                int32_t* flags) {
    text.clear();
    std::string opLog;
    int32_t f = flags ? *flags : 0;
    auto finish = [&](bool ok) {
        f &= ~(kDocReadFile | kDocWriteFile | kDocAppendFile);
        if (flags) *flags = f;
        if (log) *log = std::move(opLog);
        if (!ok) text.clear();
        return ok;
    };

    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        LogFileError(&opLog, errno);
        return finish(false);
    }
    f |= kDocReadFile;
    int64_t length = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        LogFileError(&opLog, errno);
        return finish(false);
    }
    if (length > kMaxFileBytes) {
        LogFileError(&opLog, EFBIG);
        return finish(false);
    }
    char head[1024];
    const size_t headLength = size_t(std::min<int64_t>(length, int64_t(sizeof head)));
    if (headLength > 0 && std::fread(head, 1, headLength, file.get()) != headLength) {
        LogFileError(&opLog, std::ferror(file.get()) ? errno : EIO);
        return finish(false);
    }
    const std::string_view start(head, headLength);

    // A stale big-endian flag from an earlier read must not swap this file.
    f &= ~(kDocUtf16LeFile | kDocUtf8Bom | kDocUtf16BeFile);
    std::string encoding;
    int32_t unitSize = 1;
    int32_t bomLength = 0;
    if (start.substr(0, 3) == "\xEF\xBB\xBF") {
        f |= kDocUtf8Bom;
        encoding = "UTF-8";
        bomLength = 3;
    } else if (start.substr(0, 2) == "\xFF\xFE") {
        f |= kDocUtf16LeFile;
        encoding = "UTF-16LE";
        unitSize = 2;
        bomLength = 2;
    } else if (start.substr(0, 2) == "\xFE\xFF") {
        f |= kDocUtf16BeFile;
        encoding = "UTF-16BE";
        unitSize = 2;
        bomLength = 2;
    } else {
        encoding = GetDeclaredEncoding(start);
        if (encoding.empty() && !start.empty() && start[0] == '<') encoding = "UTF-8";
    }
    if (std::fseek(file.get(), bomLength, SEEK_SET) != 0) {
        LogFileError(&opLog, errno);
        return finish(false);
    }
    if (bomLength) AddResult(&opLog, "bom");

    const size_t bytes = size_t(length - bomLength);
    std::string raw(bytes, '\0');
    if (bytes > 0 && std::fread(raw.data(), 1, bytes, file.get()) != bytes) {
        LogFileError(&opLog, std::ferror(file.get()) ? errno : EIO);
        return finish(false);
    }
    AddResult(&opLog, "read", "encoding", encoding, "length", int64_t(bytes / size_t(unitSize)));

    if (bytes > 0) {
        // Zero units are dropped: the document text is NUL-free.
        size_t removed = 0;
        if (unitSize == 1) {
            const auto end = std::remove(raw.begin(), raw.end(), '\0');
            removed = size_t(raw.end() - end);
            raw.erase(end, raw.end());
        } else {
            raw.resize(raw.size() & ~size_t(1));
            size_t out = 0;
            for (size_t k = 0; k < raw.size(); k += 2) {
                if (raw[k] == 0 && raw[k + 1] == 0) {
                    ++removed;
                    continue;
                }
                raw[out] = raw[k];
                raw[out + 1] = raw[k + 1];
                out += 2;
            }
            raw.resize(out);
        }
        if (removed) AddResult(&opLog, "nulls_removed", nullptr, {}, "count", int64_t(removed));
        if (f & kDocUtf16BeFile) {
            for (size_t k = 0; k + 1 < raw.size(); k += 2) std::swap(raw[k], raw[k + 1]);
            AddResult(&opLog, "endian_swap");
        }

        int32_t lost = 0;
        if (unitSize == 2) {
            ConvertCodePages(kCpMemory, kCpUtf16Le, raw, text, lost);
            AddResult(&opLog, "converted_to", nullptr, {}, "length", int64_t(text.size()));
            if (lost) AddResult(&opLog, "conversion_loss");
        } else if (EncodingsDiffer(encoding, "")) {
            ConvertCodePages(kCpMemory, ConversionCodePage(encoding), raw, text, lost);
            AddResult(&opLog, "converted_to", nullptr, {}, "length", int64_t(text.size()));
            if (lost) AddResult(&opLog, "conversion_loss");
        } else if (encoding.empty()) {
            if (IsValidUtf8(raw)) {
                AmendResult(&opLog, "read", "encoding", "UTF-8");
                text = std::move(raw);
            } else {
                ConvertCodePages(kCpMemory, kCpLegacyAnsi, raw, text, lost);
                AddResult(&opLog, "converted_to", nullptr, {}, "length", int64_t(text.size()));
                if (lost) AddResult(&opLog, "conversion_loss");
            }
            AddResult(&opLog, "utf8_detection");
        } else {
            text = std::move(raw);
        }
    }
    if (int64_t(text.size()) >= kMaxDocLength) {
        LogFileError(&opLog, EFBIG);
        return finish(false);
    }

    if (std::fclose(file.release()) != 0) {
        LogFileError(&opLog, errno);
        return finish(false);
    }
    return finish(true);
}

bool CXmlDocument::WriteTextFile(const std::string& path, const std::string& text, std::string* log,
                                 int32_t* flags) {
    std::string opLog;
    int32_t f = flags ? *flags : 0;
    auto finish = [&](bool ok) {
        f &= ~(kDocReadFile | kDocWriteFile | kDocAppendFile);
        if (flags) *flags = f;
        if (log) *log = std::move(opLog);
        return ok;
    };

    std::string encoding;
    int32_t unitSize = 1;
    std::string_view bom;
    if (f & kDocUtf8Bom) {
        encoding = "UTF-8";
        bom = "\xEF\xBB\xBF";
    } else if (f & kDocUtf16LeFile) {
        encoding = "UTF-16LE";
        unitSize = 2;
        bom = "\xFF\xFE";
    } else if (f & kDocUtf16BeFile) {
        encoding = "UTF-16BE";
        unitSize = 2;
        bom = "\xFE\xFF";
    }
    if (bom.empty() && !text.empty()) {
        encoding = GetDeclaredEncoding(text);
        if (encoding.empty()) encoding = "UTF-8";
    }

    // Converted before the file is touched; logged in the order of writing.
    std::string bytes;
    std::string convertLog;
    if (!text.empty()) {
        int32_t lost = 0;
        if (unitSize == 2) {
            ConvertCodePages(f & kDocUtf16BeFile ? kCpUtf16Be : kCpUtf16Le, kCpMemory, text, bytes, lost);
            AddResult(&convertLog, "converted_from", nullptr, {}, "length", int64_t(text.size()));
            if (f & kDocUtf16BeFile) AddResult(&convertLog, "endian_swap");
            if (lost) AddResult(&convertLog, "conversion_loss");
        } else if (EncodingsDiffer(encoding, "")) {
            ConvertCodePages(ConversionCodePage(encoding), kCpMemory, text, bytes, lost);
            AddResult(&convertLog, "converted_from", nullptr, {}, "length", int64_t(text.size()));
            if (lost) AddResult(&convertLog, "conversion_loss");
        } else {
            bytes = text;
        }
    }

    // The file is replaced whole, so a crash never leaves half a document.
    f |= kDocWriteFile;
    if (!bom.empty()) AddResult(&opLog, "bom");
    opLog += convertLog;
    std::string out;
    out.reserve(bom.size() + bytes.size());
    out.append(bom);
    out.append(bytes);
    if (!platform::SaveFileAtomically(path, out)) {
        LogFileError(&opLog, errno);
        return finish(false);
    }
    AddResult(&opLog, "write", "encoding", encoding, "length", int64_t(bytes.size() / size_t(unitSize)));
    return finish(true);
}
