// The core's own pictures: the background objects, the default background
// chosen by the primary screen size, and the matting overlay.
#include "core/MediaManager.h"
#include "core/Resources.h"
#include "util/Util.h"

namespace {

constexpr int kMattingResource = 148;

// Size of the primary display (the first one when none says primary); zero
// without a display.
void PrimaryScreenSize(IDisplayList& displays, int32_t& width, int32_t& height) {
    std::vector<MY_MONITORINFO> monitors;
    displays.EnumDisplays(monitors);
    width = height = 0;
    if (monitors.empty()) return;
    const MY_MONITORINFO* chosen = &monitors.front();
    for (const auto& m : monitors) {
        if (m.primary != 0) {
            chosen = &m;
            break;
        }
    }
    width = chosen->monitor.right - chosen->monitor.left;
    height = chosen->monitor.bottom - chosen->monitor.top;
}

}  // namespace

int CMediaManager::DefaultBackgroundResourceId(int32_t width, int32_t height) {
    if (width == 1920 && height == 1080) return 143;
    if (width == 1024 && height == 768) return 142;
    if (width == 1280 && height == 720) return 144;
    return 141;
}

void CMediaManager::CreateEmbeddedPictures() {
    std::lock_guard lock(m_csMedia);
    if (!m_pBackground) m_pBackground = MediaFactory().CreateMedia(kMediaPicture).release();
    if (!m_pDefaultBackground) m_pDefaultBackground = MediaFactory().CreateMedia(kMediaPicture).release();
    if (!m_pMatting) m_pMatting = MediaFactory().CreateMedia(kMediaMattingPicture).release();
}

void CMediaManager::PreparePictureMedia() {
    LoadDefaultBackground();
    LoadMattingImage();
}

int CMediaManager::LoadDefaultBackground() {
    int32_t width = 0, height = 0;
    PrimaryScreenSize(Displays(), width, height);
    const int id = DefaultBackgroundResourceId(width, height);
    std::lock_guard lock(m_csMedia);
    if (!m_pDefaultBackground) {
        LOGTEXT::LogError("default background: no picture object.");
        return 1;
    }
    m_pDefaultBackground->Close();
    ResourceView picture;
    if (!FindResource(id, "JPG", picture)) {
        LOGTEXT::LogError("default background: picture %d missing.", id);
    } else if (!m_pDefaultBackground->LoadFromPictureData(picture.data, picture.size)) {
        LOGTEXT::LogError("default background: picture %d not taken.", id);
    }
    return 1;
}

void CMediaManager::LoadMattingImage() {
    bool loaded = false;
    {
        std::lock_guard lock(m_csMedia);
        ResourceView picture;
        if (!m_pMatting) {
            LOGTEXT::LogError("matting picture: no picture object.");
        } else {
            m_pMatting->Close();
            if (!FindResource(kMattingResource, "PNG", picture))
                LOGTEXT::LogError("matting picture: picture %d missing.", kMattingResource);
            else if (!m_pMatting->LoadFromPictureData(picture.data, picture.size))
                LOGTEXT::LogError("matting picture: picture %d not taken.", kMattingResource);
            else
                loaded = true;
        }
    }
    // Without its picture the server goes on showing everything else.
    if (!loaded) LOGTEXT::LogError("matting picture not loaded; going on without matting.");
    std::lock_guard lock(m_csChannelLayout);
    m_render.mattingEnabled = loaded && m_nShowMatting != 0 ? 1 : 0;
}
