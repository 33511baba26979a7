#include <string>

#include "util/Util.h"

namespace XMLOPER {

namespace {

void AppendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            case '\t': out += "&#9;"; break;
            default:
                // Other control characters are not allowed in XML 1.0 at all.
                if (static_cast<unsigned char>(c) >= 0x20) out += c;
                break;
        }
    }
}

void AppendInt(std::string& out, const char* name, int32_t v) {
    out += ' ';
    out += name;
    out += "=\"";
    out += std::to_string(v);
    out += '"';
}

void AppendRect(std::string& out, const char* element, const RECT& r) {
    out += '<';
    out += element;
    AppendInt(out, "left", r.left);
    AppendInt(out, "top", r.top);
    AppendInt(out, "right", r.right);
    AppendInt(out, "bottom", r.bottom);
    out += "/>";
}

void AppendSizes(std::string& out, const char* list, const std::vector<SIZE>& sizes) {
    out += '<';
    out += list;
    AppendInt(out, "count", static_cast<int32_t>(sizes.size()));
    out += '>';
    for (const SIZE& s : sizes) {
        out += "<Mode";
        AppendInt(out, "width", s.cx);
        AppendInt(out, "height", s.cy);
        out += "/>";
    }
    out += "</";
    out += list;
    out += '>';
}

}  // namespace

std::string EncodeMonitorInfo(const std::vector<MY_MONITORINFO>& monitors) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    out += "<Monitors";
    AppendInt(out, "count", static_cast<int32_t>(monitors.size()));
    out += '>';
    for (const MY_MONITORINFO& m : monitors) {
        out += "<Monitor";
        AppendInt(out, "number", m.number);
        out += " name=\"";
        AppendEscaped(out, m.deviceName);
        out += '"';
        AppendInt(out, "primary", m.primary);
        AppendInt(out, "bitsPerPixel", m.bitsPerPixel);
        AppendInt(out, "refreshRate", m.refreshRate);
        AppendInt(out, "orientation", m.orientation);
        out += '>';
        AppendRect(out, "Rect", m.monitor);
        AppendRect(out, "Work", m.work);
        AppendSizes(out, "Modes", m.modes);
        AppendSizes(out, "Extra", m.extra);
        out += "</Monitor>";
    }
    out += "</Monitors>";
    return out;
}

}  // namespace XMLOPER
