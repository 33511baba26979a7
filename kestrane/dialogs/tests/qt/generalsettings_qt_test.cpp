#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStackedWidget>

#include "support/ProjectTest.h"
#include "kestrane/dgeneralsettings.h"
#include "kestrane/mainwindowhooks.h"
#include "kestrane/settings.h"
#include "support/ScriptedPrompts.h"

namespace {

class IntervalRecorder : public MainWindowHooks {
public:
    void setAutoSaveInterval(int seconds) override { intervals.append(seconds); }
    QList<int> intervals;
};

class GeneralSettingsTest : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        GConfig::instance().setMainWindowHooks(&window);
        GConfig::instance().setTimelineStartValue(0);
        GConfig::instance().setTimelineLengthValue(5 * 60000);
        GConfig::instance().setTimeAxisLengthValue(6 * 60000);
    }
    void TearDown() override {
        GConfig::instance().setMainWindowHooks(nullptr);
        ProjectTest::TearDown();
    }
    template <typename T = QLineEdit>
    static T* get(QDialog& d, const char* name) {
        T* w = d.findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void click(QDialog& d, const char* name) { get<QPushButton>(d, name)->click(); }
    void writeGeneral(const QString& key, const QVariant& value) {
        auto s = kestrane::openSettings();
        s->setValue(QStringLiteral("GeneralSettings/") + key, value);
    }
    QString autostartFile() const { return QString::fromStdString(m_dir.str()) + QStringLiteral("/autostart/kestrane.desktop"); }

    IntervalRecorder window;
};

TEST_F(GeneralSettingsTest, WithoutAFileTheDefaultsShow) {
    DGeneralSettings d;
    EXPECT_EQ(d.windowTitle(), q("通用设置"));
    EXPECT_EQ(get<QStackedWidget>(d, "stackedWidget")->currentIndex(), 0);
    EXPECT_TRUE(get<QPushButton>(d, "generalBt")->isChecked());
    EXPECT_EQ(get(d, "showCluster")->text(), QString());
    EXPECT_EQ(get(d, "defaultIpA")->text() + "." + get(d, "defaultIpB")->text() + "." + get(d, "defaultIpC")->text(),
              q("192.168.1"));
    EXPECT_TRUE(get<QRadioButton>(d, "refreshRate60")->isChecked());
    EXPECT_FALSE(get(d, "refreshRateCustom")->isEnabled());
    EXPECT_EQ(get(d, "defaultPicDuration")->text(), q("10"));
    EXPECT_EQ(get(d, "defaultSoundVolume")->text(), q("70"));
    EXPECT_EQ(get(d, "defaultPlayDuration")->text(), q("5"));
    EXPECT_TRUE(get(d, "savePathTxt")->text().endsWith(QLatin1Char('/')));
    EXPECT_EQ(get(d, "autoSaveInterval")->text(), q("1"));
    EXPECT_FALSE(get<QCheckBox>(d, "clientAutoMinimize")->isEnabled());
    EXPECT_FALSE(get<QPushButton>(d, "clientAutoLoadFilePathBt")->isEnabled());
    click(d, "controlBt");
    EXPECT_EQ(get<QStackedWidget>(d, "stackedWidget")->currentIndex(), 2);
    EXPECT_FALSE(get<QPushButton>(d, "generalBt")->isChecked());
}

TEST_F(GeneralSettingsTest, RefreshRatesLoadAndSave) {
    struct Case {
        QVariant stored;
        const char* checked;
        const char* customText;  // typed before saving
        int saved;
    };
    const Case cases[] = {
        {60, "refreshRate60", nullptr, 60},
        {75, "refreshRate75", nullptr, 75},
        {50, "customRadioButton", nullptr, 50},
        {50, "customRadioButton", "", 60},
    };
    for (const Case& c : cases) {
        writeGeneral(QStringLiteral("refreshRate"), c.stored);
        DGeneralSettings d;
        EXPECT_TRUE(get<QRadioButton>(d, c.checked)->isChecked()) << c.stored.toInt();
        if (QLatin1String(c.checked) == QLatin1String("customRadioButton")) {
            EXPECT_TRUE(get(d, "refreshRateCustom")->isEnabled());
            EXPECT_EQ(get(d, "refreshRateCustom")->text(), q("50"));
        }
        if (c.customText) get(d, "refreshRateCustom")->setText(q(c.customText));
        click(d, "apply");
        EXPECT_EQ(kestrane::GeneralSettings::read().refreshRate, c.saved);
    }
}

