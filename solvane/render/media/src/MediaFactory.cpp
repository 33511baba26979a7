#include "media/MediaFactory.h"

#include "media/Pictures.h"
#include "media/ScreenCapture.h"

std::unique_ptr<IMedia> RenderMediaFactory::CreateMedia(int32_t type) {
    switch (type) {
    case kMediaPicture:
        return std::make_unique<BMP>();
    case kMediaScreenCapture:
        return std::make_unique<CScreenCapGDI>();
    default:
        return nullptr;
    }
}
