// What the configuration object and the other windows ask of the time axis
// (the time axis widget, its layer table, rows, play-head line and the
// show-control lists beside it). The time axis installs one implementation
// with GConfig::setTimeAxisHooks; every default does nothing and answers as
// "no time axis", so the rest of the console works without one.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class LayerPanel;

// The view state of the time axis that a project file keeps.
struct TimeAxisViewState {
    int scale = 0;       // zoom slider value
    int speedIndex = 0;  // 0 = 1x, 1 = 1.5x, 2 = 2x
    bool checked = false;  // the check button
    int playHead = 0;    // ms
};

class TimeAxisHooks {
public:
    virtual ~TimeAxisHooks() = default;

    // ---- Play position and transport
    // The play position in ms; 0 without a time axis.
    virtual int playPosition() const { return 0; }
    // Store ms as the play position, refresh the stage and the time label, move the play-head line.
    virtual void setPlayPosition(int /*ms*/) {}
    // Start playback as the play button does: preview and servers played, the 40 ms tick started.
    virtual void play() {}
    // Pause playback as the pause button does; nothing when already paused.
    virtual void pause() {}
    // Stop servers and preview and return the play position to the project start.
    virtual void playStop() {}
    // Scroll the axis so that the play head at ms is visible.
    virtual void followPlayHead(int /*ms*/) {}
    // Move the play position 5,000 ms forward or back within the timeline, pause, resend the time.
    virtual void forwardFiveSecond() {}
    virtual void backFiveSecond() {}
    // Select the speed entry 0 (1x), 1 (1.5x) or 2 (2x).
    virtual void setSpeedIndex(int /*index*/) {}
    // Show the registered play button pressed (down) or released; whether it is shown pressed.
    virtual void setPlayButtonDown(bool /*down*/) {}
    virtual bool isPlayButtonDown() const { return false; }
    // Scroll so that the play-head line is in view (the play-head line's scrollIntoView).
    virtual void scrollToPlayHead() {}
    // Scroll horizontally by at most 3 px toward x (axis coordinates) when x is outside the visible span; whether it scrolled.
    virtual bool autoScrollTo(int /*x*/) { return false; }

    // ---- Zoom and length
    // Zoom the axis in or out by one step (steps 0 to 9).
    virtual void addScale() {}
    virtual void reduceScale() {}
    // Set (extend false) or grow (extend true) the axis display length and resize the axis.
    virtual void setAxisLength(int /*ms*/, bool /*extend*/) {}
    // Repaint the ruler and every strip, then refresh the time slider with the flag.
    virtual void refreshRows(int /*flag*/) {}
    // Repaint the time axis after a media left it.
    virtual void refreshTimeAxis() {}

    // ---- Layer rows (rows counted without the trailing filler row)
    // Append a layer row named "图层%1" (isInit: the loader's form).
    virtual void addLayer(bool /*isInit*/) {}
    // Append a folder row the same way.
    virtual void addFolder(bool /*isInit*/) {}
    // Delete the checked layers and groups, pausing playback first.
    virtual void removeLayer() {}
    // Move the checked layers: 0 top, 1 up, 2 down, 3 bottom.
    virtual void changeLayerSequence(int /*code*/) {}
    // Remove every layer row but the filler row.
    virtual void clearLayers() {}
    // Number of rows without the filler row.
    virtual int layerRowCount() const { return 0; }
    // The row's role: 100 layer, 101 folder, 102 effect row; 0 for none.
    virtual int layerRowRole(int /*row*/) const { return 0; }
    // Rows of the checked layer headers, effect rows skipped.
    virtual QList<int> checkedLayers() const { return {}; }
    // Row of the first checked layer; -1 when none.
    virtual int currentLayer() const { return -1; }
    // Row of the current layer when it can take a dropped media (not a folder); -1 otherwise.
    virtual int currentLayerRow() const { return -1; }
    // The row itself when a layer, else the next layer below, else the nearest above; -1 without layers.
    virtual int layerRowNear(int /*row*/) const { return -1; }
    // Whether the current layer is locked; true when there is none.
    virtual bool isCurrentLayerLocked() const { return true; }
    // Whether that layer row's header is locked.
    virtual bool isLayerLocked(int /*row*/) const { return false; }
    // Whether that row header's eye toggle is off.
    virtual bool isLayerEyeHidden(int /*row*/) const { return false; }
    // Scroll the layer table so that the row is visible.
    virtual void scrollToRow(int /*row*/) {}
    // Row whose column-1 strip is that panel (effect rows and filler skipped); -1 when absent.
    virtual int rowOfLayerPanel(const LayerPanel* /*panel*/) const { return -1; }
    // Hide the drop marker of every layer row's strip.
    virtual void hideLayerDropMarks() {}
    // Check (mark) or uncheck a layer or folder row's header.
    virtual void setLayerRowChecked(int /*row*/, bool /*checked*/) {}
    // Select or deselect an effect row's header.
    virtual void setEffectRowSelected(int /*row*/, bool /*selected*/) {}

