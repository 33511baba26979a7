#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <ostream>
#include <string>

#include "lintra/specialaction.h"
#include "support/support.h"

namespace {

ACTION_LEVEL_INFO P(double t, double a, double b, double c, double d) { return {t, a, b, c, d}; }

bool Same(const ACTION_LEVEL_INFO& a, const ACTION_LEVEL_INFO& b) {
    return a.time == b.time && a.value1 == b.value1 && a.value2 == b.value2 &&
           a.value3 == b.value3 && a.value4 == b.value4;
}

::testing::AssertionResult MapIs(const SPECIAL_ACTION_MAP& got, const SPECIAL_ACTION_MAP& want) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " keys, want " << want.size();
    for (const auto& [key, points] : want) {
        auto it = got.find(key);
        if (it == got.end()) return ::testing::AssertionFailure() << "key " << key << " missing";
        if (it->second.size() != points.size())
            return ::testing::AssertionFailure()
                   << "key " << key << ": " << it->second.size() << " points";
        for (size_t k = 0; k < points.size(); ++k)
            if (!Same(it->second[k], points[k]))
                return ::testing::AssertionFailure() << "key " << key << " point " << k;
    }
    return ::testing::AssertionSuccess();
}

TEST(SpecialActionEncode, Examples) {
    EXPECT_EQ(EncodeSepcialActionInfo({}), "");
    EXPECT_EQ(EncodeSepcialActionInfo({{2, {P(0, 1, 1, 1, 1)}}}),
              "2:{0.000000,1.000000/1.000000/1.000000/1.000000}");
    // Keys ascending, points in their order, no ";" after the last key.
    EXPECT_EQ(EncodeSepcialActionInfo({{3, {P(2, -0.5, 0, 0, 0)}},
                                       {1, {P(1, 2, 3, 4, 5), P(0.25, 0, 0, 0, 100)}}}),
              "1:{1.000000,2.000000/3.000000/4.000000/5.000000}"
              "{0.250000,0.000000/0.000000/0.000000/100.000000};"
              "3:{2.000000,-0.500000/0.000000/0.000000/0.000000}");
}

TEST(SpecialActionDecode, ExampleFromTheConsole) {
    SPECIAL_ACTION_MAP m{{9, {P(9, 9, 9, 9, 9)}}};  // cleared first
    EXPECT_EQ(DecodeSepcialActionInfo("1:{0,1/2/3/4}{1,5/6/7/8};3:{2,0/0/0/0}", m), 1);
    EXPECT_TRUE(MapIs(m, {{1, {P(0, 1, 2, 3, 4), P(1, 5, 6, 7, 8)}}, {3, {P(2, 0, 0, 0, 0)}}}));
}

TEST(SpecialActionDecode, EmptyTextGivesEmptyMap) {
    SPECIAL_ACTION_MAP m{{1, {P(0, 0, 0, 0, 0)}}};
    EXPECT_EQ(DecodeSepcialActionInfo("", m), 0);
    EXPECT_TRUE(m.empty());
}

TEST(SpecialActionDecode, RoundTrip) {
    const SPECIAL_ACTION_MAP m{{1, {P(0, 100, 50, 0, 0), P(2.5, -120.125, 7, 0, 0)}},
                               {2, {P(1, 0, 0, 90, 0)}},
                               {4, {P(0, 0.5, 0, 0, 0), P(10, 1, 0, 0, 0)}}};
    SPECIAL_ACTION_MAP back;
    EXPECT_EQ(DecodeSepcialActionInfo(EncodeSepcialActionInfo(m), back), 1);
    EXPECT_TRUE(MapIs(back, m));
}

