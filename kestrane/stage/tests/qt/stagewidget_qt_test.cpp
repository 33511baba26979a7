#include <QIntValidator>
#include <QLineEdit>
#include <QListView>
#include <QWheelEvent>

#include "kestrane/clicklabel.h"
#include "stagefixture.h"

namespace {

class StageWidgetTest : public StageTest {
protected:
    void wheel(int delta, Qt::KeyboardModifiers mods, const QPoint& at = QPoint(100, 100)) {
        QWheelEvent ev(QPointF(at), QPointF(view()->viewport()->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                       Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view()->viewport(), &ev);
    }
};

TEST_F(StageWidgetTest, CtrlWheelZoomsInFivePercentStepsWithinTheRange) {
    struct Case {
        double from;
        int delta;
        double want;
    } cases[] = {
        {0.125, -120, 0.125},            // toward the user at the smallest zoom stays
        {0.96, 120, 1.0},                // away from the user stops at 1.0, not 1.008
        {0.125, 120, 0.13125},
        {0.5, -120, 0.475},
    };
    for (const Case& c : cases) {
        GConfig::instance().setStageZoomValue(c.from);
        wheel(c.delta, Qt::ControlModifier);
        EXPECT_DOUBLE_EQ(GConfig::instance().stageZoom(), c.want) << c.from << " " << c.delta;
        EXPECT_DOUBLE_EQ(view()->sceneRect().width(), 100000.0 * c.want);
    }
    // Without Ctrl nothing zooms.
    GConfig::instance().setStageZoomValue(0.25);
    wheel(120, Qt::NoModifier);
    EXPECT_DOUBLE_EQ(GConfig::instance().stageZoom(), 0.25);
}

TEST_F(StageWidgetTest, WheelZoomShowsTheCustomEntryAndTheComboZoomsBack) {
    wheel(120, Qt::ControlModifier);
    MComboBox* combo = widget->scaleCombo();
    EXPECT_EQ(combo->currentText(), "13.1%");
    EXPECT_EQ(combo->currentIndex(), 5);
    ASSERT_EQ(combo->count(), 6);
    auto* list = qobject_cast<QListView*>(combo->view());
    ASSERT_NE(list, nullptr);
    for (int row = 0; row < 5; ++row) EXPECT_FALSE(list->isRowHidden(row)) << row;
    EXPECT_TRUE(list->isRowHidden(5));
    // The rebuilt entries zoomed nothing; once reconnected, "12.5%" zooms back.
    EXPECT_DOUBLE_EQ(GConfig::instance().stageZoom(), 0.13125);
    QCoreApplication::processEvents();
    combo->setCurrentIndex(0);
    EXPECT_DOUBLE_EQ(GConfig::instance().stageZoom(), 0.125);
    EXPECT_DOUBLE_EQ(view()->sceneRect().width(), 12500.0);
    combo->setCurrentIndex(2);
    EXPECT_DOUBLE_EQ(GConfig::instance().stageZoom(), 0.5);
    EXPECT_EQ(widget->horizontalBar()->value(), 0);
}

TEST_F(StageWidgetTest, ALoadedZoomShowsItsPercentAndSizesTheScene) {
    struct Case {
        double zoom;
        const char* text;
    } cases[] = {{0.3, "30%"}, {0.1575, "15.8%"}, {0.75, "75%"}};
    for (const Case& c : cases) {
        widget->setStageScale(c.zoom);
        EXPECT_EQ(widget->scaleCombo()->currentText(), c.text);
        EXPECT_DOUBLE_EQ(view()->sceneRect().width(), 100000.0 * c.zoom);
        EXPECT_DOUBLE_EQ(view()->sceneRect().height(), 100000.0 * c.zoom);
        EXPECT_DOUBLE_EQ(GConfig::instance().stageZoom(), c.zoom);
        QCoreApplication::processEvents();
    }
}

TEST_F(StageWidgetTest, AltWheelScrollsOneSingleStepWhateverTheDelta) {
    QScrollBar* bar = widget->horizontalBar();
    ASSERT_GT(bar->maximum(), 100);
    bar->setValue(50);
    struct Case {
        int delta;
        int step;
    } cases[] = {{-120, -1}, {-480, -1}, {120, 1}, {960, 1}};
    for (const Case& c : cases) {
        const int before = bar->value();
        wheel(c.delta, Qt::AltModifier);
        EXPECT_EQ(bar->value(), before + c.step * bar->singleStep()) << c.delta;
        // The view's own bar follows the stage bar.
        EXPECT_EQ(view()->horizontalScrollBar()->value(), bar->value());
    }
}

TEST_F(StageWidgetTest, ScrollRangeFollowsZoomAndViewWidth) {
    widget->setStageScale(0.125);
    EXPECT_EQ(widget->horizontalBar()->maximum(), int(12500 - view()->width()));
    EXPECT_EQ(widget->horizontalBar()->pageStep(), view()->width());
}

TEST_F(StageWidgetTest, EmptyValueLabelsOpenNoEditor) {
    widget->clearItemInfo();
    for (int axis = 0; axis < 3; ++axis) {
        emit widget->valueLabel(axis)->clicked();
        EXPECT_TRUE(widget->valueEdit(axis)->isHidden()) << axis;
    }
    widget->setItemInfo(3, true, 100.4, 39.5, -1);
    EXPECT_EQ(widget->valueLabel(0)->text(), "100");
    EXPECT_EQ(widget->valueLabel(1)->text(), "40");
    EXPECT_EQ(widget->valueLabel(2)->text(), "");
    emit widget->valueLabel(2)->clicked();
    EXPECT_TRUE(widget->valueEdit(2)->isHidden());
    emit widget->valueLabel(0)->clicked();
    EXPECT_FALSE(widget->valueEdit(0)->isHidden());
    EXPECT_TRUE(widget->valueLabel(0)->isHidden());
}

TEST_F(StageWidgetTest, TypingXMovesTheDevice) {
    const int id = addDevice(1920, 1080, 100, 40);
    GConfig::instance().showStageInfo(id, true);
    EXPECT_EQ(widget->valueLabel(0)->text(), "100");
    emit widget->valueLabel(0)->clicked();
    QLineEdit* edit = widget->valueEdit(0);
    edit->setText("250");
    emit edit->editingFinished();
    EXPECT_DOUBLE_EQ(GConfig::instance().device(id)->stageX, 250.0);
    EXPECT_DOUBLE_EQ(GConfig::instance().device(id)->stageY, 40.0);
    EXPECT_EQ(widget->valueLabel(0)->text(), "250");
    EXPECT_TRUE(edit->isHidden());
    // The item follows its record.
    QGraphicsItem* item = scene()->stageItem(id, stage::kDeviceType);
    EXPECT_DOUBLE_EQ(item->x(), 250 * 0.125 + 8);
}

TEST_F(StageWidgetTest, PositionEditsRefuseValuesOutsideTheStage) {
    const QValidator* v = widget->valueEdit(0)->validator();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(widget->valueEdit(2)->validator(), nullptr);
    struct Case {
        const char* text;
        bool acceptable;
    } cases[] = {{"-9999", true}, {"100000", true}, {"0", true}, {"-10000", false}, {"100001", false}, {"1e3", false}};
    for (const Case& c : cases) {
        QString text = c.text;
        int pos = 0;
        EXPECT_EQ(v->validate(text, pos) == QValidator::Acceptable, c.acceptable) << c.text;
    }
}

TEST_F(StageWidgetTest, HandToolPansTheViewWithoutSelecting) {
    const int id = addDevice(1920, 1080, 400, 400);
    GConfig::instance().setEditModeValue(0);
    GConfig::instance().setHandToolValue(true);
    widget->horizontalBar()->setValue(100);
    view()->verticalScrollBar()->setValue(100);
    const QPointF start = view()->mapToScene(QPoint(300, 300));
    mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    QMouseEvent move(QEvent::MouseMove, QPointF(260, 270), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view()->viewport(), &move);
    EXPECT_EQ(widget->horizontalBar()->value(), 140);
    EXPECT_EQ(view()->verticalScrollBar()->value(), 130);
    mouse(QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(scene()->stageItem(id, stage::kDeviceType)->isSelected());
    EXPECT_FALSE(view()->isPanning());
}

}  // namespace
