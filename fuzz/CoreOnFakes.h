// A display-server core on fakes (two 1920 x 1080 displays, recording output
// window and media factory) in a fresh scratch base folder, for the targets
// that drive the core.
#pragma once

#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "channel/Displays.h"
#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "util/Util.h"

namespace fuzzsupport {

struct CoreOnFakes {
    CoreOnFakes() : base(FreshDir("base")), media(FreshDir("base/media")) {
        static const bool once = [] {
            LOGTEXT::Setpath((ScratchDir() + "/log").c_str());
            return true;
        }();
        (void)once;
        backend.Add(0, 0, 1920, 1080, true);
        backend.Add(1920, 0, 1920, 1080);
        scoped = std::make_unique<ScopedDisplayBackend>(&backend);
        core = std::make_unique<CMediaManager>(base);
        CoreServices services;
        services.output = &output;
        services.media = &factory;
        services.system = &system;
        core->SetServices(services);
        core->SetCentralControl(&central);
        core->m_strMediaFolder = media;
    }
    ~CoreOnFakes() {
        core.reset();
        scoped.reset();
    }
    // The media folder command may take any folder the server accepts; the
    // uploads and scans that follow stay inside the scratch folder.
    void KeepMediaFolderInside() {
        const std::string& root = ScratchDir();
        if (core->m_strMediaFolder.compare(0, root.size(), root) != 0) core->m_strMediaFolder = media;
    }

    // A media object of the core over an empty file of the media folder
    // (loads open regular files only), in the core's list.
    IMedia* AddMedia(int type, const std::string& name) {
        const std::string path = media + "/" + name;
        WriteFile(path, nullptr, 0);
        IMedia* m = core->LoadMedia(type, path, nullptr);
        if (m) core->m_mediaList.push_back(m);
        return m;
    }

    std::string base;
    std::string media;
    FakeDisplayBackend backend;
    std::unique_ptr<ScopedDisplayBackend> scoped;
    FakeOutputWindow output;
    FakeMediaFactory factory;
    FakeSystemServices system;
    FakeCentralControl central;
    std::unique_ptr<CMediaManager> core;
};

}  // namespace fuzzsupport
