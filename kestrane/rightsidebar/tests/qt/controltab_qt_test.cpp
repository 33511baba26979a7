// The control tab offscreen: its tabs, the input-control list with its
// dialogs, the output-control list with its table, drag data, deletion and
// the rows the project loader makes; a screenshot of both lists.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>

#include <functional>
#include <memory>

#include "kestrane/controlsidebar.h"
#include "kestrane/gconfig.h"
#include "kestrane/inputcontrollist.h"
#include "kestrane/inputdialogs.h"
#include "kestrane/outcontrollist.h"
#include "kestrane/outcontroltable.h"
#include "kestrane/stringoutdialogs.h"
#include "kestrane/timeaxishooks.h"
#include "support/ProjectTest.h"
#include "support/QtSpin.h"
#include "support/ScriptedPrompts.h"

namespace {

class AxisRecorder : public TimeAxisHooks {
public:
    void pause() override { ++pauses; }
    void removeLayerIOBlock(int id) override { removedBlocks << id; }
    int pauses = 0;
    QList<int> removedBlocks;
};

// Answers the next modal dialog of type D once it is open; a dialog of
// another type is cancelled (and fails the test) so that nothing hangs.
template <class D>
void whenOpen(std::function<void(D*)> answer) {
    QTimer::singleShot(0, [answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* d = qobject_cast<D*>(modal)) return answer(d);
        ADD_FAILURE() << "expected another dialog";
        if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
    });
}

template <class W>
W* field(QWidget* dialog, const char* name) {
    return dialog->findChild<W*>(QLatin1String(name));
}

class ControlTab : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        clearRecords();
        GConfig::instance().setTimeAxisHooks(&axis);
        side = std::make_unique<ControlSidebar>();
        side->resize(260, 420);
        side->show();
    }
    void TearDown() override {
        side.reset();
        GConfig::instance().setTimeAxisHooks(nullptr);
        clearRecords();
        ProjectTest::TearDown();
    }
    static void clearRecords() {
        GConfig& c = GConfig::instance();
        for (LayerIORecord* r : c.layerIOs()) c.eraseLayerIO(r->id);
        for (OutControlRecord* r : c.outControls()) c.eraseOutControl(r->id);
    }
    QTableWidget* inputs() const { return side->inputList()->table(); }
    OutControlTable* outputs() const { return side->outList()->table(); }
    QStringList column(QTableWidget* t, int col) const {
        QStringList texts;
        for (int r = 0; r < t->rowCount(); ++r) texts << (t->item(r, col) ? t->item(r, col)->text() : QString());
        return texts;
    }
    void addInput(const char* name) {
        whenOpen<DCommonInput>([name](DCommonInput* d) {
            field<QLineEdit>(d, "name")->setText(QString::fromUtf8(name));
            field<QLineEdit>(d, "limit")->setText(QStringLiteral("1"));
            d->accept();
        });
        side->inputList()->addItem(1);
    }
    // A network output through the add-combo.
    void addNetworkOutput(const char* name, const char* ip, const char* port, bool udp) {
        whenOpen<DStringOut>([=](DStringOut* d) {
            field<QLineEdit>(d, "name")->setText(QString::fromUtf8(name));
            auto* type = field<QComboBox>(d, "showType");
            type->setCurrentIndex(1);
            emit type->activated(1);
            field<QLineEdit>(d, "ip")->setText(QString::fromUtf8(ip));
            field<QLineEdit>(d, "port")->setText(QString::fromUtf8(port));
            field<QRadioButton>(d, udp ? "udp" : "tcp")->setChecked(true);
            d->accept();
        });
        side->outList()->addItem(1);
    }
    void addSerialOutput(const char* name, int deviceIndex) {
        whenOpen<DStringOut>([=](DStringOut* d) {
            field<QLineEdit>(d, "name")->setText(QString::fromUtf8(name));
            field<QComboBox>(d, "deviceName")->setCurrentIndex(deviceIndex);
            d->accept();
        });
        side->outList()->addItem(1);
    }
    static OutControlRecord& addRecordOfKind(int id, const QString& name, int kind = 2) {
        OutControlRecord r;
        r.id = id;
        r.name = name;
        r.kind = kind;
        return *GConfig::instance().addOutControl(r);
    }

    AxisRecorder axis;
    std::unique_ptr<ControlSidebar> side;
};

