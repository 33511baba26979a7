#include "FrameConverter.h"

#include <algorithm>
#include <atomic>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace av {

namespace {

// Rows of a band are a multiple of this: whole chroma rows, and bands large
// enough to be worth a thread.
constexpr int kBandRowStep = 2;
constexpr int kMinBandRows = 64;

// The converter writes whole groups of 16 pixels: a row of the bitmap's own
// stride (padded to 4 bytes only) would take the group's overhang into the
// next row, or past the end of the buffer.
int SafeStride(int width) { return ((width + 15) / 16 * 16 * 3 + 63) / 64 * 64; }

bool Banded(int format) { return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P; }

}  // namespace

FrameConverter::FrameConverter(int threads) : m_threads(std::max(threads, 1)) {
    m_bands.resize(static_cast<size_t>(m_threads));
}

FrameConverter::~FrameConverter() {
    {
        std::lock_guard lk(m_lock);
        m_stop = true;
    }
    m_start.notify_all();
    for (std::thread& t : m_workers) t.join();
    Reset();
}

void FrameConverter::Reset() {
    for (Band& b : m_bands) {
        sws_freeContext(b.sws);
        b = Band{};
    }
    m_scratch.clear();
    m_scratch.shrink_to_fit();
}

bool FrameConverter::ConvertBand(Band& band, const uint8_t* const data[4], const int linesize[4], int width, int y0,
                                 int y1, int height, int format, uint8_t* dst, int stride) {
    const int rows = y1 - y0;
    if (rows <= 0) return true;
    if (!band.sws || band.width != width || band.height != rows || band.format != format) {
        sws_freeContext(band.sws);
        band.sws = sws_getContext(width, rows, static_cast<AVPixelFormat>(format), width, rows, AV_PIX_FMT_BGR24,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
        band.width = width;
        band.height = rows;
        band.format = format;
        if (!band.sws) return false;
    }
    const uint8_t* src[4] = {data[0], data[1], data[2], data[3]};
    if (y0 > 0) {
        // Only 4:2:0 pictures are cut: chroma planes advance half a row per row.
        src[0] += static_cast<ptrdiff_t>(y0) * linesize[0];
        src[1] += static_cast<ptrdiff_t>(y0 / 2) * linesize[1];
        src[2] += static_cast<ptrdiff_t>(y0 / 2) * linesize[2];
    }
    // Bottom-up rows: picture row y goes to bitmap row height - 1 - y. A
    // narrow bitmap row is converted in the wider scratch rows first.
    const bool direct = stride >= SafeStride(width);
    uint8_t* target = direct ? dst : m_scratch.data();
    const int targetStride = direct ? stride : SafeStride(width);
    uint8_t* out[4] = {target + static_cast<ptrdiff_t>(targetStride) * (height - 1 - y0), nullptr, nullptr, nullptr};
    int outStride[4] = {-targetStride, 0, 0, 0};
    if (sws_scale(band.sws, src, linesize, 0, rows, out, outStride) != rows) return false;
    if (!direct) {
        const size_t rowBytes = static_cast<size_t>(width) * 3;
        for (int m = height - y1; m < height - y0; ++m)
            std::memcpy(dst + static_cast<ptrdiff_t>(stride) * m, target + static_cast<ptrdiff_t>(targetStride) * m,
                        rowBytes);
    }
    return true;
}

bool FrameConverter::Convert(const uint8_t* const data[4], const int linesize[4], int width, int height, int format,
                             uint8_t* dst, int stride) {
    if (width <= 0 || height <= 0 || !dst || stride < width * 3) return false;
    if (format < 0 || !av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format)) ||
        !sws_isSupportedInput(static_cast<AVPixelFormat>(format)))
        return false;
    int bands = 1;
    if (Banded(format) && height % kBandRowStep == 0)
        bands = std::clamp(height / kMinBandRows, 1, m_threads);
    m_lastBands = bands;
    if (stride < SafeStride(width)) m_scratch.resize(static_cast<size_t>(SafeStride(width)) * height);
    if (bands == 1) return ConvertBand(m_bands[0], data, linesize, width, 0, height, height, format, dst, stride);

    // Band i covers rows [start(i), start(i + 1)), each start on a chroma row.
    auto start = [&](int i) { return static_cast<int>(int64_t{height} * i / bands) / kBandRowStep * kBandRowStep; };
    std::atomic<bool> ok{true};
    const std::function<void(int)> job = [&](int i) {
        if (!ConvertBand(m_bands[static_cast<size_t>(i)], data, linesize, width, start(i),
                         i + 1 == bands ? height : start(i + 1), height, format, dst, stride))
            ok = false;
    };
    RunBands(bands, job);
    return ok.load();
}

void FrameConverter::RunBands(int bands, const std::function<void(int)>& job) {
    {
        std::lock_guard lk(m_lock);
        while (static_cast<int>(m_workers.size()) < m_threads - 1) {
            const int index = static_cast<int>(m_workers.size()) + 1;
            m_workers.emplace_back([this, index] { Worker(index); });
        }
        m_job = &job;
        m_jobBands = bands;
        m_pending = bands - 1;
        ++m_generation;
    }
    m_start.notify_all();
    job(0);
    std::unique_lock lk(m_lock);
    m_done.wait(lk, [&] { return m_pending == 0; });
    m_job = nullptr;
}

void FrameConverter::Worker(int index) {
    uint64_t seen = 0;
    std::unique_lock lk(m_lock);
    for (;;) {
        m_start.wait(lk, [&] { return m_stop || m_generation != seen; });
        if (m_stop) return;
        seen = m_generation;
        if (index >= m_jobBands) continue;
        const std::function<void(int)>* job = m_job;
        lk.unlock();
        (*job)(index);
        lk.lock();
        if (--m_pending == 0) m_done.notify_all();
    }
}

}  // namespace av
