// Random-input smoke run over the XML parser, its edits and its file layer:
// a fixed seed, bounded in iterations and in time. It looks for crashes and
// sanitizer reports, and checks that edits of a clean document leave an
// index equal to a fresh parse of the edited text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/XmlDocument.h"
#include "support/support.h"

namespace {

const char* const kPieces[] = {
    "<", ">", "/", "</", "/>", "<a", "<b", "</a>", "</b>", "<a>", "<b>", "<c/>", " ", "\r\n", "=",
    "\"", "'", "x=\"1\"", "y='2'", "!", "<!", "<!--", "-->", "<![CDATA[", "]]>", "<?", "?>",
    "<?xml version=\"1.0\" encoding=\"GB2312\"?>", "<!DOCTYPE a [", "]", "[", "%p;", "&", "&amp;",
    "&#x4E2D;", "&#", ";", "text", "\xE4\xB8\xAD", "\xD6\xD0", "\xFF", "\0", "?", "\\", "@",
};

std::string RandomText(std::mt19937& gen) {
    std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> count(0, 40);
    std::string text;
    const int n = count(gen);
    for (int i = 0; i < n; ++i) {
        const size_t k = piece(gen);
        // "\0" is one NUL byte, not an empty piece.
        if (kPieces[k][0] == '\0')
            text += '\0';
        else
            text += kPieces[k];
    }
    return text;
}

struct Seen {
    std::string name;
    CXmlDocument::ElementInfo info;
    bool operator==(const Seen& o) const {
        return name == o.name && info.start == o.info.start && info.length == o.info.length &&
               info.startTagLength == o.info.startTagLength && info.endTagLength == o.info.endTagLength;
    }
};

std::vector<Seen> WalkAll(CXmlDocument& doc) {
    std::vector<Seen> out;
    doc.ResetPos();
    for (;;) {
        if (doc.FindElement()) {
            Seen s{doc.GetTagName(), {}};
            doc.GetElementInfo(s.info);
            // Attribute reads must stay inside the text.
            (void)doc.GetAttribute("x");
            (void)doc.GetAttribute("y");
            out.push_back(s);
            doc.EnterElement();
        } else if (!doc.LeaveElement()) {
            break;
        }
    }
    return out;
}

}  // namespace

TEST(XmlFuzz, RandomDocumentsParseEditAndReload) {
    std::mt19937 gen(20240611);
    testsupport::TempDir dir;
    const std::string path = (dir / "fuzz.xml").string();
    // A fixed number of documents: a time bound would check next to nothing
    // on a busy machine.
    int runs = 0, checked = 0;
    for (; runs < 1500; ++runs) {
        const std::string text = RandomText(gen);
        CXmlDocument doc{std::string_view(text)};
        const bool clean = doc.GetResult().empty();
        (void)doc.GetErrorText();
        (void)CXmlDocument::GetDeclaredEncoding(text);
        (void)CXmlDocument::UnescapeText(text);
        WalkAll(doc);

        // A few edits at random places.
        doc.ResetPos();
        std::uniform_int_distribution<int> step(0, 7);
        for (int e = 0; e < 6; ++e) {
            switch (step(gen)) {
            case 0: doc.FindElement(); break;
            case 1: doc.EnterElement(); break;
            case 2: doc.LeaveElement(); break;
            case 3: doc.SetAttribute("x", "v<&\"'>"); break;
            case 4: doc.SetIntAttribute("n", int32_t(gen())); break;
            // Not kAddNoEnd: an element without end tag reads back differently by nature.
            case 5: doc.AddElement("e", (gen() & 1) ? "c]]>d" : nullptr, int32_t(gen() & 0x4007)); break;
            case 6: doc.AddElement("f", nullptr, CXmlDocument::kAddAsChild); break;
            default: doc.FindElement("a"); break;
            }
        }
        if (clean) {
            CXmlDocument fresh{std::string_view(doc.GetDoc())};
            ASSERT_EQ(WalkAll(doc), WalkAll(fresh)) << "input: " << text << "\nedited: " << doc.GetDoc();
            ++checked;
        }

        // The same bytes as a file, sometimes behind a byte-order mark.
        static const char* const kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
        testsupport::WriteFile(path, std::string(kMarks[gen() % 4]) + text);
        CXmlDocument loaded;
        loaded.LoadFile(path);
        (void)loaded.GetErrorText();
        WalkAll(loaded);
        if (gen() % 8 == 0) loaded.SaveFile(path);
    }
    EXPECT_GT(runs, 100);
    EXPECT_GT(checked, 10);
}
