// The calibration dialogs as the configuration object opens them: each runs
// modally and is destroyed when it returns. Installed by the main window.
#pragma once

#include "kestrane/calibrationopeners.h"

class CalibrationDialogs : public CalibrationOpeners {
public:
    void openGeometryCorrection(int deviceId, QWidget* parent) override;
    // To the open geometry-correction dialog, when there is one.
    void handleKey(int key) override;
};
