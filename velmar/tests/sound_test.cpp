// Sound capture, levels and the effect catalogue.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Spectrum.h"
#include "support/AlsaTaps.h"
#include "support/support.h"
#include "util/LogCapture.h"
#include "velmar/ktv.h"

namespace {

using namespace std::chrono_literals;
using testsupport::WaitUntil;
namespace fs = std::filesystem;

constexpr int kN = velmar::kSpectrumFrames;

// Interleaved stereo frames: a sine of the given bin and amplitude per channel.
std::vector<int16_t> Tones(int frames, int binLeft, int binRight, double amplitude) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s[2 * i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * binLeft * i / kN)));
        s[2 * i + 1] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * binRight * i / kN)));
    }
    return s;
}

TEST(Spectrum, FftPeaksInTheToneBinOfEachChannel) {
    struct Case {
        int bin;
    };
    const Case cases[] = {{1}, {40}, {100}, {511}};
    for (const Case& c : cases) {
        const auto s = Tones(kN, c.bin, 0, 8000.0);
        std::vector<double> re(kN), im(kN, 0.0);
        for (int i = 0; i < kN; ++i) re[i] = s[2 * i];
        velmar::Fft1024(re.data(), im.data());
        int peak = 1;
        for (int k = 1; k < kN / 2; ++k)
            if (std::hypot(re[k], im[k]) > std::hypot(re[peak], im[peak])) peak = k;
        EXPECT_EQ(peak, c.bin);
        // Unscaled: a sine of amplitude A gives A * N / 2 in its bin.
        EXPECT_NEAR(std::hypot(re[c.bin], im[c.bin]), 8000.0 * kN / 2, 8000.0 * kN / 2 * 1e-3);
    }
}

TEST(Spectrum, BytesAreThePowerModulo256TakenIn64Bits) {
    // Two full-scale impulses: bin k has power A^2 (2 + 2 cos(2 pi k / N)),
    // past 2^31 for the low bins.
    std::vector<int16_t> s(kN * 2, 0);
    s[0] = s[2] = 32767;    // left: two impulses
    s[1] = 20;              // right: one small impulse, power 400 everywhere
    VelmarTimedLevel level{};
    velmar::AudioSpectrum(s.data(), level);
    int checked = 0;
    for (int k = 1; k < kN / 2; ++k) {
        const long double a = 32767.0L;
        const long double power = a * a * (2.0L + 2.0L * std::cos(2.0L * M_PIl * k / kN));
        const long double frac = power - std::floor(power);
        if (frac < 0.01L || frac > 0.99L) continue;  // too close to call
        const auto whole = static_cast<int64_t>(power);
        EXPECT_EQ(level.frequency[0][k], static_cast<unsigned char>(whole % 256)) << k;
        EXPECT_EQ(level.frequency[1][k], 400 % 256) << k;
        ++checked;
    }
    EXPECT_GT(checked, 400);
    EXPECT_GT(32767.0 * 32767.0 * 4.0, 2147483647.0);
    // Bin 0, the upper half and the waveform stay zero.
    EXPECT_EQ(level.frequency[0][0], 0);
    EXPECT_EQ(level.frequency[0][512], 0);
    EXPECT_EQ(level.waveform[0][1], 0);
}

TEST(Spectrum, SilenceGivesZeros) {
    std::vector<int16_t> s(kN * 2, 0);
    VelmarTimedLevel level{};
    std::memset(&level, 0x55, sizeof level);
    velmar::AudioSpectrum(s.data(), level);
    for (int c = 0; c < 2; ++c)
        for (int k = 1; k < kN / 2; ++k) ASSERT_EQ(level.frequency[c][k], 0) << c << " " << k;
}

// An effects folder under a private XDG data folder.
class SoundEffects : public ::testing::Test {
protected:
    void SetUp() override {
        folder = dir / "velmar" / "effects";
        fs::create_directories(folder);
        setenv("XDG_DATA_DIRS", dir.str().c_str(), 1);
    }
    void TearDown() override {
        KTV_StopCaptureRecord();
        unsetenv("XDG_DATA_DIRS");
    }
    // Installs a plug-in and lists the effects again, as the console does
    // before it offers them: a selection keeps to the list made last, which
    // an earlier test made from another folder.
    void Install(const char* from, const std::string& as) {
        fs::copy_file(from, folder / as);
        KTV_SOUND_EFFECT* list = nullptr;
        int count = 0;
        KTV_GetSoundEffects(&list, &count);
        KTV_FreeSoundEffects(list);
    }

    testsupport::TempDir dir;
    fs::path folder;
};

