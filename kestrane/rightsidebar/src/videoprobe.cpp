#include "kestrane/videoprobe.h"

#include <QFile>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "velmar/kestrane.h"

namespace kestrane {
namespace {

// Set by the decode thread on the first picture, read by the GUI thread.
struct PictureFlag {
    std::atomic<bool> arrived{false};
};

void onPicture(void* /*media*/, void* frame, const BITMAPINFOHEADER* /*format*/, double /*position*/,
               double /*duration*/, int /*atZero*/, int /*state*/, void* user) {
    if (frame && user) static_cast<PictureFlag*>(user)->arrived.store(true);
}

class RenderingLibraryProbe : public VideoProbe {
public:
    void* open(const QString& path) override {
        auto flag = std::make_unique<PictureFlag>();
        const QByteArray local = QFile::encodeName(path);
        void* handle = Kestrane_AddMedia(1, KESTRANE_MEDIA_VIDEO, local.constData(), &onPicture, flag.get());
        if (handle) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_flags[handle] = std::move(flag);
        }
        return handle;
    }

    bool hasPicture(void* handle) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_flags.find(handle);
        return it != m_flags.end() && it->second->arrived.load();
    }

    bool info(void* handle, VideoProbeInfo* out) override {
        void* frame = nullptr;
        int width = 0, height = 0;
        double position = 0, duration = 0;
        if (!Kestrane_GetMediaInfo(handle, &frame, &width, &height, &position, &duration)) return false;
        out->width = width;
        out->height = height;
        out->duration = duration;
        // Rows of 24-bit pixels padded to 4 bytes, as QImage's own rows are;
        // copied now, the buffer goes with the media.
        if (frame && width > 0 && height > 0)
            out->frame = QImage(static_cast<const uchar*>(frame), width, height, QImage::Format_RGB888).copy();
        else
            out->frame = QImage();
        return true;
    }

    void close(void* handle) override {
        Kestrane_RemoveMedia(handle);
        // The decode thread is gone once the media is removed.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_flags.erase(handle);
    }

private:
    mutable std::mutex m_mutex;
    std::map<void*, std::unique_ptr<PictureFlag>> m_flags;
};

}  // namespace

VideoProbe& renderingLibraryProbe() {
    static RenderingLibraryProbe* probe = new RenderingLibraryProbe;
    return *probe;
}

}  // namespace kestrane
