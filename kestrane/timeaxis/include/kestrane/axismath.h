// The arithmetic of the time axis, free of widgets: the zoom levels and the
// one ms <-> pixel conversion, the scroll value, following the play head,
// the placement of dropped and dragged bars, and the default row titles.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestrane::axis {

// x of time 0 in every row strip.
constexpr int kLeftMargin = 7;
constexpr int kLevelCount = 10;
constexpr int kDefaultLevel = 7;
// The scroll bar's value runs over 0..kScrollRange whatever the axis width.
constexpr int kScrollRange = 2000;

struct ScaleLevel {
    int interval;    // ms between ticks
    int spacing;     // px between ticks
    int msPerPixel;  // interval / spacing
};
// One entry per zoom level 0..9.
const QList<ScaleLevel>& scaleTable();
// The level clamped to 0..9.
const ScaleLevel& scaleOf(int level);

// ms / ms-per-pixel, rounded to the nearest pixel with exact halves down.
int msToPixel(int level, int ms);
int pixelToMs(int level, int px);

// Ruler label units.
enum RulerUnit { UnitMillisecond = 0, UnitSecond = 1, UnitMinute = 2 };
// Label of tick n at a level, in a unit.
QString labelText(int level, int unit, int tick);

// The level a click at x on a zoom slider of that width stands for.
int zoomLevelFromX(int x, int sliderWidth);

// The scroll value and the pixel offset, for a scrollable extent m (axis
// width minus the visible width). An extent of 0 or less scrolls nothing.
int scrollValueToOffset(int value, int extent);
int offsetToScrollValue(int offset, int extent);

// Where to scroll so that the play head at axis x p is visible in a view of
// width w at offset: nothing when it is visible; past the right edge it
// comes to a third of the width, left of the view to two thirds.
std::optional<int> followTarget(int p, int offset, int w);

// The axis display length after asking for ms, with visibleMs the span the
// view shows. Without extend the length is ms. With extend it grows to
// ms + visible when ms comes within a third of the view of its end, and
// shrinks to ms + visible when ms lies more than two views before it.
int axisLengthFor(int length, int ms, int visibleMs, bool extend);

// Single steps of the scroll bar that one wheel notch moves at a level.
int wheelMultiplier(int level);

// Edge scrolling while a block is dragged at axis x: the offset to scroll
// to (by at most 3 px), or nothing while x is visible. `forced` tells the
// move to the left, which ignores the user's hold-off.
struct AutoScroll {
    int target;
    bool forced;
};
std::optional<AutoScroll> autoScrollStep(int x, int offset, int w);

// A bar on a row strip in pixels: from left to right inclusive of the end
// pixel's right edge (left + width).
struct BarSpan {
    int left;
    int right;
};
// Where a dragged media bar of width px lands when dropped at x with its
// grab point `grab` px into the bar, among the other bars of the row: in the
// free gap under the drop point, flush against a neighbour when the grab
// point would push it over one. Nothing when the point lies on a bar or the
// gap is too narrow.
std::optional<int> mediaDropPosition(int x, int grab, int width, const QList<BarSpan>& bars);

// Time of a drop at strip x: never before 0 (the margin left of time 0
// belongs to no time).
int dropTime(int level, int x);

// The ms range a media bar may occupy among the other bars of its row
// (start, duration of each): from 1 ms after the end of the bar before it
// to 1 ms before the start of the bar after it (none: unbounded).
struct Limits {
    int low = 0;
    std::optional<int> high;
};
struct MediaSpan {
    int start;
    int duration;
};
Limits neighbourLimits(int ownStart, const QList<MediaSpan>& others);

// One mouse step of a held bar at x of width px, dx px from the press;
// lowPx and highPx are the strip limits. Trims refuse to leave a bar
// narrower than kMinBarWidth.
constexpr int kMinBarWidth = 10;
constexpr int kEdgeZone = 4;
struct BarGeometry {
    int x;
    int width;
};
BarGeometry moveBar(int x, int width, int dx, int lowPx, int highPx);
std::optional<BarGeometry> trimLeft(int x, int width, int dx, int lowPx);
std::optional<BarGeometry> trimRight(int x, int pressWidth, int dx, int highPx);
// 0 trim the left edge, 1 trim the right edge, 3 move, for a press at x
// in a bar of that width.
int dragModeAt(int x, int width);

// "图层n" with n one more than the largest number in the layer titles.
QString newLayerTitle(const QStringList& layerTitles);
// "图层组n" with n one more than the largest number in the group titles.
QString nextFolderName(const QStringList& groupTitles);
// The text itself when no other title has it, else the text with a
// trailing "(n)" counted up, or "(2)" appended, until it is free.
QString uniqueTitle(const QString& text, const QStringList& otherTitles);

}  // namespace kestrane::axis
