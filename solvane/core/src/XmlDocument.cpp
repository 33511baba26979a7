#include "core/XmlDocument.h"
#include "platform/textcodec.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "XmlScan.h"

using namespace xmlscan;

// One record per element. Every field is a full 32-bit int: tag lengths and
// nesting depth come from documents received over the network, so none of
// them is squeezed into a bit field that a long tag or a deep nest could
// overflow. Depth is not stored at all; it follows from the parent links.
struct CXmlDocument::ElemPos {
    int32_t start;
    int32_t length;
    int32_t startTagLength;
    int32_t endTagLength;
    int32_t flags;
    int32_t parent;
    int32_t child;
    int32_t next;
    int32_t prev;  // the first child keeps the index of the last sibling here
};

// Records lie in segments of 65,536 so that growing never moves the records
// already given out; only the last, partly used segment is re-allocated.
struct CXmlDocument::ElemStore {
    static constexpr int32_t kSegmentBits = 16;
    static constexpr int32_t kSegmentSize = 1 << kSegmentBits;

    std::vector<std::unique_ptr<ElemPos[]>> segments;
    int32_t lastSegmentSize = 0;
    int32_t capacity = 0;

    ElemPos& At(int32_t i) { return segments[size_t(i >> kSegmentBits)][i & (kSegmentSize - 1)]; }

    void Clear() {
        segments.clear();
        lastSegmentSize = 0;
        capacity = 0;
    }

    void Reserve(int32_t n) {
        while (capacity < n) {
            if (segments.empty() || lastSegmentSize == kSegmentSize) {
                if (segments.size() == segments.capacity()) {
                    const size_t needed = size_t(n >> kSegmentBits) + 1;
                    segments.reserve(2 * needed + 4);
                }
                const int32_t size = std::min(n - capacity, kSegmentSize);
                segments.emplace_back(new ElemPos[size_t(size)]());
                lastSegmentSize = size;
                capacity += size;
            } else {
                const int32_t size = std::min(kSegmentSize, lastSegmentSize + (n - capacity));
                std::unique_ptr<ElemPos[]> bigger(new ElemPos[size_t(size)]());
                std::memcpy(bigger.get(), segments.back().get(), sizeof(ElemPos) * size_t(lastSegmentSize));
                segments.back() = std::move(bigger);
                capacity += size - lastSegmentSize;
                lastSegmentSize = size;
            }
        }
    }
};

namespace {

// A relative path: segments "name" or "name[n]" or "name[@attr]" or
// "name[@attr=value]" joined by "/", optionally ending in "/@attr".
bool IsValidRelativePath(const char* p) {
    auto nameRun = [&](size_t i) {
        size_t j = i;
        while (p[j] && !IsNameEnd(p[j]) && p[j] != '[' && p[j] != ']' && p[j] != '@') ++j;
        return j - i;
    };
    size_t i = 0;
    for (;;) {
        const size_t n = nameRun(i);
        if (n == 0) return false;
        i += n;
        if (p[i] == '[') {
            ++i;
            if (p[i] >= '1' && p[i] <= '9') {
                while (p[i] >= '0' && p[i] <= '9') ++i;
            } else if (p[i] == '@') {
                ++i;
                const size_t a = nameRun(i);
                if (a == 0) return false;
                i += a;
                if (p[i] == '=') {
                    ++i;
                    if (p[i] == '"' || p[i] == '\'') {
                        const char q = p[i];
                        const char* close = std::strchr(p + i + 1, q);
                        if (!close) return false;
                        i = size_t(close - p) + 1;
                    } else {
                        while (p[i] && p[i] != ']') ++i;
                    }
                }
            } else {
                return false;
            }
            if (p[i] != ']') return false;
            ++i;
        }
        if (p[i] == '\0') return true;
        if (p[i] != '/') return false;
        ++i;
        if (p[i] == '@') {
            ++i;
            const size_t a = nameRun(i);
            return a > 0 && p[i + a] == '\0';
        }
    }
}

// A name that can be written into a tag without breaking it.
bool IsWritableName(const char* name) {
    if (!name || !*name) return false;
    for (const char* p = name; *p; ++p) {
        if (IsNameEnd(*p) || *p == '&') return false;
    }
    return true;
}

}  // namespace

