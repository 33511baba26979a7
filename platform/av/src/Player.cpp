#include "av/Player.h"

#include "AudioTrack.h"
#include "FrameConverter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
}

namespace av {

namespace {

// How long the decode thread waits at most before it looks at the clock
// again: a re-based clock moves the due time of the frame it holds.
constexpr int64_t kMaxWaitUnits = 20 * kUnitsPerMs;
// A frame later than this (or two frame times, if more) is dropped, but never
// more than kMaxDrops in a row, so that a slow machine still shows pictures.
constexpr int64_t kLateUnits = 80 * kUnitsPerMs;
constexpr int kMaxDrops = 8;
// A live frame further than this from its schedule restarts the schedule.
constexpr int64_t kLiveJumpUnits = kUnitsPerSecond;

// Opens the demuxer of a source. A device (an input format that reads no
// file: v4l2, lavfi) gets its name as it is. Anything else is a media file:
// it is opened by its absolute path through the file protocol alone, so a
// name that looks like a protocol ("concat:a|b", "http://...") is the file
// of that name and nothing the file refers to reaches the network or a pipe.
int OpenInputSource(AVFormatContext** fmt, const std::string& url, const AVInputFormat* input,
                    AVDictionary** options) {
    if (url.empty()) {
        avformat_free_context(*fmt);
        *fmt = nullptr;
        return AVERROR(EINVAL);
    }
    if (input && (input->flags & AVFMT_NOFILE)) return avformat_open_input(fmt, url.c_str(), input, options);
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(url, ec);
    if (ec) {
        avformat_free_context(*fmt);
        *fmt = nullptr;
        return AVERROR(EINVAL);
    }
    av_dict_set(options, "protocol_whitelist", "file", 0);
    const std::string fileUrl = "file:" + absolute.string();
    return avformat_open_input(fmt, fileUrl.c_str(), input, options);
}

// A wait for something due in `units`: at least a microsecond, so that a
// frame due in less does not turn the wait into a spin.
std::chrono::microseconds WaitTime(int64_t units) {
    return std::chrono::microseconds(std::max<int64_t>(std::min(units, kMaxWaitUnits) / 10, 1));
}

std::string ErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

void RegisterDevicesOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        avdevice_register_all();
        // Failures reach callers through their results; the libraries stay quiet.
        av_log_set_level(AV_LOG_FATAL);
    });
}

}  // namespace

struct Player::Impl {
    // ---- FFmpeg state: touched by Open/Close and by the decode thread only
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    // Several videos play at once: a few decode threads each, and as many
    // bands for the colour conversion.
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    FrameConverter converter{threads};
    AVPacket* pkt = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* spare = nullptr;
    int videoStream = -1;
    AVRational timeBase{1, 1};
    int64_t startPts = 0;            // stream time of position 0
    std::vector<uint8_t> bgr;
    FrameFormat format;              // what the sink was last told
    bool formatRefused = false;
    bool shown = false;              // bgr holds the last frame handed to the sink
    int64_t shownPts = 0;
    FrameSink* sink = nullptr;
    std::atomic<bool> interrupt{false};

    // ---- values fixed at open
    std::atomic<bool> open{false};
    std::atomic<bool> live{false};
    std::atomic<int64_t> duration{0};
    std::atomic<double> frameTime{0.04};
    std::atomic<int32_t> width{0}, height{0};
    std::atomic<uint64_t> decoded{0};

