#include "XmlScan.h"

#include <algorithm>
#include <cstring>

#include "core/XmlDocument.h"

namespace xmlscan {

namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

int32_t Find(std::string_view doc, std::string_view what, int32_t from) {
    if (from < 0 || size_t(from) > doc.size()) return -1;
    const size_t at = doc.find(what, size_t(from));
    return at == std::string_view::npos ? -1 : int32_t(at);
}

// Skips a quoted string starting at pos (doc[pos] is the quote); returns the
// position after the closing quote or -1 when there is none.
int32_t SkipQuoted(std::string_view doc, int32_t pos) {
    const int32_t close = Find(doc, std::string_view(&doc[pos], 1), pos + 1);
    return close < 0 ? -1 : close + 1;
}

}  // namespace

bool IsNameEnd(char c) {
    if (IsSpace(c)) return true;
    switch (c) {
    case '!': case '"': case '\'': case '/': case ';': case '<': case '=': case '>': case '?':
    case '\\':
        return true;
    default:
        return false;
    }
}

int32_t NameLength(std::string_view doc, int32_t pos) {
    int32_t i = pos;
    while (size_t(i) < doc.size() && !IsNameEnd(doc[i])) ++i;
    return i - pos;
}

bool EqualFold(std::string_view a, std::string_view b, bool fold) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold ? FoldAscii(a[i]) != FoldAscii(b[i]) : a[i] != b[i]) return false;
    }
    return true;
}

bool MatchName(std::string_view token, const char* name, bool fold) {
    if (!name) return false;
    size_t i = 0;
    for (; i < token.size(); ++i) {
        if (name[i] == '\0') return false;
        if (fold ? FoldAscii(token[i]) != FoldAscii(name[i]) : token[i] != name[i]) return false;
    }
    const char c = name[i];
    return c == '\0' || c == ' ' || c == '=' || c == '/' || c == '[' || c == ']';
}

int ScanNode(std::string_view doc, int32_t pos, Node& node, std::string* log) {
    const int32_t len = int32_t(doc.size());
    node = Node{};
    node.start = pos;
    if (pos >= len) return -2;

    if (doc[pos] != '<') {
        int32_t end = pos;
        bool blank = true;
        while (end < len && doc[end] != '<') {
            if (!IsSpace(doc[end])) blank = false;
            ++end;
        }
        node.length = end - pos;
        return blank ? CXmlDocument::kNodeWhitespace : CXmlDocument::kNodeText;
    }

    auto unterminated = [&](const char* type) {
        AddResult(log, "unterminated_tag_syntax", "type", type, "offset", pos);
        node.length = len - pos;
        return -1;
    };
    // A malformed tag: scanning resumes right after its "<".
    auto syntax = [&](const char* code, int32_t offset) {
        AddResult(log, code, nullptr, {}, "offset", offset);
        node.length = 1;
        return -1;
    };
    auto endingAt = [&](std::string_view closer, int32_t from, const char* type, int result) {
        const int32_t close = Find(doc, closer, from);
        if (close < 0) return unterminated(type);
        node.length = close + int32_t(closer.size()) - pos;
        return result;
    };

    if (pos + 1 >= len) return unterminated("tag");
    const char c = doc[pos + 1];
    if (c == '?') {
        node.nameStart = pos + 2;
        node.nameLength = NameLength(doc, pos + 2);
        return endingAt("?>", pos + 2, "processing_instruction",
                        CXmlDocument::kNodeProcessingInstruction);
    }
    if (c == '!') {
        if (pos + 2 >= len) return unterminated("tag");
        const char c2 = doc[pos + 2];
        if (c2 == '-') {
            if (pos + 3 >= len) return unterminated("comment");
            if (doc[pos + 3] != '-') return syntax("comment_tag_syntax", pos);
            return endingAt("-->", pos + 4, "comment", CXmlDocument::kNodeComment);
        }
        if (c2 == '[') {
            if (pos + 3 >= len) return unterminated("cdata_section");
            if (doc[pos + 3] != 'C') return syntax("cdata_section_syntax", pos);
            return endingAt("]]>", pos + 3, "cdata_section", CXmlDocument::kNodeCData);
        }
        if (c2 != 'D') return syntax("exclamation_tag_syntax", pos);
        // Document type declaration: quoted strings and an internal subset are skipped.
        int32_t i = pos + 3;
        while (i < len) {
            const char ch = doc[i];
            if (ch == '"' || ch == '\'') {
                i = SkipQuoted(doc, i);
                if (i < 0) return unterminated("document_type");
            } else if (ch == '[') {
                ++i;
                for (;;) {
                    if (i >= len) return unterminated("document_type");
                    const char s = doc[i];
                    if (IsSpace(s)) {
                        ++i;
                    } else if (s == ']') {
                        ++i;
                        break;
                    } else if (s == '%') {
                        const int32_t semi = Find(doc, ";", i);
                        if (semi < 0) return unterminated("document_type");
                        i = semi + 1;
                    } else if (doc.substr(size_t(i), 4) == "<!--") {
                        const int32_t close = Find(doc, "-->", i + 4);
                        if (close < 0) return unterminated("document_type");
                        i = close + 3;
                    } else if (doc.substr(size_t(i), 2) == "<?") {
                        const int32_t close = Find(doc, "?>", i + 2);
                        if (close < 0) return unterminated("document_type");
                        i = close + 2;
                    } else if (doc.substr(size_t(i), 2) == "<!") {
                        i += 2;
                        while (i < len && doc[i] != '>') {
                            if (doc[i] == '"' || doc[i] == '\'') {
                                i = SkipQuoted(doc, i);
                                if (i < 0) return unterminated("document_type");
                            } else {
                                ++i;
                            }
                        }
                        if (i >= len) return unterminated("document_type");
                        ++i;
                    } else {
                        return syntax("doctype_tag_syntax", i);
                    }
                }
            } else if (ch == '>') {
                node.length = i + 1 - pos;
                return CXmlDocument::kNodeDocType;
            } else {
                ++i;
            }
        }
        return unterminated("document_type");
    }
    if (c == '/') {
        node.nameStart = pos + 2;
        node.nameLength = NameLength(doc, pos + 2);
        return endingAt(">", pos + 2, "end_tag", CXmlDocument::kNodeEndTag);
    }
    if (IsNameEnd(c)) return syntax("first_tag_syntax", pos);

    node.nameStart = pos + 1;
    node.nameLength = NameLength(doc, pos + 1);
    int32_t i = pos + 1 + node.nameLength;
    while (i < len) {
        const char ch = doc[i];
        if (ch == '"' || ch == '\'') {
            i = SkipQuoted(doc, i);
            if (i < 0) return unterminated("start_tag");
        } else if (ch == '>') {
            node.length = i + 1 - pos;
            node.empty = doc[i - 1] == '/';
            return CXmlDocument::kNodeElement;
        } else {
            ++i;
        }
    }
    return unterminated("start_tag");
}

