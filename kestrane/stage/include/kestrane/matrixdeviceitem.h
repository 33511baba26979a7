// One cell of the matrix layout: empty, or holding one device. Devices come
// in by drops from the device list or another cell and leave by a drag.
#pragma once

#include <QGraphicsItem>
#include <QList>
#include <QMetaType>
#include <QPointF>
#include <QRectF>

class MatrixLayout;

class MatrixDeviceItem : public QGraphicsItem {
public:
    // The cell reads its rectangle (output pixels) from `cells` by index each time.
    MatrixDeviceItem(int cellIndex, QList<QRectF>* cells, double scale, MatrixLayout* dialog);
    ~MatrixDeviceItem() override;

    void advance(int phase) override;
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    int deviceId() const { return m_deviceId; }
    int cellIndex() const { return m_cellIndex; }
    // 0 empties the cell; the dialog applies the blend again.
    void setDevice(int deviceId);
    void startDrag();

    // Event handlers, reachable for synthetic events.
    void dropEvent(QGraphicsSceneDragDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;

    // The name is drawn centred unless it is wider than the text room.
    static bool nameFitsCentred(double nameWidth, double cellWidth) { return nameWidth <= cellWidth - 6; }

private:
    QRectF cellRect() const;

    int m_deviceId = 0;
    double m_scale = 1.0;
    int m_cellIndex = 0;
    QList<QRectF>* m_cells = nullptr;
    MatrixLayout* m_dialog = nullptr;
    QPointF m_pressPoint;
};

Q_DECLARE_METATYPE(MatrixDeviceItem*)
