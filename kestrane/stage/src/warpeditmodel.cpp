#include "kestrane/warpeditmodel.h"

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kestrane/gconfig.h"
#include "velmar/warp.h"

namespace {

constexpr int kSide = 41;

bool inSquare(const DOUBLE_POINT& p) {
    const double x = p.x, y = p.y;
    // Also false for NaN (a view rectangle without width or height).
    return x >= -1.0 && x <= 1.0 && y >= -1.0 && y <= 1.0;
}

int truncToInt(double v) {
    if (!std::isfinite(v)) return 0;
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return static_cast<int>(v);
}

}  // namespace

WarpEditModel::WarpEditModel() {
    for (int k = 0; k < 9; ++k) {
        m_controlPoints[k] = kestrane::kDefaultControlPoints[k];
        m_pressControlPoints[k] = m_controlPoints[k];
    }
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j) {
            m_grid[i][j] = DOUBLE_POINT{-1.0 + i / 20.0, -1.0 + j / 20.0};
            m_pressGrid[i][j] = m_grid[i][j];
        }
    std::memset(m_selection, 0, sizeof m_selection);
}

// ---------------------------------------------------------------------------
// Mapping

QPoint WarpEditModel::toScreen(const DOUBLE_POINT& p) const {
    const double x = p.x, y = p.y;
    const ViewRect& r = m_viewRect;
    return QPoint(truncToInt(r.left + (r.right - r.left) * (x + 1.0) * 0.5),
                  truncToInt(r.bottom - (r.bottom - r.top) * (y + 1.0) * 0.5));
}

DOUBLE_POINT WarpEditModel::toNormalized(const QPoint& p) const {
    const ViewRect& r = m_viewRect;
    const int nx = 2 * (p.x() - r.left), dx = r.right - r.left;
    const int ny = 2 * (r.bottom - p.y()), dy = r.bottom - r.top;
    return DOUBLE_POINT{double(nx) / double(dx) - 1.0, double(ny) / double(dy) - 1.0};
}

WarpEditModel::ViewRect WarpEditModel::viewRectFor(int width, int height) {
    return ViewRect{25, 25, (width - 1) - 24, (height - 1) - 24};
}

void WarpEditModel::setViewRect(const ViewRect& r) {
    m_viewRect = r;
    controlPointsToScreen();
}

DOUBLE_POINT WarpEditModel::normalizedDelta(const QPoint& from, const QPoint& to) const {
    const DOUBLE_POINT a = toNormalized(from), b = toNormalized(to);
    return DOUBLE_POINT{b.x - a.x, b.y - a.y};
}

void WarpEditModel::computeVertexScreenPoints() {
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j) m_vertexScreenPoints[i][j] = toScreen(m_grid[i][j]);
}

void WarpEditModel::controlPointsToScreen() {
    for (int k = 0; k < 9; ++k) m_controlScreenPoints[k] = toScreen(m_controlPoints[k]);
}

void WarpEditModel::syncControlPoints() {
    for (int k = 0; k < 9; ++k) {
        const Index c = controlIndex(k);
        m_controlPoints[k] = m_grid[c.i][c.j];
    }
}

// ---------------------------------------------------------------------------
// Record

void WarpEditModel::loadFromRecord() {
    if (const DeviceRecord* d = GConfig::instance().device(m_deviceId)) {
        std::memcpy(m_grid, d->grid, sizeof m_grid);
        m_angle = d->angle;
        m_adjustMode = d->adjustMode;
        m_mirrorFlags = d->adjustValue;
        std::memcpy(m_controlPoints, d->controlPoints, sizeof m_controlPoints);
    }
    controlPointsToScreen();
}

void WarpEditModel::saveToRecord() {
    DeviceRecord* d = GConfig::instance().device(m_deviceId);
    if (!d) return;
    std::memcpy(d->grid, m_grid, sizeof m_grid);
    d->adjustMode = m_adjustMode;
    d->adjustValue = m_mirrorFlags;
    d->angle = m_angle;
    std::memcpy(d->controlPoints, m_controlPoints, sizeof m_controlPoints);
}

void WarpEditModel::reloadAngle() {
    if (const DeviceRecord* d = GConfig::instance().device(m_deviceId)) m_angle = d->angle;
}

void WarpEditModel::send() {
    GConfig& config = GConfig::instance();
    if (!config.device(m_deviceId)) return;
    ++m_sendCount;
    config.sendVertexData(m_deviceId);
    config.setSaved(false);
}

