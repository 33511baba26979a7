// What the frame renderer reads of the core beyond the channel layout and the
// media list: what the blend, colour and world commands and the timeline set
// for the output. Written under the channel-layout lock, read by the frame
// under it (the info text has its own lock).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// One solid rectangle painted into the background pictures: colour bytes red,
// green, blue, spare; corners in frame units (0..1).
struct BackgroundRegion {
    uint8_t color[4] = {};
    float x0 = 0.0f;
    float y0 = 0.0f;
    float x1 = 0.0f;
    float y1 = 0.0f;
};

struct CoreRenderState {
    // Display flags of the output: bit 0 scene pass and media, bit 1
    // adjustment overlay, bit 2 grid-line overlay.
    static constexpr uint32_t kFlagScene = 1;
    static constexpr uint32_t kFlagAdjust = 2;
    static constexpr uint32_t kFlagGridLines = 4;
    uint32_t displayFlags = kFlagScene;

    // Background-colour selector and value; selector 5 fills every channel
    // with the colour whose red, green, blue are the value's bytes 0, 1, 2.
    static constexpr int32_t kSolidColour = 5;
    int32_t backgroundSelector = -1;
    int32_t backgroundValue = -1;

    int32_t mattingEnabled = 0;        // draw the matting picture
    int32_t dynamicReloadDone = 0;     // the timeline's dynamic reload has run
    int32_t regionsOn = 0;             // paint the regions into the background pictures
    std::vector<BackgroundRegion> regions;
    uint8_t gridLineColor[3] = {255, 255, 255};  // the test pattern's ordinary lines

    // The text of the info overlay shown while no media is loaded.
    void SetInfoText(const std::string& text) {
        std::lock_guard lock(m_textLock);
        m_infoText = text;
    }
    std::string InfoText() const {
        std::lock_guard lock(m_textLock);
        return m_infoText;
    }

private:
    mutable std::mutex m_textLock;
    std::string m_infoText;
};
