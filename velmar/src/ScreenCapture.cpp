#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "Media.h"
#include "platform/xgrab.h"
#include "util/Util.h"

namespace velmar {
namespace {

// Display number of "\\.\DISPLAYn" (n >= 1), 0 for an empty name, -1 for
// anything else.
int DisplayNumber(const std::string& name) {
    if (name.empty()) return 0;
    static const char kPrefix[] = "\\\\.\\DISPLAY";
    const size_t n = sizeof(kPrefix) - 1;
    if (name.size() <= n || name.size() > n + 6) return -1;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != kPrefix[i]) return -1;
    int number = 0;
    for (size_t i = n; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number >= 1 ? number : -1;
}

// The display's place on the X screen. With an application object the
// displays are its screens in their order; without one only the whole
// screen is known, as display 1.
bool FindDisplay(const std::string& name, RECT& rect) {
    const int number = DisplayNumber(name);
    if (number < 0) return false;
    if (qGuiApp && QThread::currentThread() == qGuiApp->thread()) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        QScreen* screen = number == 0 ? QGuiApplication::primaryScreen()
                          : number <= screens.size() ? screens[number - 1] : nullptr;
        if (!screen) return false;
        const QRect g = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        rect = RECT{static_cast<int32_t>(g.x() * ratio), static_cast<int32_t>(g.y() * ratio),
                    static_cast<int32_t>((g.x() + g.width()) * ratio),
                    static_cast<int32_t>((g.y() + g.height()) * ratio)};
        return g.width() > 0 && g.height() > 0;
    }
    int32_t w = 0, h = 0;
    if (number > 1 || !platform::ScreenSize(w, h)) return false;
    rect = RECT{0, 0, w, h};
    return w > 0 && h > 0;
}

}  // namespace

CScreenCapGDI::CScreenCapGDI() : MediaBaseClass(kKindScreen) {}

CScreenCapGDI::~CScreenCapGDI() { CScreenCapGDI::Close(); }

bool CScreenCapGDI::LoadResource(const std::string& display, int32_t layer, int32_t a2, int32_t split) {
    Close();
    m_nLayer = layer;
    m_nArg2 = a2;
    m_nSplit = split;
    RECT rect{};
    if (!FindDisplay(display, rect)) {
        LOGTEXT::LogError("CScreenCapGDI::LoadResource,EnumDisplaySettings error!");
        return false;
    }
    auto grabber = std::make_unique<platform::ScreenGrabber>();
    if (!grabber->Open(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top)) {
        LOGTEXT::LogError("CScreenCapGDI::LoadResource, cannot grab %s: %s", display.c_str(),
                          grabber->LastError().c_str());
        return false;
    }
    m_rcDisplay = RECT{grabber->X(), grabber->Y(), grabber->X() + grabber->Width(), grabber->Y() + grabber->Height()};
    {
        auto lock = LockFrame();
        m_nWidth = grabber->Width();
        m_nHeight = grabber->Height();
        m_nBitsPerPixel = 24;
        m_nStride = (m_nWidth * 3 + 3) / 4 * 4;
        m_nFrameSize = m_nStride * m_nHeight;
        m_fAspect = static_cast<float>(m_nWidth) / static_cast<float>(m_nHeight);
        ReserveFrameLocked(static_cast<size_t>(m_nFrameSize));
    }
    m_path = display;
    m_grabber = std::move(grabber);
    m_bLoaded = 1;
    if (!m_grabThread.Start([this](platform::StoppableThread& self) {
            while (self.SleepFor(5)) Grab();
        }, "velmar-grab")) {
        Close();
        return false;
    }
    return true;
}

void CScreenCapGDI::Grab() {
    if (!m_grabber->Capture()) return;
    platform::CursorShot cursor;
    const bool haveCursor = m_grabber->ReadCursor(cursor) && cursor.x >= m_rcDisplay.left &&
                            cursor.x < m_rcDisplay.right && cursor.y >= m_rcDisplay.top &&
                            cursor.y < m_rcDisplay.bottom;
    // Converted outside the frame lock, which readers of the frame take;
    // only the copy into the frame is done under it.
    const int32_t width = m_rcDisplay.right - m_rcDisplay.left, height = m_rcDisplay.bottom - m_rcDisplay.top;
    const int32_t stride = (width * 3 + 3) / 4 * 4;
    m_staged.resize(static_cast<size_t>(stride) * height);
    m_grabber->CopyBottomUpBgr(m_staged.data(), stride);
    if (haveCursor)
        platform::DrawCursorBottomUp(m_staged.data(), stride, width, height, m_rcDisplay.left, m_rcDisplay.top, cursor);
    BITMAPINFOHEADER header;
    {
        auto lock = LockFrame();
        std::memcpy(m_frame.data(), m_staged.data(), std::min(m_frame.size(), m_staged.size()));
        m_bNewFrame = true;
        header = FormatLocked();
    }
    Notify(&header, 0.0, 0.0, 0, m_nState.load());
}

bool CScreenCapGDI::Close() {
    // The grab thread ends between two grabs; an X call in progress returns.
    m_grabThread.Stop();
    if (m_grabber) m_grabber->Close();
    m_grabber.reset();
    m_bLoaded = 0;
    return true;
}

}  // namespace velmar
