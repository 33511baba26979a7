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