    // ---- shared state, under m
    mutable std::mutex m;
    std::condition_variable cv;
    PlayerState state = PlayerState::Stopped;
    bool closing = false;
    bool seekPending = false;
    int64_t seekTarget = 0;
    bool prerollNeeded = false;
    bool showAgain = false;          // paused from running: hand the last frame over again
    bool anchorAtNextFrame = false;  // the schedule starts at the next frame shown
    int64_t position = 0;
    int64_t anchorPos = 0;
    int64_t anchorClock = 0;
    double rate = 1.0;
    bool eos = false;                // the decoder gave its last frame
    bool eosReported = false;
    int64_t lastPts = -1;            // last frame taken from the decoder
    std::deque<int32_t> events;
    std::function<void()> eventCallback;
    int32_t volume = 0;
    uint64_t audioGeneration = 0;    // bumped whenever the sound must be placed again
    std::unique_ptr<AudioTrack> audio;
    std::shared_ptr<ReferenceClock> clock = std::make_shared<SystemClock>();

    std::thread thread;

    // ---------------------------------------------------------- helpers
    int64_t FrameUnits() const {
        return static_cast<int64_t>(frameTime.load() * static_cast<double>(kUnitsPerSecond));
    }

    // Position from the clock while running (lock held).
    int64_t ClockPositionLocked() const {
        const int64_t now = clock->Now();
        double p = static_cast<double>(anchorPos) + static_cast<double>(now - anchorClock) * rate;
        int64_t pos = static_cast<int64_t>(p);
        const int64_t dur = duration.load();
        if (dur > 0) pos = std::min(pos, dur);
        return std::max<int64_t>(pos, 0);
    }

    int64_t PositionLocked() const {
        if (state == PlayerState::Running && !live.load()) return ClockPositionLocked();
        return position;
    }

    void Reanchor(int64_t pos) {
        anchorPos = pos;
        anchorClock = clock->Now();
    }

    void Wake() {
        cv.notify_all();
        if (audio) audio->Wake();
    }

    // Lock held: the sound starts again from the clock's position.
    void ReplaceAudio() { ++audioGeneration; }

    AudioTiming AudioTimingNow() {
        std::lock_guard lk(m);
        AudioTiming t;
        // Until the pictures' schedule is anchored (after a start or a
        // seek) the sound waits for them.
        t.running = state == PlayerState::Running && !anchorAtNextFrame;
        t.position = t.running ? ClockPositionLocked() : position;
        t.rate = rate;
        t.generation = audioGeneration;
        t.volume = volume;
        return t;
    }

    void StartAudio(const std::string& url, const OpenOptions& options) {
        AudioTrackSetup setup;
        // The name the pictures were opened by ("file:" and the absolute
        // path for a file), so the sound reads the same file the same way.
        setup.url = fmt->url && *fmt->url ? std::string(fmt->url) : url;
        setup.inputFormat = options.inputFormat;
        setup.demuxerOptions = options.demuxerOptions;
        if (fmt->protocol_whitelist) setup.protocolWhitelist = fmt->protocol_whitelist;
        setup.device = options.audioDevice;
        setup.originUnits = av_rescale_q(startPts, timeBase, AVRational{1, static_cast<int>(kUnitsPerSecond)});
        setup.timing = [this] { return AudioTimingNow(); };
        setup.log = options.audioLog;
        audio = std::make_unique<AudioTrack>(std::move(setup));
    }

    // ---------------------------------------------------------- decoding
    static int InterruptCb(void* opaque) { return static_cast<Impl*>(opaque)->interrupt.load() ? 1 : 0; }

    int64_t ToUnits(int64_t pts) const {
        if (pts == AV_NOPTS_VALUE) return -1;
        return av_rescale_q(pts - startPts, timeBase, AVRational{1, static_cast<int>(kUnitsPerSecond)});
    }

