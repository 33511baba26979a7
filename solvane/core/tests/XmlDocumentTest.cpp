#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/XmlDocument.h"

namespace {

struct Seen {
    std::string name;
    int32_t start, length, startTagLength, endTagLength;
    bool operator==(const Seen&) const = default;
};

// Every element in document order, walked without recursion (documents may
// nest very deep).
std::vector<Seen> WalkAll(CXmlDocument& doc) {
    std::vector<Seen> out;
    for (;;) {
        if (doc.FindElement()) {
            CXmlDocument::ElementInfo i;
            EXPECT_TRUE(doc.GetElementInfo(i));
            out.push_back({doc.GetTagName(), i.start, i.length, i.startTagLength, i.endTagLength});
            doc.EnterElement();
        } else if (!doc.LeaveElement()) {
            break;
        }
    }
    return out;
}

// After edits the index must describe the text exactly as a fresh parse would.
void ExpectIndexMatchesReparse(CXmlDocument& edited) {
    CXmlDocument fresh{std::string_view(edited.GetDoc())};
    edited.ResetPos();
    const std::vector<Seen> expected = WalkAll(fresh);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(WalkAll(edited), expected);
}

}  // namespace

TEST(XmlDocument, EmptyTextHasNoElementsAndLogsNothing) {
    CXmlDocument doc("");
    EXPECT_FALSE(doc.FindElement());
    EXPECT_FALSE(doc.IsWellFormed());
    EXPECT_EQ(doc.GetResult(), "");
    EXPECT_EQ(doc.GetErrorText(), "");
}

struct ParseCase {
    const char* text;
    bool wellFormed;
    const char* errorText;
};

TEST(XmlDocument, ParseResultsAndMessages) {
    const ParseCase cases[] = {
        {"<a/>", true, ""},
        {"<?xml version=\"1.0\"?>\r\n<!-- c --><a x='>'><![CDATA[<b>]]></a>", true, ""},
        {"<!DOCTYPE a [<!ENTITY e \"x>\"> %p; <!-- c> -->]><a/>", true, ""},
        {"<a/><b/>", false, "root element has sibling"},
        {"text only", false, "no root element"},
        {"<a><b></a>", false, "start tag 'b' at offset 3 expecting end tag at offset 6"},
        {"<a></b></a>", false, "lone end tag 'b' at offset 3"},
        {"<a><b>", false,
         "start tag 'b' at offset 3 expecting end tag at offset 6 "
         "start tag 'a' at offset 0 expecting end tag at offset 6 root element has sibling"},
        {"<a>< x</a>", true, "tag syntax error at offset 3 expecting tag name / ! or ?"},
        {"<a><!x></a>", true, "tag syntax error at offset 3 expecting 'DOCTYPE' [ or -"},
        {"<a><!-x></a>", true, "tag syntax error at offset 3 expecting - to begin comment"},
        {"<a><![x></a>", true, "tag syntax error at offset 3 expecting 'CDATA'"},
        {"<!DOCTYPE a [ x ]><a/>", true, "tag syntax error at offset 14 expecting markup declaration"},
        {"<a><!-- never closed", false,
         "unterminated tag at offset 3 start tag 'a' at offset 0 expecting end tag at offset 20"},
        {"<a x=\"unclosed></a>", false, "unterminated tag at offset 0 no root element"},
    };
    for (const ParseCase& c : cases) {
        CXmlDocument doc(c.text);
        EXPECT_EQ(doc.IsWellFormed(), c.wellFormed) << c.text;
        EXPECT_EQ(doc.GetErrorText(), c.errorText) << c.text;
    }
}

TEST(XmlDocument, SiblingsAtTopLevelStayFindable) {
    CXmlDocument doc("<a/><b/>");
    EXPECT_NE(doc.GetResult().find("<root_has_sibling/>"), std::string::npos);
    EXPECT_TRUE(doc.FindElement("a"));
    EXPECT_TRUE(doc.FindElement("b"));
    EXPECT_FALSE(doc.FindElement());
}

