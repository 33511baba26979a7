// The colour-correction dialog: its number helpers, the test screens it
// switches on the servers, what each edit stores and sends, and the stage
// map that picks the edited device.
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>

#include "calibwire.h"
#include "kestrane/clicklabel.h"
#include "kestrane/colorcorrection.h"
#include "kestrane/curvewidget.h"
#include "kestrane/deviceitemforcorrection.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "kestrane/wheellineedit.h"

namespace {

TEST(ColorHelpers, Tables) {
    const QList<QPair<double, QString>> percents = {
        {100, "100.0"}, {12.5, "12.5"}, {0, "0.0"}, {99.9, "99.9"}, {33.333333, "33.3333"}};
    for (const auto& p : percents) EXPECT_EQ(ColorCorrection::formatPercent(p.first), p.second) << p.first;

    // x -> step; the bar is 246 pixels of 17 steps, a wider bar stops at 16.
    const QList<QPair<int, int>> steps = {{7, 0}, {0, 0}, {21, 0}, {22, 1}, {245, 16}, {260, 16}, {400, 16}};
    for (const auto& s : steps) EXPECT_EQ(ColorCorrection::levelIndexAt(s.first), s.second) << s.first;

    struct Ramp {
        const char* ramp;
        int step;
        uint32_t colour;
    };
    const Ramp ramps[] = {{"red", 16, 0x0000FF},   {"white", 16, 0xFFFFFF}, {"blue", 16, 0xFF0000},
                          {"green", 1, 0x000F00},  {"white", 0, 0x000000},  {"red", 8, 0x00007F}};
    for (const Ramp& r : ramps)
        EXPECT_EQ(ColorCorrection::stepColor(QLatin1String(r.ramp), r.step), r.colour) << r.ramp << r.step;

    EXPECT_EQ(ColorCorrection::median(300, 900, 500), 500);
    EXPECT_EQ(ColorCorrection::median(900, 300, 300), 300);
    EXPECT_EQ(ColorCorrection::median(1, 2, 3), 2);

    // pos, size, zoom, view, stage -> offset
    EXPECT_EQ(ColorCorrection::centerOffset(0, 1920, 0.125, 600, 30000), 0);
    EXPECT_EQ(ColorCorrection::centerOffset(30000 - 1920, 1920, 0.125, 600, 30000), 3750 - 600);
    EXPECT_EQ(ColorCorrection::centerOffset(8000, 1920, 0.125, 600, 30000), 1000 - (600 - 240) / 2);
    // A view wider than the stage scrolls nowhere, whatever the device.
    EXPECT_EQ(ColorCorrection::centerOffset(20000, 1920, 0.0625, 2500, 30000), 0);
}

class ColorTest : public CalibWire {
protected:
    void SetUp() override {
        CalibWire::SetUp();
        DeviceRecord& r = *c.device(1);
        r.colorRatio[0] = 0.5f;
        r.colorCurve[1][16] = 200;
        r.edgeParam[2][2] = 0.25f;
        c.device(2)->colorRatio[1] = 0.75f;
    }
    std::unique_ptr<ColorCorrection> open(int id) {
        auto d = std::make_unique<ColorCorrection>(id);
        d->resize(990, 690);
        d->show();
        return d;
    }
    static void setText(WheelLineEdit* e, const QString& text) {
        e->setText(text);
        settle();
    }
    static void pressStepBar(ColorCorrection& d, int x) {
        ClickLabel* bar = d.form().stepBar;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &press);
    }
    static std::vector<Sent> only(const std::vector<Sent>& all, uint32_t code) {
        std::vector<Sent> out;
        for (const Sent& s : all)
            if (s.code == code) out.push_back(s);
        return out;
    }
    static constexpr uint32_t kCommon = NETCMD::SetCommonData;
};

