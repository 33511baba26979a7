#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariantList>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kestrane/gconfig.h"
#include "kestrane/settings.h"
#include "platform/textcodec.h"
#include "support/support.h"

using namespace kestrane;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray gbk(const char* utf8) { return QByteArray::fromStdString(platform::Utf8ToGbk(utf8)); }

// Points the configuration folder at a fresh temp folder for one test.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld = old != nullptr;
        if (old) oldValue = old;
        setenv("XDG_CONFIG_HOME", (dir.str() + "/配置").c_str(), 1);
    }
    void TearDown() override {
        if (hadOld)
            setenv("XDG_CONFIG_HOME", oldValue.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    QString folder() const { return QString::fromStdString(dir.str()) + q("/配置"); }
    QString path() const { return GConfig::settingsFilePath(false); }
    QByteArray fileBytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QByteArray& bytes) {
        QDir().mkpath(folder());
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    testsupport::TempDir dir;
    bool hadOld = false;
    std::string oldValue;
};

void expectDefaults(const GeneralSettings& g) {
    EXPECT_EQ(g.showCluster, QString());
    EXPECT_EQ(g.defaultIpA, q("192"));
    EXPECT_EQ(g.defaultIpB, q("168"));
    EXPECT_EQ(g.defaultIpC, q("1"));
    EXPECT_EQ(g.refreshRate, 60);
    EXPECT_EQ(g.defaultPicDuration, 10);
    EXPECT_EQ(g.defaultPlayDuration, 5);
    EXPECT_EQ(g.defaultSoundVolume, 70);
    EXPECT_EQ(g.autoSaveInterval, 1);
    EXPECT_EQ(g.savePath, defaultSavePath());
    EXPECT_FALSE(g.saveWhenClose);
    EXPECT_FALSE(g.serverAutoStart);
    EXPECT_FALSE(g.serverAutoLoadFile);
    EXPECT_FALSE(g.clientAutoStart);
    EXPECT_FALSE(g.clientAutoMinimize);
    EXPECT_FALSE(g.clientAutoLoadFile);
    EXPECT_EQ(g.clientAutoLoadFilePath, QString());
    EXPECT_FALSE(g.clientAutoConnect);
    EXPECT_FALSE(g.clientAutoConnectAndPlay);
    EXPECT_FALSE(g.clientAutoConnectWhenOpen);
}

GeneralSettings changed() {
    GeneralSettings g;
    g.showCluster = q("展厅一号");
    g.defaultIpA = q("10");
    g.defaultIpB = q("0");
    g.defaultIpC = q("7");
    g.refreshRate = 75;
    g.defaultPicDuration = 12;
    g.defaultPlayDuration = 8;
    g.defaultSoundVolume = 35;
    g.savePath = q("/home/操作员/演出/");
    g.autoSaveInterval = 5;
    g.saveWhenClose = true;
    g.serverAutoStart = true;
    g.serverAutoLoadFile = true;
    g.clientAutoStart = true;
    g.clientAutoMinimize = true;
    g.clientAutoLoadFile = true;
    g.clientAutoLoadFilePath = q("/home/操作员/演出/开幕, 第一场.vadra");
    g.clientAutoConnect = true;
    g.clientAutoConnectAndPlay = true;
    g.clientAutoConnectWhenOpen = true;
    return g;
}

void expectSame(const GeneralSettings& a, const GeneralSettings& b) {
    EXPECT_EQ(a.showCluster, b.showCluster);
    EXPECT_EQ(a.defaultIpA, b.defaultIpA);
    EXPECT_EQ(a.defaultIpB, b.defaultIpB);
    EXPECT_EQ(a.defaultIpC, b.defaultIpC);
    EXPECT_EQ(a.refreshRate, b.refreshRate);
    EXPECT_EQ(a.defaultPicDuration, b.defaultPicDuration);
    EXPECT_EQ(a.defaultPlayDuration, b.defaultPlayDuration);
    EXPECT_EQ(a.defaultSoundVolume, b.defaultSoundVolume);
    EXPECT_EQ(a.savePath, b.savePath);
    EXPECT_EQ(a.autoSaveInterval, b.autoSaveInterval);
    EXPECT_EQ(a.saveWhenClose, b.saveWhenClose);
    EXPECT_EQ(a.serverAutoStart, b.serverAutoStart);
    EXPECT_EQ(a.serverAutoLoadFile, b.serverAutoLoadFile);
    EXPECT_EQ(a.clientAutoStart, b.clientAutoStart);
    EXPECT_EQ(a.clientAutoMinimize, b.clientAutoMinimize);
    EXPECT_EQ(a.clientAutoLoadFile, b.clientAutoLoadFile);
    EXPECT_EQ(a.clientAutoLoadFilePath, b.clientAutoLoadFilePath);
    EXPECT_EQ(a.clientAutoConnect, b.clientAutoConnect);
    EXPECT_EQ(a.clientAutoConnectAndPlay, b.clientAutoConnectAndPlay);
    EXPECT_EQ(a.clientAutoConnectWhenOpen, b.clientAutoConnectWhenOpen);
}

}  // namespace

