// Members of the core whose behaviour arrives with the still pictures of the
// background and matting. Until then they do nothing.
#include "core/MediaManager.h"

// Background, default background and matting pictures (still pictures).
void CMediaManager::PreparePictureMedia() {}

// Playback control.
int CMediaManager::LoadDefaultBackground() { return 1; }
void CMediaManager::LoadMattingImage() {}

