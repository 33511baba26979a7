#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>

#include "axisfixture.h"
#include "kestrane/colorwidget.h"
#include "kestrane/layerio.h"
#include "kestrane/layermedia.h"
#include "kestrane/layerplaycontrol.h"

namespace {

TEST_F(AxisTest, ConstructionGivesFiveLayersWithHiddenEffectRowsThenTheFiller) {
    EXPECT_EQ(layout(), QStringLiteral("L1 L2 L3 L4 L5"));
    EXPECT_EQ(axis->layerRowCount(), 25);
    for (int row = 0; row < table()->fillerRow(); ++row) {
        EXPECT_EQ(table()->isRowHidden(row), table()->isEffectRow(row)) << row;
        if (!table()->isEffectRow(row)) {
            EXPECT_EQ(table()->rowHeight(row), 42) << row;
        }
    }
    header(QStringLiteral("L1"))->effectButton()->click();
    for (int row : table()->effectRows(0))
        EXPECT_EQ(table()->rowHeight(row), 24) << row;
    EXPECT_EQ(table()->rowRole(25), 0);
    EXPECT_EQ(table()->rowHeight(25), 1);
    // New layers count on from the largest number in a layer title.
    EXPECT_EQ(LayerInfoPanel::newLayerTitle(), QStringLiteral("图层1"));
    header(QStringLiteral("L3"))->setTitle(QStringLiteral("图层7"));
    EXPECT_EQ(axis->addLayer()->title(), QStringLiteral("图层8"));
    EXPECT_EQ(GConfig::instance().timelineLength(), 5 * 60000);
    EXPECT_EQ(GConfig::instance().minimumSpan(), 5 * 60000);
}

TEST_F(AxisTest, InsertingAtAGroupsLayerStaysInTheGroup) {
    axis->markCurrentLayer(rowOf(QStringLiteral("L3")));
    axis->addFolder()->setTitle(QStringLiteral("G"));
    header(QStringLiteral("L3"))->setKind(LayerInfoPanel::ChildLayer);
    header(QStringLiteral("L4"))->setKind(LayerInfoPanel::ChildLayer);
    ASSERT_EQ(layout(), QStringLiteral("L1 L2 G(L3 L4) L5"));

    // A layer above a group's layer is one of its layers; above the group's
    // header it is at the top level.
    axis->markCurrentLayer(rowOf(QStringLiteral("L4")));
    axis->addLayer()->setTitle(QStringLiteral("A"));
    EXPECT_EQ(layout(), QStringLiteral("L1 L2 G(L3 A L4) L5"));
    axis->markCurrentLayer(rowOf(QStringLiteral("G")));
    axis->addLayer()->setTitle(QStringLiteral("B"));
    EXPECT_EQ(layout(), QStringLiteral("L1 L2 B G(L3 A L4) L5"));

    // A group added at a group's layer goes below the group's last layer.
    axis->markCurrentLayer(rowOf(QStringLiteral("L3")));
    LayerInfoPanel* g = axis->addFolder();
    EXPECT_EQ(g->title(), QStringLiteral("图层组1"));
    g->setTitle(QStringLiteral("H"));
    EXPECT_EQ(layout(), QStringLiteral("L1 L2 B G(L3 A L4) H() L5"));
    EXPECT_FALSE(axis->addFolderButton()->isEnabled());
    ASSERT_TRUE(waitFor([this] { return axis->addFolderButton()->isEnabled(); }));

    // The loader appends in file order.
    axis->addLayer(true)->setTitle(QStringLiteral("Z"));
    axis->addFolder(true)->setTitle(QStringLiteral("Y"));
    EXPECT_EQ(layout(), QStringLiteral("L1 L2 B G(L3 A L4) H() L5 Z Y()"));
    ASSERT_TRUE(waitFor([] { return GConfig::instance().isSaved(); }));
}

class DeleteTest : public AxisTest {
protected:
    void SetUp() override {
        AxisTest::SetUp();
        axis->markCurrentLayer(rowOf(QStringLiteral("L2")));
        axis->addFolder()->setTitle(QStringLiteral("G"));
        header(QStringLiteral("L2"))->setKind(LayerInfoPanel::ChildLayer);
        header(QStringLiteral("L3"))->setKind(LayerInfoPanel::ChildLayer);
        ASSERT_EQ(layout(), QStringLiteral("L1 G(L2 L3) L4 L5"));
    }

