// The property panel of one display device in the device tab: name, server
// address, output channel, resolution and stage position. An edit is
// checked as a whole and written into the device record.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

class DeviceAttribute : public QWidget {
    Q_OBJECT
public:
    explicit DeviceAttribute(QWidget* parent = nullptr);
    ~DeviceAttribute() override;

    // 0: the empty panel, which forgets the device it showed.
    void showDevice(int id);
    void clearInfo();
    void setFieldsEnabled(bool enabled);
    int shownId() const { return m_id; }
    // The connection state as shown: "在线 " or "离线 ".
    QString stateText() const;

public slots:
    void editFinished();

private:
    void setupUi();
    QList<QLineEdit*> fields() const;
    void couple();
    int recordWidth() const;
    int recordHeight() const;
    void warn(const QString& text, const QString& title = QString());
    // The connection state of the shown device, as the stage shows it.
    void showState();

    int m_id = 0;
    bool m_checking = false;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_ip = nullptr;
    QLineEdit* m_output = nullptr;
    QLineEdit* m_deviceWidth = nullptr;
    QLineEdit* m_deviceHeight = nullptr;
    QLineEdit* m_stageWidth = nullptr;
    QLineEdit* m_stageHeight = nullptr;
    QLineEdit* m_stageX = nullptr;
    QLineEdit* m_stageY = nullptr;
    QLineEdit* m_centerX = nullptr;
    QLineEdit* m_centerY = nullptr;
    QPushButton* m_rotate = nullptr;
    QLabel* m_state = nullptr;
};
