// Short-lived worker threads of the core (playlist advance, media switch,
// receiver restart): started without waiting for them, joined at shutdown.
#pragma once

#include <functional>

class CMediaManager;

// Runs body on a new thread; finished threads are joined on the way.
void StartSyncWorker(CMediaManager& core, std::function<void()> body, const char* name);
