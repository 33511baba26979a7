// Local media playback of the console's preview: video files, capture
// devices, still pictures and screen captures, each delivering its pictures
// to the caller's callback.
//
// A media id is an opaque handle: a small non-zero number in a void*, never
// reused while the process runs, so it also fits in an int. Every export
// checks it against the live media; an unknown or removed id is refused.
//
// Threads: the exports are called from the caller's GUI thread. The media
// callback runs on a library thread: the decode thread of a video file or a
// capture device for each picture, the grab thread of a screen capture after
// each grab, and the caller's own thread for a still picture loaded by
// Kestrane_AddMedia. The callback may read the frame and call
// Kestrane_GetMediaInfo; it must not add or remove media.
#pragma once

#include "platform/types.h"
#include "velmar/export.h"

// Media types of Kestrane_AddMedia.
inline constexpr int KESTRANE_MEDIA_VIDEO = 0;
inline constexpr int KESTRANE_MEDIA_CAPTURE = 1;  // path: the device number as decimal text
inline constexpr int KESTRANE_MEDIA_PICTURE = 2;
inline constexpr int KESTRANE_MEDIA_SCREEN = 3;   // path: "\\.\DISPLAYn", empty for the primary display

// States handed to the callback.
inline constexpr int KESTRANE_STATE_PLAYING = 1;  // also: a still picture has loaded
inline constexpr int KESTRANE_STATE_PAUSED = 2;
inline constexpr int KESTRANE_STATE_STOPPED = 3;  // also: the end of its time window

extern "C" {

// media: the media id; frame: the media's frame buffer, valid while the media
// lives; format: its picture format (all zero for the end-of-window notice);
// position and duration in seconds; atZero: 1 for the first picture of a
// video file when it stands at 0; state; user: the value given at adding.
typedef void (*KestraneMediaCallback)(void* media, void* frame, const BITMAPINFOHEADER* format, double position,
                                      double duration, int atZero, int state, void* user);

// Creates the hidden render context. parent: the caller's window (its native
// id), kept for the caller's reference; may be null. An earlier context is
// released first. Call from the thread of the application object (a
// QGuiApplication must exist). 1, or 0 on failure.
VELMAR_API int Kestrane_Init(void* parent);
// Releases the render context. Always 1.
VELMAR_API int Kestrane_Uninit();

// Creates and loads one media. Video files and pictures enter the media
// list; capture devices start playing at once and, like screen captures, are
// reached only through their callback and Kestrane_RemoveMedia. The media id,
// or null on failure (null path, unknown type, load failure).
VELMAR_API void* Kestrane_AddMedia(int layer, int type, const char* path, KestraneMediaCallback callback,
                                   void* user);
// Outputs are written only when non-null: frame buffer, width, height, and
// for a video file position and duration in whole seconds. 1 when the id is
// in the media list, else 0.
VELMAR_API int Kestrane_GetMediaInfo(void* media, void** frame, int* width, int* height, double* position,
                                     double* duration);
// Destroys the media (every media for null). 1 when a given id was found and
// removed, else 0 (also 0 after removing all).
VELMAR_API int Kestrane_RemoveMedia(void* media);
// Volume 0 (mute non-zero) or 100 on each matching video file (null: all).
// The number of media changed.
VELMAR_API int Kestrane_MuteMedia(int mute, void* media);
// Play rate (above 0) of each matching video file (null: all). The number of
// media changed.
VELMAR_API int Kestrane_SetPlayRate(double rate, void* media);

// Starts the preview timeline at the time last set by
// Kestrane_SetCurrentTimeline: a thread that loads video files from 5 s
// before their window, plays them inside it, stops them after it (with the
// end notice, state 3, on the timeline thread) and closes them 2 s later.
// Media added afterwards join at the next Kestrane_Play. The end notice's
// callback must not call the timeline functions below. Always 1.
VELMAR_API int Kestrane_Play();
// Moves the timeline to t seconds: loads or closes video files by their
// window, pauses those playing and seeks those whose window holds t (a
// window longer than the video repeats it). A time within 0.00001 s of the
// last one does nothing. 1, or 0 for a time that is not finite.
VELMAR_API int Kestrane_SetCurrentTimeline(double t);
// Sets the time window [start, stop) in seconds and the layer of a media of
// the list; rect (left, top, right, bottom) is kept for the caller when
// given. A window within 0.0001 s of the old one at both ends changes
// nothing. 1, or 0 when the media is not in the list.
VELMAR_API int Kestrane_SetMediaLayer(void* media, int layer, double start, double stop, const RECT* rect);

// Stop the timeline, then pause or stop every media in the list. Always 1.
VELMAR_API int Kestrane_Pause();
VELMAR_API int Kestrane_Stop();

// Play, pause or stop one media of the list, or every media for null. For
// null 1; for an id 1 when found, else 0.
VELMAR_API int Kestrane_PlayMedia(void* media);
VELMAR_API int Kestrane_PauseMedia(void* media);
VELMAR_API int Kestrane_StopMedia(void* media);

// With at least one media in the list, clears the render context's surface
// to its clear colour and swaps it; no picture is drawn. Always 1.
VELMAR_API int Kestrane_Draw();

// Does nothing.
VELMAR_API void Kestrane_CalcVertexValue2();

}  // extern "C"