CXmlDocument::CXmlDocument() : m_pElems(std::make_unique<ElemStore>()) { SetDocText(nullptr); }

CXmlDocument::CXmlDocument(const char* text) : m_pElems(std::make_unique<ElemStore>()) {
    SetDocText(text);
}

CXmlDocument::CXmlDocument(std::string_view text) : m_pElems(std::make_unique<ElemStore>()) {
    SetDocText(text);
}

CXmlDocument::~CXmlDocument() = default;

CXmlDocument::ElemPos& CXmlDocument::Elem(int32_t i) const { return m_pElems->At(i); }

void CXmlDocument::ReserveElems(int32_t n) { m_pElems->Reserve(n); }

int32_t CXmlDocument::NewElem() {
    const int32_t i = m_iPosFree;
    if (i >= m_pElems->capacity) ReserveElems(std::max(i + 1, int32_t(int64_t(i) * 3 / 2)));
    ++m_iPosFree;
    Elem(i) = ElemPos{};
    return i;
}

void CXmlDocument::LinkAsLastChild(int32_t parent, int32_t i) {
    ElemPos& p = Elem(parent);
    ElemPos& e = Elem(i);
    e.parent = parent;
    e.next = 0;
    if (p.child == 0) {
        p.child = i;
        e.prev = i;
        e.flags |= kElemFirst;
    } else {
        ElemPos& first = Elem(p.child);
        const int32_t last = first.prev;
        Elem(last).next = i;
        e.prev = last;
        first.prev = i;
    }
}

bool CXmlDocument::SetDocText(const char* text) {
    return SetDocText(text ? std::string_view(text) : std::string_view());
}

bool CXmlDocument::SetDocText(std::string_view text) {
    if (m_nDocFlags & (kDocReadFile | kDocWriteFile)) return false;
    m_strResult.clear();
    if (int64_t(text.size()) >= kMaxDocLength) {
        m_strDoc.clear();
        AddResult(&m_strResult, "file_error", "msg", "document too large", "n", 0);
        Parse();
        return false;
    }
    m_strDoc.assign(text.data(), text.size());
    return Parse();
}

void CXmlDocument::UnendElements(const int32_t* indexes, int32_t count, int32_t parentIndex,
                                 int32_t offset2) {
    for (int32_t k = count - 1; k >= 0; --k) {
        const ElemPos& e = Elem(indexes[k]);
        const std::string_view name(m_strDoc.data() + e.start + 1,
                                    size_t(NameLength(m_strDoc, e.start + 1)));
        AddResult(&m_strResult, "unended_start_tag", "tagname", name, "offset", e.start, true, offset2);
    }
    // Outermost first, so that every child is moved once however deep the
    // unended elements nest.
    bool illData = false;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = indexes[k];
        ElemPos& e = Elem(i);
        e.flags |= kElemNotEnded;
        e.endTagLength = 0;
        e.length = e.startTagLength;
        if (e.flags & kElemIllData) {
            illData = true;
            e.flags &= ~kElemIllData;
        }
        const int32_t first = e.child;
        if (first == 0) continue;
        // The children follow the element under its parent; an open element
        // is always the last child of its parent.
        const int32_t last = Elem(first).prev;
        for (int32_t c = first; c != 0; c = Elem(c).next) Elem(c).parent = e.parent;
        Elem(first).flags &= ~kElemFirst;
        e.next = first;
        Elem(first).prev = i;
        Elem(Elem(e.parent).child).prev = last;
        e.child = 0;
    }
    Elem(0).flags |= kElemIllFormed;
    if (illData) Elem(parentIndex).flags |= kElemIllData;
}

