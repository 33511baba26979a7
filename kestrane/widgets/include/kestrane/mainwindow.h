// The console's frameless top-level window: it draws its own rounded frame
// with a shadow and resizes from a 5-pixel band along its edges.
#pragma once

#include <QPoint>
#include <QWidget>

class MainWindow : public QWidget {
    Q_OBJECT
public:
    enum ResizeMode {
        LeftEdge = 0,
        RightEdge = 1,
        TopEdge = 2,
        BottomEdge = 3,
        TopLeftCorner = 4,
        TopRightCorner = 5,
        BottomLeftCorner = 6,
        BottomRightCorner = 7,
        NoResize = 8,
    };
    static constexpr int kBorderWidth = 5;
    static constexpr int kMaximumWidth = 9999;
    static constexpr int kMinimumWidth = 750;

    explicit MainWindow(QWidget* parent = nullptr);

    int resizeMode() const { return m_resizeMode; }
    // The mode a press at `pos` (inside a window of `size`) selects.
    static int resizeModeAt(const QPoint& pos, const QSize& size);
    // The cursor shown over `pos` while no resize runs.
    static Qt::CursorShape cursorShapeAt(const QPoint& pos, const QSize& size);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_resizeMode = NoResize;
    QPoint m_pressGlobalPos;
    int m_pressWidth = 0;
    int m_pressHeight = 0;
    QPoint m_pressPos;
    QPoint m_lastGlobalPos;
};