    // ---- Blocks on the rows
    // Put media record id as a block on rowIndex (-1: the layer nearest the current one); hide the busy overlay on every path.
    virtual void addItemToLayer(int /*id*/, int /*rowIndex*/, int /*layerIndex*/) {}
    // Hide every drop marker, then take the media's block off that row when the row lies inside the table.
    virtual void removeMediaFromLayer(int /*mediaId*/, int /*row*/) {}
    // Take a media off its row and the time axis (block, effect rows, key frames) before its record is erased.
    virtual void removeMediaViews(int /*mediaId*/) {}
    // Show a media block selected or not.
    virtual void setMediaBlockSelected(int /*mediaId*/, bool /*selected*/) {}
    // Select the media's block (a stage item became selected).
    virtual void selectTimelineMedia(int /*mediaId*/) {}
    // Create the block of a play control / timeline output command on the row its record names.
    virtual void addPlayControlBlock(int /*id*/) {}
    virtual void addLayerIOBlock(int /*id*/) {}
    // Take a record's block off its layer row (deleted later).
    virtual void removeLayerIOBlock(int /*id*/) {}
    virtual void removePlayControlBlock(int /*id*/) {}
    // The effect strip under the layer at row: create or find the bar of kind (1 position, 2 rotation, 3 scale, 4 opacity) for the media, with its anchors.
    virtual void addEffect(int /*row*/, int /*kind*/, int /*mediaId*/, const QList<int>& /*keyIds*/) {}
    // Add a key frame of kind at the play position for the media of that row (creating the bar when missing).
    virtual void addAnchorAtCurrentTime(int /*kind*/, int /*row*/, const QList<double>& /*values*/) {}
    // Put a loaded media item's block on its layer row (the record names the row).
    virtual void addMediaBlock(int /*mediaId*/, int /*row*/) {}
    // Re-place the blocks of every layer row (after loading).
    virtual void relayoutBlocks() {}

    // ---- Show control
    // Id of the play control of that name other than excludeId, its time in *time; -1 when none.
    virtual int findPlayControlByName(const QString& /*name*/, int /*excludeId*/, int* /*time*/) const { return -1; }
    // Add the row of an existing output-control record to the output-control list.
    virtual void addOutControlItem(int /*id*/) {}
    // Clear the control table and set its row count to 0.
    virtual void clearControlTable() {}

    // ---- Project file
    // Every row without the filler, top to bottom: "role" and, by role, "eyeIsHidden", "isLock", "name", "color", "type", "folderStatus".
    virtual QList<QVariantMap> layerRowStates() const { return {}; }
    // The colour name of every row that is not an effect row, top to bottom.
    virtual QStringList layerRowColors() const { return {}; }
    // Append one saved row (role 100 layer, 101 folder) in its loading form and apply its lock, colour, eye, title, type and folder state.
    virtual void restoreLayerRow(const QVariantMap& /*row*/) {}
    // Apply a saved effect row's eye and lock ("eyeIsHidden", "isLock") to the effect row at that table row.
    virtual void restoreEffectRow(int /*row*/, const QVariantMap& /*state*/) {}
    // Let every folder row show or hide the rows under it by its open state.
    virtual void applyFolderStates() {}
    virtual TimeAxisViewState viewState() const { return {}; }
    virtual void setViewState(const TimeAxisViewState& /*state*/) {}
};