    // Next decoded frame into `frame`: 0, AVERROR_EOF at the end, or an error.
    int DecodeNext(bool& demuxEof) {
        for (;;) {
            int r = avcodec_receive_frame(dec, frame);
            if (r == 0) return 0;
            if (r == AVERROR_EOF) return r;
            if (r != AVERROR(EAGAIN)) return r;
            if (demuxEof) return AVERROR_EOF;
            r = av_read_frame(fmt, pkt);
            if (r == AVERROR(EAGAIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                if (interrupt.load()) return AVERROR_EXIT;
                continue;
            }
            if (r < 0) {
                if (r == AVERROR_EXIT) return r;
                // End of input (or a read error, which ends it too): drain.
                demuxEof = true;
                avcodec_send_packet(dec, nullptr);
                continue;
            }
            if (pkt->stream_index == videoStream) {
                r = avcodec_send_packet(dec, pkt);
                // A damaged packet is skipped; the next keyframe recovers.
                (void)r;
            }
            av_packet_unref(pkt);
        }
    }

    void DoSeek(int64_t target) {
        const int64_t ts = startPts + av_rescale_q(target, AVRational{1, static_cast<int>(kUnitsPerSecond)}, timeBase);
        if (av_seek_frame(fmt, videoStream, ts, AVSEEK_FLAG_BACKWARD) < 0) {
            // Some demuxers only seek by bytes or from the start.
            avformat_seek_file(fmt, videoStream, INT64_MIN, ts, ts, 0);
        }
        avcodec_flush_buffers(dec);
    }

    // Converts the decoded frame and hands it to the sink (no lock held).
    void Present(int64_t pts, bool preroll) {
        const int w = frame->width, h = frame->height;
        if (w <= 0 || h <= 0) return;
        if (w != format.width || h != format.height) {
            FrameFormat f;
            f.width = w;
            f.height = h;
            f.bitsPerPixel = 24;
            f.stride = BitmapStride(w, 24);
            format = f;
            formatRefused = !sink->OnFormat(f);
            bgr.assign(static_cast<size_t>(f.stride) * static_cast<size_t>(h), 0);
        }
        if (formatRefused) return;
        if (!converter.Convert(frame->data, frame->linesize, w, h, frame->format, bgr.data(), format.stride)) return;
        shown = true;
        shownPts = pts;
        sink->OnFrame(bgr.data(), bgr.size(), pts, preroll);
    }

    void QueueEvent(std::unique_lock<std::mutex>& lk, int32_t code) {
        events.push_back(code);
        auto cb = eventCallback;
        lk.unlock();
        if (cb) cb();
        lk.lock();
    }

    void Run() {
        bool demuxEof = false;
        bool holding = false;       // `frame` holds a decoded frame not yet shown
        int64_t pts = 0;
        int64_t discardBelow = -1;  // after a seek: frames before the target are skipped
        bool spareHeld = false;     // `spare` holds the last skipped frame
        int64_t sparePts = 0;
        int drops = 0;

        std::unique_lock lk(m);
        for (;;) {
            if (closing) break;
            if (seekPending) {
                const int64_t target = seekTarget;
                seekPending = false;
                eos = false;
                lastPts = -1;
                lk.unlock();
                if (holding) av_frame_unref(frame);
                if (spareHeld) av_frame_unref(spare);
                holding = spareHeld = false;
                demuxEof = false;
                DoSeek(target);
                discardBelow = target;
                lk.lock();
                continue;
            }
            const PlayerState st = state;
            const bool isLive = live.load();
            if (showAgain) {
                showAgain = false;
                if (st == PlayerState::Paused && !isLive && shown && !formatRefused) {
                    const int64_t p = shownPts;
                    lk.unlock();
                    sink->OnFrame(bgr.data(), bgr.size(), p, true);
                    lk.lock();
                }
                continue;
            }
            // A live source keeps reading while it is not shown, so that it
            // goes on with current frames when it runs again.
            const bool idle = !isLive && (st == PlayerState::Stopped || (st == PlayerState::Paused && !prerollNeeded));
            if (idle || (eos && !holding && (st != PlayerState::Running || eosReported))) {
                cv.wait(lk);
                continue;
            }
            if (eos && !holding) {
                // Running at the end: report it once the last frame's time is over.
                const int64_t end = std::max<int64_t>(lastPts, 0) + FrameUnits();
                const int64_t due = anchorClock + static_cast<int64_t>(static_cast<double>(end - anchorPos) / rate);
                const int64_t now = clock->Now();
                if (!isLive && !anchorAtNextFrame && due > now) {
                    cv.wait_for(lk, WaitTime(due - now));
                    continue;
                }
                eosReported = true;
                const int64_t dur = duration.load();
                position = dur > 0 ? dur : std::max(position, end);
                QueueEvent(lk, kEventComplete);
                continue;
            }
            if (!holding) {
                lk.unlock();
                const int r = DecodeNext(demuxEof);
                if (r == 0) {
                    decoded.fetch_add(1);
                    int64_t t = ToUnits(frame->best_effort_timestamp);
                    lk.lock();
                    if (t < 0) t = lastPts >= 0 ? lastPts + FrameUnits() : 0;
                    lastPts = t;
                    if (discardBelow >= 0 && t + FrameUnits() / 2 < discardBelow) {
                        lk.unlock();
                        av_frame_unref(spare);
                        av_frame_move_ref(spare, frame);
                        spareHeld = true;
                        sparePts = t;
                        lk.lock();
                        continue;
                    }
                    if (spareHeld) av_frame_unref(spare);
                    spareHeld = false;
                    discardBelow = -1;
                    pts = t;
                    holding = true;
                    continue;
                }
                lk.lock();
                if (r == AVERROR_EXIT || closing) continue;
                eos = true;
                if (r != AVERROR_EOF) {
                    // The decoder failed: nothing more will come.
                    eosReported = true;
                    QueueEvent(lk, kEventErrorAbort);
                    continue;
                }
                if (spareHeld) {
                    // A seek at (or past) the last frame shows the last frame.
                    av_frame_move_ref(frame, spare);
                    spareHeld = false;
                    pts = sparePts;
                    discardBelow = -1;
                    holding = true;
                }
                continue;
            }
            // A frame is held.
            if (st == PlayerState::Paused && !isLive) {
                // prerollNeeded holds here (checked above).
                prerollNeeded = false;
                position = pts;
                lk.unlock();
                Present(pts, true);
                av_frame_unref(frame);
                holding = false;
                lk.lock();
                continue;
            }
            // Running, or a live source in any state.
            const int64_t now = clock->Now();
            if (anchorAtNextFrame) {
                anchorAtNextFrame = false;
                anchorPos = pts;
                anchorClock = now;
                ReplaceAudio();
                if (audio) audio->Wake();
            }
            int64_t due = anchorClock + static_cast<int64_t>(static_cast<double>(pts - anchorPos) / rate);
            if (isLive && (due - now > kLiveJumpUnits || now - due > kLiveJumpUnits)) {
                anchorPos = pts;
                anchorClock = now;
                due = now;
            }
            if (due > now) {
                cv.wait_for(lk, WaitTime(due - now));
                continue;
            }
            const int64_t lateLimit =
                std::max<int64_t>(kLateUnits, static_cast<int64_t>(2.0 * static_cast<double>(FrameUnits()) / rate));
            const bool show = st == PlayerState::Running;
            const bool drop = !isLive && now - due > lateLimit && drops < kMaxDrops;
            if (show) {
                prerollNeeded = false;
                position = pts;
            }
            lk.unlock();
            if (!show) {
                // not shown
            } else if (drop) {
                ++drops;
            } else {
                drops = 0;
                Present(pts, false);
            }
            av_frame_unref(frame);
            holding = false;
            lk.lock();
        }
        lk.unlock();
        if (holding) av_frame_unref(frame);
        if (spareHeld) av_frame_unref(spare);
    }

    void FreeSource() {
        converter.Reset();
        avcodec_free_context(&dec);
        if (fmt) avformat_close_input(&fmt);
        av_packet_free(&pkt);
        av_frame_free(&frame);
        av_frame_free(&spare);
        bgr.clear();
        bgr.shrink_to_fit();
        shown = false;
        format = FrameFormat{};
        formatRefused = false;
        videoStream = -1;
        sink = nullptr;
    }
};

Player::Player() : d(std::make_unique<Impl>()) {}

Player::~Player() { Close(); }

bool Player::Open(const std::string& url, const OpenOptions& options, FrameSink* sink, OpenFailure* failure) {
    Close();
    RegisterDevicesOnce();
    OpenFailure local;
    OpenFailure& fail = failure ? *failure : local;
    fail = OpenFailure{};
    auto failWith = [&](OpenStage stage, int code) {
        fail.stage = stage;
        fail.code = code;
        fail.text = ErrorText(code);
        d->FreeSource();
        return false;
    };
    if (!sink) return failWith(OpenStage::Source, AVERROR(EINVAL));

    const AVInputFormat* input = nullptr;
    if (!options.inputFormat.empty()) {
        input = av_find_input_format(options.inputFormat.c_str());
        if (!input) return failWith(OpenStage::Source, AVERROR_DEMUXER_NOT_FOUND);
    }
    d->interrupt = false;
    d->fmt = avformat_alloc_context();
    if (!d->fmt) return failWith(OpenStage::Source, AVERROR(ENOMEM));
    d->fmt->interrupt_callback.callback = &Impl::InterruptCb;
    d->fmt->interrupt_callback.opaque = d.get();
    AVDictionary* dict = nullptr;
    for (const auto& [k, v] : options.demuxerOptions) av_dict_set(&dict, k.c_str(), v.c_str(), 0);
    int r = OpenInputSource(&d->fmt, url, input, &dict);
    av_dict_free(&dict);
    if (r < 0) return failWith(OpenStage::Source, r);  // fmt is freed by the failed open
    r = avformat_find_stream_info(d->fmt, nullptr);
    if (r < 0) return failWith(OpenStage::Source, r);

    const AVCodec* codec = nullptr;
    r = av_find_best_stream(d->fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (r < 0) return failWith(OpenStage::VideoStream, r);
    d->videoStream = r;
    for (unsigned i = 0; i < d->fmt->nb_streams; ++i)
        if (static_cast<int>(i) != d->videoStream) d->fmt->streams[i]->discard = AVDISCARD_ALL;
    AVStream* st = d->fmt->streams[d->videoStream];

    d->dec = avcodec_alloc_context3(codec);
    if (!d->dec) return failWith(OpenStage::Decoder, AVERROR(ENOMEM));
    r = avcodec_parameters_to_context(d->dec, st->codecpar);
    if (r < 0) return failWith(OpenStage::Decoder, r);
    d->dec->thread_count = d->threads;
    r = avcodec_open2(d->dec, codec, nullptr);
    if (r < 0) return failWith(OpenStage::Decoder, r);
    d->pkt = av_packet_alloc();
    d->frame = av_frame_alloc();
    d->spare = av_frame_alloc();
    if (!d->pkt || !d->frame || !d->spare) return failWith(OpenStage::Decoder, AVERROR(ENOMEM));

    d->timeBase = st->time_base;
    d->startPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    int64_t dur = 0;
    if (!options.live) {
        if (d->fmt->duration != AV_NOPTS_VALUE && d->fmt->duration > 0)
            dur = av_rescale(d->fmt->duration, kUnitsPerSecond, AV_TIME_BASE);
        else if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            dur = av_rescale_q(st->duration, st->time_base, AVRational{1, static_cast<int>(kUnitsPerSecond)});
    }
    d->duration = dur;
    const AVRational fr = av_guess_frame_rate(d->fmt, st, nullptr);
    d->frameTime = (fr.num > 0 && fr.den > 0) ? av_q2d(av_inv_q(fr)) : 0.04;
    d->width = d->dec->width;
    d->height = d->dec->height;
    d->sink = sink;
    d->live = options.live;
    d->decoded = 0;

    {
        std::lock_guard lk(d->m);
        d->state = PlayerState::Stopped;
        d->closing = false;
        d->seekPending = false;
        d->prerollNeeded = false;
        d->showAgain = false;
        d->anchorAtNextFrame = false;
        d->position = 0;
        d->rate = 1.0;
        d->eos = false;
        d->eosReported = false;
        d->lastPts = -1;
        d->events.clear();
        d->Reanchor(0);
    }
    d->open = true;
    // The sound first: the decode thread reads `audio` from its start.
    if (!options.audioDevice.empty() && !options.live) d->StartAudio(url, options);
    d->thread = std::thread([impl = d.get()] { impl->Run(); });
    return true;
}

void Player::Close() {
    if (d->thread.joinable()) {
        {
            std::lock_guard lk(d->m);
            d->closing = true;
        }
        d->interrupt = true;
        d->Wake();
        d->thread.join();
    }
    d->audio.reset();
    d->open = false;
    d->FreeSource();
    std::lock_guard lk(d->m);
    d->closing = false;
    d->state = PlayerState::Stopped;
    d->events.clear();
    d->position = 0;
    d->duration = 0;
    d->width = 0;
    d->height = 0;
}

bool Player::IsOpen() const { return d->open.load(); }
bool Player::IsLive() const { return d->live.load(); }

bool Player::Run() {
    if (!IsOpen()) return false;
    std::lock_guard lk(d->m);
    if (d->state == PlayerState::Running) return true;
    d->showAgain = false;
    d->Reanchor(d->position);
    // From stopped the decoder starts over: the schedule starts with the
    // first frame it gives, however long that takes.
    if (d->state == PlayerState::Stopped && !d->live) d->anchorAtNextFrame = true;
    d->state = PlayerState::Running;
    d->ReplaceAudio();
    d->Wake();
    return true;
}

bool Player::Pause() {
    if (!IsOpen()) return false;
    std::lock_guard lk(d->m);
    if (d->state == PlayerState::Paused) return true;
    if (d->state == PlayerState::Running) {
        d->position = d->PositionLocked();
        if (!d->live && !d->prerollNeeded) {
            // Nothing shown since the start or a seek: cue the frame here.
            // Otherwise the last frame shown is handed over again as the
            // preroll: it may have been on its way to the sink while the
            // sink stopped taking running frames (sinks pause before their
            // player does), and a paused player must show its position.
            if (d->anchorAtNextFrame)
                d->prerollNeeded = true;
            else
                d->showAgain = true;
        }
    } else {
        d->prerollNeeded = !d->live;
    }
    d->anchorAtNextFrame = false;
    d->state = PlayerState::Paused;
    d->ReplaceAudio();
    d->Wake();
    return true;
}

bool Player::Stop() {
    if (!IsOpen()) return false;
    std::lock_guard lk(d->m);
    if (d->state == PlayerState::Stopped) return true;
    const int64_t pos = d->PositionLocked();
    d->state = PlayerState::Stopped;
    d->prerollNeeded = false;
    d->showAgain = false;
    d->anchorAtNextFrame = false;
    d->position = pos;
    if (!d->live) {
        // Running again starts from here with freshly decoded frames.
        d->seekPending = true;
        d->seekTarget = pos;
        d->eosReported = false;
    }
    d->ReplaceAudio();
    d->Wake();
    return true;
}

PlayerState Player::State() const {
    std::lock_guard lk(d->m);
    return d->state;
}

bool Player::Seek(int64_t position) {
    if (!IsOpen() || d->live) return false;
    const int64_t dur = d->duration.load();
    position = std::max<int64_t>(position, 0);
    if (dur > 0) position = std::min(position, dur);
    std::lock_guard lk(d->m);
    d->seekPending = true;
    d->seekTarget = position;
    d->position = position;
    d->Reanchor(position);
    d->eosReported = false;
    d->eos = false;
    // The frame at the new place replaces the last one shown.
    d->showAgain = false;
    if (d->state != PlayerState::Stopped) d->prerollNeeded = true;
    // Running: the schedule starts with the first frame at the new place.
    d->anchorAtNextFrame = d->state == PlayerState::Running;
    d->ReplaceAudio();
    d->Wake();
    return true;
}

int64_t Player::Position() const {
    if (!IsOpen()) return 0;
    std::lock_guard lk(d->m);
    return d->PositionLocked();
}

int64_t Player::Duration() const { return d->duration.load(); }
double Player::FrameTime() const { return d->frameTime.load(); }
int32_t Player::Width() const { return d->width.load(); }
int32_t Player::Height() const { return d->height.load(); }

bool Player::SetRate(double rate) {
    if (!IsOpen() || !std::isfinite(rate) || rate <= 0.0) return false;
    std::lock_guard lk(d->m);
    if (d->state == PlayerState::Running && !d->live) d->Reanchor(d->ClockPositionLocked());
    d->rate = rate;
    d->ReplaceAudio();
    d->Wake();
    return true;
}

double Player::Rate() const {
    std::lock_guard lk(d->m);
    return d->rate;
}

bool Player::SetVolume(int32_t volume) {
    if (!IsOpen()) return false;
    std::lock_guard lk(d->m);
    d->volume = std::clamp(volume, -10000, 0);
    return true;
}

int32_t Player::Volume() const {
    std::lock_guard lk(d->m);
    return d->volume;
}

int32_t Player::SetFrameTimeFormat() { return AVERROR(ENOSYS); }

bool Player::SetClock(std::shared_ptr<ReferenceClock> clock) {
    if (!clock) clock = std::make_shared<SystemClock>();
    std::lock_guard lk(d->m);
    const int64_t pos = d->PositionLocked();
    d->clock = std::move(clock);
    d->Reanchor(pos);
    d->ReplaceAudio();
    d->Wake();
    return true;
}

bool Player::NextEvent(int32_t& code) {
    std::lock_guard lk(d->m);
    if (d->events.empty()) return false;
    code = d->events.front();
    d->events.pop_front();
    return true;
}

void Player::SetEventCallback(std::function<void()> callback) {
    std::lock_guard lk(d->m);
    d->eventCallback = std::move(callback);
}

uint64_t Player::DecodedFrames() const { return d->decoded.load(); }

bool Player::AudioActive() const { return d->audio && d->audio->Active(); }

int64_t Player::AudioWritten() const { return d->audio ? d->audio->Written() : -1; }

std::vector<CaptureDevice> ListVideoCaptureDevices() {
    RegisterDevicesOnce();
    std::vector<CaptureDevice> out;
    const AVInputFormat* v4l2 = av_find_input_format("v4l2");
    if (!v4l2) return out;
    AVDeviceInfoList* list = nullptr;
    if (avdevice_list_input_sources(v4l2, nullptr, nullptr, &list) < 0 || !list) {
        avdevice_free_list_devices(&list);
        return out;
    }
    for (int i = 0; i < list->nb_devices; ++i) {
        const AVDeviceInfo* info = list->devices[i];
        if (!info || !info->device_name) continue;
        CaptureDevice dev;
        dev.url = info->device_name;
        dev.name = info->device_description ? info->device_description : info->device_name;
        dev.inputFormat = "v4l2";
        out.push_back(std::move(dev));
    }
    avdevice_free_list_devices(&list);
    // Device-number order: /dev/video2 before /dev/video10.
    auto number = [](const std::string& url) {
        size_t i = url.size();
        while (i > 0 && url[i - 1] >= '0' && url[i - 1] <= '9') --i;
        return i < url.size() ? std::stol(url.substr(i)) : -1L;
    };
    std::stable_sort(out.begin(), out.end(),
                     [&](const CaptureDevice& a, const CaptureDevice& b) { return number(a.url) < number(b.url); });
    return out;
}

}  // namespace av
