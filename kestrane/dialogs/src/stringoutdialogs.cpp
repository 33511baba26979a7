#include "kestrane/stringoutdialogs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "kestrane/gconfig.h"
#include "kestrane/prompt.h"
#include "kestrane/scrollbar.h"
#include "kestrane/utils.h"

namespace {

GConfig& cfg() { return GConfig::instance(); }
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QDialogButtonBox* addButtons(QDialog* dialog) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->setObjectName(QStringLiteral("buttonBox"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(u(text), parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

// Shows the row at index 0 of a combo box, but not in its drop-down.
void hideFirstRow(QComboBox* box) {
    if (auto* view = qobject_cast<QListView*>(box->view())) view->setRowHidden(0, true);
}

}  // namespace

// ---------------------------------------------------------------------------

DStringOut::DStringOut(QVariantMap* result, int controlId, QWidget* parent)
    : QDialog(parent), m_result(result), m_controlId(controlId) {
    setObjectName(QStringLiteral("DStringOut"));
    setWindowTitle(u("添加字符串输出"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    m_name = named(new QLineEdit(this), "name");
    m_name->setPlaceholderText(u("请填写输出名称"));
    grid->addWidget(makeLabel(this, "label", "输出端口名称："), 0, 0);
    grid->addWidget(m_name, 0, 1);

    m_showType = named(new QComboBox(this), "showType");
    m_showType->addItems({u("显示电脑串口端口"), u("网络端口TCP或UDP")});
    grid->addWidget(makeLabel(this, "label_2", ""), 1, 0);
    grid->addWidget(m_showType, 1, 1);

    m_deviceName = named(new QComboBox(this), "deviceName");
    m_com = named(new QComboBox(this), "com");
    for (int i = 1; i <= 11; ++i) m_com->addItem(QStringLiteral("COM%1").arg(i));
    m_baud = named(new QComboBox(this), "baud");
    m_baud->addItems({"300", "600", "1200", "4800", "9600", "19200", "38400", "115200"});
    m_baud->setCurrentIndex(4);
    m_parity = named(new QComboBox(this), "parity");
    m_parity->addItems({u("无"), QStringLiteral("Odd"), QStringLiteral("Even")});
    const struct {
        const char* label;
        const char* text;
        QWidget* field;
    } serialRows[] = {{"lDeviceName", "设备名称：", m_deviceName},
                      {"lCom", "端口号：", m_com},
                      {"lBaud", "波特率：", m_baud},
                      {"lEvenOdd", "奇偶校验：", m_parity}};
    int row = 2;
    for (const auto& r : serialRows) {
        QLabel* label = makeLabel(this, r.label, r.text);
        grid->addWidget(label, row, 0);
        grid->addWidget(r.field, row++, 1);
        m_serialGroup << label << r.field;
    }

    m_ip = named(new QLineEdit(this), "ip");
    m_port = named(new QLineEdit(this), "port");
    auto* protocol = new QWidget(this);
    auto* h = new QHBoxLayout(protocol);
    h->setObjectName(QStringLiteral("horizontalLayout"));
    h->setContentsMargins(0, 0, 0, 0);
    m_tcp = named(new QRadioButton(QStringLiteral("TCP"), protocol), "tcp");
    m_udp = named(new QRadioButton(QStringLiteral("UDP"), protocol), "udp");
    m_tcp->setChecked(true);
    h->addWidget(m_tcp);
    h->addWidget(m_udp);
    const struct {
        const char* label;
        const char* text;
        QWidget* field;
    } networkRows[] = {{"lIP", "网络地址：", m_ip}, {"lPort", "IP端口号：", m_port}, {"lProtocol", "协议：", protocol}};
    for (const auto& r : networkRows) {
        QLabel* label = makeLabel(this, r.label, r.text);
        grid->addWidget(label, row, 0);
        grid->addWidget(r.field, row++, 1);
        m_networkGroup << label << r.field;
    }
    layout->addWidget(addButtons(this));
    initWidgets();
    if (m_controlId >= 1) loadRecord();
}

void DStringOut::initWidgets() {
    for (QWidget* w : m_networkGroup) w->hide();
    for (QComboBox* box : {m_deviceName, m_com, m_baud})
        box->view()->setVerticalScrollBar(new ScrollBar(Qt::Vertical, box->view()));
    // A port the system can use; a 0 or anything above 65535 would fail at
    // every firing.
    m_port->setValidator(new QIntValidator(1, 65535, m_port));
    m_deviceName->addItem(QStringLiteral("-None Selected-"), 0);
    for (int id : cfg().deviceIds()) m_deviceName->addItem(cfg().devices().value(id).name, id);
    hideFirstRow(m_deviceName);
    connect(m_showType, QOverload<int>::of(&QComboBox::activated), this, &DStringOut::slotChangeType);
    setFixedSize(280, 220);
}

void DStringOut::loadRecord() {
    const OutControlRecord* r = cfg().findOutControl(m_controlId);
    if (!r) return;
    m_name->setText(r->name);
    // Both groups are filled: the fields of the other kind stay in the record.
    const int device = m_deviceName->findData(r->deviceId);
    m_deviceName->setCurrentIndex(device < 0 ? 0 : device);  // a removed device: none
    if (r->com >= 1 && r->com <= m_com->count()) m_com->setCurrentIndex(r->com - 1);
    const int baud = m_baud->findText(QString::number(r->baud));
    if (baud >= 0) m_baud->setCurrentIndex(baud);
    if (r->parity >= 0 && r->parity < m_parity->count()) m_parity->setCurrentIndex(r->parity);
    m_ip->setText(r->ip);
    m_port->setText(QString::number(r->port));
    (r->isTcp ? m_tcp : m_udp)->setChecked(true);
    if (r->type != 0) {
        m_showType->setCurrentIndex(1);
        slotChangeType(1);
    }
}

void DStringOut::slotChangeType(int index) {
    for (QWidget* w : m_serialGroup) w->setVisible(index == 0);
    for (QWidget* w : m_networkGroup) w->setVisible(index != 0);
}

void DStringOut::refuse(QLineEdit* field, const char* text, bool select) {
    kestrane::prompt::warning(this, u("填写错误"), u(text));
    field->setFocus();
    if (select) field->selectAll();
}

void DStringOut::accept() {
    const int typeIndex = m_showType->currentIndex();
    const QString name = m_name->text().trimmed();
    if (name.isEmpty()) return refuse(m_name, "请填写输出端口名称", true);
    if (!cfg().isOutControlNameFree(m_controlId, name))
        return refuse(m_name, "填写的输出端口名称与已有的重复，请重填", true);
    QVariantMap values;
    values.insert(QStringLiteral("name"), name);
    if (typeIndex == 0) {
        values.insert(QStringLiteral("type"), 0);
        values.insert(QStringLiteral("id"), m_deviceName->currentData(Qt::UserRole).toInt());
        values.insert(QStringLiteral("com"), m_com->currentIndex() + 1);
        values.insert(QStringLiteral("baud"), m_baud->currentText().toInt());
        values.insert(QStringLiteral("parity"), m_parity->currentIndex());
    } else {
        const QString ip = m_ip->text().trimmed();
        if (ip.isEmpty()) return refuse(m_ip, "请填写网络地址", false);
        bool ok = false;
        const int port = m_port->text().trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535) return refuse(m_port, "请填写IP端口号", false);
        values.insert(QStringLiteral("type"), 1);
        values.insert(QStringLiteral("ip"), ip);
        values.insert(QStringLiteral("port"), port);
        values.insert(QStringLiteral("isTcp"), !m_udp->isChecked());
    }
    if (m_result)
        for (auto it = values.constBegin(); it != values.constEnd(); ++it) m_result->insert(it.key(), it.value());
    cfg().setSaved(false);
    QDialog::accept();
}

// ---------------------------------------------------------------------------

DTimeAxisStringOut::DTimeAxisStringOut(int layerIoId, QWidget* parent) : QDialog(parent), m_id(layerIoId) {
    setObjectName(QStringLiteral("DTimeAxisStringOut"));
    setWindowTitle(u("字符串指令"));
    auto* layout = new QVBoxLayout(this);
    auto* first = new QHBoxLayout;
    first->setObjectName(QStringLiteral("horizontalLayout"));
    m_name = named(new QLineEdit(this), "name");
    m_time = named(new QLineEdit(this), "time");
    first->addWidget(makeLabel(this, "label", "名称："));
    first->addWidget(m_name);
    first->addWidget(makeLabel(this, "label_2", "时间："));
    first->addWidget(m_time);
    layout->addLayout(first);
    auto* second = new QHBoxLayout;
    second->setObjectName(QStringLiteral("horizontalLayout_2"));
    second->addWidget(makeLabel(this, "label_3", "发送数据："));
    layout->addLayout(second);
    m_data = named(new QTextEdit(this), "data");
    // The text goes out as typed: "<PWR ON>" is no markup.
    m_data->setAcceptRichText(false);
    layout->addWidget(m_data);
    layout->addWidget(addButtons(this));
    setFixedSize(277, 160);
    loadRecord();
}

void DTimeAxisStringOut::loadRecord() {
    if (const LayerIORecord* r = cfg().findLayerIO(m_id)) {
        m_time->setText(kestrane::msToTimeTextMs(r->time));
        if (!r->name.isEmpty()) m_name->setText(r->name);
        if (!r->data.isEmpty()) m_data->setPlainText(r->data);
    }
    m_time->setInputMask(QStringLiteral("00:00:00.000;_"));
}

void DTimeAxisStringOut::refuse(QLineEdit* field, const char* text) {
    kestrane::prompt::warning(this, u("输入错误"), u(text));
    field->setFocus();
    field->selectAll();
}

void DTimeAxisStringOut::accept() {
    LayerIORecord* r = cfg().findLayerIO(m_id);
    if (!r) return QDialog::reject();  // the command went while the dialog was open
    const QString name = m_name->text().trimmed();
    const QString data = m_data->toPlainText().trimmed();
    if (!cfg().isLayerIONameFree(m_id, name)) return refuse(m_name, "您填写的名称与已有的名称重复，请重填");
    const int time = kestrane::timeTextToMs(m_time->text().trimmed());
    if (time > cfg().timeAxisLength()) return refuse(m_time, "您设置的时间超出了当前时间线的最大值，请重填");
    r->name = name;
    r->data = data;
    r->time = time;
    QDialog::accept();
    cfg().setSaved(false);
}
