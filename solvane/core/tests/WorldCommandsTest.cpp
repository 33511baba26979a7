#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandFixture.h"
#include "core/MediaFiles.h"
#include "core/SettingsRecord.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "platform/tick.h"
#include "platform/types.h"
#include "util/LogCapture.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

class WorldCommands : public CommandFixture {};

TEST_F(WorldCommands, SetWorldWithTwoMatchingDisplaysBuildsTheChannelsAndSavesThem) {
    const CommandReply r = SetTwoChannelWorld();
    EXPECT_EQ(r.head.intParam[0], 0);
    EXPECT_EQ(r.head.intParam[1], 8);
    EXPECT_EQ(r.result, 0);

    ASSERT_EQ(Layout().m_channels.size(), 2u);
    EXPECT_EQ(Layout().m_nRows, 1);
    EXPECT_EQ(Layout().m_nColumns, 2);
    EXPECT_EQ(Layout().m_nTotalWidth, 3648);  // 3840 - 4 / 40 x 1920
    EXPECT_EQ(Layout().m_channels[1]->m_blend[OutputChannel::kBlendLeft], 4);
    EXPECT_DOUBLE_EQ(Layout().m_channels[1]->m_texWindow[OutputChannel::kTexS0], 0.5);
    EXPECT_EQ(core->m_nMediaWidth, 3840);
    EXPECT_EQ(core->m_nMediaHeight, 1080);
    // The output window is placed over both displays before it is rebuilt.
    EXPECT_EQ(core->m_rcOutput.left, 0);
    EXPECT_EQ(core->m_rcOutput.top, 0);
    EXPECT_EQ(core->m_rcOutput.right, 3840);
    EXPECT_EQ(core->m_rcOutput.bottom, 1080);
    EXPECT_TRUE(core->m_bSceneChanged.load());
    EXPECT_EQ(output.Count("rebuild"), 1u);
    EXPECT_TRUE(std::filesystem::exists(dir / "default.cfg"));
}

TEST_F(WorldCommands, SetWorldResultTable) {
    util::LogCapture log;
    struct Case {
        const char* what;
        std::vector<int32_t> ints;  // count, rows, cols, width, height, x, y, mode
        std::vector<CHANNEL_BASE_INFO> records;
        size_t cutBody;             // bytes taken off the body
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"no channel, virtual screen divides", {0, 0, 0, 1920, 1080, 0, 0, 0}, {}, 0, 0},
        {"display 5 on a two-display machine", {1, 0, 0, 1920, 1080, 0, 0, 0}, {Record(5)}, 0, 4},
        {"display of another size", {1, 0, 0, 1280, 1080, 0, 0, 0}, {Record(1)}, 0, 4},
        {"virtual width not a multiple", {0, 0, 0, 1000, 1080, 0, 0, 0}, {}, 0, 4},
        {"width 0", {0, 0, 0, 0, 1080, 0, 0, 0}, {}, 0, 4},
        {"negative height", {0, 0, 0, 1920, -1080, 0, 0, 0}, {}, 0, 4},
        {"nine channels", {9, 0, 0, 1920, 1080, 0, 0, 0}, {}, 0, 3},
        {"negative count", {-1, 0, 0, 1920, 1080, 0, 0, 0}, {}, 0, 3},
        {"short body", {2, 0, 0, 1920, 1080, 0, 0, 0}, {Record(1), Record(2)}, 1, 4},
        {"more channels than the desktop holds", {3, 0, 0, 1920, 1080, 0, 0, 0},
         {Record(1), Record(2), Record(1)}, 0, 3},
        {"rows x columns above the limit", {2, 3, 3, 1920, 1080, 0, 0, 0}, {Record(1), Record(2)}, 0, 3},
        {"rows x columns above the count", {1, 1, 2, 1920, 1080, 0, 0, 0}, {Record(1)}, 0, 3},
        {"rows x columns that overflow 32 bits", {2, 65536, 65536, 1920, 1080, 0, 0, 0},
         {Record(1), Record(2)}, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        core->m_bSceneChanged = false;
        const size_t before = output.Count("rebuild");
        const size_t channelsBefore = Layout().m_channels.size();
        tagNETHEAD h = Head(10);
        for (size_t k = 0; k < c.ints.size(); ++k) h.intParam[k] = c.ints[k];
        std::vector<uint8_t> body = Records(c.records);
        body.resize(body.size() - c.cutBody);
        const CommandReply r = Send(h, body);
        EXPECT_EQ(r.head.intParam[0], c.expected);
        EXPECT_EQ(r.head.intParam[1], 8);
        if (c.expected != 0) {
            EXPECT_EQ(Layout().m_channels.size(), channelsBefore);
            EXPECT_EQ(output.Count("rebuild"), before);
            EXPECT_FALSE(core->m_bSceneChanged.load());
        } else {
            EXPECT_EQ(output.Count("rebuild"), before + 1);
        }
    }
    EXPECT_TRUE(log.Contains("SET World Error. Limit 8.row=3,col=3,width=1920,height=1080.MAX=2"));
}

