// Node scanner, name matching, attribute lookup and the result log shared by
// the XML document and its file layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xmlscan {

// Documents never grow past this, so that every position fits a 32-bit int
// with room to spare for a splice.
inline constexpr int64_t kMaxDocLength = int64_t(1) << 30;

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// Characters that end a name. UTF-8 lead and trail bytes are never ASCII, so
// stepping byte by byte keeps multi-byte characters whole.
bool IsNameEnd(char c);
// Length of the name starting at pos.
int32_t NameLength(std::string_view doc, int32_t pos);
bool EqualFold(std::string_view a, std::string_view b, bool fold);
// Whether the token equals name, where name may continue with one of
// " =/[]" (a path segment with a predicate matches the bare name).
bool MatchName(std::string_view token, const char* name, bool fold);

struct Node {
    int32_t start = 0;
    int32_t length = 0;
    int32_t nameStart = 0;   // start and end tags, processing instructions
    int32_t nameLength = 0;
    bool empty = false;      // start tag closed by "/>"
};
// Classifies the node at pos: its type, -1 after logging a syntax error (the
// node then covers what to skip), -2 at the end of the text.
int ScanNode(std::string_view doc, int32_t pos, Node& node, std::string* log);

struct AttrPos {
    int32_t rawStart = 0;    // value with its quotes, if any
    int32_t rawLength = 0;
    int32_t valueStart = 0;  // value without quotes
    int32_t valueLength = 0;
    bool hasValue = false;   // false: a bare name; the positions lie after it
};
// Looks name up among the attributes of the tag [tagStart, tagStart + tagLength).
// insertAt receives the end of the last attribute (or of the tag name).
bool FindAttribute(std::string_view doc, int32_t tagStart, int32_t tagLength, const char* name,
                   bool fold, AttrPos& attr, int32_t* insertAt = nullptr);

// Result log: one empty element per event, kept while the log is shorter
// than 1,000 characters. A null or empty text or key leaves that attribute out.
inline constexpr size_t kMaxResultLog = 1000;
void AddResult(std::string* log, const char* code, const char* textKey = nullptr,
               std::string_view text = {}, const char* numKey = nullptr, int64_t num = 0,
               bool withOffset2 = false, int64_t offset2 = 0);
// Adds or replaces a text attribute of the first record named code.
void AmendResult(std::string* log, const char* code, const char* textKey, std::string_view text);

}  // namespace xmlscan
