// The console's project file: vetted (checkProjectFile) and loaded
// (loadProjectData) as an operator's open does, on the no-op windows and
// without the automatic connect. A file that loads is written again and
// must load again.
#include <QByteArray>
#include <QStringList>

#include "QtApp.h"
#include "kestrane/gconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::QtApp();
    GConfig& c = GConfig::instance();
    c.setAutostartRun(true);
    c.clearProject();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QStringList missing;
    const bool whole = c.checkProjectFile(bytes, missing);
    const bool loaded = c.loadProjectData(bytes, QStringLiteral("/fuzz/show.vadra"));
    // The vetting and the load agree on what is a project file.
    if (loaded && !whole && missing.isEmpty()) __builtin_trap();
    if (loaded) {
        const QByteArray again = c.projectFileBytes();
        c.clearProject();
        if (!c.loadProjectData(again, QStringLiteral("/fuzz/show.vadra"))) __builtin_trap();
    }
    c.clearProject();
    return 0;
}
