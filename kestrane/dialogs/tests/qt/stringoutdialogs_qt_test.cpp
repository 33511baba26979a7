// The string-output dialogs offscreen: their checks, what they hand back and
// what they store.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextEdit>

#include "kestrane/gconfig.h"
#include "kestrane/inputdialogs.h"
#include "kestrane/stringoutdialogs.h"
#include "support/ProjectTest.h"
#include "support/ScriptedPrompts.h"

namespace {

template <class W>
W* field(QWidget& dialog, const char* name) {
    W* w = dialog.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

class StringOutDialogs : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        clearRecords();
    }
    void TearDown() override {
        clearRecords();
        ProjectTest::TearDown();
    }
    static void clearRecords() {
        GConfig& c = GConfig::instance();
        for (LayerIORecord* r : c.layerIOs()) c.eraseLayerIO(r->id);
        for (OutControlRecord* r : c.outControls()) c.eraseOutControl(r->id);
    }
    static int addControl(const QString& name) {
        OutControlRecord r;
        r.id = GConfig::instance().nextOutControlId();
        r.name = name;
        GConfig::instance().addOutControl(r);
        return r.id;
    }
    static LayerIORecord* addCommand(const QString& name, const QString& data, int time) {
        LayerIORecord r;
        r.id = GConfig::instance().nextLayerIOId();
        r.name = name;
        r.data = data;
        r.time = time;
        r.kind = 2;
        return GConfig::instance().addLayerIO(r);
    }
};

TEST_F(StringOutDialogs, StringOutRefusesAndFocusesTheOffendingField) {
    addControl(q("投影机"));
    struct Case {
        const char* name;
        int type;
        const char* ip;
        const char* port;
        const char* message;
        const char* focused;
    };
    const Case cases[] = {
        {"   ", 0, "", "", "请填写输出端口名称", "name"},
        {" 投影机 ", 0, "", "", "填写的输出端口名称与已有的重复，请重填", "name"},
        {"灯光", 1, "  ", "4000", "请填写网络地址", "ip"},
        {"灯光", 1, "10.0.0.5", "", "请填写IP端口号", "port"},
        {"灯光", 1, "10.0.0.5", "0", "请填写IP端口号", "port"},
        {"灯光", 1, "10.0.0.5", "70000", "请填写IP端口号", "port"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message);
        QVariantMap result;
        DStringOut dialog(&result, 0);
        dialog.show();
        field<QLineEdit>(dialog, "name")->setText(q(k.name));
        auto* type = field<QComboBox>(dialog, "showType");
        type->setCurrentIndex(k.type);
        emit type->activated(k.type);
        field<QLineEdit>(dialog, "ip")->setText(q(k.ip));
        field<QLineEdit>(dialog, "port")->setText(q(k.port));
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        dialog.accept();
        ASSERT_EQ(prompts.calls().size(), 1);
        EXPECT_EQ(prompts.calls()[0].title, q("填写错误"));
        EXPECT_EQ(prompts.calls()[0].text, q(k.message));
        EXPECT_EQ(dialog.result(), 0);
        EXPECT_TRUE(result.isEmpty());
        ASSERT_NE(dialog.focusWidget(), nullptr);
        EXPECT_EQ(dialog.focusWidget()->objectName(), QLatin1String(k.focused));
        EXPECT_TRUE(GConfig::instance().isSaved());
    }
}

TEST_F(StringOutDialogs, StringOutHandsBackOnlyTheChosenKindsValues) {
    addRecord(4, q("左投影"));
    {
        QVariantMap result;
        DStringOut dialog(&result, 0);
        EXPECT_EQ(dialog.windowTitle(), q("添加字符串输出"));
        EXPECT_EQ(dialog.size(), QSize(280, 220));
        EXPECT_FALSE(field<QLineEdit>(dialog, "ip")->isVisibleTo(&dialog));
        auto* devices = field<QComboBox>(dialog, "deviceName");
        ASSERT_EQ(devices->count(), 2);
        EXPECT_EQ(devices->itemText(0), QStringLiteral("-None Selected-"));
        devices->setCurrentIndex(1);
        field<QLineEdit>(dialog, "name")->setText(q(" 串口1 "));
        field<QComboBox>(dialog, "com")->setCurrentIndex(2);
        field<QComboBox>(dialog, "parity")->setCurrentIndex(2);
        dialog.accept();
        EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
        const QVariantMap expected{{"name", q("串口1")}, {"type", 0}, {"id", 4}, {"com", 3}, {"baud", 9600}, {"parity", 2}};
        EXPECT_EQ(result, expected);
        EXPECT_FALSE(GConfig::instance().isSaved());
    }
    {
        QVariantMap result;
        DStringOut dialog(&result, 0);
        field<QLineEdit>(dialog, "name")->setText(q("灯光"));
        auto* type = field<QComboBox>(dialog, "showType");
        type->setCurrentIndex(1);
        emit type->activated(1);
        EXPECT_TRUE(field<QLineEdit>(dialog, "ip")->isVisibleTo(&dialog));
        EXPECT_FALSE(field<QComboBox>(dialog, "com")->isVisibleTo(&dialog));
        field<QLineEdit>(dialog, "ip")->setText(q(" 10.0.0.5 "));
        field<QLineEdit>(dialog, "port")->setText(q("65535"));
        field<QRadioButton>(dialog, "udp")->setChecked(true);
        dialog.accept();
        const QVariantMap expected{{"name", q("灯光")}, {"type", 1}, {"ip", q("10.0.0.5")}, {"port", 65535}, {"isTcp", false}};
        EXPECT_EQ(result, expected);
    }
}

