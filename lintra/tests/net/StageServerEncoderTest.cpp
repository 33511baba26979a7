// Encoder behaviour beyond the head layout: bodies, reply handling, bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lintra/KestraneStageServer.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
#include "support/ScriptedServer.h"
#include "platform/packed.h"
#include "platform/textcodec.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using lintratest::Reply;
using lintratest::Request;
using lintratest::ScriptedServer;
using platform::ReadAt;
using platform::WriteAt;

// A server that echoes every head with result 0 and no body.
struct EchoFixture : ::testing::Test {
    ScriptedServer server{[](const Request& r) { return Reply::Echo(r.head, 0); }};
    CKestraneStageServer s;
    void SetUp() override { ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1); }
    Request Only() {
        EXPECT_EQ(server.RequestCount(), 1u);
        return server.Requests().at(0);
    }
};

VERTEX_GRID& SampleGrid() {
    static VERTEX_GRID g;
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) g[i][j] = DOUBLE_POINT{i * 0.01 - 0.2, j * -0.02 + 0.4};
    return g;
}

TEST_F(EchoFixture, GridBodyKeepsTheWireOrder) {
    ASSERT_EQ(s.SetVertexData(2, SampleGrid()), 0);
    const Request req = Only();
    ASSERT_EQ(req.body.size(), 26896u);
    // Point (i, j) at i * 41 + j, x then y.
    EXPECT_EQ(ReadAt<double>(req.body.data(), (3 * 41 + 7) * 16), 3 * 0.01 - 0.2);
    EXPECT_EQ(ReadAt<double>(req.body.data(), (3 * 41 + 7) * 16 + 8), 7 * -0.02 + 0.4);
    EXPECT_EQ(std::memcmp(req.body.data(), SampleGrid(), 26896), 0);
}

TEST(Encoders, GetVertexDataNeedsAWholeGrid) {
    for (uint32_t bodyBytes : {0u, 26895u, 26897u, 26896u}) {
        ScriptedServer server([&](const Request& req) {
            Reply r = Reply::Echo(req.head, 0);
            r.body.resize(bodyBytes);
            for (size_t i = 0; i < r.body.size(); ++i) r.body[i] = static_cast<uint8_t>(i * 7);
            return r;
        });
        CKestraneStageServer s;
        ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
        VERTEX_GRID grid;
        std::memset(grid, 0xEE, sizeof grid);
        const int r = s.GetVertexData(1, grid);
        if (bodyBytes == 26896u) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(reinterpret_cast<uint8_t*>(grid)[100], static_cast<uint8_t>(700));
        } else {
            EXPECT_EQ(r, 2) << bodyBytes;
            EXPECT_EQ(reinterpret_cast<uint8_t*>(grid)[100], 0xEE) << "grid untouched";
        }
        // The stream stays aligned: the next command gets its own reply.
        EXPECT_EQ(s.SelectChannel(1), 0);
    }
}

TEST(Encoders, MoveVertexDataReturnsTheGridWhenAsked) {
    ScriptedServer server([](const Request& req) {
        Reply r = Reply::Echo(req.head, 0);
        if (ReadAt<int32_t>(&req.head, 16) != 0) {
            r.body.resize(26896);
            std::memcpy(r.body.data(), SampleGrid(), 26896);
        }
        return r;
    });
    CKestraneStageServer s;
    ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
    VERTEX_GRID grid{};
    EXPECT_EQ(s.MoveVertexData(0, 1, 2, DOUBLE_POINT{0.1, 0.2}, grid), 0);
    EXPECT_EQ(std::memcmp(grid, SampleGrid(), sizeof grid), 0);
    EXPECT_EQ(s.MoveVertexData(0, 1, 2, DOUBLE_POINT{0.1, 0.2}, nullptr), 0);
}

TEST(Encoders, DisplayResolutionsRespectCapacityAndTheHeadsRoom) {
    const struct {
        int32_t reported;
        int capacity;
        int expectCount;
    } rows[] = {{4, 2, 2}, {2, 8, 2}, {9, 8, 4}, {-3, 4, 0}};
    for (const auto& row : rows) {
        ScriptedServer server([&](const Request& req) {
            Reply r = Reply::Echo(req.head, row.reported);
            for (size_t i = 0; i < 4; ++i) {
                WriteAt<int32_t>(&r.head, 124 + 64 * i, static_cast<int32_t>(1000 + i));
                WriteAt<int32_t>(&r.head, 128 + 64 * i, static_cast<int32_t>(500 + i));
            }
            return r;
        });
        CKestraneStageServer s;
        ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
        POINT sizes[8] = {};
        int count = row.capacity;
        EXPECT_EQ(s.GetDisplayResolutions(sizes, &count), 0);
        EXPECT_EQ(count, row.expectCount) << row.reported << " / " << row.capacity;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(sizes[i].x, 1000 + i);
            EXPECT_EQ(sizes[i].y, 500 + i);
        }
        for (int i = count; i < 8; ++i) EXPECT_EQ(sizes[i].x, 0);
        EXPECT_EQ(s.GetDisplayResolutions(nullptr, &count), 0);
    }
}

