#include "core/SpecialActions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "lintra/specialaction.h"

namespace {

bool IsFinite(const ActionKeyPoint& p) {
    return std::all_of(std::begin(p.v), std::end(p.v), [](double d) { return std::isfinite(d); });
}

// Integer halving as the stage arithmetic does it: truncated toward zero.
int64_t Half(int64_t n) { return n / 2; }

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Truncates toward zero into int32, held to the int32 range; false for a
// value that is not a number (the field then keeps what it had).
bool TruncToInt32(double v, int32_t& out) {
    if (std::isnan(v)) return false;
    if (v >= 2147483647.0)
        out = std::numeric_limits<int32_t>::max();
    else if (v <= -2147483648.0)
        out = std::numeric_limits<int32_t>::min();
    else
        out = static_cast<int32_t>(v);
    return true;
}

// Values of a kind before its only key point.
ActionKeyPoint DefaultPoint(int32_t kind, const MediaCommon& m) {
    ActionKeyPoint d;
    d.v[0] = m.startTime;
    switch (kind) {
    case kActionPosition:
        d.v[1] = m.baseStageRect.left;
        d.v[2] = m.baseStageRect.top;
        break;
    case kActionScale:
        d.v[1] = d.v[2] = d.v[3] = 1.0;
        break;
    case kActionTransparency:
        d.v[1] = 1.0;
        break;
    default:
        break;
    }
    return d;
}

// The working list of one kind: a default point at the start time when the
// kind has a single key point, then its key points moved to absolute time.
class Track {
public:
    Track(int32_t kind, const std::vector<ActionKeyPoint>& points, const MediaCommon& m)
        : points_(points), start_(m.startTime), lead_(points.size() == 1 ? 1 : 0) {
        if (lead_) default_ = DefaultPoint(kind, m);
    }
    size_t size() const { return points_.size() + lead_; }
    ActionKeyPoint operator[](size_t i) const {
        if (i < lead_) return default_;
        ActionKeyPoint p = points_[i - lead_];
        p.v[0] += start_;
        return p;
    }

private:
    const std::vector<ActionKeyPoint>& points_;
    double start_;
    size_t lead_;
    ActionKeyPoint default_;
};

// The value of the line through p and n at t. Two key points at one time
// give the later one's value rather than a division by zero.
double Line(double t, double pt, double pv, double nt, double nv) {
    const double dt = nt - pt;
    if (dt == 0.0) return nv;
    const double slope = (nv - pv) / dt;
    const double intercept = nv - slope * nt;
    return slope * t + intercept;
}

void ApplyKind(MediaCommon& m, int32_t kind, const std::vector<ActionKeyPoint>& points, double t) {
    const Track k(kind, points, m);
    ActionKeyPoint p, n;
    bool bracketed = false;
    for (size_t i = 1; i < k.size(); ++i) {
        const ActionKeyPoint a = k[i - 1], b = k[i];
        if (a.v[0] <= t && t <= b.v[0]) {
            p = a;
            n = b;
            bracketed = true;
            break;
        }
    }
    if (!bracketed) {
        // Before the first or after the last key point: the last one holds.
        p = k[k.size() - 1];
        n = p;
        n.v[0] = m.endTime;
    }
    auto value = [&](int idx) { return Line(t, p.v[0], p.v[idx], n.v[0], n.v[idx]); };

    MediaRectI& s = m.stageRect;
    const MediaRectI& base = m.baseStageRect;
    switch (kind) {
    case kActionPosition: {
        int32_t x, y;
        if (!TruncToInt32(value(1), x) || !TruncToInt32(value(2), y)) return;
        const int64_t w = int64_t{s.right} - s.left;
        const int64_t h = int64_t{s.bottom} - s.top;
        const int64_t left = x + Half(int64_t{base.right} - base.left) - Half(w);
        const int64_t top = y + Half(int64_t{base.bottom} - base.top) - Half(h);
        s.left = Clamp32(left);
        s.top = Clamp32(top);
        s.right = Clamp32(left + w);
        s.bottom = Clamp32(top + h);
        break;
    }
    case kActionRotation: {
        const double angle = Line(t, p.v[0], -p.v[3], n.v[0], -n.v[3]);
        if (std::isfinite(angle)) m.angle = angle;
        break;
    }
    case kActionScale: {
        int32_t hw, hh;
        if (!TruncToInt32(value(1) * static_cast<double>(Half(int64_t{base.right} - base.left)), hw) ||
            !TruncToInt32(value(2) * static_cast<double>(Half(int64_t{base.bottom} - base.top)), hh)) {
            return;
        }
        const int64_t cx = s.left + Half(int64_t{s.right} - s.left);
        const int64_t cy = s.top + Half(int64_t{s.bottom} - s.top);
        s.left = Clamp32(cx - hw);
        s.top = Clamp32(cy - hh);
        s.right = Clamp32(cx + hw);
        s.bottom = Clamp32(cy + hh);
        break;
    }
    case kActionTransparency: {
        const double dt = n.v[0] - p.v[0];
        const double f = dt == 0.0 ? 1.0 : (t - p.v[0]) / dt;
        const double alpha = (1.0 - p.v[1]) + f * ((1.0 - n.v[1]) - (1.0 - p.v[1]));
        if (std::isfinite(alpha)) m.alpha = alpha;
        break;
    }
    default:
        break;
    }
}

}  // namespace

bool ParseSpecialActions(const std::string& text, SpecialActionTable& table) {
    table.clear();
    SPECIAL_ACTION_MAP decoded;
    DecodeSepcialActionInfo(text, decoded);
    for (const auto& [kind, levels] : decoded) {
        std::vector<ActionKeyPoint> points;
        points.reserve(levels.size());
        for (const ACTION_LEVEL_INFO& level : levels) {
            ActionKeyPoint p;
            p.v[0] = level.time;
            p.v[1] = level.value1;
            p.v[2] = level.value2;
            p.v[3] = level.value3;
            p.v[4] = level.value4;
            // "nan" or "inf" in the text would leave no order to sort by
            // and no value to place a rectangle with.
            if (IsFinite(p)) points.push_back(p);
        }
        if (points.empty()) continue;
        std::stable_sort(points.begin(), points.end(),
                         [](const ActionKeyPoint& a, const ActionKeyPoint& b) { return a.v[0] < b.v[0]; });
        table[kind] = std::move(points);
    }
    return !table.empty();
}

void ApplySpecialActions(MediaCommon& media, double t) {
    for (const auto& [kind, points] : media.actions) {
        if (points.empty()) continue;
        // Written so that a time that is not a number also changes nothing.
        if (!(media.startTime <= t && t <= media.endTime)) continue;
        ApplyKind(media, kind, points, t);
    }
}

void ApplySpecialActions(IMedia* media, double t) {
    if (media) ApplySpecialActions(media->Common(), t);
}
