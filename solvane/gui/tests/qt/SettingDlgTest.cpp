#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>

#include <filesystem>
#include <string>

#include "GuiTestSupport.h"
#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "gui/SettingDlg.h"
#include "platform/ini.h"

namespace {

using guitest::Text;
using testsupport::TempDir;
using testsupport::WriteFile;

class SettingDlgTest : public ::testing::Test {
protected:
    SettingDlgTest() : core(dir.str()) {
        core.SetServices({&output, nullptr, nullptr, &system});
        ini = (dir / "mediacfg.ini").string();
        std::filesystem::create_directories(dir / "media");
        core.LoadConfig();
    }

    std::string IniText(const char* section, const char* key) {
        return platform::GetPrivateProfileString(section, key, std::string("<missing>"), ini);
    }

    TempDir dir;
    FakeOutputWindow output;
    FakeSystemServices system;
    CMediaManager core;
    std::string ini;
};

TEST_F(SettingDlgTest, ShowsTheCoreValues) {
    WriteFile(dir / "mediacfg.ini",
              "[Setting]\nLoopMedia=1\nAutoHideCursor=0\nTopmostWindow=0\nUseBackgroundBmp=0\n"
              "MediaFolder=/srv/媒体\n[MediaOption]\nRotationAngle=3\nRotationCondition=*.avi\n");
    core.LoadConfig();
    system.autoStart = true;

    CSettingDlg dlg(core);
    EXPECT_EQ(Text(dlg.windowTitle()), "设置");
    EXPECT_TRUE(dlg.AutoStartBox()->isChecked());
    EXPECT_FALSE(dlg.AutoPlayBox()->isChecked());
    EXPECT_TRUE(dlg.LoopMediaBox()->isChecked());
    EXPECT_FALSE(dlg.AutoHideCursorBox()->isChecked());
    EXPECT_FALSE(dlg.TopmostBox()->isChecked());
    EXPECT_FALSE(dlg.UseBackgroundBox()->isChecked());
    EXPECT_TRUE(dlg.BackgroundIfNoVideoBox()->isChecked());
    EXPECT_EQ(Text(dlg.MediaFolderEdit()->text()), "/srv/媒体");
    EXPECT_EQ(Text(dlg.VideoExtensionEdit()->text()), "*.avi|*.rmvb|*.mpg|*.mp4|*.mov|*.wmv|*.rm|*.ts|*.mpeg|*.mkv");
    EXPECT_EQ(dlg.RotationGroup()->checkedId(), 3);
    EXPECT_EQ(Text(dlg.RotationGroup()->button(3)->text()), "270度");
    EXPECT_EQ(Text(dlg.RotationConditionEdit()->text()), "*.avi");
    EXPECT_EQ(Text(dlg.AutoStartBox()->text()), "开机自启动");
    EXPECT_EQ(Text(dlg.BackgroundIfNoVideoBox()->text()), "无视频或视频不播放时，显示背景图片");
}

TEST_F(SettingDlgTest, AcceptedInputReachesTheCoreAndMediacfg) {
    const auto folder = dir / "视频 文件";
    std::filesystem::create_directories(folder);
    const auto picture = dir / "背景.png";
    WriteFile(picture, "not decoded here");

    CSettingDlg dlg(core);
    dlg.show();
    dlg.AutoStartBox()->setChecked(true);
    dlg.AutoPlayBox()->setChecked(true);
    dlg.LoopMediaBox()->setChecked(true);
    dlg.AutoHideCursorBox()->setChecked(false);
    dlg.TopmostBox()->setChecked(false);
    dlg.MediaFolderEdit()->setText(QString::fromStdString(folder.string()));
    dlg.VideoExtensionEdit()->setText("*.mp4|*.mkv");
    dlg.UseBackgroundBox()->setChecked(true);
    dlg.BackgroundIfNoVideoBox()->setChecked(false);
    dlg.BackgroundPathEdit()->setText(QString::fromStdString(picture.string()));
    dlg.RotationGroup()->button(4)->setChecked(true);
    dlg.RotationConditionEdit()->setText("*.mov");
    dlg.accept();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.OpenMessage(), nullptr);
    EXPECT_TRUE(system.autoStart);
    EXPECT_EQ(core.m_nAutoPlay, 1);
    EXPECT_EQ(core.m_nLoopMedia, 1);
    EXPECT_EQ(core.m_nAutoHideCursor, 0);
    EXPECT_EQ(core.m_nTopmostWindow, 0);
    EXPECT_EQ(core.m_strMediaFolder, folder.string());
    EXPECT_EQ(core.m_strMediaVideoExtension, "*.mp4|*.mkv");
    EXPECT_EQ(core.m_nUseBackgroundBmp, 1);
    EXPECT_EQ(core.m_nDisplayBackgroundIfNoVideo, 0);
    EXPECT_EQ(core.m_strBmpFilePath, picture.string());
    EXPECT_EQ(core.m_nRotationAngle, 4);
    EXPECT_EQ(core.m_strRotationCondition, "*.mov");