TEST_F(WorldCommands, OffsetModeOnePlacesTheWorldBesideThePrimaryScreen) {
    SetTwoChannelWorld({}, {}, 1);
    EXPECT_EQ(Layout().m_nOriginX, 1920);
    EXPECT_EQ(Layout().m_nOriginY, 0);
}

TEST_F(WorldCommands, GetLayoutGolden) {
    SetTwoChannelWorld();
    const CommandReply r = Send(Head(7, {1}));
    const int32_t expectedHead[9] = {1, 2, 1920, 1080, 0, 0, 0, 0, 1};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(r.head.intParam[k], expectedHead[k]) << "int " << k;
    const int32_t expectedBody[16] = {0,    0, 1920, 1080, 0, 0, 4, 0,  // rect, blend l t r b
                                      1920, 0, 3840, 1080, 4, 0, 0, 0};
    ASSERT_EQ(r.body.size(), sizeof expectedBody);
    EXPECT_EQ(std::memcmp(r.body.data(), expectedBody, sizeof expectedBody), 0);

    const CommandReply noList = Send(Head(7, {0}));
    EXPECT_EQ(noList.head.intParam[1], 2);
    EXPECT_TRUE(noList.body.empty());
}

TEST_F(WorldCommands, GetWorldGolden) {
    CHANNEL_BASE_INFO rec1 = Record(1, {1, 2, 3, 4}, {0, 0, 1920, 1080});
    rec1.rotation = 12.5f;
    CHANNEL_BASE_INFO rec2 = Record(2, {5, 6, 7, 8}, {1920, 0, 3840, 1080});
    ASSERT_EQ(Send(Head(10, {2, 1, 2, 1920, 1080}), Records({rec1, rec2})).head.intParam[0], 0);

    const CommandReply r = Send(Head(11));
    const int32_t expectedHead[9] = {2, 1, 2, 1920, 1080, 0, 0, 0, 1};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(r.head.intParam[k], expectedHead[k]) << "int " << k;
    ASSERT_EQ(r.body.size(), 216304u);
    std::vector<uint8_t> expected(216304, 0);
    const int32_t v1[5] = {1, 1, 2, 3, 4};
    const int32_t v2[5] = {2, 5, 6, 7, 8};
    const float a1 = 12.5f, a2 = 0.0f;
    std::memcpy(expected.data(), v1, sizeof v1);
    std::memcpy(expected.data() + 20, &a1, 4);
    std::memcpy(expected.data() + 27038, v2, sizeof v2);
    std::memcpy(expected.data() + 27038 + 20, &a2, 4);
    EXPECT_TRUE(r.body == expected);
}