TEST_F(ControlTab, TabsSwitchPagesAndTasksAreNotOffered) {
    const auto& b = side->buttons();
    ASSERT_EQ(b.size(), 3);
    EXPECT_EQ(side->stack()->currentIndex(), 0);
    EXPECT_TRUE(b[0]->isChecked());
    b[1]->click();
    EXPECT_EQ(side->stack()->currentWidget(), side->outList());
    EXPECT_FALSE(b[0]->isChecked());
    EXPECT_TRUE(b[1]->isChecked());
    EXPECT_FALSE(b[2]->isEnabled());
    EXPECT_EQ(b[2]->text(), q("任务"));
    b[2]->click();  // disabled: nothing
    EXPECT_EQ(side->stack()->currentIndex(), 1);
    side->setCurrentTab(0);
    EXPECT_EQ(side->stack()->currentIndex(), 0);
    EXPECT_TRUE(b[0]->isChecked());
    EXPECT_FALSE(b[1]->isChecked());
}

TEST_F(ControlTab, InputKindsPauseAndResetTheCombo) {
    QComboBox* combo = side->inputList()->combo();
    ASSERT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->currentText(), q("添加输入"));
    struct Case {
        int kind;
        std::function<void()> answer;  // the dialog the kind opens
    };
    const Case cases[] = {
        {1, [] { whenOpen<DCommonInput>([](DCommonInput* d) { d->reject(); }); }},
        {2, [] {}},
        {3, [] { whenOpen<DMIDINoteInput>([](DMIDINoteInput* d) { d->accept(); }); }},
        {4, [] {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.kind);
        const int before = axis.pauses;
        combo->setCurrentIndex(k.kind);
        k.answer();
        emit combo->activated(k.kind);
        EXPECT_EQ(axis.pauses, before + 1);
        EXPECT_EQ(combo->currentIndex(), 0);
        EXPECT_EQ(inputs()->rowCount(), 0);
    }
}

TEST_F(ControlTab, CommonInputsGoOnTopDuplicatesIncluded) {
    addInput(" 音量 ");
    addInput("音量");
    addInput("亮度");
    EXPECT_EQ(column(inputs(), 0), (QStringList{q("亮度"), q("音量"), q("音量")}));
    EXPECT_EQ(column(inputs(), 1), (QStringList{q("普通输入"), q("普通输入"), q("普通输入")}));
    EXPECT_EQ(column(inputs(), 2), (QStringList{"0.0000", "0.0000", "0.0000"}));
    EXPECT_EQ(inputs()->item(0, 0)->toolTip(), q("亮度"));

    inputs()->setCurrentCell(-1, -1);
    side->inputList()->delItem();
    EXPECT_EQ(inputs()->rowCount(), 3);
    inputs()->setCurrentCell(1, 0);
    side->inputList()->delItem();
    EXPECT_EQ(column(inputs(), 0), (QStringList{q("亮度"), q("音量")}));
}

TEST_F(ControlTab, OutputsShowTheirDescriptionsAndCancelChangesNothing) {
    addRecord(2, q("左投影"));
    OutControlList* list = side->outList();
    QComboBox* combo = list->combo();
    combo->setCurrentIndex(1);
    whenOpen<DStringOut>([](DStringOut* d) { d->reject(); });
    emit combo->activated(1);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(outputs()->rowCount(), 0);
    EXPECT_TRUE(GConfig::instance().outControls().isEmpty());
    EXPECT_EQ(axis.pauses, 1);

    addSerialOutput("串口", 0);
    addNetworkOutput("灯光", "10.0.0.5", "4000", true);
    addSerialOutput("投影", 1);
    addNetworkOutput("音响", "10.0.0.6", "5000", false);
    EXPECT_EQ(column(outputs(), 0), (QStringList{q("音响"), q("投影"), q("灯光"), q("串口")}));
    EXPECT_EQ(column(outputs(), 1), (QStringList{q("TCP 10.0.0.6:5000"), q("左投影"), q("UDP 10.0.0.5:4000"),
                                                 q("None Selected")}));
    EXPECT_EQ(outputs()->item(2, 1)->toolTip(), q("UDP 10.0.0.5:4000"));
    const QList<OutControlRecord*> records = GConfig::instance().outControls();
    ASSERT_EQ(records.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i]->id, i + 1);
        EXPECT_EQ(records[i]->kind, 2);
        EXPECT_EQ(outputs()->item(3 - i, 0)->data(Qt::UserRole + 1).toInt(), i + 1);
    }
    EXPECT_EQ(records[1]->ip, q("10.0.0.5"));
    EXPECT_FALSE(records[1]->isTcp);
    EXPECT_EQ(records[2]->deviceId, 2);
    EXPECT_EQ(records[2]->baud, 9600);

    // A device that went shows as none.
    GConfig::instance().devices().remove(2);
    EXPECT_EQ(OutControlTable::description(*records[2]), q("None Selected"));
}

