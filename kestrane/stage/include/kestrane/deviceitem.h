// One display device on the stage: a rectangle of its resolution with its
// name, connection state, media-sync progress and selection; moved with the
// mouse, grouped, laid out and deleted from its context menu.
#pragma once

#include <QGraphicsItem>
#include <QList>
#include <QPointF>

class DeviceItem : public QGraphicsItem {
public:
    DeviceItem(int deviceId, bool fromProject, QGraphicsItem* parent = nullptr);

    int deviceId() const { return m_id; }

    void advance(int phase) override;
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Ids of the scene's selected device items, in selection order.
    static QList<int> selectedDeviceIds();
    // Every device of the list with the first one's width and height.
    static bool sameResolution(const QList<QGraphicsItem*>& items);

    void openMatrixLayout();
    void combine();
    void uncombine();
    void openGeometryCorrection();
    void openColorCorrection();
    void deleteSelected();
    // Removes the selected devices (GConfig deletes their items).
    static void removeSelectedDevices();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

private:
    void selectGroupMates();
    void keepSelectionOnStage();
    void snap();
    void storeSelectedPositions();
    // false: the menu deleted or was closed without a choice.
    bool runContextMenu(const QPoint& screenPos);

    int m_id;
    double m_width = 0;
    double m_height = 0;
    bool m_connected = false;
    QPointF m_press;
    bool m_moved = false;
};
