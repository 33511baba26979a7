#include <gtest/gtest.h>

#include <string>

#include "core/XmlDocument.h"
#include "support/support.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// "中文" and "é" in UTF-8 and in GBK.
const std::string kZhUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kZhGbk = "\xD6\xD0\xCE\xC4";
const std::string kEUtf8 = "\xC3\xA9";
const std::string kEGbk = "\xA8\xA6";

std::string Utf16(const std::string& ascii, bool bigEndian) {
    std::string out;
    for (const char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

// The body <r a="中文">é</r> in UTF-16; the two non-ASCII parts are spliced in.
std::string Utf16Body(bool be) {
    auto unit = [&](uint16_t u) {
        std::string s;
        const char hi = char(u >> 8), lo = char(u & 0xFF);
        s += be ? hi : lo;
        s += be ? lo : hi;
        return s;
    };
    return Utf16("<r a=\"", be) + unit(0x4E2D) + unit(0x6587) + Utf16("\">", be) + unit(0x00E9) +
           Utf16("</r>", be);
}

}  // namespace

TEST(XmlTextFile, EveryEncodingLoadsToTheSameText) {
    TempDir dir;
    const std::string body = "<r a=\"" + kZhUtf8 + "\">" + kEUtf8 + "</r>";
    struct {
        const char* name;
        std::string bytes;
        std::string text;  // the document text expected in memory
        int32_t flags;
    } cases[] = {
        {"utf8-bom", "\xEF\xBB\xBF" + body, body, CXmlDocument::kDocUtf8Bom},
        {"utf16le", "\xFF\xFE" + Utf16Body(false), body, CXmlDocument::kDocUtf16LeFile},
        {"utf16be", "\xFE\xFF" + Utf16Body(true), body, CXmlDocument::kDocUtf16BeFile},
        {"gb2312",
         "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<r a=\"" + kZhGbk + "\">" + kEGbk + "</r>",
         "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n" + body, 0},
        {"undeclared-utf8", "<?xml version=\"1.0\"?>" + body, "<?xml version=\"1.0\"?>" + body, 0},
        {"detected-utf8", "  \r\n" + body, "  \r\n" + body, 0},
        {"undeclared-gbk", "  <r a=\"" + kZhGbk + "\">" + kEGbk + "</r>", "  " + body, 0},
    };
    for (const auto& c : cases) {
        const std::string path = (dir / c.name).string();
        WriteFile(path, c.bytes);
        CXmlDocument doc;
        ASSERT_TRUE(doc.LoadFile(path)) << c.name << ": " << doc.GetErrorText();
        EXPECT_EQ(doc.GetDoc(), c.text) << c.name;
        EXPECT_EQ(doc.GetDocFlags(), c.flags) << c.name;
        ASSERT_TRUE(doc.FindElement("r")) << c.name;
        EXPECT_EQ(doc.GetAttribute("a"), kZhUtf8) << c.name;
    }
}

TEST(XmlTextFile, LogsWhatTheReadDid) {
    TempDir dir;
    struct {
        const char* name;
        std::string bytes;
        const char* errorText;
    } cases[] = {
        {"le", "\xFF\xFE" + Utf16("<r/>", false), "BOM + UTF-16LE length 4 to length 4"},
        {"be", "\xFE\xFF" + Utf16("<r/>", true), "BOM + UTF-16BE length 4 endian swap to length 4"},
        {"nulls", std::string("<r>\0x\0</r>", 10), "UTF-8 length 10 removed 2 nulls"},
        {"declared", "<?xml version='1.0' encoding='gbk'?><r>" + kZhGbk + "</r>",
         "gbk length 47 to length 49"},
        {"detected", " <r>" + kZhUtf8 + "</r>", "UTF-8 length 14 (used UTF-8 detection)"},
        {"not-utf8", " <r>" + kZhGbk + "</r>", "length 12 to length 14 (used UTF-8 detection)"},
        {"unknown", "<?xml version='1.0' encoding='x-none'?><r>\xD6\xD0</r>", "x-none length 48"},
        {"empty", "", "length 0"},
    };
    for (const auto& c : cases) {
        const std::string path = (dir / c.name).string();
        WriteFile(path, c.bytes);
        CXmlDocument doc;
        doc.LoadFile(path);
        EXPECT_EQ(doc.GetErrorText(), c.errorText) << c.name << ": " << doc.GetResult();
    }
    // An unknown encoding keeps the bytes as they are.
    CXmlDocument doc;
    doc.LoadFile((dir / "unknown").string());
    EXPECT_NE(doc.GetDoc().find("<r>\xD6\xD0</r>"), std::string::npos);
}

TEST(XmlTextFile, MissingFileFailsWithSystemMessage) {
    TempDir dir;
    CXmlDocument doc("<old/>");
    EXPECT_FALSE(doc.LoadFile((dir / "missing.xml").string()));
    EXPECT_EQ(doc.GetErrorText(), "No such file or directory");
    EXPECT_NE(doc.GetResult().find("n=\"2\""), std::string::npos);
    EXPECT_EQ(doc.GetDoc(), "");
    EXPECT_FALSE(doc.FindElement());
}

TEST(XmlTextFile, WritesTheDeclaredEncodingAndReadsItBack) {
    TempDir dir;
    struct {
        const char* name;
        std::string text;
        std::string bytes;
    } cases[] = {
        {"gb2312", "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<r a=\"" + kZhUtf8 + "\"/>\r\n",
         "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<r a=\"" + kZhGbk + "\"/>\r\n"},
        {"utf8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>" + kZhUtf8 + "</r>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>" + kZhUtf8 + "</r>"},
        {"none", "<r>" + kZhUtf8 + "</r>", "<r>" + kZhUtf8 + "</r>"},
        {"latin1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>" + kEUtf8 + "</r>",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xE9</r>"},
    };
    for (const auto& c : cases) {
        const std::string path = (dir / c.name).string();
        CXmlDocument doc{std::string_view(c.text)};
        ASSERT_TRUE(doc.SaveFile(path)) << doc.GetErrorText();
        EXPECT_EQ(ReadFile(path), c.bytes) << c.name;
        CXmlDocument back;
        ASSERT_TRUE(back.LoadFile(path)) << c.name;
        EXPECT_EQ(back.GetDoc(), c.text) << c.name;
    }
    // A document read from UTF-16 goes back as UTF-16 with its mark.
    const std::string path = (dir / "le").string();
    WriteFile(path, "\xFF\xFE" + Utf16Body(false));
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(path));
    ASSERT_TRUE(doc.SaveFile(path));
    EXPECT_EQ(ReadFile(path), "\xFF\xFE" + Utf16Body(false));
    EXPECT_EQ(doc.GetErrorText(), "BOM + length 20 to UTF-16LE length 15");
}

TEST(XmlTextFile, SaveReplacesTheFileWhole) {
    TempDir dir;
    const std::string path = (dir / "f.xml").string();
    WriteFile(path, std::string(10000, 'x'));
    CXmlDocument doc("<r/>");
    ASSERT_TRUE(doc.SaveFile(path));
    EXPECT_EQ(ReadFile(path), "<r/>");
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    // A folder that does not exist: false, with the reason.
    EXPECT_FALSE(doc.SaveFile((dir / "no" / "f.xml").string()));
    EXPECT_EQ(doc.GetErrorText(), "No such file or directory");
}

TEST(XmlTextFile, DeclaredEncoding) {
    struct {
        const char* text;
        const char* encoding;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"GB2312\"?><r/>", "GB2312"},
        {"<?XML encoding='utf-8' ?>", "utf-8"},
        {"<?xml version=\"1.0\"?><r/>", ""},
        {" <?xml encoding=\"GB2312\"?>", ""},
        {"<?xml-stylesheet encoding=\"x\"?>", ""},
        {"<!-- c --><html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">"
         "</head></html>",
         "big5"},
        {"<html><head></head><meta http-equiv='content-type' content='text/html; charset=x'></html>", ""},
        {"<body><meta http-equiv='Content-Type' content='charset=x'></body>", ""},
        {"<?xml encoding=\"GB2312\"", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CXmlDocument::GetDeclaredEncoding(c.text), c.encoding) << c.text;
}

TEST(XmlTextFile, EncodingNames) {
    struct {
        const char* name;
        int32_t codePage;
    } cases[] = {
        {"", 0},           {"UTF-8", 65001},  {"utf8", 65001},      {"UTF-16", 1200},   {"unicode", 1200},
        {"ucs-2", 1200},   {"UTF-16BE", 1201}, {"UTF-32", 65005},   {"utf-32be", 65005}, {"GB2312", 936},
        {"gbk", 936},      {"CP936", 936},    {"windows-936", 936}, {"GB18030", 54936}, {"x-cp20936", 20936},
        {"iso-8859-1", 28591}, {"Windows-1252", 1252}, {"us-ascii", 20127}, {"x-none", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(CXmlDocument::GetEncodingCodePage(c.name), c.codePage) << c.name;
    EXPECT_EQ(CXmlDocument::GetEncodingCodePage(std::string(100, 'a')), -1);
    EXPECT_TRUE(CXmlDocument::EncodingsDiffer("GB2312", ""));
    EXPECT_FALSE(CXmlDocument::EncodingsDiffer("GB2312", "gbk"));
    EXPECT_FALSE(CXmlDocument::EncodingsDiffer("UTF-8", ""));
    EXPECT_FALSE(CXmlDocument::EncodingsDiffer("x-none", ""));
}

TEST(XmlTextFile, ConvertText) {
    std::string out;
    int32_t failed = -1;
    const std::string smile = "\xF0\x9F\x98\x80";
    ASSERT_TRUE(CXmlDocument::ConvertText("UTF-16", "UTF-8", "A" + smile, out, &failed));
    EXPECT_EQ(out, std::string("A\0\x3D\xD8\x00\xDE", 6));
    EXPECT_EQ(failed, 0);
    ASSERT_TRUE(CXmlDocument::ConvertText("UTF-8", "UTF-16", out, out, &failed));
    EXPECT_EQ(out, "A" + smile);
    ASSERT_TRUE(CXmlDocument::ConvertText("UTF-32", "", smile, out, &failed));
    EXPECT_EQ(out, std::string("\x00\xF6\x01\x00", 4));
    // A lone surrogate and a byte that is not UTF-8 are lost and counted.
    ASSERT_TRUE(CXmlDocument::ConvertText("UTF-8", "UTF-16", std::string("\x00\xD8x\0", 4), out, &failed));
    EXPECT_EQ(out, "?x");
    EXPECT_EQ(failed, 1);
    ASSERT_TRUE(CXmlDocument::ConvertText("GB2312", "UTF-8", "a\xFF" + kZhUtf8, out, &failed));
    EXPECT_EQ(out, "a?" + kZhGbk);
    EXPECT_EQ(failed, 1);
    ASSERT_TRUE(CXmlDocument::ConvertText("us-ascii", "", kEUtf8 + "z", out, &failed));
    EXPECT_EQ(out, "?z");
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(CXmlDocument::ConvertText("x-none", "", "a", out, &failed));
}
