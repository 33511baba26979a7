// The console's settings files: setting.ini (user settings) and help.ini
// (help links shipped with the program). Every reader and writer opens the
// file anew; no settings object lives on.
#pragma once

#include <QList>
#include <QString>
#include <QVariantList>

#include <memory>

class QSettings;
struct TOLVA_GENERAL_CONFIG;

namespace kestrane {

// setting.ini (or with `help` help.ini) in ini format with the GBK codec.
// A setting.ini that cannot be parsed is copied to "setting.ini.bad" first,
// because the next write would rewrite it from the part that could be read.
std::unique_ptr<QSettings> openSettings(bool help = false);

// Group "GeneralSettings". Missing or unusable values read as the defaults.
struct GeneralSettings {
    QString showCluster;
    QString defaultIpA = QStringLiteral("192");
    QString defaultIpB = QStringLiteral("168");
    QString defaultIpC = QStringLiteral("1");
    int refreshRate = 60;
    int defaultPicDuration = 10;   // s
    int defaultPlayDuration = 5;   // min
    int defaultSoundVolume = 70;
    QString savePath;              // documents folder with a trailing separator
    int autoSaveInterval = 1;      // min
    bool saveWhenClose = false;
    bool serverAutoStart = false;
    bool serverAutoLoadFile = false;
    bool clientAutoStart = false;
    bool clientAutoMinimize = false;
    bool clientAutoLoadFile = false;
    QString clientAutoLoadFilePath;
    bool clientAutoConnect = false;
    bool clientAutoConnectAndPlay = false;
    bool clientAutoConnectWhenOpen = false;

    GeneralSettings();
    static GeneralSettings read(QSettings& settings);
    static GeneralSettings read();
    // Writes every key of the group; false when the file could not be written.
    bool write() const;
    // "%1.%2.%3.1": the address proposed for a new device.
    QString proposedIp() const;
};

// The general configuration sent to the display servers: zeroed, then
// showCluster (UTF-8, cut at a character to 31 bytes), the refresh rate and
// the two server flags as 0 or 1.
void fillGeneralConfig(const GeneralSettings& settings, TOLVA_GENERAL_CONFIG& config);

// Default of "savePath": the user's documents folder ending in a separator.
QString defaultSavePath();

// Group "base": the start panel's switch and what the add-device dialog
// entered last. A key never written reads as `has...` false.
struct BaseSettings {
    int showList = 0;
    bool hasIp = false;
    QString ip;
    bool hasIndex = false;
    int index = 0;
    bool hasWidth = false;
    int width = 0;
    bool hasHeight = false;
    int height = 0;

    static BaseSettings read();
};
bool writeShowList(int showList);
// The custom size is kept only for the custom preset: a fixed preset
// leaves the remembered custom size alone.
constexpr int kCustomPresetIndex = 10;
bool writeLastDevice(const QString& ip, int index, int width, int height);

// Group "projects", key "projectData": (file name, full path), newest first.
struct RecentProject {
    QString name;
    QString path;
};
constexpr int kMaxRecentProjects = 6;
// Entries that are not lists of at least two values are skipped.
QList<RecentProject> readRecentProjects();
QList<RecentProject> recentProjectsOf(const QVariantList& projectData);

// help.ini, group "help": "book1".."book5" and "bookurl1".."bookurl5".
struct HelpLink {
    QString title;
    QString url;
};
constexpr int kHelpLinkCount = 5;
QList<HelpLink> readHelpLinks();

// The console's start at log-in (an XDG autostart entry whose command ends
// in " start"); false when the entry could not be written or removed.
bool setClientAutoStartEntry(bool enable);
bool isClientAutoStartEntry();

}  // namespace kestrane
