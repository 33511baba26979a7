// A video file played by the playback engine into the object's frame: the
// engine decodes on its own thread, the texture renderer copies each frame
// under the media lock, the render thread uploads it. The end of the stream
// reaches the output window as a media event.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "av/Player.h"
#include "media/MediaBase.h"
#include "media/PlayerEvents.h"
#include "media/TextureRenderer.h"

class FileVideo : public MediaBaseClass, public IMediaPlayerEvents {
public:
    // syncMedia: run on a sync clock that starts at the server clock
    // ([SyncMedia] Enable when the video is made). audioDevice: the ALSA PCM
    // for the sound ([VideoOption] AudioDevice); empty: no sound.
    explicit FileVideo(bool syncMedia = false, std::string audioDevice = {});
    ~FileVideo() override;

    bool LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) override;
    bool Close() override;
    void Play() override;
    void Stop() override;
    void Pause() override;
    void SetNotifyWindow(IOutputWindow* window) override;
    bool ClockTimeMs(uint32_t& ms) override;

    // Playback of IMedia (SeekTo also serves IMediaPlayerEvents)
    bool SeekTo(int64_t position) override;
    void SetPosition(double seconds) override;
    double GetPosition() override;
    double GetDuration() override;
    bool GetSeekPosition(int64_t& position) override;
    bool SetPlayRate(double rate) override;
    void SetVolume(int32_t volume) override;
    int32_t GetVolume() override;
    uint32_t GetSyncTime() override;
    void SetSyncTime(uint32_t ms) override;
    // Average frame time in seconds.
    double GetFrameTime() const { return m_dFrameTime; }

    // IMediaPlayerEvents
    bool NextPlayerEvent(int32_t& code) override;
    void SignalStop() override;

    // With the media lock held, for the texture renderer: the position of
    // the frame just copied.
    void NoteRenderedPositionLocked(int64_t position);

    // Graph states: none, being built, built.
    static constexpr int32_t kGraphNone = 0;
    static constexpr int32_t kGraphCreated = 1;
    static constexpr int32_t kGraphBuilt = 2;

    double m_dCachedPosition = 0.0;   // seconds, refreshed with every frame
    double m_dDuration = 0.0;         // seconds
    int64_t m_llDuration = 0;         // 100 ns
    int64_t m_llSeekPosition = 0;     // 100 ns, refreshed with every frame
    bool m_bLoaded = false;
    bool m_bSplitter = false;         // the demuxer was named by the file's extension
    std::unique_ptr<platform::Event> m_seekEvent;
    double m_dFrameTime = 0.04;
    double m_dCurrentRate = -1.0;
    double m_dInitialRate = -1.0;
    std::shared_ptr<CMySyncSourceClock> m_pSyncClock;   // under the media lock

    // For tests: the engine behind this video.
    av::Player& Player() { return m_player; }
    Velmarer* Renderer() { return m_renderer.get(); }

private:
    void OnPlayerEvent();
    std::shared_ptr<CMySyncSourceClock> SyncClock();
    bool GraphBuilt() const { return m_nGraphState == kGraphBuilt; }

    const bool m_bSyncMedia;
    const std::string m_strAudioDevice;
    int32_t m_nVolume = 100;          // as last set, 0..100
    std::unique_ptr<Velmarer> m_renderer;
    av::Player m_player;   // declared after the renderer: closed before it goes
    std::mutex m_notifyLock;
    IOutputWindow* m_pNotifyWindow = nullptr;
};
