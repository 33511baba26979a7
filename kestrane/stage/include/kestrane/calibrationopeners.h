// The calibration dialogs as the device items open them, each run modally
// and destroyed when it ends.
#pragma once

#include "kestrane/calibrationhooks.h"

class CalibrationOpeners : public CalibrationHooks {
public:
    void openMatrixLayout(const QList<int>& deviceIds, QWidget* parent) override;
    void openColorCorrection(int deviceId, QWidget* parent) override;
};