void WarpEditModel::storeAndSend() {
    if (!GConfig::instance().device(m_deviceId)) return;
    saveToRecord();
    reloadAngle();
    send();
}

void WarpEditModel::init() {
    loadFromRecord();
    reloadAngle();
    Kestrane_SetAdjustMode(m_adjustMode, m_mirrorFlags);
    Kestrane_ChooseVertex2(m_currentControl.i, m_currentControl.j);
}

void WarpEditModel::setDevice(int id) {
    m_deviceId = id;
    m_anchor = Index{};
    std::memset(m_selection, 0, sizeof m_selection);
    loadFromRecord();
    reloadAngle();
    Kestrane_SetAdjustMode(m_adjustMode, m_mirrorFlags);
    chooseSelection();
    // A current point the new device's mode does not offer could never be
    // moved by the arrows nor reached by W/A/S/D.
    if (!currentControlFitsMode()) {
        m_currentControl = Index{0, 40};
        Kestrane_ChooseVertex2(0, 40);
    }
}

// ---------------------------------------------------------------------------
// Selection and control points

WarpEditModel::Index WarpEditModel::controlIndex(int k) {
    if (k < 0 || k > 8) return Index{};
    return Index{kestrane::kControlPointIndex[k][0], kestrane::kControlPointIndex[k][1]};
}

int WarpEditModel::currentControlIndex() const {
    for (int k = 0; k < 9; ++k)
        if (controlIndex(k) == m_currentControl) return k;
    return -1;
}

bool WarpEditModel::currentControlFitsMode() const {
    const int k = currentControlIndex();
    if (m_adjustMode == FourPoints) return k >= 0 && k <= 3;
    if (m_adjustMode == NinePoints) return k >= 0;
    return true;
}

int WarpEditModel::selectedCount() const {
    int n = 0;
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j) n += m_selection[i][j] ? 1 : 0;
    return n;
}

WarpEditModel::Index WarpEditModel::firstSelectedVertex() const {
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j)
            if (m_selection[i][j]) return Index{i, j};
    return Index{};
}

void WarpEditModel::chooseSelection() const { Kestrane_ChooseVertex(m_selection); }

WarpEditModel::Index WarpEditModel::hitVertex(const QPoint& pos) const {
    Index best;
    int bestDistance = 0;
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j) {
            const QPoint& v = m_vertexScreenPoints[i][j];
            const int d = std::abs(v.x() - pos.x()) + std::abs(v.y() - pos.y());
            if (!best.valid() || d < bestDistance) {
                best = Index{i, j};
                bestDistance = d;
            }
        }
    return bestDistance < kHitDistance ? best : Index{};
}

// ---------------------------------------------------------------------------
// Edits

void WarpEditModel::rotate(double newAngle) {
    Kestrane_RotateVertex(m_grid, newAngle - m_angle);
    syncControlPoints();
    controlPointsToScreen();
    m_angle = newAngle;
    storeAndSend();
}

void WarpEditModel::setAdjustMode(int mode, int flags, bool keepSelection) {
    if (mode == m_adjustMode && flags == m_mirrorFlags) return;
    m_anchor = Index{};
    m_adjustMode = mode;
    m_mirrorFlags = flags;
    Kestrane_SetAdjustMode(mode, flags);
    if (!keepSelection) {
        std::memset(m_selection, 0, sizeof m_selection);
        m_currentControl = Index{0, 40};
    }
    if (mode == AnyPoint) {
        chooseSelection();
    } else if (mode == FourPoints || mode == NinePoints) {
        Kestrane_ChooseVertex2(m_currentControl.i, m_currentControl.j);
        syncControlPoints();
        controlPointsToScreen();
    }
}

void WarpEditModel::handleKey(int key) {
    moveByKey(key);
    moveSelectionByKey(key);
}

