#include "platform/textcodec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// One converter per thread and direction: iconv descriptors keep state and
// must not be shared, and opening one per call is slow.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts in; a byte that cannot be converted is replaced by bad and
    // skipped. Never fails.
    std::string Run(std::string_view in, std::string_view bad) {
        std::string out;
        if (!ok()) return out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        size_t used = 0;
        for (;;) {
            char* dst = out.data() + used;
            size_t dstLeft = out.size() - used;
            size_t rc = srcLeft ? iconv(cd_, &src, &srcLeft, &dst, &dstLeft)
                                : iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
            int err = errno;
            used = out.size() - dstLeft;
            if (rc != static_cast<size_t>(-1)) {
                if (srcLeft == 0) break;
                continue;
            }
            if (err == E2BIG) {
                out.resize(out.size() * 2);
            } else if (err == EILSEQ || err == EINVAL) {
                // Invalid (or cut off at the end): replace one byte and go on.
                out.resize(std::max(out.size(), used + bad.size() + 16));
                std::memcpy(out.data() + used, bad.data(), bad.size());
                used += bad.size();
                ++src;
                --srcLeft;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            } else {
                break;
            }
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t cd_;
};

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    // A byte that is not UTF-8 becomes '?', as Windows writes for characters
    // it cannot convert.
    thread_local Converter conv("GB18030", "UTF-8");
    return conv.Run(utf8, "?");
}

std::string GbkToUtf8(std::string_view gbk) {
    thread_local Converter conv("UTF-8", "GB18030");
    return conv.Run(gbk, "\xEF\xBF\xBD");
}

std::string_view CutUtf8(std::string_view utf8, size_t maxBytes) {
    if (utf8.size() <= maxBytes) return utf8;
    // Step back over at most three continuation bytes to the start of the
    // character that would be split; bytes that are not UTF-8 are cut anywhere.
    size_t cut = maxBytes;
    for (int i = 0; i < 3 && cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80; ++i) --cut;
    if ((static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) cut = maxBytes;
    return utf8.substr(0, cut);
}

std::string_view CutGbk(std::string_view gbk, size_t maxBytes) {
    if (gbk.size() <= maxBytes) return gbk;
    // Trail bytes overlap ASCII and lead bytes, so walk from the start.
    size_t pos = 0;
    for (;;) {
        unsigned char c = static_cast<unsigned char>(gbk[pos]);
        size_t len = 1;
        if (IsGbkLead(c) && pos + 1 < gbk.size()) {
            unsigned char c2 = static_cast<unsigned char>(gbk[pos + 1]);
            len = (c2 >= 0x30 && c2 <= 0x39) ? 4 : 2;  // GB18030 four-byte form
        }
        if (pos + len > maxBytes) break;
        pos += len;
    }
    return gbk.substr(0, pos);
}

void StoreGbkField(char* field, size_t fieldSize, std::string_view utf8) {
    if (!field || fieldSize == 0) return;
    std::string gbk = Utf8ToGbk(utf8);
    std::string_view cut = CutGbk(gbk, fieldSize - 1);
    // A NUL inside the text would end it early on the other side anyway.
    cut = cut.substr(0, std::min(cut.size(), cut.find('\0')));
    std::memcpy(field, cut.data(), cut.size());
    std::memset(field + cut.size(), 0, fieldSize - cut.size());
}

std::string LoadGbkField(const char* field, size_t fieldSize) {
    if (!field) return {};
    return GbkToUtf8(std::string_view(field, strnlen(field, fieldSize)));
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > text.size()) return false;
        for (size_t k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace platform
