// What the media and synchronisation commands do with a video file beyond
// the common media operations. The video source implements it next to IMedia;
// a command reaches it with dynamic_cast from the media's IMedia.
#pragma once

#include <cstdint>

class IFileVideo {
public:
    virtual ~IFileVideo() = default;

    // Absolute position in 100 ns units; true when the player took it.
    virtual bool SeekTo(int64_t position) = 0;
    // Position in seconds (a value that is not a number is ignored).
    virtual void SetPosition(double seconds) = 0;
    virtual double GetPosition() = 0;
    virtual double GetDuration() = 0;
    // Position in 100 ns units; false before the video is loaded.
    virtual bool GetSeekPosition(int64_t& position) = 0;
    virtual bool SetPlayRate(double rate) = 0;
    // Volume 0 (silence) to 100 (full level), clamped.
    virtual void SetVolume(int32_t volume) = 0;
    virtual int32_t GetVolume() = 0;
    // Time of the video's sync clock in ms; 0 without one.
    virtual uint32_t GetSyncTime() = 0;
    // Re-bases the sync clock; nothing without one.
    virtual void SetSyncTime(uint32_t ms) = 0;
    // Average frame time in seconds.
    virtual double GetFrameTime() = 0;
};
