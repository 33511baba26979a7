// The media factory the server core creates its media sources through.
#pragma once

#include "core/Seams.h"

class RenderMediaFactory : public IMediaFactory {
public:
    // Pictures (type 2) and screen captures (type 3) are made here; a type
    // whose source is not available gives null, which the core treats as a
    // failed load.
    std::unique_ptr<IMedia> CreateMedia(int32_t type) override;
};
