// Application-wide keys: Space plays and pauses the show, F1..F12 fire the
// play controls bound to them, and the geometry-correction window gets the
// keys typed in it.
#include <QDebug>
#include <QKeyEvent>
#include <QTimer>

#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/prompt.h"
#include "kestrane/timeaxishooks.h"
#include "kestrane/timeaxiswidget.h"

namespace prompt = kestrane::prompt;

namespace {

// Key code of a play control bound to no key.
constexpr int kNoKey = 0x01010002;

}  // namespace

bool MainWidget::isExcluded(QObject* watched) const {
    return m_windowNameList.contains(watched->objectName()) ||
           m_classNameList.contains(QString::fromLatin1(watched->metaObject()->className()));
}

void MainWidget::pressPlayButton() {
    TimeAxisHooks& axis = GConfig::instance().timeAxisHooks();
    if (!axis.isPlayButtonDown())
        axis.setPlayButtonDown(true);
}

void MainWidget::releasePlayButtonAndToggle() {
    GConfig& config = GConfig::instance();
    config.timeAxisHooks().setPlayButtonDown(false);
    if (config.previewPlaying())
        config.pausePlayback();
    else
        config.startPlayback();
}

bool MainWidget::eventFilter(QObject* watched, QEvent* event) {
    // A key reaches the native window first and then the focused widget:
    // only the widget's copy counts, or a text field would never see Space.
    if (!watched->isWidgetType())
        return false;
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched->objectName() == QLatin1String("GeometryCorrectionWindow"))
            GConfig::instance().handleGeometryKey(key->key());
        if (key->key() == Qt::Key_Space && !key->isAutoRepeat()) {
            if (isExcluded(watched))
                return false;
            pressPlayButton();
            return true;
        }
        if (key->key() == Qt::Key_Delete)
            qDebug() << "Delete pressed in" << watched;
        return false;
    }
    if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat())
            return false;
        if (key->key() == Qt::Key_Space) {
            if (isExcluded(watched))
                return false;
            releasePlayButtonAndToggle();
            return true;
        }
        if (key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F12) {
            qInfo() << "function key" << (key->key() - Qt::Key_F1 + 1);
            triggerFunctionKey(key->key());
            return true;
        }
    }
    return false;
}

void MainWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        pressPlayButton();
    MainWindow::keyPressEvent(event);
}

void MainWidget::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        releasePlayButtonAndToggle();
    MainWindow::keyReleaseEvent(event);
}

bool MainWidget::triggerFunctionKey(int key) {
    GConfig& config = GConfig::instance();
    for (PlayControlRecord* control : config.playControls()) {
        if (control->keyCode != key || control->type < 0 || control->type > 2)
            continue;
        // The time axis runs the cue, so that the wall follows it and a
        // later pause or stop can call off its resume.
        m_timeAxisWidget->runKeyCue(control->id);
        return true;
    }
    return false;
}

void MainWidget::addPlayControl(int kind) {
    GConfig& config = GConfig::instance();
    const int row = m_timeAxisWidget->layerRowNear(config.currentLayer());
    if (row == -1) {
        prompt::warning(this, QStringLiteral("操作出错"),
                        QStringLiteral("请先在时间轴上添加图层，然后才能添加控制命令"));
        return;
    }
    if (m_timeAxisWidget->isLayerLocked(row)) {
        prompt::warning(this, QStringLiteral("操作出错"), QStringLiteral("时间轴上的当前图层已锁定，请先解锁"));
        return;
    }
    PlayControlRecord record;
    record.time = -1;
    record.keyCode = kNoKey;
    record.id = config.nextPlayControlId();
    record.layerRow = row;
    record.type = kind;
    config.addPlayControl(record);
    config.timeAxisHooks().addPlayControlBlock(record.id);
}
