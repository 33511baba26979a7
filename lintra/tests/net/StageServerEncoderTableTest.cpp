// One row per stage-server encoder: the head it puts on the wire, the body
// length, and its result when the session is not connected, when the server
// closes before replying and when the server answers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lintra/KestraneStageServer.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
#include "lintra/specialaction.h"
#include "support/ScriptedServer.h"
#include "platform/packed.h"
#include "support/support.h"

namespace {

using lintratest::Reply;
using lintratest::Request;
using lintratest::ScriptedServer;
using platform::WriteAt;

// The expected head is built field by field at the wire offsets.
struct HeadImage {
    tagNETHEAD h{};
    explicit HeadImage(uint32_t code) { lintra::InitHead(h, code); }
    HeadImage& I(size_t off, int32_t v) {
        WriteAt<int32_t>(&h, off, v);
        return *this;
    }
    HeadImage& D(size_t off, double v) {
        WriteAt<double>(&h, off, v);
        return *this;
    }
    HeadImage& B(size_t off, uint8_t v) {
        reinterpret_cast<uint8_t*>(&h)[off] = v;
        return *this;
    }
    HeadImage& T(size_t off, const std::string& bytes) {
        std::memcpy(reinterpret_cast<uint8_t*>(&h) + off, bytes.data(), bytes.size());
        return *this;
    }
    HeadImage& Len(uint32_t n) {
        h.bodyLength = n;
        return *this;
    }
};

std::map<size_t, int> NonZeroBytes(const tagNETHEAD& h) {
    std::map<size_t, int> out;
    const auto* b = reinterpret_cast<const uint8_t*>(&h);
    for (size_t i = 0; i < sizeof h; ++i)
        if (b[i]) out[i] = b[i];
    return out;
}

std::string Describe(const std::map<size_t, int>& bytes) {
    std::string s;
    for (const auto& [off, v] : bytes) s += "+" + std::to_string(off) + "=" + std::to_string(v) + " ";
    return s;
}

// Shared inputs of the rows.
struct Inputs {
    testsupport::TempDir dir;
    std::string projectPath;
    std::string imagePath;
    WORLD_BASE_INFO world{};
    VERTEX_GRID grid{};
    DOUBLE_POINT line[41]{};
    MEDIA_LEVEL_INFO media;
    std::vector<uint8_t> curve[4];
    std::string common255 = std::string(255, 'c');
    std::string common300 = std::string(300, 'd');

