#include "media/MediaFactory.h"

#include "media/Pictures.h"

std::unique_ptr<IMedia> RenderMediaFactory::CreateMedia(int32_t type) {
    switch (type) {
    case kMediaPicture:
        return std::make_unique<BMP>();
    default:
        return nullptr;
    }
}
