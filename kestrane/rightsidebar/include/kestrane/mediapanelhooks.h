// The media panels' answers to the project model: loading and clearing the
// media table, showing a media item's properties, the add-media entry. A
// right sidebar derives from it to answer for its other tabs as well.
#pragma once

#include "kestrane/sidepanelhooks.h"

class MediaSidebar;

class MediaPanelHooks : public SidePanelHooks {
public:
    explicit MediaPanelHooks(MediaSidebar* media) : m_media(media) {}

    void showMediaAttribute(int mediaId, bool switchTab) override;
    void selectMediaRows(const QList<qint64>& mediaKeys) override;
    void showMediaTab() override;
    void resetTabs() override;
    void addSource(int typeIndex) override;

    void insertFolderRow(const MediaSource& folder) override;
    void insertMediaRow(const MediaSource& media, qint64 folderKey) override;
    void updateMediaOrder() override;
    void clearMediaTable() override;

protected:
    MediaSidebar* mediaSidebar() const { return m_media; }

private:
    MediaSidebar* m_media;
};