TEST_F(SettingsTest, FreshProfileMakesTheFolderAndReadsTheDefaults) {
    EXPECT_FALSE(QFileInfo::exists(folder()));
    expectDefaults(GeneralSettings::read());
    EXPECT_TRUE(QFileInfo(folder()).isDir());
    EXPECT_EQ(path(), folder() + q("/setting.ini"));

    // The documents folder with a trailing separator.
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    EXPECT_EQ(defaultSavePath(), docs + q("/"));

    const BaseSettings b = BaseSettings::read();
    EXPECT_EQ(b.showList, 0);
    EXPECT_FALSE(b.hasIp || b.hasIndex || b.hasWidth || b.hasHeight);
    EXPECT_TRUE(readRecentProjects().isEmpty());
    EXPECT_EQ(GeneralSettings().proposedIp(), q("192.168.1.1"));
}

TEST_F(SettingsTest, GeneralSettingsReadBackWhatWasWritten) {
    const GeneralSettings want = changed();
    ASSERT_TRUE(want.write());
    expectSame(GeneralSettings::read(), want);
    EXPECT_EQ(GeneralSettings::read().proposedIp(), q("10.0.7.1"));

    // Chinese values are GBK bytes in the file.
    const QByteArray bytes = fileBytes();
    EXPECT_TRUE(bytes.contains("[GeneralSettings]"));
    EXPECT_TRUE(bytes.contains("showCluster=" + gbk("展厅一号") + "\n")) << bytes.constData();
    EXPECT_TRUE(bytes.contains(gbk("操作员")));
    EXPECT_FALSE(bytes.contains(q("展厅").toUtf8()));
    EXPECT_TRUE(bytes.contains("refreshRate=75\n"));
    EXPECT_TRUE(bytes.contains("saveWhenClose=true\n"));
}

TEST_F(SettingsTest, AFileWrittenElsewhereIsRead) {
    writeFile("[GeneralSettings]\r\nshowCluster=" + gbk("大厅") + "\r\nrefreshRate=75\r\nserverAutoStart=true\r\n" +
              "clientAutoLoadFilePath=/data/" + gbk("演出") + "/a.vadra\r\n[base]\r\nshowList=1\r\ndip=10.1.1.9\r\n" +
              "dindex=3\r\ndwidth=1280\r\ndheight=720\r\n");
    const GeneralSettings g = GeneralSettings::read();
    EXPECT_EQ(g.showCluster, q("大厅"));
    EXPECT_EQ(g.refreshRate, 75);
    EXPECT_TRUE(g.serverAutoStart);
    EXPECT_EQ(g.clientAutoLoadFilePath, q("/data/演出/a.vadra"));
    EXPECT_EQ(g.defaultSoundVolume, 70);  // missing: default
    const BaseSettings b = BaseSettings::read();
    EXPECT_EQ(b.showList, 1);
    EXPECT_TRUE(b.hasIp && b.hasIndex && b.hasWidth && b.hasHeight);
    EXPECT_EQ(b.ip, q("10.1.1.9"));
    EXPECT_EQ(b.index, 3);
    EXPECT_EQ(b.width, 1280);
    EXPECT_EQ(b.height, 720);
}