bool CXmlDocument::Parse() {
    m_iPosParent = m_iPos = m_iPosChild = 0;
    m_nNodeType = m_nNodeOffset = m_nNodeLength = 0;
    m_iPosFree = 1;
    m_iPosDeleted = 0;

    const std::string_view doc(m_strDoc);
    const int32_t len = int32_t(doc.size());
    m_pElems->Clear();
    ReserveElems(len / 64 + 8);
    Elem(0) = ElemPos{};
    Elem(0).length = len;
    if (len == 0) return IsWellFormed();

    const bool fold = (m_nDocFlags & kDocIgnoreCase) != 0;
    struct Open {
        int32_t nameStart;
        int32_t nameLength;
        int32_t index;
    };
    std::vector<Open> stack;
    std::vector<int32_t> unended;
    int32_t pos = 0;
    for (;;) {
        Node node;
        const int type = ScanNode(doc, pos, node, &m_strResult);
        if (type == -2) break;
        pos = node.start + node.length;
        if (type == kNodeElement) {
            const int32_t i = NewElem();
            const int32_t parent = stack.empty() ? 0 : stack.back().index;
            ElemPos& e = Elem(i);
            e.start = node.start;
            e.startTagLength = node.length;
            LinkAsLastChild(parent, i);
            if (node.empty) {
                e.flags |= kElemEmpty;
                e.length = node.length;
                e.endTagLength = 0;
            } else {
                stack.push_back({node.nameStart, node.nameLength, i});
            }
        } else if (type == kNodeEndTag) {
            const std::string_view name = doc.substr(size_t(node.nameStart), size_t(node.nameLength));
            int32_t k = int32_t(stack.size()) - 1;
            while (k >= 0 && !EqualFold(doc.substr(size_t(stack[size_t(k)].nameStart),
                                                   size_t(stack[size_t(k)].nameLength)),
                                        name, fold))
                --k;
            if (k < 0) {
                Elem(0).flags |= kElemIllFormed;
                Elem(stack.empty() ? 0 : stack.back().index).flags |= kElemIllData;
                AddResult(&m_strResult, "lone_end_tag", "tagname", name, "offset", node.start);
                continue;
            }
            if (size_t(k) + 1 < stack.size()) {
                unended.clear();
                for (size_t s = size_t(k) + 1; s < stack.size(); ++s) unended.push_back(stack[s].index);
                UnendElements(unended.data(), int32_t(unended.size()), stack[size_t(k)].index, node.start);
                stack.resize(size_t(k) + 1);
            }
            ElemPos& e = Elem(stack.back().index);
            e.length = node.start + node.length - e.start;
            e.endTagLength = node.length;
            stack.pop_back();
        }
    }
    if (!stack.empty()) {
        unended.clear();
        for (const Open& o : stack) unended.push_back(o.index);
        UnendElements(unended.data(), int32_t(unended.size()), 0, len);
    }

    const int32_t root = Elem(0).child;
    if (root == 0)
        AddResult(&m_strResult, "no_root_element");
    else if (Elem(root).next != 0)
        AddResult(&m_strResult, "root_has_sibling");
    m_iPosParent = m_iPos = m_iPosChild = 0;
    return IsWellFormed();
}

bool CXmlDocument::IsWellFormed() const {
    if (m_nDocFlags & kDocWriteFile) return true;
    if (m_pElems->capacity == 0) return false;
    const ElemPos& doc = Elem(0);
    if (m_nDocFlags & kDocReadFile) return !(doc.flags & kElemIllFormed);
    return !(doc.flags & kElemIllFormed) && doc.child != 0 && Elem(doc.child).next == 0;
}

int32_t CXmlDocument::GetDocElementFlags() const {
    return m_pElems->capacity ? Elem(0).flags : 0;
}

bool CXmlDocument::LoadFile(const std::string& path) {
    if (m_nDocFlags & (kDocReadFile | kDocWriteFile)) return false;
    std::string text;
    const bool read = ReadTextFile(path, text, &m_strResult, &m_nDocFlags);
    if (!read) {
        // Nothing half-read stays behind as the document.
        m_strDoc.clear();
        std::string log = std::move(m_strResult);
        Parse();
        m_strResult = std::move(log);
        return false;
    }
    m_strDoc = std::move(text);
    return Parse();
}

