#include "media/TextureRenderer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/ServerClock.h"
#include "media/FileVideo.h"
#include "media/FramePixels.h"
#include "media/MediaBase.h"
#include "platform/tick.h"

namespace {

// The paused flag and the frame counters are written by the command thread
// and read by the decode thread.
int32_t LoadFlag(int32_t& v) { return std::atomic_ref<int32_t>(v).load(); }

}  // namespace

Velmarer::Velmarer(int32_t index, int32_t reserved, MediaBaseClass* owner)
    : m_nIndex(index), m_nReserved(reserved), m_pOwner(owner) {}

Velmarer::TypeCheck Velmarer::CheckMediaType(const av::FrameFormat* format) {
    if (!format) return TypeCheck::InvalidArg;
    if (format->bitsPerPixel != 24) return TypeCheck::InvalidArg;
    // Top-down rows (negative height) and empty shapes are refused.
    if (format->width <= 0 || format->height <= 0) return TypeCheck::Fail;
    return TypeCheck::Ok;
}

bool Velmarer::SetMediaType(const av::FrameFormat& format) {
    if (!m_pOwner) return false;
    m_header = format;
    const int32_t width = format.width;
    const int32_t height = std::abs(format.height);
    const int32_t bits = format.bitsPerPixel;
    const int32_t stride = av::BitmapStride(width, bits);
    m_bPaddedRows = stride != width * 3;
    if (m_pOwner->Common().type == kMediaPicture) return true;
    // The 24-bit samples are widened to 32-bit pixels as they are copied: the
    // render thread can then hand the frame to GL as it is, where 3-byte rows
    // would cost it a conversion of every pixel of every video it shows.
    auto lock = m_pOwner->LockMedia();
    if (!m_pOwner->PrepareFrameLocked(width, height, width * 4, 4)) return false;
    std::memset(m_pOwner->m_pFrame, 0, static_cast<size_t>(m_pOwner->m_nCapacity));
    return true;
}

bool Velmarer::DoRenderSample(const uint8_t* bits, size_t length, int64_t position, bool whilePaused) {
    MediaBaseClass* owner = m_pOwner;
    if (!owner || (!whilePaused && LoadFlag(owner->m_nRendererPaused) != 0)) return false;
    if (owner->Common().type == kMediaPicture) return true;
    std::atomic_ref<int32_t>(owner->m_nDelivered[1]).fetch_add(1);
    if (!bits) return false;
    // The sample is widened into a buffer of this renderer's own, off the
    // media lock, and takes the frame's place under it: the render thread
    // never waits for a whole frame's copy, nor the decoder for an upload.
    Shape shape;
    {
        auto lock = owner->LockMedia();
        if (!whilePaused && LoadFlag(owner->m_nRendererPaused) != 0) return false;
        shape = CurrentShapeLocked();
    }
    if (!shape.valid) return false;
    // A sample short of the frame only overwrites what it holds, in place.
    const bool whole = length / static_cast<size_t>(shape.height) / 3 >= static_cast<size_t>(shape.width);
    if (whole) {
        m_back.resize(shape.capacity);
        Widen(bits, length, shape, m_back.data());
    }
    auto lock = owner->LockMedia();
    if (!whilePaused && LoadFlag(owner->m_nRendererPaused) != 0) return false;
    const Shape now = CurrentShapeLocked();
    if (!now.valid) return false;
    // The frame changed shape or storage meanwhile: widened again in place.
    if (!whole || !(now == shape) || !owner->SwapFrameLocked(m_back)) Widen(bits, length, now, owner->m_pFrame);
    if (owner->Common().type == kMediaFileVideo) static_cast<FileVideo*>(owner)->NoteRenderedPositionLocked(position);
    owner->m_bFrameReady = true;
    return true;
}

Velmarer::Shape Velmarer::CurrentShapeLocked() const {
    const MediaBaseClass& o = *m_pOwner;
    Shape s;
    s.width = o.m_nWidth;
    s.height = o.m_nHeight;
    s.stride = o.m_nStride;
    s.capacity = o.m_nCapacity > 0 ? static_cast<size_t>(o.m_nCapacity) : 0;
    s.valid = o.m_pFrame && s.height > 0 && s.width > 0 && o.m_nBytesPerPixel == 4 &&
              int64_t{s.stride} * s.height <= int64_t{o.m_nCapacity};
    return s;
}

// Rows of the sample's own length (padded or not), never more pixels than a
// row of the sample holds nor than the frame's rows have room for.
void Velmarer::Widen(const uint8_t* bits, size_t length, const Shape& shape, uint8_t* frame) {
    const size_t rowBytes = length / static_cast<size_t>(shape.height);
    const int32_t pixels = static_cast<int32_t>(
        std::min<size_t>({rowBytes / 3, static_cast<size_t>(shape.width), static_cast<size_t>(shape.stride) / 4}));
    WidenBgrRows(bits, rowBytes, pixels, shape.height, frame, static_cast<size_t>(shape.stride));
}

bool Velmarer::OnReceiveFirstSample(const uint8_t* bits, size_t length, int64_t position) {
    if (!m_pOwner || m_pOwner->Common().type != kMediaFileVideo) return false;
    // Drawn despite the paused renderer; the flag itself is left alone, so a
    // Play that lowers it meanwhile is not undone.
    return DoRenderSample(bits, length, position, true);
}

void Velmarer::Stop() {
    if (!m_pOwner) return;
    if (m_pOwner->m_frameEvent) {
        m_pOwner->m_frameEvent->Set();
        std::atomic_ref<int32_t>(m_pOwner->m_nDelivered[0]).store(0);
        std::atomic_ref<int32_t>(m_pOwner->m_nDelivered[1]).store(0);
    }
}

void Velmarer::Pause() {
    if (!m_pOwner) return;
    std::atomic_ref<int32_t>(m_pOwner->m_nRendererPaused).store(1);
    if (m_pOwner->m_frameEvent) m_pOwner->m_frameEvent->Set();
}

void Velmarer::Run() {
    if (!m_pOwner) return;
    std::atomic_ref<int32_t>(m_pOwner->m_nRendererPaused).store(0);
    if (m_pOwner->m_frameEvent) m_pOwner->m_frameEvent->Reset();
}

bool Velmarer::OnFormat(const av::FrameFormat& format) {
    if (CheckMediaType(&format) != TypeCheck::Ok) return false;
    return SetMediaType(format);
}

void Velmarer::OnFrame(const uint8_t* bits, size_t size, int64_t position, bool preroll) {
    if (preroll && m_pOwner && m_pOwner->Common().type == kMediaFileVideo)
        OnReceiveFirstSample(bits, size, position);
    else
        DoRenderSample(bits, size, position);
}

CMySyncSourceClock::CMySyncSourceClock(FileVideo* owner, CServerClock* server)
    : av::SyncClock((server ? server : CServerClock::GetInstance())->GetTime()), m_pOwner(owner) {}
