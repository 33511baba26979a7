#include "kestrane/rowmodel.h"

#include <QSet>

#include <algorithm>

namespace kestrane::axis {

namespace {

// A header row with the effect rows below it.
struct Unit {
    int header;
    QList<int> rows;
    int kind;
    int group;  // unit index of the group a layer belongs to, -1 at top level
};

QList<Unit> parseUnits(const QList<int>& kinds) {
    QList<Unit> units;
    int group = -1;
    for (int row = 0; row < kinds.size(); ++row) {
        const int kind = kinds.at(row);
        if (kind == RowEffect && !units.isEmpty()) {
            units.last().rows << row;
            continue;
        }
        Unit unit{row, {row}, kind, -1};
        if (kind == RowGroup)
            group = int(units.size());
        else if (kind == RowChild)
            unit.group = group;  // -1: a stray layer ranks as top level
        else
            group = -1;
        units << unit;
    }
    return units;
}

int unitOf(const QList<Unit>& units, int row) {
    for (int i = 0; i < units.size(); ++i)
        if (units.at(i).header == row)
            return units.at(i).kind == RowEffect ? -1 : i;
    return -1;
}

RowPlan planOf(const QList<Unit>& units, const QList<int>& unitOrder, const QList<int>& kinds) {
    RowPlan plan;
    plan.kinds = kinds;
    for (int u : unitOrder)
        plan.order << units.at(u).rows;
    return plan;
}

// The new index of an element at pos among n by a sequence code; pos
// itself when it cannot move.
int movedIndex(int pos, int n, int code) {
    switch (code) {
    case MoveTop: return 0;
    case MoveUp: return std::max(0, pos - 1);
    case MoveDown: return std::min(n - 1, pos + 1);
    case MoveBottom: return n - 1;
    default: return pos;
    }
}

}  // namespace

std::optional<RowPlan> reorderRows(const QList<int>& kinds, int row, int code) {
    const QList<Unit> units = parseUnits(kinds);
    const int self = unitOf(units, row);
    if (self < 0)
        return std::nullopt;

    // Top-level blocks, each a head unit with the units of its layers.
    QList<QList<int>> tops;
    for (int i = 0; i < units.size(); ++i) {
        if (units.at(i).group >= 0 && !tops.isEmpty())
            tops.last() << i;
        else
            tops << QList<int>{i};
    }

    const int group = units.at(self).group;
    if (group < 0) {
        const auto at = std::find_if(tops.begin(), tops.end(), [&](const QList<int>& t) { return t.first() == self; });
        const int pos = int(at - tops.begin());
        const int to = movedIndex(pos, int(tops.size()), code);
        if (to == pos)
            return std::nullopt;
        tops.move(pos, to);
    } else {
        QList<int>& top = *std::find_if(tops.begin(), tops.end(), [&](const QList<int>& t) { return t.first() == group; });
        const int pos = int(top.indexOf(self)) - 1;
        const int to = movedIndex(pos, int(top.size()) - 1, code);
        if (to == pos)
            return std::nullopt;
        top.move(pos + 1, to + 1);
    }
    QList<int> unitOrder;
    for (const QList<int>& top : tops)
        unitOrder << top;
    return planOf(units, unitOrder, kinds);
}

std::optional<RowPlan> dropRows(const QList<int>& kinds, const QList<int>& dragged, int target, int place) {
    const QList<Unit> units = parseUnits(kinds);
    const int targetUnit = unitOf(units, target);
    if (targetUnit < 0)
        return std::nullopt;
    const Unit& to = units.at(targetUnit);
    if (to.kind == RowGroup && place == DropBelow)
        place = DropInto;

    // The units that move, in their old order; a group takes its layers.
    QSet<int> moved;
    QList<int> loose;  // dragged layers, whose level follows the target
    bool withGroup = false;
    QList<int> rows = dragged;
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        const int u = unitOf(units, row);
        if (u < 0 || moved.contains(u))
            continue;
        moved.insert(u);
        if (units.at(u).kind == RowGroup) {
            withGroup = true;
            for (int c = u + 1; c < units.size() && units.at(c).group == u; ++c) {
                moved.insert(c);
                loose.removeAll(c);
            }
        } else {
            loose << u;
        }
    }
    if (moved.isEmpty())
        return std::nullopt;

    int insertAt = 0;
    int looseKind = RowLayer;
    if (place == DropInto) {
        if (to.kind != RowGroup || withGroup)
            return std::nullopt;
        insertAt = targetUnit + 1;
        looseKind = RowChild;
    } else if (to.kind == RowChild && to.group >= 0 && withGroup) {
        // A group never lands among another group's layers: it goes
        // below that whole group.
        insertAt = to.group + 1;
        while (insertAt < units.size() && units.at(insertAt).group == to.group)
            ++insertAt;
    } else {
        insertAt = place == DropAbove ? targetUnit : targetUnit + 1;
        if (to.kind == RowChild && !withGroup) {
            const bool belowTheLast = place == DropBelow && targetUnit == units.size() - 1;
            looseKind = belowTheLast ? RowLayer : RowChild;
        }
    }
    while (insertAt < units.size() && moved.contains(insertAt))
        ++insertAt;

    QList<int> movedOrder(moved.begin(), moved.end());
    std::sort(movedOrder.begin(), movedOrder.end());
    QList<int> unitOrder;
    for (int u = 0; u < units.size(); ++u) {
        if (u == insertAt)
            unitOrder << movedOrder;
        if (!moved.contains(u))
            unitOrder << u;
    }
    if (insertAt >= units.size())
        unitOrder << movedOrder;

    QList<int> newKinds = kinds;
    for (int u : loose)
        newKinds[units.at(u).header] = looseKind;
    return planOf(units, unitOrder, newKinds);
}

}  // namespace kestrane::axis
