#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "channel/ChannelLayout.h"
#include "channel/Displays.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <class T>
void Put(Bytes& b, size_t off, T v) {
    std::memcpy(&b[off], &v, sizeof v);
}
template <class T>
T Get(const std::string& s, size_t off) {
    T v;
    std::memcpy(&v, s.data() + off, sizeof v);
    return v;
}

Bytes Record(int id, int output) {
    OutputChannel ch(0, 0, 10, 10);
    ch.m_id = id;
    ch.m_outputNumber = output;
    ch.m_stageRect = RECT{1, 2, 3, 4};
    ch.m_blend[OutputChannel::kBlendRight] = id * 3;
    Bytes b(OutputChannel::kRecordSize);
    ch.ToBytes(b.data());
    return b;
}

// A layout file as the table gives it.
Bytes LayoutFile(uint32_t version, int32_t count, int32_t rows, int32_t cols, int32_t w, int32_t h,
                 uint32_t n, int records) {
    Bytes b(1188, 0);
    Put(b, 0, version);
    Put(b, 4, count);
    Put(b, 8, int32_t{5});      // reserved word
    Put(b, 12, rows);
    Put(b, 16, cols);
    Put(b, 20, w);
    Put(b, 24, h);
    Put(b, 28, int32_t{0});
    Put(b, 32, int32_t{0});
    Put(b, 36, int32_t{0});     // automatic arrangement
    Put(b, 40, int32_t{2});     // stage mode
    Put(b, 44, DOUBLE_POINT{0.1, 0.2});  // bottom-left
    Put(b, 60, DOUBLE_POINT{0.9, 0.2});  // bottom-right
    Put(b, 76, DOUBLE_POINT{0.9, 0.8});  // top-right
    Put(b, 92, DOUBLE_POINT{0.1, 0.8});  // top-left
    Put(b, 108, int32_t{6});
    Put(b, 112, RECT{0, 0, 99, 99});
    Put(b, 144, int32_t{77});
    Put(b, 1184, n);
    for (int i = 0; i < records; ++i) {
        Bytes r = Record(i + 1, i + 1);
        b.insert(b.end(), r.begin(), r.end());
    }
    return b;
}

void Write(const std::filesystem::path& p, const Bytes& b) {
    testsupport::WriteFile(p, std::string(b.begin(), b.end()));
}

struct FilesTest : ::testing::Test {
    testsupport::TempDir dir;
    FakeDisplayBackend displays;
    ScopedDisplayBackend scoped{&displays};
    util::LogCapture log;
    void SetUp() override { displays.Add(0, 0, 1920, 1080, true); }
    std::string Path(const std::string& name) { return (dir / name).string(); }
};

}  // namespace

