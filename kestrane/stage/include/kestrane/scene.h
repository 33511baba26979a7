// The stage scene: devices, media items, one hidden tip text and, while the
// operator drags over empty stage, a rubber band. It takes media dropped
// from the media library, selects and aligns items for the other windows,
// and hands the preview's copied video frames to their items.
#pragma once

#include <QGraphicsScene>
#include <QImage>
#include <QPointF>

class QGraphicsPathItem;
class QGraphicsSimpleTextItem;
class QTimer;

class Scene : public QGraphicsScene {
    Q_OBJECT
public:
    explicit Scene(QObject* parent = nullptr);
    ~Scene() override;

    void addDeviceItem(int deviceId);
    void selectDeviceItem(int deviceId);
    // Kind 0 media, 1 devices; refused for the kind the editing mode leaves inert.
    void selectItem(int id, int kind);
    void deselectAll();
    // 1 left, 2 right, 3 centre left-right, 4 top, 5 bottom, 6 centre up-down.
    void alignSelectedItems(int mode);
    void dropMediaOnStage(QGraphicsSceneDragDropEvent* event);

    QGraphicsSimpleTextItem* tipItem() const { return m_tip; }
    void setSwitchedByPress(bool on) { m_switchedByPress = on; }
    bool switchedByPress() const { return m_switchedByPress; }
    bool dropRunning() const { return m_dropping; }

    // Deletes every item (media items first: their handles own the cursor
    // doubles) and puts the hidden tip item back.
    void clearStage();
    // The media or device item with that record id; null when none.
    QGraphicsItem* stageItem(int id, int type) const;

    // From any thread: hands a copied frame of preview media `handle` to the
    // video item of media `mediaId`, later on the scene's thread. Dropped
    // when no scene exists or no such item exists by then.
    static void postFrame(int mediaId, void* handle, const QImage& frame);

signals:
    void itemDropped(int id, int rowIndex, int layerIndex);

protected:
    void dragMoveEvent(QGraphicsSceneDragDropEvent* event) override;
    void dropEvent(QGraphicsSceneDragDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    void customEvent(QEvent* event) override;

private:
    void createTip();
    void followHandles();
    QWidget* boxParent() const;

    bool m_rubberBand = false;
    QPointF m_bandOrigin;
    QGraphicsPathItem* m_bandItem = nullptr;
    bool m_switchedByPress = false;
    QGraphicsSimpleTextItem* m_tip = nullptr;
    // One timer moves every handle's cursor double.
    QTimer* m_followTimer = nullptr;
    // A drop waits in a nested event loop; a second one meanwhile is ignored.
    bool m_dropping = false;
};
