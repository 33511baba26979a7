// Colour bands in the background picture (colour commands 203 and 304).
#include "core/MediaManager.h"
#include "util/Util.h"

void CMediaManager::FillBackgroundColorBars(const std::vector<uint32_t>& colours, bool vertical) {
    // The frame renderer reads the background picture under the media lock.
    std::lock_guard lock(m_csMedia);
    // The picture object is made by the media factory the first time it is
    // needed; it stays with the core until the core goes.
    if (!m_pBackground) m_pBackground = MediaFactory().CreateMedia(kMediaPicture).release();
    if (!m_pBackground) {
        LOGTEXT::LogError("colour bars: no background picture.");
        return;
    }
    if (!m_pBackground->FillColorBars(colours, vertical))
        LOGTEXT::LogError("colour bars: %zu colours not drawn.", colours.size());
}
