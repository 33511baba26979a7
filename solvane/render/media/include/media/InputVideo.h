// A live video capture device (a capture card or camera) shown on the
// outputs: the playback engine reads the device, the texture renderer copies
// every frame into the object's frame.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "av/Player.h"
#include "media/MediaBase.h"
#include "media/TextureRenderer.h"

class InputVideo : public MediaBaseClass {
public:
    using DeviceLister = std::function<std::vector<av::CaptureDevice>()>;

    // lister: the capture devices in device-number order; empty means the
    // devices of this machine.
    explicit InputVideo(DeviceLister lister = {});
    ~InputVideo() override;

    // Opens device n (counting from 0) and leaves it paused.
    bool OpenCaptureDevice(int32_t n, int32_t index, int32_t reserved, int32_t stereo);
    // Opens the first device and starts it (the path is not used).
    bool LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) override;
    bool Close() override;
    void Play() override;
    void Stop() override;
    void Pause() override;
    bool SetTexRect(float left, float right, float bottom, float top) override;
    bool GetTexRect(float& left, float& right, float& bottom, float& top) override;

    float m_fWidthScale = 1.0f;
    platform::Event m_captureEvent{false, false};

    av::Player& Player() { return m_player; }

private:
    bool Open(int32_t n, int32_t index, int32_t reserved);

    DeviceLister m_lister;
    std::unique_ptr<Velmarer> m_renderer;
    av::Player m_player;
};

// The box a server without capture hardware shows; logged here (a display
// server runs unattended).
inline constexpr const char* kNoCaptureCaption = "No Video Capture Hardware";
inline constexpr const char* kNoCaptureText =
    "No video capture device was detected.\r\n\r\nThis sample requires a video capture device, such as a USB "
    "WebCam,\r\nto be installed and working properly.  The sample will now close.";