TEST_F(FilesTest, GoldenLayoutFileLoadsAndSavesByteForByte) {
    const Bytes golden = LayoutFile(2, 2, 1, 2, 960, 540, 2, 2);
    Write(dir / "default.cfg", golden);
    CChannelLayout layout;
    ASSERT_TRUE(layout.LoadCodFile(Path("default.cfg")));
    EXPECT_EQ(layout.m_nChannelCount, 2);
    EXPECT_EQ(layout.m_nReserved, 5);
    EXPECT_EQ(layout.m_nStageMode, 2);
    EXPECT_EQ(layout.m_nAutoArrange, 0);
    EXPECT_EQ(layout.m_nStoredWord3, 6);
    EXPECT_EQ(layout.m_corners[0].y, 0.8);  // top-left
    EXPECT_EQ(layout.m_corners[1].x, 0.1);  // bottom-left
    EXPECT_EQ(layout.m_corners[3].x, 0.9);  // bottom-right
    ASSERT_EQ(layout.m_channels.size(), 2u);
    EXPECT_EQ(layout.m_channels[1]->m_rect.left, 960);
    EXPECT_EQ(layout.m_channels[1]->m_stageRect.right, 3);  // stored stage rectangle kept
    EXPECT_EQ(layout.m_channels[1]->m_blend[OutputChannel::kBlendRight], 6);
    EXPECT_EQ(layout.m_nColumns, 2);
    EXPECT_EQ(layout.m_nMaxRight, 1920);
    EXPECT_EQ(layout.m_pSelected, layout.m_channels[0]);
    EXPECT_EQ(layout.m_channels[1]->m_texWindow[OutputChannel::kTexS0], 0.5);

    ASSERT_TRUE(layout.SaveCodFile(Path("again.cfg")));
    const std::string out = testsupport::ReadFile(dir / "again.cfg");
    ASSERT_EQ(out.size(), 1188u + 2 * 31184u);
    EXPECT_EQ(Get<uint32_t>(out, 0), 2u);
    EXPECT_EQ(Get<int32_t>(out, 8), 5);
    EXPECT_EQ(Get<double>(out, 44), 0.1);
    EXPECT_EQ(Get<double>(out, 92 + 8), 0.8);
    EXPECT_EQ(Get<int32_t>(out, 108), 6);
    EXPECT_EQ(Get<int32_t>(out, 144), 1920);
    EXPECT_EQ(Get<uint32_t>(out, 1184), 2u);
    for (size_t i = 160; i < 1184; ++i) ASSERT_EQ(out[i], 0) << i;
    // Saving what was loaded and loading it again changes nothing more.
    CChannelLayout second;
    ASSERT_TRUE(second.LoadCodFile(Path("again.cfg")));
    ASSERT_TRUE(second.SaveCodFile(Path("third.cfg")));
    EXPECT_EQ(testsupport::ReadFile(dir / "third.cfg"), out);
}

TEST_F(FilesTest, AnyVersionLoadsLikeTwo) {
    Write(dir / "v2.cfg", LayoutFile(2, 1, 1, 1, 640, 480, 1, 1));
    Write(dir / "v7.cfg", LayoutFile(7, 1, 1, 1, 640, 480, 1, 1));
    CChannelLayout a, b;
    ASSERT_TRUE(a.LoadCodFile(Path("v2.cfg")));
    ASSERT_TRUE(b.LoadCodFile(Path("v7.cfg")));
    ASSERT_TRUE(a.SaveCodFile(Path("a.cfg")));
    ASSERT_TRUE(b.SaveCodFile(Path("b.cfg")));
    EXPECT_EQ(testsupport::ReadFile(dir / "a.cfg"), testsupport::ReadFile(dir / "b.cfg"));
}

TEST_F(FilesTest, GridOverTheLimitBecomesOneRow) {
    Write(dir / "g.cfg", LayoutFile(2, 9, 3, 3, 240, 135, 0, 0));
    CChannelLayout layout;
    ASSERT_TRUE(layout.LoadCodFile(Path("g.cfg")));
    EXPECT_EQ(layout.m_nRows, 1);
    EXPECT_EQ(layout.m_nColumns, 8);
    EXPECT_EQ(layout.m_channels.size(), 8u);
    EXPECT_EQ(layout.m_nChannelCount, 8);
}

TEST_F(FilesTest, NoRecordsRebuildsTheDefaultGrid) {
    Write(dir / "n0.cfg", LayoutFile(2, 4, 2, 2, 320, 240, 0, 0));
    CChannelLayout layout;
    ASSERT_TRUE(layout.LoadCodFile(Path("n0.cfg")));
    ASSERT_EQ(layout.m_channels.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(layout.m_channels[i]->m_id, i + 1);
    // Then re-laid row by row across the 1,920-pixel desktop: one row of four.
    EXPECT_EQ(layout.m_nRows, 1);
    EXPECT_EQ(layout.m_nColumns, 4);
    EXPECT_EQ(layout.m_channels[3]->m_rect.left, 960);
    EXPECT_TRUE(log.Contains("reset channel. row=2.col=2.width=320,height=240"));
}

TEST_F(FilesTest, ShortAndOversizedFilesStopAtTheLastWholeRecord) {
    struct Case {
        const char* what;
        uint32_t n;
        int records;
        size_t cut;      // bytes removed from the end
        size_t want;
        const char* logged;
    };
    const Case cases[] = {
        {"half a record", 2, 2, 15000, 1, "1 of 2 channel records dropped"},
        {"huge count", 0xFFFFFFFFu, 1, 0, 1, "4294967294 of 4294967295 channel records dropped"},
        {"over the limit", 10, 10, 0, 8, "2 of 10 channel records dropped"},
    };
    for (const auto& c : cases) {
        log.Clear();
        // Small channels so the desktop holds every one of them.
        Bytes b = LayoutFile(2, static_cast<int32_t>(c.n > 8 ? 8 : c.n), 1, 8, 100, 100, c.n, c.records);
        b.resize(b.size() - c.cut);
        Write(dir / "s.cfg", b);
        CChannelLayout layout;
        ASSERT_TRUE(layout.LoadCodFile(Path("s.cfg"))) << c.what;
        EXPECT_EQ(layout.m_channels.size(), c.want) << c.what;
        EXPECT_LE(layout.m_nChannelCount, static_cast<int32_t>(c.want)) << c.what;
        EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, c.logged)) << c.what;
    }
}

