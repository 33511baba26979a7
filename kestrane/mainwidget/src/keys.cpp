// Application-wide keys: Space plays and pauses the show, F1..F12 fire the
// play controls bound to them, and the geometry-correction window gets the
// keys typed in it.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QKeySequenceEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWindow>
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
    if (m_classNameList.contains(QString::fromLatin1(watched->metaObject()->className())) ||
        m_windowNameList.contains(watched->objectName()))
        return true;
    // The window names belong to the native windows of the dialogs, not to
    // any widget: look them up through the widget's top-level window, and
    // the class names along the way, so that a control inside a listed
    // dialog counts as the dialog.
    auto* widget = qobject_cast<QWidget*>(watched);
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (m_classNameList.contains(QString::fromLatin1(w->metaObject()->className())))
            return true;
        if (w->isWindow()) {
            const QWindow* handle = w->windowHandle();
            return handle && m_windowNameList.contains(handle->objectName());
        }
    }
    return false;
}

namespace {

// Controls that give Space (or typing) a meaning of their own: text and
// number fields (also the editor an item view opens for a rename), buttons,
// check and radio boxes, combo boxes.
bool takesSpace(const QWidget* w) {
    if (!w)
        return false;
    if (const auto* line = qobject_cast<const QLineEdit*>(w))
        return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(w))
        return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(w))
        return !plain->isReadOnly();
    return qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QKeySequenceEdit*>(w);
}

}  // namespace

bool MainWidget::keyDrivesShow(QObject* watched, bool functionKey) const {
    auto* widget = qobject_cast<QWidget*>(watched);
    // Keys typed in another window (a dialog, the file chooser, a menu)
    // belong to that window, whatever has the focus in it.
    if (!widget || widget->window() != this)
        return false;
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;
    // A function key means nothing to a field, so only the window decides.
    if (functionKey)
        return true;
    QWidget* focus = QApplication::focusWidget();
    if (isExcluded(watched) || (focus && isExcluded(focus)))
        return false;
    return !takesSpace(focus) && !takesSpace(widget);
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
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // The geometry dialog's keys are taken from its native window, which
        // sees every key typed in the dialog exactly once, whichever of its
        // controls has the focus.
        if (watched->isWindowType()) {
            if (watched->objectName() == QLatin1String("GeometryCorrectionWindow") &&
                GConfig::instance().geometryDialog)
                GConfig::instance().handleGeometryKey(key->key());
            return false;
        }
        // A key reaches the native window first and then the focused widget:
        // only the widget's copy counts, or a text field would never see Space.
        if (!watched->isWidgetType())
            return false;
        if (key->key() == Qt::Key_Space && !key->isAutoRepeat()) {
            if (!keyDrivesShow(watched, false))
                return false;
            pressPlayButton();
            return true;
        }
        if (key->key() == Qt::Key_Delete)
            qDebug() << "Delete pressed in" << watched;
        return false;
    }
    if (event->type() == QEvent::KeyRelease) {
        if (!watched->isWidgetType())
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat())
            return false;
        if (key->key() == Qt::Key_Space) {
            if (!keyDrivesShow(watched, false))
                return false;
            releasePlayButtonAndToggle();
            return true;
        }
        if (key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F12) {
            if (!keyDrivesShow(watched, true))
                return false;
            qInfo() << "function key" << (key->key() - Qt::Key_F1 + 1);
            triggerFunctionKey(key->key());
            return true;
        }
    }
    return false;
}

void MainWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && keyDrivesShow(this, false))
        pressPlayButton();
    MainWindow::keyPressEvent(event);
}

void MainWidget::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && keyDrivesShow(this, false))
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