TEST_F(WorldCommands, ResetWorld) {
    util::LogCapture log;
    // Non-positive grids and sizes are refused before anything changes.
    for (auto ints : {std::initializer_list<int32_t>{0, 2, 640, 480}, {1, -1, 640, 480}, {1, 2, -640, 480}}) {
        const CommandReply r = Send(Head(5, ints));
        EXPECT_EQ(r.head.intParam[0], 0);
        EXPECT_EQ(r.head.intParam[1], 8);
    }
    EXPECT_EQ(output.Count("rebuild"), 0u);

    // Over the limit: logged, nothing changes.
    EXPECT_EQ(Send(Head(5, {3, 3, 640, 480})).head.intParam[0], 0);
    EXPECT_TRUE(log.Contains("SET World Error. Limit 8.row=3,col=3,width=640,height=480.MAX=1"));

    const CommandReply r = Send(Head(5, {2, 2, 640, 480, 10, 20, 0}));
    EXPECT_EQ(r.head.intParam[0], 1);
    EXPECT_TRUE(log.Contains("C_RESET_WORLD.row=2,col=2,width=640,height=480"));
    ASSERT_EQ(Layout().m_channels.size(), 4u);
    EXPECT_EQ(Layout().m_nOriginX, 10);
    EXPECT_EQ(Layout().m_nOriginY, 20);
    EXPECT_EQ(core->m_nMediaWidth, 1280);
    EXPECT_EQ(output.Count("rebuild"), 1u);

    // The same grid keeps the channels but still applies the origin mode.
    OutputChannel* first = Layout().m_channels[0];
    log.Clear();
    EXPECT_EQ(Send(Head(5, {2, 2, 640, 480, 0, 0, 1})).head.intParam[0], 1);
    EXPECT_EQ(Layout().m_channels[0], first);
    EXPECT_FALSE(log.Contains("C_RESET_WORLD.row"));
    EXPECT_EQ(Layout().m_nOriginX, 1920);
    EXPECT_EQ(Layout().m_nOriginY, 1080);
    EXPECT_EQ(output.Count("rebuild"), 2u);
    Send(Head(5, {2, 2, 640, 480, 7, 7, 2}));
    EXPECT_EQ(Layout().m_nOriginX, 0);
    EXPECT_EQ(Layout().m_nOriginY, 0);
}

TEST_F(WorldCommands, SaveChannelFilesWritesTheTextureRectangleProfile) {
    SetTwoChannelWorld();
    core->m_nMediaWidth = 3840;
    Send(Head(6));
    EXPECT_EQ(ReadFile(dir / "data" / "default.cod"),
              "[channel_1]\nleft=0.000000\ntop=0.000000\nright=0.500000\nbottom=1.000000\n"
              "[channel_2]\nleft=0.500000\ntop=0.000000\nright=1.000000\nbottom=1.000000\n");
    EXPECT_EQ(platform::GetPrivateProfileInt("MediaSize", "WidthPort", 0, (dir / "mediacfg.ini").c_str()), 3840);
    EXPECT_TRUE(std::filesystem::exists(dir / "default.cfg"));
}

TEST_F(WorldCommands, DisplayCommandsReachTheDisplayList) {
    tagNETHEAD h = Head(8, {1280, 720});
    SetText(h, "\\\\.\\DISPLAY2");
    Send(h);
    ASSERT_EQ(backend.calls.size(), 1u);
    EXPECT_EQ(backend.calls[0].index, 1u);
    EXPECT_EQ(backend.calls[0].width, 1280);

    h = Head(8, {1280, 0});  // one size missing: nothing
    SetText(h, "\\\\.\\DISPLAY2");
    Send(h);
    EXPECT_EQ(backend.calls.size(), 1u);

    h = Head(9, {90, 0});
    SetText(h, "\\\\.\\DISPLAY1");
    Send(h);
    ASSERT_EQ(backend.calls.size(), 2u);
    EXPECT_EQ(backend.calls[1].orientation, 1);

    const CommandReply info = Send(Head(4));
    ASSERT_FALSE(info.body.empty());
    EXPECT_EQ(info.body.back(), 0);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(info.body.data())) + 1, info.body.size());
}

TEST_F(WorldCommands, GeneralConfigurationIsKeptAndNamesTheShowCluster) {
    tagNETHEAD h = Head(12, {60, 1, 0});
    const char cluster[] = "hall-a";
    std::memcpy(reinterpret_cast<uint8_t*>(&h) + 44, cluster, sizeof cluster);
    SetText(h, "note");
    const CommandReply r = Send(h);
    EXPECT_EQ(r.head.intParam[0], 0);
    EXPECT_EQ(core->m_nRefreshRate, 60);
    EXPECT_EQ(core->m_nServerAutoStart, 1);
    EXPECT_EQ(core->ShowClusterName(), "hall-a");
    EXPECT_STREQ(core->m_generalText, "note");
}

