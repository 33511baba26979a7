#include "kestrane/nativewidget.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QSurfaceFormat>
#include <QTimer>
#include <QWindow>

#include "kestrane/pictureprobe.h"
#include "velmar/imagepreview.h"

// The OpenGL window the rendering library draws into. It takes no focus;
// its mouse events go to the view under it, and a key that still reaches it
// goes on to the dialog's own window, where the console's key filter
// expects it.
class PreviewWindow : public QWindow {
public:
    explicit PreviewWindow(NativeWidget* view) : m_view(view) {
        setSurfaceType(QSurface::OpenGLSurface);
        setFlag(Qt::WindowDoesNotAcceptFocus, true);
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setRedBufferSize(8);
        format.setGreenBufferSize(8);
        format.setBlueBufferSize(8);
        format.setDepthBufferSize(24);
        format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
        setFormat(format);
        setObjectName(QStringLiteral("NativeWidgetPreview"));
    }

protected:
    void mousePressEvent(QMouseEvent* e) override { forward(e); }
    void mouseMoveEvent(QMouseEvent* e) override { forward(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { forward(e); }
    void keyPressEvent(QKeyEvent* e) override { forwardKey(e); }
    void keyReleaseEvent(QKeyEvent* e) override { forwardKey(e); }

private:
    void forward(QMouseEvent* e) {
        if (!m_view) return;
        // The window covers the view from its top-left corner.
        QMouseEvent copy(e->type(), e->localPos(), e->windowPos(), e->screenPos(), e->button(), e->buttons(),
                         e->modifiers());
        QCoreApplication::sendEvent(m_view, &copy);
        e->setAccepted(copy.isAccepted());
    }
    void forwardKey(QKeyEvent* e) {
        QWidget* top = m_view ? m_view->window() : nullptr;
        if (!top || !top->windowHandle()) return;
        QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text(), e->isAutoRepeat(), ushort(e->count()));
        QCoreApplication::sendEvent(top->windowHandle(), &copy);
    }

    QPointer<NativeWidget> m_view;
};

NativeWidget::NativeWidget(QWidget* parent) : QWidget(parent) {
    // After the dialog has set the picture and the device.
    QTimer::singleShot(0, this, &NativeWidget::initNativeWidget);
}

NativeWidget::~NativeWidget() {
    if (m_renderTimer) m_renderTimer->stop();
    // The context goes before its window does.
    if (m_drawing) Kestrane_UninitImageContext();
}

QWindow* NativeWidget::previewWindow() const { return m_window; }

void NativeWidget::initNativeWidget() {
    if (m_initialised) return;
    m_initialised = true;
    m_window = new PreviewWindow(this);
    m_container = QWidget::createWindowContainer(m_window, this);
    m_container->setObjectName(QStringLiteral("nativePreview"));
    m_container->setFocusPolicy(Qt::NoFocus);
    m_container->setGeometry(rect());
    m_container->show();
    if (!m_window->handle()) m_window->create();
    m_drawing = Kestrane_InitImageContext(m_window) == 1;
    if (!m_drawing) qWarning() << "no OpenGL for the warp preview; nothing is drawn";
    loadImage(m_picturePath);
    m_model.init();
    if (m_drawing) {
        m_renderTimer = new QTimer(this);
        m_renderTimer->setInterval(60);
        connect(m_renderTimer, &QTimer::timeout, this, &NativeWidget::render);
        m_renderTimer->start();
    }
}

void NativeWidget::loadImage(const QString& path) {
    // The header's size is checked before the picture is decoded.
    const QPixmap picture = QPixmap::fromImage(kestrane::readPicture(path));
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0) return;
    m_picturePath = path;
    m_model.setViewRect(WarpEditModel::viewRectFor(width(), height()));
    Kestrane_LoadImage(QFile::encodeName(path).constData());
}

void NativeWidget::updateViewRectLater() {
    QTimer::singleShot(0, this, [this] { m_model.setViewRect(WarpEditModel::viewRectFor(width(), height())); });
}

void NativeWidget::render() {
    if (!m_drawing) return;
    const WarpEditModel::ViewRect r = m_model.viewRect();
    const RECT rect{r.left, r.top, r.right, r.bottom};
    Kestrane_DrawImage(&rect, m_model.grid(), 41, 41);
}

void NativeWidget::mousePressEvent(QMouseEvent* event) {
    m_pressPos = event->pos();
    m_model.press(event->pos());
}

void NativeWidget::mouseMoveEvent(QMouseEvent* event) { m_model.move(dragTarget(event->pos())); }

QPoint NativeWidget::dragTarget(const QPoint& pos) const {
    if (m_model.adjustMode() != WarpEditModel::NinePoints || !m_model.dragging()) return pos;
    // The nine-point grid is a quadratic patch over its points and passes
    // through the corner points only: the middle of an edge follows its point
    // by half the travel, the centre by a quarter. The point goes as far as
    // brings the handle (drawn on the grid) under the pointer.
    const int k = m_model.dragIndex();
    const int factor = k < 4 ? 1 : (k < 8 ? 2 : 4);
    return m_pressPos + (pos - m_pressPos) * factor;
}

void NativeWidget::mouseReleaseEvent(QMouseEvent* event) {
    m_model.release(event->pos(), event->modifiers());
}

void NativeWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_container) m_container->setGeometry(rect());
    // The picture follows the widget: full screen and back settle their size
    // only after the switch, later than any queued update would look.
    m_model.setViewRect(WarpEditModel::viewRectFor(width(), height()));
}
