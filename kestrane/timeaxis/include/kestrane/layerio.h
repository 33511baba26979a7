// The block of one timeline output command on its layer strip: selected,
// moved and resized with the mouse, carried to another row by drag and
// drop, edited by double click or its menu, deleted with Delete. The record
// changes only when a move ends.
#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

class QMimeData;

class LayerIO : public QWidget {
    Q_OBJECT
public:
    // String outputs are this wide whatever their length.
    static constexpr int kStringOutputWidth = 100;
    // Width of the resize zone at each edge.
    static constexpr int kEdgeZone = 4;
    static constexpr int kMinWidth = 10;
    // Vertical travel that turns a pressed move into a drag to another row.
    static constexpr int kDragThreshold = 40;

    LayerIO(int id, QWidget* panel);

    int id() const { return m_id; }
    int kind() const { return m_kind; }
    // 0 resizing at the left edge, 1 at the right edge, 2 idle, 3 moving.
    int mode() const { return m_mode; }
    // Geometry from the record: at its time, as wide as its length.
    void refreshGeometry();
    // The stretch of the row (ms) a move may use: between the neighbouring
    // commands of the row; the whole row for a string output.
    void freeInterval(int& left, int& right) const;
    void startDrag(int id);

    // Runs the drag to another row (QDrag by default; tests record it).
    using DragStarter = std::function<void(LayerIO* block, QMimeData* data)>;
    static void setDragStarter(DragStarter starter);
    // Opens the editor of a string-output command; true when accepted. The
    // command's dialog unless set; nullptr brings the dialog back.
    using Editor = std::function<bool(int id, QWidget* parent)>;
    static void setEditor(Editor editor);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool isRowLocked() const;
    void openEditor();
    void removeLater();

    int m_mode = 2;
    int m_id;
    QWidget* m_panel;
    int m_kind = 0;
    QString m_normalStyle;
    QString m_focusStyle;
    int m_pressX = 0;
    int m_widthAtPress = 0;
    bool m_pressed = false;
    bool m_moved = false;
    QPoint m_pressPos;
    int m_nudgeStep = -1;
};
