// The GL state of the display server's output and the code that draws one
// frame: the scene pass draws every channel's part of the stage into an
// off-screen frame buffer; the output pass draws every channel's warp mesh
// into the window's back buffer, textured with the scene and blended by the
// output program; calibration overlays follow. Render thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CMediaManager;
class GlslProgram;
class IMedia;
class MediaBaseClass;
struct MediaTexture;

class COutputRenderer {
public:
    static constexpr int kDisplayLists = 32;

    COutputRenderer();
    explicit COutputRenderer(CMediaManager* core);
    virtual ~COutputRenderer();
    COutputRenderer(const COutputRenderer&) = delete;
    COutputRenderer& operator=(const COutputRenderer&) = delete;

    // The core whose channels, media and render state the frame draws.
    // Without one a frame is only cleared.
    void SetCore(CMediaManager* core) { m_pCore = core; }
    CMediaManager* Core() const { return m_pCore; }

    // Builds the GL objects for a width x height output with the context
    // current. False (after the log line "create shader program failed")
    // when the output program cannot be made: the output cannot run then.
    bool InitGL(int32_t width, int32_t height);
    // Deletes the GL objects of InitGL except the output program.
    void ReleaseGL();
    // Deletes the output program (with the context current).
    void ReleaseProgram();
    // Draws one frame for the given eye (0 left, 1 right).
    virtual bool RenderOutput(int32_t eye);
    // The scene pass into the scene frame buffer.
    void RenderScene(int32_t eye);
    // Uploads new frames of the media objects into their textures.
    void SyncTextures();
    // One display list per channel from its warp mesh.
    void BuildDisplayLists();
    // Swap interval 1 or 0 through the output window; false when unavailable.
    bool SetVerticalSync(bool on);

    // Axis-aligned quad with the stage's texture corners as coordinates.
    void DrawTexturedQuad(float x0, float y0, float x1, float y1, uint32_t texture);
    // Quad of four corners (bottom-left, bottom-right, top-right, top-left)
    // and their texture coordinates.
    void DrawTexturedQuad4(const float corners[4][2], const float tex[4][2], uint32_t texture);

    // Applies a media object's special actions for the timeline time before
    // it is drawn (the core's evaluation unless replaced; none: nothing).
    using SpecialActionFn = std::function<void(IMedia*, double)>;
    void SetSpecialActionHook(SpecialActionFn fn) { m_applySpecialActions = std::move(fn); }

    GlslProgram* Program() { return m_program.get(); }
    uint32_t SceneColorTexture() const { return m_nColorTexture; }
    uint32_t FrameBuffer() const { return m_nFrameBuffer; }
    uint32_t DisplayList(int i) const { return (i >= 0 && i < kDisplayLists) ? m_lists[i] : 0; }

    // Fragment text used instead of the compiled-in program (empty: the
    // compiled-in one).
    std::string m_strShaderText;
    uint32_t m_lists[kDisplayLists] = {};
    bool m_bRebuildLists = false;
    uint32_t m_nLookupTexture = 0;
    uint32_t m_nFrameBuffer = 0;
    uint32_t m_nColorTexture = 0;
    uint32_t m_nDepthTexture = 0;       // the scene pass needs no depth buffer: stays 0
    int32_t m_nSceneWidth = 1024;
    int32_t m_nSceneHeight = 1024;
    std::string m_strFilePath;          // deleted with the renderer when set
    std::vector<uint8_t> m_readBack;    // control-point markers
    int32_t m_nStereoGranted = 0;

private:
    void ClearOnly();
    void DeletePendingTextures();
    // With the object's lock held: uploads a ready frame; recreate forces a
    // new texture.
    bool UploadLocked(MediaBaseClass& media, bool recreate);
    void DrawMarkers(int32_t channelWidth, int32_t channelHeight, const class OutputChannel& ch);

    CMediaManager* m_pCore = nullptr;
    std::unique_ptr<GlslProgram> m_program;
    SpecialActionFn m_applySpecialActions;
    double m_texCorners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};  // bottom-left, bottom-right, top-right, top-left
    float m_fMattingOffset = -1.0f;
    std::shared_ptr<std::mutex> m_pendingLock;
    std::shared_ptr<std::vector<uint32_t>> m_pending;   // texture names of media that died
};

// Texture operations on a media object's texture record; render thread, the
// output's context current. An opaque frame (every 24-bit one) samples as
// opaque black outside its edges, as a 3-component texture does.
void CreateFrameTexture(MediaTexture& tex, int32_t width, int32_t height, uint32_t format, const uint8_t* pixels,
                        int32_t stride, bool opaque = false);
void UploadFrameTexture(MediaTexture& tex, const uint8_t* pixels, int32_t stride);
void ReleaseFrameTexture(MediaTexture& tex);