TEST_F(EchoFixture, BlendMapSendsTheFirst36AndLogsTheRest) {
    util::LogCapture log;
    std::map<int, RECT> m;
    for (int id = 0; id < 40; ++id) m[id] = RECT{id, 1, 2, 3};
    EXPECT_EQ(s.SetBlendData(m), 0);
    const Request req = Only();
    EXPECT_EQ(req.head.intParam[0], 36);
    const auto* b = reinterpret_cast<const uint8_t*>(&req.head);
    EXPECT_EQ(b[8 + 35], 35);
    EXPECT_EQ(b[124 + 4 * 35], 35);
    EXPECT_EQ(req.head.bodyLength, 0u) << "the id bytes did not spill";
    EXPECT_TRUE(log.Contains("only the first 36"));
    EXPECT_TRUE(log.Contains("id=35.[35,1,2,3]"));
    EXPECT_FALSE(log.Contains("id=36."));
}

TEST(Encoders, AdvancedColorClampsThePointCount) {
    std::vector<uint8_t> c0(300, 1), c1(300, 2), c2(300, 3), c3(300, 4);
    const struct {
        int n;
        int32_t sent;
    } rows[] = {{300, 256}, {256, 256}, {-5, 0}, {10, 10}};
    for (const auto& row : rows) {
        ScriptedServer server([](const Request& r) { return Reply::Echo(r.head, 0); });
        CKestraneStageServer s;
        ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
        EXPECT_EQ(s.SetAdvancedGlobalColor(1, c0.data(), c1.data(), c2.data(), c3.data(), row.n), 0);
        ASSERT_TRUE(server.WaitForRequests(1));
        const Request req = server.Requests().at(0);
        EXPECT_EQ(req.head.intParam[2], row.sent);
        EXPECT_EQ(req.head.bodyLength, 768u) << "the body-length field stays intact";
        ASSERT_EQ(req.body.size(), 768u);
        const size_t n = static_cast<size_t>(row.sent);
        for (size_t i = 0; i < 256; ++i) {
            EXPECT_EQ(req.body[i], i < n ? 1 : 0);
            EXPECT_EQ(req.body[256 + i], i < n ? 2 : 0);
            EXPECT_EQ(req.body[512 + i], i < n ? 3 : 0);
            EXPECT_EQ(static_cast<uint8_t>(req.head.textParam[i]), i < n ? 4 : 0);
        }
    }
}

TEST_F(EchoFixture, CommonDataNegativeLengthIsEmpty) {
    const char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(s.SetCommonData(1, 2, data, -7), 0);
    const Request req = Only();
    EXPECT_EQ(req.head.intParam[2], 0);
    EXPECT_EQ(req.head.intParam[3], 1);
    EXPECT_EQ(req.head.textParam[0], 0);
    EXPECT_TRUE(req.body.empty());
}

