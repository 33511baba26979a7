// The left-hand cell of an effect row: the effect kind, the row's eye and
// lock, and its selected look.
#pragma once

#include <QWidget>

class ClickLabel;
class ColorWidget;
class QLabel;
class QPushButton;

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

public slots:
    void eyeClicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_row;
    int m_kind;
    ColorWidget* m_eye = nullptr;
    ClickLabel* m_header = nullptr;
    QPushButton* m_lockIcon = nullptr;
    QLabel* m_kindLabel = nullptr;
    bool m_selected = false;
    bool m_locked = false;
};