TEST_F(WorldCommands, ProjectFileStaysInTheProjectFolder) {
    const std::string content = "project bytes";
    const std::vector<uint8_t> body(content.begin(), content.end());
    struct Case {
        const char* name;
        int32_t expected;
        const char* written;  // file in project/, or null
    };
    const Case cases[] = {
        {"show.vadra", 1, "show.vadra"},
        {"..\\..\\evil.vadra", 1, "evil.vadra"},
        {"../../etc/evil2.vadra", 1, "evil2.vadra"},
        {"..", 0, nullptr},
        {".", 0, nullptr},
        {"", 0, nullptr},
        {"folder/", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tagNETHEAD h = Head(13, {static_cast<int32_t>(body.size()), 0});
        SetText(h, c.name);
        EXPECT_EQ(Send(h, body).head.intParam[0], c.expected);
        if (c.written) {
            EXPECT_EQ(ReadFile(dir / "project" / c.written), content);
        }
    }
    // Nothing was written outside the project folder.
    EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "evil.vadra"));
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir / "project")) files += e.is_regular_file();
    EXPECT_EQ(files, 3u);
}

TEST_F(WorldCommands, SettingsRoundTrip) {
    util::LogCapture log;
    core->m_nLoopMedia = 1;
    core->m_strMediaFolder = "/srv/媒体";
    core->m_strBmpFilePath = "/srv/bg.jpg";
    core->m_nVerticalSync = 1;
    central.settings = SerialPortSettings{0, 3, 19200, 7, 2, 1};

    const CommandReply got = Send(Head(1002));
    ASSERT_EQ(got.body.size(), 1896u);
    EXPECT_EQ(got.head.bodyLength, 1896u);
    SERVER_SETTINGS_RECORD rec;
    std::memcpy(&rec, got.body.data(), sizeof rec);
    EXPECT_EQ(rec.unused, 0);
    EXPECT_EQ(rec.loopMedia, 1);
    EXPECT_EQ(platform::LoadGbkField(rec.mediaFolder, 260), "/srv/媒体");
    EXPECT_EQ(rec.serialPort, 3);
    EXPECT_EQ(rec.serialBaud, 19200);
    EXPECT_EQ(rec.verticalSync, 1);
    for (uint8_t b : rec.reserved) EXPECT_EQ(b, 0);

    // Change it and send it back: a text field without its terminator is
    // read to its field size only.
    rec.loopMedia = 0;
    rec.topmostWindow = 1;
    rec.startupEnable = 1;
    rec.startupMediaType = 1;
    std::memset(rec.startupDesktopName, 'D', sizeof rec.startupDesktopName);
    const std::string other = (dir / "其他").string();
    std::filesystem::create_directory(other);
    platform::StoreGbkField(rec.mediaFolder, 260, other);
    rec.serialEnable = 1;
    rec.serialPort = 4;
    rec.verticalSync = 0;
    std::vector<uint8_t> body(sizeof rec);
    std::memcpy(body.data(), &rec, sizeof rec);
    central.startResult = 13;
    system.autoStart = true;
    const CommandReply set = Send(Head(1003), body);
    EXPECT_EQ(set.head.intParam[0], 1);
    EXPECT_EQ(set.head.intParam[3], 13);
    EXPECT_TRUE(log.Contains("启动中控失败 id=13。port=4,baud=19200,databits=7,stopbits=1,parity=2"));
    EXPECT_EQ(central.calls, (std::vector<std::string>{"set", "start", "save"}));
    EXPECT_TRUE(system.autoStart);  // the record carries no autostart field
    EXPECT_EQ(core->m_strStartupDesktopName, std::string(260, 'D'));
    EXPECT_EQ(output.Count("topmost"), 1u);
    EXPECT_EQ(output.Count("swap 0"), 1u);

    const CommandReply again = Send(Head(1002));
    SERVER_SETTINGS_RECORD back;
    std::memcpy(&back, again.body.data(), sizeof back);
    EXPECT_EQ(back.loopMedia, 0);
    EXPECT_EQ(back.topmostWindow, 1);
    EXPECT_EQ(platform::LoadGbkField(back.mediaFolder, 260), other);
    EXPECT_EQ(back.serialPort, 4);
    // The last byte of the desktop name's field becomes its terminator.
    EXPECT_EQ(platform::LoadGbkField(back.startupDesktopName, 260), std::string(259, 'D'));

    const std::string ini = (dir / "mediacfg.ini").string();
    EXPECT_EQ(platform::GetPrivateProfileInt("StartupLoadMedia", "Enable", 0, ini.c_str()), 1);
    EXPECT_EQ(platform::GetPrivateProfileInt("StartupLoadMedia", "MediaType", 0, ini.c_str()), 1);
    EXPECT_EQ(platform::GetPrivateProfileString("Setting", "MediaFolder", "", ini), other);
    EXPECT_EQ(platform::GetPrivateProfileInt("Setting", "TopmostWindow", 0, ini.c_str()), 1);
    EXPECT_EQ(platform::GetPrivateProfileInt("VideoOption", "VerticalSync", 9, ini.c_str()), 0);
}

