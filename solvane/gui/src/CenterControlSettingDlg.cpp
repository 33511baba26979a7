#include "gui/CenterControlSettingDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "GuiUtil.h"
#include "core/MediaManager.h"
#include "util/Util.h"

namespace {

// The list's order (none, even, odd, mark, space) mapped onto the serial
// layer's parity codes, so that the line runs with the parity the operator
// picked.
constexpr int kParityCodes[] = {0, 2, 1, 3, 4};

int AtoiOf(const QString& text) { return std::atoi(text.toUtf8().constData()); }

}  // namespace

int CCenterControlSettingDlg::ParityCodeOfIndex(int index) {
    return index >= 0 && index < 5 ? kParityCodes[index] : -1;
}

int CCenterControlSettingDlg::ParityIndexOfCode(int code) {
    for (int i = 0; i < 5; ++i)
        if (kParityCodes[i] == code) return i;
    return -1;
}

CCenterControlSettingDlg::CCenterControlSettingDlg(CMediaManager& core, DialogServices services, QWidget* parent)
    : QDialog(parent), m_core(core), m_services(std::move(services)) {
    setWindowTitle(QStringLiteral("中控配置"));
    setWindowIcon(ServerIcon());

    m_enable = new QCheckBox(QStringLiteral("启用中控"), this);
    m_port = new QComboBox(this);
    m_baud = new QComboBox(this);
    m_dataBits = new QComboBox(this);
    m_stopBits = new QComboBox(this);
    m_parity = new QComboBox(this);
    m_status = new QLabel(this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CCenterControlSettingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("串口号："), m_port);
    form->addRow(QStringLiteral("波特率："), m_baud);
    form->addRow(QStringLiteral("数据位："), m_dataBits);
    form->addRow(QStringLiteral("停止位："), m_stopBits);
    form->addRow(QStringLiteral("奇偶校验："), m_parity);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enable);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    SerialPortSettings current;
    {
        CoreSettingsLock lock(m_core);
        current = m_core.Central().Settings();
    }

    FillPortList(m_port);
    int portIndex = m_port->findText(QString::asprintf("COM%d", current.port));
    if (portIndex < 0 && current.port > 0) {
        // A port that is absent now (an adapter unplugged) stays the choice
        // until the operator picks another one.
        m_port->addItem(QString::asprintf("COM%d", current.port));
        portIndex = m_port->count() - 1;
    }
    m_port->setCurrentIndex(portIndex);

    for (int baud : {9600, 19200, 57600, 115200, 256000}) m_baud->addItem(QString::asprintf("%d", baud));
    int baudIndex = m_baud->findText(QString::asprintf("%d", current.baud));
    if (baudIndex < 0) {
        m_baud->addItem(QString::asprintf("%d", current.baud));
        baudIndex = m_baud->count() - 1;
    }
    m_baud->setCurrentIndex(baudIndex);

    m_dataBits->addItems({QStringLiteral("8"), QStringLiteral("7")});
    m_dataBits->setCurrentIndex(current.dataBits == 7 || current.dataBits == 8 ? 8 - current.dataBits : -1);

    m_enable->setChecked(current.enable != 0);

    m_parity->addItems({QStringLiteral("无校验"), QStringLiteral("偶校验"), QStringLiteral("奇校验"),
                        QStringLiteral("MARK校验"), QStringLiteral("SPACE校验")});
    m_parity->setCurrentIndex(ParityIndexOfCode(current.parity));

    m_stopBits->addItems({QStringLiteral("1位"), QStringLiteral("1.5位"), QStringLiteral("2位")});
    m_stopBits->setCurrentIndex(current.stopBits >= 0 && current.stopBits <= 2 ? current.stopBits : -1);

    const bool open = m_services.centralControlOpen && m_services.centralControlOpen();
    m_status->setText(open ? QStringLiteral("当前状态：中控监控中...") : QStringLiteral("当前状态：中控未启动"));
}

