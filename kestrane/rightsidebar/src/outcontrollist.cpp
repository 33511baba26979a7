#include "kestrane/outcontrollist.h"

#include <QComboBox>
#include <QPushButton>

#include "controllistparts.h"
#include "kestrane/gconfig.h"
#include "kestrane/outcontroltable.h"
#include "kestrane/prompt.h"
#include "kestrane/stringoutdialogs.h"

namespace {
GConfig& cfg() { return GConfig::instance(); }
}  // namespace

OutControlList::OutControlList(QWidget* parent) : QWidget(parent) {
    initLayout();
    cfg().outControlList = this;
    cfg().controlTable = m_table;
}

OutControlList::~OutControlList() {
    if (cfg().outControlList == this) cfg().outControlList = nullptr;
    if (cfg().controlTable == m_table) cfg().controlTable = nullptr;
}

void OutControlList::initLayout() {
    m_table = new OutControlTable(this);
    const auto parts = kestrane::controllist::build(
        this, m_table, {QString::fromUtf8("添加输出"), QString::fromUtf8("字符串输出")});
    m_combo = parts.combo;
    m_delete = parts.deleteButton;
    connect(m_table, &OutControlTable::delCurrentItem, this, &OutControlList::delItem);
    connect(m_combo, QOverload<int>::of(&QComboBox::activated), this, &OutControlList::addItem);
    connect(m_delete, &QPushButton::clicked, this, &OutControlList::delItem);
}

void OutControlList::addItem(int typeIndex) {
    cfg().pausePlayback();
    m_combo->setCurrentIndex(0);
    if (typeIndex != 1) return;
    QVariantMap values;
    DStringOut dialog(&values, 0, this);
    if (dialog.exec() != QDialog::Accepted) return;
    OutControlRecord record;
    record.id = cfg().nextOutControlId();
    record.kind = 2;
    record.name = values.value(QStringLiteral("name")).toString();
    record.type = values.value(QStringLiteral("type")).toInt();
    if (record.type != 0) {
        record.ip = values.value(QStringLiteral("ip")).toString();
        record.port = values.value(QStringLiteral("port")).toInt();
        record.isTcp = values.value(QStringLiteral("isTcp")).toBool();
    } else {
        record.deviceId = values.value(QStringLiteral("id")).toInt();
        record.com = values.value(QStringLiteral("com")).toInt();
        record.baud = values.value(QStringLiteral("baud")).toInt();
        record.parity = values.value(QStringLiteral("parity")).toInt();
    }
    cfg().addOutControl(record);
    addItemUsingData(record.id);
}

void OutControlList::addItemUsingData(int id) {
    const OutControlRecord* record = cfg().findOutControl(id);
    if (!record || record->kind != 2) return;
    m_table->insertRow(0);
    m_table->setRow(0, *record);
}

void OutControlList::delItem() {
    const int row = m_table->currentRow();
    if (row < 0) return;
    const int id = m_table->rowId(row);
    if (id == 0) return;
    QList<int> commands;
    for (const LayerIORecord* io : cfg().layerIOs())
        if (io->outControlId == id) commands << io->id;
    if (!commands.isEmpty()) {
        const auto answer = kestrane::prompt::question(
            this, QString::fromUtf8("删除确认"),
            QString::fromUtf8("您要删除的输出指令已被应用于时间轴，程序将会同时删除时间轴上的所有关联指令，是否继续？"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
        for (int command : commands) cfg().removeLayerIO(command, true);
    }
    // The project changed whether or not the output was used on the time axis.
    if (cfg().eraseOutControl(id)) cfg().setSaved(false);
    m_table->removeRow(row);
}

void OutControlList::clearItems() {
    m_table->clearContents();
    m_table->setRowCount(0);
}
