// The interface of sound visualisation plug-ins.
//
// A plug-in is a shared object in an effects folder (the program's folder's
// "effects", then "velmar/effects" under each folder of $XDG_DATA_DIRS) that
// exports one C function:
//
//     extern "C" const VelmarEffectPlugin* velmar_effect_plugin(void);
//
// returning a table that lives as long as the shared object. The library
// creates one instance per listing, asks its title and its presets, selects
// a preset, and hands it the sound levels of each captured buffer to draw.
// A plug-in without a title or without any preset is not listed.
//
// Drawing surface: a caller-supplied 32-bit RGB buffer (one uint32_t per
// pixel, 0xffRRGGBB, the layout of QImage::Format_RGB32), `stride` bytes from
// one row to the next, row 0 at the top. The rectangle given to
// KTV_StartCaptureRecord is in its pixels; a plug-in keeps inside both.
// render() runs on the library's recorder thread, one call at a time.
#pragma once

#include <stdint.h>

#include "platform/types.h"

extern "C" {

#define VELMAR_EFFECT_INTERFACE_VERSION 1

struct VelmarSurface {
    uint8_t* bits;
    int32_t width;
    int32_t height;
    int32_t stride;   // bytes per row, at least 4 x width
};

// Levels of one buffer of 1,024 stereo frames. frequency[c][k] for bins 1 to
// 511: the integer power of bin k (re^2 + im^2 of an unscaled, unwindowed
// 1,024-point FFT) modulo 256, kept as a signed byte; it wraps for loud
// input. Bin 0, bins from 512 and the waveform are left zero.
struct VelmarTimedLevel {
    unsigned char frequency[2][1024];
    unsigned char waveform[2][1024];
    int32_t state;        // 2: playing
    int64_t timeStamp;    // milliseconds of the process tick
};

struct VelmarEffectPlugin {
    int32_t version;      // VELMAR_EFFECT_INTERFACE_VERSION
    void* (*create)(void);
    void (*destroy)(void* instance);
    // Texts stay valid while the instance lives.
    const char* (*title)(void* instance);
    int32_t (*presetCount)(void* instance);
    const char* (*presetTitle)(void* instance, int32_t index);
    void (*setPreset)(void* instance, int32_t index);
    void (*render)(void* instance, const VelmarTimedLevel* level, const VelmarSurface* target, const RECT* rect);
};

typedef const VelmarEffectPlugin* (*VelmarEffectEntry)(void);

}  // extern "C"
