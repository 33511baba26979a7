// The left-hand cell of an effect row: the effect kind, the row's eye and
// lock, the key button that adds or deletes the key at the play position,
// and the editors of the selected key under the play head. A 200 ms monitor
// keeps the button and the editors in step with the play head.
#pragma once

#include <QMutex>
#include <QWidget>

class ClickLabel;
class ColorWidget;
class EffectLayerPanel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class SpecialEffectInfoPanel : public QWidget {
    Q_OBJECT
public:
    SpecialEffectInfoPanel(int row, int kind, QWidget* parent = nullptr);

    int row() const { return m_row; }
    void setRow(int row) { m_row = row; }
    int kind() const { return m_kind; }
    static QString kindText(int kind);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isLocked() const { return m_locked; }
    void setLocked(bool locked);
    bool eyeIsHidden() const;
    void setEyeHidden(bool hidden);
    // Fills the editors from the key (or hides them); refreshOnly changes
    // only the texts of a position whose whole numbers changed.
    void showKey(bool show, int mediaId = 0, int keyId = 0, bool refreshOnly = false);
    // After a scale edit the item's top-left corner stays on the stage.
    void keepScaledMediaOnStage(int mediaId);

    QPushButton* keyButton() const { return m_keyButton; }
    ClickLabel* firstLabel() const { return m_firstLabel; }
    ClickLabel* secondLabel() const { return m_secondLabel; }
    QLineEdit* firstEditor() const { return m_firstEditor; }
    QLineEdit* secondEditor() const { return m_secondEditor; }
    QCheckBox* counterClockwiseBox() const { return m_ccwBox; }
    QPushButton* interlockButton() const { return m_interlock; }

public slots:
    void eyeClicked();
    void monitorAnchors();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildUi();
    EffectLayerPanel* strip() const;
    void setMonitoring(bool on);
    bool isMonitoring();
    void keyClicked(bool checked);
    void openEditor(ClickLabel* label, QLineEdit* editor);
    void commit(bool first);
    void counterClockwiseClicked(bool checked);
    // The unit sign after the number of a label of this kind.
    QString unitOf(bool first) const;

    int m_row;
    int m_kind;
    ColorWidget* m_eye = nullptr;
    ClickLabel* m_header = nullptr;
    QPushButton* m_lockIcon = nullptr;
    QLabel* m_kindLabel = nullptr;
    QPushButton* m_keyButton = nullptr;
    QPushButton* m_interlock = nullptr;
    ClickLabel* m_firstLabel = nullptr;
    ClickLabel* m_secondLabel = nullptr;
    QLineEdit* m_firstEditor = nullptr;
    QLineEdit* m_secondEditor = nullptr;
    QCheckBox* m_ccwBox = nullptr;
    QTimer* m_timer = nullptr;
    QMutex m_mutex;
    bool m_monitoring = true;
    bool m_selected = false;
    bool m_locked = false;
};
