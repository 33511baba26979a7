// A sound effect plug-in for the tests: a title and 75 presets (none with
// EFFECT_WITHOUT_PRESETS); it fills the rectangle with one colour and keeps
// the first levels it was given, which the test reads through its exports.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "velmar/soundeffect.h"

namespace {

std::mutex g_lock;
VelmarTimedLevel g_first{};
std::atomic<int> g_renders{0};
std::atomic<int> g_instances{0};

struct Instance {
    int preset = 0;
    std::string titles[75];
};

void* Create() {
    auto* in = new Instance;
    for (int i = 0; i < 75; ++i) in->titles[i] = "Preset " + std::to_string(i);
    // Longer than a catalogue text may be: 100 three-byte characters.
    in->titles[1].clear();
    for (int i = 0; i < 100; ++i) in->titles[1] += "\xe9\x9f\xb3";
    ++g_instances;
    return in;
}
void Destroy(void* p) {
    delete static_cast<Instance*>(p);
    --g_instances;
}
const char* Title(void*) { return "Test Bars"; }
int32_t PresetCount(void*) {
#ifdef EFFECT_WITHOUT_PRESETS
    return 0;
#else
    return 75;
#endif
}
const char* PresetTitle(void* p, int32_t i) { return i >= 0 && i < 75 ? static_cast<Instance*>(p)->titles[i].c_str() : ""; }
void SetPreset(void* p, int32_t i) { static_cast<Instance*>(p)->preset = i; }
void Render(void* p, const VelmarTimedLevel* level, const VelmarSurface* target, const RECT* where) {
    const RECT box = *where;   // RECT is a packed record: read it by copy
    const RECT* rect = &box;
    if (g_renders.fetch_add(1) == 0) {
        std::lock_guard lk(g_lock);
        g_first = *level;
    }
    // The colour tells the preset: green, blue for preset 2.
    const uint32_t colour = static_cast<Instance*>(p)->preset == 2 ? 0xff0000ffu : 0xff00c000u;
    for (int32_t y = std::max(rect->top, 0); y < std::min(rect->bottom, target->height); ++y)
        for (int32_t x = std::max(rect->left, 0); x < std::min(rect->right, target->width); ++x)
            std::memcpy(target->bits + y * target->stride + x * 4, &colour, 4);
}

const VelmarEffectPlugin kPlugin = {VELMAR_EFFECT_INTERFACE_VERSION, Create, Destroy, Title, PresetCount,
                                    PresetTitle, SetPreset, Render};

}  // namespace

extern "C" __attribute__((visibility("default"))) const VelmarEffectPlugin* velmar_effect_plugin(void) {
    return &kPlugin;
}
extern "C" __attribute__((visibility("default"))) int velmar_test_renders(void) { return g_renders.load(); }
extern "C" __attribute__((visibility("default"))) int velmar_test_instances(void) { return g_instances.load(); }
extern "C" __attribute__((visibility("default"))) void velmar_test_first_level(VelmarTimedLevel* out) {
    std::lock_guard lk(g_lock);
    *out = g_first;
}
