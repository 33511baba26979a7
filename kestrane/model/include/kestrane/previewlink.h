// The console's local preview: the media rendering library's playback
// functions, behind one interface so that the configuration object is tested
// without the library. Times are seconds; results are the library's (1
// success, 0 failure or not found, or a count). The product uses the library
// (velmarPreview); tests install a recording fake with GConfig::setPreview.
#pragma once

#include "platform/types.h"

// The library's media callback: media, frame buffer, its format, position
// and duration (s), at-zero flag, state, the caller's user value.
using PreviewFrameCallback = void (*)(void* media, void* frame, const BITMAPINFOHEADER* format, double position,
                                      double duration, int atZero, int state, void* user);

class PreviewLink {
public:
    virtual ~PreviewLink() = default;

    // Play rate of one media, or of every media for null.
    virtual int setPlayRate(double rate, void* media) = 0;
    // Start the preview timeline at the time last set.
    virtual int play() = 0;
    // Stop the timeline and pause every media.
    virtual int pause() = 0;
    // Move the timeline to t seconds.
    virtual int setCurrentTimeline(double t) = 0;
    // Time window [start, stop) in seconds and layer of one media.
    virtual int setMediaLayer(void* media, int layer, double start, double stop) = 0;
    // Mute (volume 0) or unmute one media, or every media for null.
    virtual int muteMedia(bool mute, void* media) = 0;
    // Destroy one media; a null media is refused (0), never "all of them".
    virtual int removeMedia(void* media) = 0;
    // Create and load one media (type 0 video file); its id, or null.
    virtual void* addMedia(int /*layer*/, int /*type*/, const char* /*path*/, PreviewFrameCallback /*callback*/,
                           void* /*user*/) {
        return nullptr;
    }
    // Frame buffer, width, height, position and duration of a media; each
    // output only when given. 1 when the media is known, else 0.
    virtual int getMediaInfo(void* /*media*/, void** /*frame*/, int* /*width*/, int* /*height*/,
                             double* /*position*/, double* /*duration*/) {
        return 0;
    }
};

namespace kestrane {
// The preview of the media rendering library; lives until the process ends.
PreviewLink& velmarPreview();
}  // namespace kestrane
