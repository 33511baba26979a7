#include "media/MediaBase.h"

#include <algorithm>
#include <cmath>

namespace {

std::mutex g_hookLock;
MediaTexture::ReleaseHook g_releaseHook;

// A frame above this is refused rather than allocated.
constexpr int64_t kMaxFrameBytes = int64_t{1} << 30;

}  // namespace

void MediaTexture::SetReleaseHook(ReleaseHook hook) {
    std::lock_guard lock(g_hookLock);
    g_releaseHook = std::move(hook);
}

void MediaTexture::Forget() {
    const uint32_t old = name;
    name = 0;
    created = 0;
    imageDefined = 0;
    recreate = 0;
    if (old == 0) return;
    std::lock_guard lock(g_hookLock);
    if (g_releaseHook) g_releaseHook(old);
}

MediaBaseClass::MediaBaseClass(int32_t type) {
    common_.type = type;
    common_.state = kMediaNotLoaded;
    common_.stereoFormat = -1;
}

MediaBaseClass::~MediaBaseClass() {
    std::lock_guard lock(m_mediaLock);
    m_texture.Forget();
}

bool MediaBaseClass::LoadResource(const std::string&, int32_t index, int32_t reserved, int32_t) {
    common_.layer = index;
    m_nReserved = reserved;
    return true;
}

bool MediaBaseClass::Close() { return true; }

bool MediaBaseClass::PrepareFrameLocked(int32_t width, int32_t height, int32_t stride, int32_t bytesPerPixel) {
    if (width <= 0 || height <= 0 || stride <= 0) return false;
    if (bytesPerPixel == 0) bytesPerPixel = stride / width == 4 ? 4 : 3;
    if (bytesPerPixel != 3 && bytesPerPixel != 4) return false;
    if (stride / bytesPerPixel < width) return false;
    const int64_t size = int64_t{stride} * height;
    if (size > kMaxFrameBytes) return false;
    if (width != m_nWidth || height != m_nHeight || stride != m_nStride || bytesPerPixel != m_nBytesPerPixel)
        m_texture.recreate = 1;
    const uint8_t* before = m_frameStore.data();
    if (size > m_nCapacity || m_pFrame != m_frameStore.data()) {
        m_frameStore.resize(static_cast<size_t>(std::max<int64_t>(size, m_nCapacity)));
        m_nCapacity = static_cast<int32_t>(m_frameStore.size());
    }
    if (m_frameStore.data() != before || m_pFrame != m_frameStore.data()) m_texture.recreate = 1;
    m_pFrame = m_frameStore.data();
    m_nWidth = width;
    m_nHeight = height;
    m_nStride = stride;
    m_nBytesPerPixel = bytesPerPixel;
    m_nFrameSize = static_cast<int32_t>(size);
    m_fAspect = static_cast<float>(width) / static_cast<float>(height);
    return true;
}

void MediaBaseClass::FreeFrameLocked() {
    m_frameStore.clear();
    m_frameStore.shrink_to_fit();
    m_firstStore.clear();
    m_firstStore.shrink_to_fit();
    m_secondStore.clear();
    m_secondStore.shrink_to_fit();
    m_pFrame = nullptr;
    m_pFirstHalf = nullptr;
    m_pSecondHalf = nullptr;
    m_nCapacity = 0;
    m_bFrameReady = false;
    m_texture.recreate = 1;
}

bool MediaBaseClass::SwapFrameLocked(std::vector<uint8_t>& filled) {
    if (!m_pFrame || m_pFrame != m_frameStore.data() || filled.size() != m_frameStore.size()) return false;
    m_frameStore.swap(filled);
    m_pFrame = m_frameStore.data();
    return true;
}

uint32_t MediaBaseClass::FramePixelFormat() const {
    return m_nBytesPerPixel == 4 ? kPixelFormatBGRA : kPixelFormatBGR;
}

int32_t MediaBaseClass::ResolveStereo(int32_t stereo, int32_t width, int32_t height) {
    if (stereo == 1) return width > height ? 2 : 3;
    return stereo;
}