TEST_F(SoundEffects, CatalogueListsUsablePluginsAndSkipsTheRest) {
    KTV_SOUND_EFFECT* list = reinterpret_cast<KTV_SOUND_EFFECT*>(0x1);
    int count = 7;
    // Nothing installed: a null list and 0, not the caller's old values.
    EXPECT_EQ(KTV_GetSoundEffects(&list, &count), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, 0);

    Install(VELMAR_TEST_EFFECT, "bars.so");
    Install(VELMAR_TEST_EFFECT_EMPTY, "empty.so");
    testsupport::WriteFile(folder / "junk.so", "not a shared object");
    util::LogCapture log;
    ASSERT_EQ(KTV_GetSoundEffects(&list, &count), 1);
    ASSERT_EQ(count, 1);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(log.Contains("empty.so skipped: no preset"));
    EXPECT_TRUE(log.Contains("junk.so skipped"));
    int32_t stored = 0;
    std::memcpy(&stored, reinterpret_cast<const char*>(list) - 4, 4);
    EXPECT_EQ(stored, 1);
    EXPECT_STREQ(list[0].name, "Test Bars");
    EXPECT_EQ(list[0].presetCount, 50);
    EXPECT_STREQ(list[0].presets[0], "Preset 0");
    EXPECT_STREQ(list[0].presets[49], "Preset 49");
    // A title too long is cut to 255 bytes, between characters.
    EXPECT_EQ(std::strlen(list[0].presets[1]), 255u);
    KTV_FreeSoundEffects(list);
    KTV_FreeSoundEffects(nullptr);
}

TEST_F(SoundEffects, CaptureDrawsTheLevelsOfTheRecordedSound) {
    testsupport::AlsaTaps taps;
    // Bin-centred tones: bin 40 on the left, bin 100 on the right.
    const auto source = Tones(kN * 40, 40, 100, 8000.0);
    taps.SetSource(source);
    Install(VELMAR_TEST_EFFECT, "bars.so");
    void* plugin = dlopen((folder / "bars.so").c_str(), RTLD_NOW);
    ASSERT_NE(plugin, nullptr);
    auto renders = reinterpret_cast<int (*)()>(dlsym(plugin, "velmar_test_renders"));
    auto instances = reinterpret_cast<int (*)()>(dlsym(plugin, "velmar_test_instances"));
    auto firstLevel = reinterpret_cast<void (*)(VelmarTimedLevel*)>(dlsym(plugin, "velmar_test_first_level"));
    ASSERT_TRUE(renders && instances && firstLevel);

    std::vector<uint32_t> pixels(64 * 48, 0xff000000u);
    VelmarSurface surface{reinterpret_cast<uint8_t*>(pixels.data()), 64, 48, 64 * 4};
    const RECT rect{8, 4, 40, 20};
    EXPECT_EQ(KTV_StartCaptureRecord(&surface, nullptr, "Test Bars", nullptr), 0);
    ASSERT_EQ(KTV_StartCaptureRecord(&surface, &rect, "Test Bars", "Preset 2"), 1);
    ASSERT_TRUE(WaitUntil([&] { return renders() >= 3; }, 10s));
    EXPECT_EQ(KTV_StopCaptureRecord(), 1);
    // Only the catalogue's own instance is left: it lives until the list is
    // made again.
    EXPECT_EQ(instances(), 1);
    KTV_SOUND_EFFECT* list = nullptr;
    int count = 0;
    ASSERT_EQ(KTV_GetSoundEffects(&list, &count), 1);
    KTV_FreeSoundEffects(list);
    EXPECT_EQ(instances(), 1);

    // Preset 2 draws blue, inside the rectangle only.
    EXPECT_EQ(pixels[10 * 64 + 20], 0xff0000ffu);
    EXPECT_EQ(pixels[2 * 64 + 20], 0xff000000u);
    EXPECT_EQ(pixels[10 * 64 + 50], 0xff000000u);
    // The first buffer's levels are those of the recorded frames.
    VelmarTimedLevel got{}, want{};
    firstLevel(&got);
    velmar::AudioSpectrum(source.data(), want);
    EXPECT_EQ(got.state, 2);
    EXPECT_EQ(std::memcmp(got.frequency, want.frequency, sizeof want.frequency), 0);
    dlclose(plugin);
}

TEST_F(SoundEffects, SilentCaptureGivesZeroLevels) {
    testsupport::AlsaTaps taps;
    taps.SetSource(std::vector<int16_t>(kN * 2 * 20, 0));
    Install(VELMAR_TEST_EFFECT, "bars.so");
    void* plugin = dlopen((folder / "bars.so").c_str(), RTLD_NOW);
    ASSERT_NE(plugin, nullptr);
    auto renders = reinterpret_cast<int (*)()>(dlsym(plugin, "velmar_test_renders"));
    auto firstLevel = reinterpret_cast<void (*)(VelmarTimedLevel*)>(dlsym(plugin, "velmar_test_first_level"));
    std::vector<uint32_t> pixels(16 * 16, 0);
    VelmarSurface surface{reinterpret_cast<uint8_t*>(pixels.data()), 16, 16, 64};
    const RECT rect{0, 0, 16, 16};
    ASSERT_EQ(KTV_StartCaptureRecord(&surface, &rect, "Test Bars", nullptr), 1);
    ASSERT_TRUE(WaitUntil([&] { return renders() >= 1; }, 10s));
    KTV_StopCaptureRecord();
    VelmarTimedLevel got{};
    firstLevel(&got);
    for (int c = 0; c < 2; ++c)
        for (int k = 1; k < kN / 2; ++k) ASSERT_EQ(got.frequency[c][k], 0) << c << " " << k;
    EXPECT_EQ(pixels[5 * 16 + 5], 0xff00c000u);
    dlclose(plugin);
}

