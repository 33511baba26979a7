// Fixed-width stand-ins for the Windows integer and geometry types that wire
// records and file records are written in. Never `long`: it is 64-bit here.
#pragma once

#include <cstddef>
#include <cstdint>

using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#pragma pack(push, 1)
struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
struct POINT {
    int32_t x;
    int32_t y;
};
struct SIZE {
    int32_t cx;
    int32_t cy;
};
// 100-nanosecond intervals since 1601-01-01, split in two halves.
struct FILETIME {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};
// The 40-byte header of a device-independent bitmap. A positive height means
// rows from the bottom up.
struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
#pragma pack(pop)

static_assert(sizeof(RECT) == 16);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);
static_assert(sizeof(POINT) == 8);
static_assert(sizeof(SIZE) == 8);
static_assert(sizeof(FILETIME) == 8);

inline uint64_t FileTimeToU64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME U64ToFileTime(uint64_t v) {
    return FILETIME{static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32)};
}
