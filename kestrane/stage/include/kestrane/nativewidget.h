// The geometry editor's live preview: the background picture drawn through
// the device's warp grid by the media rendering library into an OpenGL
// window of its own, embedded over this widget. Mouse events of that window
// come back here; the editing rules live in WarpEditModel.
#pragma once

#include <QString>
#include <QWidget>

#include "kestrane/warpeditmodel.h"

class QTimer;
class QWindow;
class PreviewWindow;

class NativeWidget : public QWidget {
    Q_OBJECT
public:
    explicit NativeWidget(QWidget* parent = nullptr);
    ~NativeWidget() override;

    // Set by the dialog before the first turn of the event loop.
    void setPicturePath(const QString& path) { m_picturePath = path; }
    QString picturePath() const { return m_picturePath; }
    void setDeviceId(int id) { m_model.setDeviceId(id); }
    int deviceId() const { return m_model.deviceId(); }

    // Replaces the background picture; one that cannot be read is ignored.
    void loadImage(const QString& path);
    void rotate(double angle) { m_model.rotate(angle); }
    void setAdjustMode(int mode, int mirrorFlags, bool keepSelection) {
        m_model.setAdjustMode(mode, mirrorFlags, keepSelection);
    }
    void setDevice(int id) { m_model.setDevice(id); }
    void handleKey(int key) { m_model.handleKey(key); }
    // After the current event: the view rectangle from the widget's size.
    void updateViewRectLater();

    WarpEditModel& model() { return m_model; }
    const WarpEditModel& model() const { return m_model; }
    // The embedded OpenGL window (null before the deferred initialisation).
    QWindow* previewWindow() const;
    // True once the rendering library took the window; false where OpenGL
    // is missing (the offscreen platform), and nothing is drawn then.
    bool isDrawing() const { return m_drawing; }
    bool isInitialised() const { return m_initialised; }

signals:
    // Declared for the dialog to connect; the view itself emits neither.
    void changeAngleValue(double value);
    void quitFullScreen();

public slots:
    void initNativeWidget();
    void render();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Where a drag's pointer position puts the dragged point in the model.
    QPoint dragTarget(const QPoint& pos) const;

    WarpEditModel m_model;
    QPoint m_pressPos;
    QTimer* m_renderTimer = nullptr;
    QString m_picturePath;
    PreviewWindow* m_window = nullptr;
    QWidget* m_container = nullptr;
    bool m_drawing = false;
    bool m_initialised = false;
};
