// What the configuration object and the other windows ask of the side
// panels: the right sidebar with its media library and media table, the
// device list with its tree and the device property panel. The side panels
// install one implementation with GConfig::setSidePanelHooks; every default
// does nothing and answers as "no side panels".
#pragma once

#include <QList>
#include <QMap>
#include <QVariantMap>

struct MediaSource;
struct DeviceFolderRecord;

class SidePanelHooks {
public:
    virtual ~SidePanelHooks() = default;

    // ---- Right sidebar
    // Show a media item's properties (0: clear); with switchTab first switch to the media tab.
    virtual void showMediaAttribute(int /*mediaId*/, bool /*switchTab*/) {}
    // Show a device's properties (0: clear); with switchTab first switch to the device tab.
    virtual void showDeviceAttribute(int /*deviceId*/, bool /*switchTab*/) {}
    // Refresh the device names shown in the sidebar.
    virtual void updateDeviceNames() {}
    // Select the media-table rows whose media key is in the list.
    virtual void selectMediaRows(const QList<qint64>& /*mediaKeys*/) {}
    // Switch to the media tab, the device tab, or the control tab on page 0 (inputs) or 1 (outputs).
    virtual void showMediaTab() {}
    virtual void showDeviceTab() {}
    virtual void showControlTab(int /*page*/) {}
    // Media tab checked; media and device sidebars back to their first page.
    virtual void resetTabs() {}
    // Media library: for 1 (pictures and videos) the multi-select file dialog and the import.
    virtual void addSource(int /*typeIndex*/) {}

    // ---- Devices
    // Enable or disable the device property editors.
    virtual void setDeviceFieldsEnabled(bool /*enabled*/) {}
    // Make the device current in the tree (0: none).
    virtual void selectDeviceInTree(int /*deviceId*/) {}
    // Whether the device tree exists (devices are removed only while it does).
    virtual bool hasDeviceTree() const { return false; }
    // Take the device's item out of the tree and delete it (no model change).
    virtual void removeTreeItem(int /*deviceId*/) {}
    // Delete every item of the device tree.
    virtual void clearDeviceTree() {}

    // ---- Project file
    // Media table rows for the loader: a folder row, or a media row under its folder key, each inserted at row 0.
    virtual void insertFolderRow(const MediaSource& /*folder*/) {}
    virtual void insertMediaRow(const MediaSource& /*media*/, qint64 /*folderKey*/) {}
    // Rebuild the media library list from the table's rows.
    virtual void updateMediaOrder() {}
    // Remove every row of the media table (the project is being cleared).
    virtual void clearMediaTable() {}
    // Position of every folder and every device item of the tree, for the project file.
    virtual void collectTreeOrder(QMap<int, int>& /*folderPositions*/, QMap<int, int>& /*devicePositions*/) const {}
    // Rebuild the folders of the tree from the folder records ("id", "name", "parentId", "isExpanded") and their positions.
    virtual void loadTree(const QList<QVariantMap>& /*folders*/, const QMap<int, int>& /*folderPositions*/) {}
    // The same from the folder records themselves (GConfig::deviceFolders after loading); by
    // default the records go to the form above as their QVariantMaps.
    virtual void loadTree(const QList<DeviceFolderRecord>& folders, const QMap<int, int>& folderPositions);
    // Create the tree item of device id in its folder (0: top level); loading: from a project file.
    virtual void insertDeviceItem(int /*deviceId*/, int /*folderId*/, bool /*loading*/) {}
    // Re-apply each folder's saved expanded flag.
    virtual void restoreExpandState() {}
};
