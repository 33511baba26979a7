#include "render/OutputRenderer.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "channel/ChannelLayout.h"
#include "channel/OutputChannel.h"
#include "core/MediaManager.h"
#include "core/SpecialActions.h"
#include "media/FramePixels.h"
#include "media/MediaBase.h"
#include "render/GlslProgram.h"
#include "render/TestPatterns.h"
#include "platform/tick.h"
#include "util/Util.h"

static_assert(kPixelFormatBGR == GL_BGR && kPixelFormatBGRA == GL_BGRA);

namespace {

// Draws the channel model's mesh as immediate-mode GL (inside a display list).
class GlMeshSink : public MeshSink {
public:
    void EnableTexture2D() override { glEnable(GL_TEXTURE_2D); }
    void Normal(float x, float y, float z) override { glNormal3f(x, y, z); }
    void BeginTriangleFan() override { glBegin(GL_TRIANGLE_FAN); }
    void Color(float r, float g, float b, float a) override { glColor4f(r, g, b, a); }
    void TexCoord(double s, double t) override { glTexCoord2d(s, t); }
    void Vertex(double x, double y, double z) override { glVertex3d(x, y, z); }
    void End() override { glEnd(); }
};

// Every frame texture is kept with four components (unsized GL_RGBA, four
// bytes a texel in the drivers' storage) and is given BGRA rows: Mesa copies
// those straight in, while 3-byte rows, or BGRA rows into a sized RGBA8, go
// through its texel-by-texel conversion, about ten times slower on the one
// render thread that uploads every video. A 24-bit frame is widened here with
// opaque alpha, and a frame without an alpha of its own gets an opaque black
// border, so it samples as the 3-component texture it replaces.
struct TextureRows {
    const uint8_t* pixels = nullptr;
    int32_t rowLength = 0;  // pixels per row for the unpack state, 0 = tight
};

TextureRows RowsForTexture(const uint8_t* pixels, int32_t width, int32_t height, uint32_t format, int32_t stride) {
    if (!pixels) return {};
    if (format == GL_BGRA) return {pixels, stride > 0 && stride % 4 == 0 ? stride / 4 : 0};
    // Rows shorter than the pixels they hold are read as 4-byte aligned rows.
    const int32_t tight = width * 3;
    const size_t srcStride = static_cast<size_t>(stride >= tight ? stride : (tight + 3) / 4 * 4);
    thread_local std::vector<uint8_t> widened;
    widened.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    WidenBgrRows(pixels, srcStride, width, height, widened.data(), static_cast<size_t>(width) * 4);
    return {widened.data(), 0};
}

void SetUnpack(const TextureRows& rows) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rows.rowLength);
}

void ResetUnpack() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

MediaBaseClass* AsMedia(IMedia* m) { return dynamic_cast<MediaBaseClass*>(m); }

bool Loaded(IMedia* m) { return m && m->Common().state != kMediaNotLoaded; }

// Viewport of a channel in the output window (y from the bottom). Channel
// rectangles are desktop coordinates and the window covers the stage, which
// need not start at the desktop's origin (projectors right of an operator's
// monitor): the viewport is taken relative to the window.
void ChannelViewport(const OutputChannel& ch, const RECT& output, bool scissor) {
    const RECT& r = ch.m_rect;
    const GLint x = r.left - output.left, y = output.bottom - r.bottom;
    const GLsizei w = r.right - r.left, h = r.bottom - r.top;
    glViewport(x, y, w, h);
    if (scissor) glScissor(x, y, w, h);
}

void Ortho(double a) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -a, a, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

float ProjFloat(const OutputChannel& ch, int index) {
    float v;
    std::memcpy(&v, ch.m_projection + 4 * index, 4);
    return v;
}
int32_t ProjInt(const OutputChannel& ch, int index) {
    int32_t v;
    std::memcpy(&v, ch.m_projection + 4 * index, 4);
    return v;
}