bool CXmlDocument::SaveFile(const std::string& path) {
    if (m_nDocFlags & (kDocReadFile | kDocWriteFile)) return false;
    int32_t flags = m_nDocFlags;
    return WriteTextFile(path, m_strDoc, &m_strResult, &flags);
}

bool CXmlDocument::FindElement(const char* name) {
    if (m_nDocFlags & kDocWriteFile) return false;
    if (m_pElems->capacity == 0) return false;
    const bool any = !name || !*name;
    if (!any) {
        if (name[0] == '/') return false;  // absolute paths find nothing
        if (!IsValidRelativePath(name)) return false;
    }
    const bool fold = (m_nDocFlags & kDocIgnoreCase) != 0;
    int32_t i = m_iPos ? Elem(m_iPos).next : Elem(m_iPosParent).child;
    while (i != 0) {
        if (any) break;
        const ElemPos& e = Elem(i);
        const std::string_view token(m_strDoc.data() + e.start + 1, size_t(NameLength(m_strDoc, e.start + 1)));
        if (MatchName(token, name, fold)) break;
        i = e.next;
    }
    if (i == 0) return false;
    m_iPos = i;
    m_iPosParent = Elem(i).parent;
    m_iPosChild = 0;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = kNodeElement;
    return true;
}

bool CXmlDocument::EnterElement() {
    if (m_iPos == 0 || m_nNodeType != kNodeElement) return false;
    m_iPosParent = m_iPos;
    m_iPos = m_iPosChild;
    m_iPosChild = 0;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = m_iPos ? kNodeElement : 0;
    return true;
}

bool CXmlDocument::LeaveElement() {
    if (m_iPosParent == 0) return false;
    m_iPosChild = m_iPos;
    m_iPos = m_iPosParent;
    m_iPosParent = Elem(m_iPos).parent;
    m_nNodeOffset = m_nNodeLength = 0;
    m_nNodeType = kNodeElement;
    return true;
}

void CXmlDocument::ResetPos() {
    m_iPosParent = m_iPos = m_iPosChild = 0;
    m_nNodeType = m_nNodeOffset = m_nNodeLength = 0;
}

std::string CXmlDocument::GetTagName() const {
    if (m_iPos == 0 || m_nNodeType != kNodeElement) return {};
    const ElemPos& e = Elem(m_iPos);
    return m_strDoc.substr(size_t(e.start) + 1, size_t(NameLength(m_strDoc, e.start + 1)));
}

bool CXmlDocument::GetElementInfo(ElementInfo& info) const {
    if (m_iPos == 0 || m_nNodeType != kNodeElement) return false;
    const ElemPos& e = Elem(m_iPos);
    info = {e.start, e.length, e.startTagLength, e.endTagLength, e.flags};
    return true;
}

// Only elements can be current here: the node-level navigation that would
// make a processing instruction current is not part of this class.
bool CXmlDocument::CurrentTag(int32_t& tagStart, int32_t& tagLength) const {
    if (m_iPos == 0 || m_nNodeType != kNodeElement) return false;
    tagStart = Elem(m_iPos).start;
    tagLength = Elem(m_iPos).startTagLength;
    return true;
}

bool CXmlDocument::FindAttribute(int32_t tagStart, int32_t tagLength, const char* name,
                                 int32_t& valueStart, int32_t& valueLength, int32_t& insertAt) const {
    AttrPos attr;
    if (!xmlscan::FindAttribute(m_strDoc, tagStart, tagLength, name, (m_nDocFlags & kDocIgnoreCase) != 0,
                                attr, &insertAt))
        return false;
    valueStart = attr.valueStart;
    valueLength = attr.valueLength;
    return true;
}

