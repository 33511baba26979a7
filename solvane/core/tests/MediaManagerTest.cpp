#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "platform/netif.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Ini(const TempDir& dir) { return (dir / "mediacfg.ini").string(); }

}  // namespace

TEST(MediaManagerConfig, EmptyFolderGivesEveryDefault) {
    TempDir dir;
    CMediaManager core(dir.str());
    core.LoadConfig();

    struct Case {
        const char* key;
        std::function<std::string()> value;
        std::string expected;
    };
    auto s = [](auto v) { return std::to_string(v); };
    const Case cases[] = {
        {"SyncMedia Enable", [&] { return s(core.m_nSyncMediaEnable); }, "0"},
        {"MulticastIp", [&] { return core.m_strMulticastIp; }, "226.10.60.10"},
        {"MulticastPort", [&] { return s(core.m_nMulticastPort); }, "30400"},
        {"Compensation", [&] { return s(core.m_dCompensation); }, s(0.8)},
        {"SyncTime", [&] { return s(core.m_nSyncTime); }, "5000"},
        {"DisTime", [&] { return s(core.m_nDisTime); }, "80"},
        {"EnableFrameSync", [&] { return s(core.m_nEnableFrameSync); }, "0"},
        {"MediaFolder", [&] { return core.m_strMediaFolder; }, dir.str() + "/media"},
        {"AutoPlay", [&] { return s(core.m_nAutoPlay); }, "0"},
        {"LoopMedia", [&] { return s(core.m_nLoopMedia); }, "0"},
        {"UseBackgroundBmp", [&] { return s(core.m_nUseBackgroundBmp); }, "1"},
        {"BmpFilePath", [&] { return core.m_strBmpFilePath; }, dir.str() + "/image/background.jpg"},
        {"DisplayBackgroundIfNoVideo", [&] { return s(core.m_nDisplayBackgroundIfNoVideo); }, "1"},
        {"MediaVideoExtension", [&] { return core.m_strMediaVideoExtension; },
         "*.avi|*.rmvb|*.mpg|*.mp4|*.mov|*.wmv|*.rm|*.ts|*.mpeg|*.mkv"},
        {"RotationAngle", [&] { return s(core.m_nRotationAngle); }, "0"},
        {"RotationCondition", [&] { return core.m_strRotationCondition; }, "*.mp4|*.mov"},
        {"EnableRotation", [&] { return s(core.m_nEnableRotation); }, "0"},
        {"TopmostWindow", [&] { return s(core.m_nTopmostWindow); }, "1"},
        {"AutoHideCursor", [&] { return s(core.m_nAutoHideCursor); }, "1"},
        {"SyncTime Enable", [&] { return s(core.m_nSyncTimeEnable); }, "1"},
        {"SyncTime Interval", [&] { return s(core.m_nSyncTimeInterval); }, "360"},
        {"SyncTimePort", [&] { return s(g_nSyncTimePort); }, "0"},
        {"SyncTimeIp", [&] { return GetSyncTimeIp(); }, ""},
        {"CaptureDesktopCursor", [&] { return s(g_bCaptureDesktopCursor); }, "1"},
        {"EnableStereo", [&] { return s(core.m_nEnableStereo); }, "0"},
        {"VideoType", [&] { return s(core.m_nVideoType); }, "0"},
        {"Video3DFormat", [&] { return s(core.m_nVideo3DFormat); }, "0"},
        {"VerticalSync", [&] { return s(core.m_nVerticalSync); }, "0"},
        {"DefaultVolume", [&] { return s(core.m_nDefaultVolume); }, "90"},
        {"AudioDevice", [&] { return core.m_strAudioDevice; }, "default"},
        {"EnableCapture", [&] { return s(core.m_nCaptureEnabled); }, "1"},
        {"StartupLoadMedia MediaType", [&] { return s(core.m_nStartupMediaType); }, "0"},
        {"StartupLoadMedia Enable", [&] { return s(core.m_nStartupLoadEnable); }, "0"},
        {"VideoPath", [&] { return core.m_strStartupVideoPath; }, ""},
        {"DesktopName", [&] { return core.m_strStartupDesktopName; }, ""},
        {"LimitMainDisplay", [&] { return s(core.m_nLimitMainDisplay); }, "0"},
        {"DisplayFrame", [&] { return s(core.m_nDisplayFrame); }, "0"},
        {"WaitFreezeTime", [&] { return s(core.m_nWaitFreezeTime); }, "15000"},
        {"GlobalTrim Left", [&] { return s(core.m_fGlobalTrimLeft); }, s(1.0f)},
        {"GlobalTrim Right", [&] { return s(core.m_fGlobalTrimRight); }, s(1.0f)},
        {"GlobalTrim Top", [&] { return s(core.m_fGlobalTrimTop); }, s(1.0f)},
        {"GlobalTrim Bottom", [&] { return s(core.m_fGlobalTrimBottom); }, s(1.0f)},
        {"MainServer", [&] { return s(core.m_nMainServer); }, "0"},
        {"DefaultConfigFile", [&] { return core.LoadChannelSetting(); }, "default.cfg"},
        {"ScreenPowerOption", [&] { return s(core.ScreenPowerOption()); }, "3"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.value(), c.expected) << c.key;

    core.MediaSize(1);
    EXPECT_EQ(core.m_nMediaWidth, 1024);
    EXPECT_EQ(core.m_nMediaHeight, 768);
    EXPECT_EQ(core.m_strChannelLayoutFile, dir.str() + "/default.cfg");
    EXPECT_EQ(core.m_strMediaListPath, dir.str() + "/media.bak");
    EXPECT_EQ(core.m_strPlaylistPath, dir.str() + "/playlist.dat");
    EXPECT_EQ(core.m_strTaskListPath, dir.str() + "/taskp.dat");
    ASSERT_EQ(core.m_testPatterns.size(), 6u);
    EXPECT_EQ(core.m_testPatterns[0], dir.str() + "/Image/red_green_blue_h.jpg");
    EXPECT_EQ(core.m_testPatterns[5], dir.str() + "/Image/white.jpg");
}

TEST(MediaManagerConfig, SyncTimeSecondsBecomeWholeMilliseconds) {
    // Far-out texts saturate instead of converting out of range.
    const std::pair<const char*, int> cases[] = {{"2.5", 2500},          {"0.0005", 0},     {"5", 5000},
                                                 {"1.9999", 1999},       {"1e10", 1000000000},
                                                 {"-1e300", -1000000000}, {"nan", 5000}};
    for (const auto& [text, ms] : cases) {
        TempDir dir;
        WriteFile(Ini(dir), std::string("[SyncMedia]\nSyncTime=") + text + "\n");
        CMediaManager core(dir.str());
        core.LoadConfig();
        EXPECT_EQ(core.m_nSyncTime, ms) << text;
    }
}

TEST(MediaManagerConfig, LimitMainDisplayIsWrittenBack) {
    {
        TempDir dir;
        CMediaManager core(dir.str());
        core.LoadConfig();
        EXPECT_EQ(ReadFile(Ini(dir)), "[MouseRange]\nLimitMainDisplay=0\n");
    }
    {
        TempDir dir;
        WriteFile(Ini(dir), "[MouseRange]\nLimitMainDisplay=1\n[Debug]\nWaitFreezeTime=250\n");
        CMediaManager core(dir.str());
        core.LoadConfig();
        EXPECT_EQ(core.m_nLimitMainDisplay, 1);
        EXPECT_EQ(core.m_nWaitFreezeTime, 250);
        EXPECT_EQ(ReadFile(Ini(dir)), "[MouseRange]\nLimitMainDisplay=1\n[Debug]\nWaitFreezeTime=250\n");
    }
}

TEST(MediaManagerConfig, MainServerInTheFileHasNoEffect) {
    TempDir dir;
    WriteFile(Ini(dir), "[SyncMedia]\nMainServer=1\nEnable=1\n");
    CMediaManager core(dir.str());
    core.LoadConfig();
    EXPECT_EQ(core.m_nSyncMediaEnable, 1);
    EXPECT_EQ(core.m_nMainServer, 0);
}

TEST(MediaManagerConfig, SaveSettingsWritesTheKeysInOrder) {
    TempDir dir;
    CMediaManager core(dir.str());
    core.m_nSyncMediaEnable = 1;
    g_nSyncTimePort = 30500;
    SetSyncTimeIp("10.0.0.9");
    core.m_fGlobalTrimRight = 0.5f;
    core.m_fGlobalTrimBottom = 0.25f;
    core.m_strMediaFolder = "/srv/media";
    core.m_nAutoPlay = 1;
    core.m_nUseBackgroundBmp = 1;
    core.m_strBmpFilePath = "/srv/image/background.jpg";
    core.m_nDisplayBackgroundIfNoVideo = 1;
    core.m_strMediaVideoExtension = "*.avi|*.mp4";
    core.m_nRotationAngle = 90;
    core.m_strRotationCondition = "*.mp4|*.mov";
    core.m_nEnableRotation = 1;
    core.m_nTopmostWindow = 1;
    core.m_nVideoType = 3;
    core.m_nVideo3DFormat = 2;
    core.m_nEnableStereo = 1;
    core.m_nVerticalSync = 1;
    core.m_strAudioDevice = "hw:1,0";
    core.m_nCaptureEnabled = 0;
    core.SaveSettings();
    g_nSyncTimePort = 0;
    SetSyncTimeIp("");

    EXPECT_EQ(ReadFile(Ini(dir)),
              "[SyncMedia]\n"
              "Enable=1\n"
              "MainServer=0\n"
              "MulticastIp=226.10.60.10\n"
              "MulticastPort=30400\n"
              "SyncTimePort=30500\n"
              "SyncTimeIp=10.0.0.9\n"
              "[GlobalTrim]\n"
              "Left=1.000000\n"
              "Right=0.500000\n"
              "Top=1.000000\n"
              "Bottom=0.250000\n"
              "[Setting]\n"
              "MediaFolder=/srv/media\n"
              "AutoPlay=1\n"
              "LoopMedia=0\n"
              "UseBackgroundBmp=1\n"
              "BmpFilePath=/srv/image/background.jpg\n"
              "DisplayBackgroundIfNoVideo=1\n"
              "MediaVideoExtension=*.avi|*.mp4\n"
              "TopmostWindow=1\n"
              "AutoHideCursor=0\n"
              "[MediaOption]\n"
              "RotationAngle=90\n"
              "RotationCondition=*.mp4|*.mov\n"
              "EnableRotation=1\n"
              "[VideoOption]\n"
              "VideoType=3\n"
              "Video3DFormat=2\n"
              "EnableStereo=1\n"
              "VerticalSync=1\n"
              "AudioDevice=hw:1,0\n"
              "EnableCapture=0\n"
              "[StartupLoadMedia]\n"
              "MediaType=0\n"
              "Enable=0\n"
              "VideoPath=\n"
              "DesktopName=\n");

    // What was saved loads back.
    CMediaManager again(dir.str());
    again.LoadConfig();
    EXPECT_EQ(again.m_nRotationAngle, 90);
    EXPECT_EQ(again.m_strAudioDevice, "hw:1,0");
    EXPECT_EQ(again.m_nCaptureEnabled, 0);
    EXPECT_FLOAT_EQ(again.m_fGlobalTrimBottom, 0.25f);
    EXPECT_EQ(again.m_strMediaVideoExtension, "*.avi|*.mp4");
}

TEST(MediaManagerConfig, ChannelSettingAndMediaSizeRoundTrip) {
    TempDir dir;
    CMediaManager core(dir.str());
    core.SaveChannelSetting("hall.cfg");
    core.m_nMediaWidth = 3840;
    core.m_nMediaHeight = 1080;
    core.MediaSize(0);
    CMediaManager again(dir.str());
    EXPECT_EQ(again.m_strChannelLayoutFile, dir.str() + "/hall.cfg");
    again.MediaSize(1);
    EXPECT_EQ(again.m_nMediaWidth, 3840);
    EXPECT_EQ(again.m_nMediaHeight, 1080);
}

class MediaManagerMedia : public ::testing::Test {
protected:
    void SetUp() override { core.SetServices({&output, &factory, &displays, &system}); }
    std::string MakeFile(const std::string& name) {
        WriteFile(dir / name, "x");
        return (dir / name).string();
    }

    TempDir dir;
    FakeOutputWindow output;
    FakeMediaFactory factory;
    FakeDisplayList displays;
    FakeSystemServices system;
    CMediaManager core{dir.str()};
};

TEST_F(MediaManagerMedia, MissingFilesCreateNoObject) {
    util::LogCapture log;
    EXPECT_EQ(core.LoadMedia(kMediaFileVideo, (dir / "gone.mp4").string(), nullptr), nullptr);
    EXPECT_EQ(core.LoadMedia(kMediaPicture, (dir / "gone.jpg").string(), nullptr), nullptr);
    const std::string device = "cam";
    // Capture devices load only once capture is enabled.
    EXPECT_EQ(core.LoadMedia(kMediaCapture, "video capture", &device), nullptr);
    EXPECT_EQ(factory.created.load(), 0);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "loadmedia. media=" + (dir / "gone.mp4").string() + ",type=0"));
    EXPECT_EQ(log.Count("loadmedia. result = 0"), 3u);
}