    void removeChecked() {
        axis->removeLayer();
        QCoreApplication::processEvents();
    }
};

TEST_F(DeleteTest, AGroupWithLayersAsksOnceAndTakesThem) {
    check({QStringLiteral("G")});
    removeChecked();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].kind, kestrane::PromptRequest::Question);
    EXPECT_EQ(prompts[0].title, QStringLiteral("删除确认"));
    EXPECT_EQ(prompts[0].text, QStringLiteral("选中的图层组包含子图层，程序将会删除这些子图层，是否确认删除？"));
    EXPECT_EQ(layout(), QStringLiteral("L1 L4 L5"));
}

TEST_F(DeleteTest, NoKeepsEverything) {
    answer = false;
    check({QStringLiteral("L4")});
    removeChecked();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, QStringLiteral("是否确认删除选中的图层/图层组？"));
    EXPECT_EQ(layout(), QStringLiteral("L1 G(L2 L3) L4 L5"));
}

TEST_F(DeleteTest, ALockedLayerOfACheckedGroupBlocks) {
    header(QStringLiteral("L3"))->setLocked(true);
    check({QStringLiteral("G"), QStringLiteral("L5")});
    removeChecked();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].kind, kestrane::PromptRequest::Warning);
    EXPECT_EQ(prompts[0].title, QStringLiteral("删除错误"));
    EXPECT_EQ(prompts[0].text, QStringLiteral("选定的图层或图层组及其子图层已被锁定，无法删除"));
    EXPECT_EQ(layout(), QStringLiteral("L1 G(L2 L3) L4 L5"));
    // Locking a layer locks its effect rows.
    for (int row : table()->effectRows(rowOf(QStringLiteral("L3"))))
        EXPECT_TRUE(table()->effectHeader(row)->isLocked());
}

TEST_F(DeleteTest, ALayerCheckedWithItsGroupDeletesNothingElse) {
    check({QStringLiteral("G"), QStringLiteral("L3")});
    removeChecked();
    EXPECT_EQ(layout(), QStringLiteral("L1 L4 L5"));
}

TEST_F(DeleteTest, OneRowAsksForItsMediaButAnEmptyGroupHasNone) {
    GConfig& config = GConfig::instance();
    MediaSource m;
    m.id = 1;
    m.start = 0;
    m.duration = 1000;
    m.layer = rowOf(QStringLiteral("L4"));
    config.media().insert(1, m);
    strip(QStringLiteral("L4"))->addMedia(1);

    axis->markCurrentLayer(rowOf(QStringLiteral("L5")));
    axis->addFolder()->setTitle(QStringLiteral("E"));
    axis->removeLayerRow(rowOf(QStringLiteral("E")), true);
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(layout(), QStringLiteral("L1 G(L2 L3) L4 L5"));

    answer = false;
    axis->removeLayerRow(rowOf(QStringLiteral("L4")), true);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, QStringLiteral("当前图层有1个媒体，是否确认全部删除？"));
    answer = true;
    axis->removeLayerRow(rowOf(QStringLiteral("L4")), true);
    EXPECT_EQ(layout(), QStringLiteral("L1 G(L2 L3) L5"));
    EXPECT_FALSE(config.media().contains(1));

    header(QStringLiteral("L5"))->setLocked(true);
    prompts.clear();
    axis->removeLayerRow(rowOf(QStringLiteral("L5")), true);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, QStringLiteral("锁定的图层/图层组无法删除"));
    EXPECT_EQ(layout(), QStringLiteral("L1 G(L2 L3) L5"));
}

