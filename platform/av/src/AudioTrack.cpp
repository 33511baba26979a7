#include "AudioTrack.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "av/AudioDevice.h"
#include "av/Clock.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace av {

namespace {

constexpr int64_t kPollUnits = 20 * kUnitsPerMs;
// Right after a start or a seek the first sample is placed to the
// millisecond, by dropping samples or waiting. From then on the sound follows
// the clock by resampling: a drift is taken back over about two seconds,
// never faster than half a percent, which no ear hears as a jump. Only a
// sound further off than kDriftUnits (the clock stepped, the thread was held
// up) is put right at once by dropping or waiting.
//
// A device that takes every sample at once and reports no delay (ALSA's null
// PCM behind a file) keeps no time of its own: there the writes are paced by
// the clock, never more than kLeadUnits ahead, and nothing is stretched.
constexpr int64_t kDriftUnits = 80 * kUnitsPerMs;
constexpr int64_t kLeadUnits = 15 * kUnitsPerMs;
constexpr int64_t kPlaceUnits = 1 * kUnitsPerMs;
constexpr double kCorrectionSeconds = 2.0;
constexpr double kMaxCorrection = 0.005;
// Further off than this (a re-based clock) the sound is sought again.
constexpr int64_t kJumpUnits = kUnitsPerSecond;
// What atempo stretches.
constexpr double kMinTempo = 0.5;
constexpr double kMaxTempo = 100.0;

std::string ErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

}  // namespace

struct AudioTrack::Impl {
    AudioTrackSetup s;
    std::atomic<bool>* active = nullptr;
    std::atomic<int64_t>* written_ = nullptr;