TEST_F(MediaManagerMedia, OnlyRegularFilesAreOpened) {
    // A FIFO or a device named as a video would block the decoder under the
    // command lock.
    const std::string fifo = (dir / "fifo.mp4").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(core.LoadMedia(kMediaFileVideo, fifo, nullptr), nullptr);
    EXPECT_EQ(core.LoadMedia(kMediaPicture, "/dev/zero", nullptr), nullptr);
    EXPECT_EQ(core.LoadMedia(kMediaFileVideo, dir.str(), nullptr), nullptr);
    EXPECT_EQ(factory.created.load(), 0);
}

TEST_F(MediaManagerMedia, LoadsByTypeWithLayerAndStereo) {
    core.m_nEnableStereo = 1;
    core.m_nVideoType = 1 | 4;   // video files and screen capture in stereo
    core.m_nVideo3DFormat = 2;
    core.m_nDefaultVolume = 70;
    const std::string video = MakeFile("a.mp4");
    IMedia* v = core.LoadMedia(kMediaFileVideo, video, nullptr);
    ASSERT_NE(v, nullptr);
    core.m_mediaList.push_back(v);
    IMedia* p = core.LoadMedia(kMediaPicture, MakeFile("b.png"), nullptr);
    ASSERT_NE(p, nullptr);
    core.m_mediaList.push_back(p);
    IMedia* d = core.LoadMedia(kMediaScreenCapture, "\\\\.\\DISPLAY1", nullptr);
    ASSERT_NE(d, nullptr);
    core.m_mediaList.push_back(d);

    EXPECT_EQ(factory.journal[0], "load " + video + " 0 0 2");
    EXPECT_EQ(p->Common().layer, 1);
    EXPECT_EQ(p->Common().stereoFormat, -1);
    EXPECT_EQ(d->Common().layer, 2);
    EXPECT_EQ(d->Common().stereoFormat, 2);
    // Only a video file reports to the output window, and starts at the
    // default volume.
    EXPECT_EQ(static_cast<FakeMedia*>(v)->notifyWindow, &output);
    EXPECT_EQ(v->GetVolume(), 70);
    EXPECT_EQ(std::count(factory.journal.begin(), factory.journal.end(), "volume 70"), 1);
    EXPECT_EQ(static_cast<FakeMedia*>(p)->notifyWindow, nullptr);
}

