// The media table: rows and folders, texts, drop targets, moves, the drag
// record and desktop drops.
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>

#include <fstream>

#include "kestrane/clicklabel.h"
#include "panelfixture.h"

namespace {

class MediaTableTest : public PanelTest {
protected:
    // a, [F] f1 f2, b, [G] g1, c
    void buildSample() {
        appendMedia("a");
        appendFolder("F", 11);
        appendMedia("f1", 11);
        appendMedia("f2", 11);
        appendMedia("b");
        appendFolder("G", 12);
        appendMedia("g1", 12);
        appendMedia("c");
        QCoreApplication::processEvents();
    }
    QPushButton* arrowOf(int row) const {
        return table()->cellWidget(row, 0)->property("arrow").value<QPushButton*>();
    }
};

TEST_F(MediaTableTest, InsertPositionsFollowTheSelectionAndFolders) {
    // No selection: the top.
    table()->insertMediaRow(media("first"), -1, 0);
    EXPECT_EQ(layout(), QStringList({"first"}));
    for (const char* n : {"r1", "r2", "r3", "r4", "r5"}) appendMedia(n);
    // Rows 3 to 5 selected: at row 3.
    selectRows({3, 4, 5});
    table()->insertMediaRow(media("new"), -1, 0);
    EXPECT_EQ(table()->rowRecord(3).path, "new");

    // Before a member of a folder: joins it, with the smaller picture on the right.
    appendFolder("F", 40);
    appendMedia("m1", 40);
    const int m1 = table()->rowCount() - 1;
    table()->insertMediaRow(media("joiner"), m1, 0);
    table()->updateMediaOrder();
    EXPECT_EQ(table()->rowRecord(m1).folderKey, 40);
    auto* thumb = qobject_cast<QLabel*>(table()->cellWidget(m1, 0));
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->pixmap(Qt::ReturnByValue).size(), QSize(38, 28));
    EXPECT_TRUE(thumb->alignment() & Qt::AlignRight);
    // Before the folder row itself: stays at the top level.
    table()->insertMediaRow(media("outside"), m1 - 1, 0);
    table()->updateMediaOrder();
    EXPECT_EQ(table()->rowRecord(m1 - 1).folderKey, 0);
    expectListMatchesRows();
}

TEST_F(MediaTableTest, PlayLengthTexts) {
    const struct {
        int ms;
        const char* text;  // null: no cell
    } cases[] = {{65000, "1:05"}, {5500, "0:05.5"}, {600000, "10:00"}, {125000, "2:05"}, {-1, nullptr}};
    for (const auto& c : cases) {
        table()->insertMediaRow(media("x", c.ms), 0, 0);
        const QTableWidgetItem* cell = table()->item(0, 3);
        if (c.text) {
            ASSERT_NE(cell, nullptr) << c.ms;
            EXPECT_EQ(cell->text(), QString::fromUtf8(c.text)) << c.ms;
        } else {
            EXPECT_EQ(cell, nullptr) << c.ms;
        }
    }
}

TEST_F(MediaTableTest, UniqueFolderNames) {
    const struct {
        QStringList existing;
        const char* name;
        const char* unique;
    } cases[] = {
        {{}, "A", "A"},
        {{"A"}, "A", "A(2)"},
        {{"A", "A(2)"}, "A", "A(3)"},
        {{"A(9)"}, "A(9)", "A(10)"},
        {{"Show (1) intro"}, "Show (1) intro", "Show (1) intro(2)"},
        {{"clip.mp4"}, "clip.mp4", "clip.mp4(2)"},  // media paths count too
    };
    for (const auto& c : cases) {
        table()->setRowCount(0);
        qint64 key = 100;
        for (const QString& n : c.existing) {
            if (n.endsWith(QLatin1String(".mp4")))
                appendMedia(n);
            else
                appendFolder(n, ++key);
        }
        EXPECT_EQ(table()->uniqueFolderName(QString::fromUtf8(c.name), -1), QString::fromUtf8(c.unique)) << c.name;
    }
    // The entry being renamed does not collide with itself.
    EXPECT_EQ(table()->uniqueFolderName("clip.mp4", 0), "clip.mp4");
}

