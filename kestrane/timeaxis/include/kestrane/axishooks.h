// The time axis's answers to what the project model and the other windows
// ask of it.
#pragma once

#include "kestrane/timeaxishooks.h"

class TimeAxisWidget;

class AxisHooks : public TimeAxisHooks {
public:
    explicit AxisHooks(TimeAxisWidget* axis) : m_axis(axis) {}

    int playPosition() const override;
    void setPlayPosition(int ms) override;
    void play() override;
    void pause() override;
    void playStop() override;
    void followPlayHead(int ms) override;
    void forwardFiveSecond() override;
    void backFiveSecond() override;
    void setSpeedIndex(int index) override;
    void setPlayButtonDown(bool down) override;
    bool isPlayButtonDown() const override;
    bool autoScrollTo(int x) override;
    void scrollToPlayHead() override;

    void addScale() override;
    void reduceScale() override;
    void setAxisLength(int ms, bool extend) override;
    void refreshRows(int flag) override;
    void refreshTimeAxis() override;

    void addLayer(bool isInit) override;
    void addFolder(bool isInit) override;
    void removeLayer() override;
    void changeLayerSequence(int code) override;
    void clearLayers() override;
    int layerRowCount() const override;
    int layerRowRole(int row) const override;
    QList<int> checkedLayers() const override;
    int currentLayer() const override;
    int currentLayerRow() const override;
    int layerRowNear(int row) const override;
    bool isCurrentLayerLocked() const override;
    bool isLayerLocked(int row) const override;
    bool isLayerEyeHidden(int row) const override;
    void scrollToRow(int row) override;
    int rowOfLayerPanel(const LayerPanel* panel) const override;
    void hideLayerDropMarks() override;
    void setLayerRowChecked(int row, bool checked) override;
    void setEffectRowSelected(int row, bool selected) override;

    void addItemToLayer(int id, int rowIndex, int layerIndex) override;
    void removeMediaFromLayer(int mediaId, int row) override;
    void removeMediaViews(int mediaId) override;
    void setMediaBlockSelected(int mediaId, bool selected) override;
    void selectTimelineMedia(int mediaId) override;
    void addPlayControlBlock(int id) override;
    void addLayerIOBlock(int id) override;
    void removeLayerIOBlock(int id) override;
    void removePlayControlBlock(int id) override;
    void relayoutBlocks() override;
    void addEffect(int row, int kind, int mediaId, const QList<int>& keyIds) override;
    void addAnchorAtCurrentTime(int kind, int row, const QList<double>& values) override;

    int findPlayControlByName(const QString& name, int excludeId, int* time) const override;

    QList<QVariantMap> layerRowStates() const override;
    QStringList layerRowColors() const override;
    void restoreLayerRow(const QVariantMap& row) override;
    void restoreEffectRow(int row, const QVariantMap& state) override;
    void addMediaBlock(int mediaId, int row) override;
    void applyFolderStates() override;
    TimeAxisViewState viewState() const override;
    void setViewState(const TimeAxisViewState& state) override;

private:
    TimeAxisWidget* m_axis;
};
