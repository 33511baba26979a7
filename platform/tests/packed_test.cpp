#include "platform/packed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using namespace platform;

TEST(Packed, CopyTextField) {
    struct Case {
        const char* text;
        std::string field;
    };
    const Case cases[] = {
        {"abcdef", std::string("abc\0", 4)},
        {"abc", std::string("abc\0", 4)},
        {"a", std::string("a\0\0\0", 4)},
        {"", std::string(4, '\0')},
        {nullptr, std::string(4, '\0')},
    };
    for (const Case& c : cases) {
        char field[4];
        std::memset(field, 'x', sizeof field);
        CopyTextField(field, sizeof field, c.text);
        EXPECT_EQ(std::string(field, sizeof field), c.field) << (c.text ? c.text : "null");
        EXPECT_LE(TextFieldLength(field, sizeof field), 3u);
    }
    char one = 'x';
    CopyTextField(&one, 1, "abc");
    EXPECT_EQ(one, '\0');
}

#pragma pack(push, 1)
struct Rec {
    uint8_t tag;
    uint32_t value;
    double slot;
};
#pragma pack(pop)
PACKED_SIZE(Rec, 13);
PACKED_OFFSET(Rec, value, 1);
PACKED_OFFSET(Rec, slot, 5);

TEST(Packed, ByteCopies) {
    uint8_t bytes[13] = {};
    WriteAt<uint32_t>(bytes, 1, 0x11223344u);
    EXPECT_EQ(bytes[1], 0x44);
    EXPECT_EQ(ReadAt<uint32_t>(bytes, 1), 0x11223344u);
    Rec r = LoadRecord<Rec>(bytes);
    const uint32_t value = r.value;  // copied out: no reference to a packed member
    EXPECT_EQ(value, 0x11223344u);
    // A 64-bit value above 2^53 survives the double slot bit for bit.
    const int64_t big = (int64_t{1} << 60) + 1;
    double slot = 0;
    StoreInt64InDouble(slot, big);
    WriteAt(bytes, offsetof(Rec, slot), slot);
    EXPECT_EQ(LoadInt64FromDouble(ReadAt<double>(bytes, offsetof(Rec, slot))), big);
}

}  // namespace
