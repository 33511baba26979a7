// Player events of media sources (video files report the end of their
// stream), drained on the output window's thread.
#pragma once

#include <cstdint>
#include <functional>

#include "media/PlayerEvents.h"

class CMediaManager;
class IMedia;

// Waits up to the given time for every slave node to report (node
// synchronisation); empty: nothing to wait for.
using WaitAllSlaveNodesFn = std::function<void(uint32_t timeoutMs)>;

// Drains the player events of media when it is still in the core's media
// list, rewinding, looping or stopping it at the end of its stream and
// telling the other servers when this one is the main server.
void HandleMediaPlayerEvents(CMediaManager& core, IMedia* media, const WaitAllSlaveNodesFn& waitAllSlaveNodes);

// Tick of the last synchronised stop at the end of a stream (0: none yet).
uint32_t LastSyncStopTick();
