#include "lintra/specialaction.h"

#include <string_view>

#include "platform/cnum.h"

namespace {

std::string_view Trim(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

// The parsers want a terminated string; pieces are short.
double ToDouble(std::string_view s) { return platform::AtofC(std::string(s).c_str()); }
int ToInt(std::string_view s) { return platform::AtoiC(std::string(s).c_str()); }

// "v1/v2/v3/v4": a value without a following "/" takes the rest of the text
// and the values after it stay 0.
void ParseValues(std::string_view body, ACTION_LEVEL_INFO& p) {
    double* const values[4] = {&p.value1, &p.value2, &p.value3, &p.value4};
    for (int k = 0; k < 4; ++k) {
        const size_t slash = body.find('/');
        if (k == 3 || slash == std::string_view::npos) {
            *values[k] = ToDouble(body);
            return;
        }
        *values[k] = ToDouble(body.substr(0, slash));
        body.remove_prefix(slash + 1);
    }
}

}  // namespace

std::string EncodeSepcialActionInfo(const SPECIAL_ACTION_MAP& actions) {
    std::string text;
    bool first = true;
    for (const auto& [key, points] : actions) {
        if (!first) text += ';';
        first = false;
        text += platform::FormatC("%d:", key);
        for (const ACTION_LEVEL_INFO& p : points) {
            text += platform::FormatC("{%f,%f/%f/%f/%f}", p.time, p.value1, p.value2, p.value3,
                                      p.value4);
        }
    }
    return text;
}

int DecodeSepcialActionInfo(const std::string& text, SPECIAL_ACTION_MAP& out) {
    out.clear();
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t semi = rest.find(';');
        const std::string_view action = Trim(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);

        const size_t colon = action.find(':');
        if (colon == std::string_view::npos || colon == 0) break;  // no key: the rest is not trusted
        const int key = ToInt(action.substr(0, colon));

        std::vector<ACTION_LEVEL_INFO> points;
        std::string_view groups = action.substr(colon + 1);
        for (;;) {
            const size_t open = groups.find('{');
            if (open == std::string_view::npos) break;
            const size_t comma = groups.find(',', open + 1);
            if (comma == std::string_view::npos) break;
            const size_t close = groups.find('}', comma + 1);
            if (close == std::string_view::npos) break;
            ACTION_LEVEL_INFO p{};
            p.time = ToDouble(groups.substr(open + 1, comma - open - 1));
            ParseValues(groups.substr(comma + 1, close - comma - 1), p);
            points.push_back(p);
            groups.remove_prefix(close + 1);
        }
        if (!points.empty()) out[key] = std::move(points);
    }
    return out.empty() ? 0 : 1;
}