void WarpEditModel::moveByKey(int key) {
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    double dx = 0.0, dy = 0.0;
    switch (key) {
        case Qt::Key_Left: dx = -kKeyStep; break;
        case Qt::Key_Right: dx = kKeyStep; break;
        case Qt::Key_Up: dy = kKeyStep; break;
        case Qt::Key_Down: dy = -kKeyStep; break;
        default: break;
    }
    if (std::abs(dx) < 1e-12 && std::abs(dy) < 1e-12) return;
    auto shift = [&](DOUBLE_POINT& p) {
        const double x = p.x, y = p.y;
        p = DOUBLE_POINT{x + dx, y + dy};
    };
    if (m_adjustMode == WholeGrid) {
        for (auto& column : m_grid)
            for (DOUBLE_POINT& p : column) shift(p);
    } else if (m_adjustMode == AnyPoint) {
        for (int i = 0; i < kSide; ++i)
            for (int j = 0; j < kSide; ++j)
                if (m_selection[i][j]) shift(m_grid[i][j]);
        const Index first = firstSelectedVertex();
        if (first.valid()) Kestrane_DoImageVertex(m_grid, m_mirrorFlags, first.i, first.j);
    } else if (m_adjustMode == FourPoints || m_adjustMode == NinePoints) {
        const int k = currentControlIndex();
        // A current point outside the mode's points has nothing to move.
        if (k < 0 || (m_adjustMode == FourPoints && k > 3)) return;
        shift(m_controlPoints[k]);
        controlPointsToScreen();
        const Index c = controlIndex(k);
        Kestrane_CalcVertexValue(m_controlPoints, m_grid, c.i, c.j, m_adjustMode == FourPoints ? 1 : 0);
    } else {
        return;
    }
    m_modified = true;
    storeAndSend();
}

void WarpEditModel::moveSelectionByKey(int key) {
    int di = 0, dj = 0;
    switch (key) {
        case Qt::Key_A: di = -1; break;
        case Qt::Key_D: di = 1; break;
        case Qt::Key_W: dj = 1; break;
        case Qt::Key_S: dj = -1; break;
        default: return;
    }
    if (m_adjustMode == AnyPoint) {
        int next[kSide][kSide];
        std::memset(next, 0, sizeof next);
        for (int i = 0; i < kSide; ++i)
            for (int j = 0; j < kSide; ++j) {
                if (!m_selection[i][j]) continue;
                const int ni = i + di, nj = j + dj;
                if (ni >= 0 && ni <= 40 && nj >= 0 && nj <= 40) next[ni][nj] = 1;
                else next[i][j] = 1;
            }
        std::memcpy(m_selection, next, sizeof next);
        chooseSelection();
        return;
    }
    if (m_adjustMode != FourPoints && m_adjustMode != NinePoints) return;
    const int count = m_adjustMode == FourPoints ? 4 : 9;
    const Index cur = m_currentControl;
    Index found;
    for (int k = 0; k < count; ++k) {
        const Index c = controlIndex(k);
        if (di != 0 && c.j == cur.j) {
            // A: the largest i below; D: the smallest i above.
            if (di < 0 && c.i < cur.i && (!found.valid() || c.i > found.i)) found = c;
            if (di > 0 && c.i > cur.i && (!found.valid() || c.i < found.i)) found = c;
        } else if (dj != 0 && c.i == cur.i) {
            if (dj < 0 && c.j < cur.j && (!found.valid() || c.j > found.j)) found = c;
            if (dj > 0 && c.j > cur.j && (!found.valid() || c.j < found.j)) found = c;
        }
    }
    if (!found.valid()) {
        // Past the last point of the line the choice wraps to the other end.
        if (di < 0) found = Index{40, cur.j};
        else if (di > 0) found = Index{0, cur.j};
        else if (dj < 0) found = Index{cur.i, 40};
        else found = Index{cur.i, 0};
    }
    m_currentControl = found;
    Kestrane_ChooseVertex2(found.i, found.j);
}

// ---------------------------------------------------------------------------
// Mouse

void WarpEditModel::press(const QPoint& pos) {
    m_moved = false;
    m_modified = false;
    // Taken at every press, so that a click's hit test after a press beside
    // the picture never looks at positions of an older grid.
    computeVertexScreenPoints();
    // A handle is drawn centred on its point, so at the picture's edge half
    // of it lies outside: it is grabbed wherever it is drawn.
    if ((m_adjustMode == FourPoints || m_adjustMode == NinePoints) && pickControlPoint(pos)) {
        m_pressInside = true;
        std::memcpy(m_pressGrid, m_grid, sizeof m_grid);
        std::memcpy(m_pressControlPoints, m_controlPoints, sizeof m_controlPoints);
        m_lastPos = pos;
        return;
    }
    if (!inSquare(toNormalized(pos))) {
        m_dragging = false;
        m_pressInside = false;
        return;
    }
    m_pressInside = true;
    std::memcpy(m_pressGrid, m_grid, sizeof m_grid);
    std::memcpy(m_pressControlPoints, m_controlPoints, sizeof m_controlPoints);
    m_lastPos = pos;
    if (m_adjustMode == WholeGrid) {
        m_dragging = false;
    } else if (m_adjustMode == AnyPoint) {
        const Index hit = hitVertex(pos);
        m_dragging = hit.valid() && m_selection[hit.i][hit.j];
    } else if (m_adjustMode == FourPoints || m_adjustMode == NinePoints) {
        m_dragging = false;  // no handle under the press (tried above)
    }
}