bool FindAttribute(std::string_view doc, int32_t tagStart, int32_t tagLength, const char* name,
                   bool fold, AttrPos& attr, int32_t* insertAt) {
    const int32_t end = tagStart + tagLength;
    // Where the tag's closing "/>", "?>" or ">" begins: an attribute whose
    // quote is never closed must not swallow it, nor may a new attribute go
    // after it.
    int32_t closeAt = end;
    if (end - 1 > tagStart && doc[end - 1] == '>') {
        closeAt = end - 1;
        if (end - 2 > tagStart && (doc[end - 2] == '/' || doc[end - 2] == '?')) closeAt = end - 2;
    }
    int32_t i = tagStart + 1;
    if (i < end && doc[i] == '?') ++i;
    while (i < end && !IsNameEnd(doc[i])) ++i;
    if (insertAt) *insertAt = std::min(i, closeAt);
    // The closing "/>" or "?>" ends a bare value as well as the tag.
    auto atClose = [&](int32_t k) {
        return doc[k] == '>' || (k == end - 2 && (doc[k] == '/' || doc[k] == '?') && doc[end - 1] == '>');
    };
    for (;;) {
        while (i < end && IsSpace(doc[i])) ++i;
        if (i >= end) return false;
        const char c = doc[i];
        if (c == '>' || c == '/' || c == '?') return false;
        const int32_t nameStart = i;
        while (i < end && !IsSpace(doc[i]) && doc[i] != '/' && doc[i] != '=' && doc[i] != '>' &&
               doc[i] != '?')
            ++i;
        const int32_t nameLength = i - nameStart;
        if (nameLength == 0) {  // a stray "=": skip it
            ++i;
            continue;
        }
        AttrPos found;
        int32_t j = i;
        while (j < end && IsSpace(doc[j])) ++j;
        if (j < end && doc[j] == '=') {
            ++j;
            while (j < end && IsSpace(doc[j])) ++j;
            found.hasValue = true;
            found.rawStart = j;
            if (j < end && (doc[j] == '"' || doc[j] == '\'')) {
                const size_t close = doc.substr(0, size_t(end)).find(doc[j], size_t(j) + 1);
                found.valueStart = j + 1;
                if (close == std::string_view::npos) {
                    found.valueLength = std::max(closeAt - found.valueStart, 0);
                    found.rawLength = std::max(closeAt - j, 0);
                } else {
                    found.valueLength = int32_t(close) - found.valueStart;
                    found.rawLength = int32_t(close) + 1 - j;
                }
            } else {
                int32_t k = j;
                while (k < end && !IsSpace(doc[k]) && !atClose(k)) ++k;
                found.valueStart = j;
                found.valueLength = k - j;
                found.rawLength = k - j;
            }
            i = found.rawStart + found.rawLength;
        }
        if (insertAt) *insertAt = std::min(i, closeAt);
        if (MatchName(doc.substr(size_t(nameStart), size_t(nameLength)), name, fold)) {
            if (!found.hasValue) {
                found.rawStart = found.valueStart = nameStart + nameLength;
            }
            attr = found;
            return true;
        }
    }
}

namespace {

void AppendAttr(std::string& rec, const char* key, std::string_view value) {
    rec += ' ';
    rec += key;
    rec += "=\"";
    rec += CXmlDocument::EscapeText(value, true);
    rec += '"';
}

}  // namespace

void AddResult(std::string* log, const char* code, const char* textKey, std::string_view text,
               const char* numKey, int64_t num, bool withOffset2, int64_t offset2) {
    if (!log || log->size() >= kMaxResultLog) return;
    std::string rec = "<";
    rec += code;
    if (textKey && !text.empty()) AppendAttr(rec, textKey, text);
    if (numKey) AppendAttr(rec, numKey, std::to_string(num));
    if (withOffset2) AppendAttr(rec, "offset2", std::to_string(offset2));
    rec += "/>";
    *log += rec;
}

void AmendResult(std::string* log, const char* code, const char* textKey, std::string_view text) {
    if (!log) return;
    CXmlDocument records{std::string_view(*log)};
    if (records.FindElement(code) && records.SetAttribute(textKey, text)) *log = records.GetDoc();
}

}  // namespace xmlscan