TEST_F(ColorTest, OpeningShowsTheTestScreenThenResendsRatiosAndEdges) {
    auto d = open(1);
    EXPECT_EQ(sent(a), (std::vector<Sent>{{kCommon, 3, 1}, {kCommon, 3, 2}, {kCommon, 5, 0xFFFFFF}}));
    EXPECT_EQ(sent(b), (std::vector<Sent>{{kCommon, 3, 3}, {kCommon, 5, 0xFFFFFF}}));

    c.setSaved(true);
    settle();
    // The first pass fills the editors; the ratio and edge handlers send
    // again for every channel, the unchanged levels send nothing.
    const std::vector<Sent> later = sent(a, 3);
    EXPECT_EQ(only(later, NETCMD::SetGlobalColor), (std::vector<Sent>(3, Sent{NETCMD::SetGlobalColor, 1, 1})));
    EXPECT_EQ(only(later, NETCMD::SetEdgeEliminateParam).size(), 3u);
    EXPECT_EQ(later.size(), 6u);
    EXPECT_EQ(b.RequestCount(), 2u);
    EXPECT_FALSE(c.isSaved());
    EXPECT_EQ(d->form().ratioEdit[0]->text(), QStringLiteral("50.0"));
    EXPECT_EQ(d->form().ratioEdit[3]->text(), QStringLiteral("98.0"));
    EXPECT_EQ(d->form().edgeEdit[2]->text(), QStringLiteral("25.0"));
    EXPECT_EQ(d->form().ratioSlider[0]->value(), 500);
    EXPECT_EQ(d->form().edgeSlider[2]->value(), 250);
    EXPECT_EQ(d->form().curve->exponents, (QList<float>{1.0f, 1.0f, 0.25f}));
    EXPECT_FALSE(d->form().blendPage->isVisible());
}

TEST_F(ColorTest, OutOfRangeAndEmptyTextsAreCorrected) {
    auto d = open(1);
    settle();
    struct Case {
        WheelLineEdit* edit;
        const char* typed;
        const char* shown;
        std::function<double()> stored;
        double want;
    };
    const Case cases[] = {
        {d->form().ratioEdit[0], "150", "100.0", [&] { return c.device(1)->colorRatio[0]; }, 1.0},
        {d->form().edgeEdit[1], "150", "100", [&] { return c.device(1)->edgeParam[1][2]; }, 1.0},
        {d->form().levelEdit[2], "300", "255", [&] { return c.device(1)->colorCurve[2][0]; }, 255},
        // "0" comes back, and the slider it moves writes it in its own form.
        {d->form().ratioEdit[1], "", "0.0", [&] { return c.device(1)->colorRatio[1]; }, 0.0},
        {d->form().levelEdit[0], "", "0", [&] { return c.device(1)->colorCurve[0][0]; }, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.typed);
        setText(k.edit, QString::fromLatin1(k.typed));
        EXPECT_EQ(k.edit->text(), QString::fromLatin1(k.shown));
        EXPECT_DOUBLE_EQ(k.stored(), k.want);
    }
    // The reference-white rows store and send nothing.
    const size_t before = a.RequestCount();
    setText(d->form().ratioEdit[3], QStringLiteral("40"));
    setText(d->form().edgeEdit[3], QStringLiteral("40"));
    EXPECT_EQ(a.RequestCount(), before);
}

TEST_F(ColorTest, LevelsSendOnlyChangesAndMarkTheProjectModified) {
    auto d = open(1);
    settle();
    c.setSaved(true);
    const size_t before = a.RequestCount();
    setText(d->form().levelEdit[0], QStringLiteral("00"));
    EXPECT_EQ(a.RequestCount(), before) << "the same level";
    EXPECT_TRUE(c.isSaved());

    setText(d->form().levelEdit[0], QStringLiteral("12"));
    const std::vector<Sent> got = sent(a, before);
    EXPECT_EQ(got, (std::vector<Sent>{{NETCMD::SetGlobalColor, 1, 2}}));
    EXPECT_EQ(c.device(1)->colorCurve[0][0], 12);
    EXPECT_FALSE(c.isSaved());
    EXPECT_EQ(d->form().levelSlider[0]->value(), 12);
}

