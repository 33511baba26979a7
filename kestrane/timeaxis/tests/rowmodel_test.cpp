#include <gtest/gtest.h>

#include <QStringList>

#include "kestrane/rowmodel.h"

using namespace kestrane::axis;

namespace {

// A table written as "L1 G1(a1 a2) L2": layers, groups with their layers in
// brackets. Every layer gets four effect rows named after it.
struct Table {
    QList<int> kinds;
    QStringList names;
};

Table parse(const QString& text) {
    Table t;
    bool inGroup = false;
    QString spaced = text;
    spaced.replace(QLatin1Char('('), QStringLiteral(" ( ")).replace(QLatin1Char(')'), QStringLiteral(" ) "));
    for (const QString& word : spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (word == QLatin1String("(")) {
            inGroup = true;
            continue;
        }
        if (word == QLatin1String(")")) {
            inGroup = false;
            continue;
        }
        if (word.startsWith(QLatin1Char('G'))) {
            t.kinds << RowGroup;
            t.names << word;
            continue;
        }
        t.kinds << (inGroup ? RowChild : RowLayer);
        t.names << word;
        for (int e = 1; e <= 4; ++e) {
            t.kinds << RowEffect;
            t.names << word + QStringLiteral(".%1").arg(e);
        }
    }
    return t;
}

// The table after a plan, written the same way; effect rows that do not
// follow their own layer show as "!name".
QString render(const Table& t, const RowPlan& plan) {
    QStringList out;
    bool inGroup = false;
    QString layer;
    int effect = 0;
    for (int old : plan.order) {
        const int kind = plan.kinds.at(old);
        const QString& name = t.names.at(old);
        if (kind == RowEffect) {
            ++effect;
            if (name != layer + QStringLiteral(".%1").arg(effect))
                out << QLatin1Char('!') + name;
            continue;
        }
        if (inGroup && kind != RowChild) {
            out.last() += QLatin1Char(')');
            inGroup = false;
        }
        layer = name;
        effect = 0;
        if (kind == RowGroup) {
            out << name + QLatin1Char('(');
            inGroup = true;
        } else {
            out << name;
        }
    }
    if (inGroup)
        out.last() += QLatin1Char(')');
    QString text = out.join(QLatin1Char(' '));
    return text.replace(QStringLiteral("( "), QStringLiteral("("));
}

int rowOf(const Table& t, const QString& name) { return int(t.names.indexOf(name)); }

// 25 layers, three groups and an empty one.
const QString kBig = QStringLiteral(
    "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16");

TEST(RowModel, RenderRoundTrips) {
    const Table t = parse(kBig);
    RowPlan identity;
    for (int i = 0; i < t.kinds.size(); ++i)
        identity.order << i;
    identity.kinds = t.kinds;
    EXPECT_EQ(render(t, identity), kBig);
    EXPECT_EQ(t.kinds.count(RowLayer) + t.kinds.count(RowChild), 25);
}

TEST(RowModel, ReorderEachKindByEachCode) {
    const Table t = parse(kBig);
    struct Case {
        const char* row;
        int code;
        const char* result;  // nullptr: nothing moves
    };
    const Case cases[] = {
        // A top-level layer after a group.
        {"L3", MoveTop, "L3 L1 L2 G1(a1 a2 a3) L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"L3", MoveUp, "L1 L2 L3 G1(a1 a2 a3) L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"L3", MoveDown, "L1 L2 G1(a1 a2 a3) L4 L3 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"L3", MoveBottom, "L1 L2 G1(a1 a2 a3) L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16 L3"},
        // Past a whole group, and past an empty one.
        {"L2", MoveDown, "L1 G1(a1 a2 a3) L2 L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"L14", MoveDown, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 G4() L14 L15 L16"},
        {"L1", MoveUp, nullptr},
        {"L1", MoveTop, nullptr},
        {"L16", MoveDown, nullptr},
        {"L16", MoveBottom, nullptr},
        // A group's layer stays in its group.
        {"c3", MoveTop, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c3 c1 c2 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"c3", MoveUp, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c3 c2 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"c2", MoveDown, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c3 c2 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"c2", MoveBottom, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c3 c4 c2) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"c1", MoveUp, nullptr},
        {"c1", MoveTop, nullptr},
        {"c4", MoveDown, nullptr},
        {"c4", MoveBottom, nullptr},
        // A group moves with its layers.
        {"G2", MoveTop, "G2(b1 b2) L1 L2 G1(a1 a2 a3) L3 L4 L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"G2", MoveUp, "L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4 L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"G1", MoveUp, "L1 G1(a1 a2 a3) L2 L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 L14 G4() L15 L16"},
        {"G3", MoveDown, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 L9 G3(c1 c2 c3 c4) L10 L11 L12 L13 L14 G4() L15 L16"},
        {"G3", MoveBottom, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 L9 L10 L11 L12 L13 L14 G4() L15 L16 G3(c1 c2 c3 c4)"},
        {"G4", MoveUp, "L1 L2 G1(a1 a2 a3) L3 L4 G2(b1 b2) L5 L6 L7 L8 G3(c1 c2 c3 c4) L9 L10 L11 L12 L13 G4() L14 L15 L16"},
    };
    for (const Case& c : cases) {
        const auto plan = reorderRows(t.kinds, rowOf(t, QString::fromUtf8(c.row)), c.code);
        if (!c.result) {
            EXPECT_FALSE(plan) << c.row << " " << c.code;
            continue;
        }
        ASSERT_TRUE(plan) << c.row << " " << c.code;
        EXPECT_EQ(render(t, *plan), QString::fromUtf8(c.result)) << c.row << " " << c.code;
    }
    // Effect rows head no block.
    EXPECT_FALSE(reorderRows(t.kinds, rowOf(t, QStringLiteral("L3.2")), MoveUp));
    EXPECT_FALSE(reorderRows(t.kinds, -1, MoveUp));
}

TEST(RowModel, DropsMoveBlocksAndSetTheLevel) {
    struct Case {
        const char* table;
        QStringList dragged;
        const char* target;
        int place;
        const char* result;  // nullptr: refused
    };
    const Case cases[] = {
        // Into a folder: first layers of it, in their old order.
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"L4", "L1"}, "G1", DropInto, "L2 G1(L1 L4 a1 a2 a3) L3 G2(b1 b2)"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"a3"}, "G1", DropInto, "L1 L2 G1(a3 a1 a2) L3 G2(b1 b2) L4"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"G2"}, "G1", DropInto, nullptr},
        // Above and below a top-level layer.
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"L1"}, "L3", DropBelow, "L2 G1(a1 a2 a3) L3 L1 G2(b1 b2) L4"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"a2"}, "L3", DropAbove, "L1 L2 G1(a1 a3) a2 L3 G2(b1 b2) L4"},
        // Next to a group's layer: joins that group.
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"L1"}, "a2", DropAbove, "L2 G1(a1 L1 a2 a3) L3 G2(b1 b2) L4"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"L4"}, "b2", DropBelow, "L1 L2 G1(a1 a2 a3) L3 G2(b1 b2 L4)"},
        // ... except below the table's last block.
        {"L1 G1(a1 a2)", {"L1"}, "a2", DropBelow, "G1(a1 a2) L1"},
        {"L1 G1(a1 a2)", {"L1"}, "a1", DropBelow, "G1(a1 L1 a2)"},
        // Above a group: top level.
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"b1"}, "G1", DropAbove, "L1 L2 b1 G1(a1 a2 a3) L3 G2(b2) L4"},
        // A group with its layers; over a group's layer it goes below that group.
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"G2"}, "L1", DropAbove, "G2(b1 b2) L1 L2 G1(a1 a2 a3) L3 L4"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"G2"}, "a1", DropAbove, "L1 L2 G1(a1 a2 a3) G2(b1 b2) L3 L4"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"G1", "L4"}, "b1", DropBelow, "L1 L2 L3 G2(b1 b2) G1(a1 a2 a3) L4"},
        // A group and one of its own layers: the layer comes along once.
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"G1", "a2"}, "L4", DropBelow, "L1 L2 L3 G2(b1 b2) L4 G1(a1 a2 a3)"},
        // Onto itself: nothing changes.
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"L3"}, "L3", DropAbove, "L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {"L2", "L3"}, "L3", DropBelow, "L1 G1(a1 a2 a3) L2 L3 G2(b1 b2) L4"},
        {"L1 L2 G1(a1 a2 a3) L3 G2(b1 b2) L4", {}, "L3", DropBelow, nullptr},
    };
    for (const Case& c : cases) {
        const Table t = parse(QString::fromUtf8(c.table));
        QList<int> rows;
        for (const QString& name : c.dragged)
            rows << rowOf(t, name);
        const auto plan = dropRows(t.kinds, rows, rowOf(t, QString::fromUtf8(c.target)), c.place);
        const QString what = c.dragged.join(QLatin1Char(',')) + QStringLiteral(" -> ") + QString::fromUtf8(c.target);
        if (!c.result) {
            EXPECT_FALSE(plan) << what.toStdString();
            continue;
        }
        ASSERT_TRUE(plan) << what.toStdString();
        EXPECT_EQ(render(t, *plan), QString::fromUtf8(c.result)) << what.toStdString();
    }
}

TEST(RowModel, DropsOnTheBigTableKeepEveryEffectRowUnderItsLayer) {
    const Table t = parse(kBig);
    QList<int> dragged;
    for (const char* name : {"L2", "a3", "G3", "L13", "c2"})
        dragged << rowOf(t, QString::fromUtf8(name));
    const auto plan = dropRows(t.kinds, dragged, rowOf(t, QStringLiteral("L9")), DropBelow);
    ASSERT_TRUE(plan);
    EXPECT_EQ(render(t, *plan), QStringLiteral("L1 G1(a1 a2) L3 L4 G2(b1 b2) L5 L6 L7 L8 L9 L2 a3 G3(c1 c2 c3 c4) L13 "
                                               "L10 L11 L12 L14 G4() L15 L16"));
    EXPECT_EQ(plan->order.size(), t.kinds.size());
}

}  // namespace
