// The stage panel: a title row, the zoomable and scrollable view of the
// stage scene, and a thin toolbar with the zoom combo, the horizontal
// scroll bar and the X/Y/Z bar of the selected item.
#pragma once

#include <QComboBox>
#include <QGraphicsView>
#include <QList>
#include <QPair>
#include <QWidget>

class ClickLabel;
class QLabel;
class QLineEdit;
class QScrollBar;
class Scene;

class MComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit MComboBox(QWidget* parent = nullptr);
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class StageView : public QGraphicsView {
    Q_OBJECT
public:
    explicit StageView(QWidget* parent = nullptr);
    ~StageView() override;

    Scene* stageScene() const { return m_scene; }
    // Scene rect for the zoom GConfig holds; then every item's advance.
    void updateSceneRect();
    bool isPanning() const { return m_panning; }

signals:
    void horizontalWheelChanged(int delta);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    double m_stageWidth = 100000.0;
    double m_stageHeight = 100000.0;
    Scene* m_scene = nullptr;
    int m_pressX = 0;
    int m_pressY = 0;
    bool m_panning = false;
    int m_pressH = 0;
    int m_pressV = 0;
};

class StageWidget : public QWidget {
    Q_OBJECT
public:
    explicit StageWidget(QWidget* parent = nullptr);
    ~StageWidget() override;

    StageView* view() const { return m_view; }
    Scene* scene() const;
    MComboBox* scaleCombo() const { return m_combo; }
    QScrollBar* horizontalBar() const { return m_hbar; }
    QLabel* titleLabel() const { return m_title; }
    ClickLabel* valueLabel(int axis) const { return m_values[axis]; }
    QLineEdit* valueEdit(int axis) const { return m_edits[axis]; }
    const QList<QPair<double, QString>>& scaleList() const { return m_scales; }

    void setStageScale(double zoom);
    void updateScrollRange();
    void setHorizontalScrollValue(int value);
    void setScaleIndex(int index);
    void resetScaleCombo();
    void showCustomScale(double zoom);
    void setItemInfo(int id, bool isDevice, double x, double y, double z);
    void clearItemInfo();

public slots:
    void changeStageScale(int index);
    void changeHorizontalScroll(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void beginValueEdit(int axis);
    void commitValueEdit(int axis);
    void hideLastPopupRow();
    void connectCombo();

    QList<QPair<double, QString>> m_scales;
    StageView* m_view = nullptr;
    QScrollBar* m_hbar = nullptr;
    MComboBox* m_combo = nullptr;
    QLabel* m_title = nullptr;
    ClickLabel* m_values[3] = {};
    QLineEdit* m_edits[3] = {};
};
