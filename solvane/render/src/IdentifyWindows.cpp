#include "render/IdentifyWindows.h"

#include <QFont>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <QRasterWindow>
#include <QTimer>

#include <algorithm>

#include "channel/Displays.h"
#include "util/Util.h"

namespace {

// A display's number in large white digits on black.
class NumberWindow : public QRasterWindow {
public:
    NumberWindow(int number, const RECT& area) : m_number(number) {
        setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
        setGeometry(area.left, area.top, area.right - area.left, area.bottom - area.top);
        setTitle(QStringLiteral("%1").arg(number));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(QRect(0, 0, width(), height()), Qt::black);
        QFont font = p.font();
        font.setPixelSize(std::max(8, std::min(width(), height()) / 2));
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, width(), height()), Qt::AlignCenter, QString::number(m_number));
    }

private:
    int m_number;
};

}  // namespace

struct IdentifyWindows::Impl {
    int showMs = kShowMs;
    std::vector<std::unique_ptr<NumberWindow>> windows;
    QTimer closer;
};

IdentifyWindows::IdentifyWindows(int showMs) : d(std::make_unique<Impl>()) {
    d->showMs = showMs;
    d->closer.setSingleShot(true);
    QObject::connect(&d->closer, &QTimer::timeout, this, [this] { d->windows.clear(); });
    QPointer<IdentifyWindows> self(this);
    // Command handlers ask on their own threads: the windows are made on
    // this object's thread, and the caller returns at once.
    SetIdentifyPresenter([self](const std::vector<MY_MONITORINFO>& displays) {
        if (!self) return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, displays] {
                if (!self) return;
                self->d->windows.clear();
                for (const MY_MONITORINFO& m : displays) {
                    if (m.monitor.right <= m.monitor.left || m.monitor.bottom <= m.monitor.top) continue;
                    auto w = std::make_unique<NumberWindow>(m.number, m.monitor);
                    w->show();
                    self->d->windows.push_back(std::move(w));
                }
                LOGTEXT::LogInfo("identify displays: %zu numbers shown.", self->d->windows.size());
                self->d->closer.start(self->d->showMs);
            },
            Qt::QueuedConnection);
    });
}

IdentifyWindows::~IdentifyWindows() { SetIdentifyPresenter({}); }

std::vector<QWindow*> IdentifyWindows::Windows() const {
    std::vector<QWindow*> out;
    for (const auto& w : d->windows) out.push_back(w.get());
    return out;
}
