// Colour correction of one display output at a time: colour ratios, 17-step
// colour curves and the edge-blend exponents, each edit stored in the device
// record and sent to its server at once. The servers show test screens while
// the dialog is open. On the left, a small map of the stage picks the device.
#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QFrame;
class QGraphicsScene;
class QGraphicsView;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSlider;
class ClickLabel;
class CurveWidget;
class DeviceItemForCorrection;
class RadiusBackgroundWidget;
class WheelLineEdit;

class ColorCorrection : public QDialog {
    Q_OBJECT
public:
    ColorCorrection(int deviceId, QWidget* parent = nullptr);
    ~ColorCorrection() override;

    // ---- Pure helpers
    // Up to 6 significant digits, ".0" added when there is no point.
    static QString formatPercent(double x);
    // The step of the 17-step bar under x, 0..16.
    static int levelIndexAt(int x);
    // The input level that step k (0..16) stands for.
    static int nominalLevel(int k);
    // The test colour (0x00BBGGRR) of step k on the ramp "white", "red", "green" or "blue".
    static uint32_t stepColor(const QString& ramp, int k);
    // The middle one of three.
    static int median(int a, int b, int c);
    // Scroll offset that centres [pos, pos + size] (stage pixels) in a view
    // of viewSize pixels over a stage of stageSize at that zoom, kept in range.
    static int centerOffset(double pos, int size, double zoom, int viewSize, double stageSize);

    // ---- Editing
    void setRatio(int channel, const QString& text);
    void setCurveLevel(int channel, const QString& text);
    void setEdgeEliminate(int channel, const QString& text);
    void ratioSliderMoved(int channel, int v);
    void levelSliderMoved(int channel, int v);
    void edgeSliderMoved(int channel, int v);
    void chooseOutputTestColor(int i);
    void chooseBlendTestColor(int i);
    void linkRatios(bool checked);
    void linkLevels(bool checked);
    void linkEdges(bool checked);
    void showColorPage();
    void showBlendColorPage();
    void notifyColorPage(bool on);
    void notifyBlendColorPage(bool on);
    void setStepCorrection(bool checked);
    void selectLevel(int k);
    void showLevelValues(int k);
    int markedStep() const;
    void loadDevice();

    // ---- Device view
    void initView();
    void initScrollPanel();
    void updateScrollRange();
    void populateDevices();
    void centerOnDevice(int deviceId);
    void selectDevice(DeviceItemForCorrection* tile);

    int deviceId() const { return m_deviceId; }
    double zoom() const { return m_zoom; }
    double stageWidth() const { return m_stageWidth; }
    double stageHeight() const { return m_stageHeight; }
    QGraphicsScene* scene() const { return m_scene; }
    uint32_t outputTestColor() const { return m_outputTestColor; }
    uint32_t blendTestColor() const { return m_blendTestColor; }

    // The widgets, for the form's users.
    struct Form {
        RadiusBackgroundWidget* topPanel = nullptr;
        QLabel* label_2 = nullptr;
        QPushButton* close = nullptr;
        QPushButton* outputColor = nullptr;
        QPushButton* edgeEliminate = nullptr;
        QPushButton* pushButton_3 = nullptr;
        QGroupBox* contentGroup = nullptr;
        QPushButton* cancel = nullptr;
        QGraphicsView* graphicsView = nullptr;
        QWidget* horizontalScrollPanel = nullptr;
        QWidget* outputPage = nullptr;
        QWidget* blendPage = nullptr;
        QPushButton* outputTest[4] = {};
        QPushButton* blendTest[4] = {};
        QSlider* ratioSlider[3] = {};
        QSlider* levelSlider[3] = {};
        QSlider* edgeSlider[3] = {};
        WheelLineEdit* ratioEdit[4] = {};
        WheelLineEdit* levelEdit[4] = {};
        WheelLineEdit* edgeEdit[4] = {};
        QPushButton* ratioReset[4] = {};
        QPushButton* levelReset[4] = {};
        QPushButton* edgeReset[4] = {};
        QCheckBox* ratioLink = nullptr;
        QCheckBox* levelLink = nullptr;
        QCheckBox* edgeLink = nullptr;
        QPushButton* stepSwitch = nullptr;
        ClickLabel* stepBar = nullptr;
        CurveWidget* curve = nullptr;
        QComboBox* stageComboBox = nullptr;
        QScrollBar* stageHorizontalScrollbar = nullptr;
    };
    const Form& form() const { return m_form; }

public slots:
    void changeStageScale(int index);
    void slotGradualBtClicked(QPoint p);
    void editWheelRolled(bool down);

private:
    void setupUi();
    void buildOutputColorPage();
    void buildBlendColorPage();
    void initValues();
    // Fills the edits of every row from the current record, one row per
    // event-loop pass; `white` is the ratio section's reference-white value.
    void fillRows(double white);
    void setRowEnabled(QSlider* const sliders[3], WheelLineEdit* const edits[4], int only);
    void deferText(WheelLineEdit* edit, const QString& text);

    Form m_form;
    double m_stageWidth = 30000.0;
    double m_stageHeight = 17000.0;
    QGraphicsScene* m_scene = nullptr;
    double m_zoom = 0.125;
    QList<QPair<double, QString>> m_zoomList;
    int m_deviceId = 0;
    uint32_t m_outputTestColor = 0xFFFFFF;
    uint32_t m_blendTestColor = 0xFFFFFF;
};
