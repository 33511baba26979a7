// The stage's answers to what the configuration object asks of it.
#pragma once

#include "kestrane/stagehooks.h"

class StageWidget;

class StagePanelHooks : public StageHooks {
public:
    explicit StagePanelHooks(StageWidget* widget) : m_widget(widget) {}

    void setTitleText(const QString& text) override;
    void setItemInfo(int id, bool isDevice, double x, double y, double z) override;
    void clearItemInfo() override;
    void resetScaleCombo() override;
    void setScaleIndex(int index) override;
    StageViewport viewport() const override;

    void applyZoom(double zoom) override;
    void setScrollValues(int h, int v) override;
    void showCustomScale(double zoom) override;
    void setHandCursor(bool on) override;

    void advanceScene() override;
    void updateScene() override;
    void clearStage() override;
    void clearStageSelection() override;
    QList<int> selectedMediaIds() const override;
    StageItemRef focusItem() const override;
    QList<StageItemRef> selectedItems() const override;
    void deleteSelectedMedia() override;
    void deleteSelectedDevices() override;
    void setMediaItemSelected(int mediaId, bool selected) override;
    void alignStageItems(int mode) override;
    void removeMediaItem(int mediaId) override;
    void addMediaItem(int mediaId) override;
    void createVideoItems() override;

    void addDeviceItem(int deviceId) override;
    void addLoadedDeviceItem(int deviceId) override;
    void selectStageDevice(int deviceId) override;
    void removeDeviceItem(int deviceId) override;
    void runDeviceMatrixLayout(int deviceId) override;
    void runDeviceColorCorrection(int deviceId) override;
    void runDeviceGeometryCorrection(int deviceId) override;
    void combineDevice(int deviceId) override;
    void uncombineDevice(int deviceId) override;

private:
    StageWidget* m_widget;
};