TEST(XmlDocument, UnendedStartTagStaysChildWithStartTagLength) {
    CXmlDocument doc("<a><b x='1'><c/></a>");
    EXPECT_NE(doc.GetResult().find("<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"16\"/>"),
              std::string::npos)
        << doc.GetResult();
    EXPECT_TRUE(doc.GetDocElementFlags() & CXmlDocument::kElemIllFormed);
    ASSERT_TRUE(doc.FindElement("a"));
    CXmlDocument::ElementInfo a;
    ASSERT_TRUE(doc.GetElementInfo(a));
    EXPECT_EQ(a.length, 20);
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("b"));
    CXmlDocument::ElementInfo b;
    ASSERT_TRUE(doc.GetElementInfo(b));
    EXPECT_TRUE(b.flags & CXmlDocument::kElemNotEnded);
    EXPECT_EQ(b.length, b.startTagLength);
    EXPECT_EQ(b.length, 9);
    EXPECT_EQ(doc.GetAttribute("x"), "1");
    // Its child became its following sibling.
    EXPECT_FALSE(doc.EnterElement() && doc.FindElement());
    doc.LeaveElement();
    EXPECT_EQ(doc.GetTagName(), "b");
    EXPECT_TRUE(doc.FindElement("c"));
}

TEST(XmlDocument, LoneEndTagMarksContainerIllData) {
    CXmlDocument doc("<a></b></a>");
    EXPECT_NE(doc.GetResult().find("<lone_end_tag tagname=\"b\" offset=\"3\"/>"), std::string::npos);
    ASSERT_TRUE(doc.FindElement("a"));
    CXmlDocument::ElementInfo a;
    ASSERT_TRUE(doc.GetElementInfo(a));
    EXPECT_EQ(a.length, 11);
    EXPECT_EQ(a.endTagLength, 4);
    EXPECT_TRUE(a.flags & CXmlDocument::kElemIllData);
}