bool WarpEditModel::pickControlPoint(const QPoint& pos) {
    const int count = m_adjustMode == FourPoints ? 4 : 9;
    for (int k = 0; k < count; ++k) {
        const Index c = controlIndex(k);
        const QPoint& v = m_vertexScreenPoints[c.i][c.j];
        if (std::abs(v.x() - pos.x()) <= kPickRadius && std::abs(v.y() - pos.y()) <= kPickRadius) {
            m_dragging = true;
            m_dragIndex = k;
            m_currentControl = c;
            Kestrane_ChooseVertex2(c.i, c.j);
            return true;
        }
    }
    return false;
}

void WarpEditModel::move(const QPoint& pos) {
    m_moved = true;
    // A press beside the picture recorded nothing a drag could start from.
    if (!m_pressInside) return;
    const DOUBLE_POINT d = normalizedDelta(m_lastPos, pos);
    const double dx = d.x, dy = d.y;
    auto moved = [&](const DOUBLE_POINT& p) {
        const double x = p.x, y = p.y;
        return DOUBLE_POINT{x + dx, y + dy};
    };
    if (m_adjustMode == WholeGrid) {
        for (int i = 0; i < kSide; ++i)
            for (int j = 0; j < kSide; ++j) m_grid[i][j] = moved(m_pressGrid[i][j]);
    } else if (m_adjustMode == AnyPoint) {
        if (!m_dragging) return;
        for (int i = 0; i < kSide; ++i)
            for (int j = 0; j < kSide; ++j)
                if (m_selection[i][j]) m_grid[i][j] = moved(m_pressGrid[i][j]);
        const Index first = firstSelectedVertex();
        if (first.valid()) Kestrane_DoImageVertex(m_grid, m_mirrorFlags, first.i, first.j);
    } else if (m_adjustMode == FourPoints || m_adjustMode == NinePoints) {
        if (!m_dragging || m_dragIndex < 0 || m_dragIndex > 8) return;
        // Only the dragged point changes; the others keep their values.
        m_controlPoints[m_dragIndex] = moved(m_pressControlPoints[m_dragIndex]);
        m_controlScreenPoints[m_dragIndex] = toScreen(m_controlPoints[m_dragIndex]);
        const Index c = controlIndex(m_dragIndex);
        Kestrane_CalcVertexValue(m_controlPoints, m_grid, c.i, c.j, m_adjustMode == FourPoints ? 1 : 0);
    } else {
        return;
    }
    m_modified = true;
    storeAndSend();
}

void WarpEditModel::release(const QPoint& pos, Qt::KeyboardModifiers modifiers) {
    m_dragging = false;
    if (m_modified) {
        send();
        m_modified = false;
        m_moved = false;
        return;
    }
    if (m_moved) {
        m_moved = false;
        return;
    }
    if (m_adjustMode != AnyPoint) return;
    const Index hit = hitVertex(pos);
    if (!hit.valid()) return;
    if (m_selection[hit.i][hit.j]) {
        m_selection[hit.i][hit.j] = 0;
        chooseSelection();
        return;
    }
    const Qt::KeyboardModifiers keys =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool ctrlOnly = keys == Qt::ControlModifier;
    const bool shiftOnly = keys == Qt::ShiftModifier;
    if (!ctrlOnly && !shiftOnly) std::memset(m_selection, 0, sizeof m_selection);
    m_selection[hit.i][hit.j] = 1;
    if (shiftOnly && m_anchor.valid()) {
        const int i0 = std::min(m_anchor.i, hit.i), i1 = std::max(m_anchor.i, hit.i);
        const int j0 = std::min(m_anchor.j, hit.j), j1 = std::max(m_anchor.j, hit.j);
        for (int i = i0; i <= i1; ++i)
            for (int j = j0; j <= j1; ++j) m_selection[i][j] = 1;
    }
    m_anchor = hit;
    chooseSelection();
}