    EXPECT_EQ(IniText("Setting", "AutoPlay"), "1");
    EXPECT_EQ(IniText("Setting", "LoopMedia"), "1");
    EXPECT_EQ(IniText("Setting", "AutoHideCursor"), "0");
    EXPECT_EQ(IniText("Setting", "TopmostWindow"), "0");
    EXPECT_EQ(IniText("Setting", "MediaFolder"), folder.string());
    EXPECT_EQ(IniText("Setting", "MediaVideoExtension"), "*.mp4|*.mkv");
    EXPECT_EQ(IniText("Setting", "UseBackgroundBmp"), "1");
    EXPECT_EQ(IniText("Setting", "DisplayBackgroundIfNoVideo"), "0");
    EXPECT_EQ(IniText("Setting", "BmpFilePath"), picture.string());
    EXPECT_EQ(IniText("MediaOption", "RotationAngle"), "4");
    EXPECT_EQ(IniText("MediaOption", "RotationCondition"), "*.mov");
    // The topmost change is applied to the output window at once.
    EXPECT_EQ(output.Count("topmost"), 1u);
}

TEST_F(SettingDlgTest, BadInputIsRefusedWithItsMessageAndNothingStored) {
    const auto picture = dir / "bg.jpg";
    WriteFile(picture, "x");
    struct Case {
        const char* name;
        std::string folder;
        bool useBackground;
        std::string picture;
        const char* message;
    };
    const Case cases[] = {
        {"missing folder", (dir / "nowhere").string(), false, "", "指定的视频文件夹不存在！\n请重新选择。"},
        {"empty folder", "", false, "", "指定的视频文件夹不存在！\n请重新选择。"},
        {"a file as folder", picture.string(), false, "", "指定的视频文件夹不存在！\n请重新选择。"},
        {"missing picture", (dir / "media").string(), true, (dir / "none.jpg").string(),
         "指定的背景图片不存在！\n请重新选择。"},
        {"a folder as picture", (dir / "media").string(), true, (dir / "media").string(),
         "指定的背景图片不存在！\n请重新选择。"},
    };
    const std::string iniBefore = testsupport::ReadFile(ini);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folderBefore = core.m_strMediaFolder;
        CSettingDlg dlg(core);
        dlg.show();
        dlg.AutoPlayBox()->setChecked(true);
        dlg.AutoStartBox()->setChecked(true);
        dlg.MediaFolderEdit()->setText(QString::fromStdString(c.folder));
        dlg.UseBackgroundBox()->setChecked(c.useBackground);
        dlg.BackgroundPathEdit()->setText(QString::fromStdString(c.picture));
        dlg.accept();

        EXPECT_TRUE(dlg.isVisible());
        ASSERT_NE(dlg.OpenMessage(), nullptr);
        EXPECT_EQ(Text(dlg.OpenMessage()->text()), c.message);
        EXPECT_EQ(Text(dlg.OpenMessage()->windowTitle()), "设置");
        EXPECT_EQ(core.m_nAutoPlay, 0);
        EXPECT_EQ(core.m_strMediaFolder, folderBefore);
        EXPECT_FALSE(system.autoStart);
        EXPECT_EQ(testsupport::ReadFile(ini), iniBefore);

        // After the message the operator corrects the input and OK goes through.
        QPointer<QMessageBox> box = dlg.OpenMessage();
        guitest::Press(box, QMessageBox::Ok);
        EXPECT_TRUE(guitest::WaitEvents([&] { return box.isNull(); }));
        EXPECT_TRUE(dlg.isVisible());
    }
}

TEST_F(SettingDlgTest, UncheckedBackgroundLetsAMissingPicturePass) {
    CSettingDlg dlg(core);
    dlg.show();
    dlg.MediaFolderEdit()->setText(QString::fromStdString((dir / "media").string()));
    dlg.UseBackgroundBox()->setChecked(false);
    dlg.BackgroundPathEdit()->setText(QString::fromStdString((dir / "gone.jpg").string()));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.OpenMessage(), nullptr);
    EXPECT_EQ(IniText("Setting", "UseBackgroundBmp"), "0");
    EXPECT_EQ(IniText("Setting", "BmpFilePath"), (dir / "gone.jpg").string());
}

TEST_F(SettingDlgTest, AutostartIsWrittenOnlyWhenTheBoxChanged) {
    // Autostart on, box left on: the entry is not touched.
    system.autoStart = true;
    {
        CSettingDlg dlg(core);
        dlg.MediaFolderEdit()->setText(QString::fromStdString((dir / "media").string()));
        dlg.UseBackgroundBox()->setChecked(false);
        system.autoStart = false;   // would be set again if the dialog wrote it
        dlg.accept();
        EXPECT_FALSE(system.autoStart);
    }
    {
        CSettingDlg dlg(core);
        EXPECT_FALSE(dlg.AutoStartBox()->isChecked());
        dlg.AutoStartBox()->setChecked(true);
        dlg.MediaFolderEdit()->setText(QString::fromStdString((dir / "media").string()));
        dlg.UseBackgroundBox()->setChecked(false);
        dlg.accept();
        EXPECT_TRUE(system.autoStart);
    }
}

TEST_F(SettingDlgTest, CancelChangesNothing) {
    const std::string iniBefore = testsupport::ReadFile(ini);
    CSettingDlg dlg(core);
    dlg.show();
    dlg.LoopMediaBox()->setChecked(true);
    dlg.MediaFolderEdit()->setText(QString::fromStdString((dir / "media").string()));
    dlg.reject();
    EXPECT_EQ(core.m_nLoopMedia, 0);
    EXPECT_EQ(testsupport::ReadFile(ini), iniBefore);
}

}  // namespace
