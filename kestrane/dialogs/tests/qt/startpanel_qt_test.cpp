#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QFileInfo>

#include "support/ProjectTest.h"
#include "kestrane/dprogressbar.h"
#include "kestrane/dstartpanel.h"
#include "kestrane/loadingwidget.h"
#include "kestrane/settings.h"
#include "support/ScriptedPrompts.h"

namespace {

class StartPanelTest : public ProjectTest {
protected:
    QString project(const QString& name) {
        const QString path = QString::fromStdString(m_dir.str()) + QLatin1Char('/') + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }
    void setRecent(const QStringList& paths) {
        auto s = kestrane::openSettings();
        QVariantList list;
        for (const QString& p : paths) list.append(QVariant(QVariantList{QFileInfo(p).fileName(), p}));
        s->setValue(QStringLiteral("projects/projectData"), list);
    }
    QStringList recentPaths() {
        QStringList out;
        for (const kestrane::RecentProject& r : kestrane::readRecentProjects()) out << r.path;
        return out;
    }
    static QStringList shownCaptions(DStartPanel& p) {
        QStringList out;
        for (QPushButton* b : p.projectButtons())
            if (!b->isHidden()) out << b->text();
        return out;
    }
};

TEST_F(StartPanelTest, AnEmptyListHidesEveryProjectButton) {
    QString chosen = QStringLiteral("unchanged");
    DStartPanel panel(&chosen);
    EXPECT_TRUE(shownCaptions(panel).isEmpty());
    EXPECT_EQ(panel.projectButtons().size(), 6);
    EXPECT_FALSE(panel.findChild<QCheckBox*>(QStringLiteral("notShowList"))->isChecked());
    // The new-project button accepts with an empty path and changes no list.
    panel.findChild<QPushButton*>(QStringLiteral("projectNew"))->click();
    EXPECT_EQ(panel.result(), QDialog::Accepted);
    EXPECT_EQ(chosen, QString());
    EXPECT_TRUE(recentPaths().isEmpty());
}

TEST_F(StartPanelTest, RecentProjectsComeFirstAndAreCappedAtSix) {
    QStringList paths;
    for (int i = 1; i <= 6; ++i) paths << project(QStringLiteral("p%1.vadra").arg(i));
    setRecent(paths);
    {
        DStartPanel panel(nullptr);
        EXPECT_EQ(shownCaptions(panel).size(), 6);
        EXPECT_EQ(panel.projectButtons()[0]->toolTip(), paths[0]);
    }
    // Opening the third moves it to the top without a second entry.
    QString chosen;
    {
        DStartPanel panel(&chosen);
        panel.projectButtons()[2]->click();
        EXPECT_EQ(chosen, paths[2]);
    }
    EXPECT_EQ(recentPaths(), (QStringList{paths[2], paths[0], paths[1], paths[3], paths[4], paths[5]}));
    // A seventh through the file dialog pushes the oldest out.
    const QString seventh = project(QStringLiteral("p7.vadra"));
    {
        ScriptedPrompts prompts;
        prompts.answerPath(seventh);
        DStartPanel panel(&chosen);
        panel.findChild<QPushButton*>(QStringLiteral("openFolder"))->click();
        EXPECT_EQ(prompts.calls()[0].filter, QStringLiteral("Vadra(*.vadra)"));
        EXPECT_EQ(panel.result(), QDialog::Accepted);
    }
    EXPECT_EQ(chosen, seventh);
    EXPECT_EQ(recentPaths(), (QStringList{seventh, paths[2], paths[0], paths[1], paths[3], paths[4]}));
}

TEST_F(StartPanelTest, AMissingProjectLeavesTheListAndThePanelStaysOpen) {
    const QString a = project(QStringLiteral("a.vadra"));
    const QString b = project(QStringLiteral("b.vadra"));
    setRecent({a, b});
    QFile::remove(a);
    QString chosen = QStringLiteral("unchanged");
    DStartPanel panel(&chosen);
    ScriptedPrompts prompts;
    prompts.answer(QMessageBox::Ok);
    panel.projectButtons()[0]->click();
    EXPECT_EQ(prompts.titles(), QStringList{q("文件操作出错")});
    EXPECT_EQ(prompts.texts(), QStringList{q("您打开的项目不存在")});
    EXPECT_EQ(panel.result(), 0);
    EXPECT_EQ(chosen, q("unchanged"));
    EXPECT_EQ(recentPaths(), QStringList{b});
    EXPECT_EQ(shownCaptions(panel), QStringList{q("b.vadra")});
    EXPECT_TRUE(panel.projectButtons()[1]->isHidden());
}

TEST_F(StartPanelTest, TheDoNotShowBoxIsWrittenAtOnce) {
    DStartPanel panel(nullptr);
    auto* box = panel.findChild<QCheckBox*>(QStringLiteral("notShowList"));
    box->click();
    EXPECT_EQ(kestrane::BaseSettings::read().showList, 1);
    box->click();
    EXPECT_EQ(kestrane::BaseSettings::read().showList, 0);
}

TEST_F(StartPanelTest, ScreenshotShowsTheCardAndTheRecentList) {
    setRecent({project(QStringLiteral("大厅.vadra")), project(QStringLiteral("展厅.vadra"))});
    DStartPanel panel(nullptr);
    panel.show();
    QCoreApplication::processEvents();
    const QImage image = panel.grab().toImage();
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    EXPECT_TRUE(image.save(QStringLiteral(SV_BINARY_DIR "/artefacts/start_panel.png")));
    // The card inside the shadow is the panel colour; the corner outside it stays clear.
    EXPECT_EQ(image.pixelColor(20, image.height() - 20).name(), QStringLiteral("#f0f0f0"));
    EXPECT_LT(image.pixelColor(0, 0).alpha(), 60);
    EXPECT_EQ(shownCaptions(panel), (QStringList{q("大厅.vadra"), q("展厅.vadra")}));
}

TEST_F(StartPanelTest, TheLoadingDialogEndsByItself) {
    LoadingWidget loading;
    QElapsedTimer t;
    t.start();
    // Only a deadline: the dialog must close without any input.
    QTimer::singleShot(10000, &loading, &QDialog::reject);
    EXPECT_EQ(loading.exec(), QDialog::Accepted);
    EXPECT_EQ(loading.bar()->value(), 100);
}

TEST_F(StartPanelTest, AHiddenProgressDialogStillTakesItsText) {
    DProgressBar progress;
    EXPECT_EQ(progress.windowTitle(), q("媒体导入"));
    EXPECT_EQ(progress.progress()->value(), 0);
    progress.show();
    progress.close();  // only hides it
    EXPECT_TRUE(progress.isHidden());
    progress.setInfo(q("正在导入1/2个媒体：a.mp4"));
    progress.setProgress(100);
    EXPECT_EQ(progress.info()->text(), q("正在导入1/2个媒体：a.mp4"));
    EXPECT_EQ(progress.progress()->value(), 100);
    EXPECT_TRUE(progress.isHidden());
}

}  // namespace
