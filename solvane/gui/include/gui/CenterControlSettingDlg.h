// The serial central-control settings: enable, port, baud rate, data bits,
// stop bits and parity. OK checks the choices, opens the port when central
// control is enabled (asking whether to keep settings that fail to open),
// stores them in the application and saves [SerialPort].
#pragma once

#include <QDialog>
#include <QPointer>

#include "gui/DialogServices.h"

class CMediaManager;
class QCheckBox;
class QComboBox;
class QLabel;
class QMessageBox;

class CCenterControlSettingDlg : public QDialog {
public:
    CCenterControlSettingDlg(CMediaManager& core, DialogServices services, QWidget* parent = nullptr);

    void accept() override;

    // Lists the present ports as "COM%d" into combo.
    void FillPortList(QComboBox* combo);

    QCheckBox* EnableBox() const { return m_enable; }
    QComboBox* PortList() const { return m_port; }
    QComboBox* BaudList() const { return m_baud; }
    QComboBox* DataBitsList() const { return m_dataBits; }
    QComboBox* StopBitsList() const { return m_stopBits; }
    QComboBox* ParityList() const { return m_parity; }
    QLabel* StatusLabel() const { return m_status; }
    QMessageBox* OpenMessage() const;

    // The parity list shows none, even, odd, mark, space; the serial layer's
    // codes are none 0, odd 1, even 2, mark 3, space 4.
    static int ParityCodeOfIndex(int index);
    static int ParityIndexOfCode(int code);

private:
    void Refuse(const QString& text, QWidget* field);

    CMediaManager& m_core;
    DialogServices m_services;
    QCheckBox* m_enable = nullptr;
    QComboBox* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_parity = nullptr;
    QLabel* m_status = nullptr;
    QPointer<QMessageBox> m_message;
};