std::string CXmlDocument::GetAttribute(const char* name) const {
    int32_t tagStart = 0, tagLength = 0;
    if (!name || !*name || !CurrentTag(tagStart, tagLength)) return {};
    int32_t valueStart = 0, valueLength = 0, insertAt = 0;
    if (!FindAttribute(tagStart, tagLength, name, valueStart, valueLength, insertAt)) return {};
    return UnescapeText(std::string_view(m_strDoc).substr(size_t(valueStart), size_t(valueLength)));
}

bool CXmlDocument::Splice(int32_t offset, int32_t removeLength, std::string_view insert) {
    const int64_t newLength = int64_t(m_strDoc.size()) - removeLength + int64_t(insert.size());
    if (newLength >= kMaxDocLength) return false;
    if (size_t(newLength) > m_strDoc.capacity()) m_strDoc.reserve(size_t(newLength) * 3 / 2 + 128);
    m_strDoc.replace(size_t(offset), size_t(removeLength), insert.data(), insert.size());
    return true;
}

void CXmlDocument::ShiftAfter(int32_t offset, int32_t delta, int32_t except) {
    for (int32_t i = 1; i < m_iPosFree; ++i) {
        ElemPos& e = Elem(i);
        if (i == except || (e.flags & kElemReleased)) continue;
        if (e.start >= offset) e.start += delta;
    }
}

void CXmlDocument::GrowAncestors(int32_t from, int32_t delta) {
    for (int32_t i = from;; i = Elem(i).parent) {
        Elem(i).length += delta;
        if (i == 0) break;
    }
}

bool CXmlDocument::SetAttribute(const char* name, std::string_view value) {
    if (m_nDocFlags & kDocReadFile) return false;
    int32_t tagStart = 0, tagLength = 0;
    if (!IsWritableName(name) || !CurrentTag(tagStart, tagLength)) return false;
    std::string quoted = "\"";
    quoted += EscapeText(value, true);
    quoted += '"';

    AttrPos attr;
    int32_t insertAt = 0;
    int32_t offset = 0, removeLength = 0;
    std::string insert;
    if (xmlscan::FindAttribute(m_strDoc, tagStart, tagLength, name, (m_nDocFlags & kDocIgnoreCase) != 0,
                               attr, &insertAt)) {
        offset = attr.rawStart;
        removeLength = attr.rawLength;
        // An attribute written without a value gets one.
        insert = attr.hasValue ? quoted : "=" + quoted;
    } else {
        offset = insertAt;
        insert = " ";
        insert += name;
        insert += '=';
        insert += quoted;
    }
    const int32_t delta = int32_t(insert.size()) - removeLength;
    if (!Splice(offset, removeLength, insert)) return false;
    ShiftAfter(offset + removeLength, delta, m_iPos);
    ElemPos& e = Elem(m_iPos);
    e.startTagLength += delta;
    GrowAncestors(m_iPos, delta);
    return true;
}

bool CXmlDocument::SetIntAttribute(const char* name, int32_t value) {
    return SetAttribute(name, std::to_string(value));
}