// Projection mode 1 reads the channel's projection block (perspective,
// translation, rotation and camera); any other mode is the flat view.
void ChannelProjection(const OutputChannel& ch) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (ch.m_projMode == 1) {
        // Block: [0] near, [1] far, [2] (int), [3] fovy, [4] automatic-aspect
        // flag (int), [5] aspect, [6..9] frustum, [10..12] translation,
        // [13..15] rotation, [16..24] camera.
        const float zNear = ProjFloat(ch, 0), zFar = ProjFloat(ch, 1), fovy = ProjFloat(ch, 3);
        double aspect = ProjFloat(ch, 5);
        if (ProjInt(ch, 4) != 0) {
            const int32_t w = ch.m_rect.right - ch.m_rect.left, h = ch.m_rect.bottom - ch.m_rect.top;
            aspect = h != 0 ? static_cast<double>(w) / h : 1.0;
        }
        gluPerspective(fovy, aspect, zNear, zFar);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(ProjFloat(ch, 10), ProjFloat(ch, 11), ProjFloat(ch, 12));
        glRotatef(ProjFloat(ch, 13), 1, 0, 0);
        glRotatef(ProjFloat(ch, 14), 0, 1, 0);
        glRotatef(ProjFloat(ch, 15), 0, 0, 1);
        gluLookAt(ProjFloat(ch, 16), ProjFloat(ch, 17), ProjFloat(ch, 18), ProjFloat(ch, 19), ProjFloat(ch, 20),
                  ProjFloat(ch, 21), ProjFloat(ch, 22), ProjFloat(ch, 23), ProjFloat(ch, 24));
    } else {
        glOrtho(-1.0, 1.0, -0.75, 0.75, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
}

bool Intersects(const RECT& a, const RECT& b) {
    return std::max(a.left, b.left) < std::min(a.right, b.right) &&
           std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

}  // namespace

// ------------------------------------------------------ texture records ----

void CreateFrameTexture(MediaTexture& tex, int32_t width, int32_t height, uint32_t format, const uint8_t* pixels,
                        int32_t stride, bool opaque) {
    if (tex.name != 0) {
        const GLuint old = tex.name;
        glDeleteTextures(1, &old);
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    if (opaque || format != GL_BGRA) {
        const GLfloat opaqueBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, opaqueBlack);
    }
    const TextureRows rows = RowsForTexture(pixels, width, height, format, stride);
    SetUnpack(rows);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, rows.pixels);
    ResetUnpack();
    tex.name = name;
    tex.width = width;
    tex.height = height;
    tex.format = format;
    tex.created = 1;
    tex.imageDefined = pixels ? 1 : 0;
    tex.recreate = 0;
}

void UploadFrameTexture(MediaTexture& tex, const uint8_t* pixels, int32_t stride) {
    if (!tex.created || !pixels) return;
    glBindTexture(GL_TEXTURE_2D, tex.name);
    const TextureRows rows = RowsForTexture(pixels, tex.width, tex.height, tex.format, stride);
    SetUnpack(rows);
    if (!tex.imageDefined) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tex.width, tex.height, 0, GL_BGRA, GL_UNSIGNED_BYTE, rows.pixels);
        tex.imageDefined = 1;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tex.width, tex.height, GL_BGRA, GL_UNSIGNED_BYTE, rows.pixels);
    }
    ResetUnpack();
}

void ReleaseFrameTexture(MediaTexture& tex) {
    if (tex.name != 0) {
        const GLuint name = tex.name;
        glDeleteTextures(1, &name);
    }
    tex.name = 0;
    tex.created = 0;
    tex.imageDefined = 0;
}

// ------------------------------------------------------------ renderer ----

COutputRenderer::COutputRenderer()
    : m_applySpecialActions([](IMedia* media, double t) { ApplySpecialActions(media, t); }),
      m_pendingLock(std::make_shared<std::mutex>()),
      m_pending(std::make_shared<std::vector<uint32_t>>()) {}

COutputRenderer::COutputRenderer(CMediaManager* core) : COutputRenderer() { m_pCore = core; }

COutputRenderer::~COutputRenderer() {
    MediaTexture::SetReleaseHook(nullptr);
    if (!m_strFilePath.empty()) std::remove(m_strFilePath.c_str());
}

