/* An ALSA PCM for tests that keeps time like a sound card. Played: it takes
 * samples as fast as its buffer has room, plays them at its rate by the
 * monotonic clock, and appends to its file what has been played by now, with
 * silence where it ran dry. ALSA's own null PCM takes everything at once and
 * reports no delay, so nothing can be learnt there about keeping pace.
 * Recorded: silence at its rate, and with `fail_after` the device goes away
 * (as an unplugged one does) after that many frames.
 *
 *   pcm_type.steady { lib "/path/libasound_module_pcm_steady.so" }
 *   pcm.name { type steady file "/path/played.raw" }
 *   pcm.mic { type steady fail_after 4410 }
 */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

typedef struct {
    snd_pcm_ioplug_t io;
    char* path;
    FILE* file;
    int timer;
    unsigned frameBytes;
    /* Written frames not yet played, oldest first. */
    uint8_t* queue;
    size_t queued, capacity;
    uint64_t played;     /* frames played since the last start */
    uint64_t startNs;    /* when the last start was */
    uint64_t dryNs;      /* when it ran dry (0: it did not) */
    long failAfter;      /* recording: frames until the device is gone (-1: never) */
    uint64_t recorded;   /* recording: frames handed out, over every start */
} Steady;

static uint64_t NowNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000000000u + (uint64_t)t.tv_nsec;
}

static void Silence(Steady* s, uint64_t frames) {
    static const uint8_t zeros[4096];
    uint64_t bytes = frames * s->frameBytes;
    while (bytes > 0) {
        const size_t n = bytes < sizeof zeros ? (size_t)bytes : sizeof zeros;
        fwrite(zeros, 1, n, s->file);
        bytes -= n;
    }
}

/* Plays what the clock says has been played by now. */
static int Advance(Steady* s) {
    if (s->io.state != SND_PCM_STATE_RUNNING) return 0;
    if (s->io.stream == SND_PCM_STREAM_CAPTURE) {
        if (s->failAfter >= 0 && s->recorded >= (uint64_t)s->failAfter) return -ENODEV;
        const uint64_t due = (NowNs() - s->startNs) * s->io.rate / 1000000000u;
        if (due > s->played) s->played = due;
        return 0;
    }
    if (!s->file) return 0;
    const uint64_t due = (NowNs() - s->startNs) * s->io.rate / 1000000000u;
    if (due <= s->played) return 0;
    uint64_t n = due - s->played;
    if (n > s->queued) {
        /* Ran dry: a card would underrun here. */
        fwrite(s->queue, s->frameBytes, s->queued, s->file);
        s->played += s->queued;
        s->queued = 0;
        if (!s->dryNs) s->dryNs = NowNs();
        fflush(s->file);
        return -EPIPE;
    }
    fwrite(s->queue, s->frameBytes, n, s->file);
    memmove(s->queue, s->queue + n * s->frameBytes, (s->queued - n) * s->frameBytes);
    s->queued -= n;
    s->played += n;
    fflush(s->file);
    return 0;
}

static int Start(snd_pcm_ioplug_t* io) {
    Steady* s = io->private_data;
    const uint64_t now = NowNs();
    /* The silence heard between running dry and starting again. */
    if (s->dryNs) Silence(s, (now - s->dryNs) * io->rate / 1000000000u);
    s->dryNs = 0;
    s->startNs = now;
    s->played = 0;
    struct itimerspec every = {{0, 2000000}, {0, 2000000}};
    timerfd_settime(s->timer, 0, &every, NULL);
    return 0;
}

static int Stop(snd_pcm_ioplug_t* io) {
    Steady* s = io->private_data;
    /* A drop forgets what was not played, and any underrun before it. */
    s->queued = 0;
    s->dryNs = 0;
    struct itimerspec never = {{0, 0}, {0, 0}};
    timerfd_settime(s->timer, 0, &never, NULL);
    return 0;
}

static snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
    Steady* s = io->private_data;
    const int r = Advance(s);
    if (r < 0) return r;
    return (snd_pcm_sframes_t)(s->played % io->buffer_size);
}

static snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
                                  snd_pcm_uframes_t size) {
    Steady* s = io->private_data;
    if (io->stream == SND_PCM_STREAM_CAPTURE) {
        for (unsigned c = 0; c < io->channels; ++c)
            snd_pcm_area_silence(&areas[c], offset, size, io->format);
        s->recorded += size;
        return (snd_pcm_sframes_t)size;
    }
    const size_t need = (s->queued + size) * s->frameBytes;
    if (need > s->capacity) {
        uint8_t* grown = realloc(s->queue, need);
        if (!grown) return -ENOMEM;
        s->queue = grown;
        s->capacity = need;
    }
    const uint8_t* from = (const uint8_t*)areas[0].addr + (areas[0].first + offset * areas[0].step) / 8;
    memcpy(s->queue + s->queued * s->frameBytes, from, size * s->frameBytes);
    s->queued += size;
    return (snd_pcm_sframes_t)size;
}

static int Prepare(snd_pcm_ioplug_t* io) {
    Steady* s = io->private_data;
    s->frameBytes = io->channels * (unsigned)snd_pcm_format_physical_width(io->format) / 8;
    s->queued = 0;
    s->played = 0;
    return 0;
}

static int PollRevents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds, unsigned short* revents) {
    Steady* s = io->private_data;
    uint64_t ticks;
    (void)nfds;
    if (pfd[0].revents & POLLIN) (void)!read(s->timer, &ticks, sizeof ticks);
    Advance(s);
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(io->pcm);
    const unsigned short ready = io->stream == SND_PCM_STREAM_CAPTURE ? POLLIN : POLLOUT;
    *revents = avail < 0 || (snd_pcm_uframes_t)avail >= io->period_size ? ready : 0;
    return 0;
}

static int Close(snd_pcm_ioplug_t* io) {
    Steady* s = io->private_data;
    if (s->file) fclose(s->file);
    if (s->timer >= 0) close(s->timer);
    free(s->queue);
    free(s->path);
    free(s);
    return 0;
}

static const snd_pcm_ioplug_callback_t kCallbacks = {
    .start = Start,
    .stop = Stop,
    .pointer = Pointer,
    .transfer = Transfer,
    .close = Close,
    .prepare = Prepare,
    .poll_revents = PollRevents,
};

SND_PCM_PLUGIN_DEFINE_FUNC(steady) {
    const char* path = NULL;
    long failAfter = -1;
    snd_config_iterator_t i, next;
    (void)root;
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id;
        if (snd_config_get_id(n, &id) < 0) continue;
        if (!strcmp(id, "comment") || !strcmp(id, "type") || !strcmp(id, "hint")) continue;
        if (!strcmp(id, "file") && snd_config_get_string(n, &path) >= 0) continue;
        if (!strcmp(id, "fail_after") && snd_config_get_integer(n, &failAfter) >= 0) continue;
        SNDERR("steady: unknown field %s", id);
        return -EINVAL;
    }
    if (!path && stream == SND_PCM_STREAM_PLAYBACK) return -EINVAL;
    Steady* s = calloc(1, sizeof *s);
    if (!s) return -ENOMEM;
    s->failAfter = failAfter;
    s->path = strdup(path ? path : "");
    s->file = stream == SND_PCM_STREAM_PLAYBACK ? fopen(path, "ab") : NULL;
    s->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (!s->path || (stream == SND_PCM_STREAM_PLAYBACK && !s->file) || s->timer < 0) {
        if (s->file) fclose(s->file);
        if (s->timer >= 0) close(s->timer);
        free(s->path);
        free(s);
        return -errno ? -errno : -EIO;
    }
    s->io.version = SND_PCM_IOPLUG_VERSION;
    s->io.name = "steady test PCM";
    s->io.callback = &kCallbacks;
    s->io.private_data = s;
    s->io.poll_fd = s->timer;
    s->io.poll_events = POLLIN;
    s->io.mmap_rw = 0;
    int err = snd_pcm_ioplug_create(&s->io, name, stream, mode);
    if (err < 0) {
        if (s->file) fclose(s->file);
        close(s->timer);
        free(s->path);
        free(s);
        return err;
    }
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int formats[] = {SND_PCM_FORMAT_S16_LE};
    snd_pcm_ioplug_set_param_list(&s->io, SND_PCM_IOPLUG_HW_ACCESS, 1, access);
    snd_pcm_ioplug_set_param_list(&s->io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats);
    snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 8);
    snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_RATE, 8000, 192000);
    snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 256, 1 << 20);
    snd_pcm_ioplug_set_param_minmax(&s->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
    *pcmp = s->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(steady);