bool CXmlDocument::AddElement(const char* name, const char* content, int32_t flags) {
    if (m_nDocFlags & kDocReadFile) return false;
    const bool asChild = (flags & kAddAsChild) != 0;
    if (asChild && (m_iPos == 0 || (m_nDocFlags & kDocWriteFile))) return false;
    const bool hasContent = content && *content;
    if ((flags & kAddNoEnd) && hasContent) return false;
    if (!IsWritableName(name)) return false;

    const int32_t parent = asChild ? m_iPos : m_iPosParent;
    int32_t before = asChild ? m_iPosChild : m_iPos;
    if (before == 0) {
        const int32_t first = Elem(parent).child;
        before = first ? Elem(first).prev : 0;
    }
    ElemPos& p = Elem(parent);
    // An element without end tag cannot take children.
    if (parent != 0 && (p.flags & kElemNotEnded)) return false;

    const std::string_view nameView(name);
    const int32_t nameLength = int32_t(nameView.size());
    std::string elem = "<";
    elem += nameView;
    int32_t startTagLength = 0, endTagLength = 0, elemFlags = 0;
    if (!hasContent) {
        if (flags & kAddNoEnd) {
            elem += '>';
            elemFlags = kElemNotEnded;
        } else {
            elem += (flags & kAddSpaceBeforeSlash) ? " />" : "/>";
            elemFlags = kElemEmpty;
        }
        startTagLength = int32_t(elem.size());
    } else {
        elem += '>';
        if (flags & kAddCData) {
            elem += "<![CDATA[";
            const std::string_view c(content);
            size_t at = 0;
            for (size_t hit; (hit = c.find("]]>", at)) != std::string_view::npos; at = hit + 3) {
                elem.append(c.substr(at, hit - at));
                elem += "]]]]><![CDATA[>";
            }
            elem.append(c.substr(at));
            elem += "]]>";
        } else {
            elem += EscapeText(content, false);
        }
        elem += "</";
        elem += nameView;
        elem += '>';
        startTagLength = nameLength + 2;
        endTagLength = nameLength + 3;
    }

    const std::string_view newline = (flags & kAddNoLines) ? "" : "\r\n";
    int32_t offset = 0, removeLength = 0, elemAt = 0;
    std::string insert;
    bool parentWasEmpty = false;
    int32_t slashes = 0;
    if (before != 0) {
        const ElemPos& b = Elem(before);
        offset = b.start + b.length;
        insert.append(newline).append(elem);
        elemAt = offset + int32_t(newline.size());
    } else if (parent != 0 && p.startTagLength == p.length) {
        // "<p/>" becomes "<p>" + new element + "</p>". Every "/" before the
        // ">" goes, so that the start tag does not read as empty again.
        offset = p.start + p.startTagLength - 1;
        while (offset - 1 > p.start && m_strDoc[size_t(offset) - 1] == '/') --offset;
        slashes = p.start + p.startTagLength - 1 - offset;
        if (slashes == 0) return false;
        removeLength = slashes + 1;
        const int32_t parentNameLength = NameLength(m_strDoc, p.start + 1);
        insert = ">";
        insert.append(newline).append(elem).append(newline);
        insert += "</";
        insert.append(m_strDoc, size_t(p.start) + 1, size_t(parentNameLength));
        insert += '>';
        elemAt = offset + 1 + int32_t(newline.size());
        parentWasEmpty = true;
    } else if (parent != 0 && p.length == p.startTagLength + p.endTagLength) {
        offset = p.start + p.startTagLength;
        insert.append(newline).append(elem).append(newline);
        elemAt = offset + int32_t(newline.size());
    } else {
        offset = parent == 0 ? int32_t(m_strDoc.size()) : p.start + p.length - p.endTagLength;
        insert.append(elem).append(newline);
        elemAt = offset;
    }

    const int32_t delta = int32_t(insert.size()) - removeLength;
    if (!Splice(offset, removeLength, insert)) return false;
    ShiftAfter(offset + removeLength, delta, 0);
    GrowAncestors(parent, delta);
    if (parentWasEmpty) {
        ElemPos& pp = Elem(parent);
        pp.startTagLength -= slashes;
        pp.endTagLength = NameLength(m_strDoc, pp.start + 1) + 3;
        pp.flags &= ~kElemEmpty;
    }

    const int32_t i = NewElem();
    ElemPos& e = Elem(i);
    e.start = elemAt;
    e.length = int32_t(elem.size());
    e.startTagLength = startTagLength;
    e.endTagLength = endTagLength;
    e.flags = elemFlags;
    e.parent = parent;
    if (before == 0) {
        LinkAsLastChild(parent, i);
    } else {
        ElemPos& b = Elem(before);
        e.prev = before;
        e.next = b.next;
        b.next = i;
        if (e.next != 0)
            Elem(e.next).prev = i;
        else
            Elem(Elem(parent).child).prev = i;
    }

    if (asChild) {
        m_iPosChild = i;
    } else {
        m_iPos = i;
        m_iPosChild = 0;
    }
    m_nNodeType = kNodeElement;
    m_nNodeOffset = m_nNodeLength = 0;
    return true;
}

