// The C++ side of the media library for hosts and tests: what the plain
// exports do not offer (shutting down, choosing capture devices, uploading a
// media's frame into a texture of the render context).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "velmar/export.h"

namespace platform {
class TickSource;
}

namespace velmar {

// Removes every media, stops the library's threads and releases the render
// context (when the application object still exists). Registered with
// atexit when the library first starts something; safe to call again.
VELMAR_API void Shutdown();

// A video capture device as the playback engine opens it.
struct CaptureSource {
    std::string name;
    std::string inputFormat;  // "v4l2", "lavfi"
    std::string url;
    std::vector<std::pair<std::string, std::string>> options;
};
// Replaces the list of capture devices (empty function: the machine's own).
VELMAR_API void SetCaptureSourceLister(std::function<std::vector<CaptureSource>()> lister);

// A copy of a media's current picture: bottom-up rows of stride bytes.
struct FrameCopy {
    std::vector<uint8_t> bits;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    int32_t bitsPerPixel = 0;
};
// Copies the current frame of a live media under its frame lock. A reader
// on another thread than the source's must take pictures this way: the
// buffer the callback names moves when a larger picture arrives. False for
// an unknown id or a media with no picture yet.
VELMAR_API bool CopyMediaFrame(void* media, FrameCopy& out);

// A live media's play state (KESTRANE_STATE_*; 0 for an unknown id) and the
// play rate its video engine runs at (0 when none is open).
VELMAR_API int MediaPlayState(void* media);
VELMAR_API double MediaEngineRate(void* media);

// Number of media alive (in the list or not).
VELMAR_API int LiveMediaCount();
// Whether the id names a live media.
VELMAR_API bool IsLiveMedia(void* media);

// Makes the hidden render context current on the calling thread (the thread
// of Kestrane_Init); false without one.
VELMAR_API bool MakeRenderContextCurrent();
VELMAR_API void DoneRenderContext();

// Uploads a picture of bottom-up rows (24-bit BGR or 32-bit BGRA, rows
// padded to 4 bytes) into a 2-D texture of the current context: texture 0
// makes a new one. The texture name, or 0 when refused.
VELMAR_API uint32_t UploadPictureTexture(uint32_t texture, const void* bits, int32_t width, int32_t height,
                                         int32_t stride, int32_t bitsPerPixel);
// The same with the current frame of a live media, read under its frame lock.
VELMAR_API uint32_t UploadMediaTexture(void* media, uint32_t texture);

// The millisecond tick of the preview timeline (null: the process tick).
// Tests install a platform::ManualTickSource to move the timeline by hand.
VELMAR_API void SetTimelineTickSource(platform::TickSource* source);
// Runs one pass of the timeline over the media list at the current timeline
// time, as the timeline thread does every 10 ms.
VELMAR_API void StepTimeline();
// Whether the timeline thread is running.
VELMAR_API bool TimelineRunning();

}  // namespace velmar