TEST_F(ColorTest, StepBarSendsTheRampColourOfTheStep) {
    auto d = open(1);
    settle();
    size_t before = a.RequestCount();
    d->form().outputTest[1]->click();  // red
    EXPECT_EQ(sent(a, before), (std::vector<Sent>{{kCommon, 5, 0x0000FF}}));
    EXPECT_EQ(d->form().stepBar->property("color").toString(), QStringLiteral("red"));
    EXPECT_FALSE(d->form().ratioSlider[1]->isEnabled());
    EXPECT_TRUE(d->form().ratioSlider[0]->isEnabled());

    struct Case {
        int x;
        int step;
        uint32_t colour;
    };
    for (const Case& k : {Case{22, 1, 0x0F}, Case{245, 16, 0xFF}, Case{260, 16, 0xFF}}) {
        before = a.RequestCount();
        pressStepBar(*d, k.x);
        settle();
        EXPECT_EQ(d->markedStep(), k.step) << k.x;
        EXPECT_EQ(d->form().stepBar->markRect().left(), 8 + 14 * k.step);
        EXPECT_EQ(sent(a, before), (std::vector<Sent>{{kCommon, 5, static_cast<int32_t>(k.colour)}})) << k.x;
    }
    // The marked step's levels are shown; the page's stored colour is unchanged.
    EXPECT_EQ(d->form().levelEdit[1]->text(), QStringLiteral("200"));
    EXPECT_EQ(d->outputTestColor(), 0x0000FFu);

    d->form().outputTest[3]->click();  // blue
    before = a.RequestCount();
    pressStepBar(*d, 245);
    EXPECT_EQ(sent(a, before), (std::vector<Sent>{{kCommon, 5, 0xFF0000}}));
    d->form().outputTest[0]->click();  // white enables every channel again
    for (QSlider* s : d->form().ratioSlider) EXPECT_TRUE(s->isEnabled());
}

TEST_F(ColorTest, LinksTakeTheMedianOrTheGreenLevel) {
    auto d = open(1);
    settle();
    const int ratios[3] = {300, 900, 500};
    for (int i = 0; i < 3; ++i) d->form().ratioSlider[i]->setValue(ratios[i]);
    d->form().ratioLink->click();
    for (QSlider* s : d->form().ratioSlider) EXPECT_EQ(s->value(), 500);
    for (int ch = 0; ch < 3; ++ch) EXPECT_FLOAT_EQ(c.device(1)->colorRatio[ch], 0.5f);

    const int levels[3] = {10, 200, 40};
    for (int i = 0; i < 3; ++i) d->form().levelSlider[i]->setValue(levels[i]);
    d->form().levelLink->click();
    for (QSlider* s : d->form().levelSlider) EXPECT_EQ(s->value(), 200);
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(c.device(1)->colorCurve[ch][0], 200);
}

TEST_F(ColorTest, PageSwitchesSendTheirCodesAndStoredColours) {
    auto d = open(1);
    settle();
    d->form().outputTest[2]->click();  // green on the output page
    size_t before = a.RequestCount();
    d->form().edgeEliminate->click();
    d->form().outputColor->click();
    EXPECT_EQ(sent(a, before), (std::vector<Sent>{{kCommon, 7, 1},
                                                  {kCommon, 7, 2},
                                                  {kCommon, 5, 0xFFFFFF},
                                                  {kCommon, 3, 1},
                                                  {kCommon, 3, 2},
                                                  {kCommon, 5, 0x00FF00}}));
    EXPECT_EQ(d->form().contentGroup->title(), QStringLiteral("设置输出色彩"));
    // The shown page's button again: nothing.
    before = a.RequestCount();
    d->form().outputColor->click();
    EXPECT_EQ(a.RequestCount(), before);

    // Closing ends both test pages on every device.
    const size_t beforeA = a.RequestCount(), beforeB = b.RequestCount();
    d.reset();
    EXPECT_EQ(sent(a, beforeA), (std::vector<Sent>{{kCommon, 4, 1}, {kCommon, 4, 2}, {kCommon, 8, 1}, {kCommon, 8, 2}}));
    EXPECT_EQ(sent(b, beforeB), (std::vector<Sent>{{kCommon, 4, 3}, {kCommon, 8, 3}}));
    EXPECT_FLOAT_EQ(c.device(1)->colorRatio[0], 0.5f) << "edits stay";
}

TEST_F(ColorTest, StepSwitchGoesToTheEditedDeviceOnly) {
    auto d = open(3);
    settle();
    const size_t beforeA = a.RequestCount(), beforeB = b.RequestCount();
    d->form().stepSwitch->click();
    d->form().stepSwitch->click();
    EXPECT_EQ(sent(a, beforeA), (std::vector<Sent>{{kCommon, 9, 2}, {kCommon, 10, 2}}));
    EXPECT_EQ(b.RequestCount(), beforeB);
    EXPECT_FALSE(d->form().stepBar->isEnabled());
}

