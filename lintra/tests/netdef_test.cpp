#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "lintra/algorithm.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
#include "platform/packed.h"

namespace {

using platform::ReadAt;
using platform::WriteAt;

std::vector<uint8_t> Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n);
}

TEST(NetHead, HandBuiltBytesMatchTheStruct) {
    // Built byte by byte at the documented offsets.
    std::vector<uint8_t> golden(384, 0);
    WriteAt<uint32_t>(golden.data(), 0, 528u);
    WriteAt<int32_t>(golden.data(), 4, 7);
    WriteAt<int32_t>(golden.data(), 8, -2);
    WriteAt<int32_t>(golden.data(), 40, 0x01020304);
    WriteAt<double>(golden.data(), 44, 1.5);
    WriteAt<double>(golden.data(), 52, -0.25);
    WriteAt<double>(golden.data(), 116, 1e300);
    std::memcpy(golden.data() + 124, "clip.mp4", 8);
    golden[379] = 'z';  // last byte of the text area
    WriteAt<uint32_t>(golden.data(), 380, 49u);

    tagNETHEAD head;
    std::memset(&head, 0xAB, sizeof head);
    lintra::InitHead(head, NETCMD::AddMedia);
    head.intParam[0] = 7;
    head.intParam[1] = -2;
    head.intParam[9] = 0x01020304;
    head.realParam[0] = 1.5;
    head.realParam[1] = -0.25;
    head.realParam[9] = 1e300;
    std::memcpy(head.textParam, "clip.mp4", 8);
    head.textParam[255] = 'z';
    head.bodyLength = 49;

    EXPECT_EQ(Bytes(&head, sizeof head), golden);
}

TEST(NetHead, InitHeadZeroesEverythingAfterTheCode) {
    tagNETHEAD head;
    std::memset(&head, 0xFF, sizeof head);
    lintra::InitHead(head, 10);
    const auto b = Bytes(&head, sizeof head);
    EXPECT_EQ(ReadAt<uint32_t>(b.data(), 0), 10u);
    for (size_t k = 4; k < b.size(); ++k) ASSERT_EQ(b[k], 0) << "byte " << k;
}

TEST(NetHead, Int64InRealSlotSurvivesTheWireBitForBit) {
    const int64_t cases[] = {
        (int64_t{1} << 53) + 1,                     // not representable as a double
        static_cast<int64_t>(0x7FF0000000000001),  // signalling NaN pattern
        static_cast<int64_t>(0xFFF8DEADBEEF0001),  // quiet NaN with payload, sign set
        std::numeric_limits<int64_t>::min(),
    };
    for (int64_t v : cases) {
        SCOPED_TRACE(v);
        tagNETHEAD out;
        lintra::InitHead(out, 532);
        lintra::SetInt64Param(out, 3, v);

        uint8_t wire[384];
        platform::StoreRecord(wire, out);
        EXPECT_EQ(ReadAt<int64_t>(wire, 44 + 8 * 3), v);
        EXPECT_EQ(ReadAt<int64_t>(wire, 44 + 8 * 2), 0);
        EXPECT_EQ(ReadAt<int64_t>(wire, 44 + 8 * 4), 0);

        const tagNETHEAD in = platform::LoadRecord<tagNETHEAD>(wire);
        EXPECT_EQ(lintra::GetInt64Param(in, 3), v);

        // The platform helpers on an aligned slot, moved in and out of the
        // head as a double value: the bits survive that too.
        double slot;
        platform::StoreInt64InDouble(slot, v);
        tagNETHEAD viaDouble;
        lintra::InitHead(viaDouble, 532);
        viaDouble.realParam[9] = slot;
        uint8_t wire2[384];
        platform::StoreRecord(wire2, viaDouble);
        EXPECT_EQ(ReadAt<int64_t>(wire2, 44 + 8 * 9), v);
        const double back = platform::LoadRecord<tagNETHEAD>(wire2).realParam[9];
        EXPECT_EQ(platform::LoadInt64FromDouble(back), v);
    }
    // Why the bit copy matters: a conversion through double loses the value.
    EXPECT_NE(static_cast<int64_t>(static_cast<double>((int64_t{1} << 53) + 1)),
              (int64_t{1} << 53) + 1);
}

// One field written through the struct must show at its documented offset.
struct FieldCase {
    const char* name;
    size_t offset;
    std::function<void(void*)> set;   // writes a marker through the struct
    std::function<bool(const uint8_t*)> check;  // reads it back at `offset`
};

template <class T>
FieldCase Field(const char* name, size_t offset, std::function<void(T&)> set,
                std::function<bool(const uint8_t*)> check) {
    return {name, offset, [set](void* r) { set(*static_cast<T*>(r)); }, check};
}

