#include "kestrane/axismath.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace kestrane::axis {

const QList<ScaleLevel>& scaleTable() {
    static const QList<ScaleLevel> table = {
        {100, 50, 2},      {200, 50, 4},      {500, 50, 10},   {1000, 50, 20},  {2000, 50, 40},
        {5000, 50, 100},   {10000, 50, 200},  {15000, 50, 300}, {30000, 60, 500}, {60000, 60, 1000},
    };
    return table;
}

const ScaleLevel& scaleOf(int level) { return scaleTable().at(std::clamp(level, 0, kLevelCount - 1)); }

int msToPixel(int level, int ms) {
    const int mpp = scaleOf(level).msPerPixel;
    const int px = ms / mpp;
    return (ms % mpp) > mpp / 2 ? px + 1 : px;
}

int pixelToMs(int level, int px) { return px * scaleOf(level).msPerPixel; }

QString labelText(int level, int unit, int tick) {
    const qint64 ms = qint64(scaleOf(level).interval) * tick;
    switch (unit) {
    case UnitMillisecond:
        return QString::number(ms);
    case UnitSecond:
        return QString::number(double(ms) / 1000.0, 'g', 6);
    default: {
        const double seconds = double(ms % 60000) / 1000.0;
        QString text = QString::number(seconds, 'g', 6);
        if (seconds < 10)
            text.prepend(QLatin1Char('0'));
        return QStringLiteral("%1:%2").arg(ms / 60000).arg(text);
    }
    }
}

int zoomLevelFromX(int x, int sliderWidth) {
    if (sliderWidth <= 10)
        return 0;
    const double step = double(sliderWidth - 10) / 9.0;
    const int level = int(std::lround(double(std::max(x, 5) - 5) / step));
    return std::clamp(level, 0, kLevelCount - 1);
}

int scrollValueToOffset(int value, int extent) {
    if (extent <= 0 || value <= 0)
        return 0;
    if (value >= kScrollRange)
        return extent;
    return int(qint64(extent) * value / kScrollRange);
}

int offsetToScrollValue(int offset, int extent) {
    if (extent <= 0 || offset <= 0)
        return 0;
    if (offset >= extent)
        return kScrollRange;
    return int(std::lround(double(offset) / extent * kScrollRange));
}

std::optional<int> followTarget(int p, int offset, int w) {
    if (p > offset + w)
        return p - w / 3;
    if (p < offset)
        return p - 2 * w / 3;
    return std::nullopt;
}

int axisLengthFor(int length, int ms, int visibleMs, bool extend) {
    if (!extend)
        return ms;
    if (ms > length - visibleMs / 3)
        return ms + visibleMs;
    if (ms < length - 2 * visibleMs)
        return ms + visibleMs;
    return length;
}

int wheelMultiplier(int level) {
    switch (level) {
    case 9: return 27;
    case 8: return 10;
    case 7: return 8;
    case 6: return 4;
    case 5: return 2;
    default: return 1;
    }
}

std::optional<AutoScroll> autoScrollStep(int x, int offset, int w) {
    if (x < offset)
        return AutoScroll{std::max(x, offset - 3), true};
    if (x > offset + w)
        return AutoScroll{std::min(x - w, offset + 3), false};
    return std::nullopt;
}

std::optional<int> mediaDropPosition(int x, int grab, int width, const QList<BarSpan>& bars) {
    int low = kLeftMargin;
    std::optional<int> high;
    for (const BarSpan& bar : bars) {
        if (bar.left <= x && x <= bar.right)
            return std::nullopt;
        if (bar.right < x)
            low = std::max(low, bar.right);
        if (bar.left > x && (!high || bar.left < *high))
            high = bar.left;
    }
    if (high && *high - low <= width)
        return std::nullopt;
    int left = x - grab;
    if (left <= low)
        left = low;
    if (high && left + width > *high)
        left = *high - width;
    return left;
}

int dropTime(int level, int x) { return std::max(0, pixelToMs(level, x - kLeftMargin)); }

Limits neighbourLimits(int ownStart, const QList<MediaSpan>& others) {
    Limits limits;
    for (const MediaSpan& other : others) {
        if (other.start < ownStart)
            limits.low = std::max(limits.low, other.start + other.duration + 1);
        else if (other.start > ownStart && (!limits.high || other.start - 1 < *limits.high))
            limits.high = other.start - 1;
    }
    return limits;
}

BarGeometry moveBar(int x, int width, int dx, int lowPx, int highPx) {
    int left = std::max(x + dx, lowPx);
    if (left + width > highPx)
        left = highPx - width;
    return {left, width};
}

std::optional<BarGeometry> trimLeft(int x, int width, int dx, int lowPx) {
    int left = x + dx;
    if (left < lowPx) {
        left = lowPx;
        dx = lowPx - x;
    }
    const int newWidth = width - dx;
    if (newWidth < kMinBarWidth)
        return std::nullopt;
    return BarGeometry{left, newWidth};
}

std::optional<BarGeometry> trimRight(int x, int pressWidth, int dx, int highPx) {
    if (pressWidth + dx < kMinBarWidth)
        return std::nullopt;
    if (x + pressWidth + dx > highPx)
        dx = highPx - pressWidth - x;
    return BarGeometry{x, pressWidth + dx};
}

int dragModeAt(int x, int width) {
    if (x < kEdgeZone)
        return 0;
    if (width - x < kEdgeZone)
        return 1;
    return 3;
}

namespace {

// One more than the largest number the pattern captures in any title.
int nextNumber(const QStringList& titles, const QRegularExpression& pattern) {
    int largest = 0;
    for (const QString& title : titles) {
        const QRegularExpressionMatch m = pattern.match(title);
        if (m.hasMatch())
            largest = std::max(largest, m.captured(1).toInt());
    }
    return largest + 1;
}

}  // namespace

QString newLayerTitle(const QStringList& layerTitles) {
    static const QRegularExpression pattern(QStringLiteral("图层([1-9][0-9]*)"));
    return QStringLiteral("图层%1").arg(nextNumber(layerTitles, pattern));
}

QString nextFolderName(const QStringList& groupTitles) {
    static const QRegularExpression pattern(QStringLiteral("图层组([1-9][0-9]*)"));
    return QStringLiteral("图层组%1").arg(nextNumber(groupTitles, pattern));
}

QString uniqueTitle(const QString& text, const QStringList& otherTitles) {
    // Only a trailing "(n)" is counted up: a number in brackets inside the
    // title is part of the name.
    static const QRegularExpression trailing(QStringLiteral("\\(([0-9]+)\\)$"));
    QString title = text;
    while (otherTitles.contains(title)) {
        const QRegularExpressionMatch m = trailing.match(title);
        if (m.hasMatch())
            title = title.left(m.capturedStart(1)) + QString::number(m.captured(1).toLongLong() + 1) + QLatin1Char(')');
        else
            title += QStringLiteral("(2)");
    }
    return title;
}

}  // namespace kestrane::axis
