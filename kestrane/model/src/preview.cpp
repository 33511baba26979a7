// The configuration object's side of the local preview. Every call is
// logged with its arguments, the library's result and the time it took.
#include <QDebug>
#include <QElapsedTimer>

#include "kestrane/gconfig.h"

#include "kestrane/logging.h"
#define KLOG KESTRANE_DEBUG_HERE

namespace {

// Runs call(), logs what it was and took, returns its result.
template <class F>
int logged(const char* what, F call) {
    QElapsedTimer timer;
    timer.start();
    const int result = call();
    KLOG << what << "->" << result << timer.elapsed() << "ms";
    return result;
}

}  // namespace

void GConfig::setPreview(PreviewLink* preview) { m_preview = preview ? preview : &kestrane::velmarPreview(); }

int GConfig::playPreview(double rate) {
    m_previewPlaying = true;
    KLOG << "preview rate" << rate;
    logged("SetPlayRate", [&] { return m_preview->setPlayRate(rate, nullptr); });
    return logged("Play", [&] { return m_preview->play(); });
}

void GConfig::setPreviewRate(double rate) {
    KLOG << "preview rate" << rate;
    logged("SetPlayRate", [&] { return m_preview->setPlayRate(rate, nullptr); });
}

void GConfig::pausePreview() {
    // A pause reaches the library only while the preview plays.
    if (!m_previewPlaying) return;
    m_previewPlaying = false;
    logged("Pause", [&] { return m_preview->pause(); });
}

bool GConfig::setPreviewTime(int ms) {
    KLOG << "preview time" << ms;
    return logged("SetCurrentTimeline", [&] { return m_preview->setCurrentTimeline(ms / 1000.0); }) != 0;
}

bool GConfig::setPreviewMediaLayer(void* handle, int layer, int startMs, int durationMs) {
    // The library takes the end on the timeline, not the duration; summed
    // in doubles so that no int overflows.
    const double start = startMs / 1000.0;
    const double stop = (double(startMs) + double(durationMs)) / 1000.0;
    KLOG << "preview layer" << handle << layer << start << stop;
    return logged("SetMediaLayer", [&] { return m_preview->setMediaLayer(handle, layer, start, stop); }) != 0;
}

void GConfig::removePreviewMedia(void* handle) {
    KLOG << "preview remove" << handle;
    logged("RemoveMedia", [&] { return m_preview->removeMedia(handle); });
}

void GConfig::mutePreviewMedia(bool mute, void* handle) {
    KLOG << "preview mute" << mute << handle;
    logged("MuteMedia", [&] { return m_preview->muteMedia(mute, handle); });
}
