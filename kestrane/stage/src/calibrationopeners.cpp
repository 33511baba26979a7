#include "kestrane/calibrationopeners.h"

#include "kestrane/colorcorrection.h"
#include "kestrane/matrixlayout.h"

void CalibrationOpeners::openMatrixLayout(const QList<int>& deviceIds, QWidget* parent) {
    if (deviceIds.isEmpty()) return;
    MatrixLayout dialog(deviceIds, parent);
    dialog.exec();
}

void CalibrationOpeners::openColorCorrection(int deviceId, QWidget* parent) {
    ColorCorrection dialog(deviceId, parent);
    dialog.exec();
}