TEST_F(SettingsTest, UnusableValuesReadAsDefaults) {
    struct Case {
        const char* line;
        int refreshRate;
        int volume;
        QString showCluster;
    };
    const Case cases[] = {
        {"refreshRate=abc", 60, 70, QString()},
        {"refreshRate=", 60, 70, QString()},
        {"refreshRate=75.5", 60, 70, QString()},
        {"refreshRate= 120 ", 120, 70, QString()},
        {"defaultSoundVolume=99999999999", 60, 70, QString()},  // beyond int
        {"defaultSoundVolume=-20", 60, -20, QString()},
        // A hand-written comma makes Qt read a list; it is still one text.
        {"showCluster=a,b", 60, 70, q("a,b")},
        {"SHOWCLUSTER=x", 60, 70, QString()},  // keys keep their case
    };
    for (const Case& c : cases) {
        writeFile(QByteArray("[GeneralSettings]\n") + c.line + "\n");
        const GeneralSettings g = GeneralSettings::read();
        EXPECT_EQ(g.refreshRate, c.refreshRate) << c.line;
        EXPECT_EQ(g.defaultSoundVolume, c.volume) << c.line;
        EXPECT_EQ(g.showCluster, c.showCluster) << c.line;
    }
}

TEST_F(SettingsTest, WritingKeepsTheOtherGroups) {
    writeFile("[projects]\nprojectData=@Invalid()\n[base]\nshowList=1\n[help]\nbook1=x\n[mine]\nkeep=" + gbk("留下") + "\n");
    ASSERT_TRUE(changed().write());
    ASSERT_TRUE(writeLastDevice(q("192.168.1.20"), kCustomPresetIndex, 1920, 1080));
    auto s = openSettings();
    EXPECT_EQ(s->value(q("mine/keep")).toString(), q("留下"));
    EXPECT_EQ(s->value(q("base/showList")).toInt(), 1);
    EXPECT_EQ(s->value(q("help/book1")).toString(), q("x"));
    EXPECT_EQ(BaseSettings::read().ip, q("192.168.1.20"));
    ASSERT_TRUE(writeShowList(0));
    EXPECT_EQ(BaseSettings::read().showList, 0);
    EXPECT_EQ(BaseSettings::read().width, 1920);
}

TEST_F(SettingsTest, TheCustomSizeIsRememberedOnlyForTheCustomPreset) {
    struct Case {
        int index;
        int width, height;
        int expectWidth, expectHeight;
    };
    // Starts from a remembered custom size of 1000 x 500.
    const Case cases[] = {
        {kCustomPresetIndex, 1920, 1080, 1920, 1080},
        {9, 1920, 1200, 1000, 500},
        {0, 640, 480, 1000, 500},
    };
    for (const Case& c : cases) {
        writeFile("[base]\ndwidth=1000\ndheight=500\n");
        ASSERT_TRUE(writeLastDevice(q("10.0.0.5"), c.index, c.width, c.height));
        const BaseSettings b = BaseSettings::read();
        EXPECT_EQ(b.index, c.index);
        EXPECT_EQ(b.ip, q("10.0.0.5"));
        EXPECT_EQ(b.width, c.expectWidth) << c.index;
        EXPECT_EQ(b.height, c.expectHeight) << c.index;
    }
}

