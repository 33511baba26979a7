// Reordering the rows of the layer table as moves of whole blocks: a layer
// always keeps its effect rows directly below it, and a group its layers.
// The functions work on the kinds of the rows (the filler left out) and
// return the new order, which the table then takes as sequential sort keys.
#pragma once

#include <QList>

#include <optional>

namespace kestrane::axis {

// Header kinds of the rows (a layer header's own kinds 0, 1, 2) and the
// effect rows under a layer.
enum RowKind { RowGroup = 0, RowLayer = 1, RowChild = 2, RowEffect = 3 };

struct RowPlan {
    // order[i]: the old row that comes to row i.
    QList<int> order;
    // The kind of every row after the move, by old row.
    QList<int> kinds;
};

// Layer-sequence codes.
enum SequenceCode { MoveTop = 0, MoveUp = 1, MoveDown = 2, MoveBottom = 3 };

// Moves the block headed by `row`: a top-level layer or a group among the
// top-level blocks, a group's layer among its group's layers. Nothing when
// the row heads no block or the block cannot move that way.
std::optional<RowPlan> reorderRows(const QList<int>& kinds, int row, int code);

enum DropPlace { DropAbove = 0, DropBelow = 1, DropInto = 2 };

// Moves the dragged headers (in their old order) to a target header: above
// it, below its block, or into a target group as its first layers. A
// dragged group takes its layers along and lands only between top-level
// blocks. A dragged layer takes the level of its target: inside a group
// next to a group's layer (except below the table's last block), top level
// otherwise. Nothing when there is nothing to move or a group is to go
// into a group.
std::optional<RowPlan> dropRows(const QList<int>& kinds, const QList<int>& dragged, int target, int place);

}  // namespace kestrane::axis
