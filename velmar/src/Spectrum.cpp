#include "Spectrum.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace velmar {

void Fft1024(double* re, double* im) {
    constexpr int n = kSpectrumFrames;
    // Bit-reversed order.
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (int size = 2; size <= n; size <<= 1) {
        const double angle = -2.0 * M_PI / size;
        const double wr = std::cos(angle), wi = std::sin(angle);
        for (int start = 0; start < n; start += size) {
            double cr = 1.0, ci = 0.0;
            for (int k = 0; k < size / 2; ++k) {
                const int a = start + k, b = a + size / 2;
                const double tr = re[b] * cr - im[b] * ci;
                const double ti = re[b] * ci + im[b] * cr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
                const double next = cr * wr - ci * wi;
                ci = cr * wi + ci * wr;
                cr = next;
            }
        }
    }
}

void AudioSpectrum(const int16_t* frames, VelmarTimedLevel& level) {
    double re[kSpectrumFrames], im[kSpectrumFrames];
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < kSpectrumFrames; ++i) {
            re[i] = frames[2 * i + channel];
            im[i] = 0.0;
        }
        Fft1024(re, im);
        for (int k = 1; k < kSpectrumFrames / 2; ++k) {
            // The power of a loud bin passes 2^31: its integer part is taken
            // in 64 bits before the remainder (which keeps the sign).
            const double power = re[k] * re[k] + im[k] * im[k];
            const int64_t whole = power < 9.0e18 ? static_cast<int64_t>(power) : INT64_MAX;
            level.frequency[channel][k] = static_cast<unsigned char>(static_cast<int8_t>(whole % 256));
        }
    }
}

}  // namespace velmar