TEST_F(SettingsTest, AnUnparseableFileIsKeptAsideBeforeItIsRewritten) {
    const QByteArray corrupt = QByteArray("[GeneralSettings\nrefreshRate=75\n\xff\xfe", 34) + QByteArray(1, '\0') +
                               "=\x81\n[base]\nshowList=1\n";
    writeFile(corrupt);
    // Reading never fails: what cannot be read has its default.
    const GeneralSettings g = GeneralSettings::read();
    EXPECT_EQ(g.defaultSoundVolume, 70);
    EXPECT_EQ(g.showCluster, QString());

    ASSERT_TRUE(writeShowList(2));
    QFile bad(path() + q(".bad"));
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_EQ(bad.readAll(), corrupt);
    // The new file is whole again.
    auto s = openSettings();
    EXPECT_EQ(s->status(), QSettings::NoError);
    EXPECT_EQ(s->value(q("base/showList")).toInt(), 2);
}

// A stored list that announces more items than its bytes hold made Qt ask
// for 2^64 bytes and ended the console at start.
TEST_F(SettingsTest, AStoredValueThatCannotBeReadSetsTheFileAside) {
    const QByteArray bombs[] = {
        "[projects]\nprojectData=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n",          // list
        "[projects]\nprojectData=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n",          // text list
        "[projects]\nprojectData=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x4X)\n",              // user type
        "[base]\nshowList=1\n[projects]\nprojectData=\"@Variant(\\0\\0\\0\\t\\0\\0\\0\\x1)\"\n",  // cut
        // The mark itself written with escapes, which Qt undoes before it
        // looks for it.
        "[projects]\nprojectData=\\x40Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n",
        "[projects]\nprojectData=\\100Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n",
        "[projects]\nprojectData=\\x10040\\x56\\x61riant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n",
        "[projects]\nprojectData=\"\\x40Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\"\n",
        // One item of a list, which Qt reads item by item.
        "[projects]\nprojectData=a,@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n",
        // The mark in section and key names as well.
        "[@Variant(a)]\n@Variant(b)=1\n[projects]\nprojectData=\\x40Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n",
        // An '@' inside the stored bytes, before a hex digit.
        "[projects]\nprojectData=@Variant(\\0\\0\\0\\t\\x7f\\xff@1)\n",
    };
    for (const QByteArray& bomb : bombs) {
        SCOPED_TRACE(bomb.toStdString());
        QFile::remove(path() + q(".bad"));
        writeFile(bomb);
        EXPECT_TRUE(readRecentProjects().isEmpty());
        QFile bad(path() + q(".bad"));
        ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
        EXPECT_EQ(bad.readAll(), bomb);
        EXPECT_EQ(BaseSettings::read().showList, 0);
    }
    // Values that only look like marks stay where they are.
    QFile::remove(path() + q(".bad"));
    const QByteArray harmless =
        "[base]\nshowList=1\n[x]\na=@1a\nb=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\nc=\\x40\\x40e\nd=\\\\x40Variant(1)\n";
    writeFile(harmless);
    EXPECT_EQ(BaseSettings::read().showList, 1);
    EXPECT_FALSE(QFileInfo::exists(path() + q(".bad")));
    // What the console itself stores still reads back.
    QFile::remove(path());
    QFile::remove(path() + q(".bad"));
    {
        auto s = openSettings();
        GConfig::updateRecentProjects(*s, q("演出.vadra"), q("/p/演出,1=;.vadra"), false);
    }
    ASSERT_EQ(readRecentProjects().size(), 1);
    EXPECT_EQ(readRecentProjects().first().path, q("/p/演出,1=;.vadra"));
    EXPECT_FALSE(QFileInfo::exists(path() + q(".bad")));
}