TEST_F(ControlTab, EditingSerialToNetworkKeepsTheSerialFields) {
    addRecord(1, q("主投影"));
    OutControlRecord& r = addRecordOfKind(1, q("机柜"));
    r.type = 0;
    r.deviceId = 1;
    r.com = 3;
    r.baud = 19200;
    r.parity = 2;
    side->outList()->addItemUsingData(1);
    EXPECT_EQ(outputs()->item(0, 1)->text(), q("主投影"));
    whenOpen<DStringOut>([](DStringOut* d) {
        EXPECT_EQ(field<QComboBox>(d, "com")->currentIndex(), 2);
        EXPECT_EQ(field<QComboBox>(d, "baud")->currentText(), q("19200"));
        field<QLineEdit>(d, "name")->setText(QStringLiteral("rack"));
        field<QComboBox>(d, "showType")->setCurrentIndex(1);
        field<QLineEdit>(d, "ip")->setText(QStringLiteral("10.0.0.9"));
        field<QLineEdit>(d, "port")->setText(QStringLiteral("5000"));
        d->accept();
    });
    outputs()->editRow(0);
    EXPECT_EQ(r.type, 1);
    EXPECT_EQ(r.name, QStringLiteral("rack"));
    EXPECT_EQ(r.port, 5000);
    EXPECT_EQ(r.com, 3);
    EXPECT_EQ(r.baud, 19200);
    EXPECT_EQ(r.parity, 2);
    EXPECT_EQ(r.deviceId, 1);
    EXPECT_EQ(column(outputs(), 0), QStringList{QStringLiteral("rack")});
    EXPECT_EQ(column(outputs(), 1), QStringList{q("TCP 10.0.0.9:5000")});
}

TEST_F(ControlTab, DeletingAControlInUseAsksOnceAndRemovesItsCommands) {
    GConfig& c = GConfig::instance();
    addRecordOfKind(1, q("灯光"));
    addRecordOfKind(2, q("音响"));
    side->outList()->addItemUsingData(1);
    side->outList()->addItemUsingData(2);  // row 0
    for (int i = 1; i <= 4; ++i) {
        LayerIORecord io;
        io.id = i;
        io.outControlId = i <= 3 ? 1 : 2;
        c.addLayerIO(io);
    }
    // No current row: nothing asked, nothing removed.
    outputs()->setCurrentCell(-1, -1);
    side->outList()->delItem();
    EXPECT_EQ(outputs()->rowCount(), 2);

    outputs()->setCurrentCell(1, 0);
    {
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::No);
        side->outList()->delItem();
        ASSERT_EQ(prompts.calls().size(), 1);
        EXPECT_EQ(prompts.calls()[0].title, q("删除确认"));
        EXPECT_EQ(prompts.calls()[0].defaultButton, QMessageBox::No);
    }
    EXPECT_EQ(outputs()->rowCount(), 2);
    EXPECT_NE(c.findOutControl(1), nullptr);
    EXPECT_TRUE(axis.removedBlocks.isEmpty());
    {
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Yes);
        side->outList()->delItem();
        EXPECT_EQ(prompts.calls().size(), 1);
    }
    EXPECT_EQ(axis.removedBlocks, (QList<int>{1, 2, 3}));
    ASSERT_TRUE(spinUntil([&] { return c.layerIOs().size() == 1; }, 30000));
    EXPECT_EQ(c.layerIOs()[0]->id, 4);
    EXPECT_EQ(c.findOutControl(1), nullptr);
    EXPECT_EQ(column(outputs(), 0), QStringList{q("音响")});
}

