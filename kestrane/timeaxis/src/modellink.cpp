#include "modellink.h"

#include "kestrane/gconfig.h"
#include "kestrane/timeaxiswidget.h"

namespace kestrane::link {

TimeAxisWidget* timeAxis() { return GConfig::instance().timeAxis; }

void pausePlayback() {
    if (TimeAxisWidget* axis = timeAxis())
        axis->pause();
}

void setTimelineStart(int ms) {
    GConfig& config = GConfig::instance();
    config.setTimelineStartValue(ms);
    if (TimeAxisWidget* axis = timeAxis())
        axis->refreshRows(true);
    config.setSaved(false);
}

void setTimelineLength(int ms, int) {
    GConfig& config = GConfig::instance();
    config.setTimelineLengthValue(ms);
    if (TimeAxisWidget* axis = timeAxis())
        axis->refreshRows(true);
    config.setSaved(false);
}

// What the stage, the preview and the main window answer.
void refreshStage() {}
void showWaiting(bool) {}
void fitTimelineLength(int) {}
void fitTimeAxisToMedia(bool) {}
bool setPreviewMediaLayer(void*, int, int, int) { return false; }
void setPreviewTime(int) {}
void syncStageSelection() {}
void clearStageSelection() {}
void timeLineX() {}
void showMediaLater(int, bool) {}
void showStageInfo(int, bool) {}

}  // namespace kestrane::link
