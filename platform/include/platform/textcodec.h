// Conversions between the in-memory UTF-8 and the GBK bytes that peers and
// files of the system use. GB18030 is used for the GBK side: it writes the
// same bytes as GBK for every GBK character and loses none of the others.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

std::string Utf8ToGbk(std::string_view utf8);
// Invalid input bytes become U+FFFD; never throws.
std::string GbkToUtf8(std::string_view gbk);

// The longest prefix of at most maxBytes bytes that ends on a character boundary.
std::string_view CutUtf8(std::string_view utf8, size_t maxBytes);
std::string_view CutGbk(std::string_view gbk, size_t maxBytes);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Converts utf8 to GBK and stores it in a fixed field of fieldSize bytes:
// at most fieldSize - 1 bytes, cut at a character boundary, then NUL padding.
void StoreGbkField(char* field, size_t fieldSize, std::string_view utf8);
// Reads a GBK field that may lack its terminator and returns UTF-8.
std::string LoadGbkField(const char* field, size_t fieldSize);

}  // namespace platform