TEST_F(MediaTableTest, RenameInPlace) {
    appendFolder("One", 1);
    appendFolder("Two", 2);
    appendFolder("Three", 3);
    const auto rename = [this](int row, const QString& text) {
        QWidget* w = table()->cellWidget(row, 0);
        auto* label = w->findChild<ClickLabel*>();
        auto* editor = w->findChild<QLineEdit*>();
        emit label->doubleClicked();
        EXPECT_TRUE(label->isHidden());
        EXPECT_FALSE(editor->isHidden());
        editor->setText(text);
        emit editor->editingFinished();
        EXPECT_TRUE(editor->isHidden());
        return label->text();
    };
    EXPECT_EQ(rename(1, "One"), "One(2)");
    EXPECT_EQ(rename(2, " One "), "One(3)");
    EXPECT_EQ(rename(0, "   "), "One");
    EXPECT_EQ(layout(), QStringList({"[One]", "[One(2)]", "[One(3)]"}));
    // A drag of the renamed folder carries its new name.
    EXPECT_EQ(table()->cellWidget(1, 0)->property("title").toString(), "One(2)");
    expectListMatchesRows();
}

TEST_F(MediaTableTest, CollapsedFolderStaysCollapsedAfterChangesAndReload) {
    buildSample();
    arrowOf(1)->click();  // collapse F
    EXPECT_TRUE(table()->isRowHidden(2));
    EXPECT_TRUE(table()->isRowHidden(3));
    EXPECT_FALSE(table()->isRowHidden(4));
    EXPECT_TRUE(library().at(1).collapsed);

    // Another change rebuilds the list from the rows: the state holds.
    appendMedia("d");
    EXPECT_TRUE(library().at(1).collapsed);

    // A project reload inserts the saved list from the last entry to the first, each at the top.
    const QList<MediaSource> saved = library();
    GConfig& config = GConfig::instance();
    config.clearProject();
    EXPECT_EQ(table()->rowCount(), 0);
    for (int i = saved.size() - 1; i >= 0; --i) {
        if (saved.at(i).kind == MediaTable::kFolderKind)
            config.sidePanelHooks().insertFolderRow(saved.at(i));
        else
            config.sidePanelHooks().insertMediaRow(saved.at(i), saved.at(i).folderKey);
    }
    config.sidePanelHooks().updateMediaOrder();
    EXPECT_EQ(layout(), QStringList({"a", "[F]", "  f1", "  f2", "b", "[G]", "  g1", "c", "d"}));
    EXPECT_TRUE(arrowOf(1)->isChecked());
    EXPECT_TRUE(table()->isRowHidden(2));
    EXPECT_TRUE(table()->isRowHidden(3));
    EXPECT_FALSE(table()->isRowHidden(6));

    // Expanding shows the members again.
    arrowOf(1)->click();
    EXPECT_FALSE(table()->isRowHidden(2));
    EXPECT_FALSE(library().at(1).collapsed);
    expectListMatchesRows();
}

TEST_F(MediaTableTest, DropTargetsAndRowsUnderPoints) {
    appendMedia("m");         // 0..39
    appendFolder("F", 5);     // 40..61
    appendMedia("n");         // 62..101
    const struct {
        int y;
        int target;
        bool inFolder;
    } cases[] = {
        {0, 0, false},  {20, 0, false}, {21, 1, false},  // media row: upper half before it
        {45, 1, false}, {46, 1, true},  {56, 1, true},   // folder row: quarter before, middle into
        {57, 2, false},                                  // lower quarter: next row
        {82, 2, false}, {83, 3, false}, {500, 3, false},
    };
    for (const auto& c : cases) {
        bool in = false;
        EXPECT_EQ(table()->dropTarget(QPoint(5, c.y), &in), c.target) << c.y;
        EXPECT_EQ(in, c.inFolder) << c.y;
    }
    EXPECT_EQ(table()->rowAtY(QPoint(0, 39)), 0);
    EXPECT_EQ(table()->rowAtY(QPoint(0, 40)), 1);
    EXPECT_EQ(table()->rowAtY(QPoint(0, 101)), 2);
    EXPECT_EQ(table()->rowAtY(QPoint(0, 102)), 3);
}

