// The media property panel, its scroll area, the media sidebar, and the
// library with the real media rendering library on files made by ffmpeg.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>

#include <fstream>

#include "kestrane/mediaattribute.h"
#include "kestrane/mediascrollarea.h"
#include "panelfixture.h"

namespace {

class MediaPanelsTest : public PanelTest {
protected:
    MediaAttribute* panel() const { return sidebar->propertyPanel()->panel(); }
    QString text(const char* name) const {
        if (auto* l = panel()->findChild<QLabel*>(name)) return l->text();
        if (auto* e = panel()->findChild<QLineEdit*>(name)) return e->text();
        ADD_FAILURE() << "no field " << name;
        return {};
    }
    int addPlaced(int kind, int start, int duration, qint64 size, double x, double y) {
        MediaSource m;
        m.kind = kind;
        m.path = "/shows/clip.mp4";
        m.fileName = "clip.mp4";
        m.folderPath = "/shows";
        m.start = start;
        m.duration = duration;
        m.fileSize = size;
        m.nativeWidth = 1920;
        m.nativeHeight = 1080;
        m.width = 1920.5;
        m.height = 1080;
        m.x = x;
        m.y = y;
        GConfig& c = GConfig::instance();
        const int id = c.nextMediaId();
        m.id = id;
        c.media().insert(id, m);
        return id;
    }
};

TEST_F(MediaPanelsTest, FreshPanelIsEmpty) {
    EXPECT_EQ(text("attributeName"), "媒体信息");
    for (const char* f : {"fileName", "fileSize", "fileDir", "fileWidth", "fileHeight", "fileDuration", "startTime",
                          "endTime", "duration", "width", "height", "x", "y", "z"})
        EXPECT_EQ(text(f), "") << f;
    EXPECT_EQ(text("startTime_2"), "100");
    EXPECT_TRUE(panel()->findChild<QCheckBox*>("loopPlay")->isChecked());
    EXPECT_TRUE(panel()->findChild<QCheckBox*>("loopPlay_3")->isChecked());
    EXPECT_FALSE(panel()->findChild<QCheckBox*>("loopPlay_2")->isChecked());
    EXPECT_FALSE(panel()->findChild<QLineEdit*>("startTime")->isEnabled());
    EXPECT_TRUE(panel()->findChild<QLineEdit*>("z")->isEnabled());
    EXPECT_TRUE(panel()->findChild<QPushButton*>("openFolder")->isEnabled());
}

TEST_F(MediaPanelsTest, ShowsAPlacedItem) {
    const struct {
        int kind;
        int start, duration;
        int natural;
        qint64 size;
        double x, y;
        const char* title;
        QStringList values;  // fileSize fileDuration startTime endTime duration width x y x_2 y_2 z
    } cases[] = {
        {0, 65000, 10000, -1, 1023, -2.5, 2.5, "视频信息",
         {"1023B", "00:00", "01:05", "01:15", "00:10", "1920.5", "-2", "3", "-2", "3", "0"}},
        {1, 0, 30000, 7000, 1536, 10.4, -0.5, "图片信息",
         {"1.50K", "-", "00:00", "00:30", "00:30", "1920.5", "10", "0", "10", "0", "0"}},
    };
    for (const auto& c : cases) {
        const int id = addPlaced(c.kind, c.start, c.duration, c.size, c.x, c.y);
        GConfig::instance().mediaSource(id)->naturalLength = c.natural;
        sidebar->showMediaAttribute(id, false);
        EXPECT_EQ(text("attributeName"), QString::fromUtf8(c.title));
        EXPECT_EQ(text("fileName"), "clip.mp4");
        EXPECT_EQ(text("fileDir"), "/shows");
        EXPECT_EQ(text("fileWidth"), "1920");
        const char* fields[] = {"fileSize", "fileDuration", "startTime", "endTime", "duration", "width",
                                "x",        "y",            "x_2",       "y_2",     "z"};
        for (int i = 0; i < 11; ++i) EXPECT_EQ(text(fields[i]), c.values.at(i)) << fields[i];
    }
    // An unknown id leaves the fields; 0 clears them.
    panel()->showMedia(999);
    EXPECT_EQ(text("fileName"), "clip.mp4");
    panel()->showMedia(0);
    EXPECT_EQ(text("attributeName"), "媒体信息");
    EXPECT_EQ(text("fileName"), "");
    EXPECT_EQ(text("x_2"), "");
}

TEST_F(MediaPanelsTest, OpenFolderShowsTheFile) {
    QStringList shown;
    const auto old = MediaAttribute::setFileShower([&](const QString& p) { shown << p; });
    panel()->openFolder();  // nothing remembered yet
    const int id = addPlaced(0, 0, 1000, 1, 0, 0);
    panel()->showMedia(id);
    panel()->findChild<QPushButton*>("openFolder")->click();
    panel()->showMedia(0);  // still the last item
    panel()->openFolder();
    GConfig::instance().media().remove(id);
    panel()->openFolder();  // gone: nothing
    MediaAttribute::setFileShower(old);
    EXPECT_EQ(shown, QStringList({"/shows/clip.mp4", "/shows/clip.mp4"}));
}

TEST_F(MediaPanelsTest, ScrollAreaKeepsThePanelAsWideAsItself) {
    MediaScrollArea area;
    area.show();
    area.setStyleSheet("QScrollArea {background:red;}");
    EXPECT_NE(area.widget(), area.panel());  // taken in once the loop turns
    QCoreApplication::processEvents();
    EXPECT_EQ(area.widget(), area.panel());
    EXPECT_TRUE(area.styleSheet().startsWith(".MediaScrollArea"));
    const int h = area.panel()->height();
    area.resize(410, 300);
    EXPECT_EQ(area.panel()->width(), 410);
    EXPECT_EQ(area.panel()->height(), h);
    area.resize(250, 300);
    EXPECT_EQ(area.panel()->width(), 250);
}

TEST_F(MediaPanelsTest, SidebarPages) {
    auto* pages = sidebar->pages();
    const QList<QPushButton*> b = sidebar->buttons();
    ASSERT_EQ(b.size(), 3);
    EXPECT_TRUE(b[1]->isHidden());
    // The checked button clicked again stays checked.
    b[0]->click();
    EXPECT_TRUE(b[0]->isChecked());
    EXPECT_EQ(pages->currentIndex(), 0);
    // Refreshing the properties without switching keeps the library.
    const int id = addPlaced(1, 0, 1000, 5, 0, 0);
    GConfig::instance().showMediaLater(id, false);
    ASSERT_TRUE(spinUntil([this] { return text("fileName") == "clip.mp4"; }));
    EXPECT_EQ(pages->currentIndex(), 0);
    GConfig::instance().showMediaLater(id, true);
    ASSERT_TRUE(spinUntil([&] { return pages->currentIndex() == 2; }));
    EXPECT_EQ(QList<bool>({b[0]->isChecked(), b[1]->isChecked(), b[2]->isChecked()}), QList<bool>({false, false, true}));
    // A cleared project goes back to the library.
    GConfig::instance().clearProject();
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_TRUE(b[0]->isChecked());
    EXPECT_FALSE(b[2]->isChecked());
}

// The real media rendering library on files made by ffmpeg.
class RealProbeTest : public MediaPanelsTest {
protected:
    void SetUp() override {
        MediaPanelsTest::SetUp();
        list()->setVideoProbe(nullptr);
    }
};

TEST_F(RealProbeTest, ImportsVideosAndPictures) {
    const QString clip = makeMedia("clip.mp4", "-f lavfi -i testsrc=size=322x240:rate=25 -t 2.4 -pix_fmt yuv420p");
    const QString shortClip = makeMedia("short.mp4", "-f lavfi -i testsrc=size=64x48:rate=25 -t 0.5 -pix_fmt yuv420p");
    const QString pic = makeMedia("still.png", "-f lavfi -i color=c=0x3366CC:s=64x48,format=rgb24 -frames:v 1");
    const QString upper = makeMedia("X.JPG", "-f lavfi -i color=c=0xCC3333:s=32x24 -frames:v 1");
    const QString fake = QString::fromStdString((dir / "fake.mp4").string());
    std::ofstream(fake.toStdString()) << "this is text, not a video";

    prompts.answerPaths({clip, shortClip, pic, upper, fake}).answer(QMessageBox::Ok);
    list()->addSource(1);
    ASSERT_EQ(prompts.calls().size(), 2);
    EXPECT_EQ(prompts.calls()[1].text, "成功导入4个媒体，1个媒体无法导入");

    QMap<QString, MediaSource> byName;
    for (const MediaSource& m : library()) byName.insert(m.fileName, m);
    ASSERT_EQ(byName.size(), 4);
    const MediaSource v = byName.value("clip.mp4");
    EXPECT_EQ(v.kind, 0);
    EXPECT_EQ(QSize(v.nativeWidth, v.nativeHeight), QSize(322, 240));
    EXPECT_EQ(v.duration, 2000);
    // The thumbnail shows the test picture, not one flat colour.
    QSet<QRgb> colours;
    for (int y = 4; y < v.thumbnail.height() - 4; y += 3)
        for (int x = 4; x < v.thumbnail.width() - 4; x += 3) colours << v.thumbnail.pixel(x, y);
    EXPECT_GT(colours.size(), 8);
    EXPECT_EQ(byName.value("short.mp4").duration, 1000);
    EXPECT_EQ(byName.value("still.png").kind, 1);
    EXPECT_EQ(QSize(byName.value("still.png").nativeWidth, byName.value("still.png").nativeHeight), QSize(64, 48));
    EXPECT_EQ(byName.value("X.JPG").kind, 1);  // chosen in the dialog: the suffix case does not matter
    expectListMatchesRows();
}

TEST_F(RealProbeTest, SidebarWithMediaScreenshot) {
    QFile qss(QStringLiteral(SV_SOURCE_DIR "/kestrane/app/qss.css"));
    ASSERT_TRUE(qss.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(qss.readAll()));

    const QString clip = makeMedia("opening.mp4", "-f lavfi -i testsrc=size=160x120:rate=25 -t 3 -pix_fmt yuv420p");
    const QString pic = makeMedia("backdrop.png", "-f lavfi -i color=c=0x3366CC:s=64x48,format=rgb24 -frames:v 1");
    const QString dropped = makeMedia("dropped.mp4", "-f lavfi -i testsrc2=size=96x64:rate=25 -t 1 -pix_fmt yuv420p");
    prompts.answerPaths({clip, pic});
    // Through the add box, as the operator picks its entry.
    auto* box = sidebar->findChild<QComboBox*>("medialistCombobox");
    ASSERT_NE(box, nullptr);
    emit box->activated(1);
    ASSERT_EQ(table()->rowCount(), 2);

    sidebar->findChild<QPushButton*>("medialistAddfolder")->click();
    QCoreApplication::processEvents();
    ASSERT_EQ(table()->rowRecord(0).kind, MediaTable::kFolderKind);
    // A file dropped from the desktop onto the middle of the folder row goes in.
    QMimeData urls;
    urls.setUrls({QUrl::fromLocalFile(dropped)});
    dropAt(&urls, QPoint(20, 11), Qt::CopyAction);
    // The two imports each went to the top; the folder above the selected new rows.
    EXPECT_EQ(layout(), QStringList({"[分组1]", "  " + dropped, pic, clip}));
    EXPECT_EQ(table()->rowRecord(1).folderKey, table()->rowRecord(0).folderKey);
    expectListMatchesRows();

    sidebar->resize(320, 360);
    table()->clearSelection();
    QCoreApplication::processEvents();
    const QImage shot = sidebar->grab().toImage();
    const QString out = QStringLiteral(SV_BINARY_DIR "/artefacts/media_panels.png");
    QDir().mkpath(QFileInfo(out).absolutePath());
    ASSERT_TRUE(shot.save(out));

    // Read back: the panel background and the thumbnails' own pixels.
    const QImage back(out);
    ASSERT_FALSE(back.isNull());
    const QPoint tableOrigin = table()->mapTo(sidebar.get(), QPoint(0, 0));
    const QColor panelColour = back.pixelColor(tableOrigin + QPoint(150, table()->height() - 5));
    EXPECT_EQ(panelColour, QColor("#343434"));
    // Row 3's thumbnail (a top-level video): many colours in its cell.
    const int rowTop = table()->rowViewportPosition(3) + table()->viewport()->mapTo(sidebar.get(), QPoint(0, 0)).y();
    QSet<QRgb> colours;
    for (int y = rowTop + 6; y < rowTop + 34; y += 2)
        for (int x = tableOrigin.x() + 8; x < tableOrigin.x() + 50; x += 2) colours << back.pixel(x, y);
    EXPECT_GT(colours.size(), 8);
}

}  // namespace