TEST_F(WorldCommands, ShortSettingsRecordIsRefused) {
    core->m_nLoopMedia = 1;
    std::vector<uint8_t> body(1895, 0);
    Send(Head(1003), body);
    EXPECT_EQ(core->m_nLoopMedia, 1);
    EXPECT_TRUE(central.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "mediacfg.ini"));
}

TEST_F(WorldCommands, ChannelDataRoundTrip) {
    SetTwoChannelWorld({0, 0, 2, 0}, {2, 0, 0, 0});
    const CommandReply got = Send(Head(1004));
    ASSERT_EQ(got.head.intParam[0], 1);
    ASSERT_EQ(got.body.size(), 40u + 2 * OutputChannel::kRecordSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.body.data())), "#vesk#channel#data");

    // Edit the file: move a grid point of the second channel and widen its
    // blends; then put it back.
    std::vector<uint8_t> file = got.body;
    const size_t second = 40 + OutputChannel::kRecordSize;
    const double moved[2] = {0.25, -0.5};
    std::memcpy(file.data() + second + 912 + (10 * 41 + 10) * 16, moved, sizeof moved);
    const int32_t blends[4] = {6, 0, 3, 0};  // left, right, top, bottom
    std::memcpy(file.data() + second + 800, blends, sizeof blends);

    const CommandReply put = Send(Head(1005), file);
    EXPECT_EQ(put.head.intParam[0], 1);
    const OutputChannel& ch = *Layout().m_channels[1];
    EXPECT_EQ(ch.Point(10, 10).x, 0.25);
    EXPECT_EQ(ch.Point(10, 10).y, -0.5);
    // The widest blend of the file goes on every side that has a neighbour.
    EXPECT_EQ(ch.m_blend[OutputChannel::kBlendLeft], 6);
    EXPECT_EQ(ch.m_blend[OutputChannel::kBlendRight], 0);
    EXPECT_EQ(ch.m_blend[OutputChannel::kBlendTop], 0);
    EXPECT_EQ(Layout().m_channels[0]->m_blend[OutputChannel::kBlendRight], 6);
    EXPECT_EQ(Layout().m_channels[0]->m_blend[OutputChannel::kBlendLeft], 0);
    EXPECT_EQ(ch.m_rect.left, 1920);

    // The same file back to the server reads as the same channels.
    const CommandReply again = Send(Head(1004));
    EXPECT_EQ(again.body.size(), file.size());

    // Refusals: too short, another channel count, not a channel data file.
    const std::vector<std::vector<uint8_t>> bad = {
        std::vector<uint8_t>(file.begin(), file.begin() + 31),
        std::vector<uint8_t>(file.begin(), file.begin() + 40 + OutputChannel::kRecordSize),
        std::vector<uint8_t>(64, 'x'),
    };
    for (const auto& b : bad) EXPECT_EQ(Send(Head(1005), b).head.intParam[0], 0);
    // Temporary files are gone.
    size_t left = 0;
    for (const auto& e : std::filesystem::directory_iterator(platform::PrivateTempFolder()))
        left += e.path().extension() == ".chd";
    EXPECT_EQ(left, 0u);
}

TEST_F(WorldCommands, ChangeConfigurationFileKeepsTheNameInTheProgramFolder) {
    util::LogCapture log;
    SetTwoChannelWorld();
    ASSERT_TRUE(Layout().SaveCodFile((dir / "other.cfg").string()));
    Send(Head(5, {1, 1, 640, 480}));
    ASSERT_EQ(Layout().m_channels.size(), 1u);

    tagNETHEAD h = Head(1006);
    SetText(h, "..\\..\\other.cfg");
    EXPECT_EQ(Send(h).head.intParam[0], 1);
    EXPECT_EQ(Layout().m_channels.size(), 2u);
    EXPECT_EQ(core->m_strChannelLayoutFile, (dir / "other.cfg").string());
    EXPECT_EQ(core->LoadChannelSetting(), "other.cfg");
    EXPECT_TRUE(log.Contains("修改配置文件名为other.cfg"));

    for (const char* name : {"missing.cfg", "..", ""}) {
        SCOPED_TRACE(name);
        h = Head(1006);
        SetText(h, name);
        EXPECT_EQ(Send(h).head.intParam[0], 0);
    }
    EXPECT_EQ(core->LoadChannelSetting(), "other.cfg");
}

