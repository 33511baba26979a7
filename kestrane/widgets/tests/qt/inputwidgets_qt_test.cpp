#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QVBoxLayout>

#include "kestrane/intvalidatorfix.h"
#include "kestrane/mslider.h"
#include "kestrane/wheellineedit.h"
#include "support/QtWidgetTestApp.h"

namespace {

void focusOut(QLineEdit* edit) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &out);
}

// A dialog with an OK button as default, a line edit of the given kind and
// a second field to move the focus to.
template <class Edit>
struct DialogWith {
    DialogWith() {
        auto* layout = new QVBoxLayout(&dialog);
        edit = new Edit(&dialog);
        other = new QLineEdit(&dialog);
        auto* ok = new QPushButton("OK", &dialog);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        layout->addWidget(edit);
        layout->addWidget(other);
        layout->addWidget(ok);
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        edit->setFocus();
        EXPECT_TRUE(edit->hasFocus());
    }
    QDialog dialog;
    Edit* edit;
    QLineEdit* other;
};

TEST(WheelLineEditQt, ReturnNeitherFinishesTheEditNorPressesTheDefaultButton) {
    testApp();
    {
        // The same dialog with a plain line edit closes on Return.
        DialogWith<QLineEdit> plain;
        QTest::keyClick(plain.edit, Qt::Key_Return);
        EXPECT_EQ(plain.dialog.result(), QDialog::Accepted);
    }
    DialogWith<WheelLineEdit> d;
    d.edit->setText("12");
    QSignalSpy returned(d.edit, &QLineEdit::returnPressed);
    QSignalSpy finished(d.edit, &QLineEdit::editingFinished);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(d.edit, key);
    EXPECT_TRUE(d.dialog.isVisible());
    EXPECT_EQ(d.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(returned.count(), 0);
    EXPECT_EQ(finished.count(), 0);

    // Other keys still edit; leaving the field still finishes it.
    QTest::keyClick(d.edit, Qt::Key_3);
    EXPECT_EQ(d.edit->text(), "123");
    d.other->setFocus();
    EXPECT_EQ(finished.count(), 1);
}

TEST(WheelLineEditQt, EachWheelStepIsReportedAndStillScrollsTheArea) {
    testApp();
    QScrollArea area;
    auto* page = new QWidget;
    page->setFixedSize(200, 3000);
    auto* edit = new WheelLineEdit(page);
    edit->setGeometry(10, 1400, 150, 24);
    area.setWidget(page);
    area.resize(220, 300);
    area.show();
    area.verticalScrollBar()->setValue(1300);
    QSignalSpy rolled(edit, &WheelLineEdit::wheelRolled);

    struct Step {
        QPoint angle;
        bool down;
        int scroll;  // sign of the scroll bar's move
    };
    const Step steps[] = {
        {{0, 120}, true, -1},   // forward: reported as down, the area scrolls up
        {{0, -120}, false, 1},  // backward
        {{0, 0}, false, 0},     // no rotation
        {{-120, 10}, false, 0}, // horizontal wheel backward; the vertical bar stays
    };
    for (const Step& s : steps) {
        rolled.clear();
        const int before = area.verticalScrollBar()->value();
        const QPoint at(20, 12);
        QWheelEvent wheel(at, edit->mapToGlobal(at), QPoint(), s.angle, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        // Only a wheel event from the window system travels on to the parents.
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        QCoreApplication::instance()->notify(edit, &wheel);
        ASSERT_EQ(rolled.count(), 1) << s.angle.x() << "," << s.angle.y();
        EXPECT_EQ(rolled[0][0].toBool(), s.down) << s.angle.x() << "," << s.angle.y();
        const int moved = area.verticalScrollBar()->value() - before;
        EXPECT_EQ((moved > 0) - (moved < 0), s.scroll) << s.angle.x() << "," << s.angle.y();
    }
}

TEST(IntValidatorFixQt, UnacceptableTextBecomesTheBottomWhenTheFieldIsLeft) {
    testApp();
    struct Case {
        int bottom, top;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {1, 9999, "", "1"},
        {10, 99, "5", "10"},
        {10, 99, "42", "42"},  // acceptable text stays
        {-50, 50, "-", "-50"},
        {0, 100, "+", "0"},
    };
    for (const Case& c : cases) {
        QLineEdit edit;
        edit.setValidator(new IntValidatorFix(c.bottom, c.top, &edit));
        edit.setText(c.typed);
        QSignalSpy finished(&edit, &QLineEdit::editingFinished);
        focusOut(&edit);
        EXPECT_EQ(edit.text(), c.shown) << c.bottom << ".." << c.top << " '" << c.typed << "'";
        EXPECT_EQ(finished.count(), 1) << c.typed;
    }
    // Whatever it is asked to repair, the repair is the bottom.
    IntValidatorFix v(7, 70);
    QString text = "abc";
    v.fixup(text);
    EXPECT_EQ(text, "7");
}

TEST(IntValidatorFixQt, ReturnOnAnUnacceptableFieldRepairsItToo) {
    testApp();
    QLineEdit edit;
    edit.setValidator(new IntValidatorFix(10, 99, &edit));
    edit.setText("5");
    QSignalSpy finished(&edit, &QLineEdit::editingFinished);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.text(), "10");
    EXPECT_EQ(finished.count(), 1);
}

TEST(MSliderQt, APressReportsItsXAfterTheSliderHasHandledIt) {
    testApp();
    struct Case {
        Qt::Orientation orientation;
        QPoint press;
        int x;
        bool onGroove;  // the slider itself moves
    };
    const Case cases[] = {
        {Qt::Horizontal, {0, 10}, 0, false},  // left end, whatever the range
        {Qt::Horizontal, {150, 10}, 150, true},
        {Qt::Vertical, {7, 90}, 7, true},     // x also for a vertical slider
    };
    for (const Case& c : cases) {
        MSlider slider(c.orientation);
        slider.setRange(1000, 5000);
        slider.setValue(1000);
        slider.resize(c.orientation == Qt::Horizontal ? QSize(300, 20) : QSize(20, 300));
        slider.show();
        int valueAtSignal = -1;
        QObject::connect(&slider, &MSlider::posClicked, [&] { valueAtSignal = slider.value(); });
        QSignalSpy clicked(&slider, &MSlider::posClicked);
        sendMouseAt(&slider, QEvent::MouseButtonPress, c.press, Qt::LeftButton, Qt::LeftButton);
        ASSERT_EQ(clicked.count(), 1);
        EXPECT_EQ(clicked[0][0].toInt(), c.x);
        // A press on the groove has already stepped the slider when it is reported.
        if (c.onGroove) {
            EXPECT_GT(valueAtSignal, 1000) << c.press.x() << "," << c.press.y();
            EXPECT_EQ(valueAtSignal, slider.value());
        }
        sendMouseAt(&slider, QEvent::MouseButtonRelease, c.press, Qt::LeftButton, Qt::NoButton);
    }
}

}  // namespace
