// The base of every media item on the stage: placing it from its record and
// effects on every tick, selection, moving by mouse and arrow keys, snapping
// to neighbours, fitting to a device by a right-button drag, the eight
// resize handles, the context menu and deletion. Every change goes into the
// media record held by GConfig.
#pragma once

#include <QGraphicsItem>
#include <QMap>
#include <QRectF>

class ResizeItem;
struct MediaSource;

class GraphicsItem : public QGraphicsItem {
public:
    explicit GraphicsItem(int mediaId, QGraphicsItem* parent = nullptr);
    ~GraphicsItem() override;

    void advance(int phase) override;
    // (0, 0, record width, record height), stage units.
    QRectF boundingRect() const override;

    int mediaId() const { return m_mediaId; }
    bool loadFailed() const { return m_loadFailed; }
    bool outOfWindow() const { return m_outOfWindow; }
    bool shownWhileSelected() const { return m_shownWhileSelected; }
    QRectF pendingFitRect() const { return m_fitRect; }

    // The eight handles, created as children in the order 0, 4, 6, 2, 7, 3, 1, 5.
    void createHandles();
    void layoutHandles();
    void showHandles(bool show);
    ResizeItem* handle(int kind) const { return m_handles.value(kind); }
    QList<int> handleCreationOrder() const { return m_handleOrder; }
    bool handleHasFocus() const;

    // A handle drag: start is the record's x, y, width, height at the press.
    // Width and height never fall below one stage unit; the opposite edge
    // stays where it was.
    void resizeByHandle(const QRectF& start, const QPointF& pressScene, const QPointF& currentScene, int kind);
    // Removes the selected media items (not on a locked layer).
    void deleteSelected();
    // The item's and every selected media item's scene position into their records.
    void writeBackPositions();

    // Highlight exactly these devices.
    static void highlightDevices(const QList<int>& ids);
    // The scene's tip text at a scene point, or hidden.
    static void showTip(const QString& text, const QPointF& scenePoint);
    static void hideTip();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

    // The editing-mode flags (phase 0).
    void applyEditFlags();
    // Shown inside the time window (focus and selection on request);
    // outside it kept visible only while the record is selected.
    void showByWindow(bool inWindow, const MediaSource& record);
    // advance phase 1 from the selection sync on.
    void applyRecordPlacement(const MediaSource& record);
    // Render hints; for an item kept visible only by its selection, its
    // dashed outline, and true (nothing else is drawn then).
    bool paintKeptFrame(QPainter* painter);
    // The yellow selection frame; the handles shown or hidden on the way.
    void paintSelection(QPainter* painter);

    bool m_loadFailed = false;

private:
    void clampSelectionToStage();
    void snapToNeighbours();
    void fitToDeviceUnder(const QPointF& scenePos);
    void syncRecordSelection(bool keepStageSelection);
    void applyFitRect();
    void showOwnInfo();
    void openContextMenu(const QPoint& screenPos);
    bool layerLocked() const;

    int m_mediaId;
    bool m_moved = false;
    bool m_shownWhileSelected = false;
    bool m_outOfWindow = false;
    QPointF m_pressScene;
    QPointF m_pressItem;
    bool m_rightDrag = false;
    QRectF m_fitRect;
    QMap<int, ResizeItem*> m_handles;
    QList<int> m_handleOrder;
};
