// What the configuration object asks of the stage (the stage widget with its
// information bar and title label, the stage view and its scene). The stage
// installs one implementation with GConfig::setStageHooks; every default
// does nothing, so the model works (and is tested) without a stage.
#pragma once

#include <QList>
#include <QPoint>
#include <QString>

// One stage item: a media item (kind 0) or a device item (kind 1); kind -1
// for none.
struct StageItemRef {
    int id = 0;
    int kind = -1;
};

// The visible part of the stage view, in its scrolled pixel coordinates.
struct StageViewport {
    int hScroll = 0;   // the stage widget's horizontal scroll value
    int vScroll = 0;   // the view's vertical scroll value
    int width = 0;     // viewport size in pixels
    int height = 0;
};

class StageHooks {
public:
    virtual ~StageHooks() = default;

    // ---- Panel
    // Show the text in the stage title label.
    virtual void setTitleText(const QString& /*text*/) {}
    // Show a selected item's position in the X/Y/Z labels (negative: empty) and keep its id and kind.
    virtual void setItemInfo(int /*id*/, bool /*isDevice*/, double /*x*/, double /*y*/, double /*z*/) {}
    // Empty the X/Y/Z labels, forget the shown id, hide the edits.
    virtual void clearItemInfo() {}
    // Select the zoom combo's first entry (12.5 %).
    virtual void resetScaleCombo() {}
    // Select zoom combo entry 0 .. 4 (12.5 % .. 100 %), which zooms the stage.
    virtual void setScaleIndex(int /*index*/) {}
    // The viewport size and the two scroll values.
    virtual StageViewport viewport() const { return {}; }

    // ---- Zoom and scrolling (the zoom itself lives in GConfig)
    // Update the scene rect and the scroll range for the zoom GConfig now holds.
    virtual void applyZoom(double /*zoom*/) {}
    // Set the horizontal value through the stage widget's own scroll bar and the vertical one on the view.
    virtual void setScrollValues(int /*h*/, int /*v*/) {}
    // Rewrite the combo's custom entry to show this zoom.
    virtual void showCustomScale(double /*zoom*/) {}
    // The hand tool: open-hand cursor (hot spot in the middle) on the viewport, or the default cursor.
    virtual void setHandCursor(bool /*on*/) {}

    // ---- Scene
    // Every item's advance, so that each takes its record's position, size and effects.
    virtual void advanceScene() {}
    // A full update (repaint) of the scene.
    virtual void updateScene() {}
    // Clear the scene and put its hidden tip item back.
    virtual void clearStage() {}
    // Clear the stage selection.
    virtual void clearStageSelection() {}
    // Ids of the selected media items (items whose kind data is 0), in the scene's order.
    virtual QList<int> selectedMediaIds() const { return {}; }
    // The scene's focus item, and the selected items in selection order.
    virtual StageItemRef focusItem() const { return {}; }
    virtual QList<StageItemRef> selectedItems() const { return {}; }
    // Delete the selected media items / device items as the items' own delete does.
    virtual void deleteSelectedMedia() {}
    virtual void deleteSelectedDevices() {}
    // Select or deselect the media item of that id.
    virtual void setMediaItemSelected(int /*mediaId*/, bool /*selected*/) {}
    // Align the selected items: 1 left, 2 right, 3 centre left-right, 4 top, 5 bottom, 6 centre up-down.
    virtual void alignStageItems(int /*mode*/) {}
    // Take a media's item off the stage before its record is erased.
    virtual void removeMediaItem(int /*mediaId*/) {}
    // Create the stage item of a placed media, hidden until the play head reaches it (after loading).
    virtual void addMediaItem(int /*mediaId*/) {}
    // Create the video items of the media that need them (after loading).
    virtual void createVideoItems() {}

    // ---- Devices
    // Create the device's stage item (device editing, selection cleared, item added selected).
    virtual void addDeviceItem(int /*deviceId*/) {}
    // Create the stage item of a device read from a project file (no selection, no mode change).
    virtual void addLoadedDeviceItem(int /*deviceId*/) {}
    // Clear the selection and select the stage item of that device.
    virtual void selectStageDevice(int /*deviceId*/) {}
    // Take the device's stage items off the stage.
    virtual void removeDeviceItem(int /*deviceId*/) {}
    // The device item's own operations, on the item of that device (nothing when it is gone):
    // matrix layout of the selected devices, colour and geometry correction, group and ungroup the selection.
    virtual void runDeviceMatrixLayout(int /*deviceId*/) {}
    virtual void runDeviceColorCorrection(int /*deviceId*/) {}
    virtual void runDeviceGeometryCorrection(int /*deviceId*/) {}
    virtual void combineDevice(int /*deviceId*/) {}
    virtual void uncombineDevice(int /*deviceId*/) {}
};
