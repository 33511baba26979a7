// One device of the colour-correction dialog's stage map: an outline with
// the device's name; a click makes that device the edited one.
#pragma once

#include <QGraphicsItem>

class ColorCorrection;

class DeviceItemForCorrection : public QGraphicsItem {
public:
    DeviceItemForCorrection(int deviceId, ColorCorrection* dialog);

    void setCurrent(bool current);
    bool isCurrent() const { return m_current; }
    int deviceId() const { return m_deviceId; }

    void advance(int phase) override;
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
    // Reachable for synthetic events.
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;

private:
    ColorCorrection* m_dialog = nullptr;
    bool m_current = false;
    int m_deviceId = 0;
    int m_width = 0;
    int m_height = 0;
};