TEST_F(MediaManagerMedia, CaptureDeviceTakesTheGivenNameAndPlays) {
    core.m_nCaptureEnabled = 1;
    const std::string device = "USB camera";
    IMedia* c = core.LoadMedia(kMediaCapture, "video capture", &device);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Common().name, "USB camera");
    // The core's own pictures load after the start-up video.
    EXPECT_EQ(std::count(factory.journal.begin(), factory.journal.end(), "play"), 1);
    core.DestroyMediaObject(c);
}

TEST_F(MediaManagerMedia, FailedLoadDestroysTheObject) {
    factory.loadSucceeds = false;
    EXPECT_EQ(core.LoadMedia(kMediaPicture, MakeFile("bad.png"), nullptr), nullptr);
    EXPECT_EQ(factory.created.load(), 1);
    ASSERT_EQ(factory.journal.size(), 2u);
    EXPECT_EQ(factory.journal[1], "destroy ");
}

TEST_F(MediaManagerMedia, HandlesAreNeverZeroNorReused) {
    const std::string file = MakeFile("p.png");
    std::vector<uint32_t> seen;
    for (int i = 0; i < 5; ++i) {
        IMedia* m = core.LoadMedia(kMediaPicture, file, nullptr);
        ASSERT_NE(m, nullptr);
        const uint32_t h = m->Common().handle;
        EXPECT_NE(h, 0u);
        for (uint32_t old : seen) EXPECT_NE(h, old);
        seen.push_back(h);
        EXPECT_EQ(core.FindMediaByHandle(h), m);
        core.DestroyMediaObject(m);
        EXPECT_EQ(core.FindMediaByHandle(h), nullptr);
    }
    EXPECT_EQ(core.FindMediaByHandle(0), nullptr);
}