TEST_F(AxisTest, RenumberingCarriesTheRecordsAlong) {
    GConfig& config = GConfig::instance();
    const int row = rowOf(QStringLiteral("L5"));
    MediaSource m;
    m.id = 7;
    m.start = 1000;
    m.duration = 3000;
    m.layer = row;
    config.media().insert(7, m);
    strip(QStringLiteral("L5"))->addMedia(7);
    LayerIORecord io;
    io.id = 3;
    io.layerRow = row;
    io.kind = 2;
    config.addLayerIO(io);
    strip(QStringLiteral("L5"))->addLayerIO(3);
    PlayControlRecord pc;
    pc.id = 4;
    pc.layerRow = row;
    pc.time = 2000;
    config.addPlayControl(pc);
    strip(QStringLiteral("L5"))->addPlayControl(4);

    axis->markCurrentLayer(rowOf(QStringLiteral("L1")));
    axis->addLayer();
    const int moved = rowOf(QStringLiteral("L5"));
    EXPECT_EQ(moved, row + 5);
    EXPECT_EQ(config.mediaRecord(7).layer, moved);
    EXPECT_EQ(config.findLayerIO(3)->layerRow, moved);
    EXPECT_EQ(config.findPlayControl(4)->layerRow, moved);

    // The reorder moves them too, and blocks leave with their records.
    axis->markCurrentLayer(moved);
    axis->changeLayerSequence(0);
    EXPECT_EQ(layout(), QStringLiteral("L5 图层1 L1 L2 L3 L4"));
    EXPECT_EQ(config.mediaRecord(7).layer, 0);
    EXPECT_EQ(config.findLayerIO(3)->layerRow, 0);
    config.removeLayerIO(3, false);
    config.removePlayControl(4, false);
    EXPECT_TRUE(strip(QStringLiteral("L5"))->layerIOItems().isEmpty());
    EXPECT_TRUE(strip(QStringLiteral("L5"))->playControlItems().isEmpty());
}

TEST_F(AxisTest, ChangeLayerSequenceMovesTheCurrentLayersBlock) {
    axis->markCurrentLayer(rowOf(QStringLiteral("L3")));
    axis->addFolder()->setTitle(QStringLiteral("G"));
    header(QStringLiteral("L3"))->setKind(LayerInfoPanel::ChildLayer);
    header(QStringLiteral("L4"))->setKind(LayerInfoPanel::ChildLayer);
    struct Case {
        const char* current;
        int code;
        const char* result;
    };
    const Case cases[] = {
        {"L2", 2, "L1 G(L3 L4) L2 L5"},  {"L2", 1, "L1 L2 G(L3 L4) L5"}, {"G", 3, "L1 L2 L5 G(L3 L4)"},
        {"L4", 0, "L1 L2 L5 G(L4 L3)"}, {"G", 1, "L1 L2 G(L4 L3) L5"}, {"L1", 3, "L2 G(L4 L3) L5 L1"},
        {"L3", 2, "L2 G(L4 L3) L5 L1"},
    };
    for (const Case& c : cases) {
        axis->markCurrentLayer(rowOf(QString::fromUtf8(c.current)));
        axis->changeLayerSequence(c.code);
        EXPECT_EQ(layout(), QString::fromUtf8(c.result)) << c.current << " " << c.code;
        EXPECT_EQ(axis->currentLayer(), rowOf(QString::fromUtf8(c.current)));
    }
    // Opened effect rows stay open under their layer.
    header(QStringLiteral("L5"))->effectButton()->click();
    axis->markCurrentLayer(rowOf(QStringLiteral("L5")));
    axis->changeLayerSequence(0);
    EXPECT_EQ(layout(), QStringLiteral("L5 L2 G(L4 L3) L1"));
    for (int row : table()->effectRows(0))
        EXPECT_FALSE(table()->isRowHidden(row));
    EXPECT_TRUE(table()->isRowHidden(table()->effectRows(rowOf(QStringLiteral("L1"))).first()));
}

