// The time ruler above the layer rows. It holds the zoom level, and with it
// the one ms <-> pixel conversion of every timeline widget.
#pragma once

#include <QWidget>

class RulerWidget : public QWidget {
    Q_OBJECT
public:
    explicit RulerWidget(int level, QWidget* parent = nullptr);

    // Level 0..9 (clamped).
    void setScale(int level);
    int scale() const { return int(m_level); }
    int msToPixel(int ms) const;
    int pixelToMs(int px) const;
    QString labelText(int tick) const;

    // Label unit: 0 milliseconds, 1 seconds, 2 minutes and seconds.
    int unit() const { return m_unit; }
    void setUnit(int unit);
    int offset() const { return m_offset; }

    // The conversions at the level of the registered ruler (level 7 while
    // there is none), for the widgets that place blocks on the rows.
    static int toPixel(int ms);
    static int toMs(int px);
    static int currentScale();

public slots:
    void moveRuler(int x);
    int getOffsetX() { return m_offset; }

signals:
    // A click at axis x (the scroll offset included).
    void posClicked(int x);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_unit = 2;
    int m_offset = 0;
    int m_extent = 0;
    double m_level = 7.0;
    int m_baseY = 5;
    int m_margin = 7;
    int m_spacing = 50;
    int m_interval = 15000;
};
