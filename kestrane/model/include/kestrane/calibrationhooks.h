// The calibration dialogs, as the stage's device items and the main window
// open them. The calibration dialogs install one implementation with
// GConfig::setCalibrationHooks; every default does nothing.
#pragma once

#include <QList>

class QWidget;

class CalibrationHooks {
public:
    virtual ~CalibrationHooks() = default;

    // Run the matrix layout modally for the devices (selection order); accepted: placed, grouped, worlds reset; rejected: servers restored.
    virtual void openMatrixLayout(const QList<int>& /*deviceIds*/, QWidget* /*parent*/) {}
    // Run the geometry-correction dialog modally for the device (it registers itself as GConfig::geometryDialog while it exists).
    virtual void openGeometryCorrection(int /*deviceId*/, QWidget* /*parent*/) {}
    // Run the colour-correction dialog modally for the device.
    virtual void openColorCorrection(int /*deviceId*/, QWidget* /*parent*/) {}
    // Hand a key typed in the open geometry-correction window to its warp view.
    virtual void handleKey(int /*key*/) {}
};
