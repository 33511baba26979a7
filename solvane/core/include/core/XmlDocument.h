// The display server's XML document: the whole document is one text string
// plus an index of where every element lies in it. Reading re-reads the text
// at the recorded positions; every edit splices the text and shifts the
// positions behind the edit. The text in memory is UTF-8; files are read and
// written in the encoding their byte-order mark or declaration names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CXmlDocument {
public:
    // Document flags.
    enum : int32_t {
        kDocUtf16LeFile = 0x1,
        kDocUtf8Bom = 0x4,
        kDocIgnoreCase = 0x8,
        kDocReadFile = 0x10,
        kDocWriteFile = 0x20,
        kDocAppendFile = 0x40,
        kDocUtf16BeFile = 0x80,
    };
    // Element flags (ElementInfo::flags).
    enum : int32_t {
        kElemEmpty = 0x10000,
        kElemReleased = 0x20000,
        kElemFirst = 0x80000,
        kElemNotEnded = 0x100000,
        kElemIllData = 0x200000,
        kElemIllFormed = 0x800000,
    };
    // Insertion flags of AddElement.
    enum : int32_t {
        kAddCData = 0x1,
        kAddNoLines = 0x2,
        kAddSpaceBeforeSlash = 0x4,
        kAddNoEnd = 0x10,
        kAddAsChild = 0x4000,
    };
    // Node types.
    enum : int32_t {
        kNodeEndTag = 0,
        kNodeElement = 1,
        kNodeText = 2,
        kNodeWhitespace = 4,
        kNodeCData = 8,
        kNodeProcessingInstruction = 16,
        kNodeComment = 32,
        kNodeDocType = 64,
    };

    CXmlDocument();
    explicit CXmlDocument(const char* text);
    explicit CXmlDocument(std::string_view text);
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Replaces the whole text (null = empty) and parses it.
    bool SetDocText(const char* text);
    bool SetDocText(std::string_view text);
    const std::string& GetDoc() const { return m_strDoc; }
    // Parses the current text; true when it is well-formed.
    bool Parse();
    bool IsWellFormed() const;
    int32_t GetDocFlags() const { return m_nDocFlags; }
    // The messages of the last parse or file operation, joined by spaces.
    std::string GetErrorText() const;
    // The raw result records of the last parse or file operation.
    const std::string& GetResult() const { return m_strResult; }

    bool LoadFile(const std::string& path);
    bool SaveFile(const std::string& path);

    // Navigation. A name or relative path; null or empty matches any element.
    bool FindElement(const char* name = nullptr);
    bool EnterElement();
    bool LeaveElement();
    // Back to the document level with no current element.
    void ResetPos();
    // Tag name of the current element (empty when none).
    std::string GetTagName() const;

    // Attributes of the current element (or of a current processing instruction).
    std::string GetAttribute(const char* name) const;
    bool SetAttribute(const char* name, std::string_view value);
    bool SetIntAttribute(const char* name, int32_t value);

    // Adds an element after the current one (or, with kAddAsChild, after the
    // current child of the current element) and makes it current.
    bool AddElement(const char* name, const char* content = nullptr, int32_t flags = 0);

    // Where the current element lies in the text (for diagnostics and tests).
    struct ElementInfo {
        int32_t start = 0;
        int32_t length = 0;
        int32_t startTagLength = 0;
        int32_t endTagLength = 0;
        int32_t flags = 0;
    };
    bool GetElementInfo(ElementInfo& info) const;
    // Flags of the virtual document element (kElemIllFormed after structure errors).
    int32_t GetDocElementFlags() const;

    // File layer. log and flags may be null; flags is read (byte-order-mark
    // and case flags) and receives the file's flags without the mode bits.
    static bool ReadTextFile(const std::string& path, std::string& text, std::string* log = nullptr,
                             int32_t* flags = nullptr);
    static bool WriteTextFile(const std::string& path, const std::string& text,
                              std::string* log = nullptr, int32_t* flags = nullptr);
    // The encoding a text declares (XML declaration or HTML meta), empty when none.
    static std::string GetDeclaredEncoding(std::string_view text);
    // Code page of an encoding name: 0 for the empty name (the in-memory
    // text), -1 for a name this build cannot convert.
    static int32_t GetEncodingCodePage(std::string_view encoding);
    static bool EncodingsDiffer(std::string_view a, std::string_view b);
    // Converts src from one encoding to another (UTF-16/32 as little-endian
    // bytes unless named BE). failed receives the count of characters that
    // had no equivalent. False when either encoding cannot be converted.
    static bool ConvertText(std::string_view toEncoding, std::string_view fromEncoding,
                            std::string_view src, std::string& out, int32_t* failed = nullptr);
    // Escapes < & > (and with quotes also " and ').
    static std::string EscapeText(std::string_view text, bool quotes);
    // Decodes entity and character references of an attribute value.
    static std::string UnescapeText(std::string_view text);

private:
    struct ElemPos;
    struct ElemStore;

    ElemPos& Elem(int32_t i) const;
    int32_t NewElem();
    void ReserveElems(int32_t n);
    void LinkAsLastChild(int32_t parent, int32_t i);
    void UnendElements(const int32_t* stackIndexes, int32_t count, int32_t parentIndex, int32_t offset2);
    bool Splice(int32_t offset, int32_t removeLength, std::string_view insert);
    void ShiftAfter(int32_t offset, int32_t delta, int32_t except);
    void GrowAncestors(int32_t from, int32_t delta);
    bool FindAttribute(int32_t tagStart, int32_t tagLength, const char* name, int32_t& valueStart,
                       int32_t& valueLength, int32_t& insertAt) const;
    bool CurrentTag(int32_t& tagStart, int32_t& tagLength) const;

    std::string m_strDoc;
    std::string m_strResult;
    int32_t m_iPosParent = 0;
    int32_t m_iPos = 0;
    int32_t m_iPosChild = 0;
    int32_t m_iPosFree = 0;
    int32_t m_iPosDeleted = 0;
    int32_t m_nNodeType = 0;
    int32_t m_nNodeOffset = 0;
    int32_t m_nNodeLength = 0;
    int32_t m_nDocFlags = 0;
    std::unique_ptr<ElemStore> m_pElems;
};