void CCenterControlSettingDlg::FillPortList(QComboBox* combo) {
    if (!combo || !m_services.serialPorts) return;
    for (int number : m_services.serialPorts()) combo->addItem(QString::asprintf("COM%d", number));
}

QMessageBox* CCenterControlSettingDlg::OpenMessage() const { return m_message; }

void CCenterControlSettingDlg::Refuse(const QString& text, QWidget* field) {
    if (field) field->setFocus();
    m_message = OpenMessageBox(this, QMessageBox::Critical, QStringLiteral("配置错误"), text, QMessageBox::Ok);
}

void CCenterControlSettingDlg::accept() {
    SerialPortSettings chosen;
    chosen.port = AtoiOf(m_port->currentText().mid(3));
    if (chosen.port <= 0) {
        Refuse(QStringLiteral("串口号设置错误！"), m_port);
        return;
    }
    chosen.baud = AtoiOf(m_baud->currentText());
    if (chosen.baud <= 0) {
        Refuse(QStringLiteral("波特率设置错误！"), m_baud);
        return;
    }
    const int dataIndex = m_dataBits->currentIndex();
    if (dataIndex != 0 && dataIndex != 1) {
        Refuse(QStringLiteral("数据位设置错误！"), m_dataBits);
        return;
    }
    chosen.dataBits = 8 - dataIndex;
    const int stopIndex = m_stopBits->currentIndex();
    if (stopIndex < 0 || stopIndex > 2) {
        Refuse(QStringLiteral("停止位设置错误！"), m_stopBits);
        return;
    }
    chosen.stopBits = stopIndex;
    const int parityIndex = m_parity->currentIndex();
    if (parityIndex < 0 || parityIndex > 3) {
        Refuse(QStringLiteral("奇偶位设置错误！"), m_parity);
        return;
    }
    chosen.parity = ParityCodeOfIndex(parityIndex);
    chosen.enable = m_enable->isChecked() ? 1 : 0;

    SerialPortSettings previous;
    {
        CoreSettingsLock lock(m_core);
        previous = m_core.Central().Settings();
        m_core.Central().SetSettings(chosen);
    }

    auto store = [this] {
        {
            CoreSettingsLock lock(m_core);
            m_core.Central().SaveSettings();
        }
        QDialog::accept();
    };

    if (!chosen.enable) {
        // Switched off: the port stops serving commands now, not only after
        // the next start of the server.
        if (m_services.centralControlOpen && m_services.centralControlOpen() && m_services.stopCentralControl)
            m_services.stopCentralControl();
        store();
        return;
    }

    const bool wasOpen = m_services.centralControlOpen && m_services.centralControlOpen();
    // Opening the port stops its receive thread, whose commands take the
    // command lock: no lock is held here.
    const int32_t error = m_core.Central().Start();
    if (error == 0) {
        store();
        return;
    }
    LOGTEXT::LogDebug("start serial failed.port=%d,baud=%d,databit=%d,stopbits=%d,pairty=%d", chosen.port,
                      chosen.baud, chosen.dataBits, chosen.stopBits, chosen.parity);
    m_message = OpenMessageBox(
        this, QMessageBox::Warning, QStringLiteral("中控启动失败"),
        QStringLiteral("启动中控失败，可能串口参数配置错误。\n是否仍然使用此次配置参数?"),
        QMessageBox::Yes | QMessageBox::No, [this, previous, wasOpen, store](QMessageBox::StandardButton b) {
            if (b == QMessageBox::Yes) {
                store();
                return;
            }
            // Nothing is kept: the previous settings come back, and so does
            // the port they had open.
            {
                CoreSettingsLock lock(m_core);
                m_core.Central().SetSettings(previous);
            }
            if (wasOpen && m_core.Central().Start() != 0)
                LOGTEXT::LogDebug("central control could not be reopened with port=%d", previous.port);
        });
}