TEST_F(MediaManagerMedia, StatusRecordWithAndWithoutMedia) {
    core.SetOwnIpText("192.168.10.20");
    core.SetShowClusterName("HallA");

    uint8_t expected[384] = {};
    auto put32 = [&](size_t off, uint32_t v) { std::memcpy(expected + off, &v, 4); };
    auto putReal = [&](size_t off, double v) { std::memcpy(expected + off, &v, 8); };
    put32(0, 809);
    const uint8_t ip[4] = {192, 168, 10, 20};
    std::memcpy(expected + 4, ip, 4);
    put32(12, 2);
    std::memcpy(expected + 92, "HallA", 5);

    tagNETHEAD head;
    std::memset(&head, 0xAB, sizeof head);
    core.FillMediaStatusRecord(809, nullptr, head);
    EXPECT_EQ(std::memcmp(&head, expected, 384), 0);

    FakeMedia media(kMediaFileVideo);
    media.Common().name = "d:\\media\\clip one.mp4";
    media.Common().startTime = 1.5;
    media.Common().endTime = 20.25;
    media.hasClock = true;
    media.clockMs = 123456;
    put32(0, 807);
    put32(16, 1);
    put32(20, 123456);
    putReal(44, 1.5);
    putReal(52, 20.25);
    std::memcpy(expected + 124, "clip one.mp4", 12);
    core.FillMediaStatusRecord(807, &media, head);
    EXPECT_EQ(std::memcmp(&head, expected, 384), 0);

    // Without a clock the time is 0; a name without folder stays whole.
    media.hasClock = false;
    media.Common().name = "loose.mp4";
    core.FillMediaStatusRecord(807, &media, head);
    EXPECT_EQ(head.intParam[4], 0);
    EXPECT_STREQ(head.textParam, "loose.mp4");
}