std::string CXmlDocument::EscapeText(std::string_view text, bool quotes) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '&': out += "&amp;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            if (quotes) out += "&quot;"; else out += c;
            break;
        case '\'':
            if (quotes) out += "&apos;"; else out += c;
            break;
        default: out += c; break;
        }
    }
    return out;
}

std::string CXmlDocument::UnescapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        const size_t semi = text.find(';', i + 1);
        const std::string_view ref = semi == std::string_view::npos ? std::string_view()
                                                                     : text.substr(i + 1, semi - i - 1);
        const char* named = nullptr;
        if (ref == "lt") named = "<";
        else if (ref == "amp") named = "&";
        else if (ref == "gt") named = ">";
        else if (ref == "quot") named = "\"";
        else if (ref == "apos") named = "'";
        if (named) {
            out += named;
            i = semi + 1;
            continue;
        }
        // Character references outside Unicode, surrogates and NUL stay as written.
        if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            uint32_t cp = 0;
            bool valid = !digits.empty() && digits.size() <= 8;
            for (size_t k = 0; valid && k < digits.size(); ++k) {
                const char d = digits[k];
                int v = -1;
                if (d >= '0' && d <= '9') v = d - '0';
                else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
                if (v < 0) valid = false;
                else cp = cp * (hex ? 16 : 10) + uint32_t(v);
            }
            if (valid && cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
                platform::AppendUtf8(out, cp);
                i = semi + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string CXmlDocument::GetErrorText() const {
    CXmlDocument records{std::string_view(m_strResult)};
    std::string text;
    while (records.FindElement()) {
        const std::string code = records.GetTagName();
        auto attr = [&](const char* key) { return records.GetAttribute(key); };
        const std::string enc = attr("encoding");
        const std::string e = enc.empty() ? std::string() : enc + " ";
        std::string msg;
        if (code == "root_has_sibling") msg = "root element has sibling";
        else if (code == "no_root_element") msg = "no root element";
        else if (code == "lone_end_tag")
            msg = "lone end tag '" + attr("tagname") + "' at offset " + attr("offset");
        else if (code == "unended_start_tag")
            msg = "start tag '" + attr("tagname") + "' at offset " + attr("offset") +
                  " expecting end tag at offset " + attr("offset2");
        else if (code == "first_tag_syntax")
            msg = "tag syntax error at offset " + attr("offset") + " expecting tag name / ! or ?";
        else if (code == "exclamation_tag_syntax")
            msg = "tag syntax error at offset " + attr("offset") + " expecting 'DOCTYPE' [ or -";
        else if (code == "doctype_tag_syntax")
            msg = "tag syntax error at offset " + attr("offset") + " expecting markup declaration";
        else if (code == "comment_tag_syntax")
            msg = "tag syntax error at offset " + attr("offset") + " expecting - to begin comment";
        else if (code == "cdata_section_syntax")
            msg = "tag syntax error at offset " + attr("offset") + " expecting 'CDATA'";
        else if (code == "unterminated_tag_syntax")
            msg = "unterminated tag at offset " + attr("offset");
        else if (code == "file_error") msg = attr("msg");
        else if (code == "bom") msg = "BOM +";
        else if (code == "read" || code == "write") msg = e + "length " + attr("length");
        else if (code == "converted_to") msg = "to " + e + "length " + attr("length");
        else if (code == "converted_from") msg = e + "length " + attr("length") + " to";
        else if (code == "nulls_removed") msg = "removed " + attr("count") + " nulls";
        else if (code == "conversion_loss") msg = "(chars lost in conversion!)";
        else if (code == "utf8_detection") msg = "(used UTF-8 detection)";
        else if (code == "endian_swap") msg = "endian swap";
        else if (code == "truncation_error") msg = "encoding " + enc + " adjustment error";
        if (msg.empty()) continue;
        if (!text.empty()) text += ' ';
        text += msg;
    }
    return text;
}
