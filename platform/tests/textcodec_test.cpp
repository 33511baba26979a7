#include "platform/textcodec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace platform;

TEST(TextCodec, GbkRoundTrips) {
    struct Case {
        const char* utf8;
        std::string gbk;
    };
    const Case cases[] = {
        {"显示 属性", "\xCF\xD4\xCA\xBE \xCA\xF4\xD0\xD4"},
        {"abc", "abc"},
        {"", ""},
        {"€", "\xA2\xE3"},
        {"ß", std::string("\x81\x30\x89\x38", 4)},    // four-byte GB18030
        {"😀", std::string("\x94\x39\xFC\x36", 4)},   // outside the BMP
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
        EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.utf8;
    }
}

TEST(TextCodec, InvalidBytesAreReplaced) {
    EXPECT_EQ(GbkToUtf8("A\xFF" "B"), "A\xEF\xBF\xBD" "B");
    EXPECT_EQ(GbkToUtf8("\xCF\xD4\xCA"), "显\xEF\xBF\xBD");  // cut off in the middle of a character
    EXPECT_EQ(Utf8ToGbk("a\xC3" "b"), "a?b");
    EXPECT_EQ(Utf8ToGbk(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextCodec, CutUtf8AtCharacterBoundary) {
    struct Case {
        const char* text;
        size_t max;
        const char* expected;
    };
    const Case cases[] = {
        {"显示", 6, "显示"}, {"显示", 5, "显"}, {"显示", 3, "显"}, {"显示", 2, ""},
        {"ab显", 4, "ab"},   {"a😀", 4, "a"},   {"a😀", 5, "a😀"}, {"abc", 0, ""},
        {"abc", 2, "ab"},
    };
    for (const Case& c : cases) EXPECT_EQ(CutUtf8(c.text, c.max), c.expected) << c.text << " " << c.max;
}

TEST(TextCodec, CutGbkAtCharacterBoundary) {
    const std::string gbk = Utf8ToGbk("a显示😀b");  // 1 + 2 + 2 + 4 + 1 bytes
    struct Case {
        size_t max;
        const char* expected;
    };
    const Case cases[] = {{0, ""}, {1, "a"}, {2, "a"}, {3, "a显"}, {4, "a显"}, {5, "a显示"},
                          {8, "a显示"}, {9, "a显示😀"}, {10, "a显示😀b"}, {50, "a显示😀b"}};
    for (const Case& c : cases) EXPECT_EQ(GbkToUtf8(CutGbk(gbk, c.max)), c.expected) << c.max;
    // A trail byte may look like ASCII ('\\' here): it still belongs to its character.
    EXPECT_EQ(CutGbk("\x81\x5C\x81\x5C", 3), "\x81\x5C");
}

TEST(TextCodec, FixedFields) {
    char field[8];
    std::memset(field, 'x', sizeof field);
    StoreGbkField(field, sizeof field, "显示属性");  // 8 GBK bytes: only three characters fit
    EXPECT_EQ(std::string(field, sizeof field), std::string("\xCF\xD4\xCA\xBE\xCA\xF4\0\0", 8));
    EXPECT_EQ(LoadGbkField(field, sizeof field), "显示属");

    const char full[4] = {'a', 'b', '\xCF', '\xD4'};  // no terminator
    EXPECT_EQ(LoadGbkField(full, sizeof full), "ab显");
    StoreGbkField(field, 1, "abc");
    EXPECT_EQ(field[0], '\0');
}

}  // namespace

TEST(TextCodec, Utf8Validity) {
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain.mp4", true},
        {"\xE8\xA7\x86\xE9\xA2\x91.mkv", true},   // two CJK characters
        {"\xF0\x9F\x8E\xAC", true},               // U+1F3AC
        {"\xE8\xA7", false},                      // cut inside a character
        {"\xB4\xF3.avi", false},                  // GBK bytes
        {"\xC0\xAF", false},                      // overlong '/'
        {"\xE0\x80\xAF", false},                  // overlong '/'
        {"\xED\xA0\x80", false},                  // surrogate
        {"\xF4\x90\x80\x80", false},              // above U+10FFFF
        {std::string("a\0b", 3), true},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::IsValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
}
