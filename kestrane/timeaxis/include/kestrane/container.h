// The clip in column 1 of a time-axis row: it holds the row's strip, as
// wide as the whole axis, shifted left by the horizontal scroll offset.
#pragma once

#include <QWidget>

class StripContainer : public QWidget {
    Q_OBJECT
public:
    int length() const { return m_length; }
    int scrollOffset() const { return m_offset; }
    QWidget* strip() const { return m_strip; }
    QWidget* viewport() const { return m_viewport; }

    // Reparents the strip into the viewport, at offset 0.
    void setPanel(QWidget* strip);
    // The axis width in px and the scroll offset; the strip re-places its
    // blocks.
    void setLength(int length, int offset);
    void setScroll(int x);

protected:
    StripContainer(int length, int height, QWidget* parent);
    void paintEvent(QPaintEvent* event) override;
    virtual void relayoutStrip() {}

private:
    void placeStrip();

    QWidget* m_strip = nullptr;
    int m_margin = 7;
    int m_length;
    QWidget* m_viewport = nullptr;
    int m_offset = 0;
};

class LayerPanel;

// The cell of a layer or group row.
class Container : public StripContainer {
    Q_OBJECT
public:
    explicit Container(int length, QWidget* parent = nullptr);
    LayerPanel* panel() const;

protected:
    void relayoutStrip() override;
};
