// Levels of one captured buffer.
#pragma once

#include <cstdint>

#include "velmar/soundeffect.h"

namespace velmar {

inline constexpr int kSpectrumFrames = 1024;

// In-place forward radix-2 FFT of 1,024 points, unscaled.
void Fft1024(double* re, double* im);

// Fills the frequency bytes of `level` from 1,024 interleaved stereo frames.
void AudioSpectrum(const int16_t* frames, VelmarTimedLevel& level);

}  // namespace velmar
