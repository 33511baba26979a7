// The block of one play, pause or jump control on its layer strip: moved
// along the row with the mouse, carried to another row by drag and drop,
// edited by double-click or its menu, deleted with Delete.
#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>
#include <optional>

class LayerPanel;
class QMimeData;

class LayerPlayControl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 11;
    static constexpr int kHeight = 10;
    static constexpr int kTop = 15;
    // Vertical travel that turns a move into a drag to another row.
    static constexpr int kDragThreshold = 40;

    // A control never placed takes the play position.
    LayerPlayControl(int controlId, LayerPanel* panel);
    ~LayerPlayControl() override;

    int controlId() const { return m_controlId; }
    int type() const { return m_type; }
    void updateGeometry();
    // Places the guide line; whether it lies in the visible time area.
    bool placeGuide();
    QWidget* guide() const { return m_guide; }

    // The times the block may not pass: after the previous control's block,
    // before the next control (ms); no upper limit when there is none.
    struct Limits {
        int min = 0;
        std::optional<int> max;
    };
    Limits neighbourLimits() const;

    // Runs the drag to another row (QDrag by default; tests record it).
    using DragStarter = std::function<void(LayerPlayControl* block, QMimeData* data)>;
    static void setDragStarter(DragStarter starter);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void startDrag();
    void openDialog();
    void deleteControl();
    bool isRowLocked() const;

    int m_controlId;
    LayerPanel* m_panel;
    int m_type = 0;
    int m_pressX = 0;
    bool m_dragging = false;
    bool m_moved = false;
    QWidget* m_guide = nullptr;
    QPoint m_pressPos;
    int m_nudgeStep = -1;
};
