// The media factory the server core creates its media sources through.
#pragma once

#include <functional>

#include "core/Seams.h"

class RenderMediaFactory : public IMediaFactory {
public:
    // syncMediaEnabled tells whether new video files run on a sync clock;
    // empty means the server core's [SyncMedia] Enable.
    explicit RenderMediaFactory(std::function<bool()> syncMediaEnabled = {});

    // Video files (type 0), capture devices (type 1), pictures (type 2) and
    // screen captures (type 3) are made here; a type whose source is not
    // available gives null, which the core treats as a failed load.
    std::unique_ptr<IMedia> CreateMedia(int32_t type) override;

private:
    std::function<bool()> m_syncMediaEnabled;
};
