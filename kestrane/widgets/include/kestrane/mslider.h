// A slider that also reports where it was pressed.
#pragma once

#include <QSlider>

class MSlider : public QSlider {
    Q_OBJECT
public:
    explicit MSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

signals:
    // v is the x coordinate of the press in the slider's own pixels (for
    // either orientation), not a slider value.
    void posClicked(int v);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
