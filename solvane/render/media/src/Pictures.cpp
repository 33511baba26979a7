#include "media/Pictures.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "util/Util.h"

// ---------------------------------------------------------------- BMP ----

BMP::BMP() : MediaBaseClass(kMediaPicture) {}

BMP::~BMP() { BMP::Close(); }

void BMP::StorePicture(const PictureBits& p, int32_t stereo) {
    auto lock = LockMedia();
    common_.stereoFormat = stereo;
    m_texture.recreate = 1;
    if (stereo == 2 || stereo == 3) {
        const int32_t bpp = p.bytesPerPixel;
        int32_t w = p.width, h = p.height, stride = p.stride;
        if (stereo == 2) {
            w = p.width / 2;
            // Each half is cut from its own picture row at whole pixels, so
            // an odd row length never shifts the right half.
            stride = (w * bpp + 3) / 4 * 4;
        } else {
            h = p.height / 2;
        }
        const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(h);
        const size_t rowBytes = static_cast<size_t>(w) * bpp;
        m_firstStore.assign(size, 0);
        m_secondStore.assign(size, 0);
        for (int32_t r = 0; r < h; ++r) {
            if (stereo == 2) {
                const uint8_t* src = p.bits.data() + size_t(p.stride) * r;
                std::memcpy(m_firstStore.data() + size_t(stride) * r, src, rowBytes);
                std::memcpy(m_secondStore.data() + size_t(stride) * r, src + rowBytes, rowBytes);
            } else {
                std::memcpy(m_firstStore.data() + size_t(stride) * r, p.bits.data() + size_t(stride) * r, stride);
                std::memcpy(m_secondStore.data() + size_t(stride) * r,
                            p.bits.data() + size_t(stride) * (r + h), stride);
            }
        }
        // The picture keeps its halves only; the renderer shows the first
        // (the left eye's), a whole picture of the frame's size.
        m_frameStore.clear();
        m_pFirstHalf = m_firstStore.data();
        m_pSecondHalf = m_secondStore.data();
        m_pFrame = m_pFirstHalf;
        m_nCapacity = static_cast<int32_t>(size);
        m_nWidth = w;
        m_nHeight = h;
        m_nStride = stride;
        m_nBytesPerPixel = p.bytesPerPixel;
        m_nFrameSize = static_cast<int32_t>(size);
        m_fAspect = h > 0 ? static_cast<float>(w) / static_cast<float>(h) : 0.0f;
    } else {
        if (!PrepareFrameLocked(p.width, p.height, p.stride, p.bytesPerPixel)) return;
        std::memcpy(m_pFrame, p.bits.data(), static_cast<size_t>(m_nFrameSize));
        m_firstStore.clear();
        m_secondStore.clear();
        m_pFirstHalf = m_pSecondHalf = nullptr;
    }
    m_bFrameReady = true;
    common_.state = kMediaPlaying;
}

bool BMP::LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) {
    common_.layer = index;
    m_nReserved = reserved;
    common_.name = path;
    PictureBits picture;
    if (!DecodePictureFile(path, picture)) {
        LOGTEXT::LogError("load picture failed.%s", path.c_str());
        return false;
    }
    StorePicture(picture, ResolveStereo(stereo, picture.width, picture.height));
    return true;
}

bool BMP::Close() {
    auto lock = LockMedia();
    m_bFrameReady = false;
    common_.state = kMediaNotLoaded;
    FreeFrameLocked();
    m_nWidth = m_nHeight = 0;
    m_fAspect = 0.0f;
    m_nStride = m_nFrameSize = 0;
    return true;
}

bool BMP::LoadFromHBitmap(const PictureBits& bitmap) {
    common_.layer = 0;
    m_nReserved = 0;
    common_.name = "BKimage";
    PictureBits copy = bitmap;
    copy.height = std::abs(copy.height);
    copy.stride = std::abs(copy.stride);
    if (copy.bits.size() < size_t(copy.stride) * size_t(copy.height)) return false;
    StorePicture(copy, -1);
    return true;
}

void BMP::ResetTestBuffer() {
    Close();
    auto lock = LockMedia();
    PrepareFrameLocked(120, 120, 360, 3);
    std::memset(m_pFrame, 0, static_cast<size_t>(m_nFrameSize));
    common_.state = kMediaPlaying;
}

bool BMP::FillColorBars(const std::vector<uint32_t>& colors, bool vertical) {
    const int n = static_cast<int>(colors.size());
    if (n < 1) return false;
    ResetTestBuffer();
    auto lock = LockMedia();
    auto put = [](uint8_t* px, uint32_t c) {
        px[0] = static_cast<uint8_t>(c >> 16);
        px[1] = static_cast<uint8_t>(c >> 8);
        px[2] = static_cast<uint8_t>(c);
    };
    const int w = m_nWidth, h = m_nHeight, stride = m_nStride;
    if (!vertical) {
        const int band = h / n;
        for (int i = 0; i < n && band > 0; ++i) {
            uint8_t* first = m_pFrame + size_t(i) * band * stride;
            for (int x = 0; x < w; ++x) put(first + 3 * x, colors[i]);
            for (int r = 1; r < band; ++r) std::memcpy(first + size_t(r) * stride, first, stride);
        }
    } else {
        // Bands in whole pixels: band i covers pixels w*i/n up to w*(i+1)/n,
        // so every band starts on a pixel and the last ends at the row's end.
        for (int r = 0; r < h; ++r) {
            uint8_t* line = m_pFrame + size_t(r) * stride;
            for (int i = 0; i < n; ++i) {
                const int x0 = static_cast<int>(int64_t{w} * i / n);
                const int x1 = static_cast<int>(int64_t{w} * (i + 1) / n);
                for (int x = x0; x < x1; ++x) put(line + 3 * x, colors[i]);
            }
        }
    }
    m_bFrameReady = true;
    return true;
}