template <class Rec>
void CheckFields(const std::vector<FieldCase>& cases) {
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto rec = std::make_unique<Rec>();
        std::memset(rec.get(), 0, sizeof(Rec));
        c.set(rec.get());
        const auto* b = reinterpret_cast<const uint8_t*>(rec.get());
        EXPECT_TRUE(c.check(b + c.offset));
    }
}

template <class T>
std::function<bool(const uint8_t*)> Is(T expected) {
    return [expected](const uint8_t* p) { return ReadAt<T>(p, 0) == expected; };
}

TEST(Records, HeadOffsets) {
    using R = tagNETHEAD;
    CheckFields<R>({
        Field<R>("command", 0, [](R& r) { r.command = 1201; }, Is<uint32_t>(1201)),
        Field<R>("intParam[0]", 4, [](R& r) { r.intParam[0] = -9; }, Is<int32_t>(-9)),
        Field<R>("intParam[5]", 24, [](R& r) { r.intParam[5] = 55; }, Is<int32_t>(55)),
        Field<R>("realParam[0]", 44, [](R& r) { r.realParam[0] = 0.5; }, Is<double>(0.5)),
        Field<R>("realParam[7]", 100, [](R& r) { r.realParam[7] = 7.5; }, Is<double>(7.5)),
        Field<R>("textParam", 124, [](R& r) { r.textParam[0] = 'A'; }, Is<char>('A')),
        Field<R>("bodyLength", 380, [](R& r) { r.bodyLength = 26896; }, Is<uint32_t>(26896)),
    });
}

TEST(Records, ChannelOffsets) {
    using R = CHANNEL_BASE_INFO;
    CheckFields<R>({
        Field<R>("channelId", 0, [](R& r) { r.channelId = 3; }, Is<int32_t>(3)),
        Field<R>("blend left", 4, [](R& r) { r.blendWidth.left = 4; }, Is<int32_t>(4)),
        Field<R>("blend bottom", 16, [](R& r) { r.blendWidth.bottom = 6; }, Is<int32_t>(6)),
        Field<R>("rotation", 20, [](R& r) { r.rotation = 12.5f; }, Is<float>(12.5f)),
        Field<R>("rect left", 24, [](R& r) { r.rect.left = 1920; }, Is<int32_t>(1920)),
        Field<R>("rect bottom", 36, [](R& r) { r.rect.bottom = 1080; }, Is<int32_t>(1080)),
        Field<R>("grid[0][0].x", 40, [](R& r) { r.grid[0][0].x = -1.0; }, Is<double>(-1.0)),
        Field<R>("grid[0][1].y", 40 + 16 + 8, [](R& r) { r.grid[0][1].y = 0.75; },
                 Is<double>(0.75)),
        Field<R>("grid[1][0].x", 40 + 41 * 16, [](R& r) { r.grid[1][0].x = 0.125; },
                 Is<double>(0.125)),
        Field<R>("grid[40][40].y", 40 + 1680 * 16 + 8, [](R& r) { r.grid[40][40].y = 1.0; },
                 Is<double>(1.0)),
        Field<R>("colorRatio red", 26936, [](R& r) { r.colorRatio[0] = 0.5f; }, Is<float>(0.5f)),
        Field<R>("colorRatio blue", 26944, [](R& r) { r.colorRatio[2] = 0.25f; },
                 Is<float>(0.25f)),
        Field<R>("curve red[0]", 26948, [](R& r) { r.colorCurve[0][0] = 0x11; }, Is<uint8_t>(0x11)),
        Field<R>("curve red[17]", 26965, [](R& r) { r.colorCurve[0][17] = 0x12; },
                 Is<uint8_t>(0x12)),
        Field<R>("curve green[0]", 26966, [](R& r) { r.colorCurve[1][0] = 0x21; },
                 Is<uint8_t>(0x21)),
        Field<R>("curve blue[17]", 27001, [](R& r) { r.colorCurve[2][17] = 0x32; },
                 Is<uint8_t>(0x32)),
        Field<R>("edge 1", 27002, [](R& r) { r.edgeParam[0][0] = 1.2f; }, Is<float>(1.2f)),
        Field<R>("edge 2", 27014, [](R& r) { r.edgeParam[1][0] = 0.5f; }, Is<float>(0.5f)),
        Field<R>("edge 3 last", 27034, [](R& r) { r.edgeParam[2][2] = 1.0f; }, Is<float>(1.0f)),
    });
}

