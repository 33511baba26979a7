// Colour conversion of decoded pictures to the bottom-up BGR rows that frame
// sinks take. A 4:2:0 picture is converted in horizontal bands on several
// threads at once: the conversion costs about as much as decoding a frame,
// and on one thread it would hold the decode thread for all of it. Every band
// is a picture of its own to the converter, which reads one chroma row per
// two picture rows and no neighbours, so the bands give the same bytes as one
// conversion of the whole picture.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct SwsContext;

namespace av {

class FrameConverter {
public:
    // threads: how many bands a picture may be cut into (1: no helper threads).
    explicit FrameConverter(int threads);
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // data/linesize: the picture's planes as the decoder lays them out;
    // format: its pixel format (FFmpeg's number). dst: height rows of stride
    // (>= width * 3) bytes, written bottom-up (the picture's first row last);
    // nothing past width * 3 bytes of a row is touched. False when the
    // format cannot be converted.
    bool Convert(const uint8_t* const data[4], const int linesize[4], int width, int height, int format,
                 uint8_t* dst, int stride);

    // Bands the last picture was cut into.
    int LastBands() const { return m_lastBands; }

    // Drops the conversion contexts (the helper threads stay).
    void Reset();

private:
    struct Band {
        SwsContext* sws = nullptr;
        int width = 0, height = 0, format = -1;
    };
    bool ConvertBand(Band& band, const uint8_t* const data[4], const int linesize[4], int width, int y0, int y1,
                     int height, int format, uint8_t* dst, int stride);
    void Worker(int index);
    void RunBands(int bands, const std::function<void(int)>& job);

    const int m_threads;
    std::vector<Band> m_bands;
    std::vector<uint8_t> m_scratch;   // wide rows for bitmaps narrower than the converter writes
    int m_lastBands = 0;

    std::mutex m_lock;
    std::condition_variable m_start, m_done;
    const std::function<void(int)>* m_job = nullptr;
    int m_jobBands = 0;
    uint64_t m_generation = 0;
    int m_pending = 0;
    bool m_stop = false;
    std::vector<std::thread> m_workers;
};

}  // namespace av
