// The media panels on the offscreen platform: a media sidebar with its
// hooks installed, scripted answers to its boxes and dialogs, a main window
// stand-in that records the busy overlay and the progress and can cancel,
// and a scripted video probe.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QDropEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "kestrane/gconfig.h"
#include "kestrane/medialist.h"
#include "kestrane/mediasidebar.h"
#include "kestrane/mediatable.h"
#include "kestrane/videoprobe.h"
#include "support/QtSpin.h"
#include "support/QtWidgetTestApp.h"
#include "support/ScriptedPrompts.h"
#include "support/support.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << s.toStdString(); }

// Records what the library asks of the main window; the progress is taken
// down (the import cancelled) once `cancelAfter` files were reported.
class WindowRecorder : public MainWindowHooks {
public:
    void showWaiting(bool show) override { calls << (show ? "wait+" : "wait-"); }
    bool isWaitingHidden() const override { return cancelAfter >= 0 && reported >= cancelAfter; }
    void showProgress(bool show) override { calls << (show ? "progress+" : "progress-"); }
    void updateProgress(int current, int total, const QString& name) override {
        ++reported;
        calls << QStringLiteral("%1/%2 %3").arg(current).arg(total).arg(name);
        if (onProgress) onProgress();
    }
    std::function<void()> onProgress;  // runs inside the import's loop
    QStringList calls;
    int reported = 0;
    int cancelAfter = -1;
};

// Answers per file name: "nohandle" in the name refuses to open, "noinfo"
// gives no information, "noframe" a null picture; else a 16 x 8 picture of
// one colour, 3 s.
class ScriptedProbe : public kestrane::VideoProbe {
public:
    void* open(const QString& path) override {
        opened << path;
        if (path.contains(QLatin1String("nohandle"))) return nullptr;
        m_paths.insert(++m_next, path);
        return reinterpret_cast<void*>(quintptr(m_next));
    }
    bool hasPicture(void*) const override { return true; }
    bool info(void* handle, kestrane::VideoProbeInfo* info) override {
        const QString path = m_paths.value(int(quintptr(handle)));
        if (path.contains(QLatin1String("noinfo"))) return false;
        info->duration = 3;
        if (path.contains(QLatin1String("noframe"))) return true;
        info->width = 16;
        info->height = 8;
        info->frame = QImage(16, 8, QImage::Format_RGB888);
        info->frame.fill(QColor(200, 40, 40));
        return true;
    }
    void close(void* handle) override { closed << int(quintptr(handle)); }
    QStringList opened;
    QList<int> closed;

private:
    QMap<int, QString> m_paths;
    int m_next = 0;
};

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        static QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        testApp();
        GConfig& c = GConfig::instance();
        c.setMainWindowHooks(&window);
        sidebar = std::make_unique<MediaSidebar>();
        sidebar->resize(300, 500);
        sidebar->show();
        list()->setVideoProbe(&probe);
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        GConfig& c = GConfig::instance();
        c.clearProject();
        sidebar.reset();
        c.setMainWindowHooks(nullptr);
        c.setSaved(true);
        QCoreApplication::processEvents();
    }

    MediaList* list() const { return sidebar->mediaList(); }
    MediaTable* table() const { return list()->getTable(); }
    QList<MediaSource>& library() const { return GConfig::instance().mediaLibrary(); }

    // The project's list and the rows name the same entries in the same order.
    void expectListMatchesRows() const {
        ASSERT_EQ(library().size(), table()->rowCount());
        for (int i = 0; i < table()->rowCount(); ++i) {
            const MediaSource row = table()->rowRecord(i);
            EXPECT_EQ(library().at(i).kind, row.kind) << "row " << i;
            EXPECT_EQ(library().at(i).path, row.path) << "row " << i;
            EXPECT_EQ(library().at(i).folderKey, row.folderKey) << "row " << i;
            EXPECT_EQ(library().at(i).sourceKey, row.sourceKey) << "row " << i;
        }
    }
    // Row names top to bottom: a folder as "[name]", a member as "  name".
    QStringList layout() const {
        QStringList out;
        for (int i = 0; i < table()->rowCount(); ++i) {
            const MediaSource r = table()->rowRecord(i);
            if (r.kind == MediaTable::kFolderKind)
                out << QStringLiteral("[%1]").arg(r.path);
            else
                out << (r.folderKey > 0 ? QStringLiteral("  ") : QString()) + r.path;
        }
        return out;
    }

    static MediaSource media(const QString& path, int duration = 5000) {
        MediaSource m;
        m.kind = 0;
        m.path = path;
        m.fileName = path;
        m.duration = duration;
        static qint64 key = 1000;
        m.sourceKey = ++key;
        QImage thumb(45, 34, QImage::Format_RGB32);
        thumb.fill(QColor(60, 120, 200));
        m.thumbnail = thumb;
        return m;
    }
    static MediaSource folder(const QString& name, qint64 key, bool collapsed = false) {
        MediaSource f;
        f.kind = MediaTable::kFolderKind;
        f.path = name;
        f.folderKey = key;
        f.collapsed = collapsed;
        return f;
    }
    // Appends rows at the end, as a loaded project has them.
    void appendMedia(const QString& path, qint64 folderKey = 0) {
        table()->insertMediaRow(media(path), table()->rowCount(), folderKey);
        table()->updateMediaOrder();
    }
    void appendFolder(const QString& name, qint64 key, bool collapsed = false) {
        table()->insertFolderRow(folder(name, key, collapsed), table()->rowCount());
        table()->updateMediaOrder();
    }
    void selectRows(const QList<int>& rows) {
        table()->clearSelection();
        for (int r : rows) table()->setRangeSelected(QTableWidgetSelectionRange(r, 0, r, 3), true);
    }

    // A drop as the window system delivers it: an enter makes the table the
    // drag's target, then the drop (each drop ends the drag).
    void dropAt(const QMimeData* data, const QPoint& pos, Qt::DropAction action = Qt::MoveAction) {
        QDragEnterEvent enter(pos, action, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(table()->viewport(), &enter);
        QDropEvent drop(pos, action, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(table()->viewport(), &drop);
    }

    // A file made by the ffmpeg tool in the test's folder.
    QString makeMedia(const QString& name, const QString& args) {
        const QString out = QString::fromStdString((dir / name.toStdString()).string());
        int status = -1;
        const std::string text = testsupport::RunShell("ffmpeg -nostdin -loglevel error -y " + args.toStdString() +
                                                       " '" + out.toStdString() + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << text;
        return out;
    }

    WindowRecorder window;
    ScriptedProbe probe;
    ScriptedPrompts prompts;
    testsupport::TempDir dir;
    std::unique_ptr<MediaSidebar> sidebar;
};