TEST(XmlDocument, EnterAndLeaveScopeTheSearch) {
    CXmlDocument doc(
        "<R><Task n='1'><MediaInfo n='m1'/><Other/></Task><MediaInfo n='outside'/>"
        "<Task n='2'><MediaInfo n='m2'/></Task></R>");
    ASSERT_TRUE(doc.FindElement("R"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("Task"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("MediaInfo"));
    EXPECT_EQ(doc.GetAttribute("n"), "m1");
    EXPECT_FALSE(doc.FindElement("MediaInfo"));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetTagName(), "Task");
    EXPECT_EQ(doc.GetAttribute("n"), "1");
    ASSERT_TRUE(doc.FindElement("Task"));
    EXPECT_EQ(doc.GetAttribute("n"), "2");
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_FALSE(doc.LeaveElement());
}

TEST(XmlDocument, FindElementPaths) {
    const char* text = "<R><a/><b x='1'/><c/></R>";
    struct {
        const char* path;
        bool found;
        const char* name;
    } cases[] = {
        {nullptr, true, "a"},      {"", true, "a"},         {"b", true, "b"},
        {"b[2]", true, "b"},       {"b[@x]", true, "b"},    {"b[@x='1']", true, "b"},
        {"b[@x=1]", true, "b"},    {"b/c", true, "b"},      {"b/@x", true, "b"},
        {"/R/b", false, ""},       {"//b", false, ""},      {"b[0]", false, ""},
        {"b[", false, ""},         {"b//c", false, ""},     {"b]", false, ""},
        {"b[@x='1]", false, ""},   {"@x", false, ""},       {"d", false, ""},
        {"bb", false, ""},
    };
    for (const auto& c : cases) {
        CXmlDocument doc(text);
        ASSERT_TRUE(doc.FindElement("R"));
        ASSERT_TRUE(doc.EnterElement());
        EXPECT_EQ(doc.FindElement(c.path), c.found) << (c.path ? c.path : "(null)");
        if (c.found) {
            EXPECT_EQ(doc.GetTagName(), c.name);
        }
    }
}

TEST(XmlDocument, AttributeReadingDecodesReferences) {
    CXmlDocument doc(
        "<a q=\"say &quot;hi&quot; &amp; &lt;go&gt; &apos;x&apos;\" h='&#x4E2D;&#20013;&#x1F600;'"
        " bad='&#xD800;&#0;&nope;&amp' bare=v1 n = \"spaced\" last/>");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetAttribute("q"), "say \"hi\" & <go> 'x'");
    EXPECT_EQ(doc.GetAttribute("h"), "\xE4\xB8\xAD\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(doc.GetAttribute("bad"), "&#xD800;&#0;&nope;&amp");
    EXPECT_EQ(doc.GetAttribute("bare"), "v1");
    EXPECT_EQ(doc.GetAttribute("n"), "spaced");
    EXPECT_EQ(doc.GetAttribute("last"), "");
    EXPECT_EQ(doc.GetAttribute("missing"), "");
    EXPECT_EQ(doc.GetAttribute(nullptr), "");
}

// A quote that is never closed used to run the attribute scan past the
// tag's "/>": the new attribute went after it and the edited document no
// longer parsed (found by the XML fuzz target).
TEST(XmlDocument, SetAttributeStaysInsideATagWithAnUnclosedQuote) {
    struct {
        const char* text;
        const char* result;
    } cases[] = {
        {"<x\"R=\"x/>//", "<x\"R=\"x y=\"1\"/>//"},
        {"<x\"R=\"x>t</x>", "<x\"R=\"x y=\"1\">t</x>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CXmlDocument doc(c.text);
        ASSERT_TRUE(doc.IsWellFormed());
        ASSERT_TRUE(doc.FindElement());
        ASSERT_TRUE(doc.SetAttribute("y", "1"));
        EXPECT_EQ(doc.GetDoc(), c.result);
        CXmlDocument again(doc.GetDoc());
        EXPECT_TRUE(again.IsWellFormed()) << again.GetErrorText();
    }
}

TEST(XmlDocument, SetAttributeRewritesAndEscapes) {
    struct {
        const char* text;
        const char* name;
        const char* value;
        const char* result;
    } cases[] = {
        {"<a x='1'/>", "x", "2", "<a x=\"2\"/>"},
        {"<a x=1/>", "x", "2", "<a x=\"2\"/>"},
        {"<a/>", "y", "v", "<a y=\"v\"/>"},
        {"<a x='1' />", "y", "v", "<a x='1' y=\"v\" />"},
        {"<a x></a>", "x", "v", "<a x=\"v\"></a>"},
        {"<a>t</a>", "q", "\"<&>'", "<a q=\"&quot;&lt;&amp;&gt;&apos;\">t</a>"},
    };
    for (const auto& c : cases) {
        CXmlDocument doc(c.text);
        ASSERT_TRUE(doc.FindElement());
        ASSERT_TRUE(doc.SetAttribute(c.name, c.value));
        EXPECT_EQ(doc.GetDoc(), c.result);
        EXPECT_EQ(doc.GetAttribute(c.name), c.value);
    }
    CXmlDocument doc("<a/>");
    EXPECT_FALSE(doc.SetAttribute("x", "no current element"));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_FALSE(doc.SetAttribute("bad name", "v"));
    EXPECT_FALSE(doc.SetAttribute("x>", "v"));
    EXPECT_EQ(doc.GetDoc(), "<a/>");
}

TEST(XmlDocument, EditsShiftEveryLaterPosition) {
    CXmlDocument doc("<R><a x='1'><b/></a><c><d y='2'/></c></R>");
    ASSERT_TRUE(doc.FindElement("R"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("a"));
    ASSERT_TRUE(doc.SetAttribute("x", "a much longer value"));
    ASSERT_TRUE(doc.SetIntAttribute("n", -42));
    ASSERT_TRUE(doc.AddElement("new", "text & more"));
    ASSERT_TRUE(doc.AddElement("e", nullptr, CXmlDocument::kAddAsChild));
    EXPECT_EQ(doc.GetDoc(),
              "<R><a x=\"a much longer value\" n=\"-42\"><b/></a>\r\n<new>text &amp; more<e/>\r\n</new>"
              "<c><d y='2'/></c></R>");
    ASSERT_TRUE(doc.FindElement("c"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("d"));
    EXPECT_EQ(doc.GetAttribute("y"), "2");
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetTagName(), "R");
    ExpectIndexMatchesReparse(doc);
}

TEST(XmlDocument, AddElementBuildsByteExactDocument) {
    CXmlDocument doc("<?xml version=\"1.0\"?>\r\n");
    ASSERT_TRUE(doc.AddElement("Root"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement("A"));
    ASSERT_TRUE(doc.SetAttribute("k", "v"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement("A1"));
    ASSERT_TRUE(doc.AddElement("A2", "x<y"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.AddElement("B", "a]]>b", CXmlDocument::kAddCData));
    ASSERT_TRUE(doc.AddElement("C", nullptr, CXmlDocument::kAddSpaceBeforeSlash));
    ASSERT_TRUE(doc.AddElement("D", nullptr, CXmlDocument::kAddNoLines));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement("D1"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetDoc(),
              "<?xml version=\"1.0\"?>\r\n"
              "<Root>\r\n"
              "<A k=\"v\">\r\n"
              "<A1/>\r\n"
              "<A2>x&lt;y</A2>\r\n"
              "</A>\r\n"
              "<B><![CDATA[a]]]]><![CDATA[>b]]></B>\r\n"
              "<C /><D>\r\n"
              "<D1/>\r\n"
              "</D>\r\n"
              "</Root>\r\n");
    EXPECT_TRUE(doc.IsWellFormed());
    ExpectIndexMatchesReparse(doc);
}

TEST(XmlDocument, AddElementRefusals) {
    CXmlDocument doc("<a><b></a>");
    EXPECT_FALSE(doc.AddElement("x", nullptr, CXmlDocument::kAddAsChild));  // no current element
    ASSERT_TRUE(doc.FindElement("a"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("b"));
    EXPECT_FALSE(doc.AddElement("x", nullptr, CXmlDocument::kAddAsChild));  // b has no end tag
    EXPECT_FALSE(doc.AddElement("x", "content", CXmlDocument::kAddNoEnd));
    EXPECT_FALSE(doc.AddElement("bad name"));
    EXPECT_FALSE(doc.AddElement(""));
    EXPECT_EQ(doc.GetDoc(), "<a><b></a>");
}

// The index of the edited object must equal a fresh parse of the edited text.
TEST(XmlDocument, EditedIndexEqualsFreshParse) {
    CXmlDocument doc("<R>\n  <a/>\n  <b>t</b>\n  <c></c>\n</R>");
    ASSERT_TRUE(doc.FindElement("R"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement("a"));
    ASSERT_TRUE(doc.AddElement("a2"));
    ASSERT_TRUE(doc.FindElement("b"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement("b1"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.FindElement("c"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement("c1"));
    ASSERT_TRUE(doc.SetAttribute("z", "1"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.AddElement("R2"));  // a sibling of the root
    EXPECT_EQ(doc.GetDoc(),
              "<R>\n  <a/>\r\n<a2/>\n  <b>t<b1/>\r\n</b>\n  <c>\r\n<c1 z=\"1\"/>\r\n</c>\n</R>\r\n<R2/>");
    ExpectIndexMatchesReparse(doc);
}

TEST(XmlDocument, ResultLogStopsAtThousandCharacters) {
    std::string text = "<a>";
    for (int i = 0; i < 200; ++i) text += "</zz>";
    text += "</a>";
    CXmlDocument doc(text);
    const std::string& log = doc.GetResult();
    EXPECT_GE(log.size(), 1000u);
    EXPECT_LT(log.size(), 1100u);
    // The events after the cut are gone, the earlier ones are all there.
    const std::string one = "<lone_end_tag tagname=\"zz\" offset=\"3\"/>";
    EXPECT_EQ(log.rfind(one), 0u);
    size_t records = 0;
    for (size_t at = log.find("<lone"); at != std::string::npos; at = log.find("<lone", at + 1)) ++records;
    ASSERT_GT(records, 1u);
    const size_t last = log.rfind("<lone");
    EXPECT_LT(last, 1000u);
    EXPECT_NE(log.find("offset=\"" + std::to_string(3 + 5 * (records - 1)) + "\""), std::string::npos);
    EXPECT_EQ(log.find("offset=\"" + std::to_string(3 + 5 * records) + "\""), std::string::npos);
}

// Tag lengths and depth beyond what packed fields could hold: a long end tag,
// a start tag of several megabytes and very deep nesting keep their exact
// positions through later edits.
TEST(XmlDocument, LongTagsAndDeepNestingKeepExactPositions) {
    const std::string longName(2000, 'n');
    const std::string bigValue(5 * 1024 * 1024, 'v');
    std::string text = "<R><" + longName + "></" + longName + "><big a=\"" + bigValue + "\"/><tail x='1'/>";
    const int depth = 70000;
    for (int i = 0; i < depth; ++i) text += "<d>";
    for (int i = 0; i < depth; ++i) text += "</d>";
    text += "</R>";
    CXmlDocument doc{std::string_view(text)};
    ASSERT_TRUE(doc.IsWellFormed());
    ASSERT_TRUE(doc.FindElement("R"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(longName.c_str()));
    CXmlDocument::ElementInfo info;
    ASSERT_TRUE(doc.GetElementInfo(info));
    EXPECT_EQ(info.endTagLength, 2003);
    ASSERT_TRUE(doc.SetAttribute("k", "1"));
    ASSERT_TRUE(doc.FindElement("big"));
    ASSERT_TRUE(doc.GetElementInfo(info));
    EXPECT_EQ(info.startTagLength, int32_t(bigValue.size()) + 11);
    EXPECT_EQ(doc.GetAttribute("a").size(), bigValue.size());
    ASSERT_TRUE(doc.AddElement("after"));
    ASSERT_TRUE(doc.FindElement("tail"));
    EXPECT_EQ(doc.GetAttribute("x"), "1");
    ASSERT_TRUE(doc.FindElement("d"));
    for (int i = 1; i < depth; ++i) ASSERT_TRUE(doc.EnterElement() && doc.FindElement("d")) << i;
    ASSERT_TRUE(doc.SetAttribute("deepest", "yes"));
    ASSERT_TRUE(doc.AddElement("leaf", nullptr, CXmlDocument::kAddAsChild));
    EXPECT_TRUE(doc.IsWellFormed());
    ExpectIndexMatchesReparse(doc);
}

// Unended elements nested deep are flattened in one pass.
TEST(XmlDocument, DeepUnendedNestingFlattens) {
    std::string text = "<R>";
    for (int i = 0; i < 100000; ++i) text += "<u><c/>";
    text += "</R>";
    CXmlDocument doc{std::string_view(text)};
    EXPECT_FALSE(doc.IsWellFormed());
    ASSERT_TRUE(doc.FindElement("R"));
    ASSERT_TRUE(doc.EnterElement());
    int count = 0;
    while (doc.FindElement()) ++count;
    EXPECT_EQ(count, 200000);
    EXPECT_FALSE(doc.EnterElement() && doc.FindElement());
}