bool COutputRenderer::InitGL(int32_t width, int32_t height) {
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) LOGTEXT::LogError("glewInit: %s", reinterpret_cast<const char*>(glewGetErrorString(glew)));
    m_nSceneWidth = std::max(width, 1);
    m_nSceneHeight = std::max(height, 1);
    if (glew == GLEW_OK) {
        glEnable(GL_MULTISAMPLE);

        // Scene frame buffer: a colour texture of the output's size. The
        // scene pass draws with the depth test off, so it has no depth
        // buffer to clear or keep; the output pass samples only the base
        // level, so the texture has no mipmaps to rebuild every frame.
        glGenTextures(1, &m_nColorTexture);
        glBindTexture(GL_TEXTURE_2D, m_nColorTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, m_nSceneWidth, m_nSceneHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glBindTexture(GL_TEXTURE_2D, 0);

        glGenFramebuffers(1, &m_nFrameBuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, m_nFrameBuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_nColorTexture, 0);
        const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) LOGTEXT::LogError("scene frame buffer incomplete: 0x%x", status);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);

        // The 1-D lookup texture: 256 black texels.
        const std::vector<uint8_t> black(256 * 3, 0);
        glGenTextures(1, &m_nLookupTexture);
        glBindTexture(GL_TEXTURE_1D, m_nLookupTexture);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexImage1D(GL_TEXTURE_1D, 0, GL_RGB, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, black.data());
        glBindTexture(GL_TEXTURE_1D, 0);
        LOGTEXT::LogInfo("tex color id=%d,depth id=%d", static_cast<int>(m_nColorTexture),
                         static_cast<int>(m_nDepthTexture));

        for (uint32_t& list : m_lists) list = glGenLists(1);
        BuildDisplayLists();
    }
    m_bRebuildLists = false;
    if (m_pCore) {
        std::lock_guard lock(m_pCore->m_csChannelLayout);
        m_pCore->m_render.displayFlags = CoreRenderState::kFlagScene;
    }

    // Media objects that die on other threads hand their texture names here;
    // they are deleted at the next frame, on this thread.
    auto lockPtr = m_pendingLock;
    auto pending = m_pending;
    MediaTexture::SetReleaseHook([lockPtr, pending](uint32_t name) {
        std::lock_guard lock(*lockPtr);
        pending->push_back(name);
    });

    if (!m_program) {
        auto program = std::make_unique<GlslProgram>();
        const bool loaded = glew == GLEW_OK && (m_strShaderText.empty() ? program->LoadShaderResource()
                                                                        : program->LoadShaderSource(m_strShaderText));
        if (!loaded) {
            program->Release();
            LOGTEXT::LogError("create shader program failed");
            return false;
        }
        m_program = std::move(program);
    }
    return true;
}

void COutputRenderer::ReleaseGL() {
    if (m_nFrameBuffer) glDeleteFramebuffers(1, &m_nFrameBuffer);
    for (GLuint* t : {&m_nColorTexture, &m_nLookupTexture}) {
        if (*t) glDeleteTextures(1, t);
        *t = 0;
    }
    m_nFrameBuffer = 0;
    for (uint32_t& list : m_lists) {
        if (list) glDeleteLists(list, 1);
        list = 0;
    }
    DeletePendingTextures();
}

void COutputRenderer::ReleaseProgram() {
    if (m_program) m_program->Release();
    m_program.reset();
}

void COutputRenderer::DeletePendingTextures() {
    std::vector<uint32_t> names;
    {
        std::lock_guard lock(*m_pendingLock);
        names.swap(*m_pending);
    }
    for (GLuint name : names) glDeleteTextures(1, &name);
}

void COutputRenderer::BuildDisplayLists() {
    if (!m_pCore || !m_pCore->m_pChannelLayout) return;
    std::lock_guard lock(m_pCore->m_csChannelLayout);
    GlMeshSink sink;
    const ChannelPtrList& channels = m_pCore->m_pChannelLayout->m_channels;
    // One list per channel slot; channels past the last slot have no list
    // and are not drawn.
    for (size_t i = 0; i < channels.size() && i < kDisplayLists; ++i) {
        if (!m_lists[i]) continue;
        glNewList(m_lists[i], GL_COMPILE);
        channels[i]->BuildMeshList(sink);
        glEndList();
    }
}

bool COutputRenderer::SetVerticalSync(bool on) {
    if (!m_pCore) return false;
    if (!m_pCore->Output().SetSwapInterval(on ? 1 : 0)) return false;
    LOGTEXT::LogInfo("垂直同步：%d", on ? 1 : 0);
    return true;
}

void COutputRenderer::DrawTexturedQuad(float x0, float y0, float x1, float y1, uint32_t texture) {
    if (texture) glBindTexture(GL_TEXTURE_2D, texture);
    const float corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    glBegin(GL_QUADS);
    glColor4f(1, 1, 1, 1);
    glNormal3f(0, 0, 1);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2d(m_texCorners[i][0], m_texCorners[i][1]);
        glVertex3f(corners[i][0], corners[i][1], 0.0f);
    }
    glEnd();
}

