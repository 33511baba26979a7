// The column-1 cell of an effect row and the strip inside it, which shows
// the effect bars of the layer's media.
#pragma once

#include <QList>
#include <QWidget>

#include "kestrane/container.h"

class LayerSpecialEffect;

class EffectLayerPanel : public QWidget {
    Q_OBJECT
public:
    explicit EffectLayerPanel(QWidget* parent = nullptr);

    QList<LayerSpecialEffect*> effects() const { return m_effects; }
    // The bar of the media, made when missing, with an anchor per key id.
    LayerSpecialEffect* addEffect(int kind, int mediaId, const QList<int>* keyIds = nullptr);
    // A key of this kind at the play position on the layer's media under
    // the play head; nothing when none lies there.
    void addAnchorAtCurrentTime(int kind, int effectRow, const QList<double>* values = nullptr);
    void removeEffect(LayerSpecialEffect* effect);
    // Re-places every bar for the current zoom.
    void relayout();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_margin = 7;
    QList<LayerSpecialEffect*> m_effects;
};

class EffectContainer : public StripContainer {
    Q_OBJECT
public:
    explicit EffectContainer(int length, QWidget* parent = nullptr);
    EffectLayerPanel* panel() const;

protected:
    void relayoutStrip() override;
};