TEST_F(SettingsTest, AnUnreadableFileGivesDefaultsAndWritesFail) {
    // A folder where the file should be cannot be read or replaced, even by root.
    QDir().mkpath(path());
    expectDefaults(GeneralSettings::read());
    EXPECT_EQ(BaseSettings::read().showList, 0);
    EXPECT_FALSE(changed().write());
    EXPECT_FALSE(writeShowList(1));
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

TEST_F(SettingsTest, RecentProjectsNewestFirstAtMostSix) {
    {
        auto s = openSettings();
        for (int i = 1; i <= 7; ++i)
            GConfig::updateRecentProjects(*s, q("演出%1.vadra").arg(i), q("/p/演出%1.vadra").arg(i), false);
    }
    QList<RecentProject> list = readRecentProjects();
    ASSERT_EQ(list.size(), 6);
    EXPECT_EQ(list.first().name, q("演出7.vadra"));
    EXPECT_EQ(list.first().path, q("/p/演出7.vadra"));
    EXPECT_EQ(list.last().path, q("/p/演出2.vadra"));  // the first one is gone

    {
        auto s = openSettings();
        // Saving one again moves it to the front without a second entry.
        GConfig::updateRecentProjects(*s, q("演出4.vadra"), q("/p/演出4.vadra"), false);
        // Nothing for an empty path; an empty name adds nothing.
        GConfig::updateRecentProjects(*s, q("x"), QString(), false);
        GConfig::updateRecentProjects(*s, QString(), q("/p/演出6.vadra"), false);
        // Remove only.
        GConfig::updateRecentProjects(*s, QString(), q("/p/演出5.vadra"), true);
    }
    list = readRecentProjects();
    QStringList paths;
    for (const RecentProject& r : list) paths.append(r.path);
    EXPECT_EQ(paths, (QStringList{q("/p/演出4.vadra"), q("/p/演出7.vadra"), q("/p/演出6.vadra"), q("/p/演出3.vadra"),
                                  q("/p/演出2.vadra")}));
}

TEST_F(SettingsTest, OneRecentProjectReadsBack) {
    {
        auto s = openSettings();
        GConfig::updateRecentProjects(*s, q("无标题.vadra"), q("/p/无标题.vadra"), false);
    }
    const QList<RecentProject> list = readRecentProjects();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.first().name, q("无标题.vadra"));
}

TEST(RecentProjects, EntriesThatAreNoPairsAreSkipped) {
    const QVariantList data = {QVariantList{q("a"), q("/a")}, QVariantList{q("only")}, q("text"),
                               QStringList{q("b"), q("/b"), q("extra")}};
    const QList<RecentProject> list = recentProjectsOf(data);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.at(0).path, q("/a"));
    EXPECT_EQ(list.at(1).name, q("b"));
    EXPECT_EQ(list.at(1).path, q("/b"));
}

TEST(GeneralConfigRecord, FilledFromTheSettings) {
    struct Case {
        const char* cluster;
        const char* stored;
    };
    const Case cases[] = {
        {"", ""},
        {"wall-A", "wall-A"},
        // 31 bytes at most, cut where a character ends.
        {"0123456789012345678901234567890123456789", "0123456789012345678901234567890"},
        {"一二三四五六七八九十甲乙", "一二三四五六七八九十"},
        {"a一二三四五六七八九十", "a一二三四五六七八九十"},
        {"abcd一二三四五六七八九十", "abcd一二三四五六七八九"},
    };
    for (const Case& c : cases) {
        GeneralSettings g;
        g.showCluster = q(c.cluster);
        g.refreshRate = 75;
        g.serverAutoStart = true;
        TOLVA_GENERAL_CONFIG config;
        std::memset(&config, 0x5A, sizeof config);
        fillGeneralConfig(g, config);
        EXPECT_STREQ(config.showCluster, c.stored) << c.cluster;
        for (size_t i = std::strlen(c.stored); i < sizeof config.showCluster; ++i)
            EXPECT_EQ(config.showCluster[i], 0) << c.cluster << " byte " << i;
        int32_t rate, start, load;
        std::memcpy(&rate, &config.refreshRate, 4);
        std::memcpy(&start, &config.serverAutoStart, 4);
        std::memcpy(&load, &config.serverAutoLoadFile, 4);
        EXPECT_EQ(rate, 75);
        EXPECT_EQ(start, 1);
        EXPECT_EQ(load, 0);
        EXPECT_EQ(QByteArray(config.text, sizeof config.text), QByteArray(sizeof config.text, '\0'));
    }
}
