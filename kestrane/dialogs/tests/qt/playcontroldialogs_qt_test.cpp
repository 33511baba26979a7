// The play-control dialogs: the function key from a name, the checks in
// their order, what is stored, and the chooser.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "kestrane/gconfig.h"
#include "kestrane/playcontroldialogs.h"
#include "support/QtWidgetTestApp.h"
#include "support/ScriptedPrompts.h"

namespace {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        GConfig& c = GConfig::instance();
        c.clearProject();
        c.setTimeAxisLengthValue(120000);
        add(1, 1, QStringLiteral("Intro"), QStringLiteral("go"));
        add(2, 0, QString(), QString());
        add(3, 2, QString(), QString());
        c.setSaved(true);
    }
    void TearDown() override {
        GConfig::instance().clearProject();
        GConfig::instance().setSaved(true);
    }
    PlayControlRecord* add(int id, int type, const QString& name, const QString& command) {
        PlayControlRecord r;
        r.id = id;
        r.type = type;
        r.name = name;
        r.command = command;
        r.keyCode = Qt::Key_No;
        return GConfig::instance().addPlayControl(r);
    }
    static PlayControlRecord* rec(int id) { return GConfig::instance().findPlayControl(id); }
    template <typename T>
    static T* field(QWidget* dialog, const char* name) {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace

TEST(FunctionKey, FromTheStartOfTheName) {
    const struct {
        const char* name;
        int key;
    } cases[] = {
        {"f12", Qt::Key_F12},       {"f012", Qt::Key_F12},   {"F3 opening", Qt::Key_F3}, {"f3", Qt::Key_F3},
        {"F1", Qt::Key_F1},         {"f2end", Qt::Key_F2},   {"f 1", Qt::Key_No},        {"f13", Qt::Key_No},
        {"f0", Qt::Key_No},         {"lift", Qt::Key_No},    {"", Qt::Key_No},           {" f1", Qt::Key_No},
        {"f99999999999999999999", Qt::Key_No},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kestrane::functionKeyFromName(QString::fromUtf8(c.name)), c.key) << c.name;
}

TEST_F(DialogTest, ChecksRunInOrderAndKeepTheDialogOpen) {
    ScriptedPrompts prompts;
    DPauseControl dialog(2);
    dialog.show();
    auto* name = field<QLineEdit>(&dialog, "name");
    auto* command = field<QLineEdit>(&dialog, "commandFromNet");
    auto* time = field<QLineEdit>(&dialog, "time");
    name->setText(QStringLiteral(" Intro "));
    command->setText(QStringLiteral("go"));
    time->setText(QStringLiteral("00:02:00.001"));
    struct Step {
        QLineEdit* focus;
        const char* text;
        std::function<void()> fix;
    };
    const std::vector<Step> steps = {
        {name, "您填写的名称与已有的名称重复，请重填", [&] { name->setText(QStringLiteral("intro")); }},
        {command, "您填写的命令与已有的控制命令重复，请重填", [&] { command->setText(QStringLiteral("go2")); }},
        {time, "您设置的时间超出了当前时间线的最大值，请重填", [&] { time->setText(QStringLiteral("00:02:00.000")); }},
    };
    for (const Step& s : steps) {
        prompts.answer(QMessageBox::Ok);
        dialog.accept();
        ASSERT_EQ(prompts.calls().size(), int(&s - &steps[0] + 1));
        EXPECT_EQ(prompts.calls().back().title, QStringLiteral("输入错误"));
        EXPECT_EQ(prompts.calls().back().text, QString::fromUtf8(s.text));
        EXPECT_EQ(dialog.focusWidget(), s.focus);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_TRUE(rec(2)->name.isEmpty()) << "record untouched";
        s.fix();
    }
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    // "Intro" and "intro" are different names; a length time is accepted.
    EXPECT_EQ(rec(2)->name, QStringLiteral("intro"));
    EXPECT_EQ(rec(2)->command, QStringLiteral("go2"));
    EXPECT_EQ(rec(2)->time, 120000);
    EXPECT_FALSE(GConfig::instance().isSaved());
}

TEST_F(DialogTest, StoresNameKeyAndTime) {
    ScriptedPrompts prompts;
    struct Case {
        const char* name;
        const char* time;
        int key;
        int ms;
    };
    const Case cases[] = {
        {"Intro", "00:01:00.5", Qt::Key_No, 60005},  // its own name passes; the fraction counts ms
        {"F2 end", "01:00:00.000", Qt::Key_F2, 3600000},
    };
    GConfig::instance().setTimeAxisLengthValue(4000000);
    for (const Case& c : cases) {
        DPlayControl dialog(1);
        field<QLineEdit>(&dialog, "name")->setText(QString::fromUtf8(c.name));
        field<QLineEdit>(&dialog, "time")->setText(QString::fromLatin1(c.time));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.name;
        EXPECT_EQ(rec(1)->keyCode, c.key) << c.name;
        EXPECT_EQ(rec(1)->time, c.ms) << c.name;
    }
    EXPECT_TRUE(prompts.calls().empty());
    // Loaded back: the time shows in full.
    DPlayControl again(1);
    EXPECT_EQ(field<QLineEdit>(&again, "time")->text(), QStringLiteral("01:00:00.000"));
    EXPECT_EQ(field<QLineEdit>(&again, "name")->text(), QStringLiteral("F2 end"));
}

TEST_F(DialogTest, OnlyTheMainTimeAxisIsOffered) {
    DPlayControl dialog(1);
    auto* combo = field<QComboBox>(&dialog, "timelineType");
    ASSERT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_FALSE(field<QLineEdit>(&dialog, "lineEdit_2")->isEnabled());
}

TEST_F(DialogTest, JumpDialogLoadsStoresAndRefillsTheDelay) {
    PlayControlRecord* jump = rec(3);
    jump->delay = 7;
    jump->jumpTime = 1500;
    DJumpControl dialog(3);
    auto* delay = field<QLineEdit>(&dialog, "delay");
    auto* play = field<QRadioButton>(&dialog, "radio_play");
    auto* pause = field<QRadioButton>(&dialog, "radio_pause");
    EXPECT_EQ(field<QLineEdit>(&dialog, "timeposValue")->text(), QStringLiteral("00:00:01.500"));
    EXPECT_EQ(delay->text(), QStringLiteral("7"));
    delay->setText(QStringLiteral("99"));
    pause->setChecked(true);
    EXPECT_FALSE(delay->isEnabled());
    EXPECT_TRUE(delay->text().isEmpty());
    play->setChecked(true);
    EXPECT_TRUE(delay->isEnabled());
    EXPECT_EQ(delay->text(), QStringLiteral("7"));

    // To a named control, staying paused.
    field<QRadioButton>(&dialog, "radio_controlName")->setChecked(true);
    field<QLineEdit>(&dialog, "controlnameValue")->setText(QStringLiteral(" Intro "));
    pause->setChecked(true);
    dialog.accept();
    EXPECT_EQ(jump->jumpMode, 1);
    EXPECT_EQ(jump->targetName, QStringLiteral("Intro"));
    EXPECT_EQ(jump->jumpTime, 0);
    EXPECT_EQ(jump->stayPaused, 1);
    EXPECT_EQ(jump->delay, 0);

    // Loaded back it shows the same choice; to a time, playing on after 3 s.
    DJumpControl again(3);
    EXPECT_TRUE(field<QRadioButton>(&again, "radio_controlName")->isChecked());
    EXPECT_TRUE(field<QRadioButton>(&again, "radio_pause")->isChecked());
    field<QRadioButton>(&again, "radio_timepos")->setChecked(true);
    field<QLineEdit>(&again, "timeposValue")->setText(QStringLiteral("00:00:02.250"));
    field<QRadioButton>(&again, "radio_play")->setChecked(true);
    field<QLineEdit>(&again, "delay")->setText(QStringLiteral("3"));
    again.accept();
    EXPECT_EQ(jump->jumpMode, 0);
    EXPECT_EQ(jump->jumpTime, 2250);
    EXPECT_TRUE(jump->targetName.isEmpty());
    EXPECT_EQ(jump->stayPaused, 0);
    EXPECT_EQ(jump->delay, 3);
}

TEST_F(DialogTest, CancelLeavesTheRecord) {
    DPlayControl dialog(1);
    field<QLineEdit>(&dialog, "name")->setText(QStringLiteral("other"));
    dialog.reject();
    EXPECT_EQ(rec(1)->name, QStringLiteral("Intro"));
    EXPECT_TRUE(GConfig::instance().isSaved());
}

TEST_F(DialogTest, ChooserWritesTheType) {
    const struct {
        const char* button;
        int type;
    } cases[] = {{"play", 1}, {"pause", 0}, {"jump", 2}};
    for (const auto& c : cases) {
        int type = -1;
        DAddCommand chooser(&type);
        EXPECT_EQ(chooser.windowTitle(), QStringLiteral("添加命令"));
        field<QPushButton>(&chooser, c.button)->click();
        EXPECT_EQ(type, c.type) << c.button;
        EXPECT_EQ(chooser.result(), QDialog::Accepted);
    }
}