    std::mutex m;
    std::condition_variable cv;
    bool closing = false;
    bool woken = false;
    std::thread thread;

    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    AVPacket* pkt = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* filtered = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1};
    AVChannelLayout layout{};
    bool demuxEof = false;
    bool flushedGraph = false;

    AVFilterGraph* graph = nullptr;
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    SwrContext* swr = nullptr;
    double rate = 1.0;
    bool needBase = true;

    AudioOutput out;
    std::vector<uint8_t> pending;   // device frames not yet written
    size_t pendingOff = 0;          // bytes already written
    int64_t pendingStart = 0;       // media time of the first unwritten frame
    std::vector<uint8_t> scaled;
    // Device frames per frame of the sound: 1 plays at the clock's pace,
    // above 1 stretches the sound a little to let the clock catch up.
    double stretch = 1.0;
    double pendingStretch = 1.0;    // the stretch the pending frames were made with
    bool deviceKeepsTime = false;   // the device reported a delay after a write

    static int InterruptCb(void* opaque) {
        auto* self = static_cast<Impl*>(opaque);
        std::lock_guard lk(self->m);
        return self->closing ? 1 : 0;
    }

    bool Closing() {
        std::lock_guard lk(m);
        return closing;
    }

    void WaitFor(int64_t units) {
        std::unique_lock lk(m);
        if (closing || woken) {
            woken = false;
            return;
        }
        cv.wait_for(lk, std::chrono::microseconds(std::max<int64_t>(units / 10, 1000)),
                    [&] { return closing || woken; });
        woken = false;
    }

    // ---------------------------------------------------------------- source
    bool OpenSource() {
        const AVInputFormat* input = nullptr;
        if (!s.inputFormat.empty()) input = av_find_input_format(s.inputFormat.c_str());
        fmt = avformat_alloc_context();
        if (!fmt) return false;
        fmt->interrupt_callback.callback = &InterruptCb;
        fmt->interrupt_callback.opaque = this;
        AVDictionary* dict = nullptr;
        for (const auto& [k, v] : s.demuxerOptions) av_dict_set(&dict, k.c_str(), v.c_str(), 0);
        if (!s.protocolWhitelist.empty()) av_dict_set(&dict, "protocol_whitelist", s.protocolWhitelist.c_str(), 0);
        int r = avformat_open_input(&fmt, s.url.c_str(), input, &dict);
        av_dict_free(&dict);
        if (r < 0) return false;  // freed by the failed open
        if (avformat_find_stream_info(fmt, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        r = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (r < 0) return false;  // a file without sound
        stream = r;
        for (unsigned i = 0; i < fmt->nb_streams; ++i)
            if (static_cast<int>(i) != stream) fmt->streams[i]->discard = AVDISCARD_ALL;
        AVStream* st = fmt->streams[stream];
        timeBase = st->time_base;
        dec = avcodec_alloc_context3(codec);
        if (!dec || avcodec_parameters_to_context(dec, st->codecpar) < 0) return false;
        if ((r = avcodec_open2(dec, codec, nullptr)) < 0) {
            if (s.log) s.log("audio decoder failed: " + ErrorText(r));
            return false;
        }
        if (dec->ch_layout.nb_channels <= 0 || dec->sample_rate <= 0) return false;
        // Layouts without channel order (raw PCM in some containers) get
        // the usual one for their count, which the filters need.
        if (dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout, dec->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&layout, &dec->ch_layout);
        pkt = av_packet_alloc();
        frame = av_frame_alloc();
        filtered = av_frame_alloc();
        return pkt && frame && filtered;
    }

    void FreeSource() {
        avfilter_graph_free(&graph);
        swr_free(&swr);
        avcodec_free_context(&dec);
        if (fmt) avformat_close_input(&fmt);
        av_packet_free(&pkt);
        av_frame_free(&frame);
        av_frame_free(&filtered);
        av_channel_layout_uninit(&layout);
    }

    int64_t ToMedia(int64_t pts) const {
        return av_rescale_q(pts, timeBase, AVRational{1, static_cast<int>(kUnitsPerSecond)}) - s.originUnits;
    }

    // The next decoded frame into `frame`: 0, AVERROR_EOF, or an error.
    int DecodeNext() {
        for (;;) {
            int r = avcodec_receive_frame(dec, frame);
            if (r != AVERROR(EAGAIN)) return r;
            if (demuxEof) return AVERROR_EOF;
            r = av_read_frame(fmt, pkt);
            if (r < 0) {
                if (r == AVERROR_EXIT) return r;
                if (r == AVERROR(EAGAIN)) continue;
                demuxEof = true;
                avcodec_send_packet(dec, nullptr);
                continue;
            }
            if (pkt->stream_index == stream) avcodec_send_packet(dec, pkt);
            av_packet_unref(pkt);
        }
    }

    bool BuildGraph(double tempo) {
        graph = avfilter_graph_alloc();
        if (!graph) return false;
        char chl[128] = {};
        av_channel_layout_describe(&layout, chl, sizeof chl);
        char args[256];
        snprintf(args, sizeof args, "time_base=1/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", dec->sample_rate,
                 dec->sample_rate, av_get_sample_fmt_name(dec->sample_fmt), chl);
        char targs[64];
        snprintf(targs, sizeof targs, "tempo=%.6f", tempo);
        AVFilterContext* stretch = nullptr;
        if (avfilter_graph_create_filter(&src, avfilter_get_by_name("abuffer"), "in", args, nullptr, graph) < 0 ||
            avfilter_graph_create_filter(&stretch, avfilter_get_by_name("atempo"), "tempo", targs, nullptr, graph) <
                0 ||
            avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, graph) <
                0 ||
            avfilter_link(src, 0, stretch, 0) < 0 || avfilter_link(stretch, 0, sink, 0) < 0 ||
            avfilter_graph_config(graph, nullptr) < 0) {
            avfilter_graph_free(&graph);
            return false;
        }
        return true;
    }

    bool BuildResampler(const AVFrame* in) {
        swr_free(&swr);
        const AudioFormat& f = out.Format();
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, f.channels);
        const AVSampleFormat outFmt = f.sample == SampleFormat::S16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
        const int r = swr_alloc_set_opts2(&swr, &outLayout, outFmt, f.rate, &layout,
                                          static_cast<AVSampleFormat>(in->format), in->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (r < 0) return false;
        // Always through the resampler, even at equal rates, so that the
        // drift compensation can start at any moment without a reset.
        av_opt_set_int(swr, "flags", SWR_FLAG_RESAMPLE, 0);
        return swr_init(swr) >= 0;
    }

    // Appends a decoded (or stretched) frame to the pending device frames.
    bool Convert(const AVFrame* in) {
        if (!swr && !BuildResampler(in)) return false;
        const AudioFormat& f = out.Format();
        const size_t bpf = static_cast<size_t>(f.BytesPerFrame());
        // The stretch spread over the next second of device frames; set
        // again with every frame, so it follows the latest measure.
        const int distance = std::max(f.rate, 1);
        const int delta = static_cast<int>(std::lround((stretch - 1.0) * distance));
        if (swr_set_compensation(swr, delta, distance) < 0) return false;
        // The estimate leaves out what the stretch adds: room for that too,
        // or the added frames pile up inside the resampler instead.
        int room = swr_get_out_samples(swr, in->nb_samples);
        if (room <= 0) return true;
        room += std::abs(delta) * in->nb_samples / distance + 64;
        pendingStretch = 1.0 + static_cast<double>(delta) / distance;
        const size_t old = pending.size();
        pending.resize(old + static_cast<size_t>(room) * bpf);
        uint8_t* dst = pending.data() + old;
        const int n = swr_convert(swr, &dst, room, const_cast<const uint8_t**>(in->extended_data), in->nb_samples);
        pending.resize(old + static_cast<size_t>(std::max(n, 0)) * bpf);
        return n >= 0;
    }

    void Resync(double newRate) {
        rate = newRate;
        avfilter_graph_free(&graph);
        swr_free(&swr);
        pending.clear();
        pendingOff = 0;
        needBase = true;
        flushedGraph = false;
        stretch = 1.0;
        pendingStretch = 1.0;
        if (std::fabs(rate - 1.0) > 1e-9 && !BuildGraph(rate)) {
            if (s.log) s.log("audio time-stretch failed: the sound is left out at this rate");
            rate = 0.0;  // silent
        }
    }

    void SeekTo(int64_t position) {
        // A little before the place: the decoder needs to settle, and the
        // samples before it are dropped by the placing below.
        const int64_t ts = av_rescale_q(std::max<int64_t>(position + s.originUnits - 100 * kUnitsPerMs, 0),
                                        AVRational{1, static_cast<int>(kUnitsPerSecond)}, timeBase);
        if (av_seek_frame(fmt, stream, ts, AVSEEK_FLAG_BACKWARD) < 0) avformat_seek_file(fmt, stream, INT64_MIN, ts, ts, 0);
        avcodec_flush_buffers(dec);
        demuxEof = false;
    }

    size_t PendingFrames() const {
        return (pending.size() - pendingOff) / static_cast<size_t>(out.Format().BytesPerFrame());
    }

    void Consume(size_t frames) {
        pendingOff += frames * static_cast<size_t>(out.Format().BytesPerFrame());
        pendingStart += static_cast<int64_t>(static_cast<double>(frames) * rate * static_cast<double>(kUnitsPerSecond) /
                                             (static_cast<double>(out.Format().rate) * pendingStretch));
        if (pendingOff >= pending.size()) {
            pending.clear();
            pendingOff = 0;
        }
    }

    // Fills `pending`; false at the end of the sound.
    bool Produce() {
        for (;;) {
            if (graph) {
                int r = av_buffersink_get_frame(sink, filtered);
                if (r >= 0) {
                    const bool ok = Convert(filtered);
                    av_frame_unref(filtered);
                    if (!ok) return false;
                    if (PendingFrames() > 0) return true;
                    continue;
                }
                if (r != AVERROR(EAGAIN)) return false;
                if (flushedGraph) return false;
            }
            int r = DecodeNext();
            if (r == AVERROR_EOF && graph && !flushedGraph) {
                flushedGraph = true;
                if (av_buffersrc_add_frame(src, nullptr) < 0) return false;
                continue;
            }
            if (r < 0) return false;
            const int64_t t = frame->best_effort_timestamp != AV_NOPTS_VALUE ? ToMedia(frame->best_effort_timestamp)
                                                                              : pendingStart;
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
                av_channel_layout_uninit(&frame->ch_layout);
                av_channel_layout_copy(&frame->ch_layout, &layout);
            }
            if (graph) {
                if (needBase) pendingStart = t;
                needBase = false;
                frame->pts = AV_NOPTS_VALUE;
                r = av_buffersrc_add_frame(src, frame);
                av_frame_unref(frame);
                if (r < 0) return false;
                continue;
            }
            // Straight through: each frame carries its own time; what the
            // resampler still holds of earlier frames comes out first.
            if (PendingFrames() == 0) pendingStart = t - (swr ? swr_get_delay(swr, kUnitsPerSecond) : 0);
            needBase = false;
            const bool ok = Convert(frame);
            av_frame_unref(frame);
            if (!ok) return false;
            if (PendingFrames() > 0) return true;
        }
    }

    // Writes up to ten milliseconds of sound at the volume; frames taken or -1.
    int64_t WriteChunk(int32_t volume) {
        const AudioFormat& f = out.Format();
        const size_t frames = std::min(PendingFrames(), static_cast<size_t>(std::max(f.rate / 100, 1)));
        const size_t bytes = frames * static_cast<size_t>(f.BytesPerFrame());
        const uint8_t* data = pending.data() + pendingOff;
        if (volume < 0) {
            const double gain = volume <= -10000 ? 0.0 : std::pow(10.0, static_cast<double>(volume) / 2000.0);
            scaled.assign(data, data + bytes);
            if (f.sample == SampleFormat::S16) {
                const size_t n = bytes / 2;
                for (size_t i = 0; i < n; ++i) {
                    int16_t v;
                    std::memcpy(&v, &scaled[i * 2], 2);
                    const long x = std::lround(static_cast<double>(v) * gain);
                    v = static_cast<int16_t>(std::clamp<long>(x, -32768, 32767));
                    std::memcpy(&scaled[i * 2], &v, 2);
                }
            } else {
                const size_t n = bytes / 4;
                for (size_t i = 0; i < n; ++i) {
                    float v;
                    std::memcpy(&v, &scaled[i * 4], 4);
                    v = static_cast<float>(static_cast<double>(v) * gain);
                    std::memcpy(&scaled[i * 4], &v, 4);
                }
            }
            data = scaled.data();
        }
        const int64_t w = out.Write(data, static_cast<int64_t>(frames));
        if (w > 0) Consume(static_cast<size_t>(w));
        return w;
    }

    void Play() {
        if (!OpenSource()) return;
        AudioFormat want;
        want.sample = SampleFormat::S16;
        want.rate = dec->sample_rate;
        want.channels = std::clamp(layout.nb_channels, 1, 8);
        std::string error;
        if (!out.Open(s.device, want, &error)) {
            if (s.log) s.log("audio device \"" + s.device + "\" cannot be opened: " + error + ". Playing without sound");
            return;
        }
        active->store(true);
        uint64_t generation = ~uint64_t{0};
        bool resync = true;
        bool placed = false;
        bool ended = false;
        while (!Closing()) {
            const AudioTiming t = s.timing();
            if (t.generation != generation) {
                generation = t.generation;
                out.Drop();
                resync = true;
            }
            const bool audible = t.rate >= kMinTempo && t.rate <= kMaxTempo;
            if (!t.running || !audible) {
                WaitFor(kPollUnits);
                continue;
            }
            if (resync) {
                resync = false;
                placed = false;
                ended = false;
                Resync(t.rate);
                SeekTo(t.position);
                if (rate <= 0.0) {
                    ended = true;  // no stretch at this rate: silence until the next change
                }
            }
            if (ended) {
                WaitFor(kPollUnits);
                continue;
            }
            if (PendingFrames() == 0 && !Produce()) {
                ended = true;
                continue;
            }
            const AudioFormat& f = out.Format();
            const int64_t heardAfter = static_cast<int64_t>(static_cast<double>(out.Delay()) * t.rate *
                                                            static_cast<double>(kUnitsPerSecond) / f.rate);
            const int64_t off = pendingStart - (t.position + heardAfter);
            if (off < -kJumpUnits || off > kJumpUnits) {
                resync = true;
                out.Drop();
                continue;
            }
            const int64_t tolerance = placed ? kDriftUnits : kPlaceUnits;
            const int64_t lead = !placed ? kPlaceUnits : deviceKeepsTime ? kDriftUnits : kLeadUnits;
            // Ahead of the clock (off above 0): more device frames per frame.
            stretch = placed && deviceKeepsTime
                          ? 1.0 + std::clamp(static_cast<double>(off) /
                                                 (kCorrectionSeconds * static_cast<double>(kUnitsPerSecond)),
                                             -kMaxCorrection, kMaxCorrection)
                          : 1.0;
            if (off < -tolerance) {
                // Late: the samples whose time has passed are dropped.
                const double frames = static_cast<double>(-off) * f.rate / (t.rate * static_cast<double>(kUnitsPerSecond));
                Consume(std::min(PendingFrames(), static_cast<size_t>(std::ceil(frames))));
                continue;
            }
            if (off > lead) {
                // Early: wait for the clock.
                WaitFor(std::min<int64_t>(static_cast<int64_t>(static_cast<double>(off) / t.rate), kPollUnits));
                continue;
            }
            const int64_t w = WriteChunk(t.volume);
            if (w < 0) {
                if (s.log) s.log("audio device \"" + s.device + "\" failed: the sound ends");
                break;
            }
            if (w == 0) {
                out.WaitWritable(20);
                continue;
            }
            placed = true;
            if (!deviceKeepsTime && out.Delay() > 0) deviceKeepsTime = true;
            written_->store(pendingStart);
        }
        active->store(false);
        out.Close();
    }
};

AudioTrack::AudioTrack(AudioTrackSetup setup) : d(std::make_unique<Impl>()) {
    d->s = std::move(setup);
    d->active = &active_;
    d->written_ = &written_;
    d->thread = std::thread([impl = d.get()] {
        impl->Play();
        impl->FreeSource();
    });
}

AudioTrack::~AudioTrack() {
    {
        std::lock_guard lk(d->m);
        d->closing = true;
    }
    d->cv.notify_all();
    d->thread.join();
}

void AudioTrack::Wake() {
    {
        std::lock_guard lk(d->m);
        d->woken = true;
    }
    d->cv.notify_all();
}

}  // namespace av
