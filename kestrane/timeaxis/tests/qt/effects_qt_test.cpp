// Key frames on the effect rows: adding at the play position, selecting,
// dragging, deleting, zooming, moving a media to another layer; and the
// effect row header's key button and editors.
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>

#include <cmath>

#include "kestrane/clicklabel.h"
#include "kestrane/effectcontainer.h"
#include "kestrane/layerspecialeffect.h"
#include "kestrane/rulerwidget.h"
#include "playfixture.h"

namespace {

constexpr int kStart = 10000;

class EffectTest : public PlayTest {
protected:
    void SetUp() override {
        PlayTest::SetUp();
        layer = rowOf(QStringLiteral("L1"));
        addMediaAt(1, layer, kStart);
    }

    void addMediaAt(int id, int row, int start) {
        MediaSource m;
        m.id = id;
        m.start = start;
        m.duration = 20000;
        m.layer = row;
        m.x = 320;
        m.y = 180;
        m.width = 400;
        m.height = 300;
        GConfig::instance().media().insert(id, m);
        table()->strip(row)->addMedia(id);
    }
    // The effect row of a kind under the layer.
    int rowOfKind(int kind) const {
        static const int offset[] = {0, 1, 3, 2, 4};
        return layer + offset[kind];
    }
    EffectLayerPanel* effectStrip(int kind) const { return table()->effectStrip(rowOfKind(kind)); }
    SpecialEffectInfoPanel* effectHeader(int kind) const { return table()->effectHeader(rowOfKind(kind)); }
    MediaSource& media(int id = 1) { return GConfig::instance().media()[id]; }

    // Keys of a kind stored straight into the record, then shown.
    LayerSpecialEffect* keysAt(int kind, const std::vector<std::pair<int, std::pair<double, double>>>& keys,
                               int mediaId = 1) {
        QList<int> ids;
        for (const auto& k : keys) {
            EffectKey key;
            key.id = media(mediaId).nextEffectKeyId();
            key.kind = kind;
            key.time = k.first;
            key.value1 = k.second.first;
            key.value2 = k.second.second;
            media(mediaId).effects.insert(key.id, key);
            ids << key.id;
        }
        media(mediaId).refreshEffectIndex(kind);
        LayerSpecialEffect* bar = effectStrip(kind)->addEffect(kind, mediaId, &ids);
        QCoreApplication::processEvents();
        return bar;
    }
    static void key(QWidget* w, int code) {
        QKeyEvent event(QEvent::KeyRelease, code, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &event);
    }
    QList<bool> selection(const LayerSpecialEffect* bar) const {
        QList<bool> out;
        for (const EffectAnchor* a : bar->anchors())
            out << a->isSelected();
        return out;
    }

    int layer = -1;
};

}  // namespace

TEST_F(EffectTest, NewKeysKeepThePicture) {
    struct Case {
        const char* what;
        int kind;
        std::vector<std::pair<int, std::pair<double, double>>> keys;  // earlier keys
        EffectKey want;
    };
    auto values = [](double a, double b) {
        EffectKey k;
        k.value1 = a;
        k.value2 = b;
        return k;
    };
    const std::vector<Case> cases = {
        {"rotation of -725.4 degrees", 2, {{0, {-5.4, -2}}}, values(-5, -2)},
        {"the first position key keeps the item's place", 1, {}, values(320, 180)},
        {"opacity", 4, {{0, {0.25, 0}}}, values(0.25, 0)},
        {"scale", 3, {{0, {0.5, -0.25}}}, values(0.5, -0.25)},
    };
    axis->setCurrentTime(kStart + 5000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.keys.empty())
            keysAt(c.kind, c.keys);
        const int before = media().effects.size();
        const int id = media().nextEffectKeyId();
        GConfig::instance().addAnchorAtCurrentTime(c.kind, rowOfKind(c.kind), {});
        ASSERT_EQ(media().effects.size(), before + 1);
        const EffectKey k = media().effects.value(id);
        EXPECT_EQ(k.kind, c.kind);
        EXPECT_EQ(k.time, 5000);
        EXPECT_DOUBLE_EQ(k.value1, c.want.value1);
        EXPECT_DOUBLE_EQ(k.value2, c.want.value2);
    }
    // A position key from the stage item takes the item's new place.
    const int id = media().nextEffectKeyId();
    GConfig::instance().addAnchorAtCurrentTime(1, rowOfKind(1), {12.0, 34.0});
    EXPECT_EQ(media().effects.value(id).value1, 12.0);
    EXPECT_EQ(media().effects.value(id).value2, 34.0);
}