TEST_F(EchoFixture, CommonDataBodyCarriesTheBytes) {
    std::string data(256, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
    EXPECT_EQ(s.SetCommonData(1, 2, data.data(), 256), 0);
    const Request req = Only();
    EXPECT_EQ(req.head.intParam[3], 0);
    EXPECT_EQ(std::string(req.body.begin(), req.body.end()), data);
}

TEST_F(EchoFixture, AddMediaSendsTheActionTextOnlyWhenThereIsOne) {
    MEDIA_LEVEL_INFO m;
    std::strcpy(m.name, "cam");
    m.type = 1;
    EXPECT_EQ(s.AddMedia(0, &m), 0u);  // the echo answers 0
    m.specialAction = "0:{0.000000,1.000000/1.000000/1.000000/1.000000}";
    s.AddMedia(0, &m);
    ASSERT_TRUE(server.WaitForRequests(2));
    const auto reqs = server.Requests();
    EXPECT_TRUE(reqs[0].body.empty());
    EXPECT_EQ(std::string(reqs[0].head.textParam), "cam");
    EXPECT_EQ(std::string(reqs[1].body.begin(), reqs[1].body.end()), m.specialAction + std::string(1, '\0'));
}

TEST_F(EchoFixture, FileAndMediaNamesAreGbkLastComponentsCut) {
    // A path longer than the text area whose last component is too long for it
    // once in GBK: "ß" takes 2 bytes in UTF-8 and 4 in GB18030.
    std::string longName;
    for (int i = 0; i < 100; ++i) longName += "ß";
    longName += ".bin";
    testsupport::TempDir dir;
    // A folder chain that makes the path itself longer than 256 bytes.
    std::string folder = dir.str();
    for (int i = 0; i < 4; ++i) folder += "/" + std::string(60, 'f' + i);
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + longName;
    testsupport::WriteFile(path, "x");
    ASSERT_GT(path.size(), 256u);

    ASSERT_EQ(s.SetProjectFile(path.c_str()), 0);
    const Request req = Only();
    const size_t n = strnlen(req.head.textParam, 256);
    EXPECT_LE(n, 255u);
    EXPECT_EQ(req.head.bodyLength, 1u) << "the text did not run into the body length";
    const std::string gbk = platform::Utf8ToGbk(longName);
    EXPECT_EQ(std::string(req.head.textParam, n), gbk.substr(0, n));
    EXPECT_EQ(n, 252u) << "63 whole four-byte characters";
}

TEST_F(EchoFixture, BackgroundImageNeedsAnExistingReadableFile) {
    testsupport::TempDir dir;
    const std::string missing = (dir / "none.bmp").string();
    EXPECT_EQ(s.SetBackgroundImage(missing.c_str()), 6);
    EXPECT_FALSE(std::filesystem::exists(missing)) << "no file is created";
    EXPECT_EQ(s.SetBackgroundImage(dir.str().c_str()), 6);
    EXPECT_EQ(s.SetBackgroundImage(nullptr), -2);
    EXPECT_EQ(server.RequestCount(), 0u);

    const std::string image = (dir / "pic.bmp").string();
    std::string content(3 * 1024 * 1024 + 1, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31);
    testsupport::WriteFile(image, content);
    EXPECT_EQ(s.SetBackgroundImage(image.c_str()), 0);
    const Request req = Only();
    EXPECT_EQ(std::string(req.body.begin(), req.body.end()), content);
}

TEST_F(EchoFixture, NullRecordsAreRefusedWithoutSending) {
    EXPECT_EQ(s.SetGeneralConfig(nullptr), -2);
    EXPECT_EQ(s.AddMedia(1, nullptr), 0u);
    EXPECT_EQ(s.UpdateMedia(5, 1, 0.0, 1.0, nullptr, "x"), 2);
    EXPECT_EQ(s.SetProjectFile(nullptr), -2);
    EXPECT_EQ(s.SetVertexData(1, nullptr), 1);
    EXPECT_EQ(s.GetVertexData(1, nullptr), 1);
    EXPECT_EQ(s.SetEdgeEliminateParam(1, nullptr, nullptr, nullptr, 0), 1);
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(EchoFixture, WorldOfNoChannelsHasNoBodyAndTooManyAreRefused) {
    WORLD_BASE_INFO w{};
    w.channelCount = 0;
    EXPECT_EQ(s.ResetWorldConfig(w), 0);
    w.channelCount = 9;
    EXPECT_EQ(s.ResetWorldConfig(w), 3);
    w.channelCount = -1;
    EXPECT_EQ(s.ResetWorldConfig(w), 3);
    const Request req = Only();
    EXPECT_EQ(req.head.intParam[0], 0);
    EXPECT_EQ(req.head.bodyLength, 0u);
}

TEST(Encoders, WorldRecordsGoBackToBack) {
    ScriptedServer server([](const Request& r) { return Reply::Echo(r.head, 4); });
    CKestraneStageServer s;
    ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
    static WORLD_BASE_INFO w{};
    w.channelCount = 2;
    w.channels[0].channelId = 11;
    w.channels[1].channelId = 12;
    w.channels[1].edgeParam[2][2] = 1.0f;
    util::LogCapture log;
    EXPECT_EQ(s.ResetWorldConfig(w), 4);
    const Request req = server.Requests().at(0);
    ASSERT_EQ(req.body.size(), 54076u);
    EXPECT_EQ(std::memcmp(req.body.data(), &w.channels[0], 54076), 0);
    EXPECT_TRUE(log.Contains("resetword. channel count=2. width=0.height=0.offset(0,0),offsetmode=0"));
    EXPECT_TRUE(log.Contains("channel. id=12.blend(0,0,0,0).rotate=0.000000.rect(0,0,0,0).globalcolor(0.000000,0.000000,"
                             "0.000000),elimiteparam(0.000000,0.000000,1.000000)"));
}

TEST(Encoders, ColourRatioOfAMissingChannelIsAFailure) {
    ScriptedServer server([](const Request& req) {
        Reply r = Reply::Echo(req.head, 0);
        r.head = tagNETHEAD{};
        r.head.command = req.head.command;
        r.head.intParam[0] = 5;
        return r;
    });
    CKestraneStageServer s;
    ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
    float r = 0.5f, g = 0.6f, b = 0.7f;
    EXPECT_EQ(s.GetGlobalColorRatio(9, r, g, b), 1);
    EXPECT_EQ(r, 0.5f);
    EXPECT_EQ(g, 0.6f);
    EXPECT_EQ(b, 0.7f);
}

TEST(Encoders, GettersFillTheirOutputs) {
    ScriptedServer server([](const Request& req) {
        Reply r = Reply::Echo(req.head, 0);
        switch (req.head.command) {
            case NETCMD::GetWorldConfig:
                r.head.intParam[0] = 2;
                r.head.intParam[3] = 800;
                r.head.intParam[4] = 600;
                r.head.intParam[5] = 7;
                r.head.intParam[6] = 8;
                r.head.intParam[7] = 1;
                r.body.assign(216304, 0);
                break;
            case NETCMD::GetDisplayMode:
                r.head.intParam[0] = 5;
                break;
            case NETCMD::GetGlobalColor:
                WriteAt<double>(&r.head, 44, 0.25);
                WriteAt<double>(&r.head, 52, 0.5);
                WriteAt<double>(&r.head, 60, 0.75);
                if (req.head.intParam[1] != 1) {
                    r.body.resize(768);
                    for (size_t i = 0; i < 768; ++i) r.body[i] = static_cast<uint8_t>(i / 256 + 1);
                }
                break;
            case NETCMD::GetEdgeEliminateParam:
                for (size_t k = 0; k < 9; ++k) WriteAt<double>(&r.head, 44 + 8 * k, 1.0 + static_cast<double>(k));
                break;
        }
        return r;
    });
    CKestraneStageServer s;
    ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);

    WORLD_BASE_INFO w{};
    w.channels[0].channelId = 99;
    EXPECT_EQ(s.GetWorldConfig(w), 0);
    EXPECT_EQ(w.channelCount, 2);
    EXPECT_EQ(w.width, 800);
    EXPECT_EQ(w.height, 600);
    EXPECT_EQ(w.offsetX, 7);
    EXPECT_EQ(w.offsetY, 8);
    EXPECT_EQ(w.offsetMode, 1);
    EXPECT_EQ(w.channels[0].channelId, 99) << "channel records untouched";

    DWORD mode = 0;
    EXPECT_EQ(s.GetDisplayMode(mode), 0);
    EXPECT_EQ(mode, 5u);

    float r = 1, g = 1, b = 1;
    EXPECT_EQ(s.GetGlobalColorRatio(1, r, g, b), 0);
    EXPECT_EQ(r, 0.25f);
    EXPECT_EQ(g, 0.5f);
    EXPECT_EQ(b, 0.75f);

    uint8_t c0[256], c1[256], c2[256];
    r = g = b = 0;
    EXPECT_EQ(s.GetGlobalColor(1, r, g, b, c0, c1, c2), 0);
    EXPECT_EQ(b, 0.75f);
    EXPECT_EQ(c0[0], 1);
    EXPECT_EQ(c1[255], 2);
    EXPECT_EQ(c2[128], 3);

    float ea[3], eb[3], ec[3];
    EXPECT_EQ(s.GetEdgeEliminateParam(1, ea, eb, ec), 0);
    EXPECT_EQ(ea[0], 1.0f);
    EXPECT_EQ(eb[0], 2.0f);
    EXPECT_EQ(ec[0], 3.0f);
    EXPECT_EQ(ea[2], 7.0f);
    EXPECT_EQ(ec[2], 9.0f);
}

TEST(Encoders, ColourGettersWithoutTheirBodyGiveTwo) {
    ScriptedServer server([](const Request& req) { return Reply::Echo(req.head, 0); });
    CKestraneStageServer s;
    ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
    uint8_t c0[256], c1[256], c2[256];
    float r, g, b;
    EXPECT_EQ(s.GetAdvancedGlobalColor(1, c0, c1, c2), 2);
    EXPECT_EQ(s.GetGlobalColor(1, r, g, b, c0, c1, c2), 2);
    WORLD_BASE_INFO w{};
    EXPECT_EQ(s.GetWorldConfig(w), 2);
}

TEST_F(EchoFixture, MediaLogLines) {
    util::LogCapture log;
    EXPECT_EQ(s.MuteMedia(1, 42), 0);
    EXPECT_EQ(s.SetCurrentTimeLine(1.5), 0);
    EXPECT_EQ(s.UpdateSpecialAction2(42, nullptr), 0);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "MuteMedia id=42. ret= 1"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "SetCurrentTimeLine ftime=1.500000. ret= 1"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "update action. null"));
}

}  // namespace
