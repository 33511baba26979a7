// The strip of one layer row: it owns the row's media bars, output-command
// blocks and play-control blocks, shades the axis outside the project's
// time span, and takes drops of media, output commands and play controls.
// A group's strip holds only the group's placeholder bar (media id 0).
#pragma once

#include <QList>
#include <QWidget>

#include <optional>

class LayerIO;
class LayerMedia;
class LayerPlayControl;
class QLabel;
class QMimeData;

class LayerPanel : public QWidget {
    Q_OBJECT
public:
    explicit LayerPanel(QWidget* parent = nullptr);

    // A media of a loaded project.
    void addMedia(int mediaId);
    // A media newly dropped on the stage, after the row's last bar.
    void appendMedia(int mediaId, int layerIndex);
    void addFolderBar();
    void addLayerIO(int id);
    void addPlayControl(int id);
    void removeMedia(int mediaId);
    void removeLayerIO(int id);
    void removePlayControl(int id);
    void updateItems();
    void stackBlocks();

    QList<LayerMedia*> mediaItems() const { return m_mediaBars; }
    QList<LayerIO*> layerIOItems() const { return m_ioBlocks; }
    QList<LayerPlayControl*> playControlItems() const { return m_playBlocks; }
    // The media ids of the bars (a group's placeholder left out).
    QList<int> mediaIds() const;
    int scrollOffset() const;
    void setMediaHidden(bool hide);
    QLabel* dropMark() const { return m_dropMark; }
    void hideDropMark();

    // Where a media dragged with these properties and dropped at x lands:
    // the bar's left x and width; nothing when it may not land there.
    struct DropPlace {
        int x;
        int width;
        int mediaId;
    };
    std::optional<DropPlace> mediaDropPosition(const QMimeData* data, int x) const;

signals:
    void currentLayerChecked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createDropMark();
    // A media's key-frame bars follow it to the effect rows of its new row.
    void moveEffectBars(int mediaId, int oldRow, int newRow);
    LayerMedia* placeBar(int mediaId);

    int m_margin = 7;
    QList<LayerMedia*> m_mediaBars;
    QList<LayerIO*> m_ioBlocks;
    QList<LayerPlayControl*> m_playBlocks;
    QLabel* m_dropMark = nullptr;
};
