// The matrix layout: the blend rule, the blend sent live while devices are
// placed and overlaps changed, what acceptance and cancel write and send, and
// the drops between the device list and the cells.
#include <QDateTime>
#include <QGraphicsSceneDragDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSpinBox>

#include <cstring>

#include "calibwire.h"
#include "kestrane/matrixdeviceitem.h"
#include "kestrane/matrixlayout.h"
#include "kestrane/matrixlistwidget.h"

namespace {

MatrixBlend blend(int top, int left, int right, int bottom) { return MatrixBlend{top, left, right, bottom}; }

std::ostream& operator<<(std::ostream& os, const MatrixBlend& b) {
    return os << "{t" << b.top << " l" << b.left << " r" << b.right << " b" << b.bottom << "}";
}

TEST(MatrixBlendRule, Cases) {
    struct Case {
        const char* name;
        int rows, columns, h, v;
        QList<bool> occupied;
        QMap<int, MatrixBlend> want;  // by cell index
    };
    const int h = 4, v = 5;
    const QList<Case> cases = {
        {"one row: no top or bottom", 1, 3, h, v, {true, true, true},
         {{0, blend(0, 0, h, 0)}, {1, blend(0, h, h, 0)}, {2, blend(0, h, 0, 0)}}},
        {"one column: no left or right", 3, 1, h, v, {true, true, true},
         {{0, blend(0, 0, 0, v)}, {1, blend(v, 0, 0, v)}, {2, blend(v, 0, 0, 0)}}},
        {"2x2 full, overlaps 5", 2, 2, 5, 5, {true, true, true, true},
         {{0, blend(0, 0, 5, 5)}, {1, blend(0, 5, 0, 5)}, {2, blend(5, 0, 5, 0)}, {3, blend(5, 5, 0, 0)}}},
        {"1x3 outer cells only", 1, 3, 4, 0, {true, false, true}, {{0, blend(0, 0, 0, 0)}, {2, blend(0, 0, 0, 0)}}},
        {"3x3 centre empty", 3, 3, h, v, {true, true, true, true, false, true, true, true, true},
         {{1, blend(0, h, h, 0)}, {3, blend(v, 0, 0, v)}, {5, blend(v, 0, 0, v)}, {7, blend(0, h, h, 0)},
          {0, blend(0, 0, h, v)}, {8, blend(v, h, 0, 0)}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const QList<MatrixBlend> got = MatrixLayout::computeBlend(k.rows, k.columns, k.h, k.v, k.occupied);
        ASSERT_EQ(got.size(), k.rows * k.columns);
        for (auto it = k.want.begin(); it != k.want.end(); ++it) EXPECT_EQ(got[it.key()], it.value()) << it.key();
    }
}

class MatrixTest : public CalibWire {
protected:
    // The dialog as exec() would show it, with its deferred grid built.
    std::unique_ptr<MatrixLayout> open(const QList<int>& ids) {
        auto d = std::make_unique<MatrixLayout>(ids);
        d->show();
        settle();
        return d;
    }
    static MatrixDeviceItem* cell(MatrixLayout& d, int index) { return d.cells().at(index); }
    static void setText(MatrixLayout& d, QLineEdit* edit, const QString& text) {
        edit->setText(text);
        settle();
        (void)d;
    }
    // A drop on a cell with the payload a drag would carry.
    static void dropOnCell(MatrixDeviceItem* target, int deviceId, void* source, bool fromScene) {
        QMimeData mime;
        mime.setProperty("deviceId", deviceId);
        if (fromScene) {
            mime.setProperty("from", QStringLiteral("scene"));
            mime.setProperty("item", QVariant::fromValue(static_cast<MatrixDeviceItem*>(source)));
        }
        QGraphicsSceneDragDropEvent ev(QEvent::GraphicsSceneDrop);
        ev.setMimeData(&mime);
        target->dropEvent(&ev);
    }
    static void dropOnList(MatrixLayout& d, int deviceId, void* source, bool fromScene) {
        QMimeData mime;
        mime.setProperty("deviceId", deviceId);
        if (fromScene) {
            mime.setProperty("from", QStringLiteral("scene"));
            mime.setProperty("item", QVariant::fromValue(static_cast<MatrixDeviceItem*>(source)));
        }
        QDropEvent ev(QPointF(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        d.form().listWidget->dropEvent(&ev);
    }
    static QList<int> hiddenIds(MatrixLayout& d) {
        QList<int> out;
        for (int i = 0; i < d.form().listWidget->count(); ++i)
            if (d.form().listWidget->item(i)->isHidden())
                out << d.form().listWidget->item(i)->data(MatrixLayout::kDeviceIdRole).toInt();
        return out;
    }
    static QList<int> placement(MatrixLayout& d) {
        QList<int> out;
        for (MatrixDeviceItem* cell : d.cells()) out << cell->deviceId();
        return out;
    }
    static const CHANNEL_BASE_INFO* channelOf(const lintratest::Request& r, int channelId) {
        const int count = r.head.intParam[0];
        for (int i = 0; i < count; ++i) {
            const size_t at = size_t(i) * sizeof(CHANNEL_BASE_INFO);
            if (r.body.size() < at + sizeof(CHANNEL_BASE_INFO)) return nullptr;
            const auto* ch = reinterpret_cast<const CHANNEL_BASE_INFO*>(r.body.data() + at);
            int32_t id;
            std::memcpy(&id, &ch->channelId, sizeof id);
            if (id == channelId) return ch;
        }
        return nullptr;
    }
    // The last world a server was sent.
    static lintratest::Request lastWorld(const lintratest::ScriptedServer& s) {
        const std::vector<lintratest::Request> all = s.Requests();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->head.command == NETCMD::ResetWorldConfig) return *it;
        return {};
    }
    // A world, then the edge values and curves of each device of the server,
    // which the world does not carry to the wall.
    static std::vector<uint32_t> worldAndCurves(int devices) {
        std::vector<uint32_t> out{NETCMD::ResetWorldConfig};
        for (int i = 0; i < devices; ++i) {
            out.push_back(NETCMD::SetEdgeEliminateParam);
            out.push_back(NETCMD::SetGlobalColor);
        }
        return out;
    }
    static std::vector<uint32_t> codesOf(const lintratest::ScriptedServer& s, size_t from = 0) {
        std::vector<uint32_t> out;
        for (const Sent& x : sent(s, from)) out.push_back(x.code);
        return out;
    }
    static std::vector<int> blendBytes(const lintratest::Request& r) {
        const auto* t = reinterpret_cast<const uint8_t*>(r.head.textParam);
        return {r.head.intParam[1], t[0], t[1], t[2], t[3]};  // channel, left, top, right, bottom
    }
};

TEST_F(MatrixTest, LiveBlendGoesOnlyToDevicesWhoseWidthsChanged) {
    auto d = open({1, 2, 3});
    EXPECT_EQ(a.RequestCount() + b.RequestCount(), 0u) << "an empty matrix changes no blend";
    cell(*d, 0)->setDevice(1);
    cell(*d, 1)->setDevice(2);
    EXPECT_EQ(a.RequestCount() + b.RequestCount(), 0u) << "no overlap yet";

    setText(*d, d->form().hNum, QStringLiteral("6"));
    ASSERT_EQ(a.RequestCount(), 1u);
    ASSERT_EQ(b.RequestCount(), 1u);
    EXPECT_EQ(a.Requests()[0].head.command, NETCMD::SetBlendData);
    EXPECT_EQ(blendBytes(a.Requests()[0]), (std::vector<int>{1, 0, 0, 6, 0}));
    EXPECT_EQ(blendBytes(b.Requests()[0]), (std::vector<int>{3, 6, 0, 0, 0}));
    EXPECT_EQ(d->form().hSlider->value(), 6);

    // Device 3 below an empty cell and beside nothing: its widths stay 0.
    cell(*d, 3)->setDevice(3);
    EXPECT_EQ(a.RequestCount(), 1u);
    EXPECT_EQ(b.RequestCount(), 1u);
    // The same overlap again sends nothing.
    d->form().hSlider->setValue(6);
    EXPECT_EQ(a.RequestCount() + b.RequestCount(), 2u);

    // A rows change empties the grid: zeros only where widths were not.
    d->form().rowNum->setValue(3);
    settle();
    ASSERT_EQ(a.RequestCount(), 2u);
    ASSERT_EQ(b.RequestCount(), 2u);
    EXPECT_EQ(blendBytes(a.Requests()[1]), (std::vector<int>{1, 0, 0, 0, 0}));
    EXPECT_EQ(blendBytes(b.Requests()[1]), (std::vector<int>{3, 0, 0, 0, 0}));
    EXPECT_EQ(d->form().hNum->text(), QStringLiteral("0"));
    EXPECT_EQ(d->cells().size(), 6);
    EXPECT_TRUE(hiddenIds(*d).isEmpty());
    d->reject();
}

TEST_F(MatrixTest, OverlapMovesCellsAndSurvivesOddTexts) {
    auto d = open({1, 2, 3});
    const QList<QRectF> base = *d->cellRects();
    setText(*d, d->form().vNum, QStringLiteral("05"));
    // The slider writes the number back in its own form.
    EXPECT_EQ(d->form().vNum->text(), QStringLiteral("5"));
    const double cellH = 1080.0 / 40;
    EXPECT_DOUBLE_EQ(d->cellRects()->at(2).y(), base[2].y() - 5 * cellH);
    EXPECT_DOUBLE_EQ(d->cellRects()->at(0).y(), base[0].y());
    EXPECT_DOUBLE_EQ(d->cellRects()->at(3).x(), base[3].x());
    // The cells follow their rectangles.
    EXPECT_DOUBLE_EQ(cell(*d, 2)->pos().y(), d->cellRects()->at(2).y() * d->viewScale());
    EXPECT_GT(d->viewScale(), 0.0);
    d->reject();
}

TEST_F(MatrixTest, AcceptWritesThePlacementAndSendsEachServerOneCurrentWorld) {
    // A grid edit made after the stored world was built.
    c.device(1)->grid[0][0] = DOUBLE_POINT{-0.75, -0.5};
    c.device(2)->colorRatio[1] = 0.5f;
    c.device(1)->stageX = 100;
    c.device(1)->stageY = 50;
    auto d = open({1, 2, 3});
    cell(*d, 0)->setDevice(1);
    cell(*d, 1)->setDevice(3);
    cell(*d, 2)->setDevice(2);
    setText(*d, d->form().hNum, QStringLiteral("8"));
    const size_t beforeA = a.RequestCount(), beforeB = b.RequestCount();
    const qint64 early = QDateTime::currentMSecsSinceEpoch();
    d->accept();

    EXPECT_EQ(codesOf(a, beforeA), worldAndCurves(2));
    EXPECT_EQ(codesOf(b, beforeB), worldAndCurves(1));
    const lintratest::Request worldA = lastWorld(a);
    ASSERT_EQ(worldA.head.intParam[0], 2);
    const CHANNEL_BASE_INFO* one = channelOf(worldA, 1);
    ASSERT_NE(one, nullptr);
    DOUBLE_POINT p;
    std::memcpy(&p, &one->grid[0][0], sizeof p);
    EXPECT_EQ(p.x, -0.75);
    RECT bw;
    std::memcpy(&bw, &one->blendWidth, sizeof bw);
    EXPECT_EQ(bw.right, 8);
    EXPECT_EQ(bw.bottom, 0) << "vertical overlap 0";
    const lintratest::Request worldB = lastWorld(b);
    const CHANNEL_BASE_INFO* two = channelOf(worldB, 3);
    ASSERT_NE(two, nullptr);
    float ratio[3];
    std::memcpy(ratio, two->colorRatio, sizeof ratio);
    EXPECT_EQ(ratio[1], 0.5f);

    const DeviceRecord& r1 = *c.device(1);
    const DeviceRecord& r3 = *c.device(3);
    const DeviceRecord& r2 = *c.device(2);
    EXPECT_GE(r1.groupStamp, early);
    EXPECT_EQ(r3.groupStamp, r1.groupStamp);
    EXPECT_EQ(r2.groupStamp, r1.groupStamp);
    EXPECT_EQ(r1.matrixRows(), 2);
    EXPECT_EQ(r1.matrixColumns(), 2);
    EXPECT_EQ(r1.matrixHOverlap(), 8);
    EXPECT_EQ(r1.matrixVOverlap(), 0);
    EXPECT_EQ(r1.matrixCell, 0);
    EXPECT_EQ(r3.matrixCell, 1);
    EXPECT_EQ(r2.matrixCell, 2);
    // Device 1 is nearest the stage origin and anchors the matrix.
    EXPECT_DOUBLE_EQ(r1.stageX, 100);
    EXPECT_DOUBLE_EQ(r1.stageY, 50);
    EXPECT_DOUBLE_EQ(r3.stageX, 100 + 1920 - 8 * 48);
    EXPECT_DOUBLE_EQ(r2.stageY, 50 + 1080);
    EXPECT_EQ(r1.blendRight, 8);
    EXPECT_EQ(r3.blendLeft, 8);
    EXPECT_EQ(r2.blendRight, 0) << "its right neighbour is empty";
    EXPECT_FALSE(c.isSaved());
}

TEST_F(MatrixTest, CancelRestoresEveryServerOnceFromTheCurrentRecords) {
    c.device(3)->grid[40][40] = DOUBLE_POINT{0.9, 0.8};
    auto d = open({1, 2, 3});
    cell(*d, 0)->setDevice(1);
    cell(*d, 1)->setDevice(2);
    setText(*d, d->form().hNum, QStringLiteral("3"));
    const size_t beforeA = a.RequestCount(), beforeB = b.RequestCount();
    d->reject();
    EXPECT_EQ(codesOf(a, beforeA), worldAndCurves(2));
    EXPECT_EQ(codesOf(b, beforeB), worldAndCurves(1));
    const lintratest::Request world = lastWorld(a);
    const CHANNEL_BASE_INFO* three = channelOf(world, 2);
    ASSERT_NE(three, nullptr);
    DOUBLE_POINT p;
    std::memcpy(&p, &three->grid[40][40], sizeof p);
    EXPECT_EQ(p.x, 0.9);
    RECT bw;
    std::memcpy(&bw, &channelOf(world, 1)->blendWidth, sizeof bw);
    EXPECT_EQ(bw.right, 0) << "the live blend is taken back";
    EXPECT_EQ(c.device(1)->matrixCell, -1);
    EXPECT_EQ(c.device(1)->groupStamp, 0);
}

TEST_F(MatrixTest, OnePlacedDeviceIsNoMatrix) {
    auto d = open({1, 2, 3});
    cell(*d, 1)->setDevice(2);
    d->accept();
    const DeviceRecord& r = *c.device(2);
    EXPECT_EQ(r.groupStamp, 0);
    EXPECT_EQ(r.matrixCell, -1);
    EXPECT_EQ(r.matrixRows(), 0);
    EXPECT_EQ(r.matrixColumns(), 0);
    // It still takes its place: one output to the right of where it stood.
    EXPECT_DOUBLE_EQ(r.stageX, 1920 + 1920);
    EXPECT_DOUBLE_EQ(r.stageY, 0);
}

TEST_F(MatrixTest, ReopeningRestoresTheMatrixAndKeepsItsStamp) {
    const qint64 stamp = 1234567;
    const int cells[3] = {0, 2, 1};
    for (int id : {1, 2, 3}) {
        DeviceRecord& r = *c.device(id);
        r.groupStamp = stamp;
        r.setMatrix(1, 3, 7, 0);
        r.matrixCell = cells[id - 1];
    }
    auto d = open({1, 2, 3});
    EXPECT_EQ(d->rows(), 1);
    EXPECT_EQ(d->columns(), 3);
    EXPECT_EQ(d->form().colNum->value(), 3);
    EXPECT_EQ(d->form().hNum->text(), QStringLiteral("7"));
    EXPECT_EQ(placement(*d), (QList<int>{1, 3, 2}));
    EXPECT_EQ(hiddenIds(*d), (QList<int>{1, 2, 3}));
    d->accept();
    for (int id : {1, 2, 3}) EXPECT_EQ(c.device(id)->groupStamp, stamp);
    EXPECT_EQ(c.device(3)->matrixCell, 1);
    EXPECT_EQ(c.device(1)->matrixHOverlap(), 7);
}

TEST_F(MatrixTest, Drops) {
    auto d = open({1, 2, 3});
    MatrixDeviceItem* c0 = cell(*d, 0);
    MatrixDeviceItem* c1 = cell(*d, 1);
    MatrixDeviceItem* c2 = cell(*d, 2);

    // List to an empty cell.
    dropOnCell(c0, 1, nullptr, false);
    EXPECT_EQ(placement(*d), (QList<int>{1, 0, 0, 0}));
    EXPECT_EQ(hiddenIds(*d), QList<int>{1});
    EXPECT_FALSE(c0->acceptDrops());
    EXPECT_EQ(c0->zValue(), 1);

    // List to a full cell: nothing.
    dropOnCell(c0, 2, nullptr, false);
    EXPECT_EQ(placement(*d), (QList<int>{1, 0, 0, 0}));
    EXPECT_EQ(hiddenIds(*d), QList<int>{1});

    // Cell to cell.
    setText(*d, d->form().hNum, QStringLiteral("4"));
    dropOnCell(c1, 2, nullptr, false);
    const size_t beforeA = a.RequestCount();
    dropOnCell(c2, 1, c0, true);
    EXPECT_EQ(placement(*d), (QList<int>{0, 2, 1, 0}));
    EXPECT_TRUE(c0->acceptDrops());
    EXPECT_EQ(c0->zValue(), 0);
    EXPECT_EQ(hiddenIds(*d), (QList<int>{1, 2}));
    // Device 1 left its neighbour: its right width went back to 0.
    ASSERT_GT(a.RequestCount(), beforeA);
    EXPECT_EQ(blendBytes(a.Requests().back()), (std::vector<int>{1, 0, 0, 0, 0}));

    // An empty cell's drag carries 0: nothing on a cell or the list.
    MatrixDeviceItem* c3 = cell(*d, 3);
    dropOnCell(c0, 0, c3, true);
    dropOnList(*d, 0, c3, true);
    EXPECT_EQ(placement(*d), (QList<int>{0, 2, 1, 0}));

    // List to list: not from the scene, nothing.
    dropOnList(*d, 3, nullptr, false);
    EXPECT_EQ(hiddenIds(*d), (QList<int>{1, 2}));

    // A pointer that is no cell of this dialog is never followed.
    int foreign = 0;
    dropOnList(*d, 2, &foreign, true);
    dropOnCell(c0, 2, &foreign, true);
    EXPECT_EQ(placement(*d), (QList<int>{0, 2, 1, 0}));
    EXPECT_EQ(hiddenIds(*d), (QList<int>{1, 2}));

    // Cell to list.
    dropOnList(*d, 2, c1, true);
    EXPECT_EQ(placement(*d), (QList<int>{0, 0, 1, 0}));
    EXPECT_EQ(hiddenIds(*d), QList<int>{1});
    d->reject();
}

}  // namespace
