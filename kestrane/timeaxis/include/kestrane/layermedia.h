// One media item on a layer strip: selected, moved in time, trimmed at
// either end, dragged to another row, deleted. A group's strip holds one
// placeholder bar (media id 0) that spans the media of the group's layers.
#pragma once

#include <QPointer>
#include <QWidget>

class LayerPanel;

class LayerMedia : public QWidget {
    Q_OBJECT
public:
    LayerMedia(int mediaId, LayerPanel* strip);
    ~LayerMedia() override;

    int mediaId() const { return m_mediaId; }
    LayerPanel* strip() const { return m_strip; }
    // Geometry from the record; a placeholder spans the group's layers.
    void updateGeometry();
    void setSelected(bool selected);
    bool showsSelected() const { return m_selectedLook; }
    int start() const;
    int duration() const;
    // ms limits among the other bars of the strip (high < 0: none).
    void neighbourLimits(int* low, int* high) const;
    bool placeGuide();
    QWidget* guide() const { return m_guide; }
    int dragMode() const { return m_dragMode; }

    static void selectOnly(int mediaId);
    // Deletes every selected media (the context menu's "删除").
    static void deleteSelected();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void startDrag(int mediaId, const QPoint& point);
    void nudgeCursor();
    bool rowLocked() const;
    void relayoutEffects();
    void showContextMenu();

    int m_dragMode = 2;
    int m_pressX = 0;
    int m_pressWidth = 0;
    int m_minWidth = 10;
    int m_mediaId;
    QPoint m_pressPos;
    int m_dragOutDistance = 40;
    bool m_pressed = false;
    int m_edgeWidth = 4;
    int m_margin = 7;
    LayerPanel* m_strip;
    int m_pressRight = 0;
    bool m_moved = false;
    bool m_selectedLook = false;
    QPointer<QWidget> m_guide;
    int m_guideTop = 18;
    int m_guideWidth = 1;
    int m_axisOrigin = 299;
    int m_nudge = -1;
    bool m_dragged = false;
};
