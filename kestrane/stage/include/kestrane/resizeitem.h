// The eight resize handles of a media item, and their cursor doubles: an
// invisible top-level item above every stage item that follows its handle
// and carries the same resize cursor, so the cursor shows even where
// another media item covers the handle.
#pragma once

#include <QGraphicsItem>
#include <QRectF>

class TransparentItem : public QGraphicsItem {
public:
    explicit TransparentItem(int kind, QGraphicsItem* parent = nullptr);
    QRectF boundingRect() const override;
    void paint(QPainter*, const QStyleOptionGraphicsItem*, QWidget*) override {}

private:
    double m_size = 4.0;
};

class ResizeItem : public QGraphicsItem {
public:
    ResizeItem(int kind, int mediaId, QGraphicsItem* parent = nullptr);
    ~ResizeItem() override;

    static Qt::CursorShape cursorFor(int kind);

    int kind() const { return m_kind; }
    // Just outside the media's rectangle, centred on its edge or at its corner.
    void place();
    // Moves the cursor double onto the handle (made on the first call once
    // the handle is in a scene) and shows it exactly when the handle shows.
    void follow();
    TransparentItem* cursorDouble() const { return m_double; }

    void advance(int phase) override;
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    int m_kind;
    int m_mediaId;
    double m_size = 4.0;
    QPointF m_pressScene;
    QRectF m_pressGeometry;
    TransparentItem* m_double = nullptr;
};