TEST_F(FilesTest, TruncatedHeaderKeepsUnreadFields) {
    Bytes b = LayoutFile(2, 1, 1, 1, 640, 480, 1, 1);
    b.resize(22);  // cut inside the channel width
    Write(dir / "t.cfg", b);
    CChannelLayout layout;
    ASSERT_TRUE(layout.LoadCodFile(Path("t.cfg")));
    EXPECT_EQ(layout.m_nChannelWidth, 320);  // could not be read
    EXPECT_EQ(layout.m_nReserved, 5);
    ASSERT_EQ(layout.m_channels.size(), 1u);  // count unread: the default grid
}

TEST_F(FilesTest, DesktopCapacityCutsTheList) {
    Write(dir / "big.cfg", LayoutFile(2, 2, 1, 2, 1920, 1080, 2, 2));
    CChannelLayout layout;
    ASSERT_TRUE(layout.LoadCodFile(Path("big.cfg")));
    EXPECT_EQ(layout.m_channels.size(), 1u);
    EXPECT_EQ(layout.m_nChannelCount, 1);
}

TEST_F(FilesTest, ZeroChannelSizeDoesNotDivideByZero) {
    Write(dir / "z.cfg", LayoutFile(2, 1, 1, 1, 0, -4, 1, 1));
    CChannelLayout layout;
    ASSERT_TRUE(layout.LoadCodFile(Path("z.cfg")));
    EXPECT_EQ(layout.m_nChannelWidth, 320);
    EXPECT_EQ(layout.m_nChannelHeight, 240);
    EXPECT_EQ(layout.m_channels.size(), 1u);
}

TEST_F(FilesTest, MissingLayoutFileLeavesTheLayout) {
    CChannelLayout layout;
    layout.ResetChannels();
    EXPECT_FALSE(layout.LoadCodFile(Path("none.cfg")));
    EXPECT_EQ(layout.m_channels.size(), 1u);
    EXPECT_FALSE(layout.SaveCodFile(Path("no/such/folder.cfg")));
}