void COutputRenderer::DrawTexturedQuad4(const float corners[4][2], const float tex[4][2], uint32_t texture) {
    if (texture) glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glColor4f(1, 1, 1, 1);
    glNormal3f(0, 0, 1);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(tex[i][0], tex[i][1]);
        glVertex3f(corners[i][0], corners[i][1], 0.0f);
    }
    glEnd();
}

bool COutputRenderer::UploadLocked(MediaBaseClass& m, bool recreate) {
    if (!m.m_bFrameReady) return false;
    m.m_bFrameReady = false;
    // The fields and the buffer are read together under the lock, so a
    // frame that a producer reallocated is never read through a stale size.
    const int64_t need = int64_t{m.m_nStride} * m.m_nHeight;
    if (!m.m_pFrame || m.m_nWidth <= 0 || m.m_nHeight <= 0 || need <= 0 || m.m_nFrameSize < need ||
        m.m_nCapacity < need) {
        return false;
    }
    const uint32_t format = m.FramePixelFormat();
    MediaTexture& tex = m.m_texture;
    if (recreate || !tex.created || tex.recreate || tex.width != m.m_nWidth || tex.height != m.m_nHeight ||
        tex.format != format) {
        ReleaseFrameTexture(tex);
        // Only pictures bring an alpha of their own; videos are widened.
        const bool opaque = m.Common().type != kMediaPicture;
        CreateFrameTexture(tex, m.m_nWidth, m.m_nHeight, format, m.m_pFrame, m.m_nStride, opaque);
    } else {
        UploadFrameTexture(tex, m.m_pFrame, m.m_nStride);
    }
    return true;
}