TEST_F(SoundEffects, WithoutAnEffectItRecordsWithoutDrawing) {
    testsupport::AlsaTaps taps;
    taps.SetSource(Tones(kN * 20, 40, 100, 8000.0));
    Install(VELMAR_TEST_EFFECT, "bars.so");
    void* plugin = dlopen((folder / "bars.so").c_str(), RTLD_NOW);
    ASSERT_NE(plugin, nullptr);
    auto renders = reinterpret_cast<int (*)()>(dlsym(plugin, "velmar_test_renders"));
    std::vector<uint32_t> pixels(16 * 16, 0);
    VelmarSurface surface{reinterpret_cast<uint8_t*>(pixels.data()), 16, 16, 64};
    const RECT rect{0, 0, 16, 16};
    ASSERT_EQ(KTV_StartCaptureRecord(&surface, &rect, nullptr, nullptr), 1);
    // Choosing the effect while recording: it draws from then on.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(renders(), 0);
    ASSERT_EQ(KTV_StartCaptureRecord(&surface, &rect, "Test Bars", nullptr), 1);
    EXPECT_TRUE(WaitUntil([&] { return renders() >= 1; }, 10s));
    // And another selection while it draws swaps it safely.
    for (int i = 0; i < 20; ++i) ASSERT_EQ(KTV_StartCaptureRecord(&surface, &rect, i % 2 ? "Test Bars" : nullptr, nullptr), 1);
    KTV_StopCaptureRecord();
    EXPECT_EQ(pixels[0], 0xff00c000u);
    dlclose(plugin);
}

// The default capture device for the next opening: `pcm` is its ALSA
// definition.
std::string CaptureConfig(const testsupport::TempDir& dir, const std::string& pcm) {
    const std::string path = (dir / "capture.conf").string();
    testsupport::WriteFile(path, std::string("pcm_type.steady {\n  lib \"") + SV_ALSA_STEADY_MODULE +
                                     "\"\n}\npcm.!default {\n" + pcm + "}\n");
    return path;
}

TEST_F(SoundEffects, AFailedCaptureDeviceIsReportedAndTheNextStartRecordsAgain) {
    testsupport::AlsaTaps taps;
    taps.SetSource(Tones(kN * 40, 40, 100, 8000.0));
    const std::string good = std::getenv("ALSA_CONFIG_PATH");
    Install(VELMAR_TEST_EFFECT, "bars.so");
    void* plugin = dlopen((folder / "bars.so").c_str(), RTLD_NOW);
    ASSERT_NE(plugin, nullptr);
    auto renders = reinterpret_cast<int (*)()>(dlsym(plugin, "velmar_test_renders"));
    std::vector<uint32_t> pixels(16 * 16, 0);
    VelmarSurface surface{reinterpret_cast<uint8_t*>(pixels.data()), 16, 16, 64};
    const RECT rect{0, 0, 16, 16};

    struct Case {
        const char* what;
        std::string pcm;
        int result;  // of the start on the broken device
    } cases[] = {
        {"device that does not open", "  type file\n  slave.pcm { type null }\n  file \"/dev/null\"\n  infile \"" +
                                          (dir / "missing.raw").string() + "\"\n  format \"raw\"\n", 0},
        // Gone (unplugged) after a tenth of a second.
        {"device that fails while recording", "  type steady\n  fail_after 4410\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        util::LogCapture log;
        setenv("ALSA_CONFIG_PATH", CaptureConfig(dir, c.pcm).c_str(), 1);
        EXPECT_EQ(KTV_StartCaptureRecord(&surface, &rect, "Test Bars", nullptr), c.result);
        if (c.result == 1)
            ASSERT_TRUE(WaitUntil([&] { return log.Contains("sound capture ended: the capture device failed"); }, 10s));
        else
            EXPECT_TRUE(log.Contains("sound capture cannot open the default capture device"));
        const int before = renders();

        // The device is back: the next start records and draws, no stop needed.
        setenv("ALSA_CONFIG_PATH", good.c_str(), 1);
        ASSERT_EQ(KTV_StartCaptureRecord(&surface, &rect, "Test Bars", nullptr), 1);
        EXPECT_TRUE(WaitUntil([&] { return renders() > before; }, 10s));
        KTV_StopCaptureRecord();
    }
    dlclose(plugin);
}

}  // namespace
