// The dialog that describes a new display device: name, server address,
// output channel and resolution. It fills the caller's record on acceptance
// and remembers the entries for the next time.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <memory>

class CClientSession;
class QComboBox;
class QLineEdit;
class QPushButton;
struct DeviceRecord;

struct ResolutionPreset {
    QString label;
    int width = 0;  // 0: the custom entry
    int height = 0;
};

namespace kestrane {
// The presets in the order of the resolution box.
QList<ResolutionPreset> resolutionPresetTable();
// A whole dotted quad of numbers 0..255.
bool isDottedQuad(const QString& ip);
// The number of an entry field: its trimmed text as a decimal integer, 0
// when it does not read as one.
int fieldNumber(const QString& text);
}  // namespace kestrane

class AddDeviceDialog : public QDialog {
    Q_OBJECT
public:
    // presetIndex -1 keeps the remembered preset, 0..10 selects that entry.
    AddDeviceDialog(DeviceRecord* record, int presetIndex, QWidget* parent = nullptr);
    ~AddDeviceDialog() override;

    // "显示N" with N one above the largest number in the existing names.
    static QString defaultDeviceName();

public slots:
    void comboBoxChanged(int index);
    void accept() override;
    void testDevice();

private:
    void initFields();
    // The server check on the fields; shows its message and answers false
    // when the output cannot be used.
    bool serverCheck(const QString& title);

    QList<ResolutionPreset> m_presets;
    DeviceRecord* m_record;
    std::unique_ptr<CClientSession> m_session;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_ip = nullptr;
    QLineEdit* m_output = nullptr;
    QPushButton* m_test = nullptr;
    QComboBox* m_resolution = nullptr;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_height = nullptr;
};
