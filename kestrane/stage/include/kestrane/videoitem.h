// A video on the stage, shown through a media of the local preview.
//
// The preview delivers frames on its own threads into a buffer it may
// rewrite or reallocate at any time, so the GUI never reads that buffer:
// the frame callback (whose user value is the media id, never the item)
// copies the picture into a QImage on the library's thread and posts it to
// the Scene, which hands it to the video item of that id if one still
// exists. The item paints its own copy.
#pragma once

#include <QImage>

#include "kestrane/graphicsitem.h"
#include "platform/types.h"

class VideoItem : public GraphicsItem {
public:
    explicit VideoItem(int mediaId, QGraphicsItem* parent = nullptr);
    ~VideoItem() override;

    void advance(int phase) override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    void* previewHandle() const { return m_handle; }
    // A copied frame of the preview media `handle`; a frame of another media
    // (an earlier one under a reused id) is dropped.
    void takeFrame(void* handle, const QImage& frame);
    const QImage& frame() const { return m_frame; }

    // The preview's frame callback.
    static void frameCallback(void* media, void* frame, const BITMAPINFOHEADER* format, double position,
                              double duration, int atZero, int state, void* user);
    // A frame buffer as an upright RGB picture (rows bottom-up, blue first in
    // the buffer); null for a format it does not know.
    static QImage copyFrame(const void* frame, const BITMAPINFOHEADER& format);

private:
    void* m_handle = nullptr;
    QImage m_frame;
};