struct DecodeCase {
    const char* name;
    std::string text;
    int result;
    SPECIAL_ACTION_MAP want;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class SpecialActionDecodeCases : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(SpecialActionDecodeCases, Decodes) {
    const DecodeCase& c = GetParam();
    SPECIAL_ACTION_MAP m;
    EXPECT_EQ(DecodeSepcialActionInfo(c.text, m), c.result);
    EXPECT_TRUE(MapIs(m, c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SpecialActionDecodeCases,
    ::testing::Values(
        // A missing "/" makes that value take the rest; the values after it are 0.
        DecodeCase{"OneValue", "1:{0,5}", 1, {{1, {P(0, 5, 0, 0, 0)}}}},
        DecodeCase{"TwoValues", "1:{0,1/2}", 1, {{1, {P(0, 1, 2, 0, 0)}}}},
        DecodeCase{"NoValue", "1:{3,}", 1, {{1, {P(3, 0, 0, 0, 0)}}}},
        DecodeCase{"ExtraSlashes", "1:{0,1/2/3/4/5}", 1, {{1, {P(0, 1, 2, 3, 4)}}}},
        DecodeCase{"Blanks", "  1:{ 0.5 , 1 / 2 /3/4}  ; 2:{1,1/1/1/1}\r\n", 1,
                   {{1, {P(0.5, 1, 2, 3, 4)}}, {2, {P(1, 1, 1, 1, 1)}}}},
        DecodeCase{"DuplicateKeyKeepsLast", "1:{0,1/1/1/1};1:{5,2/2/2/2}", 1,
                   {{1, {P(5, 2, 2, 2, 2)}}}},
        // Truncated texts: an incomplete key point is dropped, the ones before stay.
        DecodeCase{"CutInSecondPoint", "1:{0,1/2/3/4}{1,5/6", 1, {{1, {P(0, 1, 2, 3, 4)}}}},
        DecodeCase{"CutBeforeClose", "1:{0,1/2/3/4", 0, {}},
        DecodeCase{"CutBeforeComma", "1:{0", 0, {}},
        DecodeCase{"CutAfterKey", "1:", 0, {}},
        DecodeCase{"CutInKey", "1", 0, {}},
        DecodeCase{"CutInSecondAction", "1:{0,1/2/3/4};3:{2,0/0", 1, {{1, {P(0, 1, 2, 3, 4)}}}},
        // An action without a key ends decoding; what came before stays.
        DecodeCase{"ActionWithoutColon", "1:{0,1/1/1/1};junk;2:{0,2/2/2/2}", 1,
                   {{1, {P(0, 1, 1, 1, 1)}}}},
        DecodeCase{"ColonFirst", ":{0,1/1/1/1}", 0, {}},
        DecodeCase{"TrailingSemicolon", "1:{0,1/1/1/1};", 1, {{1, {P(0, 1, 1, 1, 1)}}}},
        // Garbage never crashes and never invents points.
        DecodeCase{"OnlySeparators", ";;;", 0, {}},
        DecodeCase{"Braces", "{,}{,}", 0, {}},
        DecodeCase{"HighBytes", "\xff\xfe:\x80{\x81,\x82}", 1, {{0, {P(0, 0, 0, 0, 0)}}}},
        DecodeCase{"LettersAsNumbers", "k:{t,a/b/c/d}", 1, {{0, {P(0, 0, 0, 0, 0)}}}},
        DecodeCase{"ClosingBeforeOpening", "1:}0,1/1/1/1{", 0, {}},
        DecodeCase{"EmbeddedNul", std::string("1:{0,1/2\0/3/4}", 14), 1,
                   {{1, {P(0, 1, 2, 3, 4)}}}}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(SpecialActionDecode, HugeAndNonFiniteNumbersStayNumbers) {
    SPECIAL_ACTION_MAP m;
    const std::string longDigits(5000, '9');
    ASSERT_EQ(DecodeSepcialActionInfo("7:{" + longDigits + ",nan/inf/-1e400/1e-400}", m), 1);
    const ACTION_LEVEL_INFO& p = m.at(7).at(0);
    EXPECT_TRUE(std::isinf(p.time));
    EXPECT_TRUE(std::isnan(p.value1));
    EXPECT_TRUE(std::isinf(p.value2));
    EXPECT_TRUE(std::isinf(p.value3) && p.value3 < 0);
    EXPECT_EQ(p.value4, 0.0);
}

// The host may run in a locale whose decimal separator is a comma (Qt sets the
// user's locale on start-up); the text stays in the C form.
TEST(SpecialActionLocale, CommaDecimalLocaleChangesNothing) {
    const char* cur = std::setlocale(LC_ALL, nullptr);
    const std::string saved = cur ? cur : "C";
    const std::string comma = testsupport::FindCommaDecimalLocale();
    if (comma.empty()) GTEST_SKIP() << "no locale with a comma decimal separator installed";
    ASSERT_NE(std::setlocale(LC_ALL, comma.c_str()), nullptr);

    const std::string text = EncodeSepcialActionInfo({{1, {P(0.5, 1.25, -2.75, 0, 0)}}});
    SPECIAL_ACTION_MAP m;
    const int rc = DecodeSepcialActionInfo("1:{0.5,1.25/-2.75/0/0}", m);
    std::setlocale(LC_ALL, saved.c_str());

    EXPECT_EQ(text, "1:{0.500000,1.250000/-2.750000/0.000000/0.000000}");
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(MapIs(m, {{1, {P(0.5, 1.25, -2.75, 0, 0)}}}));
}

}  // namespace
