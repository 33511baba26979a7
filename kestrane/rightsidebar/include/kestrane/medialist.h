// The media library panel: the media table between a header bar and a
// bottom bar with the add-media box and the folder and delete buttons. It
// imports pictures and videos (from a file dialog, a folder or a desktop
// drop), creates folders and deletes media and folders, checking the media
// already placed on the stage and the time axis.
#pragma once

#include <QList>
#include <QMap>
#include <QStringList>
#include <QWidget>

#include "kestrane/common.h"

class MediaTable;
class QComboBox;

namespace kestrane {
class VideoProbe;
}

class MediaList : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFolderKind = 99;

    explicit MediaList(QWidget* parent = nullptr);
    ~MediaList() override;

    // null: the media rendering library's probe.
    void setVideoProbe(kestrane::VideoProbe* probe);
    QStringList pictureSuffixes() const { return m_pictureSuffixes; }
    QStringList mediaSuffixes() const { return m_mediaSuffixes; }

    // One file probed and its row inserted; folderKey and mediaKey count when > 0.
    bool importMediaFiles(const QString& path, qint64 folderKey, qint64 mediaKey, int row);
    void importFolder();
    int createFolder(const QString& name, qint64* folderKey);
    QString nextFolderName() const;
    int indexInLibrary(const QString& path) const;
    void selectNewRows(const QList<MediaSource>& before);
    bool collectDeletion(QList<int>* rows, QList<int>* usedRows, QList<int>* folderRows);
    QList<int> placedMediaIds(qint64 mediaKey) const;
    // A media or folder key not in use: now in ms plus a random number below `span`.
    qint64 newKey(int span) const;

public slots:
    void addSource(int typeIndex);
    void delSource();
    void addFolder();
    MediaTable* getTable() const { return m_table; }
    void setSingleSelected();
    void addOutFiles(QStringList files, int row, bool inFolder);

private:
    void initUi();
    // Progress on, each path imported at `row` (moving down on success),
    // progress off; stops early when the operator takes the progress down.
    // Returns the failed paths; `done` gets the paths imported.
    QStringList importPaths(const QStringList& paths, qint64 folderKey, const QMap<QString, qint64>& oldKeys,
                            int* row, QStringList* done);
    // Marks the rows of paths already in the library for removal; their media keys by path.
    QMap<QString, qint64> markReimports(const QStringList& paths);
    // Removes the marked rows whose files were imported again, then clears every mark.
    void removeReimported(const QStringList& imported);

    MediaTable* m_table = nullptr;
    QComboBox* m_addBox = nullptr;
    QStringList m_pictureSuffixes;
    QStringList m_mediaSuffixes;
    kestrane::VideoProbe* m_probe = nullptr;
    bool m_busy = false;  // an import or deletion is running in its own event loop
};