TEST_F(MediaManagerMedia, StatusRecordCutsTheClusterNameAt30) {
    core.SetShowClusterName(std::string(40, 'c'));
    tagNETHEAD head;
    core.FillMediaStatusRecord(810, nullptr, head);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&head);
    for (int i = 92; i < 122; ++i) EXPECT_EQ(bytes[i], 'c') << i;
    EXPECT_EQ(bytes[122], 0);
    EXPECT_EQ(bytes[123], 0);
}

TEST_F(MediaManagerMedia, TheIdleScreenShowsTheAddressTheOthersReachThisServerOn) {
    // An address named in the settings file wins over the host's own.
    WriteFile(dir / "mediacfg.ini", "[SyncMedia]\nLocalIp=10.20.30.40\n");
    core.Initialize();
    EXPECT_EQ(core.m_render.InfoText(), "10.20.30.40");
}

TEST_F(MediaManagerMedia, InitializeLoadsTheStartupVideo) {
    const std::string video = MakeFile("intro.mp4");
    WriteFile(dir / "mediacfg.ini", "[StartupLoadMedia]\nEnable=1\nMediaType=0\nVideoPath=" + video +
                                        "\n[VideoOption]\nVerticalSync=1\n");
    util::LogCapture log;
    core.Initialize();
    ASSERT_EQ(core.m_mediaList.size(), 1u);
    EXPECT_EQ(core.m_pCurrentVideo, core.m_mediaList[0]);
    EXPECT_EQ(core.m_mediaList[0]->Common().name, video);
    // The core's own pictures load after the start-up video.
    EXPECT_EQ(std::count(factory.journal.begin(), factory.journal.end(), "play"), 1);
    EXPECT_EQ(core.OwnIpText(), "192.168.10.20");
    EXPECT_EQ(output.Count("swap 1"), 1u);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "垂直同步：1"));
    EXPECT_EQ(core.m_nWatchdogRunning, 1);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "media"));
}

