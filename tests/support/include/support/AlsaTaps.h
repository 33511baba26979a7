// ALSA PCMs that need no sound card, for the tests of sound. The PCM "tap"
// (also "default" for playback) writes every sample played to a raw file over the null
// PCM; "source" (also "default" for capture) reads a raw file the test writes. The configuration
// replaces ALSA's own for this process (ALSA_CONFIG_PATH): make one before
// the first ALSA call.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/support.h"

namespace testsupport {

class AlsaTaps {
public:
    AlsaTaps() {
        WriteFile(dir_ / "source.raw", std::string());
        const std::string conf =
            "pcm.tap {\n"
            "  type file\n"
            "  slave.pcm { type null }\n"
            "  file \"" + TapFile() + "\"\n"
            "  format \"raw\"\n"
            "}\n"
            "pcm.default {\n"
            "  type asym\n"
            "  playback.pcm \"tap\"\n"
            "  capture.pcm \"source\"\n"
            "}\n"
            "pcm.source {\n"
            "  type file\n"
            "  slave.pcm { type null }\n"
            "  file \"/dev/null\"\n"
            "  infile \"" + SourceFile() + "\"\n"
            "  format \"raw\"\n"
            "}\n";
        WriteFile(dir_ / "asound.conf", conf);
        setenv("ALSA_CONFIG_PATH", (dir_ / "asound.conf").c_str(), 1);
    }
    ~AlsaTaps() { unsetenv("ALSA_CONFIG_PATH"); }

    // Adds the PCM "steady", which keeps time by the clock like a sound card
    // and writes what it has played by now to SteadyFile(). `module` is the
    // test PCM's plug-in (tests/support/alsa). Call before the first open.
    void AddSteady(const std::string& module) const {
        std::string conf = ReadFile(dir_ / "asound.conf");
        conf += "pcm_type.steady {\n  lib \"" + module + "\"\n}\n"
                "pcm.steady {\n  type steady\n  file \"" + SteadyFile() + "\"\n}\n";
        WriteFile(dir_ / "asound.conf", conf);
    }
    std::string SteadyFile() const { return (dir_ / "steady.raw").string(); }

    std::string TapFile() const { return (dir_ / "tap.raw").string(); }
    std::string SourceFile() const { return (dir_ / "source.raw").string(); }

    // Forgets what was played (the tap starts a new file at its next open).
    void ClearPlayed() const {
        std::error_code ec;
        std::filesystem::remove(TapFile(), ec);
    }
    // Interleaved 16-bit samples written to the tap so far. ALSA's file PCM
    // holds back up to one device buffer until it is dropped or closed.
    std::vector<int16_t> Played() const { return ReadS16(TapFile()); }
    size_t PlayedSamples() const {
        std::error_code ec;
        const auto size = std::filesystem::file_size(TapFile(), ec);
        return ec ? 0 : static_cast<size_t>(size / 2);
    }
    void SetSource(const std::vector<int16_t>& samples) const {
        std::string bytes(samples.size() * 2, '\0');
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        WriteFile(SourceFile(), bytes);
    }

    static std::vector<int16_t> ReadS16(const std::string& path) {
        const std::string bytes = ReadFile(path);
        std::vector<int16_t> out(bytes.size() / 2);
        std::memcpy(out.data(), bytes.data(), out.size() * 2);
        return out;
    }

private:
    TempDir dir_;
};

}  // namespace testsupport
