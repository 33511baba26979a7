// What the configuration object asks of the main window. The main window
// installs one implementation with GConfig::setMainWindowHooks; every
// default does nothing, so the model works (and is tested) without it.
#pragma once

#include <QList>
#include <QString>

class MainWindowHooks {
public:
    virtual ~MainWindowHooks() = default;

    // The saved flag changed (the title text itself goes to the stage's title label).
    virtual void savedChanged(bool /*saved*/) {}
    // Merge a media-update request (2 with upload, 3 without) into the pending request, under its lock.
    virtual void mediaUpdateRequest(int /*kind*/) {}
    // Show (true) or hide (false) the busy overlay over the window.
    virtual void showWaiting(bool /*show*/) {}
    // Whether the media-import progress dialog is hidden; a window without one answers false ("shown").
    virtual bool isWaitingHidden() const { return false; }
    // Show (creating it on first use, centred on the overlay) or hide the media-import progress dialog.
    virtual void showProgress(bool /*show*/) {}
    // Progress text "正在导入%1/%2个媒体：%3" and value current * 100 / total.
    virtual void updateProgress(int /*current*/, int /*total*/, const QString& /*name*/) {}
    // Check the select-media (media) or select-device button; with lockOther the other one is disabled.
    virtual void setSelectMode(bool /*mediaMode*/, bool /*lockOther*/) {}
    // After a project is cleared: update button enabled, select-media checked, real-time box unchecked, media editing.
    virtual void resetToolBox() {}
    // The two splitters' sizes (vertical, horizontal) and their restore; reset: {1200, 500} and {width - 240, 240}.
    virtual QList<int> verticalSplitterSizes() const { return {}; }
    virtual QList<int> horizontalSplitterSizes() const { return {}; }
    virtual void setSplitterSizes(const QList<int>& /*vertical*/, const QList<int>& /*horizontal*/) {}
    virtual void resetSplitters() {}
    // Start connecting to every display server of the project.
    virtual void connectDevices() {}
    // Check the speed entry of the menu for index 0 (normal), 1 (1.5x) or 2 (2x); other indexes change nothing.
    virtual void setMenuSpeed(int /*index*/) {}
    // The auto-save interval in seconds, as the general settings give it.
    virtual void setAutoSaveInterval(int /*seconds*/) {}
};