TEST_F(EffectTest, NoKeyOutsideEveryMedia) {
    for (int t : {kStart - 1, kStart + 20001}) {
        axis->setCurrentTime(t);
        GConfig::instance().addAnchorAtCurrentTime(4, rowOfKind(4), {});
    }
    EXPECT_TRUE(media().effects.isEmpty());
    EXPECT_TRUE(effectStrip(4)->effects().isEmpty());
    // On the media's very ends it may.
    axis->setCurrentTime(kStart + 20000);
    GConfig::instance().addAnchorAtCurrentTime(4, rowOfKind(4), {});
    EXPECT_EQ(media().effects.size(), 1);
}

TEST_F(EffectTest, ARotationKeyAddedMidSegmentChangesNothingJustAfterIt) {
    keysAt(2, {{0, {10, 1}}, {10000, {20, 1}}});
    const int now = kStart + 5000;
    axis->setCurrentTime(now);
    const double before = GConfig::instance().effectRotationAt(1, now + 1).value(0);
    GConfig::instance().addAnchorAtCurrentTime(2, rowOfKind(2), {});
    EXPECT_EQ(media().effects.size(), 3);
    EXPECT_NEAR(GConfig::instance().effectRotationAt(1, now + 1).value(0), before, 0.01);
    EXPECT_NEAR(GConfig::instance().effectRotationAt(1, now).value(0), 375, 0.5);
}

TEST_F(EffectTest, AnchorPressPausesAndMovesThePlayHeadToItsKey) {
    LayerSpecialEffect* bar = keysAt(4, {{4000, {0.5, 0}}});
    playFrom(kStart);
    ASSERT_FALSE(axis->isPaused());
    send(bar->anchors().first(), QEvent::MouseButtonPress, {5, 5});
    EXPECT_TRUE(axis->isPaused());
    EXPECT_EQ(axis->position(), kStart + 4000);
    send(bar->anchors().first(), QEvent::MouseButtonRelease, {5, 5});
}

TEST_F(EffectTest, SelectedAnchorsDragTogetherAndStopAtTheMediaStart) {
    LayerSpecialEffect* bar = keysAt(1, {{4000, {0, 0}}, {8000, {1, 1}}, {12000, {2, 2}}});
    send(bar, QEvent::MouseButtonPress, {2, 2});
    send(bar, QEvent::MouseButtonRelease, {2, 2});
    EXPECT_EQ(selection(bar), (QList<bool>{true, true, true}));
    QList<int> xs;
    for (const EffectAnchor* a : bar->anchors())
        xs << a->x();
    EffectAnchor* middle = bar->anchors().at(1);
    send(middle, QEvent::MouseButtonPress, {5, 5});
    send(middle, QEvent::MouseMove, {5 - 100000, 5});
    const int shift = bar->anchors().first()->x() - xs.first();
    EXPECT_EQ(bar->anchors().first()->x(), -5);
    EXPECT_EQ(bar->anchors().first()->time(), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bar->anchors().at(i)->x(), xs.at(i) + shift) << i;
    send(middle, QEvent::MouseButtonRelease, {5 - 100000, 5});
    // The keys took the new times; the play head follows the dragged key.
    EXPECT_EQ(media().effects.value(bar->anchors().at(1)->keyId()).time, bar->anchors().at(1)->time());
    EXPECT_EQ(axis->position(), kStart + middle->time());
    // Released without Ctrl it is the only one selected; alone to the right
    // it stops at the media's end.
    EXPECT_EQ(selection(bar), (QList<bool>{false, true, false}));
    send(middle, QEvent::MouseButtonPress, {5, 5});
    send(middle, QEvent::MouseMove, {5 + 100000, 5});
    EXPECT_EQ(middle->x(), bar->width() - 5);
    EXPECT_EQ(middle->time(), RulerWidget::toMs(bar->width()));
}

