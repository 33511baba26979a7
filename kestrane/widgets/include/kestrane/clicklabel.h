// A label that reports presses, clicks and double clicks, and outlines an
// optional mark rectangle.
#pragma once

#include <QLabel>
#include <QRect>

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr);

    void setMarkRect(const QRect& rect);
    QRect markRect() const { return m_markRect; }

signals:
    void clicked();
    void posClicked(QPoint);
    void doubleClicked();
    void doubleClickedForPos(QPoint);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect m_markRect;  // invalid: no outline
};
