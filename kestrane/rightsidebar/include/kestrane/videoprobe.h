// What the media library asks of a video file when it imports it: open it,
// wait for its first picture, read its size, length and that picture, close
// it. The console's probe opens the file through the media rendering
// library; tests install their own.
#pragma once

#include <QImage>
#include <QString>

namespace kestrane {

struct VideoProbeInfo {
    QImage frame;      // a copy of the first picture as delivered (bottom-up, BGR); null when none
    int width = 0;     // pixels, 0 when unknown
    int height = 0;
    double duration = 0;  // whole seconds
};

class VideoProbe {
public:
    virtual ~VideoProbe() = default;
    // A handle for the open file, or null when it cannot be opened.
    virtual void* open(const QString& path) = 0;
    // Whether the first picture has arrived (the decoder delivers it on its own thread).
    virtual bool hasPicture(void* handle) const = 0;
    // False when the handle is unknown; then `info` is untouched.
    virtual bool info(void* handle, VideoProbeInfo* info) = 0;
    virtual void close(void* handle) = 0;
};

// The probe of the media rendering library.
VideoProbe& renderingLibraryProbe();

}  // namespace kestrane