TEST_F(StringOutDialogs, StringOutLoadsARecordAndAGoneDeviceAsNone) {
    GConfig& c = GConfig::instance();
    const int id = addControl(q("网络"));
    OutControlRecord* r = c.findOutControl(id);
    r->type = 1;
    r->ip = q("10.0.0.9");
    r->port = 5000;
    r->isTcp = false;
    r->deviceId = 9;  // no such device
    QVariantMap result;
    DStringOut dialog(&result, id);
    EXPECT_EQ(dialog.windowTitle(), q("添加字符串输出"));
    EXPECT_EQ(field<QComboBox>(dialog, "showType")->currentIndex(), 1);
    EXPECT_EQ(field<QLineEdit>(dialog, "ip")->text(), q("10.0.0.9"));
    EXPECT_EQ(field<QLineEdit>(dialog, "port")->text(), q("5000"));
    EXPECT_TRUE(field<QRadioButton>(dialog, "udp")->isChecked());
    EXPECT_EQ(field<QComboBox>(dialog, "deviceName")->currentIndex(), 0);
    // Its own name is no duplicate.
    dialog.accept();
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
}

TEST_F(StringOutDialogs, TimeAxisStringOutChecksTimeAndName) {
    GConfig& c = GConfig::instance();
    c.setTimeAxisLengthValue(60000);
    addCommand(q("开灯"), QString(), 0);
    LayerIORecord* r = addCommand(QString(), QString(), 1500);
    struct Case {
        const char* name;
        const char* time;
        const char* message;  // null: accepted
        const char* focused;
    };
    const Case cases[] = {
        {"开灯", "00:00:01.000", "您填写的名称与已有的名称重复，请重填", "name"},
        {"", "00:01:00.001", "您设置的时间超出了当前时间线的最大值，请重填", "time"},
        {"", "00:01:00.000", nullptr, nullptr},  // exactly the axis length
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.time);
        DTimeAxisStringOut dialog(r->id);
        dialog.show();
        EXPECT_EQ(field<QLineEdit>(dialog, "time")->text(), QStringLiteral("00:00:01.500"));
        field<QLineEdit>(dialog, "name")->setText(q(k.name));
        field<QLineEdit>(dialog, "time")->setText(q(k.time));
        ScriptedPrompts prompts;
        if (k.message) prompts.answer(QMessageBox::Ok);
        dialog.accept();
        if (k.message) {
            EXPECT_EQ(prompts.texts(), QStringList{q(k.message)});
            EXPECT_EQ(prompts.titles(), QStringList{q("输入错误")});
            EXPECT_EQ(dialog.result(), 0);
            EXPECT_EQ(dialog.focusWidget()->objectName(), QLatin1String(k.focused));
            EXPECT_EQ(r->time, 1500);
        } else {
            EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
            EXPECT_EQ(r->time, 60000);
        }
    }
    // Another command may keep an empty name too.
    addCommand(QString(), QString(), 0);
    DTimeAxisStringOut again(r->id);
    again.accept();
    EXPECT_EQ(again.result(), int(QDialog::Accepted));
}

TEST_F(StringOutDialogs, TimeAxisStringOutKeepsDataAsPlainTextTrimmed) {
    GConfig::instance().setTimeAxisLengthValue(60000);
    struct Case {
        const char* stored;
        const char* typed;  // null: left as loaded
        const char* saved;
    };
    const Case cases[] = {
        {"<PWR ON>", nullptr, "<PWR ON>"},
        {"<b>bold</b>", nullptr, "<b>bold</b>"},
        {"", "  \n PWR ON\t\n ", "PWR ON"},
        {"开始", nullptr, "开始"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.stored);
        LayerIORecord* r = addCommand(QString(), q(k.stored), 0);
        DTimeAxisStringOut dialog(r->id);
        auto* data = field<QTextEdit>(dialog, "data");
        EXPECT_EQ(data->toPlainText(), q(k.stored));
        if (k.typed) data->setPlainText(q(k.typed));
        dialog.accept();
        EXPECT_EQ(r->data, q(k.saved));
        EXPECT_FALSE(GConfig::instance().isSaved());
    }
}

TEST_F(StringOutDialogs, CommonInputRefusesBlankFields) {
    struct Case {
        const char* name;
        const char* limit;
        const char* message;
    };
    const Case cases[] = {{"  ", "1", "请填写输入名称"}, {"a", " \t", "请填写限制"}};
    for (const Case& k : cases) {
        QVariantMap result;
        DCommonInput dialog(&result);
        field<QLineEdit>(dialog, "name")->setText(q(k.name));
        field<QLineEdit>(dialog, "limit")->setText(q(k.limit));
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        dialog.accept();
        EXPECT_EQ(prompts.texts(), QStringList{q(k.message)});
        EXPECT_EQ(prompts.titles(), QStringList{q("填写错误")});
        EXPECT_EQ(dialog.result(), 0);
        EXPECT_TRUE(result.isEmpty());
    }
    QVariantMap result;
    DCommonInput dialog(&result);
    EXPECT_EQ(dialog.windowTitle(), q("添加普通输入"));
    field<QLineEdit>(dialog, "name")->setText(q(" 音量 "));
    field<QLineEdit>(dialog, "limit")->setText(q(" 10 "));
    dialog.accept();
    EXPECT_EQ(result, (QVariantMap{{"name", q("音量")}, {"limit", q("10")}}));
}

}  // namespace
