// The device list page of the device tab: the device tree and a bar with
// the add-device preset box, the add-folder button and the delete button.
#pragma once

#include <QWidget>

class DeviceTree;
class QComboBox;
class QTreeWidgetItem;

class DeviceList : public QWidget {
    Q_OBJECT
public:
    static constexpr int IdRole = Qt::UserRole + 1;
    static constexpr int KindRole = Qt::UserRole + 2;

    explicit DeviceList(QWidget* parent = nullptr);
    ~DeviceList() override;

    DeviceTree* tree() const { return m_tree; }
    QComboBox* presetBox() const { return m_presetBox; }
    void updateDeviceNames();

public slots:
    // typeIndex: the activated entry of the preset box (1..11 name a preset).
    void addDevice(int typeIndex);
    void delFolderOrDevice();
    void addFolder();

private slots:
    void itemDoubleClicked(QTreeWidgetItem* item, int column);

private:
    QTreeWidgetItem* insertionPoint() const;

    DeviceTree* m_tree = nullptr;
    QComboBox* m_presetBox = nullptr;
};
