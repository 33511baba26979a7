// The block of one play, pause or jump control on its layer strip.
#pragma once

#include <QWidget>

class LayerPanel;

class LayerPlayControl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 11;
    static constexpr int kHeight = 10;
    static constexpr int kTop = 15;

    // A control never placed takes the play position.
    LayerPlayControl(int controlId, LayerPanel* panel);

    int controlId() const { return m_controlId; }
    int type() const { return m_type; }
    void updateGeometry();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_controlId;
    LayerPanel* m_panel;
    int m_type = 0;
};
