// Sound capture and visualisation: the default capture device is recorded
// (44,100 Hz, 2 channels, 16 bits, 1,024 frames a buffer), each buffer is
// turned into levels (velmar/soundeffect.h) and drawn by the selected effect
// plug-in into the caller's surface. The catalogue lists the plug-ins found.
#pragma once

#include <stdint.h>

#include "platform/types.h"
#include "velmar/export.h"
#include "velmar/soundeffect.h"

extern "C" {

inline constexpr int KTV_MAX_PRESETS = 50;

// One plug-in. The fields keep their order; on 64-bit Linux the pointers
// make the record 416 bytes. The texts belong to the library and live until
// KTV_FreeSoundEffects. The count of records is an int32 in the 4 bytes
// before the first record.
struct KTV_SOUND_EFFECT {
    char* name;                          // the plug-in's title
    int32_t presetCount;                 // at most 50
    char* presets[KTV_MAX_PRESETS];      // beyond the count: empty texts
};

// Lists the plug-ins afresh: *list gets a new array (or null) and *count the
// number of plug-ins, which is returned. Texts longer than 255 bytes are cut
// at a character boundary.
VELMAR_API int KTV_GetSoundEffects(KTV_SOUND_EFFECT** list, int* count);
// Releases a list of KTV_GetSoundEffects; null does nothing.
VELMAR_API void KTV_FreeSoundEffects(KTV_SOUND_EFFECT* list);
// Starts recording (when not yet) and selects the effect by title and its
// preset by title (either may be null; no effect: nothing is drawn). target
// and rect say where to draw; the target must stay valid until
// KTV_StopCaptureRecord. 1, or 0 without a rectangle.
VELMAR_API int KTV_StartCaptureRecord(const VelmarSurface* target, const RECT* rect, const char* effect,
                                      const char* preset);
// Stops recording, waiting for the buffer being analysed, and releases the
// effect. Always 1.
VELMAR_API int KTV_StopCaptureRecord();

}  // extern "C"