bool BMP::LoadFromPictureData(const uint8_t* data, size_t size) {
    PictureBits p;
    if (!data || !DecodePictureData(data, size, p)) {
        LOGTEXT::LogError("picture: %zu bytes do not decode.", size);
        return false;
    }
    return LoadFromHBitmap(p);
}

// ------------------------------------------------------- CMattingImage ----

CMattingImage::CMattingImage() : MediaBaseClass(kMediaPicture) {}

CMattingImage::~CMattingImage() {
    auto lock = LockMedia();
    FreeFrameLocked();
}

bool CMattingImage::LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t) {
    common_.layer = index;
    m_nReserved = reserved;
    common_.name = path;
    // Every picture is read as 24-bit first, so palette and 32-bit pictures
    // are keyed pixel by pixel like any other.
    PictureBits p;
    if (!DecodePictureFile(path, p, true)) {
        LOGTEXT::LogError("load matting picture failed.%s", path.c_str());
        return false;
    }
    auto lock = LockMedia();
    if (!PrepareFrameLocked(p.width, p.height, 4 * p.width, 4)) return false;
    const uint8_t kr = static_cast<uint8_t>(m_nKeyColor);
    const uint8_t kg = static_cast<uint8_t>(m_nKeyColor >> 8);
    const uint8_t kb = static_cast<uint8_t>(m_nKeyColor >> 16);
    for (int32_t r = 0; r < p.height; ++r) {
        const uint8_t* src = p.bits.data() + size_t(r) * p.stride;
        uint8_t* dst = m_pFrame + size_t(r) * m_nStride;
        for (int32_t x = 0; x < p.width; ++x, src += 3, dst += 4) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = (src[0] == kb && src[1] == kg && src[2] == kr) ? 0 : 255;
        }
    }
    common_.stereoFormat = -1;
    m_bFrameReady = true;
    common_.state = kMediaPlaying;
    return true;
}

bool CMattingImage::Close() {
    auto lock = LockMedia();
    m_bFrameReady = false;
    common_.state = kMediaNotLoaded;
    FreeFrameLocked();
    m_nWidth = m_nHeight = 0;
    m_fAspect = 0.0f;
    m_nStride = m_nFrameSize = 0;
    m_nKeyColor = kDefaultKey;
    return true;
}

bool CMattingImage::LoadFromHBitmap(const PictureBits& bitmap) {
    common_.layer = 0;
    m_nReserved = 0;
    common_.name = "Matting";
    const int32_t h = std::abs(bitmap.height), stride = std::abs(bitmap.stride);
    if (bitmap.bits.size() < size_t(stride) * size_t(h)) return false;
    auto lock = LockMedia();
    if (!PrepareFrameLocked(bitmap.width, h, stride, bitmap.bytesPerPixel)) return false;
    std::memcpy(m_pFrame, bitmap.bits.data(), static_cast<size_t>(m_nFrameSize));
    common_.stereoFormat = -1;
    m_bFrameReady = true;
    common_.state = kMediaPlaying;
    return true;
}

bool CMattingImage::LoadFromPictureData(const uint8_t* data, size_t size) {
    PictureBits p;
    if (!data || !DecodePictureData(data, size, p)) {
        LOGTEXT::LogError("matting picture: %zu bytes do not decode.", size);
        return false;
    }
    return LoadFromHBitmap(p);
}

// ------------------------------------------------------------ ColorBMP ----

ColorBMP::ColorBMP() : MediaBaseClass(kMediaPicture) {}

ColorBMP::~ColorBMP() {
    auto lock = LockMedia();
    FreeFrameLocked();
}

bool ColorBMP::LoadResource(const std::string&, int32_t, int32_t, int32_t) {
    Close();
    auto lock = LockMedia();
    PrepareFrameLocked(12, 8, 36, 3);
    std::memset(m_pFrame, 0, static_cast<size_t>(m_nFrameSize));
    m_bFrameReady = true;
    common_.state = kMediaPlaying;
    return true;
}

bool ColorBMP::Close() {
    auto lock = LockMedia();
    FreeFrameLocked();
    m_nCapacity = 0;
    common_.state = kMediaNotLoaded;
    return true;
}

bool ColorBMP::SetColor(uint32_t color) {
    auto lock = LockMedia();
    if (color == m_nColor) return false;
    m_nColor = color;
    if (!m_pFrame) return true;
    for (int32_t r = 0; r < m_nHeight; ++r) {
        uint8_t* line = m_pFrame + size_t(r) * m_nStride;
        for (int32_t x = 0; x < m_nWidth; ++x) {
            line[3 * x] = static_cast<uint8_t>(color);
            line[3 * x + 1] = static_cast<uint8_t>(color >> 8);
            line[3 * x + 2] = static_cast<uint8_t>(color >> 16);
        }
    }
    // The new colour reaches the texture at the next frame.
    m_bFrameReady = true;
    return true;
}
