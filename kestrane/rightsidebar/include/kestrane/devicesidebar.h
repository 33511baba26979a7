// The device tab: the device list and the device property panel, one at a
// time, chosen by two tab buttons.
#pragma once

#include <QList>
#include <QWidget>

class DeviceAttribute;
class DeviceList;
class QPushButton;
class QStackedWidget;

class DeviceSidebar : public QWidget {
    Q_OBJECT
public:
    explicit DeviceSidebar(QWidget* parent = nullptr);

    void showDeviceAttribute(int deviceId, bool switchPage);
    void updateDeviceNames();
    // Back to the list page with its tab checked.
    void showFirstPage();

    DeviceList* deviceList() const { return m_list; }
    DeviceAttribute* deviceAttribute() const { return m_attribute; }
    QStackedWidget* stack() const { return m_stack; }
    const QList<QPushButton*>& buttons() const { return m_buttons; }

public slots:
    void btClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void selectPage(int page);

    QList<QPushButton*> m_buttons;
    QStackedWidget* m_stack = nullptr;
    DeviceAttribute* m_attribute = nullptr;
    DeviceList* m_list = nullptr;
};