TEST_F(MediaTableTest, MovesOfRowsAndFolders) {
    const QStringList start = {"a", "[F]", "  f1", "  f2", "b", "[G]", "  g1", "c"};
    const struct {
        const char* what;
        QList<int> selected;
        int target;
        bool inFolder;
        bool moved;
        QStringList after;
    } cases[] = {
        {"top level", {7}, 0, false, true, {"c", "a", "[F]", "  f1", "  f2", "b", "[G]", "  g1"}},
        {"into a folder", {4}, 1, true, true, {"a", "[F]", "  b", "  f1", "  f2", "[G]", "  g1", "c"}},
        {"before a member", {0}, 3, false, true, {"[F]", "  f1", "  a", "  f2", "b", "[G]", "  g1", "c"}},
        {"out of a folder", {2}, 0, false, true, {"f1", "a", "[F]", "  f2", "b", "[G]", "  g1", "c"}},
        {"folder with members", {5}, 0, false, true, {"[G]", "  g1", "a", "[F]", "  f1", "  f2", "b", "c"}},
        {"folder into folder", {5}, 1, true, false, start},
        {"folder onto a member", {5}, 3, false, false, start},
        {"folder onto itself", {5}, 5, false, false, start},
        {"folder onto its member", {5}, 6, false, false, start},
    };
    for (const auto& c : cases) {
        table()->setRowCount(0);
        buildSample();
        ASSERT_EQ(layout(), start);
        selectRows(c.selected);
        EXPECT_EQ(table()->dropRows(c.target, table()->selectedRowList(), c.inFolder), c.moved) << c.what;
        EXPECT_EQ(layout(), c.after) << c.what;
        expectListMatchesRows();
    }
}

TEST_F(MediaTableTest, MoveIntoACollapsedFolderHidesTheRow) {
    buildSample();
    arrowOf(1)->click();
    selectRows({7});
    ASSERT_TRUE(table()->dropRows(1, {7}, true));
    EXPECT_EQ(layout(), QStringList({"a", "[F]", "  c", "  f1", "  f2", "b", "[G]", "  g1"}));
    EXPECT_TRUE(table()->isRowHidden(2));
    // The moved rows come back selected.
    ASSERT_TRUE(spinUntil([this] { return !table()->selectedRanges().isEmpty(); }));
    EXPECT_EQ(table()->selectedRowList(), QList<int>({2}));
}

TEST_F(MediaTableTest, DragRecordOfMediaAndFolders) {
    buildSample();
    // Two media selected, the drag from the current one: refused by the stage (2).
    table()->setCurrentCell(4, 1);
    selectRows({0, 4});
    kestrane::MediaDrag d = kestrane::makeMediaDrag(table(), QPoint(10, 4 * 40 - 40 + 22 + 5));
    ASSERT_TRUE(d.mime);
    EXPECT_EQ(d.mime->text(), "b");
    EXPECT_EQ(d.mime->property("mediaType").toString(), "item");
    EXPECT_EQ(d.mime->property("mediaItem").toInt(), 4);
    EXPECT_EQ(d.mime->property("sourceType").toString(), "media");
    EXPECT_EQ(d.mime->property("selectedNum").toInt(), 2);
    const MediaSource carried = d.mime->property("mediaSource").value<MediaSource>();
    EXPECT_EQ(carried.path, "b");
    EXPECT_EQ(carried.sourceKey, library().at(4).sourceKey);

    // A press outside the current row starts nothing.
    EXPECT_FALSE(kestrane::makeMediaDrag(table(), QPoint(10, 5)).mime);

    // A folder: its name, "folder", no media counted.
    table()->setCurrentCell(5, 0);
    selectRows({5});
    d = kestrane::makeMediaDrag(table(), QPoint(10, 4 * 40 + 22 + 8));
    ASSERT_TRUE(d.mime);
    EXPECT_EQ(d.mime->text(), "G");
    EXPECT_EQ(d.mime->property("mediaType").toString(), "folder");
    EXPECT_EQ(d.mime->property("selectedNum").toInt(), 0);
    EXPECT_EQ(d.mime->property("mediaSource").value<MediaSource>().folderKey, 12);
}

TEST_F(MediaTableTest, DragPictureLeavesUnselectedRowsTransparent) {
    for (const char* n : {"r0", "r1", "r2", "r3", "r4", "r5"}) appendMedia(n);
    table()->resize(300, 400);
    QCoreApplication::processEvents();
    table()->setCurrentCell(2, 1);
    selectRows({2, 5});
    const kestrane::MediaDrag d = kestrane::makeMediaDrag(table(), QPoint(30, 2 * 40 + 10));
    ASSERT_TRUE(d.mime);
    const QImage pic = d.picture.toImage();
    EXPECT_EQ(pic.height(), 4 * 40);
    EXPECT_EQ(pic.width(), table()->width() - MediaTable::kScrollBarWidth);
    EXPECT_EQ(d.hotSpot, QPoint(30, 20));
    // Rows 2 and 5 faintly drawn, 3 and 4 clear.
    const auto alphaAt = [&](int y) { return qAlpha(pic.pixel(pic.width() / 2, y)); };
    EXPECT_GT(alphaAt(20), 0);
    EXPECT_LE(alphaAt(20), 60);
    EXPECT_EQ(alphaAt(60), 0);
    EXPECT_EQ(alphaAt(100), 0);
    EXPECT_GT(alphaAt(140), 0);
}