void COutputRenderer::SyncTextures() {
    if (!m_pCore) return;
    DeletePendingTextures();
    CMediaManager& core = *m_pCore;
    int32_t regionsOn = 0, mattingOn = 0;
    std::vector<BackgroundRegion> regions;
    {
        std::lock_guard lock(core.m_csChannelLayout);
        regionsOn = core.m_render.regionsOn;
        mattingOn = core.m_render.mattingEnabled;
        if (regionsOn) regions = core.m_render.regions;
    }
    std::lock_guard mediaLock(core.m_csMedia);
    // The background source: the desktop capture when it runs, else the
    // background picture when it is used.
    IMedia* background = nullptr;
    if (Loaded(core.m_pDesktopCapture))
        background = core.m_pDesktopCapture;
    else if (core.m_nUseBackgroundBmp && Loaded(core.m_pBackground))
        background = core.m_pBackground;
    for (IMedia* embedded : {background, Loaded(core.m_pDefaultBackground) ? core.m_pDefaultBackground : nullptr}) {
        MediaBaseClass* m = AsMedia(embedded);
        if (!m) continue;
        auto lock = m->LockMedia();
        if (!m->m_bFrameReady) continue;
        if (regionsOn && embedded != core.m_pDesktopCapture) m->FillRegionsLocked(regions);
        UploadLocked(*m, true);
    }
    for (IMedia* item : core.m_mediaList) {
        MediaBaseClass* m = AsMedia(item);
        if (!m) continue;
        auto lock = m->LockMedia();
        UploadLocked(*m, false);
    }
    if (mattingOn) {
        if (MediaBaseClass* m = AsMedia(core.m_pMatting)) {
            auto lock = m->LockMedia();
            UploadLocked(*m, true);
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

void COutputRenderer::ClearOnly() {
    glClearDepth(1.0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void COutputRenderer::RenderScene(int32_t) {
    if (!m_pCore || !m_program || !m_nFrameBuffer) return;
    CMediaManager& core = *m_pCore;
    glBindFramebuffer(GL_FRAMEBUFFER, m_nFrameBuffer);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    {
        std::lock_guard mediaLock(core.m_csMedia);
        std::lock_guard layoutLock(core.m_csChannelLayout);
        CChannelLayout* layout = core.m_pChannelLayout;
        if (layout) {
            // Stage corners top-left, bottom-left, top-right, bottom-right as
            // quad corners bottom-left, bottom-right, top-right, top-left.
            const DOUBLE_POINT* c = layout->m_corners;
            const DOUBLE_POINT order[4] = {c[1], c[3], c[2], c[0]};
            for (int i = 0; i < 4; ++i) {
                m_texCorners[i][0] = order[i].x;
                m_texCorners[i][1] = order[i].y;
            }
        }
        const CoreRenderState& rs = core.m_render;
        const bool dyn = rs.dynamicReloadDone != 0;
        const std::string info = rs.InfoText();
        MediaBaseClass* background = AsMedia(core.m_pBackground);
        MediaBaseClass* colourPicture = AsMedia(core.m_pDefaultBackground);
        MediaBaseClass* matting = AsMedia(core.m_pMatting);
        m_program->Begin();
        const size_t count = layout ? layout->m_channels.size() : 0;
        for (size_t i = 0; i < count; ++i) {
            const OutputChannel& ch = *layout->m_channels[i];
            const int32_t cw = ch.m_rect.right - ch.m_rect.left, chh = ch.m_rect.bottom - ch.m_rect.top;
            if (cw <= 0 || chh <= 0) continue;
            const float a = static_cast<float>(chh) / static_cast<float>(cw);
            glEnable(GL_SCISSOR_TEST);
            ChannelViewport(ch, core.m_rcOutput, true);
            Ortho(a);

            if (rs.backgroundSelector == CoreRenderState::kSolidColour) {
                const auto v = static_cast<uint32_t>(rs.backgroundValue);
                const float r = (v & 0xFF) / 255.0f, g = ((v >> 8) & 0xFF) / 255.0f, b = ((v >> 16) & 0xFF) / 255.0f;
                m_program->SetProcType(2, r, g, b);
                m_program->SetGlobalColorRatio(ch.m_colorRatio[0], ch.m_colorRatio[1], ch.m_colorRatio[2],
                                               ch.m_ratioFlag != 0);
                if (ch.m_ratioFlag) m_program->SetColorCurves(ch.m_lookup);
                glDisable(GL_TEXTURE_2D);
                glColor3f(r, g, b);
                glBegin(GL_QUADS);
                glVertex3f(-1, -a, 0);
                glVertex3f(1, -a, 0);
                glVertex3f(1, a, 0);
                glVertex3f(-1, a, 0);
                glEnd();
                glDisable(GL_SCISSOR_TEST);
                continue;
            }
            if (core.m_nGeometryAdjustMode && background && Loaded(background) &&
                background->m_texture.imageDefined) {
                m_program->SetProcType(1.0f);
                m_program->SetTexture(background->m_texture.name);
                DrawTexturedQuad(-1, -a, 1, a, background->m_texture.name);
                glDisable(GL_SCISSOR_TEST);
                continue;
            }
            // Without the timeline's dynamic reload the pictures are drawn
            // plainly (no transparency) rather than with whatever operation
            // the program was left at.
            if (dyn) {
                glEnable(GL_BLEND);
                glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ONE, GL_ONE);
                m_program->SetProcType(3.0f);
            } else {
                m_program->SetProcType(1.0f);
            }
            auto bindMedia = [&](MediaBaseClass& m) {
                if (dyn)
                    m_program->SetTransparentValue(m.m_texture.name, static_cast<float>(m.Common().alpha));
                else
                    m_program->SetTexture(m.m_texture.name);
            };
            // A running desktop capture is the background in place of the
            // pictures.
            MediaBaseClass* desktop = AsMedia(core.m_pDesktopCapture);
            MediaBaseClass* backdrop = desktop && Loaded(desktop) && desktop->m_texture.imageDefined ? desktop
                                       : colourPicture && Loaded(colourPicture) && colourPicture->m_texture.imageDefined
                                           ? colourPicture
                                           : nullptr;
            if (backdrop) {
                bindMedia(*backdrop);
                DrawTexturedQuad(-1, -a, 1, a, backdrop->m_texture.name);
            }
            if (core.m_mediaList.empty()) {
                // Raster text in white: the program and blending stay out of it.
                if (dyn) glDisable(GL_BLEND);
                m_program->End();
                DrawInfoOverlay(ch, -1.0f / 3.0f, (a - (-a)) * 2.0f / 5.0f + (-a), info);
                m_program->Begin();
                if (dyn) glEnable(GL_BLEND);
            }
            if (dyn) glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);

            for (IMedia* item : core.m_mediaList) {
                MediaBaseClass* m = AsMedia(item);
                if (!m) continue;
                const MediaCommon& mc = m->Common();
                if (core.m_nDisplayBackgroundIfNoVideo && mc.state == kMediaStopped) continue;
                if (!m->m_texture.imageDefined) continue;
                if (mc.placementMode == 3 &&
                    !(mc.visible && mc.startTime <= core.m_dTimelineTime && core.m_dTimelineTime <= mc.endTime)) {
                    continue;
                }
                if (m_applySpecialActions) m_applySpecialActions(item, core.m_dTimelineTime);
                if (mc.placementMode == 3) {
                    const RECT sr{mc.stageRect.left, mc.stageRect.top, mc.stageRect.right, mc.stageRect.bottom};
                    const RECT& cs = ch.m_stageRect;
                    const double csw = cs.right - cs.left, csh = cs.bottom - cs.top;
                    if (!Intersects(sr, cs) || csw <= 0 || csh <= 0) continue;
                    auto X = [&](double x) { return static_cast<float>(2.0 * (x - cs.left) / csw - 1.0); };
                    auto Y = [&](double y) { return static_cast<float>(2.0 * a * (cs.bottom - y) / csh - a); };
                    float corners[4][2] = {{X(sr.left), Y(sr.bottom)},
                                           {X(sr.right), Y(sr.bottom)},
                                           {X(sr.right), Y(sr.top)},
                                           {X(sr.left), Y(sr.top)}};
                    const float tex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                    if (std::fabs(mc.angle) > 0.001) {
                        const double rad = mc.angle * 3.1415926 / 180.0;
                        const double s = std::sin(rad), k = std::cos(rad);
                        const double cx = (corners[0][0] + corners[2][0]) / 2.0;
                        const double cy = (corners[0][1] + corners[2][1]) / 2.0;
                        for (auto& p : corners) {
                            const double dx = p[0] - cx, dy = p[1] - cy;
                            p[0] = static_cast<float>(cx + dx * k - dy * s);
                            p[1] = static_cast<float>(cy + dx * s + dy * k);
                        }
                    }
                    bindMedia(*m);
                    DrawTexturedQuad4(corners, tex, m->m_texture.name);
                } else {
                    bindMedia(*m);
                    DrawTexturedQuad(-1, -1, 1, 1, m->m_texture.name);
                }
            }

            if (rs.mattingEnabled && matting && Loaded(matting) && matting->m_texture.imageDefined) {
                m_program->SetProcType(1.0f);
                m_program->SetTexture(matting->m_texture.name);
                const float w = 0.19375f * 640.0f / static_cast<float>(cw);
                m_fMattingOffset += 1.0f / static_cast<float>(cw);
                if (m_fMattingOffset > 1.0f) m_fMattingOffset = -1.0f - w;
                DrawTexturedQuad(m_fMattingOffset, -0.2f, m_fMattingOffset + w, w - 0.2f, matting->m_texture.name);
            }
            glDisable(GL_SCISSOR_TEST);
            if (dyn) glDisable(GL_BLEND);
        }
        m_program->End();
    }

    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glFlush();
}

void COutputRenderer::DrawMarkers(int32_t channelWidth, int32_t channelHeight, const OutputChannel& ch) {
    glBindTexture(GL_TEXTURE_2D, 0);
    GLint vp[4] = {};
    glGetIntegerv(GL_VIEWPORT, vp);
    const int64_t w = vp[2], h = vp[3];
    if (w <= 0 || h <= 0) return;
    const size_t size = static_cast<size_t>(w * h * 4);
    if (m_readBack.size() != size) m_readBack.assign(size, 0);
    else std::fill(m_readBack.begin(), m_readBack.end(), uint8_t{0});
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(vp[0], vp[1], vp[2], vp[3], GL_RGBA, GL_UNSIGNED_BYTE, m_readBack.data());
    glPointSize(channelWidth >= 800 && channelHeight >= 600 ? 5.0f : 3.0f);
    glBegin(GL_POINTS);
    for (int c = 0; c <= OutputChannel::kLast; ++c) {
        for (int r = 0; r <= OutputChannel::kLast; ++r) {
            const DOUBLE_POINT p = ch.Point(c, r);
            // The point's place in the -1..1 by -0.75..0.75 view, in pixels
            // of the read-back viewport; points outside it are skipped.
            const double px = std::floor((p.x * 0.5 + 1.0) / 2.0 * static_cast<double>(w));
            const double py = std::floor((p.y * 0.5 + 0.75) / 1.5 * static_cast<double>(h));
            if (!(px >= 0 && px < static_cast<double>(w) && py >= 0 && py < static_cast<double>(h))) continue;
            const size_t off = (static_cast<size_t>(py) * static_cast<size_t>(w) + static_cast<size_t>(px)) * 4;
            if (off + 4 > size) continue;
            const uint8_t* px4 = m_readBack.data() + off;
            glColor4f((255 - px4[0]) / 255.0f, (255 - px4[1]) / 255.0f, (255 - px4[2]) / 255.0f, 0.0f);
            glVertex4d(p.x * 0.5, p.y * 0.5, 0.2, 1.0);
        }
    }
    glEnd();
}

bool COutputRenderer::RenderOutput(int32_t eye) {
    if (!m_pCore || !m_program) {
        ClearOnly();
        return true;
    }
    CMediaManager& core = *m_pCore;
    uint32_t flags;
    {
        std::lock_guard lock(core.m_csChannelLayout);
        flags = core.m_render.displayFlags;
    }
    const bool scene = (flags & CoreRenderState::kFlagScene) != 0;
    const bool adjust = (flags & CoreRenderState::kFlagAdjust) != 0;
    if (scene) {
        SyncTextures();
        RenderScene(eye);
    }
    glClearDepth(1.0);
    glClearColor(0, 0, 0, 1);
    glColor4f(0, 1, 0, 1);
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT, GL_FILL);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    // Commands that change channels mark the scene; their meshes reach the
    // display lists here, on the render thread.
    if (core.m_bSceneChanged.exchange(false)) m_bRebuildLists = true;
    if (m_bRebuildLists) {
        BuildDisplayLists();
        m_bRebuildLists = false;
    }

    std::lock_guard layoutLock(core.m_csChannelLayout);
    if (m_nStereoGranted && core.m_nEnableStereo && core.m_nVideoType) glDrawBuffer(eye == 0 ? GL_BACK_LEFT : GL_BACK_RIGHT);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    CChannelLayout* layout = core.m_pChannelLayout;
    const size_t count = layout ? std::min<size_t>(layout->m_channels.size(), kDisplayLists) : 0;

    m_program->Begin();
    m_program->SetProcType(core.m_nGeometryAdjustMode ? 11.0f : 10.0f);
    m_program->SetTexture(m_nColorTexture);
    if (scene) {
        for (size_t i = 0; i < count; ++i) {
            const OutputChannel& ch = *layout->m_channels[i];
            m_program->SetGlobalColorRatio(ch.m_colorRatio[0], ch.m_colorRatio[1], ch.m_colorRatio[2],
                                           ch.m_ratioFlag != 0);
            if (ch.m_ratioFlag) m_program->SetColorCurves(ch.m_lookup);
            const float* gamma = ch.m_edgeParam + OutputChannel::kEdgeGammaSlot;
            m_program->SetEdgeParam(gamma[0], gamma[1], gamma[2]);
            m_program->SetEdgePos(ch.m_edgePos);
            ChannelViewport(ch, core.m_rcOutput, false);
            ChannelProjection(ch);
            glCallList(m_lists[i]);
        }
    }
    m_program->End();

    if (adjust) {
        if (scene)
            glBindTexture(GL_TEXTURE_2D, 0);
        else
            glDisable(GL_TEXTURE_2D);
        PatternContext ctx;
        if (layout) ctx.adjustMode = layout->m_nAdjustMode;
        std::memcpy(ctx.gridLineColor, core.m_render.gridLineColor, 3);
        ctx.nowTick = platform::GetTickCount();
        for (size_t i = 0; i < count; ++i) {
            const OutputChannel& ch = *layout->m_channels[i];
            ChannelViewport(ch, core.m_rcOutput, false);
            Ortho(0.75);
            DrawTestPattern(ch, scene, ctx);
            if (scene) DrawMarkers(layout->m_nChannelWidth, layout->m_nChannelHeight, ch);
        }
    }

    const bool gridLines = (flags & CoreRenderState::kFlagGridLines) != 0;
    if (!gridLines && (scene || adjust)) return true;
    if (scene) {
        glPushMatrix();
        glPushAttrib(GL_ALL_ATTRIB_BITS);
    }
    glDisable(GL_TEXTURE_2D);
    for (size_t i = 0; i < count; ++i) {
        const OutputChannel& ch = *layout->m_channels[i];
        ChannelViewport(ch, core.m_rcOutput, false);
        Ortho(0.75);
        DrawGridLines(ch, !scene && !adjust);
    }
    if (scene) {
        glPopAttrib();
        glPopMatrix();
    }
    return true;
}
