// A stage panel offscreen with the console's model behind it: fakes for the
// time axis, the main window, the side panels and the calibration dialogs,
// a recording preview, scripted prompts and chosen menu entries.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsView>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <functional>
#include <map>

#include "kestrane/deviceitem.h"
#include "kestrane/gconfig.h"
#include "kestrane/graphicsitem.h"
#include "kestrane/scene.h"
#include "kestrane/stageitems.h"
#include "kestrane/stagemenu.h"
#include "kestrane/stagepanelhooks.h"
#include "kestrane/stagewidget.h"
#include "support/QtSpin.h"
#include "support/QtWidgetTestApp.h"
#include "support/RecordingPreview.h"
#include "support/ScriptedPrompts.h"
#include "support/support.h"

// The time axis: a number of layer rows, the current one, locks, the play position.
struct FakeAxis : TimeAxisHooks {
    int rows = 1;
    int current = 0;
    int nearRow = 0;      // what layerRowNear answers
    int currentRow = 0;   // what currentLayerRow answers
    QList<int> locked;
    int position = 0;
    QStringList calls;
    std::function<void(int)> onRemoveViews;

    int playPosition() const override { return position; }
    int layerRowCount() const override { return rows; }
    int currentLayer() const override { return current; }
    int currentLayerRow() const override { return currentRow; }
    int layerRowNear(int) const override { return nearRow; }
    bool isLayerLocked(int row) const override { return locked.contains(row); }
    void pause() override { calls << "pause"; }
    void addItemToLayer(int id, int row, int layer) override {
        calls << QStringLiteral("addItemToLayer %1 %2 %3").arg(id).arg(row).arg(layer);
    }
    void removeMediaViews(int id) override {
        calls << QStringLiteral("removeViews %1").arg(id);
        if (onRemoveViews) onRemoveViews(id);
    }
    void addAnchorAtCurrentTime(int kind, int row, const QList<double>& v) override {
        calls << QStringLiteral("anchor %1 %2 %3 %4").arg(kind).arg(row).arg(v.value(0)).arg(v.value(1));
    }
};

struct FakeWindow : MainWindowHooks {
    QList<bool> waiting;
    QList<int> updates;
    void showWaiting(bool show) override { waiting << show; }
    void mediaUpdateRequest(int kind) override { updates << kind; }
};

struct FakePanels : SidePanelHooks {
    bool hasDeviceTree() const override { return true; }
};

struct FakeCalibration : CalibrationHooks {
    QList<QList<int>> layouts;
    void openMatrixLayout(const QList<int>& ids, QWidget*) override { layouts << ids; }
};

// One entry of a context menu as it was offered.
struct MenuEntry {
    QString text;
    bool enabled;
    bool visible;
};

class StageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        GConfig& g = GConfig::instance();
        g.media().clear();
        g.devices().clear();
        g.setStageZoomValue(0.125);
        g.setEditModeValue(1);
        g.setConnected(false);
        g.setMagnet(false);
        g.setHandToolValue(false);
        g.setMoveConstraint(0);
        g.setRealtimeUpdate(false);
        g.setPreviewPlaying(false);
        g.setPreview(&preview);
        g.setTimeAxisHooks(&axis);
        g.setMainWindowHooks(&window);
        g.setSidePanelHooks(&panels);
        g.setCalibrationHooks(&calibration);
        widget = new StageWidget;
        hooks = new StagePanelHooks(widget);
        g.setStageHooks(hooks);
        widget->resize(1000, 700);
        widget->show();
        QApplication::setActiveWindow(widget);
        widget->view()->setFocus();
        stage::setMenuRunner([this](QMenu* menu, const QPoint&) -> QAction* {
            menuEntries.clear();
            for (QAction* a : menu->actions())
                if (!a->isSeparator()) menuEntries.push_back({a->text(), a->isEnabled(), a->isVisible()});
            for (QAction* a : menu->actions())
                if (a->text() == menuChoice) return a;
            return nullptr;
        });
    }
    void TearDown() override {
        stage::setMenuRunner({});
        GConfig& g = GConfig::instance();
        g.setStageHooks(nullptr);
        delete widget;
        delete hooks;
        g.media().clear();
        g.devices().clear();
        g.setTimeAxisHooks(nullptr);
        g.setMainWindowHooks(nullptr);
        g.setSidePanelHooks(nullptr);
        g.setCalibrationHooks(nullptr);
        g.setPreview(nullptr);
        QCoreApplication::processEvents();
    }

    Scene* scene() const { return widget->scene(); }
    StageView* view() const { return widget->view(); }

    // A device record of that size at a stage place, with its item.
    int addDevice(int w, int h, double x, double y, qint64 group = 0, const QString& name = "dev") {
        GConfig& g = GConfig::instance();
        const int id = g.nextDeviceId();
        DeviceRecord d;
        d.name = name;
        d.serverIp = "127.0.0.1";
        d.width = w;
        d.height = h;
        d.stageX = x;
        d.stageY = y;
        d.groupStamp = group;
        g.devices().insert(id, d);
        auto* item = new DeviceItem(id, true);
        item->setData(stage::kIdKey, id);
        item->setData(stage::kTypeKey, stage::kDeviceType);
        scene()->addItem(item);
        g.device(id)->stageItem = item;
        return id;
    }

    // A picture file of one colour.
    QString picture(int w, int h, const QColor& c, const QString& name = "pic.png") {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(c);
        const QString path = QString::fromStdString((dir / name.toStdString()).string());
        image.save(path);
        return path;
    }

    // A picture record placed on the stage with its item (kind 1).
    GraphicsItem* addPicture(double x, double y, double w, double h, int start = 0, int duration = 10000,
                             const QColor& c = Qt::red) {
        GConfig& g = GConfig::instance();
        const int id = g.nextMediaId();
        MediaSource m;
        m.kind = 1;
        m.path = picture(int(w), int(h), c, QStringLiteral("pic%1.png").arg(id));
        m.x = x;
        m.y = y;
        m.width = w;
        m.height = h;
        m.nativeWidth = int(w);
        m.nativeHeight = int(h);
        m.start = start;
        m.duration = duration;
        m.layer = 0;
        m.id = id;
        g.setMediaRecord(m, id);
        hooks->addMediaItem(id);
        auto* item = dynamic_cast<GraphicsItem*>(scene()->stageItem(id, stage::kMediaType));
        item->show();
        return item;
    }

    // The mime of a drag from the media library.
    static QMimeData* mediaMime(const MediaSource& m, int selectedNum = 1, const QString& mediaType = "item") {
        auto* mime = new QMimeData;
        mime->setText(m.fileName);
        mime->setProperty("sourceType", QStringLiteral("media"));
        mime->setProperty("mediaType", mediaType);
        mime->setProperty("mediaSource", QVariant::fromValue(m));
        mime->setProperty("selectedNum", selectedNum);
        return mime;
    }

    // Delivers a drop of `mime` at a scene point; true when accepted by the drag test.
    bool dragOver(QMimeData* mime, const QPointF& at) {
        QGraphicsSceneDragDropEvent move(QEvent::GraphicsSceneDragMove);
        move.setScenePos(at);
        move.setMimeData(mime);
        move.setAccepted(false);
        QCoreApplication::sendEvent(scene(), &move);
        return move.isAccepted();
    }
    void drop(QMimeData* mime, const QPointF& at) {
        QGraphicsSceneDragDropEvent ev(QEvent::GraphicsSceneDrop);
        ev.setScenePos(at);
        ev.setMimeData(mime);
        QCoreApplication::sendEvent(scene(), &ev);
    }

    // Mouse events on the view at scene points.
    void mouse(QEvent::Type type, const QPointF& scenePt, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const QPoint local = view()->mapFromScene(scenePt);
        QMouseEvent ev(type, QPointF(local), QPointF(view()->viewport()->mapToGlobal(local)), button, buttons, mods);
        QCoreApplication::sendEvent(view()->viewport(), &ev);
    }
    void drag(const QPointF& from, const QPointF& to, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers mods = Qt::NoModifier, int steps = 4) {
        mouse(QEvent::MouseButtonPress, from, button, button, mods);
        for (int i = 1; i <= steps; ++i)
            mouse(QEvent::MouseMove, from + (to - from) * (double(i) / steps), Qt::NoButton, button, mods);
        mouse(QEvent::MouseButtonRelease, to, button, Qt::NoButton, mods);
    }
    void key(QEvent::Type type, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent ev(type, k, mods);
        QCoreApplication::sendEvent(scene(), &ev);
    }

    // The scene drawn 1:1 in scene units from its corner.
    QImage render(int w = 600, int h = 400) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(QColor("#191919"));
        QPainter p(&image);
        scene()->render(&p, QRectF(0, 0, w, h), QRectF(0, 0, w, h));
        return image;
    }
    static void save(const QImage& image, const QString& name) {
        const QString dirPath = QStringLiteral(SV_BINARY_DIR) + "/artefacts";
        QDir().mkpath(dirPath);
        image.save(dirPath + "/" + name + ".png");
    }

    testsupport::TempDir dir;
    RecordingPreview preview;
    FakeAxis axis;
    FakeWindow window;
    FakePanels panels;
    FakeCalibration calibration;
    StageWidget* widget = nullptr;
    StagePanelHooks* hooks = nullptr;
    QString menuChoice;
    std::vector<MenuEntry> menuEntries;
};

inline bool near(QRgb c, const QColor& want, int tol = 40) {
    return std::abs(qRed(c) - want.red()) <= tol && std::abs(qGreen(c) - want.green()) <= tol &&
           std::abs(qBlue(c) - want.blue()) <= tol;
}
