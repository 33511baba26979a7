// What the configuration object asks of the console's views and of the
// local preview. The main window installs an implementation; every default
// does nothing, so the model works (and is tested) without any widget.
#pragma once

class ConsoleHooks {
public:
    virtual ~ConsoleHooks() = default;

    // Play position of the time axis in ms; 0 without a time axis.
    virtual int playPosition() const { return 0; }
    virtual void setPlayPosition(int /*ms*/) {}
    // The saved flag changed: the title shows or drops its trailing "*".
    virtual void savedChanged(bool /*saved*/) {}
    // Merges a media-update request (2 with upload, 3 without) into the
    // main window's pending request.
    virtual void mediaUpdateRequest(int /*kind*/) {}
    // Takes a record's block off its layer row.
    virtual void removeLayerIOBlock(int /*id*/) {}
    virtual void removePlayControlBlock(int /*id*/) {}
    // Removes one media from the local preview.
    virtual void removePreviewMedia(void* /*handle*/) {}
    // Mutes or unmutes one media of the local preview; null: all of them.
    virtual void mutePreviewMedia(bool /*mute*/, void* /*handle*/) {}
    // Takes a media off its layer row, the time axis (block, effect rows,
    // key frames) and the stage, before its record is erased.
    virtual void removeMediaViews(int /*mediaId*/) {}
    // Repaints the time axis after a media left it.
    virtual void refreshTimeAxis() {}
    // The view steps of clearing a project: stage, layers, tables, device
    // tree, side panels, tool box and splitters.
    virtual void clearViews() {}
};
