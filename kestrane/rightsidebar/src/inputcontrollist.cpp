#include "kestrane/inputcontrollist.h"

#include <QComboBox>
#include <QIcon>
#include <QPushButton>
#include <QTableWidget>

#include "controllistparts.h"
#include "kestrane/gconfig.h"
#include "kestrane/inputdialogs.h"

InputControlList::InputControlList(QWidget* parent) : QWidget(parent) {
    for (const char* kind : {"添加输入", "普通输入", "MIDI控制器", "MIDI音符", "DMX-512"})
        m_kinds << QString::fromUtf8(kind);
    initUi();
}

void InputControlList::initUi() {
    m_table = new QTableWidget(this);
    const auto parts = kestrane::controllist::build(this, m_table, m_kinds);
    m_combo = parts.combo;
    m_delete = parts.deleteButton;
    connect(m_combo, QOverload<int>::of(&QComboBox::activated), this, &InputControlList::addItem);
    connect(m_delete, &QPushButton::clicked, this, &InputControlList::delItem);
}

void InputControlList::addItem(int typeIndex) {
    GConfig::instance().pausePlayback();
    m_combo->setCurrentIndex(0);
    if (typeIndex == 1) {
        QVariantMap values;
        DCommonInput dialog(&values, this);
        if (dialog.exec() != QDialog::Accepted) return;
        const QString name = values.value(QStringLiteral("name")).toString();
        const QString kind = m_kinds.value(1);
        m_table->insertRow(0);
        auto* first = new QTableWidgetItem(QIcon(QStringLiteral(":/images/out_common.png")), name);
        first->setToolTip(name);
        m_table->setItem(0, 0, first);
        auto* second = new QTableWidgetItem(kind);
        second->setToolTip(kind);
        m_table->setItem(0, 1, second);
        m_table->setItem(0, 2, new QTableWidgetItem(QStringLiteral("0.0000")));
    } else if (typeIndex == 3) {
        DMIDINoteInput dialog(this);
        dialog.exec();
    }
}

void InputControlList::delItem() {
    GConfig::instance().pausePlayback();
    const int row = m_table->currentRow();
    if (row >= 0) m_table->removeRow(row);
}
