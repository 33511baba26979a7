// The time axis's horizontal scroll bar. It remembers when the user last
// moved it, so that automatic scrolling keeps away for five seconds.
#pragma once

#include <QScrollBar>

#include <functional>

class QTimer;

class TScrollBar : public QScrollBar {
    Q_OBJECT
public:
    static constexpr int kHoldOffMs = 5000;

    explicit TScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Monotonic milliseconds; tests put their own clock in.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    qint64 now() const { return m_clock(); }

    bool isPressed() const { return m_pressed != 0; }
    bool movedByMouse() const { return m_moved; }
    qint64 lastMouseTime() const { return m_lastMouseTime; }
    // Held with the mouse, or moved by the user within the last five seconds.
    bool isHeldOff() const;

signals:
    void valueChangedByMouse(int value);

private slots:
    void moveTimeLine();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void touch();

    int m_pressed = 0;
    qint64 m_lastMouseTime = 0;
    bool m_moved = false;
    Clock m_clock;
    QTimer* m_timer = nullptr;
};
