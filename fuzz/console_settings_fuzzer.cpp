// The console's setting.ini as every settings read meets it: the general
// settings, the start panel and add-device values and the recent projects,
// then a write (which must not bring a set-aside file back). A stored value
// Qt cannot read must set the file aside, never end the program.
#include <QFile>
#include <QSettings>

#include "QtApp.h"
#include "kestrane/gconfig.h"
#include "kestrane/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::QtApp();
    static const QString path = GConfig::settingsFilePath(false);
    QFile::remove(path + QStringLiteral(".bad"));
    fuzzsupport::WriteFile(path.toStdString(), data, size);
    (void)kestrane::GeneralSettings::read();
    (void)kestrane::BaseSettings::read();
    (void)kestrane::readRecentProjects();
    {
        auto settings = kestrane::openSettings();
        if (settings) {
            (void)kestrane::GeneralSettings::read(*settings);
            GConfig::updateRecentProjects(*settings, QStringLiteral("a.vadra"), QStringLiteral("/p/a.vadra"), false);
        }
    }
    (void)kestrane::writeShowList(1);
    (void)kestrane::readRecentProjects();
    return 0;
}