TEST_F(WorldCommands, GlobalTrimRoundTrip) {
    tagNETHEAD h = Head(1008);
    h.realParam[0] = 0.5;
    h.realParam[1] = 0.75;
    h.realParam[2] = 1.0;
    h.realParam[3] = 0.25;
    Send(h);
    const CommandReply r = Send(Head(1007));
    EXPECT_EQ(r.Real(44), 0.5);
    EXPECT_EQ(r.Real(52), 0.75);
    EXPECT_EQ(r.Real(60), 1.0);
    EXPECT_EQ(r.Real(68), 0.25);
    const std::string ini = (dir / "mediacfg.ini").string();
    EXPECT_EQ(platform::GetPrivateProfileString("GlobalTrim", "Bottom", "", ini), "0.250000");
}

TEST_F(WorldCommands, CommonData) {
    util::LogCapture log;
    SetTwoChannelWorld();
    Send(Head(1009, {1, 77}));
    EXPECT_EQ(core->m_nGeometryAdjustMode, 1);
    EXPECT_EQ(core->m_nGeometryAdjustValue, 77);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Debug, "进入几何调整模式"));

    Send(Head(1009, {5, 0x0000FF}));
    EXPECT_EQ(core->m_render.backgroundSelector, 5);
    EXPECT_EQ(core->m_render.backgroundValue, 0xFF);
    EXPECT_TRUE(log.Contains("color: rgb=255,0,0"));
    Send(Head(1009, {3, 0}));
    EXPECT_EQ(core->m_render.backgroundSelector, 3);
    EXPECT_EQ(core->m_nGeometryAdjustMode, 1);

    Send(Head(1009, {9, 2}));
    EXPECT_EQ(Layout().FindChannel(2)->m_ratioFlag, 1);
    EXPECT_EQ(Layout().FindChannel(1)->m_ratioFlag, 0);
    Send(Head(1009, {10, 2}));
    EXPECT_EQ(Layout().FindChannel(2)->m_ratioFlag, 0);

    Send(Head(1009, {2, 0}));
    EXPECT_EQ(core->m_nGeometryAdjustMode, 0);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Debug, "离开几何调整模式"));
}

TEST_F(WorldCommands, RestartServerRunsTheHelperAndEndsTheLoop) {
    const CommandReply r = Send(Head(1001));
    EXPECT_EQ(r.head.intParam[0], 1);
    EXPECT_EQ(system.RestartCount(), 1u);
    EXPECT_EQ(output.Count("quit"), 1u);
}

TEST_F(WorldCommands, TimeQueryOffsets) {
    core->m_nMainServer = 1;
    tagNETHEAD h = Head(901);
    const uint8_t stamp[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0xFF};
    std::memcpy(reinterpret_cast<uint8_t*>(&h) + 148, stamp, sizeof stamp);
    const uint64_t before = FileTimeToU64(platform::GetLocalFileTime());
    const CommandReply r = Send(h);
    const uint64_t after = FileTimeToU64(platform::GetLocalFileTime());

    EXPECT_EQ(r.head.command, 0u);
    EXPECT_EQ(r.head.intParam[0], 1);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&r.head);
    EXPECT_EQ(std::memcmp(bytes + 148, stamp, sizeof stamp), 0);
    const uint8_t marker[4] = {0x00, 0x00, 0x00, 0x1C};
    EXPECT_EQ(std::memcmp(bytes + 124, marker, 4), 0);
    const uint64_t received = FileTimeToU64(r.At<FILETIME>(156));
    const uint64_t finished = FileTimeToU64(r.At<FILETIME>(164));
    EXPECT_LE(before, received);
    EXPECT_LE(received, finished);
    EXPECT_LE(finished, after);
    // Nothing else in the reply.
    for (size_t i = 4; i < 384; ++i) {
        if (i >= 4 && i < 8) continue;
        if (i >= 124 && i < 128) continue;
        if (i >= 148 && i < 172) continue;
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    }
}

