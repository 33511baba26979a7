// Sound capture, levels and effect plug-ins behind the KTV_ exports.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Spectrum.h"
#include "av/AudioDevice.h"
#include "platform/tick.h"
#include "util/Util.h"
#include "velmar/ktv.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr int kChannels = 2;
// Room for a text of the catalogue, its NUL included.
constexpr size_t kTextSpace = 256;

// Cuts UTF-8 text to fit kTextSpace without splitting a character.
std::string Fit(const char* text) {
    std::string s = text ? text : "";
    if (s.size() < kTextSpace) return s;
    size_t n = kTextSpace - 1;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
    return s;
}

// One loaded plug-in instance; released with the last reference.
struct Effect {
    void* library = nullptr;
    const VelmarEffectPlugin* api = nullptr;
    void* instance = nullptr;
    std::string name;
    std::vector<std::string> presets;
    ~Effect() {
        if (instance) api->destroy(instance);
        if (library) dlclose(library);
    }
};

std::vector<fs::path> EffectFolders() {
    std::vector<fs::path> out;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        out.push_back(exe.parent_path() / "effects");
        // An installed program: <prefix>/bin beside <prefix>/share, whatever the prefix.
        out.push_back(exe.parent_path().parent_path() / "share" / "velmar" / "effects");
    }
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        if (end > start) out.push_back(fs::path(list.substr(start, end - start)) / "velmar" / "effects");
        start = end + 1;
    }
    return out;
}

std::shared_ptr<Effect> LoadEffect(const fs::path& file) {
    auto effect = std::make_shared<Effect>();
    effect->library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!effect->library) {
        const char* why = dlerror();
        LOGTEXT::LogInfo("effect %s skipped: %s", file.c_str(), why ? why : "cannot be loaded");
        return nullptr;
    }
    auto entry = reinterpret_cast<VelmarEffectEntry>(dlsym(effect->library, "velmar_effect_plugin"));
    const VelmarEffectPlugin* api = entry ? entry() : nullptr;
    if (!api || api->version != VELMAR_EFFECT_INTERFACE_VERSION || !api->create || !api->destroy || !api->title ||
        !api->presetCount || !api->presetTitle || !api->setPreset || !api->render) {
        LOGTEXT::LogInfo("effect %s skipped: not an effect plug-in of this version", file.c_str());
        return nullptr;
    }
    effect->api = api;
    effect->instance = api->create();
    if (!effect->instance) {
        LOGTEXT::LogInfo("effect %s skipped: it made no instance", file.c_str());
        return nullptr;
    }
    const char* title = api->title(effect->instance);
    const int32_t presets = api->presetCount(effect->instance);
    if (!title || !*title || presets <= 0) {
        LOGTEXT::LogInfo("effect %s skipped: %s", file.c_str(), presets <= 0 ? "no preset" : "no title");
        return nullptr;
    }
    effect->name = Fit(title);
    for (int32_t i = 0; i < presets; ++i) effect->presets.push_back(Fit(api->presetTitle(effect->instance, i)));
    return effect;
}

// The recorder, the current effect and the catalogue.
class SoundVisual {
public:
    static SoundVisual& Get() {
        static SoundVisual instance;
        return instance;
    }
    ~SoundVisual() { Stop(); }

    std::vector<std::shared_ptr<Effect>> BuildCatalogue() {
        std::vector<std::shared_ptr<Effect>> found;
        for (const fs::path& folder : EffectFolders()) {
            std::error_code ec;
            std::vector<fs::path> files;
            for (const auto& e : fs::directory_iterator(folder, ec))
                if (e.path().extension() == ".so") files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& f : files)
                if (auto effect = LoadEffect(f)) found.push_back(std::move(effect));
        }
        std::lock_guard lk(catalogueLock_);
        catalogue_ = found;
        return found;
    }

    void Select(const char* name, const char* preset) {
        std::shared_ptr<Effect> chosen;
        if (name) {
            std::vector<std::shared_ptr<Effect>> list;
            {
                std::lock_guard lk(catalogueLock_);
                list = catalogue_;
            }
            if (list.empty()) list = BuildCatalogue();
            for (const auto& e : list)
                if (e->name == name) chosen = e;
        }
        // The recorder thread renders under this lock: the old effect is
        // never released while it draws.
        std::lock_guard lk(renderLock_);
        current_ = chosen;
        if (current_ && preset) {
            const auto it = std::find(current_->presets.begin(), current_->presets.end(), std::string(preset));
            if (it != current_->presets.end())
                current_->api->setPreset(current_->instance, static_cast<int32_t>(it - current_->presets.begin()));
        }
    }

    void SetTarget(const VelmarSurface* target, const RECT& rect) {
        std::lock_guard lk(renderLock_);
        hasTarget_ = target != nullptr;
        if (target) target_ = *target;
        rect_ = rect;
    }

    // True when recording (already, or from now on).
    bool Start() {
        std::lock_guard lk(controlLock_);
        if (thread_.joinable()) {
            if (!ended_.load()) return true;
            // The device failed under the recorder: open it afresh.
            thread_.join();
        }
        auto input = std::make_unique<av::AudioInput>();
        std::string error;
        if (!input->Open("default", kRate, kChannels, &error)) {
            LOGTEXT::LogError("sound capture cannot open the default capture device: %s", error.c_str());
            return false;
        }
        {
            std::lock_guard s(stopLock_);
            stop_ = false;
        }
        ended_ = false;
        thread_ = std::thread([this, in = std::move(input)]() mutable {
            Record(*in);
            ended_ = true;
        });
        return true;
    }

    void Stop() {
        std::lock_guard lk(controlLock_);
        if (thread_.joinable()) {
            {
                std::lock_guard s(stopLock_);
                stop_ = true;
            }
            stopCv_.notify_all();
            thread_.join();
        }
        std::lock_guard r(renderLock_);
        current_.reset();
        hasTarget_ = false;
    }

