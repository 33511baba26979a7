// Members of the core whose behaviour arrives with the command families, the
// media list files, playback, timeline, task plans, cursor and file lists,
// and the channel model. Until then they do nothing and a command of a
// family answers with result 0 and the zeroed reply head.
#include "core/MediaManager.h"

int32_t CMediaManager::OnSyncCommand(const tagNETHEAD&, tagNETHEAD&) { return 0; }

// Background, default background and matting pictures (still pictures).
void CMediaManager::PreparePictureMedia() {}

// Playback control.
int CMediaManager::LoadDefaultBackground() { return 1; }
void CMediaManager::LoadMattingImage() {}

// Playlist advance and media replacement.
void CMediaManager::StartSyncMediaLoad(IMedia*) {}
void CMediaManager::LoadSyncMedia(int32_t) {}
IMedia* CMediaManager::SyncUpdateMedia(const std::string&, int32_t, int32_t) { return nullptr; }
