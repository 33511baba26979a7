#include "kestrane/calibrationdialogs.h"

#include "kestrane/gconfig.h"
#include "kestrane/geometrycorrection.h"

void CalibrationDialogs::openGeometryCorrection(int deviceId, QWidget* parent) {
    GeometryCorrection dialog(deviceId, parent);
    dialog.exec();
}

void CalibrationDialogs::handleKey(int key) {
    if (GeometryCorrection* dialog = GConfig::instance().geometryDialog) dialog->handleKey(key);
}
