// The media library: imports and their reports, folders, re-imports,
// cancelling and deletion.
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <fstream>

#include <sys/stat.h>

#include "panelfixture.h"

namespace {

class MediaListTest : public PanelTest {
protected:
    QString touch(const std::string& rel, const std::string& bytes = "x") {
        const std::filesystem::path p = dir / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << bytes;
        return QString::fromStdString(p.string());
    }
    QString png(const std::string& rel) {
        const QString path = touch(rel);
        QImage img(64, 48, QImage::Format_RGB32);
        img.fill(QColor(10, 200, 90));
        EXPECT_TRUE(img.save(path, "PNG"));
        return path;
    }
    // Places a copy of library entry `row` on the stage, on a layer.
    int place(int row, int layer = 1) {
        GConfig& c = GConfig::instance();
        MediaSource m = library().at(row);
        const int id = c.nextMediaId();
        m.id = id;
        m.layer = layer;
        m.start = 0;
        c.media().insert(id, m);
        return id;
    }
};

// Locks the layer rows listed.
class LockedLayers : public TimeAxisHooks {
public:
    explicit LockedLayers(QList<int> rows) : m_rows(std::move(rows)) {}
    bool isLayerLocked(int row) const override { return m_rows.contains(row); }

private:
    QList<int> m_rows;
};

TEST_F(MediaListTest, ImportReportsByOutcome) {
    const QString existing = touch("have.mp4");
    const struct {
        const char* what;
        QStringList chosen;  // relative names
        const char* report;  // null: no box
        QStringList rows;    // file names added, in table order
    } cases[] = {
        {"new files", {"one.mp4", "pic.png"}, nullptr, {"pic.png", "one.mp4"}},  // each at the top
        {"duplicate", {"have.mp4", "two.mp4"}, "成功导入1个媒体，1个媒体与已导入媒体重复", {"two.mp4"}},
        {"bad picture", {"bad.png"}, "未导入新的媒体，1个媒体无法导入", {}},
        {"no handle", {"nohandle.mp4"}, "未导入新的媒体，1个媒体无法导入", {}},
        {"no information", {"noinfo.avi"}, "未导入新的媒体，1个媒体无法导入", {}},
        {"all three", {"have.mp4", "nohandle.mp4", "three.mkv"}, "成功导入1个媒体，1个媒体与已导入媒体重复，1个媒体无法导入", {"three.mkv"}},
    };
    for (const auto& c : cases) {
        GConfig::instance().clearProject();
        list()->importMediaFiles(existing, 0, 0, 0);
        table()->updateMediaOrder();
        GConfig::instance().setSaved(true);
        QStringList paths;
        for (const QString& n : c.chosen)
            paths << (n == "pic.png" ? png(n.toStdString()) : touch(n.toStdString(), n == "bad.png" ? "not a picture" : "x"));
        prompts.clear();
        prompts.answerPaths(paths);
        if (c.report) prompts.answer(QMessageBox::Ok);
        window.calls.clear();
        list()->addSource(1);

        ASSERT_GE(prompts.calls().size(), 1) << c.what;
        EXPECT_EQ(prompts.calls()[0].title, "添加视频、图片(可多选)");
        EXPECT_EQ(prompts.calls()[0].filter, "media(*.wmv *.avi *.mp4 *.mkv *.rmvb *.png *.jpg *.jpeg *.gif)");
        if (c.report) {
            ASSERT_EQ(prompts.calls().size(), 2) << c.what;
            EXPECT_EQ(prompts.calls()[1].title, "导入完毕");
            EXPECT_EQ(prompts.calls()[1].text, QString::fromUtf8(c.report)) << c.what;
        } else {
            EXPECT_EQ(prompts.calls().size(), 1) << c.what;
        }
        QStringList added;
        for (int r = 0; r < table()->rowCount(); ++r)
            if (table()->rowRecord(r).path != existing) added << table()->rowRecord(r).fileName;
        EXPECT_EQ(added, c.rows) << c.what;
        EXPECT_EQ(GConfig::instance().isSaved(), c.rows.isEmpty()) << c.what;
        // New rows come back selected.
        for (int r = 0; r < table()->rowCount(); ++r)
            EXPECT_EQ(table()->selectionModel()->isRowSelected(r, QModelIndex()),
                      table()->rowRecord(r).path != existing)
                << c.what << " row " << r;
        EXPECT_EQ(window.calls.first(), "wait+") << c.what;
        EXPECT_EQ(window.calls.last(), "wait-") << c.what;
        expectListMatchesRows();
    }
    // Every opened video was closed again.
    EXPECT_EQ(probe.closed.size(), probe.opened.size() - probe.opened.filter("nohandle").size());
}

TEST_F(MediaListTest, ImportedRecordsCarryTheirFacts) {
    const QString video = touch("clip.mp4", std::string(1536, 'v'));
    const QString noframe = touch("noframe.mp4");
    const QString pic = png("still.png");
    ASSERT_TRUE(list()->importMediaFiles(video, 0, 0, 0));
    ASSERT_TRUE(list()->importMediaFiles(noframe, 0, 0, 0));
    ASSERT_TRUE(list()->importMediaFiles(pic, 77, 4242, 0));
    table()->updateMediaOrder();
    const MediaSource p = library().at(0), n = library().at(1), v = library().at(2);

    EXPECT_EQ(v.kind, 0);
    EXPECT_EQ(v.kindText, "添加视频、图片");
    EXPECT_EQ(v.fileName, "clip.mp4");
    EXPECT_EQ(v.fileSize, 1536);
    EXPECT_EQ(v.folderPath, QString::fromStdString(dir.str()));
    EXPECT_EQ(v.duration, 3000);
    EXPECT_EQ(v.naturalLength, 3000);
    EXPECT_EQ(QSize(v.nativeWidth, v.nativeHeight), QSize(16, 8));
    EXPECT_EQ(v.width, 16.0);
    EXPECT_GT(v.sourceKey, QDateTime::currentMSecsSinceEpoch() - 60000);
    EXPECT_EQ(v.folderKey, 0);
    EXPECT_FALSE(v.thumbnail.isNull());

    // No picture from the decoder: the video picture stands in, size 0 x 0.
    QImage stand(QStringLiteral(":/images/video.png"));
    ASSERT_FALSE(stand.isNull());
    EXPECT_EQ(n.thumbnail.size(), v.thumbnail.size());
    EXPECT_EQ(n.thumbnail.pixel(22, 17),
              stand.scaled(n.thumbnail.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(22, 17));
    EXPECT_EQ(QSize(n.nativeWidth, n.nativeHeight), QSize(0, 0));

    EXPECT_EQ(p.kind, 1);
    EXPECT_EQ(p.kindText, "添加图片");
    EXPECT_EQ(p.duration, -1);
    EXPECT_EQ(p.naturalLength, -1);
    EXPECT_EQ(QSize(p.nativeWidth, p.nativeHeight), QSize(64, 48));
    EXPECT_EQ(p.sourceKey, 4242);
    EXPECT_EQ(p.folderKey, 77);
    // Green picture on the thumbnail canvas.
    const QColor centre = p.thumbnail.pixelColor(p.thumbnail.width() / 2, p.thumbnail.height() / 2);
    EXPECT_GT(centre.green(), 150);
    EXPECT_LT(centre.red(), 50);
}

// A FIFO named like a media file (dropped from the desktop or typed in the
// file dialog) blocked the console for ever in open(), and a JPEG whose
// header claims 65,500 x 65,500 grew it by gigabytes on the GUI thread:
// both are refused, the video probe never sees the FIFO, and the rest of
// the import goes on.
TEST_F(MediaListTest, ImportTakesRegularFilesAndBoundedPicturesOnly) {
    const std::string base = dir.str();
    for (const char* name : {"pipe.mp4", "管道.png"})
        ASSERT_EQ(::mkfifo((base + "/" + name).c_str(), 0600), 0);
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(QColor(90, 90, 90));
    const QString bomb = QString::fromStdString(base + "/bomb.jpg");
    ASSERT_TRUE(small.save(bomb, "JPG"));
    {
        QFile f(bomb);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const int sof = bytes.indexOf(QByteArray("\xff\xc0", 2));
        ASSERT_GT(sof, 0);
        bytes[sof + 5] = bytes[sof + 7] = char(0xFF);  // 65,500 each way
        bytes[sof + 6] = bytes[sof + 8] = char(0xDC);
        f.seek(0);
        f.write(bytes);
    }
    const QString good = png("fine.png");
    QStringList paths{QString::fromStdString(base + "/pipe.mp4"), QString::fromStdString(base + "/管道.png"), bomb,
                      good};
    prompts.answerPaths(paths);
    prompts.answer(QMessageBox::Ok);
    list()->addSource(1);
    ASSERT_EQ(prompts.calls().size(), 2);
    EXPECT_EQ(prompts.calls()[1].text, QStringLiteral("成功导入1个媒体，3个媒体无法导入"));
    ASSERT_EQ(table()->rowCount(), 1);
    EXPECT_EQ(table()->rowRecord(0).fileName, QStringLiteral("fine.png"));
    EXPECT_TRUE(probe.opened.isEmpty());
}

TEST_F(MediaListTest, KeysAreNeverReused) {
    QSet<qint64> keys;
    for (int i = 0; i < 300; ++i) {
        const qint64 k = list()->newKey(3);  // only two draws per millisecond
        EXPECT_FALSE(keys.contains(k));
        keys << k;
        appendMedia(QStringLiteral("m%1").arg(i));
        library().last().sourceKey = k;
        table()->item(table()->rowCount() - 1, 2)->setData(MediaTable::kRecordRole, QVariant::fromValue(library().last()));
    }
}

TEST_F(MediaListTest, FolderNamesCountUp) {
    const struct {
        QStringList existing;
        const char* next;
    } cases[] = {
        {{}, "分组1"},
        {{"分组1", "分组3"}, "分组4"},
        {{"我的分组12"}, "分组13"},
        {{"分组01"}, "分组1"},
        {{"分组0", "other"}, "分组1"},
        {{"分组99999999999"}, "分组1"},  // beyond an int: counts as 0
    };
    for (const auto& c : cases) {
        GConfig::instance().clearProject();
        qint64 key = 500;
        for (const QString& n : c.existing) appendFolder(n, ++key);
        EXPECT_EQ(list()->nextFolderName(), QString::fromUtf8(c.next));
        sidebar->findChild<QPushButton*>("medialistAddfolder")->click();
        EXPECT_EQ(table()->rowRecord(0).path, QString::fromUtf8(c.next));
        EXPECT_EQ(table()->rowRecord(0).kind, MediaTable::kFolderKind);
        expectListMatchesRows();
    }
}

TEST_F(MediaListTest, FolderImportMovesKnownFilesAndSkipsOthers) {
    const QString a = touch("show/a.mp4");
    touch("show/B.JPG");  // the folder import compares suffixes as written
    touch("show/notes.txt");
    const QString c = png("show/c.png");
    appendMedia(a);
    const qint64 oldKey = library().at(0).sourceKey;
    const int placed = place(0);

    prompts.answerPath(QString::fromStdString((dir / "show").string()));
    list()->addSource(3);
    EXPECT_EQ(layout(), QStringList({"[show]", "  " + a, "  " + c}));
    EXPECT_EQ(library().at(1).sourceKey, oldKey);  // placed copies keep pointing at it
    EXPECT_EQ(GConfig::instance().mediaRecord(placed).sourceKey, oldKey);
    expectListMatchesRows();

    // The same folder again; an empty folder.
    prompts.answerPath(QString::fromStdString((dir / "show").string())).answer(QMessageBox::Ok);
    list()->addSource(3);
    touch("empty/readme.txt");
    prompts.answerPath(QString::fromStdString((dir / "empty").string())).answer(QMessageBox::Ok);
    list()->addSource(3);
    EXPECT_EQ(prompts.titles().mid(1), QStringList({"选择媒体文件夹", "文件夹已存在", "选择媒体文件夹", "媒体文件为空"}));
    EXPECT_EQ(prompts.texts().at(2), "您要添加的文件夹show已经存在");
    EXPECT_EQ(prompts.texts().at(4), "当前文件夹内没有媒体文件");
    EXPECT_EQ(table()->rowCount(), 3);
}

TEST_F(MediaListTest, CancelledReimportKeepsRowsItNeverReached) {
    QStringList files;
    for (const char* n : {"x1.mp4", "x2.mp4", "x3.mp4"}) files << touch(std::string("set/") + n);
    for (const QString& f : files) appendMedia(f);
    window.cancelAfter = 2;
    prompts.answerPath(QString::fromStdString((dir / "set").string()));
    list()->addSource(3);
    // Two re-imported into the folder; the third keeps its old row.
    EXPECT_EQ(layout(), QStringList({"[set]", "  " + files[0], "  " + files[1], files[2]}));
    expectListMatchesRows();
}

TEST_F(MediaListTest, FailedReimportSurvivesTheNextDrop) {
    const QString broken = touch("noinfo.mp4");
    const QString other = touch("other.mp4");
    const QString later = touch("later.mp4");
    appendMedia(broken);
    appendMedia(other);
    // Dropped again: the file fails, its row stays.
    list()->addOutFiles({broken, other}, 2, false);
    EXPECT_EQ(layout(), QStringList({broken, other}));
    // The next drop does not take it away.
    list()->addOutFiles({later}, 0, false);
    EXPECT_EQ(layout(), QStringList({later, broken, other}));
    expectListMatchesRows();
}

TEST_F(MediaListTest, NothingElseStartsWhileAnImportRuns) {
    appendMedia("keep");
    const QString first = touch("first.mp4");
    const QString second = touch("second.mp4");
    const QString sneaked = touch("sneaked.mp4");
    selectRows({0});
    int tries = 0;
    window.onProgress = [&] {
        if (tries++) return;
        // The operator (or a drop) acts while the import's loop turns.
        list()->delSource();
        list()->addFolder();
        list()->addOutFiles({sneaked}, 0, false);
        list()->addSource(1);
        QKeyEvent del(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
        QCoreApplication::sendEvent(table(), &del);
    };
    list()->addOutFiles({first, second}, 1, false);
    EXPECT_EQ(layout(), QStringList({"keep", first, second}));
    EXPECT_TRUE(prompts.calls().isEmpty());
    expectListMatchesRows();
}

TEST_F(MediaListTest, DropIntoAFolderGoesAfterItsMembers) {
    appendFolder("F", 9);
    appendMedia("f1", 9);
    appendMedia("top");
    const QString dropped = touch("new.mp4");
    list()->addOutFiles({dropped}, 0, true);
    EXPECT_EQ(layout(), QStringList({"[F]", "  f1", "  " + dropped, "top"}));
    EXPECT_EQ(window.calls.filter("1/1").size(), 1);
    expectListMatchesRows();
}

TEST_F(MediaListTest, AFileNamedTwiceInOneDropIsOneRow) {
    // New to the library, and already held by it: one row either way, with
    // a key of its own.
    const QString fresh = png("fresh.png");
    const QString held = png("held.png");
    list()->addOutFiles({held}, 0, false);
    ASSERT_EQ(layout(), QStringList({held}));
    const qint64 heldKey = table()->rowRecord(0).sourceKey;
    list()->addOutFiles({fresh, held, fresh, held}, 1, false);
    EXPECT_EQ(layout(), QStringList({fresh, held}));
    QSet<qint64> keys;
    for (int r = 0; r < table()->rowCount(); ++r) keys << table()->rowRecord(r).sourceKey;
    EXPECT_EQ(keys.size(), 2);
    EXPECT_TRUE(keys.contains(heldKey));
    expectListMatchesRows();
}

TEST_F(MediaListTest, DeletionChecksPlacedMedia) {
    struct Case {
        const char* what;
        bool placed;
        bool locked;
        QMessageBox::StandardButton answer;  // NoButton: no question expected
        QStringList after;
        const char* title;
    };
    const Case cases[] = {
        {"unused", false, false, QMessageBox::NoButton, {"b"}, nullptr},
        {"used, no", true, false, QMessageBox::No, {"a", "b"}, "删除确认"},
        {"used, yes", true, false, QMessageBox::Yes, {"b"}, "删除确认"},
        {"locked", true, true, QMessageBox::Ok, {"a", "b"}, "删除错误"},
    };
    for (const Case& c : cases) {
        GConfig& config = GConfig::instance();
        config.clearProject();
        appendMedia("a");
        appendMedia("b");
        int id = 0;
        if (c.placed) {
            id = place(0, 3);
            config.media()[id].fileName = "a";
        }
        LockedLayers locks(c.locked ? QList<int>{3} : QList<int>{});
        config.setTimeAxisHooks(&locks);
        prompts.clear();
        if (c.answer != QMessageBox::NoButton) prompts.answer(c.answer);
        selectRows({0});
        list()->delSource();
        config.setTimeAxisHooks(nullptr);

        EXPECT_EQ(layout(), c.after) << c.what;
        if (c.title) {
            ASSERT_EQ(prompts.calls().size(), 1) << c.what;
            EXPECT_EQ(prompts.calls()[0].title, QString::fromUtf8(c.title));
        } else {
            EXPECT_TRUE(prompts.calls().isEmpty()) << c.what;
        }
        if (QString::fromUtf8(c.title) == "删除确认") {
            EXPECT_EQ(prompts.calls()[0].text, "以下媒体文件已被应用：\na\n是否确定删除？");
            EXPECT_EQ(prompts.calls()[0].defaultButton, QMessageBox::No);
        }
        if (c.locked) {
            EXPECT_EQ(prompts.calls()[0].text, "以下媒体文件已被应用且在图层被锁定：\na\n");
        }
        // The placed copy goes with its library entry, only then.
        EXPECT_EQ(config.mediaSource(id) != nullptr, c.placed && c.after.contains("a")) << c.what;
        expectListMatchesRows();
    }
}

TEST_F(MediaListTest, DeletingAFolderTakesOnlyItsMembers) {
    appendFolder("F", 21);
    appendMedia("f1", 21);
    appendMedia("f2", 21);
    appendFolder("G", 22);
    appendMedia("g1", 22);
    appendMedia("top");
    selectRows({0});
    QTest::keyClick(table(), Qt::Key_Delete, Qt::ShiftModifier);  // with a modifier: nothing
    EXPECT_EQ(table()->rowCount(), 6);
    // A release without its press on the table (one typed in an editor)
    // deletes nothing; a whole key stroke on the table does.
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(table(), &release);
    EXPECT_EQ(table()->rowCount(), 6);
    QTest::keyClick(table(), Qt::Key_Delete);
    EXPECT_EQ(layout(), QStringList({"[G]", "  g1", "top"}));
    EXPECT_FALSE(GConfig::instance().isSaved());
    expectListMatchesRows();
}

TEST_F(MediaListTest, GreyEntriesOnlyResetTheBox) {
    auto* box = sidebar->findChild<QComboBox*>("medialistCombobox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->count(), 12);
    EXPECT_EQ(box->itemText(4), "添加文字");
    box->setCurrentIndex(4);
    list()->addSource(4);
    EXPECT_EQ(box->currentIndex(), 0);
    list()->addSource(12);
    EXPECT_TRUE(prompts.calls().isEmpty());
    EXPECT_EQ(table()->rowCount(), 0);
}

}  // namespace
