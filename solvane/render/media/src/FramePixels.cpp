#include "media/FramePixels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define SV_WIDEN_SSSE3 1
#endif

namespace {

void WidenRowPlain(const uint8_t* s, uint8_t* d, int32_t width) {
    for (int32_t x = 0; x < width; ++x, s += 3, d += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
    }
}

#ifdef SV_WIDEN_SSSE3
// Sixteen pixels from exactly 48 source bytes (never past the row), the rest
// plainly.
__attribute__((target("ssse3"))) void WidenRowSsse3(const uint8_t* s, uint8_t* d, int32_t width) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int32_t x = 0;
    for (; x + 16 <= width; x += 16, s += 48, d += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i groups[4] = {a, _mm_alignr_epi8(b, a, 12), _mm_alignr_epi8(c, b, 8), _mm_srli_si128(c, 4)};
        for (int i = 0; i < 4; ++i) {
            const __m128i v = _mm_or_si128(_mm_shuffle_epi8(groups[i], spread), opaque);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * i), v);
        }
    }
    WidenRowPlain(s, d, width - x);
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

}  // namespace

void WidenBgrRows(const uint8_t* src, size_t srcStride, int32_t width, int32_t height, uint8_t* dst,
                  size_t dstStride) {
    if (!src || !dst || width <= 0 || height <= 0) return;
#ifdef SV_WIDEN_SSSE3
    if (HasSsse3()) {
        for (int32_t r = 0; r < height; ++r) WidenRowSsse3(src + r * srcStride, dst + r * dstStride, width);
        return;
    }
#endif
    for (int32_t r = 0; r < height; ++r) WidenRowPlain(src + r * srcStride, dst + r * dstStride, width);
}