TEST(Records, WorldOffsets) {
    using R = WORLD_BASE_INFO;
    CheckFields<R>({
        Field<R>("channelCount", 0, [](R& r) { r.channelCount = 8; }, Is<int32_t>(8)),
        Field<R>("width", 4, [](R& r) { r.width = 1920; }, Is<int32_t>(1920)),
        Field<R>("height", 8, [](R& r) { r.height = 1200; }, Is<int32_t>(1200)),
        Field<R>("offsetMode", 12, [](R& r) { r.offsetMode = 2; }, Is<int32_t>(2)),
        Field<R>("offsetX", 16, [](R& r) { r.offsetX = -40; }, Is<int32_t>(-40)),
        Field<R>("offsetY", 20, [](R& r) { r.offsetY = 30; }, Is<int32_t>(30)),
        Field<R>("channels[0]", 24, [](R& r) { r.channels[0].channelId = 1; }, Is<int32_t>(1)),
        Field<R>("channels[7]", 24 + 7 * 27038, [](R& r) { r.channels[7].channelId = 8; },
                 Is<int32_t>(8)),
        Field<R>("channels[7] last byte", 216327,
                 [](R& r) { r.channels[7].edgeParam[2][2] = -0.0f; },
                 [](const uint8_t* p) { return *p == 0x80; }),
    });
}

TEST(Records, GeneralConfigAndKeyPointOffsets) {
    using G = TOLVA_GENERAL_CONFIG;
    CheckFields<G>({
        Field<G>("showCluster", 0, [](G& r) { r.showCluster[0] = 'c'; }, Is<char>('c')),
        Field<G>("showCluster end", 31, [](G& r) { r.showCluster[31] = 'e'; }, Is<char>('e')),
        Field<G>("refreshRate", 32, [](G& r) { r.refreshRate = 60; }, Is<int32_t>(60)),
        Field<G>("serverAutoStart", 36, [](G& r) { r.serverAutoStart = 1; }, Is<int32_t>(1)),
        Field<G>("serverAutoLoadFile", 40, [](G& r) { r.serverAutoLoadFile = 1; }, Is<int32_t>(1)),
        Field<G>("text", 44, [](G& r) { r.text[0] = 't'; }, Is<char>('t')),
        Field<G>("text end", 299, [](G& r) { r.text[255] = 'x'; }, Is<char>('x')),
    });
    using A = ACTION_LEVEL_INFO;
    CheckFields<A>({
        Field<A>("time", 0, [](A& r) { r.time = 2.0; }, Is<double>(2.0)),
        Field<A>("value1", 8, [](A& r) { r.value1 = 1.0; }, Is<double>(1.0)),
        Field<A>("value2", 16, [](A& r) { r.value2 = 2.0; }, Is<double>(2.0)),
        Field<A>("value3", 24, [](A& r) { r.value3 = 3.0; }, Is<double>(3.0)),
        Field<A>("value4", 32, [](A& r) { r.value4 = 4.0; }, Is<double>(4.0)),
    });
    EXPECT_EQ(sizeof(DOUBLE_POINT), 16u);
    EXPECT_EQ(sizeof(VERTEX_GRID), 26896u);
}

// The body of command 10 is the channel records back to back, exactly as they
// lie in WORLD_BASE_INFO after its six integers.
TEST(Records, SecondChannelOfAWorldBodyStartsAt27038) {
    auto world = std::make_unique<WORLD_BASE_INFO>();
    std::memset(world.get(), 0, sizeof *world);
    world->channelCount = 2;
    for (int c = 0; c < 2; ++c) {
        CHANNEL_BASE_INFO& ch = world->channels[c];
        ch.channelId = c + 1;
        ch.rotation = 90.0f * c;
        ch.colorRatio[0] = 0.5f + c;
        // The grid lies at an odd offset inside the packed record: filled in place.
        const DOUBLE_POINT corners[4] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1.0 + c}};
        LINTRA_ALGORITHM::CalcVertexValue_4(corners, ch.grid);
    }

    const size_t bodyLength = world->channelCount * lintra::kChannelRecordSize;
    ASSERT_EQ(bodyLength, 54076u);
    std::vector<uint8_t> body(bodyLength);
    std::memcpy(body.data(), reinterpret_cast<const uint8_t*>(world.get()) +
                                 offsetof(WORLD_BASE_INFO, channels),
                body.size());

    const size_t second = 27038;
    EXPECT_EQ(ReadAt<int32_t>(body.data(), 0), 1);
    EXPECT_EQ(ReadAt<int32_t>(body.data(), second), 2);
    EXPECT_EQ(ReadAt<float>(body.data(), second + 20), 90.0f);
    EXPECT_EQ(ReadAt<float>(body.data(), second + 26936), 1.5f);
    const size_t topLeft = second + 40 + 16 * lintra::GridIndex(0, 40);
    EXPECT_EQ(ReadAt<double>(body.data(), topLeft), -1.0);
    EXPECT_EQ(ReadAt<double>(body.data(), topLeft + 8), 2.0);

    const auto back = platform::LoadRecord<CHANNEL_BASE_INFO>(body.data() + second);
    const double topLeftY = back.grid[0][40].y;
    const double centreX = back.grid[20][20].x, sentCentreX = world->channels[1].grid[20][20].x;
    EXPECT_EQ(topLeftY, 2.0);
    EXPECT_EQ(centreX, sentCentreX);
}

}  // namespace