    Inputs() {
        projectPath = (dir / "show.vadra").string();
        testsupport::WriteFile(projectPath, std::string(1000, 'p'));
        imagePath = (dir / "bg.bmp").string();
        testsupport::WriteFile(imagePath, std::string(70000, 'i'));
        world.channelCount = 2;
        world.width = 1920;
        world.height = 1080;
        world.offsetMode = 1;
        world.offsetX = 5;
        world.offsetY = 6;
        for (int i = 0; i < 41; ++i) {
            for (int j = 0; j < 41; ++j) grid[i][j] = DOUBLE_POINT{i / 20.0 - 1, j / 20.0 - 1};
            line[i] = DOUBLE_POINT{i * 0.5, -i * 0.25};
        }
        media.type = 0;
        std::strcpy(media.name, "/media/clip.mp4");
        media.startTime = 1.5;
        media.stopTime = 9.0;
        media.rect = RECT{10, 20, 30, 40};
        media.specialAction = "0:{0.000000,1.000000/1.000000/1.000000/1.000000}";
        for (int k = 0; k < 4; ++k) {
            curve[k].resize(256);
            for (int i = 0; i < 256; ++i) curve[k][i] = static_cast<uint8_t>(i + k + 1);
        }
    }
};

Inputs& In() {
    static Inputs in;
    return in;
}

struct Row {
    const char* name;
    std::function<int(CKestraneStageServer&)> call;
    std::function<HeadImage()> head;   // expected request head, bodyLength included
    int notConnected;
    int closes;
    int answers;
    int32_t replyResult = 0;           // the server's +4
    uint32_t replyBody = 0;            // bytes of reply body the server sends
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

std::vector<Row> Rows() {
    constexpr uint32_t kGrid = 26896;
    std::vector<Row> rows = {
        {"ResetWorldConfig", [](auto& s) { return s.ResetWorldConfig(In().world); },
         [] { return HeadImage(10).I(4, 2).I(16, 1920).I(20, 1080).I(24, 5).I(28, 6).I(32, 1).Len(54076); }, -1, 1, 3,
         3},
        {"GetWorldConfig", [](auto& s) { WORLD_BASE_INFO w{}; return s.GetWorldConfig(w); },
         [] { return HeadImage(11); }, -1, 1, 0, 0, 216304},
        {"SetGeneralConfig",
         [](auto& s) {
             TOLVA_GENERAL_CONFIG c{};
             std::strcpy(c.showCluster, "wall");
             c.refreshRate = 60;
             c.serverAutoStart = 1;
             c.serverAutoLoadFile = 2;
             std::strcpy(c.text, "main");
             return s.SetGeneralConfig(&c);
         },
         [] { return HeadImage(12).I(4, 60).I(8, 1).I(12, 2).T(44, "wall").T(124, "main"); }, 2, 2, 0},
        {"SetProjectFile", [](auto& s) { return s.SetProjectFile(In().projectPath.c_str()); },
         [] { return HeadImage(13).I(4, 1000).T(124, "show.vadra").Len(1000); }, 2, 2, 0},
        {"SetDisplayMode", [](auto& s) { return s.SetDisplayMode(3); }, [] { return HeadImage(111).I(4, 3); }, -1, 1, 0},
        {"GetDisplayMode", [](auto& s) { DWORD m = 0; return s.GetDisplayMode(m); }, [] { return HeadImage(112); }, -1,
         1, 0},
        {"GetDisplayResolutions", [](auto& s) { POINT p[4]; int n = 4; return s.GetDisplayResolutions(p, &n); },
         [] { return HeadImage(113); }, -1, 1, 0},
        {"SetBlendData", [](auto& s) { return s.SetBlendData(7, 1, 2, 3, 4); },
         [] { return HeadImage(128).I(4, 1).B(8, 7).B(124, 1).B(125, 2).B(126, 3).B(127, 4); }, -1, 1, 0},
        {"SetBlendDataMap",
         [](auto& s) {
             std::map<int, RECT> m{{5, RECT{1, 2, 3, 4}}, {2, RECT{5, 6, 7, 8}}};
             return s.SetBlendData(m);
         },
         [] {
             return HeadImage(128).I(4, 2).B(8, 2).B(9, 5).T(124, std::string("\x05\x06\x07\x08\x01\x02\x03\x04", 8));
         },
         -1, 1, 0},
        {"SetVertexData", [](auto& s) { return s.SetVertexData(3, In().grid); },
         [] { return HeadImage(129).I(4, 3).I(8, 1).Len(kGrid); }, -1, 1, 0},
        {"SetSingleVertexData", [](auto& s) { return s.SetSingleVertexData(3, 4, 5, DOUBLE_POINT{0.25, -0.5}); },
         [] { return HeadImage(129).I(4, 3).I(8, 2).I(12, 4).I(16, 5).D(44, 0.25).D(52, -0.5); }, -1, 1, 0},
        {"SetRowVertexData", [](auto& s) { return s.SetRowVertexData(3, 6, In().line); },
         [] { return HeadImage(129).I(4, 3).I(8, 3).I(12, 6).Len(656); }, -1, 1, 0},
        {"SetColVertexData", [](auto& s) { return s.SetColVertexData(3, 9, In().line); },
         [] { return HeadImage(129).I(4, 3).I(8, 4).I(12, 9).Len(656); }, -1, 1, 0},
        {"GetVertexData", [](auto& s) { VERTEX_GRID g{}; return s.GetVertexData(3, g); },
         [] { return HeadImage(130).I(4, 3); }, -1, 1, 0, 0, kGrid},
        {"SelectChannel", [](auto& s) { return s.SelectChannel(2); }, [] { return HeadImage(131).I(4, 2); }, -1, 1, 0},
        {"MoveVertexData", [](auto& s) { return s.MoveVertexData(1, 4, 5, DOUBLE_POINT{0.125, 0.25}, nullptr); },
         [] { return HeadImage(132).I(4, 1).I(8, 4).I(12, 5).D(44, 0.125).D(52, 0.25); }, -1, 1, 0},
        {"MoveVertexDataGrid",
         [](auto& s) {
             VERTEX_GRID g{};
             return s.MoveVertexData(1, 4, 5, DOUBLE_POINT{0.125, 0.25}, g);
         },
         [] { return HeadImage(132).I(4, 1).I(8, 4).I(12, 5).I(16, 1).D(44, 0.125).D(52, 0.25); }, -1, 1, 0, 0, kGrid},
        {"SelectVertexData", [](auto& s) { return s.SelectVertexData(2, 7, 8); },
         [] { return HeadImage(133).I(4, 2).I(8, 7).I(12, 8); }, -1, 1, 0},
        {"SetChannelPos", [](auto& s) { return s.SetChannelPos(2, 1.5f, RECT{10, 20, 30, 40}); },
         [] { return HeadImage(136).I(4, 2).I(8, 10).I(12, 20).I(16, 30).I(20, 40).D(44, 1.5); }, -1, 1, 0},
        {"SetEdgeEliminateParam",
         [](auto& s) {
             const float a[3] = {1.25f, 0.5f, 1.0f}, b[3] = {2.0f, 3.0f, 4.0f}, c[3] = {5.0f, 6.0f, 7.0f};
             return s.SetEdgeEliminateParam(2, a, b, c, 1);
         },
         [] {
             return HeadImage(310).I(4, 2).I(8, 1).D(44, 1.25).D(52, 2).D(60, 5).D(68, 0.5).D(76, 3).D(84, 6).D(92, 1).D(
                 100, 4).D(108, 7);
         },
         -1, 1, 0},
        {"GetEdgeEliminateParam",
         [](auto& s) {
             float a[3], b[3], c[3];
             return s.GetEdgeEliminateParam(2, a, b, c);
         },
         [] { return HeadImage(311).I(4, 2); }, -1, 1, 0},
        {"SetBackgroundColor", [](auto& s) { return s.SetBackgroundColor(0x00112233); },
         [] { return HeadImage(203).I(8, 1).I(12, 1).I(16, 1).I(124, 0x00112233); }, -1, 1, 0},
        {"SetBackgroundImage", [](auto& s) { return s.SetBackgroundImage(In().imagePath.c_str()); },
         [] { return HeadImage(204).I(4, 70000).I(8, 1).T(124, "bg.bmp").Len(70000); }, -1, 1, 0},
        {"SetBackgroundImageShownOnly", [](auto& s) { return s.SetBackgroundImage(In().imagePath.c_str(), 0); },
         [] { return HeadImage(204).I(4, 70000).I(8, 0).T(124, "bg.bmp").Len(70000); }, -1, 1, 0},
        {"GetGlobalColorRatio",
         [](auto& s) {
             float r = 0.5f, g = 0.25f, b = 2.0f;
             return s.GetGlobalColorRatio(2, r, g, b);
         },
         [] { return HeadImage(205).I(4, 2).I(8, 1).D(44, 0.5).D(52, 0.25).D(60, 2.0); }, -1, 1, 0},
        {"GetAdvancedGlobalColor",
         [](auto& s) {
             uint8_t c0[256], c1[256], c2[256];
             return s.GetAdvancedGlobalColor(2, c0, c1, c2);
         },
         [] { return HeadImage(205).I(4, 2).I(8, 2); }, -1, 1, 0, 0, 768},
        {"GetGlobalColor",
         [](auto& s) {
             float r, g, b;
             uint8_t c0[256], c1[256], c2[256];
             return s.GetGlobalColor(2, r, g, b, c0, c1, c2);
         },
         [] { return HeadImage(205).I(4, 2).I(8, 3); }, -1, 1, 0, 0, 768},
        {"SetGlobalColorRatio", [](auto& s) { return s.SetGlobalColorRatio(2, 0.5f, 1.0f, 1.5f); },
         [] { return HeadImage(206).I(4, 2).I(8, 1).D(44, 0.5).D(52, 1.0).D(60, 1.5); }, -1, 1, 0},
        {"SetAdvancedGlobalColor",
         [](auto& s) {
             auto& c = In().curve;
             return s.SetAdvancedGlobalColor(2, c[0].data(), c[1].data(), c[2].data(), c[3].data(), 3);
         },
         [] { return HeadImage(206).I(4, 2).I(8, 2).I(12, 3).T(124, "\x04\x05\x06").Len(768); }, -1, 1, 0},
        {"AddMedia", [](auto& s) { return static_cast<int>(s.AddMedia(2, &In().media)); },
         [] {
             return HeadImage(528).I(4, 0).I(8, 2).I(20, 10).I(24, 20).I(28, 30).I(32, 40).D(44, 1.5).D(52, 9.0).T(
                 124, "clip.mp4").Len(static_cast<uint32_t>(In().media.specialAction.size() + 1));
         },
         0, 0, 77, 77},
        {"RemoveMedia", [](auto& s) { return s.RemoveMedia(77); }, [] { return HeadImage(529).I(4, 77); }, 2, 2, 0},
        {"UpdateMedia",
         [](auto& s) {
             const RECT rc{1, 2, 3, 4};
             return s.UpdateMedia(77, 3, 2.5, 8.0, &rc, "1:{0.000000,2.000000/1.000000/1.000000/1.000000}");
         },
         [] {
             return HeadImage(530).I(4, 77).I(8, 3).I(20, 1).I(24, 2).I(28, 3).I(32, 4).D(44, 2.5).D(52, 8.0).Len(49);
         },
         2, 2, 0},
        {"ClearAllMedia", [](auto& s) { return s.ClearAllMedia(); }, [] { return HeadImage(531); }, 2, 2, 0},
        {"SetCurrentTimeLine", [](auto& s) { return s.SetCurrentTimeLine(12.25); },
         [] { return HeadImage(532).D(44, 12.25); }, 2, 2, 0},
        {"UpdateSpecialAction2", [](auto& s) { return s.UpdateSpecialAction2(77, "2:{1.000000,0.000000/0.000000/0.000000/0.000000}"); },
         [] { return HeadImage(533).I(4, 77).Len(49); }, 2, 2, 0},
        {"UpdateSpecialAction",
         [](auto& s) {
             SPECIAL_ACTION_MAP m;
             m[2].push_back(ACTION_LEVEL_INFO{1, 0, 0, 0, 0});
             return s.UpdateSpecialAction(77, m);
         },
         [] { return HeadImage(533).I(4, 77).Len(49); }, 2, 2, 0},
        {"PlayMedia", [](auto& s) { return s.PlayMedia(); }, [] { return HeadImage(534); }, 2, 2, 0},
        {"StopMedia", [](auto& s) { return s.StopMedia(); }, [] { return HeadImage(535); }, 2, 2, 0},
        {"PauseMedia", [](auto& s) { return s.PauseMedia(); }, [] { return HeadImage(536); }, 2, 2, 0},
        {"MuteMedia", [](auto& s) { return s.MuteMedia(1, 77); }, [] { return HeadImage(537).I(4, 77).I(8, 1); }, 2, 2,
         0},
        {"HideMedia", [](auto& s) { return s.HideMedia(1, 77); }, [] { return HeadImage(538).I(4, 77).I(8, 1); }, 2, 2,
         0},
        {"SetPlayRate", [](auto& s) { return s.SetPlayRate(2.0, 77); }, [] { return HeadImage(541).I(4, 77).D(44, 2.0); },
         2, 2, 0},
        {"SetCommonDataInHead", [](auto& s) { return s.SetCommonData(4, 5, In().common255.data(), 255); },
         [] { return HeadImage(1009).I(4, 4).I(8, 5).I(12, 255).I(16, 1).T(124, std::string(255, 'c')); }, -1, 1, 0},
        {"SetCommonDataBody", [](auto& s) { return s.SetCommonData(4, 5, In().common300.data(), 300); },
         [] { return HeadImage(1009).I(4, 4).I(8, 5).I(12, 300).Len(300); }, -1, 1, 0},
    };
    return rows;
}

class EncoderTable : public ::testing::TestWithParam<Row> {};

TEST_P(EncoderTable, NotConnected) {
    const Row& row = GetParam();
    CKestraneStageServer s;
    EXPECT_EQ(row.call(s), row.notConnected);
}

TEST_P(EncoderTable, ServerClosesBeforeReplying) {
    const Row& row = GetParam();
    ScriptedServer server([](const Request&) { return Reply::CloseNow(); });
    CKestraneStageServer s;
    ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
    EXPECT_EQ(row.call(s), row.closes);
    ASSERT_TRUE(server.WaitForRequests(1));
    const Request req = server.Requests().at(0);
    const tagNETHEAD want = row.head().h;
    EXPECT_EQ(Describe(NonZeroBytes(req.head)), Describe(NonZeroBytes(want)));
    EXPECT_EQ(req.body.size(), want.bodyLength);
}

TEST_P(EncoderTable, ServerAnswers) {
    const Row& row = GetParam();
    ScriptedServer server([&row](const Request& req) {
        Reply r = Reply::Echo(req.head, row.replyResult);
        r.body.assign(row.replyBody, 0x11);
        return r;
    });
    CKestraneStageServer s;
    ASSERT_EQ(s.ConnectServer("127.0.0.1", server.port(), 2), 1);
    EXPECT_EQ(row.call(s), row.answers);
    ASSERT_EQ(server.RequestCount(), 1u);
    const Request req = server.Requests().at(0);
    const tagNETHEAD want = row.head().h;
    EXPECT_EQ(Describe(NonZeroBytes(req.head)), Describe(NonZeroBytes(want)));
    EXPECT_EQ(req.body.size(), want.bodyLength);
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderTable, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
