#include "av/AudioDevice.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace av {

namespace {

// ALSA writes its own complaints to stderr; callers report failures with
// the error text instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

void QuietOnce() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsa); });
}

std::string AlsaText(int code) { return snd_strerror(code); }

// Discards what is queued and closes.
void ClosePcm(snd_pcm_t*& pcm) {
    if (!pcm) return;
    snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
    pcm = nullptr;
}

// Hardware parameters nearest to the wanted ones; the format actually set
// comes back in `fmt`.
int Configure(snd_pcm_t* pcm, AudioFormat& fmt, bool preferFloat, unsigned bufferUs, unsigned periodUs) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int r = snd_pcm_hw_params_any(pcm, hw);
    if (r < 0) return r;
    r = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (r < 0) return r;
    const snd_pcm_format_t first = preferFloat ? SND_PCM_FORMAT_FLOAT_LE : SND_PCM_FORMAT_S16_LE;
    const snd_pcm_format_t second = preferFloat ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_FLOAT_LE;
    snd_pcm_format_t chosen = first;
    if (snd_pcm_hw_params_set_format(pcm, hw, first) < 0) {
        chosen = second;
        r = snd_pcm_hw_params_set_format(pcm, hw, second);
        if (r < 0) return r;
    }
    unsigned channels = static_cast<unsigned>(fmt.channels);
    r = snd_pcm_hw_params_set_channels_near(pcm, hw, &channels);
    if (r < 0) return r;
    unsigned rate = static_cast<unsigned>(fmt.rate);
    r = snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr);
    if (r < 0) return r;
    unsigned buffer = bufferUs, period = periodUs;
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &buffer, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &period, nullptr);
    r = snd_pcm_hw_params(pcm, hw);
    if (r < 0) return r;
    fmt.sample = chosen == SND_PCM_FORMAT_S16_LE ? SampleFormat::S16 : SampleFormat::Float;
    fmt.channels = static_cast<int32_t>(channels);
    fmt.rate = static_cast<int32_t>(rate);
    return 0;
}

}  // namespace

// ------------------------------------------------------------------ output

struct AudioOutput::Impl {
    snd_pcm_t* pcm = nullptr;
    AudioFormat format;
    bool failed = false;
};

AudioOutput::AudioOutput() : d(std::make_unique<Impl>()) {}
AudioOutput::~AudioOutput() { Close(); }

bool AudioOutput::Open(const std::string& pcm, const AudioFormat& wanted, std::string* error) {
    Close();
    QuietOnce();
    int r = snd_pcm_open(&d->pcm, pcm.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (r < 0) {
        d->pcm = nullptr;
        if (error) *error = AlsaText(r);
        return false;
    }
    AudioFormat fmt = wanted;
    // About a fifth of a second queued: enough against scheduling hiccups,
    // short enough that pause and seek are heard at once.
    r = Configure(d->pcm, fmt, wanted.sample == SampleFormat::Float, 200000, 20000);
    if (r < 0) {
        if (error) *error = AlsaText(r);
        Close();
        return false;
    }
    d->format = fmt;
    d->failed = false;
    snd_pcm_prepare(d->pcm);
    return true;
}

void AudioOutput::Close() {
    ClosePcm(d->pcm);
}

bool AudioOutput::IsOpen() const { return d->pcm != nullptr && !d->failed; }
const AudioFormat& AudioOutput::Format() const { return d->format; }

int64_t AudioOutput::Write(const void* data, int64_t frames) {
    if (!IsOpen()) return -1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const snd_pcm_sframes_t r = snd_pcm_writei(d->pcm, data, static_cast<snd_pcm_uframes_t>(frames));
        if (r >= 0) return r;
        if (r == -EAGAIN) return 0;
        // An underrun (or a resume after suspend) is recovered; anything
        // else means the device is gone.
        if (snd_pcm_recover(d->pcm, static_cast<int>(r), 1) < 0) break;
    }
    d->failed = true;
    return -1;
}

void AudioOutput::WaitWritable(int32_t ms) {
    if (IsOpen()) snd_pcm_wait(d->pcm, ms);
}

int64_t AudioOutput::Delay() {
    if (!IsOpen()) return 0;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(d->pcm, &delay) < 0 || delay < 0) return 0;
    return delay;
}

void AudioOutput::Drop() {
    if (!IsOpen()) return;
    snd_pcm_drop(d->pcm);
    snd_pcm_prepare(d->pcm);
}

// ------------------------------------------------------------------- input

struct AudioInput::Impl {
    snd_pcm_t* pcm = nullptr;
    int32_t channels = 2;
};

AudioInput::AudioInput() : d(std::make_unique<Impl>()) {}
AudioInput::~AudioInput() { Close(); }

bool AudioInput::Open(const std::string& pcm, int32_t rate, int32_t channels, std::string* error) {
    Close();
    QuietOnce();
    int r = snd_pcm_open(&d->pcm, pcm.c_str(), SND_PCM_STREAM_CAPTURE, 0);
    if (r < 0) {
        d->pcm = nullptr;
        if (error) *error = AlsaText(r);
        return false;
    }
    // Resampled and remixed by ALSA's plug layer where the card differs.
    r = snd_pcm_set_params(d->pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1, 200000);
    if (r < 0) {
        if (error) *error = AlsaText(r);
        Close();
        return false;
    }
    d->channels = channels;
    return true;
}

void AudioInput::Close() {
    ClosePcm(d->pcm);
}

bool AudioInput::IsOpen() const { return d->pcm != nullptr; }

bool AudioInput::Read(int16_t* data, int64_t frames) {
    if (!d->pcm) return false;
    int64_t done = 0;
    int failures = 0;
    while (done < frames) {
        const snd_pcm_sframes_t r =
            snd_pcm_readi(d->pcm, data + done * d->channels, static_cast<snd_pcm_uframes_t>(frames - done));
        if (r > 0) {
            done += r;
            continue;
        }
        if (r == 0 || r == -EAGAIN) {
            snd_pcm_wait(d->pcm, 100);
            continue;
        }
        // An overrun is recovered (the lost frames are lost); a failing
        // device ends the capture.
        if (++failures > 3 || snd_pcm_recover(d->pcm, static_cast<int>(r), 1) < 0) return false;
    }
    return true;
}

}  // namespace av