private:
    void Record(av::AudioInput& input) {
        std::vector<int16_t> buffer(static_cast<size_t>(velmar::kSpectrumFrames) * kChannels);
        auto level = std::make_unique<VelmarTimedLevel>();
        const auto started = std::chrono::steady_clock::now();
        int64_t buffers = 0;
        for (;;) {
            {
                std::lock_guard s(stopLock_);
                if (stop_) break;
            }
            if (!input.Read(buffer.data(), velmar::kSpectrumFrames)) {
                LOGTEXT::LogError("sound capture ended: the capture device failed");
                break;
            }
            std::memset(level.get(), 0, sizeof *level);
            velmar::AudioSpectrum(buffer.data(), *level);
            level->state = 2;
            level->timeStamp = platform::GetTickCount();
            {
                std::lock_guard r(renderLock_);
                if (current_ && hasTarget_) current_->api->render(current_->instance, level.get(), &target_, &rect_);
            }
            // A device that hands out buffers faster than they are recorded
            // (a file) is taken at the recording's pace.
            ++buffers;
            const auto due = started + std::chrono::microseconds(buffers * velmar::kSpectrumFrames * 1000000 / kRate);
            std::unique_lock s(stopLock_);
            stopCv_.wait_until(s, due, [&] { return stop_; });
        }
        input.Close();
    }

    std::mutex controlLock_;
    std::thread thread_;
    std::atomic<bool> ended_{false};  // the recorder thread has returned
    std::mutex stopLock_;
    std::condition_variable stopCv_;
    bool stop_ = false;

    std::mutex renderLock_;
    std::shared_ptr<Effect> current_;
    VelmarSurface target_{};
    bool hasTarget_ = false;
    alignas(4) RECT rect_{};   // packed record, kept aligned for the plug-ins

    std::mutex catalogueLock_;
    std::vector<std::shared_ptr<Effect>> catalogue_;
};

char* CopyText(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// The array's block: 8 bytes whose last 4 hold the count, then the records.
constexpr size_t kHead = 8;

}  // namespace

extern "C" {

VELMAR_API int KTV_GetSoundEffects(KTV_SOUND_EFFECT** list, int* count) {
    const auto effects = SoundVisual::Get().BuildCatalogue();
    if (list) *list = nullptr;
    if (count) *count = 0;
    if (effects.empty() || !list) return 0;
    const size_t n = effects.size();
    auto* block = static_cast<uint8_t*>(std::calloc(1, kHead + n * sizeof(KTV_SOUND_EFFECT)));
    if (!block) return 0;
    const int32_t stored = static_cast<int32_t>(n);
    std::memcpy(block + kHead - sizeof stored, &stored, sizeof stored);
    auto* records = reinterpret_cast<KTV_SOUND_EFFECT*>(block + kHead);
    for (size_t i = 0; i < n; ++i) {
        KTV_SOUND_EFFECT& r = records[i];
        r.name = CopyText(effects[i]->name);
        r.presetCount = static_cast<int32_t>(std::min<size_t>(effects[i]->presets.size(), KTV_MAX_PRESETS));
        for (int32_t p = 0; p < KTV_MAX_PRESETS; ++p)
            r.presets[p] = CopyText(p < r.presetCount ? effects[i]->presets[static_cast<size_t>(p)] : std::string());
    }
    *list = records;
    if (count) *count = stored;
    return stored;
}

VELMAR_API void KTV_FreeSoundEffects(KTV_SOUND_EFFECT* list) {
    if (!list) return;
    uint8_t* block = reinterpret_cast<uint8_t*>(list) - kHead;
    int32_t n = 0;
    std::memcpy(&n, block + kHead - sizeof n, sizeof n);
    for (int32_t i = 0; i < n; ++i) {
        std::free(list[i].name);
        for (char* p : list[i].presets) std::free(p);
    }
    std::free(block);
}

VELMAR_API int KTV_StartCaptureRecord(const VelmarSurface* target, const RECT* rect, const char* effect,
                                      const char* preset) {
    if (!rect) return 0;
    SoundVisual& sv = SoundVisual::Get();
    // The selection and target stay for the next call even when the device
    // does not open now; the caller learns that nothing records.
    const bool recording = sv.Start();
    sv.Select(effect, preset);
    sv.SetTarget(target, *rect);
    return recording ? 1 : 0;
}

VELMAR_API int KTV_StopCaptureRecord() {
    SoundVisual::Get().Stop();
    return 1;
}

}  // extern "C"