TEST_F(AxisTest, ShiftClickRangesSkipEffectRowsAndStartAtTheTopWithoutAnAnchor) {
    auto release = [this](const QString& title, Qt::KeyboardModifiers mods) {
        const int y = table()->rowViewportPosition(rowOf(title)) + 5;
        QMouseEvent event(QEvent::MouseButtonRelease, QPointF(400, y), Qt::LeftButton, Qt::NoButton, mods);
        QCoreApplication::sendEvent(table()->viewport(), &event);
    };
    auto checkedTitles = [this] {
        QStringList titles;
        for (int row : axis->checkedLayers())
            titles << table()->header(row)->title();
        return titles.join(QLatin1Char(' '));
    };
    table()->uncheckOthers({});
    release(QStringLiteral("L3"), Qt::ShiftModifier);
    EXPECT_EQ(checkedTitles(), QStringLiteral("L1 L2 L3"));

    header(QStringLiteral("L2"))->effectButton()->click();  // effect rows in the way, shown
    release(QStringLiteral("L2"), Qt::NoModifier);
    EXPECT_EQ(checkedTitles(), QStringLiteral("L2"));
    release(QStringLiteral("L4"), Qt::ShiftModifier);
    EXPECT_EQ(checkedTitles(), QStringLiteral("L2 L3 L4"));
    release(QStringLiteral("L5"), Qt::ControlModifier);
    EXPECT_EQ(checkedTitles(), QStringLiteral("L2 L3 L4 L5"));
    release(QStringLiteral("L1"), Qt::ShiftModifier);
    EXPECT_EQ(checkedTitles(), QStringLiteral("L1 L2 L3 L4 L5"));

    // An effect row selects itself and its layer; a layer click clears it.
    const int effect = table()->effectRows(rowOf(QStringLiteral("L2"))).at(1);
    const int y = table()->rowViewportPosition(effect) + 5;
    QMouseEvent onEffect(QEvent::MouseButtonRelease, QPointF(400, y), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table()->viewport(), &onEffect);
    EXPECT_TRUE(table()->effectHeader(effect)->isSelected());
    EXPECT_EQ(checkedTitles(), QStringLiteral("L2"));
    release(QStringLiteral("L4"), Qt::NoModifier);
    EXPECT_FALSE(table()->effectHeader(effect)->isSelected());

    // A stale anchor past the rows is brought back into them.
    release(QStringLiteral("L5"), Qt::NoModifier);
    axis->removeLayerRow(rowOf(QStringLiteral("L5")), false);
    table()->uncheckOthers({});
    release(QStringLiteral("L3"), Qt::ShiftModifier);
    EXPECT_EQ(checkedTitles(), QStringLiteral("L3 L4"));
    // The filler takes no part.
    const QString before = checkedTitles();
    QMouseEvent onFiller(QEvent::MouseButtonRelease,
                         QPointF(400, table()->rowViewportPosition(table()->fillerRow())), Qt::LeftButton,
                         Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table()->viewport(), &onFiller);
    EXPECT_EQ(checkedTitles(), before);
}

// A drag as the rows see it: the properties on the data object.
std::unique_ptr<QMimeData> dragOf(std::initializer_list<std::pair<const char*, QVariant>> props) {
    auto data = std::make_unique<QMimeData>();
    for (const auto& p : props)
        data->setProperty(p.first, p.second);
    return data;
}