TEST_F(MediaManagerMedia, InitializeWithAnEmptyStartupPathLoadsNothing) {
    WriteFile(dir / "mediacfg.ini", "[StartupLoadMedia]\nEnable=1\nMediaType=0\n[Setting]\nAutoPlay=1\n");
    output.swapAvailable = false;
    util::LogCapture log;
    core.Initialize();
    EXPECT_TRUE(core.m_mediaList.empty());
    // Only the core's own three pictures: background, default background, matting.
    EXPECT_EQ(factory.created.load(), 3);
    EXPECT_FALSE(log.Contains("垂直同步"));
}

TEST(ServerTexts, HostNameAndAddressArePublishedWhole) {
    SetServerHostName("wall-01");
    SetServerIpText("10.1.2.3");
    EXPECT_EQ(GetServerHostName(), "wall-01");
    EXPECT_EQ(GetServerIpText(), "10.1.2.3");
    TempDir dir;
    CMediaManager core(dir.str());
    EXPECT_EQ(core.OwnAddressText(), "10.1.2.3");
    SetServerIpText("");
    SetServerHostName("");
}

// Where the machine has several addresses, the configuration names the one
// the other servers reach; both the sync records and the status records
// carry it.
TEST(ServerTexts, LocalIpKeyNamesTheAddressGivenToOthers) {
    SetServerIpText("10.1.2.3");
    TempDir dir;
    WriteFile(Ini(dir), "[SyncMedia]\nLocalIp=192.168.7.40\n");
    CMediaManager core(dir.str());
    core.SetOwnIpText("10.1.2.3");
    core.LoadConfig();
    EXPECT_EQ(core.OwnAddressText(), "192.168.7.40");
    EXPECT_EQ(core.OwnIpText(), "192.168.7.40");
    SetServerIpText("");
}

// The address found from the host is never the loopback one that Debian
// gives the host name, while the machine has another.
TEST(ServerTexts, HostAddressIsNoLoopbackWhileAnAdapterHasOne) {
    const std::string found = LinuxSystemServices().HostFirstIPv4();
    const std::string adapter = platform::FirstAdapterIPv4();
    if (adapter.empty() || adapter.rfind("127.", 0) == 0) GTEST_SKIP() << "no adapter address here";
    EXPECT_NE(found.rfind("127.", 0), 0u) << found;
}
