// What the configuration object asks of the console's windows, split by the
// window that answers: the stage, the main window, the time axis, the side
// panels and the calibration dialogs. Each window installs its own part on
// GConfig; a part not installed does nothing.
#pragma once

#include "kestrane/calibrationhooks.h"
#include "kestrane/mainwindowhooks.h"
#include "kestrane/sidepanelhooks.h"
#include "kestrane/stagehooks.h"
#include "kestrane/timeaxishooks.h"

// All parts in one object, for a host (or a test) that answers for several
// windows at once; GConfig::setHooks installs every part of it.
class ConsoleHooks : public StageHooks,
                     public MainWindowHooks,
                     public TimeAxisHooks,
                     public SidePanelHooks,
                     public CalibrationHooks {};
