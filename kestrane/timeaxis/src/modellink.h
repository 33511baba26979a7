// The project-model calls of the time axis that reach other parts of the
// console (stage, preview, main window) or the model's own timeline logic.
#pragma once

class TimeAxisWidget;

namespace kestrane::link {

TimeAxisWidget* timeAxis();

void pausePlayback();
void refreshStage();
void showWaiting(bool show);
void fitTimelineLength(int grow);
void fitTimeAxisToMedia(bool grow);
void setTimelineStart(int ms);
void setTimelineLength(int ms, int mode);
bool setPreviewMediaLayer(void* handle, int layer, int startMs, int durationMs);
void setPreviewTime(int ms);
void syncStageSelection();
void clearStageSelection();
void timeLineX();
void showMediaLater(int mediaId, bool show);
void showStageInfo(int id, bool device);

}  // namespace kestrane::link