TEST_F(EffectTest, SelectionStaysInOneBar) {
    addMediaAt(2, layer, kStart + 25000);
    LayerSpecialEffect* a = keysAt(1, {{2000, {0, 0}}, {6000, {1, 1}}});
    LayerSpecialEffect* b = keysAt(1, {{1000, {0, 0}}}, 2);
    ASSERT_NE(a, b);
    auto click = [&](EffectAnchor* anchor, Qt::KeyboardModifiers mods) {
        send(anchor, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, mods);
        send(anchor, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, mods);
    };
    click(a->anchors().at(0), Qt::NoModifier);
    EXPECT_EQ(selection(a), (QList<bool>{true, false}));
    click(a->anchors().at(1), Qt::ControlModifier);
    EXPECT_EQ(selection(a), (QList<bool>{true, true}));
    click(b->anchors().at(0), Qt::ControlModifier);
    EXPECT_EQ(selection(a), (QList<bool>{false, false}));
    EXPECT_EQ(selection(b), (QList<bool>{true}));
}

TEST_F(EffectTest, DeletingTheLastAnchorRemovesTheBar) {
    LayerSpecialEffect* bar = keysAt(3, {{2000, {0, 0}}, {6000, {1, 1}}});
    send(bar, QEvent::MouseButtonPress, {2, 2});
    send(bar, QEvent::MouseButtonRelease, {2, 2});
    // A locked row keeps them.
    effectHeader(3)->setLocked(true);
    key(bar->anchors().first(), Qt::Key_Delete);
    EXPECT_EQ(media().effects.size(), 2);
    effectHeader(3)->setLocked(false);
    key(bar->anchors().first(), Qt::Key_Delete);
    EXPECT_TRUE(media().effects.isEmpty());
    EXPECT_TRUE(media().effectsByKind.isEmpty());
    EXPECT_TRUE(effectStrip(3)->effects().isEmpty());
}

TEST_F(EffectTest, ZoomKeepsKeyTimes) {
    LayerSpecialEffect* bar = keysAt(4, {{1500, {0, 0}}, {9000, {1, 0}}});
    for (int level : {2, 9, 5}) {
        axis->setScale(level);
        QCoreApplication::processEvents();
        EXPECT_EQ(bar->x(), RulerWidget::toPixel(kStart) + 7) << level;
        for (const EffectAnchor* a : bar->anchors())
            EXPECT_EQ(a->x(), RulerWidget::toPixel(a->time()) - 5) << level;
        EXPECT_EQ(bar->anchors().at(0)->time(), 1500);
        EXPECT_EQ(bar->anchors().at(1)->time(), 9000);
    }
}

