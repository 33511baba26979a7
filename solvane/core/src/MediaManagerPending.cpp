// Members of the core whose behaviour arrives with the command families, the
// media list files, playback, timeline, task plans, cursor and file lists,
// and the channel model. Until then they do nothing and a command of a
// family answers with result 0 and the zeroed reply head.
#include "core/MediaManager.h"

int32_t CMediaManager::OnLayerCommand(const tagNETHEAD&, const uint8_t*, uint32_t, tagNETHEAD&,
                                      std::vector<uint8_t>&) {
    return 0;
}

// Background, default background and matting pictures (still pictures).
void CMediaManager::PreparePictureMedia() {}

// Playback control.
int CMediaManager::LoadDefaultBackground() { return 1; }
void CMediaManager::LoadMattingImage() {}

// Task plans.
void CMediaManager::LoadTaskPlans() {}
void CMediaManager::SaveTaskPlan() {}
void CMediaManager::stopalltask() {}
void CMediaManager::StartTaskPlanThread() {}
// The task record of the main server (801, task bit): runs the named plan.
void CMediaManager::StartSyncTask(const std::string&) {}