TEST_F(GeneralSettingsTest, ApplyStoresAndTakesEffectOnce) {
    GConfig& c = GConfig::instance();
    writeGeneral(QStringLiteral("clientAutoMinimize"), true);  // without clientAutoStart
    DGeneralSettings d;
    EXPECT_TRUE(get<QCheckBox>(d, "clientAutoMinimize")->isChecked());
    EXPECT_FALSE(get<QCheckBox>(d, "clientAutoMinimize")->isEnabled());
    get(d, "defaultIpB")->setText(QString());
    get(d, "autoSaveInterval")->setText(q("0"));
    get(d, "showCluster")->setText(q("  大厅 "));

    // The same length as the timeline: nothing changes there.
    c.setSaved(true);
    click(d, "apply");
    EXPECT_TRUE(c.isSaved());
    EXPECT_EQ(window.intervals, QList<int>{60});
    const kestrane::GeneralSettings g = kestrane::GeneralSettings::read();
    EXPECT_EQ(g.defaultIpB, q("0"));
    EXPECT_EQ(g.showCluster, q("大厅"));
    EXPECT_TRUE(g.clientAutoMinimize);
    EXPECT_EQ(g.autoSaveInterval, 0);

    get(d, "defaultPlayDuration")->setText(q("7"));
    get(d, "autoSaveInterval")->setText(q("3"));
    click(d, "apply");
    EXPECT_EQ(c.timelineLength(), 7 * 60000);
    EXPECT_FALSE(c.isSaved());
    EXPECT_EQ(window.intervals.last(), 180);
    c.setSaved(true);
    click(d, "ok");  // applies again: the timeline already has that length
    EXPECT_TRUE(c.isSaved());
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST_F(GeneralSettingsTest, FoldersArePickedThroughThePromptSeam) {
    DGeneralSettings d;
    ScriptedPrompts prompts;
    prompts.answerPath(q("/srv/shows")).answerPath(QString()).answerPath(q("/srv/a.vadra"));
    click(d, "savePathBt");
    EXPECT_EQ(get(d, "savePathTxt")->text(), q("/srv/shows/"));
    click(d, "savePathBt");  // cancelled: unchanged
    EXPECT_EQ(get(d, "savePathTxt")->text(), q("/srv/shows/"));
    get<QCheckBox>(d, "clientAutoLoadFile")->setChecked(true);
    click(d, "clientAutoLoadFilePathBt");
    EXPECT_EQ(get(d, "clientAutoLoadFilePathTxt")->text(), q("/srv/a.vadra"));
    EXPECT_EQ(prompts.calls()[2].filter, q("Vadra(*.vadra)"));
}

TEST_F(GeneralSettingsTest, StartAtLogInOnOffAndAbsent) {
    {
        DGeneralSettings d;  // unchecked and no entry: none is made
        click(d, "apply");
        EXPECT_FALSE(QFile::exists(autostartFile()));
    }
    {
        DGeneralSettings d;
        get<QCheckBox>(d, "clientAutoStart")->setChecked(true);
        EXPECT_TRUE(get<QCheckBox>(d, "clientAutoMinimize")->isEnabled());
        click(d, "apply");
        EXPECT_TRUE(kestrane::isClientAutoStartEntry());
    }
    {
        DGeneralSettings d;
        EXPECT_TRUE(get<QCheckBox>(d, "clientAutoStart")->isChecked());
        get<QCheckBox>(d, "clientAutoStart")->setChecked(false);
        click(d, "apply");
        EXPECT_FALSE(kestrane::isClientAutoStartEntry());
        EXPECT_FALSE(QFile::exists(autostartFile()));
    }
    {
        // An entry written before the program moved names its old place;
        // unticking still removes it.
        DGeneralSettings on;
        get<QCheckBox>(on, "clientAutoStart")->setChecked(true);
        click(on, "apply");
        QFile entry(autostartFile());
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        entry.write("[Desktop Entry]\nType=Application\nName=kestrane\nExec=/opt/old-place/kestrane start\n");
        entry.close();
        ASSERT_FALSE(kestrane::isClientAutoStartEntry());
        DGeneralSettings d;
        EXPECT_TRUE(get<QCheckBox>(d, "clientAutoStart")->isChecked());
        get<QCheckBox>(d, "clientAutoStart")->setChecked(false);
        click(d, "apply");
        EXPECT_FALSE(QFile::exists(autostartFile()));
    }
}

}  // namespace
