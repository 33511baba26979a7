// Calibration drawings of one output channel: the warp grid with its blend
// zones and selection marks, the colour test card and the info overlay; and
// the frame counter of the render loop. All drawing runs on the render thread
// with the channel's viewport and projection set.
#pragma once

#include <cstdint>
#include <string>

class OutputChannel;

// Immediate-mode drawing as the grid pattern issues it. The GL sink draws;
// tests record.
class PatternSink {
public:
    enum Mode { kLineStrip, kQuads, kPoints };
    virtual ~PatternSink() = default;
    virtual void EnableSmoothing() = 0;  // line and point smoothing, alpha blending
    virtual void LineWidth(float w) = 0;
    virtual void PointSize(float s) = 0;
    virtual void Color(float r, float g, float b, float a) = 0;
    virtual void Begin(Mode mode) = 0;
    virtual void Vertex(float x, float y, float z) = 0;
    virtual void End() = 0;
};

// What the grid pattern reads beside the channel.
struct PatternContext {
    int32_t adjustMode = 1;                        // of the channel layout
    uint8_t gridLineColor[3] = {255, 255, 255};    // the ordinary grid lines
    uint32_t nowTick = 0;                          // system tick (ms) for the selection flash
};

// The grid pattern, drawn through the sink or straight into GL.
void DrawTestPattern(const OutputChannel& channel, bool skipSetup, const PatternContext& ctx, PatternSink& sink);
void DrawTestPattern(const OutputChannel& channel, bool skipSetup, const PatternContext& ctx);
// The colour test card; withExtras adds the cyan three-sided border.
void DrawGridLines(const OutputChannel& channel, bool withExtras);
// The four info lines of the channel, in white raster text from (x, y) down.
void DrawInfoOverlay(const OutputChannel& channel, float x, float y, const std::string& ip);
// The four info lines as text (empty lines are not drawn).
void InfoOverlayLines(const OutputChannel& channel, const std::string& ip, std::string out[4]);

// Counts frames; every 30th call gives "FPS: %0.3f", others an empty text.
class CFpsCounter {
public:
    // Counter ticks in nanoseconds of the monotonic clock unless given.
    using Clock = int64_t (*)();
    explicit CFpsCounter(Clock clock = nullptr);
    std::string Update();

    int64_t m_nFrequency = 0;
    int64_t m_nLast = 0;
    int64_t m_nNow = 0;
    int32_t m_nFrames = 0;

private:
    Clock m_clock;
};
