// The dialogs of string outputs: DStringOut makes or edits an output control
// (a serial port or a TCP/UDP peer), DTimeAxisStringOut edits one output
// command placed on the time axis (its name, time and text).
#pragma once

#include <QDialog>
#include <QVariantMap>

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTextEdit;

class DStringOut : public QDialog {
    Q_OBJECT
public:
    // controlId 0 makes a new control, else edits that record's values. On
    // accept *result gets "name" and "type", then for a serial port "id"
    // (display device, 0 none), "com", "baud", "parity", for a network port
    // "ip", "port", "isTcp". The caller stores them.
    DStringOut(QVariantMap* result, int controlId, QWidget* parent = nullptr);

public slots:
    void accept() override;

private slots:
    void slotChangeType(int index);

private:
    void initWidgets();
    void loadRecord();
    void refuse(QLineEdit* field, const char* text, bool select);

    QVariantMap* m_result;
    int m_controlId;
    QLineEdit* m_name = nullptr;
    QComboBox* m_showType = nullptr;
    QComboBox* m_deviceName = nullptr;
    QComboBox* m_com = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_parity = nullptr;
    QLineEdit* m_ip = nullptr;
    QLineEdit* m_port = nullptr;
    QRadioButton* m_tcp = nullptr;
    QRadioButton* m_udp = nullptr;
    QList<QWidget*> m_serialGroup;
    QList<QWidget*> m_networkGroup;
};

class DTimeAxisStringOut : public QDialog {
    Q_OBJECT
public:
    DTimeAxisStringOut(int layerIoId, QWidget* parent = nullptr);

public slots:
    void accept() override;

private:
    void loadRecord();
    void refuse(QLineEdit* field, const char* text);

    int m_id;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_time = nullptr;
    QTextEdit* m_data = nullptr;
};
