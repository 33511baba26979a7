#include "kestrane/mediapanelhooks.h"

#include "kestrane/common.h"
#include "kestrane/medialist.h"
#include "kestrane/mediasidebar.h"
#include "kestrane/mediatable.h"

void MediaPanelHooks::showMediaAttribute(int mediaId, bool switchTab) {
    m_media->showMediaAttribute(mediaId, switchTab);
}

void MediaPanelHooks::selectMediaRows(const QList<qint64>& mediaKeys) {
    if (mediaKeys.isEmpty()) return;
    MediaTable* table = m_media->mediaList()->getTable();
    for (int r = 0; r < table->rowCount(); ++r) {
        const QTableWidgetItem* it = table->item(r, 2);
        if (it && mediaKeys.contains(it->data(MediaTable::kRecordRole).value<MediaSource>().sourceKey))
            table->selectionModel()->select(table->model()->index(r, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void MediaPanelHooks::showMediaTab() { m_media->showFirstPage(); }
void MediaPanelHooks::resetTabs() { m_media->showFirstPage(); }
void MediaPanelHooks::addSource(int typeIndex) { m_media->mediaList()->addSource(typeIndex); }

void MediaPanelHooks::insertFolderRow(const MediaSource& folder) {
    m_media->mediaList()->getTable()->insertFolderRow(folder, 0);
}

void MediaPanelHooks::insertMediaRow(const MediaSource& media, qint64 folderKey) {
    m_media->mediaList()->getTable()->insertMediaRow(media, 0, folderKey);
}

void MediaPanelHooks::updateMediaOrder() { m_media->mediaList()->getTable()->updateMediaOrder(); }

void MediaPanelHooks::clearMediaTable() { m_media->mediaList()->getTable()->setRowCount(0); }
