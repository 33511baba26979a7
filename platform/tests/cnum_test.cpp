#include "platform/cnum.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <string>

#include "support/support.h"

namespace {

using namespace platform;

void ExpectCFormsAndParses() {
    EXPECT_EQ(FormatC("%f", 1.5), "1.500000");
    EXPECT_EQ(FormatC("%.2f|%d|%s", 3.25, -7, "x"), "3.25|-7|x");
    EXPECT_EQ(FormatC("%s", std::string(300, 'a').c_str()), std::string(300, 'a'));
    EXPECT_DOUBLE_EQ(AtofC("0.8"), 0.8);
    EXPECT_DOUBLE_EQ(AtofC(" 5.0abc"), 5.0);
    char* end = nullptr;
    const char* text = "1.25,3";
    EXPECT_DOUBLE_EQ(StrtodC(text, &end), 1.25);
    EXPECT_EQ(end, text + 4);
    EXPECT_EQ(AtoiC("  -12abc"), -12);
    EXPECT_EQ(AtoiC("99999999999"), INT32_MAX);
    EXPECT_EQ(AtoiC(""), 0);
    EXPECT_EQ(AtofC(nullptr), 0.0);
}

TEST(CNum, CLocale) { ExpectCFormsAndParses(); }

TEST(CNum, IgnoresACommaDecimalLocale) {
    const std::string name = testsupport::FindCommaDecimalLocale();
    if (name.empty()) GTEST_SKIP() << "no comma-decimal locale on this machine";
    ASSERT_TRUE(std::setlocale(LC_ALL, name.c_str()));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    EXPECT_STREQ(buf, "1,5");  // the locale is really in force
    ExpectCFormsAndParses();
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    EXPECT_STREQ(buf, "1,5");  // and still is afterwards
    std::setlocale(LC_ALL, "C");
}

}  // namespace
