#include "media/MediaFactory.h"

#include "core/MediaManager.h"
#include "media/FileVideo.h"
#include "media/InputVideo.h"
#include "media/Pictures.h"
#include "media/ScreenCapture.h"

RenderMediaFactory::RenderMediaFactory(std::function<bool()> syncMediaEnabled)
    : m_syncMediaEnabled(std::move(syncMediaEnabled)) {}

std::unique_ptr<IMedia> RenderMediaFactory::CreateMedia(int32_t type) {
    switch (type) {
    case kMediaFileVideo: {
        const bool sync = m_syncMediaEnabled ? m_syncMediaEnabled() : GetMediaManager()->m_nSyncMediaEnable != 0;
        return std::make_unique<FileVideo>(sync, GetMediaManager() ? GetMediaManager()->m_strAudioDevice : "default");
    }
    case kMediaCapture:
        return std::make_unique<InputVideo>();
    case kMediaPicture:
        return std::make_unique<BMP>();
    case kMediaScreenCapture:
        return std::make_unique<CScreenCapGDI>();
    case kMediaMattingPicture:
        return std::make_unique<CMattingImage>();
    default:
        return nullptr;
    }
}
