// The calibration dialogs as the configuration object opens them: each runs
// modally and is destroyed when it returns. Installed by the main window.
#pragma once

#include "kestrane/calibrationhooks.h"

class CalibrationDialogs : public CalibrationHooks {
public:
    void openGeometryCorrection(int deviceId, QWidget* parent) override;
    // To the open geometry-correction dialog, when there is one.
    void handleKey(int key) override;
};