bool entered(QWidget* w, const QMimeData* data) {
    QDragEnterEvent event(QPoint(50, 10), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    event.ignore();
    QCoreApplication::sendEvent(w, &event);
    return event.isAccepted();
}

// A drop goes to the widget that accepted the drag's entry, as it would
// from the window system.
void dropAt(QWidget* w, const QMimeData* data, const QPoint& pos) {
    ASSERT_TRUE(entered(w, data));
    QDropEvent event(pos, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

TEST_F(AxisTest, StripsRefuseDragsOntoLockedGroupAndOwnRows) {
    GConfig& config = GConfig::instance();
    MediaSource m;
    m.id = 5;
    m.start = 0;
    m.duration = 30000;
    m.layer = rowOf(QStringLiteral("L2"));
    config.media().insert(5, m);
    strip(QStringLiteral("L2"))->addMedia(5);
    axis->markCurrentLayer(rowOf(QStringLiteral("L4")));
    axis->addFolder()->setTitle(QStringLiteral("G"));
    header(QStringLiteral("L3"))->setLocked(true);

    const auto media = dragOf({{"mediaId", 5}, {"posX", 0}});
    EXPECT_TRUE(entered(strip(QStringLiteral("L1")), media.get()));
    EXPECT_FALSE(entered(strip(QStringLiteral("L2")), media.get()));  // its own row
    EXPECT_FALSE(entered(strip(QStringLiteral("L3")), media.get()));  // locked
    EXPECT_FALSE(entered(strip(QStringLiteral("G")), media.get()));   // a group
    const auto output = dragOf({{"type", QStringLiteral("outControl")}, {"groupId", 9}});
    EXPECT_TRUE(entered(strip(QStringLiteral("L1")), output.get()));
    EXPECT_FALSE(entered(strip(QStringLiteral("L3")), output.get()));
    EXPECT_FALSE(entered(strip(QStringLiteral("G")), output.get()));
    EXPECT_FALSE(entered(strip(QStringLiteral("L1")), dragOf({{"type", QStringLiteral("layerPanel")}}).get()));

    // An output control dropped in the margin left of time 0 starts at 0.
    dropAt(strip(QStringLiteral("L1")), output.get(), QPoint(2, 10));
    ASSERT_EQ(config.layerIOs().size(), 1);
    const LayerIORecord* io = config.layerIOs().first();
    EXPECT_EQ(io->time, 0);
    EXPECT_EQ(io->kind, 2);
    EXPECT_EQ(io->length, 0);
    EXPECT_EQ(io->outControlId, 9);
    EXPECT_EQ(io->layerRow, rowOf(QStringLiteral("L1")));
    EXPECT_TRUE(io->name.isEmpty() && io->data.isEmpty());
    ASSERT_EQ(strip(QStringLiteral("L1"))->layerIOItems().size(), 1);

    // Moving it keeps its record and id; it takes the drop point's time.
    const auto moveIo = dragOf({{"mOutControlId", io->id}});
    dropAt(strip(QStringLiteral("L4")), moveIo.get(), QPoint(7 + 20, 10));
    EXPECT_EQ(config.layerIOs().size(), 1);
    EXPECT_EQ(io->time, 20 * 300);
    EXPECT_EQ(io->layerRow, rowOf(QStringLiteral("L4")));
    EXPECT_TRUE(strip(QStringLiteral("L1"))->layerIOItems().isEmpty());
    EXPECT_EQ(strip(QStringLiteral("L4"))->layerIOItems().size(), 1);

    // A media drop moves the bar to the new row at the mark's place.
    dropAt(strip(QStringLiteral("L1")), media.get(), QPoint(7 + 40, 10));
    EXPECT_EQ(config.mediaRecord(5).layer, rowOf(QStringLiteral("L1")));
    EXPECT_EQ(config.mediaRecord(5).start, 40 * 300);
    EXPECT_EQ(strip(QStringLiteral("L1"))->mediaIds(), QList<int>{5});
    EXPECT_TRUE(strip(QStringLiteral("L2"))->mediaIds().isEmpty());
}

TEST_F(AxisTest, HeaderDroppedIntoAFolderJoinsItAndOpensIt) {
    axis->markCurrentLayer(rowOf(QStringLiteral("L2")));
    LayerInfoPanel* g = axis->addFolder();
    g->setTitle(QStringLiteral("G"));
    g->setExpanded(true);
    check({QStringLiteral("L4"), QStringLiteral("L5")});
    const auto drag = dragOf({{"type", QStringLiteral("layerPanel")}, {"dropRow", rowOf(QStringLiteral("L4"))}});
    EXPECT_TRUE(entered(g, drag.get()));
    dropAt(g, drag.get(), QPoint(100, 35));
    EXPECT_EQ(layout(), QStringLiteral("L1 G(L4 L5) L2 L3"));
    EXPECT_EQ(header(QStringLiteral("L4"))->kind(), LayerInfoPanel::ChildLayer);
    EXPECT_FALSE(g->isExpanded());
    EXPECT_FALSE(table()->isRowHidden(rowOf(QStringLiteral("L4"))));

    // A folder cannot go into a folder; above a layer it moves with its layers.
    axis->markCurrentLayer(rowOf(QStringLiteral("L1")));
    LayerInfoPanel* h = axis->addFolder();
    h->setTitle(QStringLiteral("H"));
    check({QStringLiteral("H")});
    dropAt(g, drag.get(), QPoint(100, 35));
    EXPECT_EQ(layout(), QStringLiteral("H() L1 G(L4 L5) L2 L3"));
    check({QStringLiteral("G")});
    dropAt(header(QStringLiteral("L1")), drag.get(), QPoint(100, 5));
    EXPECT_EQ(layout(), QStringLiteral("H() G(L4 L5) L1 L2 L3"));

    check({QStringLiteral("L2"), QStringLiteral("L3")});
    dropAt(g, drag.get(), QPoint(100, 35));
    check({QStringLiteral("L1")});
    dropAt(h, drag.get(), QPoint(100, 35));
    EXPECT_EQ(layout(), QStringLiteral("H(L1) G(L2 L3 L4 L5)"));
    // Below the table's last layer a layer is at the top level; below
    // another layer of a group it joins the group.
    dropAt(header(QStringLiteral("L5")), drag.get(), QPoint(100, 35));
    EXPECT_EQ(layout(), QStringLiteral("H() G(L2 L3 L4 L5) L1"));
    check({QStringLiteral("L2")});
    dropAt(header(QStringLiteral("L4")), drag.get(), QPoint(100, 35));
    EXPECT_EQ(layout(), QStringLiteral("H() G(L3 L4 L2 L5) L1"));
}

TEST_F(AxisTest, RenamingKeepsABlankTitleAndMakesATakenOneUnique) {
    LayerInfoPanel* h = header(QStringLiteral("L2"));
    auto rename = [h](const QString& text) {
        h->titleEditor()->show();
        h->titleEditor()->setText(text);
        h->finishRename();
        EXPECT_TRUE(h->titleEditor()->isHidden());
    };
    rename(QStringLiteral("   "));
    EXPECT_EQ(h->title(), QStringLiteral("L2"));
    rename(QStringLiteral(" L1 "));
    EXPECT_EQ(h->title(), QStringLiteral("L1(2)"));
    header(QStringLiteral("L3"))->setTitle(QStringLiteral("L1(2)"));
    rename(QStringLiteral("L1"));
    EXPECT_EQ(h->title(), QStringLiteral("L1(3)"));
    rename(QStringLiteral("Intro"));
    EXPECT_EQ(h->title(), QStringLiteral("Intro"));
}

TEST_F(AxisTest, AFoldersEyeHidesItsLayersMediaWithoutASignalForItself) {
    GConfig& config = GConfig::instance();
    axis->markCurrentLayer(rowOf(QStringLiteral("L2")));
    LayerInfoPanel* g = axis->addFolder();
    header(QStringLiteral("L2"))->setKind(LayerInfoPanel::ChildLayer);
    for (int id : {1, 2}) {
        MediaSource m;
        m.id = id;
        m.start = id * 10000;
        m.duration = 5000;
        m.layer = rowOf(id == 1 ? QStringLiteral("L2") : QStringLiteral("L3"));
        config.media().insert(id, m);
        table()->strip(m.layer)->addMedia(id);
    }
    QSignalSpy groupSpy(g, &LayerInfoPanel::eyeChanged);
    QSignalSpy layerSpy(header(QStringLiteral("L2")), &LayerInfoPanel::eyeChanged);
    QSignalSpy outsideSpy(header(QStringLiteral("L3")), &LayerInfoPanel::eyeChanged);
    emit g->eye()->clicked();
    EXPECT_TRUE(g->eyeIsHidden());
    EXPECT_EQ(groupSpy.count(), 0);
    ASSERT_EQ(layerSpy.count(), 1);
    EXPECT_EQ(layerSpy.at(0).at(0).toInt(), rowOf(QStringLiteral("L2")));
    EXPECT_EQ(outsideSpy.count(), 0);
    EXPECT_TRUE(header(QStringLiteral("L2"))->eyeIsHidden());
    EXPECT_TRUE(config.mediaRecord(1).hidden);
    EXPECT_FALSE(config.mediaRecord(2).hidden);
    for (int row : table()->effectRows(rowOf(QStringLiteral("L2"))))
        EXPECT_TRUE(table()->effectHeader(row)->eyeIsHidden());

    // A group row's own visibility change touches no media.
    axis->eyeChanged(rowOf(QStringLiteral("图层组1")), false);
    EXPECT_TRUE(config.mediaRecord(1).hidden);

    // "All other layers": with any open they all close, then all open.
    axis->allEyesChanged(rowOf(QStringLiteral("L1")));
    EXPECT_TRUE(config.mediaRecord(2).hidden);
    EXPECT_FALSE(header(QStringLiteral("L1"))->eyeIsHidden());
    axis->allEyesChanged(rowOf(QStringLiteral("L1")));
    EXPECT_FALSE(config.mediaRecord(1).hidden);
    EXPECT_FALSE(config.mediaRecord(2).hidden);
}

TEST_F(AxisTest, LockButtonLocksCheckedRowsAndAGroupsLayers) {
    axis->markCurrentLayer(rowOf(QStringLiteral("L2")));
    axis->addFolder()->setTitle(QStringLiteral("G"));
    header(QStringLiteral("L2"))->setKind(LayerInfoPanel::ChildLayer);
    check({QStringLiteral("G"), QStringLiteral("L5")});
    axis->lockLayer(true);
    EXPECT_TRUE(axis->isLayerLocked(rowOf(QStringLiteral("G"))));
    EXPECT_TRUE(axis->isLayerLocked(rowOf(QStringLiteral("L2"))));
    EXPECT_TRUE(axis->isLayerLocked(rowOf(QStringLiteral("L5"))));
    EXPECT_FALSE(axis->isLayerLocked(rowOf(QStringLiteral("L3"))));
    axis->markCurrentLayer(rowOf(QStringLiteral("L5")));
    EXPECT_TRUE(axis->isLockChecked());
    EXPECT_TRUE(axis->isCurrentLayerLocked());
    axis->markCurrentLayer(rowOf(QStringLiteral("L3")));
    EXPECT_FALSE(axis->isLockChecked());
    // With an effect row selected only that row locks.
    const int effect = table()->effectRows(rowOf(QStringLiteral("L3"))).first();
    axis->selectEffectRow(effect);
    axis->lockLayer(true);
    EXPECT_TRUE(table()->effectHeader(effect)->isLocked());
    EXPECT_FALSE(axis->isLayerLocked(rowOf(QStringLiteral("L3"))));
}

}  // namespace