TEST_F(FilesTest, ChannelDataRoundTripAndRefusals) {
    ChannelPtrList list;
    for (int i = 0; i < 2; ++i) {
        auto ch = std::make_unique<OutputChannel>(i * 100, 0, 100, 100);
        ch->m_id = i + 1;
        ch->MoveVertex(2, 20, 20, 0.3 * i, 0.1);
        list.Append(std::move(ch));
    }
    ASSERT_TRUE(list.SaveChannelData(Path("data.bin")));
    const std::string bytes = testsupport::ReadFile(dir / "data.bin");
    ASSERT_EQ(bytes.size(), 40u + 2 * 31184u);
    EXPECT_EQ(std::string(bytes.data()), "#vesk#channel#data");
    for (size_t i = 18; i < 32; ++i) EXPECT_EQ(bytes[i], 0);
    EXPECT_EQ(Get<float>(bytes, 32), 1.0f);
    EXPECT_EQ(Get<int32_t>(bytes, 36), 2);

    ChannelPtrList back;
    ASSERT_TRUE(back.LoadChannelData(Path("data.bin")));
    ASSERT_EQ(back.size(), 2u);
    Bytes a(OutputChannel::kRecordSize), b(OutputChannel::kRecordSize);
    list[1]->ToBytes(a.data());
    back[1]->ToBytes(b.data());
    EXPECT_EQ(a, b);

    auto variant = [&](auto edit) {
        std::string v = bytes;
        edit(v);
        testsupport::WriteFile(dir / "v.bin", v);
        ChannelPtrList l;
        const bool ok = l.LoadChannelData(Path("v.bin"));
        EXPECT_EQ(l.size(), ok ? 2u : 0u);
        return ok;
    };
    auto setVersion = [](float f) { return [f](std::string& v) { std::memcpy(&v[32], &f, 4); }; };
    EXPECT_FALSE(variant(setVersion(0.5f)));
    EXPECT_TRUE(variant(setVersion(2.0f)));
    EXPECT_FALSE(variant([](std::string& v) { v[0] = 'X'; }));
    EXPECT_FALSE(variant([](std::string& v) { v.resize(v.size() - 1); }));
    EXPECT_FALSE(variant([](std::string& v) { v.resize(30); }));
    EXPECT_FALSE(variant([](std::string& v) { int32_t n = 3; std::memcpy(&v[36], &n, 4); }));
    EXPECT_FALSE(variant([](std::string& v) { int32_t n = -1; std::memcpy(&v[36], &n, 4); }));
    ChannelPtrList none;
    EXPECT_FALSE(none.LoadChannelData(Path("missing.bin")));
}

// A world whose origin lies on the coordinate bound has its channels laid out
// past it. The server saves such a layout; it used to refuse the saved file
// at the next load (and keep it aside at start-up), losing the world.
TEST_F(FilesTest, LayoutsFromAnOriginOnTheBoundSaveAndLoadAgain) {
    struct Case {
        const char* what;
        int32_t count, rows, cols, w, h, x, y;
        bool desktop;
    };
    const int32_t edge = layoutbounds::kMaxCoordinate;
    const Case cases[] = {
        {"two across at the right bound, no desktop", 2, 1, 2, 1920, 1080, edge, 0, false},
        {"two across at the right bound", 2, 1, 2, 1920, 1080, edge, 0, true},
        {"a full grid of the largest channels", 8, 2, 4, 16384, 16384, edge, edge, false},
        {"at the lower bound", 4, 2, 2, 640, 480, -edge, -edge, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeDisplayBackend none;
        std::unique_ptr<ScopedDisplayBackend> noDesktop;
        if (!c.desktop) noDesktop = std::make_unique<ScopedDisplayBackend>(&none);
        Bytes file = LayoutFile(2, c.count, c.rows, c.cols, c.w, c.h, 0, 0);
        Put(file, 28, c.x);
        Put(file, 32, c.y);
        Write(dir / "edge.cfg", file);
        CChannelLayout first;
        ASSERT_TRUE(first.LoadCodFile(Path("edge.cfg")));
        ASSERT_TRUE(first.SaveCodFile(Path("saved.cfg")));
        CChannelLayout second;
        ASSERT_TRUE(second.LoadCodFile(Path("saved.cfg")));
        EXPECT_FALSE(second.LastLoadRefused());
        EXPECT_EQ(second.m_channels.size(), first.m_channels.size());
        EXPECT_EQ(second.m_nOriginX, c.x);
        // And it stays that way, save after save.
        ASSERT_TRUE(second.SaveCodFile(Path("again.cfg")));
        CChannelLayout third;
        EXPECT_TRUE(third.LoadCodFile(Path("again.cfg")));
        EXPECT_EQ(third.m_channels.size(), first.m_channels.size());
    }
    // Past the bound the origin is still refused.
    Bytes far = LayoutFile(2, 1, 1, 1, 1, 1, 0, 0);
    Put(far, 28, edge + 1);
    Write(dir / "far.cfg", far);
    CChannelLayout refused;
    EXPECT_FALSE(refused.LoadCodFile(Path("far.cfg")));
    EXPECT_TRUE(refused.LastLoadRefused());
}
