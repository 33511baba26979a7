// The bar of one media's key frames of one effect kind on an effect row,
// and the anchors on it, one per key. Both are views of the keys in the
// media record and write every change back at once.
#pragma once

#include <QList>
#include <QWidget>

class EffectAnchor;
class EffectLayerPanel;

class LayerSpecialEffect : public QWidget {
    Q_OBJECT
public:
    LayerSpecialEffect(int mediaId, int kind, EffectLayerPanel* parent);

    int mediaId() const { return m_mediaId; }
    int kind() const { return m_kind; }
    EffectLayerPanel* panel() const { return m_panel; }
    QList<EffectAnchor*> anchors() const { return m_anchors; }
    void relayout();
    // A new key at the play position (values: a position's x and y).
    EffectAnchor* addAnchor(const QList<double>* values = nullptr);
    EffectAnchor* addAnchorForKey(int keyId);
    // Erases the selected anchors' keys and their anchors; the bar goes
    // with its last anchor.
    void removeSelectedAnchors();
    bool isRowLocked() const;
    // The table row of this bar's effect row; -1 when the media is gone.
    int effectRow() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    int m_mediaId;
    EffectLayerPanel* m_panel;
    QList<EffectAnchor*> m_anchors;
    int m_kind;
};

class EffectAnchor : public QWidget {
    Q_OBJECT
public:
    // timeMs -1 with no values: the time is the stored key's.
    EffectAnchor(int keyId, LayerSpecialEffect* bar, const QList<double>* values, int timeMs);

    int time() const { return m_time; }
    int keyId() const { return m_keyId; }
    bool isSelected() const { return m_selected; }
    LayerSpecialEffect* bar() const { return m_bar; }
    void placeOnAxis();
    void setSelected(bool selected);
    // Clears the selection of every other bar and, unless additive, of the
    // rest of this bar.
    void selectOnly(bool additive);
    // Moves the bar's selected anchors by dx, kept within the media; the
    // dx applied.
    int moveSelectedBy(int dx);
    void setX(int x);
    void setKeyDisabled(bool disabled);
    bool isRowLocked() const { return m_bar->isRowLocked(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    LayerSpecialEffect* m_bar;
    int m_pressX = 0;
    bool m_dragging = false;
    int m_time = -1;
    bool m_selected = false;
    int m_keyId;
};
