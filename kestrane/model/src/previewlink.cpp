#include "kestrane/previewlink.h"

#include "velmar/kestrane.h"

namespace {

class VelmarPreview : public PreviewLink {
public:
    int setPlayRate(double rate, void* media) override { return Kestrane_SetPlayRate(rate, media); }
    int play() override { return Kestrane_Play(); }
    int pause() override { return Kestrane_Pause(); }
    int setCurrentTimeline(double t) override { return Kestrane_SetCurrentTimeline(t); }
    int setMediaLayer(void* media, int layer, double start, double stop) override {
        // The library keeps a given rectangle for its caller; the console
        // gives none.
        return Kestrane_SetMediaLayer(media, layer, start, stop, nullptr);
    }
    int muteMedia(bool mute, void* media) override { return Kestrane_MuteMedia(mute ? 1 : 0, media); }
    int removeMedia(void* media) override {
        // The library reads null as "every media".
        return media ? Kestrane_RemoveMedia(media) : 0;
    }
    void* addMedia(int layer, int type, const char* path, PreviewFrameCallback callback, void* user) override {
        return Kestrane_AddMedia(layer, type, path, callback, user);
    }
    int getMediaInfo(void* media, void** frame, int* width, int* height, double* position,
                     double* duration) override {
        return Kestrane_GetMediaInfo(media, frame, width, height, position, duration);
    }
};

}  // namespace

PreviewLink& kestrane::velmarPreview() {
    static VelmarPreview* preview = new VelmarPreview;
    return *preview;
}
