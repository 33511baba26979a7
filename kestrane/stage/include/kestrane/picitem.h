// A still picture on the stage.
#pragma once

#include <QImage>
#include <QPixmap>

#include "kestrane/graphicsitem.h"

class PicItem : public GraphicsItem {
public:
    explicit PicItem(int mediaId, QGraphicsItem* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QString m_path;
    QPixmap m_pixmap;
    QImage m_image;
};
