// The geometry-correction dialog: the warp view of one device, the list of
// all devices to switch between, the correction-point mode and mirror
// controls, the angle editor with its presets, the background picture, a
// reset and a full-screen switch. Every edit is stored and sent at once;
// while the dialog exists every display server shows its correction screen.
#pragma once

#include <QDialog>

class NativeWidget;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class RadiusBackgroundWidget;
class WheelLineEdit;

class GeometryCorrection : public QDialog {
    Q_OBJECT
public:
    // The dialog's widgets, by their object names.
    struct Ui {
        RadiusBackgroundWidget* topPanel = nullptr;
        QLabel* label_2 = nullptr;
        QPushButton* close = nullptr;
        QWidget* widget_2 = nullptr;
        NativeWidget* nativeWidget = nullptr;
        QWidget* widget_5 = nullptr;
        QPushButton* setFullscreen = nullptr;
        QWidget* rightWidget = nullptr;
        QLabel* label_3 = nullptr;
        QListWidget* listWidget = nullptr;
        QGroupBox* groupBox = nullptr;
        QLabel* label = nullptr;
        QPushButton* enableBackgroundImage = nullptr;
        QLineEdit* picPath = nullptr;
        QPushButton* addImage = nullptr;
        QGroupBox* groupBox_2 = nullptr;
        QRadioButton* fourPoint = nullptr;
        QRadioButton* ninePoint = nullptr;
        QRadioButton* randomPoint = nullptr;
        QRadioButton* wholePoint = nullptr;
        QFrame* line = nullptr;
        QCheckBox* leftRightImage = nullptr;
        QCheckBox* upDownImage = nullptr;
        QGroupBox* groupBox_3 = nullptr;
        QLabel* label_4 = nullptr;
        QSpinBox* colNum = nullptr;
        QLabel* label_5 = nullptr;
        QSpinBox* colNum_2 = nullptr;
        QGroupBox* groupBox_4 = nullptr;
        QLabel* label_6 = nullptr;
        WheelLineEdit* angle = nullptr;
        QPushButton* angleA = nullptr;
        QPushButton* angleB = nullptr;
        QPushButton* angleC = nullptr;
        QPushButton* angleD = nullptr;
        QPushButton* reset = nullptr;
        QPushButton* cancel = nullptr;
    };

    GeometryCorrection(int deviceId, QWidget* parent = nullptr);
    ~GeometryCorrection() override;

    // A key typed anywhere in the dialog, handed on by the console's key
    // filter: to the warp view.
    void handleKey(int key);

    int deviceId() const { return m_deviceId; }
    const Ui& widgets() const { return *ui; }
    // Item data role of each device-list item's device id.
    int deviceIdRole() const { return m_deviceIdRole; }

public slots:
    void addImage();
    void angleChanged();
    void changeRadioPoint();
    void changeCheckBoxPoint();
    void resetCorrection();
    void angleWheelRolled(bool down);
    void slotFullscreen();

    // Whether the display servers have been told of the opened dialog (they
    // are once it shows, or before a picture of the operator's goes out).
    bool serversNotified() const { return m_serversNotified; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setupUi();
    void retranslateUi();
    void fillDeviceList();
    void loadDeviceControls();
    void notifyAllDevices(bool open);
    // The mode of the first checked radio (four, nine, any, whole); -1: none.
    int checkedMode() const;
    int mirrorFlagsFromBoxes() const;

    Ui* ui = nullptr;
    // The servers' part of opening: the default picture and the correction
    // screens on. It waits on every server's reply, so it runs once the
    // dialog is drawn, under a busy cursor, not before the dialog appears.
    void notifyServersOfOpening();
    void notifyServersWhenDrawn(int triesLeft);

    int m_deviceId = 0;
    bool m_serversNotified = false;
    QString m_defaultPicture;
    int m_deviceIdRole = Qt::UserRole + 1;
};