TEST_F(ControlTab, LoadedControlsAppearInReverseOrderAndClearingEmptiesTheTable) {
    GConfig& c = GConfig::instance();
    EXPECT_EQ(c.outControlList, side->outList());
    addRecordOfKind(1, QStringLiteral("a"));
    addRecordOfKind(2, QStringLiteral("other"), 0);  // not a string output: no row
    addRecordOfKind(3, QStringLiteral("c"));
    const QByteArray bytes = c.projectFileBytes();
    c.clearProject();
    EXPECT_EQ(outputs()->rowCount(), 0);
    ASSERT_TRUE(c.loadProjectData(bytes));
    EXPECT_EQ(column(outputs(), 0), (QStringList{QStringLiteral("c"), QStringLiteral("a")}));
    c.clearProject();
    EXPECT_EQ(outputs()->rowCount(), 0);
}

TEST_F(ControlTab, DraggedRowCarriesTheControlId) {
    addRecordOfKind(7, QStringLiteral("x"));
    side->outList()->addItemUsingData(7);
    outputs()->setCurrentCell(-1, -1);
    EXPECT_EQ(outputs()->dragData(), nullptr);
    outputs()->setCurrentCell(0, 1);
    std::unique_ptr<QMimeData> data(outputs()->dragData());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->property("type").toString(), QStringLiteral("outControl"));
    EXPECT_EQ(data->property("groupId").toInt(), 7);
    EXPECT_TRUE(data->formats().isEmpty());
}

QImage saved(QWidget& w, const char* name) {
    const QImage image = w.grab().toImage();
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    EXPECT_TRUE(image.save(QStringLiteral(SV_BINARY_DIR "/artefacts/") + QLatin1String(name)));
    return image;
}

// The middle of the row's icon in the picture of the whole tab.
QColor iconColour(const QImage& image, QWidget& side, QTableWidget* table, int row) {
    const QRect cell = table->visualRect(table->model()->index(row, 0));
    const QPoint p = table->viewport()->mapTo(&side, QPoint(cell.left() + 4 + 8, cell.center().y()));
    return image.pixelColor(p);
}

TEST_F(ControlTab, ScreenshotOfBothLists) {
    QFile qss(QStringLiteral(SV_SOURCE_DIR "/kestrane/app/qss.css"));
    ASSERT_TRUE(qss.open(QIODevice::ReadOnly));
    side->setStyleSheet(QString::fromUtf8(qss.readAll()));
    addRecord(1, q("左投影"));
    addInput("音量");
    addInput("亮度");
    QCoreApplication::processEvents();
    const QImage in = saved(*side, "control_tab_inputs.png");
    const QColor common = iconColour(in, *side, inputs(), 0);
    EXPECT_NEAR(common.red(), 0x3c, 12);
    EXPECT_NEAR(common.green(), 0x9c, 12);
    EXPECT_NEAR(common.blue(), 0xdc, 12);

    side->buttons()[1]->click();
    addSerialOutput("投影机", 1);
    addNetworkOutput("灯光", "10.0.0.5", "4000", true);
    addNetworkOutput("中控", "192.168.1.20", "5000", false);
    QCoreApplication::processEvents();
    const QImage out = saved(*side, "control_tab_outputs.png");
    for (int row = 0; row < 3; ++row) {
        const QColor string = iconColour(out, *side, outputs(), row);
        EXPECT_NEAR(string.red(), 0x60, 12) << row;
        EXPECT_NEAR(string.green(), 0xff, 12) << row;
        EXPECT_NEAR(string.blue(), 0x60, 12) << row;
    }
    // The checked tab button differs from the unchecked one.
    const QPoint onIn = side->buttons()[0]->mapTo(side.get(), QPoint(3, 3));
    const QPoint onOut = side->buttons()[1]->mapTo(side.get(), QPoint(3, 3));
    EXPECT_NE(out.pixelColor(onIn), out.pixelColor(onOut));
}

}  // namespace

TEST_F(ControlTab, DeletingAnUnusedOutputMarksTheProjectModified) {
    GConfig& c = GConfig::instance();
    addRecordOfKind(1, q("音响"));
    side->outList()->addItemUsingData(1);
    c.setSaved(true);
    outputs()->setCurrentCell(0, 0);
    ScriptedPrompts prompts;
    side->outList()->delItem();
    EXPECT_TRUE(prompts.calls().isEmpty());
    EXPECT_EQ(outputs()->rowCount(), 0);
    EXPECT_EQ(c.findOutControl(1), nullptr);
    EXPECT_FALSE(c.isSaved());
}
