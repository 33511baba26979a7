// The geometry editor's state and rules without a widget: the pixel mapping
// of the warp grid, hit tests and control-point picks, the selection, the
// arrow and W/A/S/D keys, the press/move/release gestures of the four adjust
// modes, and when an edit is stored in the device record and sent to the
// device's display server. NativeWidget feeds it mouse and key events and
// draws what it holds.
#pragma once

#include <QPoint>
#include <QString>

#include <Qt>

#include "lintra/netdef.h"

class WarpEditModel {
public:
    // Grid indices of a vertex; (-1, -1) is none.
    struct Index {
        int i = -1;
        int j = -1;
        bool operator==(const Index& o) const { return i == o.i && j == o.j; }
        bool operator!=(const Index& o) const { return !(*this == o); }
        bool valid() const { return i >= 0 && i <= 40 && j >= 0 && j <= 40; }
    };
    // The pixel rectangle that the normalised square [-1, 1]² fills.
    struct ViewRect {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };

    // Adjust modes and mirror flags as the device record keeps them.
    enum Mode { AnyPoint = 0, FourPoints = 1, NinePoints = 2, WholeGrid = 3 };
    static constexpr int kMirrorLeftRight = 0x100;
    static constexpr int kMirrorUpDown = 0x200;
    // Half the side of the square around a press that picks a control point,
    // and the Manhattan distance below which a vertex is hit.
    static constexpr int kPickRadius = 14;
    static constexpr int kHitDistance = 8;
    static constexpr double kKeyStep = 0.001;

    WarpEditModel();

    // ---- Mapping (viewRect as set below)
    QPoint toScreen(const DOUBLE_POINT& p) const;
    DOUBLE_POINT toNormalized(const QPoint& p) const;
    // The rectangle for a widget of that size: a 25-pixel margin all round.
    static ViewRect viewRectFor(int width, int height);
    void setViewRect(const ViewRect& r);
    ViewRect viewRect() const { return m_viewRect; }

    // ---- Device
    int deviceId() const { return m_deviceId; }
    void setDeviceId(int id) { m_deviceId = id; }
    // Copies grid, angle, mode, mirror flags and control points from the
    // record (an unknown id keeps what the view holds).
    void loadFromRecord();
    // Switches to another device: selection and anchor cleared, record
    // loaded; a current point the new mode cannot show returns to (0, 40).
    void setDevice(int id);
    // Everything the editor needs once its window exists: record, mode and
    // markers into the rendering library.
    void init();

    // ---- Edits
    // Rotates the grid to a new total angle; stored and sent.
    void rotate(double newAngle);
    void setAdjustMode(int mode, int mirrorFlags, bool keepSelection);
    // One key typed in the editor: arrows move, W/A/S/D move the selection
    // or the current control point.
    void handleKey(int key);
    void moveByKey(int key);
    void moveSelectionByKey(int key);

    // ---- Mouse gestures (positions in widget pixels)
    void press(const QPoint& pos);
    void move(const QPoint& pos);
    void release(const QPoint& pos, Qt::KeyboardModifiers modifiers);

    // ---- What it holds
    int adjustMode() const { return m_adjustMode; }
    int mirrorFlags() const { return m_mirrorFlags; }
    double angle() const { return m_angle; }
    const DOUBLE_POINT& vertex(int i, int j) const { return m_grid[i][j]; }
    const DOUBLE_POINT (&grid() const)[41][41] { return m_grid; }
    const DOUBLE_POINT& controlPoint(int k) const { return m_controlPoints[k]; }
    QPoint controlScreenPoint(int k) const { return m_controlScreenPoints[k]; }
    bool isSelected(int i, int j) const { return m_selection[i][j] != 0; }
    int selectedCount() const;
    Index currentControl() const { return m_currentControl; }
    Index selectionAnchor() const { return m_anchor; }
    bool dragging() const { return m_dragging; }
    int dragIndex() const { return m_dragIndex; }
    bool moved() const { return m_moved; }
    bool modified() const { return m_modified; }
    // How many times the grid was stored and sent since construction.
    int sendCount() const { return m_sendCount; }

    // Grid indices of control point k (0..8).
    static Index controlIndex(int k);
    // The vertex nearest to the position (Manhattan) when nearer than 8
    // pixels, among the pixel positions taken at the last press.
    Index hitVertex(const QPoint& pos) const;
    Index firstSelectedVertex() const;
    // The k whose grid indices are the current control point, -1 when none.
    int currentControlIndex() const;

private:
    void computeVertexScreenPoints();
    // Modes 1 and 2: the first control point (in order) within the pick
    // square of the press becomes the dragged and current one.
    bool pickControlPoint(const QPoint& pos);
    void controlPointsToScreen();
    void syncControlPoints();
    void saveToRecord();
    void reloadAngle();
    // Stores the edit and sends it: the grid to the device's server, the
    // project marked modified. Nothing for an unknown device.
    void storeAndSend();
    // The send alone: the grid to the server, the project marked modified.
    void send();
    void chooseSelection() const;
    bool currentControlFitsMode() const;
    // The normalised distance between two pixel positions.
    DOUBLE_POINT normalizedDelta(const QPoint& from, const QPoint& to) const;

    DOUBLE_POINT m_controlPoints[9];
    QPoint m_controlScreenPoints[9];
    DOUBLE_POINT m_grid[41][41];
    ViewRect m_viewRect;
    int m_dragIndex = -1;
    QPoint m_lastPos;
    bool m_dragging = false;
    int m_deviceId = 0;
    bool m_modified = false;
    double m_angle = 0.0;
    int m_adjustMode = FourPoints;
    int m_mirrorFlags = 0;
    QPoint m_vertexScreenPoints[41][41];
    int m_selection[41][41];
    Index m_currentControl{0, 40};
    bool m_moved = false;
    Index m_anchor;

    // A drag moves from the values the press found, so that a long drag
    // never re-quantises the grid to whole pixels: the grid and the control
    // points at the press, and whether the press lay inside the picture.
    DOUBLE_POINT m_pressGrid[41][41];
    DOUBLE_POINT m_pressControlPoints[9];
    bool m_pressInside = false;
    int m_sendCount = 0;
};