bool MediaBaseClass::FillRegions(std::vector<FillRegion> regions) {
    std::lock_guard lock(m_mediaLock);
    FillRegionsLocked(regions);
    return true;
}

void MediaBaseClass::FillRegionsLocked(const std::vector<FillRegion>& regions) {
    if (regions.empty() || !m_pFrame || common_.state == kMediaNotLoaded) return;
    if (m_nWidth <= 0 || m_nHeight <= 0 || m_nStride <= 0) return;
    // A 32-bit frame is painted in whole 4-byte pixels (opaque), so its
    // pixels keep their places.
    const int64_t bpp = FramePixelFormat() == kPixelFormatBGRA ? 4 : 3;
    // Only whole pixels inside the row's pixel bytes are painted, never the
    // row padding: a stride that is not a multiple of the pixel size would
    // otherwise let the last pixel reach past the row.
    const int64_t rowPixelBytes = std::min<int64_t>(bpp * m_nWidth, m_nStride);
    auto column = [&](float f) -> int64_t {
        double v = std::floor(static_cast<double>(f) * m_nStride);
        if (!(v >= 0.0)) v = 0.0;  // NaN too
        v = std::min(v, static_cast<double>(m_nStride));
        const int64_t b = static_cast<int64_t>(v);
        return b - b % bpp;
    };
    auto row = [&](float f) -> int64_t {
        double v = std::floor(static_cast<double>(f) * m_nHeight);
        if (!(v >= 0.0)) v = 0.0;
        return static_cast<int64_t>(std::min(v, static_cast<double>(m_nHeight)));
    };
    for (const FillRegion& r : regions) {
        int64_t bx0 = column(r.x0), bx1 = column(r.x1);
        int64_t y0 = row(r.y0), y1 = row(r.y1);
        if (bx0 > bx1) std::swap(bx0, bx1);
        if (y0 > y1) std::swap(y0, y1);
        for (int64_t y = y0; y < y1; ++y) {
            uint8_t* line = m_pFrame + y * m_nStride;
            for (int64_t b = bx0; b < bx1 && b + bpp <= rowPixelBytes; b += bpp) {
                line[b] = r.color[2];
                line[b + 1] = r.color[1];
                line[b + 2] = r.color[0];
                if (bpp == 4) line[b + 3] = 255;
            }
        }
    }
}

bool MediaBaseClass::SetTexRect(float left, float right, float bottom, float top) {
    common_.texRect.left = left;
    common_.texRect.right = right;
    common_.texRect.bottom = bottom;
    common_.texRect.top = top;
    return true;
}

bool MediaBaseClass::GetTexRect(float& left, float& right, float& bottom, float& top) {
    left = common_.texRect.left;
    right = common_.texRect.right;
    bottom = common_.texRect.bottom;
    top = common_.texRect.top;
    return true;
}

bool MediaBaseClass::FitAspect(float left, float right, float bottom, float top) {
    const float a = m_fAspect;
    const float r = (right - left) / (top - bottom);
    if (r < a) {
        SetTexRect(left, right, top - (right - left) / a, top);
    } else if (r >= a) {
        SetTexRect(left, left + (top - bottom) * a, bottom, top);
    }
    // Unordered (a NaN): the rectangle stays as it was.
    return true;
}

bool MediaBaseClass::SetViewRect(float a, float b, float c, float d) {
    common_.viewRect[0] = a;
    common_.viewRect[1] = b;
    common_.viewRect[2] = d;
    common_.viewRect[3] = c;
    return true;
}

bool MediaBaseClass::GetViewRect(float& a, float& b, float& c, float& d) {
    a = common_.viewRect[0];
    b = common_.viewRect[1];
    c = common_.viewRect[3];
    d = common_.viewRect[2];
    return true;
}

void MediaBaseClass::FrameShape(int32_t& width, int32_t& height, float& aspect) {
    std::lock_guard lock(m_mediaLock);
    width = m_nWidth;
    height = m_nHeight;
    aspect = m_fAspect;
}