TEST_F(MediaTableTest, DragEventsOverTheTable) {
    buildSample();
    table()->resize(300, 600);
    QCoreApplication::processEvents();
    QWidget* port = table()->viewport();

    // A layer header's drag is refused on entry.
    QMimeData layer;
    layer.setProperty("type", "layerPanel");
    QDragEnterEvent refused(QPoint(10, 10), Qt::MoveAction, &layer, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(port, &refused);
    EXPECT_FALSE(refused.isAccepted());

    // A media row dragged over the middle of a folder row: a box around it.
    table()->setCurrentCell(0, 1);
    selectRows({0});
    kestrane::MediaDrag d = kestrane::makeMediaDrag(table(), QPoint(10, 10));
    ASSERT_TRUE(d.mime);
    QDragEnterEvent enter(QPoint(10, 10), Qt::MoveAction, d.mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(port, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent overFolder(QPoint(10, 40 + 11), Qt::MoveAction, d.mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(port, &overFolder);
    EXPECT_TRUE(table()->dropIndicator()->isVisible());
    EXPECT_EQ(table()->dropIndicator()->geometry().height(), 22);
    EXPECT_EQ(table()->dropIndicator()->geometry().top(), 40);
    // Between rows: a line.
    QDragMoveEvent between(QPoint(10, 40 + 22 + 40 + 40 + 5), Qt::MoveAction, d.mime.get(), Qt::LeftButton,
                           Qt::NoModifier);
    QCoreApplication::sendEvent(port, &between);
    EXPECT_EQ(table()->dropIndicator()->geometry().height(), 1);
    EXPECT_EQ(table()->dropIndicator()->geometry().top(), 40 + 22 + 40 + 40);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(port, &leave);
    EXPECT_FALSE(table()->dropIndicator()->isVisible());

    // Dropped just below itself: nothing moves.
    dropAt(d.mime.get(), QPoint(10, 41));
    EXPECT_EQ(layout(), QStringList({"a", "[F]", "  f1", "  f2", "b", "[G]", "  g1", "c"}));
    // Dropped into the folder: moves in.
    dropAt(d.mime.get(), QPoint(10, 40 + 11));
    EXPECT_EQ(layout(), QStringList({"[F]", "  a", "  f1", "  f2", "b", "[G]", "  g1", "c"}));
    EXPECT_FALSE(GConfig::instance().isSaved());
    expectListMatchesRows();
}

TEST_F(MediaTableTest, DesktopDropsKeepImportableFiles) {
    const auto touch = [this](const std::string& rel) {
        const std::filesystem::path p = dir / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << "x";
        return QString::fromStdString(p.string());
    };
    const QString blanks = touch("with blanks.mp4");
    const QString hash = touch("take #2.avi");
    const QString cjk = touch("片头 视频.mkv");
    const QString upper = touch("LOUD.MP4");
    const QString text = touch("notes.txt");
    const QString nested = touch("shows/inner/deep.png");
    touch("shows/readme.doc");
    const QString shows = QString::fromStdString((dir / "shows").string());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(blanks), QUrl::fromLocalFile(hash), QUrl::fromLocalFile(cjk),
                  QUrl::fromLocalFile(upper), QUrl::fromLocalFile(text), QUrl::fromLocalFile(shows),
                  QUrl(QStringLiteral("http://example.invalid/remote.mp4"))});
    EXPECT_EQ(table()->droppedFiles(&data), QStringList({blanks, hash, cjk, nested}));

    // Only unimportable files: nothing is handed on.
    QSignalSpy spy(table(), &MediaTable::addOutFiles);
    QMimeData none;
    none.setUrls({QUrl::fromLocalFile(upper), QUrl::fromLocalFile(text)});
    dropAt(&none, QPoint(10, 10), Qt::CopyAction);
    EXPECT_EQ(spy.count(), 0);

    // A real drop hands them to the library with the target row.
    appendMedia("existing");
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(blanks)});
    dropAt(&one, QPoint(10, 30), Qt::CopyAction);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toStringList(), QStringList({blanks}));
    EXPECT_EQ(spy.at(0).at(1).toInt(), 1);
    EXPECT_EQ(layout(), QStringList({"existing", blanks}));
}

}  // namespace