TEST_F(ColorTest, TileClickLoadsTheDeviceAndResendsItsRatiosAndEdges) {
    auto d = open(1);
    settle();
    QList<DeviceItemForCorrection*> tiles;
    for (QGraphicsItem* item : d->scene()->items())
        if (auto* t = dynamic_cast<DeviceItemForCorrection*>(item)) tiles << t;
    ASSERT_EQ(tiles.size(), 3);
    DeviceItemForCorrection* first = nullptr;
    DeviceItemForCorrection* second = nullptr;
    for (DeviceItemForCorrection* t : tiles) {
        if (t->deviceId() == 1) first = t;
        if (t->deviceId() == 2) second = t;
    }
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->isCurrent());
    EXPECT_EQ(second->pos(), QPointF(1920 * 0.125, 0));

    const size_t beforeA = a.RequestCount(), beforeB = b.RequestCount();
    QGraphicsSceneMouseEvent press(QEvent::GraphicsSceneMousePress);
    press.setButton(Qt::LeftButton);
    second->mousePressEvent(&press);
    settle();
    EXPECT_FALSE(first->isCurrent());
    EXPECT_TRUE(second->isCurrent());
    EXPECT_EQ(d->deviceId(), 2);
    EXPECT_EQ(d->form().ratioEdit[1]->text(), QStringLiteral("75.0"));
    EXPECT_EQ(d->form().ratioEdit[3]->text(), QStringLiteral("100.0"));
    // Every edit whose text changed sends again, for the new device's output.
    const std::vector<Sent> got = sent(b, beforeB);
    EXPECT_EQ(only(got, NETCMD::SetGlobalColor), (std::vector<Sent>(2, Sent{NETCMD::SetGlobalColor, 3, 1})));
    EXPECT_EQ(only(got, NETCMD::SetEdgeEliminateParam), (std::vector<Sent>{{NETCMD::SetEdgeEliminateParam, 3, 0}}));
    EXPECT_FLOAT_EQ(c.device(1)->colorRatio[0], 0.5f) << "the first device keeps its values";
    EXPECT_EQ(only(got, kCommon).size(), 0u) << "no page or step code for the new device";
    EXPECT_EQ(a.RequestCount(), beforeA);
}

TEST_F(ColorTest, ZoomRescalesTheMapAndKeepsTheDeviceInView) {
    // Centred it would scroll past the stage's right edge.
    c.device(2)->stageX = 29000;
    auto d = open(2);
    settle();
    d->form().stageComboBox->setCurrentIndex(3);  // 50%
    settle();
    EXPECT_EQ(d->scene()->sceneRect(), QRectF(0, 0, 15000, 8500));
    const int vw = d->form().graphicsView->width();
    EXPECT_EQ(d->form().stageHorizontalScrollbar->value(), 15000 - vw);
    for (QGraphicsItem* item : d->scene()->items()) EXPECT_DOUBLE_EQ(item->scale(), 0.5);
}

TEST_F(ColorTest, WheelStepsLevelsByOneAndPercentsByATenth) {
    auto d = open(1);
    settle();
    auto roll = [](WheelLineEdit* e, bool away) {
        QWheelEvent ev(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, away ? 120 : -120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(e, &ev);
        settle();
    };
    WheelLineEdit* red = d->form().levelEdit[0];
    roll(red, false);
    EXPECT_EQ(red->text(), QStringLiteral("0")) << "held at 0";
    roll(red, true);
    EXPECT_EQ(red->text(), QStringLiteral("1"));
    EXPECT_EQ(c.device(1)->colorCurve[0][0], 1);
    WheelLineEdit* ratio = d->form().ratioEdit[0];
    roll(ratio, true);
    EXPECT_EQ(ratio->text(), QStringLiteral("50.1"));
    EXPECT_FLOAT_EQ(c.device(1)->colorRatio[0], 0.501f);
    // The level section's reference white counts in tenths within 0..100.
    WheelLineEdit* white = d->form().levelEdit[3];
    roll(white, true);
    EXPECT_EQ(white->text(), QStringLiteral("100.0"));
    roll(white, false);
    EXPECT_EQ(white->text(), QStringLiteral("99.9"));
}

TEST_F(ColorTest, TitleStripDoubleClickTogglesMaximised) {
    auto d = open(1);
    settle();
    emit d->form().topPanel->doubleCliked();
    EXPECT_TRUE(d->isMaximized());
    emit d->form().topPanel->doubleCliked();
    EXPECT_FALSE(d->isMaximized());
}

}  // namespace
