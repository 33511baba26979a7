// What the server core knows of a media source. The sources themselves
// (video files, capture, pictures, screen capture) live with the renderer and
// implement this interface; the core only creates them through the media
// factory, drives them through these operations and keeps their placement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/event.h"

enum MediaType : int32_t {
    kMediaFileVideo = 0,
    kMediaCapture = 1,
    kMediaPicture = 2,
    kMediaScreenCapture = 3,
};

// Asks the media factory for the core's matting picture (a still picture with
// alpha). Never stored: the object's type field stays kMediaPicture.
constexpr int32_t kMediaMattingPicture = 0x102;

// Media states: 0 not loaded, 1 loaded and producing frames (playing), video
// sources also 2 paused and 3 stopped.
enum MediaState : int32_t {
    kMediaNotLoaded = 0,
    kMediaPlaying = 1,
    kMediaPaused = 2,
    kMediaStopped = 3,
};

struct MediaRectF {
    float left = 0.0f;
    float top = 1.0f;
    float right = 1.0f;
    float bottom = 0.0f;
};

struct MediaRectI {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// One key point of a special action: five doubles, as on the wire.
struct ActionKeyPoint {
    double v[5] = {};
};

// Fields of a media object that the core reads and writes (commands, lists,
// status records). Guarded by the core's media lock, not by the object's own.
struct MediaCommon {
    uint32_t handle = 0;            // 32-bit id from the core's registry; 0 = none yet
    std::string name;               // file path, display device name, or a fixed name
    std::string secondName;         // kept for the media manager
    int32_t type = kMediaPicture;
    int32_t state = kMediaNotLoaded;
    int32_t stereoFormat = -1;      // -1 none, 2 side by side, 3 top and bottom
    int32_t placementMode = 0;      // 3: placed by stage rectangle and time window
    int32_t layer = 0;              // the index given to LoadResource
    int32_t playlistIndex = -1;     // playlist entry of a media the playlist advance loaded (placement 2)
    double startTime = 0.0;         // seconds on the server timeline
    double endTime = 0.0;
    MediaRectF texRect;             // {0, 1, 1, 0}
    float viewRect[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    MediaRectI stageRect;
    MediaRectI baseStageRect;
    double angle = 0.0;
    double alpha = 1.0;
    int32_t onOutput = 1;
    int32_t visible = 1;
    uint8_t stateBytes[4] = {};     // the four state bytes kept in media.bak
    uint8_t deviceRef = 0;          // capture device reference byte
    std::map<int32_t, std::vector<ActionKeyPoint>> actions;  // special actions by kind
    // Node synchronisation: two values a video keeps from the last
    // synchronisation record with action bit 0x200; the master sends them
    // back when it replays its media to the slaves.
    int32_t syncValue3 = 0;
    int32_t syncValue5 = 0;
    // Task plans: 1 for a media a task loaded; the finished event the source
    // sets when its playback reaches the end (manual reset). Shared, so that
    // a thread waiting on it is safe when the media is destroyed meanwhile.
    int32_t taskFlag = 0;
    std::shared_ptr<platform::Event> finished = std::make_shared<platform::Event>(true, false);
};

class IOutputWindow;

class IMedia {
public:
    virtual ~IMedia() = default;

    MediaCommon& Common() { return common_; }
    const MediaCommon& Common() const { return common_; }

    virtual bool LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) = 0;
    virtual bool Close() = 0;
    virtual bool SetTexRect(float left, float right, float bottom, float top) = 0;
    virtual bool GetTexRect(float& left, float& right, float& bottom, float& top) = 0;
    virtual bool FitAspect(float left, float right, float bottom, float top) = 0;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual void Pause() = 0;
    virtual bool SetViewRect(float a, float b, float c, float d) = 0;
    virtual bool GetViewRect(float& a, float& b, float& c, float& d) = 0;

    // The media's sync-clock time in ms (base + tick - start, read under the
    // clock's lock); false when the media has no clock.
    virtual bool ClockTimeMs(uint32_t& ms) = 0;
    // Video files report their player events to this window.
    virtual void SetNotifyWindow(IOutputWindow* window) = 0;
    // Still pictures: replaces the picture by bands of the given colours
    // (red in the low byte) across it, or down it when vertical. False for a
    // source that holds no such picture, or without colours.
    virtual bool FillColorBars(const std::vector<uint32_t>& colours, bool vertical) {
        (void)colours;
        (void)vertical;
        return false;
    }

    // Still pictures: decodes a picture held in memory (the program's own
    // pictures) and takes it as it is. False when the bytes do not decode or
    // the source holds no such picture; the previous frame is then gone.
    virtual bool LoadFromPictureData(const uint8_t* data, size_t size) {
        (void)data;
        (void)size;
        return false;
    }

    // ---- playback control of the media commands and the timeline ----
    // Sources that do not play (pictures, screen capture) keep these
    // defaults; video files override them with the same signatures as their
    // own control interface.
    // Absolute position in 100 ns units; true when the player took it.
    virtual bool SeekTo(int64_t /*position*/) { return true; }
    // Position in seconds.
    virtual void SetPosition(double /*seconds*/) {}
    virtual double GetPosition() { return 0.0; }
    virtual double GetDuration() { return 0.0; }
    // Position in 100 ns units; false while there is none.
    virtual bool GetSeekPosition(int64_t& /*position*/) { return false; }
    virtual bool SetPlayRate(double /*rate*/) { return false; }
    // Volume 0 (silence) to 100 (full level).
    virtual void SetVolume(int32_t /*volume*/) {}
    virtual int32_t GetVolume() { return 0; }
    // Time of the sync clock in ms; 0 without one.
    virtual uint32_t GetSyncTime() { return 0; }
    // Re-bases the sync clock; nothing without one.
    virtual void SetSyncTime(uint32_t /*ms*/) {}
    // Video files: 0 no player, 1 being built, 2 built (open and ready).
    virtual int32_t GraphState() const { return 0; }
    // The third argument of LoadResource, as stored.
    virtual int32_t LoadReserved() const { return 0; }
    // Frame width, height and aspect (width / height); zeros without a frame.
    virtual void FrameShape(int32_t& width, int32_t& height, float& aspect) {
        width = 0;
        height = 0;
        aspect = 0.0f;
    }

protected:
    MediaCommon common_;
};

