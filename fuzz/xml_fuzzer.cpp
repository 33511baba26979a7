// The XML parser under the task plans: parse, walk every element and read
// attributes, then edit (add an element and an attribute) and parse the
// result again, which must stay well-formed.
#include <string>

#include "core/XmlDocument.h"

namespace {

void Walk(CXmlDocument& doc, int depth) {
    while (doc.FindElement()) {
        (void)doc.GetTagName();
        (void)doc.GetAttribute("name");
        if (depth < 64 && doc.EnterElement()) {
            Walk(doc, depth + 1);
            doc.LeaveElement();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)CXmlDocument::GetDeclaredEncoding(text);
    (void)CXmlDocument::UnescapeText(text);
    CXmlDocument doc;
    if (!doc.SetDocText(text)) return 0;
    doc.ResetPos();
    Walk(doc, 0);
    doc.ResetPos();
    if (doc.FindElement()) {
        doc.SetAttribute("x", text.substr(0, 16));
        doc.EnterElement();
        doc.AddElement("Added", "a<b&c");
        CXmlDocument again;
        if (!again.SetDocText(doc.GetDoc())) __builtin_trap();
    }
    return 0;
}
