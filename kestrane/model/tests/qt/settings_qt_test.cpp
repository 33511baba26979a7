#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <string>

#include "kestrane/gconfig.h"
#include "kestrane/settings.h"
#include "platform/textcodec.h"
#include "qt/qtapp.h"
#include "support/support.h"

using namespace kestrane;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

// Points the XDG configuration and data folders at a temp folder.
class SettingsQtTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        save("XDG_CONFIG_HOME", root() + "/config");
        save("XDG_DATA_HOME", root() + "/data");
        save("XDG_DATA_DIRS", root() + "/system");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value.first)
                setenv(name.c_str(), value.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    std::string root() const { return dir.str(); }
    QString qroot() const { return QString::fromStdString(dir.str()); }
    void save(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved.emplace_back(name, std::make_pair(old != nullptr, std::string(old ? old : "")));
        setenv(name.c_str(), value.c_str(), 1);
    }

    testsupport::TempDir dir;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved;
};

}  // namespace

TEST_F(SettingsQtTest, SettingsLiveInTheProgramsOwnConfigurationFolder) {
    const QString app = QCoreApplication::applicationName();
    ASSERT_FALSE(app.isEmpty());
    EXPECT_EQ(GConfig::settingsFilePath(false), qroot() + q("/config/") + app + q("/setting.ini"));
    EXPECT_TRUE(QFileInfo(qroot() + q("/config/") + app).isDir());
}

TEST_F(SettingsQtTest, HelpLinksFromTheProgramsDataFolder) {
    // Nothing installed: the path beside the program, every link empty.
    EXPECT_EQ(GConfig::settingsFilePath(true), QCoreApplication::applicationDirPath() + q("/help.ini"));
    QList<HelpLink> links = readHelpLinks();
    ASSERT_EQ(links.size(), kHelpLinkCount);
    for (const HelpLink& l : links) EXPECT_TRUE(l.title.isEmpty() && l.url.isEmpty());

    const QString folder = qroot() + q("/system/") + QCoreApplication::applicationName();
    QDir().mkpath(folder);
    testsupport::WriteFile((folder + q("/help.ini")).toStdString(),
                           "[help]\r\nbook1=" + platform::Utf8ToGbk("使用说明") +
                               "\r\nbookurl1=http://example.invalid/1\r\nbook5=" + platform::Utf8ToGbk("常见问题") +
                               "\r\nbookurl5=http://example.invalid/faq?a=1\r\n");
    EXPECT_EQ(GConfig::settingsFilePath(true), folder + q("/help.ini"));
    links = readHelpLinks();
    ASSERT_EQ(links.size(), kHelpLinkCount);
    EXPECT_EQ(links[0].title, q("使用说明"));
    EXPECT_EQ(links[0].url, q("http://example.invalid/1"));
    EXPECT_TRUE(links[1].title.isEmpty());
    EXPECT_EQ(links[4].title, q("常见问题"));
    EXPECT_EQ(links[4].url, q("http://example.invalid/faq?a=1"));
    // Reading help.ini never writes it.
    EXPECT_FALSE(QFileInfo::exists(folder + q("/help.ini.bad")));
}

TEST_F(SettingsQtTest, StartAtLogInIsAnAutostartEntry) {
    const QString entry = qroot() + q("/config/autostart/kestrane.desktop");
    EXPECT_FALSE(isClientAutoStartEntry());
    ASSERT_TRUE(setClientAutoStartEntry(true));
    EXPECT_TRUE(isClientAutoStartEntry());
    const std::string text = testsupport::ReadFile(entry.toStdString());
    EXPECT_NE(text.find("Exec=" + QCoreApplication::applicationFilePath().toStdString() + " start\n"),
              std::string::npos)
        << text;
    ASSERT_TRUE(setClientAutoStartEntry(false));
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_FALSE(isClientAutoStartEntry());
}