TEST_F(WorldCommands, InitialLayoutFromTheDisplaysWhenNoFileExists) {
    core->Initialize();
    ASSERT_EQ(Layout().m_channels.size(), 2u);
    EXPECT_EQ(Layout().m_channels[1]->m_outputNumber, 2);
    EXPECT_EQ(Layout().m_nChannelWidth, 1920);
}

}  // namespace

namespace {

// A world of 1 x 1-pixel channels at a far-out origin used to be saved and
// then hang every load of its layout file, at start-up too.
TEST_F(WorldCommands, FarOutWorldsAreRefusedAndNeverSaved) {
    util::LogCapture log;
    struct Case {
        const char* what;
        std::initializer_list<int32_t> ints;  // rows, cols, width, height, x, y, origin mode
    };
    const Case cases[] = {
        {"origin at 0x30000000", {1, 1, 1, 1, 0x30000000, 0x30000000, 0}},
        {"negative far origin", {1, 1, 640, 480, -(1 << 24) - 1, 0, 0}},
        {"width past 16384", {1, 1, 16385, 480, 0, 0, 0}},
        {"height that overflows a grid", {2, 1, 640, 0x7FFFFFFF, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Send(Head(5, c.ints)).head.intParam[0], 0);
    }
    EXPECT_EQ(output.Count("rebuild"), 0u);
    EXPECT_EQ(Layout().m_nOriginX, 0);

    // The largest accepted world still saves and loads back at once.
    ASSERT_EQ(Send(Head(5, {1, 1, 1, 1, 1 << 24, 1 << 24, 0})).head.intParam[0], 1);
    Send(Head(6));
    tagNETHEAD h = Head(1006);
    SetText(h, "default.cfg");
    EXPECT_EQ(Send(h).head.intParam[0], 1);
    EXPECT_EQ(Layout().m_channels.size(), 1u);
}

TEST_F(WorldCommands, SetWorldRefusesFarOutStageRectangles) {
    std::vector<CHANNEL_BASE_INFO> records = {Record(1), Record(2)};
    records[1].rect = RECT{0x30000000, 0, 0x30000000 + 1920, 1080};
    tagNETHEAD h = Head(10, {2, 1, 2, 1920, 1080, 0, 0, 0});
    const auto* bytes = reinterpret_cast<const uint8_t*>(records.data());
    const CommandReply r = Send(h, std::vector<uint8_t>(bytes, bytes + records.size() * sizeof records[0]));
    EXPECT_EQ(r.head.intParam[0], 4);
    EXPECT_FALSE(std::filesystem::exists(dir / "default.cfg"));
}

TEST_F(WorldCommands, RefusedLayoutFileIsKeptAsideAndTheDefaultWorldStarts) {
    CChannelLayout far;
    far.ResetChannels();
    far.m_nOriginX = 0x30000000;
    ASSERT_TRUE(far.SaveCodFile((dir / "default.cfg").string()));
    util::LogCapture log;
    core->m_strChannelLayoutFile = (dir / "default.cfg").string();
    core->Initialize();
    EXPECT_FALSE(std::filesystem::exists(dir / "default.cfg"));
    EXPECT_TRUE(std::filesystem::exists(dir / "default.cfg.bad"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "kept aside"));
    ASSERT_EQ(Layout().m_channels.size(), 2u);  // one per display, as with no file
    EXPECT_EQ(Layout().m_nOriginX, 0);

    // Chosen over the wire, the same file changes nothing.
    std::filesystem::rename(dir / "default.cfg.bad", dir / "far.cfg");
    tagNETHEAD h = Head(1006);
    SetText(h, "far.cfg");
    EXPECT_EQ(Send(h).head.intParam[0], 0);
    EXPECT_EQ(Layout().m_channels.size(), 2u);
    EXPECT_NE(core->LoadChannelSetting(), "far.cfg");
}

// Uploads write into the media folder: one command from the show network
// must not point them at a system tree.
TEST_F(WorldCommands, SettingsWithASystemMediaFolderChangeNothing) {
    util::LogCapture log;
    core->m_strMediaFolder = (dir / "media").string();
    std::filesystem::create_directory(dir / "media");
    std::filesystem::create_directory_symlink("/etc", dir / "etc-link");
    WriteFile(dir / "mediacfg.ini", "[Setting]\nMediaFolder=keep\n");
    const std::vector<std::string> refused = {"/etc", "/", "/usr/lib", "/var/log", (dir / "etc-link").string(),
                                              "relative", (dir / "missing").string()};
    for (const std::string& folder : refused) {
        SCOPED_TRACE(folder);
        SERVER_SETTINGS_RECORD rec{};
        rec.loopMedia = 1;
        platform::StoreGbkField(rec.mediaFolder, 260, folder);
        std::vector<uint8_t> body(sizeof rec);
        std::memcpy(body.data(), &rec, sizeof rec);
        const CommandReply r = Send(Head(1003), body);
        EXPECT_EQ(r.head.intParam[0], 0);
        EXPECT_EQ(core->m_strMediaFolder, (dir / "media").string());
        EXPECT_EQ(core->m_nLoopMedia, 0);
        EXPECT_EQ(ReadFile(dir / "mediacfg.ini"), "[Setting]\nMediaFolder=keep\n");
    }
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "media folder /etc is not"));
    EXPECT_TRUE(central.calls.empty());
}