TEST_F(EffectTest, AMediaMovedToAnotherLayerTakesItsKeysAlong) {
    keysAt(1, {{1000, {5, 6}}, {3000, {7, 8}}});
    keysAt(4, {{2000, {0.5, 0}}});
    const QMap<int, EffectKey> before = media().effects;
    const int target = rowOf(QStringLiteral("L3"));
    auto data = std::make_unique<QMimeData>();
    data->setProperty("mediaId", 1);
    data->setProperty("posX", 0);
    LayerPanel* to = table()->strip(target);
    QDragEnterEvent enter(QPoint(50, 10), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPoint(RulerWidget::toPixel(30000) + 7, 10), Qt::MoveAction, data.get(), Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(to, &drop);
    QCoreApplication::processEvents();
    ASSERT_EQ(media().layer, target);
    EXPECT_TRUE(effectStrip(1)->effects().isEmpty());
    EXPECT_TRUE(effectStrip(4)->effects().isEmpty());
    layer = target;
    ASSERT_EQ(effectStrip(1)->effects().size(), 1);
    ASSERT_EQ(effectStrip(4)->effects().size(), 1);
    const QMap<int, EffectKey> after = media().effects;
    ASSERT_EQ(after.keys(), before.keys());
    for (int id : before.keys()) {
        EXPECT_EQ(after[id].time, before[id].time);
        EXPECT_EQ(after[id].value1, before[id].value1);
        EXPECT_EQ(after[id].value2, before[id].value2);
    }
    QList<int> shown;
    for (const EffectAnchor* a : effectStrip(1)->effects().first()->anchors())
        shown << a->time();
    EXPECT_EQ(shown, (QList<int>{1000, 3000}));
}

// ---------------------------------------------------------------- header

TEST_F(EffectTest, KeyButtonAddsOnceAndShowsTheKey) {
    axis->setCurrentTime(kStart + 3000);
    SpecialEffectInfoPanel* header = effectHeader(4);
    header->keyButton()->click();
    EXPECT_EQ(media().effects.size(), 1);
    EXPECT_FALSE(header->keyButton()->isChecked());
    // On an existing key the button adds nothing and comes back checked.
    header->keyButton()->click();
    EXPECT_EQ(media().effects.size(), 1);
    ASSERT_TRUE(waitFor([&] { return header->keyButton()->isChecked(); }));
    EXPECT_FALSE(header->firstLabel()->isHidden());
    // Unchecking deletes the selected key under the play head.
    header->keyButton()->click();
    EXPECT_TRUE(media().effects.isEmpty());
    // Outside every media nothing is added.
    axis->setCurrentTime(kStart + 40000);
    header->keyButton()->click();
    EXPECT_TRUE(media().effects.isEmpty());
}

TEST_F(EffectTest, EditorsStoreAndShowValues) {
    struct Case {
        const char* what;
        int kind;
        std::pair<double, double> stored;
        bool first;
        bool ccwOrInterlock;
        QString typed;
        std::pair<double, double> want;
        QString firstText;
        QString secondText;
    };
    const std::vector<Case> cases = {
        {"90 counter-clockwise", 2, {30, 1}, true, true, QStringLiteral("90"), {-270, -1}, QStringLiteral("90°"),
         QStringLiteral("1×")},
        {"turns clockwise bring the angle round", 2, {-270, -1}, false, false, QStringLiteral("2"), {90, 2},
         QStringLiteral("90°"), QStringLiteral("2×")},
        {"150 % interlocked", 3, {0, 0}, true, true, QStringLiteral("150"), {0.5, 0.5}, QStringLiteral("150%"),
         QStringLiteral("150%")},
        {"y alone", 3, {0, 0.5}, false, false, QStringLiteral("80"), {0, -0.2}, QStringLiteral("100%"),
         QStringLiteral("80%")},
        {"opacity 45", 4, {0.456, 0}, true, false, QStringLiteral("45"), {0.45, 0}, QStringLiteral("45%"), {}},
        {"position y", 1, {10.4, 20.6}, false, false, QStringLiteral("-12"), {10.4, -12}, QStringLiteral("10"),
         QStringLiteral("-12")},
    };
    axis->setCurrentTime(kStart + 2000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LayerSpecialEffect* bar = keysAt(c.kind, {{2000, c.stored}});
        SpecialEffectInfoPanel* header = effectHeader(c.kind);
        GConfig::instance().selectEffectRow(rowOfKind(c.kind));
        header->monitorAnchors();
        ASSERT_TRUE(header->keyButton()->isChecked());
        const int keyId = bar->anchors().first()->keyId();
        if (c.kind == 4)
            EXPECT_EQ(header->firstLabel()->text(), QStringLiteral("46%"));
        if (c.kind == 2 && c.ccwOrInterlock != header->counterClockwiseBox()->isChecked())
            header->counterClockwiseBox()->click();
        if (c.kind == 3)
            header->interlockButton()->setChecked(c.ccwOrInterlock);
        ClickLabel* label = c.first ? header->firstLabel() : header->secondLabel();
        QLineEdit* editor = c.first ? header->firstEditor() : header->secondEditor();
        emit label->doubleClicked();
        ASSERT_FALSE(editor->isHidden());
        editor->setText(c.typed);
        emit editor->editingFinished();
        EXPECT_TRUE(editor->isHidden());
        const EffectKey k = media().effects.value(keyId);
        EXPECT_DOUBLE_EQ(k.value1, c.want.first);
        EXPECT_DOUBLE_EQ(k.value2, c.want.second);
        EXPECT_EQ(header->firstLabel()->text(), c.firstText);
        if (header->secondLabel())
            EXPECT_EQ(header->secondLabel()->text(), c.secondText);
        // Shown afresh from the record it reads the same.
        header->showKey(true, 1, keyId);
        EXPECT_EQ(header->firstLabel()->text(), c.firstText);
        if (c.kind == 2)
            EXPECT_EQ(header->counterClockwiseBox()->isChecked(), c.want.first < 0);
        effectStrip(c.kind)->removeEffect(bar);
        media().effects.clear();
        header->keyButton()->setChecked(false);
        header->showKey(false);
    }
}

TEST_F(EffectTest, ACommitAfterTheKeysDeletionStoresNothing) {
    axis->setCurrentTime(kStart + 2000);
    LayerSpecialEffect* bar = keysAt(4, {{2000, {0.3, 0}}});
    SpecialEffectInfoPanel* header = effectHeader(4);
    GConfig::instance().selectEffectRow(rowOfKind(4));
    header->monitorAnchors();
    emit header->firstLabel()->doubleClicked();
    bar->anchors().first()->setSelected(true);
    bar->removeSelectedAnchors();
    ASSERT_TRUE(media().effects.isEmpty());
    header->firstEditor()->setText(QStringLiteral("80"));
    emit header->firstEditor()->editingFinished();
    EXPECT_TRUE(media().effects.isEmpty());
    // Nor after the media itself is gone.
    GConfig::instance().media().remove(1);
    emit header->firstEditor()->editingFinished();
    EXPECT_FALSE(GConfig::instance().media().contains(1));
}

TEST_F(EffectTest, DeselectedOrLockedRows) {
    axis->setCurrentTime(kStart + 2000);
    keysAt(3, {{2000, {0.2, 0.2}}});
    SpecialEffectInfoPanel* header = effectHeader(3);
    GConfig::instance().selectEffectRow(rowOfKind(3));
    header->monitorAnchors();
    ASSERT_TRUE(header->keyButton()->isChecked());
    ASSERT_FALSE(header->firstLabel()->isHidden());
    ASSERT_FALSE(header->interlockButton()->isHidden());
    // Another row selected: at the next tick the editors go.
    GConfig::instance().selectEffectRow(rowOfKind(4));
    header->monitorAnchors();
    EXPECT_FALSE(header->keyButton()->isChecked());
    EXPECT_TRUE(header->firstLabel()->isHidden());
    EXPECT_TRUE(header->interlockButton()->isHidden());
    header->setLocked(true);
    EXPECT_FALSE(header->keyButton()->isEnabled());
    EXPECT_FALSE(header->firstLabel()->isEnabled());
    EXPECT_FALSE(header->secondLabel()->isEnabled());
    header->setLocked(false);
    EXPECT_TRUE(header->keyButton()->isEnabled());
}

TEST_F(EffectTest, TheEyeDisablesTheRowsKeys) {
    keysAt(4, {{2000, {0.3, 0}}, {4000, {0.6, 0}}});
    SpecialEffectInfoPanel* header = effectHeader(4);
    const int indexed = media().effectsByKind.value(4).size();
    header->eyeClicked();
    EXPECT_TRUE(header->eyeIsHidden());
    for (const EffectKey& k : media().effects)
        EXPECT_TRUE(k.disabled);
    EXPECT_FALSE(media().effectsByKind.contains(4));
    header->eyeClicked();
    EXPECT_EQ(media().effectsByKind.value(4).size(), indexed);
}

TEST_F(EffectTest, ScreenshotShowsBarsAnchorsAndThePlayHead) {
    keysAt(1, {{1000, {0, 0}}, {6000, {1, 1}}, {15000, {2, 2}}});
    keysAt(4, {{3000, {0.5, 0}}});
    addControl(9, 0, kStart + 22000);
    strip(QStringLiteral("L1"))->addPlayControl(9);
    for (int r : table()->effectRows(layer))
        table()->setRowHidden(r, false);
    axis->setCurrentTime(kStart + 8000);
    QCoreApplication::processEvents();
    const QImage shot = axis->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    EXPECT_TRUE(shot.save(QStringLiteral(SV_BINARY_DIR "/artefacts/timeaxis_playhead_effects.png")));

    // The play head's red column, below the ruler and over the rows.
    const QRect line = axis->timeLine()->geometry();
    const int redX = line.x() + 3;
    int red = 0;
    for (int y = line.y(); y < line.bottom() && y < shot.height(); ++y)
        red += shot.pixel(redX, y) == qRgb(255, 0, 0);
    EXPECT_GT(red, line.height() / 2);
    // The grip above it.
    EXPECT_EQ(shot.pixel(axis->timeLine()->grip()->geometry().center()), qRgb(255, 0, 0));
    // The position bar in its purple, with an anchor on it.
    const LayerSpecialEffect* bar = effectStrip(1)->effects().first();
    // Between the first two anchors, above them.
    const int between = (bar->anchors().at(0)->x() + bar->anchors().at(1)->x()) / 2 + 5;
    const QPoint barAt = bar->mapTo(axis.get(), QPoint(between, 3));
    EXPECT_EQ(shot.pixel(barAt), qRgb(0x5d, 0x47, 0x82));
    const EffectAnchor* anchor = bar->anchors().at(1);
    const QPoint centre = anchor->mapTo(axis.get(), QPoint(5, 5));
    EXPECT_NE(shot.pixel(centre), qRgb(0x5d, 0x47, 0x82));
}

TEST_F(EffectTest, AStageMoveUnderPositionKeysKeysItsLayersPositionRow) {
    // The stage names the media's layer row, not the effect row.
    keysAt(1, {{0, {320, 180}}, {10000, {500, 180}}});
    axis->setCurrentTime(kStart + 5000);
    const int id = media().nextEffectKeyId();
    GConfig::instance().addAnchorAtCurrentTime(1, layer, {56.0, 78.0});
    ASSERT_TRUE(media().effects.contains(id));
    EXPECT_EQ(media().effects.value(id).kind, 1);
    EXPECT_EQ(media().effects.value(id).time, 5000);
    EXPECT_EQ(media().effects.value(id).value1, 56.0);
    EXPECT_EQ(media().effects.value(id).value2, 78.0);
    EXPECT_EQ(GConfig::instance().effectPosAt(1, kStart + 5000), (QList<double>{56.0, 78.0}));
    // No key of another kind came with it.
    for (int kind : {2, 3, 4}) EXPECT_TRUE(media().effectsByKind.value(kind).isEmpty()) << kind;
}