// From the show network the media folder may only move below the server's
// media root: a home folder (where an uploaded autostart entry would run)
// is refused, and a folder reached through a link is kept by its resolved
// path, so re-pointing the link later sends no upload elsewhere.
TEST_F(WorldCommands, SettingsMediaFolderStaysBelowTheMediaRootByItsResolvedPath) {
    testsupport::TempDir outside;
    const std::filesystem::path root = dir / "root";
    std::filesystem::create_directories(root / "shows" / "a");
    std::filesystem::create_directories(outside.path() / "home" / ".config" / "autostart");
    core->m_strMediaRoot = root.string();
    core->m_strMediaFolder = (root / "shows").string();
    auto send = [&](const std::string& folder) {
        SERVER_SETTINGS_RECORD rec{};
        platform::StoreGbkField(rec.mediaFolder, 260, folder);
        std::vector<uint8_t> body(sizeof rec);
        std::memcpy(body.data(), &rec, sizeof rec);
        return Send(Head(1003), body).head.intParam[0];
    };
    struct Case {
        std::string folder;
        bool ok;
    };
    std::filesystem::create_directory_symlink(outside.path() / "home", root / "home-link");
    const Case cases[] = {
        {(outside.path() / "home").string(), false},
        {(outside.path() / "home" / ".config" / "autostart").string(), false},
        {(root / "home-link").string(), false},
        {(root / "shows" / ".." / ".." ).string(), false},
        {dir.str(), false},
        {root.string(), true},
        {(root / "shows" / "a").string(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string before = core->m_strMediaFolder;
        EXPECT_EQ(send(c.folder), c.ok ? 1 : 0);
        EXPECT_EQ(core->m_strMediaFolder, c.ok ? std::filesystem::canonical(c.folder).string() : before);
    }

    // Through a link inside the root: stored resolved.
    std::filesystem::create_directory_symlink(root / "shows" / "a", root / "current");
    ASSERT_EQ(send((root / "current").string()), 1);
    EXPECT_EQ(core->m_strMediaFolder, (root / "shows" / "a").string());
    // The link re-pointed at the home folder: uploads still land in the
    // folder that was accepted.
    std::filesystem::remove(root / "current");
    std::filesystem::create_directory_symlink(outside.path() / "home" / ".config" / "autostart", root / "current");
    tagNETHEAD prepare = Head(1202);
    std::memcpy(reinterpret_cast<uint8_t*>(&prepare) + 4, "0123456789abcdef0123456789abcdef", 32);
    lintra::SetInt64Param(prepare, 0, 3);
    SetText(prepare, "run.desktop");
    ASSERT_EQ(Send(prepare).head.intParam[0], 1);
    EXPECT_TRUE(std::filesystem::exists(root / "shows" / "a" / "run.desktop"));
    EXPECT_TRUE(std::filesystem::is_empty(outside.path() / "home" / ".config" / "autostart"));
}

TEST(MediaFolderBound, SystemTreesAreRefused) {
    testsupport::TempDir dir;
    struct Case {
        std::string folder;
        bool ok;
    };
    const Case cases[] = {
        {"/", false},        {"/etc", false},     {"/usr/share", false}, {"/lib", false},
        {"/proc/self", false}, {"/var", false},   {"/var/tmp", true},    {"/tmp", true},
        {dir.str(), true},   {dir.str() + "/no", false}, {"tmp", false}, {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(AcceptableMediaFolder(c.folder), c.ok) << c.folder;
}

}  // namespace
