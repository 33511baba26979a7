#include <gtest/gtest.h>

#include <limits>

#include <functional>

#include "blobbytes.h"
#include "kestrane/common.h"
#include "kestrane/gconfig.h"
#include "lintra/algorithm.h"

namespace {

const int kLevels[17] = {0x00, 0x0F, 0x1F, 0x2F, 0x3F, 0x4F, 0x5F, 0x6F, 0x7F,
                         0x8F, 0x9F, 0xAF, 0xBF, 0xCF, 0xDF, 0xEF, 0xFF};

// The expected device blob, field by field, from the record's values.
QByteArray deviceBytes(const DeviceRecord& d) {
    Bytes b;
    b.i32(d.presetIndex).str(d.name).str(d.serverIp).i32(d.width).i32(d.height).f64(d.stageX).f64(d.stageY);
    for (int v : {d.outputIndex, d.offsetMode, d.offsetX, d.offsetY, d.blendLeft, d.blendTop, d.blendRight,
                  d.blendBottom})
        b.i32(v);
    b.f64(d.rotation);
    b.u32(1681);
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) b.f64(d.grid[i][j].x).f64(d.grid[i][j].y);
    for (float r : d.colorRatio) b.f64(r);
    for (const auto& curve : d.colorCurve) {
        b.u32(18);
        for (quint8 v : curve) b.i8(v);
    }
    for (const auto& triple : d.edgeParam) {
        b.u32(3);
        for (float v : triple) b.f64(v);
    }
    b.i64(d.groupStamp);
    b.i32(d.matrixValues[1]).i32(d.matrixValues[0]).i32(d.matrixCell).i32(d.matrixValues[2]).i32(d.matrixValues[3]);
    b.i32(d.folderId);
    b.f64(d.angle).i32(d.adjustMode).i32(d.adjustValue);
    b.u32(9);
    for (const DOUBLE_POINT& p : d.controlPoints) b.f64(p.x).f64(p.y);
    return b.data();
}

DeviceRecord sampleDevice() {
    DeviceRecord d;
    d.presetIndex = 2;
    d.name = QStringLiteral("投影1");
    d.serverIp = QStringLiteral("192.168.1.20");
    d.width = 1920;
    d.height = 1080;
    d.stageX = 10.5;
    d.stageY = -0.25;
    d.folderId = 7;
    d.groupStamp = 1700000000123LL;
    d.matrixValues[0] = 11;
    d.matrixValues[1] = 22;
    d.matrixValues[2] = 33;
    d.matrixValues[3] = 44;
    d.matrixCell = 3;
    d.outputIndex = 2;
    d.offsetMode = 1;
    d.offsetX = -5;
    d.offsetY = 6;
    d.blendLeft = 1;
    d.blendTop = 2;
    d.blendRight = 3;
    d.blendBottom = 40;
    d.rotation = 90.5f;
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) d.grid[i][j] = DOUBLE_POINT{i * 0.01 - 0.2, j * -0.03 + 0.1};
    d.angle = 12.25;
    d.adjustMode = 0;
    d.adjustValue = 0x300;
    for (int k = 0; k < 9; ++k) d.controlPoints[k] = DOUBLE_POINT{k * 0.5, -k * 0.25};
    d.colorRatio[1] = 0.75f;
    d.colorCurve[2][5] = 0x80;
    d.colorCurve[0][17] = 0xFE;  // signed -2 in the blob
    d.edgeParam[1][2] = 2.5f;
    return d;
}

void expectSameBlobFields(const DeviceRecord& a, const DeviceRecord& b) {
    EXPECT_EQ(a.toBlob(), b.toBlob());
}

}  // namespace

TEST(DeviceRecord, DefaultsOfANewRecord) {
    DeviceRecord d;
    EXPECT_EQ(d.presetIndex, 0);
    EXPECT_TRUE(d.presetText.isEmpty());
    EXPECT_TRUE(d.name.isEmpty());
    EXPECT_TRUE(d.serverIp.isEmpty());
    EXPECT_EQ(d.width, 0);
    EXPECT_EQ(d.height, 0);
    EXPECT_EQ(d.stageX, -1.0);
    EXPECT_EQ(d.stageY, -1.0);
    EXPECT_FALSE(d.online);
    EXPECT_EQ(d.groupStamp, 0);
    for (int v : d.matrixValues) EXPECT_EQ(v, 0);
    EXPECT_EQ(d.matrixCell, -1);
    EXPECT_EQ(d.syncProgress, -1);
    EXPECT_FALSE(d.syncFailed);
    EXPECT_EQ(d.outputIndex, 0);
    EXPECT_EQ(d.offsetMode, 0);
    EXPECT_EQ(d.blendLeft + d.blendTop + d.blendRight + d.blendBottom, 0);
    EXPECT_EQ(d.rotation, 0.0f);
    EXPECT_EQ(d.angle, 0.0);
    EXPECT_EQ(d.adjustMode, 1);
    EXPECT_EQ(d.adjustValue, 0);
    for (float r : d.colorRatio) EXPECT_EQ(r, 1.0f);
    for (const auto& curve : d.colorCurve) {
        for (int k = 0; k < 17; ++k) EXPECT_EQ(curve[k], kLevels[k]) << k;
        EXPECT_EQ(curve[17], 0);
    }
    for (const auto& t : d.edgeParam) {
        EXPECT_EQ(t[0], 1.2f);
        EXPECT_EQ(t[1], 0.5f);
        EXPECT_EQ(t[2], 1.0f);
    }
    EXPECT_FALSE(d.highlight);
    EXPECT_EQ(d.stageItem, nullptr);
}

TEST(DeviceRecord, NewGridIsTheBezierFillAndItsControlPointsAreTheDefaults) {
    DeviceRecord d;
    VERTEX_GRID expected;
    LINTRA_ALGORITHM::CalcVertexValue_9(kestrane::kDefaultControlPoints, expected);
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) {
            EXPECT_EQ(d.grid[i][j].x, expected[i][j].x);
            EXPECT_EQ(d.grid[i][j].y, expected[i][j].y);
        }
    const double want[9][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}, {0, 0}};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(d.controlPoints[k].x, want[k][0]) << k;
        EXPECT_EQ(d.controlPoints[k].y, want[k][1]) << k;
    }
    // A flat net: the grid is the even square.
    EXPECT_NEAR(d.grid[10][0].x, -0.5, 1e-6);
    EXPECT_NEAR(d.grid[30][40].y, 1.0, 1e-12);
}

TEST(DeviceRecord, BlobOfANewRecordMatchesTheHandBuiltBytes) {
    DeviceRecord d;
    const QByteArray blob = d.toBlob();
    EXPECT_EQ(blob, deviceBytes(d));
    // Floats travel as 8-byte doubles: ratios 1.0 right after the grid.
    const int gridEnd = 4 + 4 + 4 + 8 + 16 + 32 + 8 + 4 + 1681 * 16;
    EXPECT_EQ(blob.mid(gridEnd, 8), QByteArray::fromHex("3ff0000000000000"));
    // First curve: count 18, then 00 0F 1F ...
    EXPECT_EQ(blob.mid(gridEnd + 24, 7), QByteArray::fromHex("00000012000f1f"));
    // First triple: count 3, 1.2f as a double.
    Bytes t;
    t.u32(3).f64(double(1.2f)).f64(0.5).f64(1.0);
    EXPECT_EQ(blob.mid(gridEnd + 24 + 3 * 22, 28), t.data());
    EXPECT_EQ(blob.size(), gridEnd + 24 + 3 * 22 + 3 * 28 + 8 + 24 + 16 + 4 + 9 * 16);
}

TEST(DeviceRecord, BlobKeepsTheFixedOrderOfTheMatrixFields) {
    const DeviceRecord d = sampleDevice();
    EXPECT_EQ(d.toBlob(), deviceBytes(d));
}

TEST(DeviceRecord, RoundTripKeepsBlobFieldsAndLeavesTheOthersAlone) {
    const DeviceRecord src = sampleDevice();
    DeviceRecord dst;
    dst.presetText = QStringLiteral("XGA  (1024x768)");
    dst.reserved9 = 9;
    dst.online = true;
    dst.syncProgress = 40;
    dst.syncFailed = true;
    dst.highlight = true;
    auto* item = reinterpret_cast<QGraphicsItem*>(0x1234);
    dst.stageItem = item;
    ASSERT_TRUE(dst.fromBlob(src.toBlob()));
    expectSameBlobFields(dst, src);
    EXPECT_EQ(dst.name, src.name);
    EXPECT_EQ(dst.colorCurve[0][17], 0xFE);
    EXPECT_EQ(dst.groupStamp, src.groupStamp);
    EXPECT_EQ(dst.matrixValues[0], 11);
    EXPECT_EQ(dst.matrixValues[3], 44);
    EXPECT_EQ(dst.folderId, 7);
    EXPECT_EQ(dst.grid[40][40].x, src.grid[40][40].x);
    EXPECT_EQ(dst.presetText, QStringLiteral("XGA  (1024x768)"));
    EXPECT_EQ(dst.reserved9, 9);
    EXPECT_TRUE(dst.online);
    EXPECT_EQ(dst.syncProgress, 40);
    EXPECT_TRUE(dst.syncFailed);
    EXPECT_TRUE(dst.highlight);
    EXPECT_EQ(dst.stageItem, item);
}

TEST(DeviceRecord, EveryTruncationIsReadWithoutFaultAndKeepsTheMissingFields) {
    const QByteArray blob = sampleDevice().toBlob();
    // Cuts at field borders and inside fields, through the whole blob.
    QList<int> cuts = {0, 1, 3, 4, 7, 20, 60, 100, 1000, 27000};
    for (int k = blob.size() - 200; k < blob.size(); k += 7) cuts.append(k);
    for (int cut : cuts) {
        DeviceRecord d;
        d.name = QStringLiteral("kept");
        EXPECT_FALSE(d.fromBlob(blob.left(cut))) << cut;
        if (cut < 8) {
            EXPECT_EQ(d.name, QStringLiteral("kept")) << cut;
        }
        // Whatever was missing keeps its value: the control points of a new
        // record are the defaults unless the blob supplied all nine.
        EXPECT_EQ(d.controlPoints[3].x, -1.0) << cut;
        EXPECT_EQ(d.adjustMode, cut < blob.size() - 4 - 9 * 16 - 4 ? 1 : 0) << cut;
    }
}

TEST(DeviceRecord, ListsOfTheWrongLengthAreRefusedFieldByField) {
    const DeviceRecord src = sampleDevice();
    const QByteArray good = src.toBlob();
    const int gridAt = 4 + src.name.size() * 2 + 4 + src.serverIp.size() * 2 + 4 + 8 + 16 + 32 + 8;

    struct Case {
        const char* what;
        std::function<QByteArray()> blob;
        bool gridTaken;
        bool restTaken;
    };
    const QList<Case> cases = {
        // 1,680 points: the stream stays in step, the grid is refused.
        {"short grid",
         [&] {
             Bytes b;
             b.u32(1680);
             return good.left(gridAt) + b.data() + good.mid(gridAt + 4, 1680 * 16) + good.mid(gridAt + 4 + 1681 * 16);
         },
         false, true},
        // A count far beyond the data: nothing is allocated, reading stops.
        {"huge grid count",
         [&] {
             Bytes b;
             b.u32(0xFFFFFFFFu);
             return good.left(gridAt) + b.data() + good.mid(gridAt + 4);
         },
         false, false},
        {"one point too many",
         [&] {
             Bytes b;
             b.u32(1682);
             return good.left(gridAt) + b.data() + good.mid(gridAt + 4, 1681 * 16) + Bytes().f64(7).f64(7).data() +
                    good.mid(gridAt + 4 + 1681 * 16);
         },
         false, true},
    };
    for (const Case& c : cases) {
        DeviceRecord d;
        const DeviceRecord fresh;
        EXPECT_FALSE(d.fromBlob(c.blob())) << c.what;
        EXPECT_EQ(d.name, src.name) << c.what;
        EXPECT_EQ(d.rotation, src.rotation) << c.what;
        EXPECT_EQ(d.grid[3][4].x, (c.gridTaken ? src : fresh).grid[3][4].x) << c.what;
        EXPECT_EQ(d.colorRatio[1], (c.restTaken ? src : fresh).colorRatio[1]) << c.what;
        EXPECT_EQ(d.angle, (c.restTaken ? src : fresh).angle) << c.what;
        EXPECT_EQ(d.controlPoints[5].x, (c.restTaken ? src : fresh).controlPoints[5].x) << c.what;
    }
}

TEST(DeviceRecord, WrongCurveAndTripleCountsKeepTheirFields) {
    // A blob with 17-byte curves and 2-value triples after the ratios.
    DeviceRecord src = sampleDevice();
    QByteArray blob = src.toBlob();
    const int curvesAt = 4 + src.name.size() * 2 + 4 + src.serverIp.size() * 2 + 4 + 8 + 16 + 32 + 8 + 4 + 1681 * 16 + 24;
    Bytes b;
    for (int c = 0; c < 3; ++c) {
        b.u32(17);
        for (int k = 0; k < 17; ++k) b.i8(0x55);
    }
    for (int t = 0; t < 3; ++t) b.u32(2).f64(9).f64(9);
    const QByteArray bad = blob.left(curvesAt) + b.data() + blob.mid(curvesAt + 3 * 22 + 3 * 28);
    DeviceRecord d;
    EXPECT_FALSE(d.fromBlob(bad));
    EXPECT_EQ(d.colorCurve[2][5], 0x4F);  // the default level, not 0x55
    EXPECT_EQ(d.edgeParam[1][2], 1.0f);
    EXPECT_EQ(d.groupStamp, src.groupStamp);  // later fields still read
    EXPECT_EQ(d.controlPoints[8].y, src.controlPoints[8].y);
}

// ---------------------------------------------------------------------------

TEST(EffectKey, DefaultsAndGoldenBlob) {
    EffectKey e;
    EXPECT_EQ(e.id, 0);
    EXPECT_EQ(e.time, -1);
    EXPECT_EQ(e.value1 + e.value2 + e.value3 + e.value4, 0.0);
    EXPECT_FALSE(e.disabled);

    e.id = 5;
    e.kind = 2;
    e.time = 1500;
    e.value1 = 45.0;
    e.value2 = 1.0;
    e.value4 = -0.5;
    e.disabled = true;
    const QByteArray want = Bytes().i32(5).i32(2).i32(1500).f64(45).f64(1).f64(0).f64(-0.5).boolean(true).data();
    EXPECT_EQ(e.toBlob(), want);
    EXPECT_EQ(want.size(), 45);
    EffectKey back;
    back.reserved = 77;
    ASSERT_TRUE(back.fromBlob(want));
    EXPECT_EQ(back.toBlob(), want);
    EXPECT_EQ(back.reserved, 77);
    EXPECT_FALSE(EffectKey().fromBlob(want.left(44)));
}

TEST(ShowControlRecords, DefaultsOfTheOutputTarget) {
    OutControlRecord o;
    EXPECT_EQ(o.id, 0);
    EXPECT_EQ(o.type, 0);
    EXPECT_EQ(o.com, 0);
    EXPECT_EQ(o.port, 0);
    EXPECT_TRUE(o.isTcp);
    EXPECT_EQ(o.kind, 2);
    LayerIORecord l;
    EXPECT_EQ(l.id, 0);
    EXPECT_TRUE(l.data.isEmpty());
    PlayControlRecord p;
    EXPECT_EQ(p.type, 0);
    EXPECT_TRUE(p.command.isNull());
}

TEST(ShowControlRecords, GoldenBlobsAndRoundTrips) {
    OutControlRecord o;
    o.id = 3;
    o.name = QStringLiteral("串口1");
    o.type = 1;
    o.deviceId = 4;
    o.com = 2;
    o.baud = 9600;
    o.parity = 2;
    o.ip = QStringLiteral("10.0.0.9");
    o.port = 5000;
    o.isTcp = false;
    o.kind = 2;
    const QByteArray oWant = Bytes()
                                 .i32(3)
                                 .str(o.name)
                                 .i32(1)
                                 .i32(4)
                                 .i32(2)
                                 .i32(9600)
                                 .i32(2)
                                 .str(o.ip)
                                 .i32(5000)
                                 .boolean(false)
                                 .i32(2)
                                 .data();
    EXPECT_EQ(o.toBlob(), oWant);
    OutControlRecord o2;
    ASSERT_TRUE(o2.fromBlob(oWant));
    EXPECT_EQ(o2.toBlob(), oWant);

    LayerIORecord l;
    l.id = 8;
    l.outControlId = 3;
    l.layerRow = 2;
    l.name = QStringLiteral("out");
    l.data = QStringLiteral("PLAY\r\n");
    l.time = 12000;
    l.length = 500;
    l.kind = 2;
    const QByteArray lWant =
        Bytes().i32(8).i32(3).i32(2).str(l.name).str(l.data).i32(12000).i32(500).i32(2).data();
    EXPECT_EQ(l.toBlob(), lWant);
    LayerIORecord l2;
    ASSERT_TRUE(l2.fromBlob(lWant));
    EXPECT_EQ(l2.toBlob(), lWant);

    PlayControlRecord p;
    p.id = 1;
    p.layerRow = 4;
    p.name = QStringLiteral("f3");
    p.time = 3000;
    p.keyCode = 0x01000032;
    p.type = 2;
    p.command = QStringLiteral("go");
    p.jumpMode = 1;
    p.jumpTime = 9000;
    p.targetName = QStringLiteral("开始");
    p.stayPaused = 1;
    p.delay = 250;
    const QByteArray pWant = Bytes()
                                 .i32(1)
                                 .i32(4)
                                 .str(p.name)
                                 .i32(3000)
                                 .i32(0x01000032)
                                 .i32(2)
                                 .str(p.command)
                                 .i32(1)
                                 .i32(9000)
                                 .str(p.targetName)
                                 .i32(1)
                                 .i32(250)
                                 .data();
    EXPECT_EQ(p.toBlob(), pWant);
    PlayControlRecord p2;
    ASSERT_TRUE(p2.fromBlob(pWant));
    EXPECT_EQ(p2.toBlob(), pWant);

    // Short and garbage blobs: no fault, the result says so.
    for (int cut : {0, 5, 11}) {
        EXPECT_FALSE(PlayControlRecord().fromBlob(pWant.left(cut))) << cut;
        EXPECT_FALSE(OutControlRecord().fromBlob(oWant.left(cut))) << cut;
        EXPECT_FALSE(LayerIORecord().fromBlob(lWant.left(cut))) << cut;
    }
    // An odd string byte count is corrupt.
    PlayControlRecord p3;
    EXPECT_FALSE(p3.fromBlob(Bytes().i32(1).i32(4).u32(3).raw("abc").data()));
    EXPECT_EQ(p3.id, 1);
}

// ---------------------------------------------------------------------------

namespace {

EffectKey key(int id, int kind, int time, double v1, double v2 = 0, bool disabled = false) {
    EffectKey e;
    e.id = id;
    e.kind = kind;
    e.time = time;
    e.value1 = v1;
    e.value2 = v2;
    e.disabled = disabled;
    return e;
}

MediaSource sampleMedia() {
    MediaSource m;
    m.kind = 0;
    m.kindText = QStringLiteral("视频");
    m.path = QStringLiteral("/media/a b.mp4");
    m.folderPath = QStringLiteral("/media");
    m.fileName = QStringLiteral("a b.mp4");
    m.duration = 12000;
    m.start = 500;
    m.x = 100.5;
    m.y = 200.25;
    m.layer = 2;
    m.scale = 1.5;
    m.id = 9;
    m.hidden = true;
    m.nativeWidth = 1280;
    m.nativeHeight = 720;
    m.width = 640.0;
    m.height = 360.0;
    m.fileSize = 5000000000LL;
    m.naturalLength = 11000;
    m.focusRequest = true;
    m.sourceKey = 1700000000000123LL;
    m.folderKey = 42;
    m.collapsed = true;
    m.effects.insert(1, key(1, 1, 0, 10, 20));
    m.effects.insert(4, key(4, 3, 1000, 0.5, 1.0, true));
    return m;
}

}  // namespace

TEST(MediaSource, Defaults) {
    MediaSource m;
    EXPECT_EQ(m.kind, -1);
    EXPECT_TRUE(m.path.isEmpty());
    EXPECT_TRUE(m.thumbnail.isNull());
    EXPECT_EQ(m.duration, -1);
    EXPECT_EQ(m.start, -1);
    EXPECT_EQ(m.x, -1.0);
    EXPECT_EQ(m.y, -1.0);
    EXPECT_EQ(m.layer, -1);
    EXPECT_EQ(m.scale, 1.0);
    EXPECT_EQ(m.id, -1);
    EXPECT_EQ(m.previewHandle, nullptr);
    EXPECT_FALSE(m.hidden);
    EXPECT_EQ(m.nativeWidth, 0);
    EXPECT_EQ(m.width, 0.0);
    EXPECT_EQ(m.fileSize, 0);
    EXPECT_EQ(m.naturalLength, -1);
    EXPECT_TRUE(m.serverHandles.isEmpty());
    EXPECT_EQ(m.sourceKey, 0);
    EXPECT_FALSE(m.selected);
    EXPECT_TRUE(m.effects.isEmpty());
    EXPECT_EQ(m.trailer, 0xCC0D8983u);
    EXPECT_EQ(m.nextEffectKeyId(), 1);
}

TEST(MediaSource, GoldenBlobWritesEffectKeysFromTheGreatestDown) {
    const MediaSource m = sampleMedia();
    Bytes b;
    b.i32(0).str(m.path).str(m.folderPath).str(m.fileName);
    b.i32(0);  // null thumbnail
    b.i32(12000).i32(500).f64(100.5).f64(200.25);
    b.i32(2).f64(1.5).i32(9);
    b.boolean(true).i32(1280).i32(720);
    b.i64(5000000000LL).i32(11000).boolean(true);
    b.i64(1700000000000123LL).i64(42);
    b.f64(640).f64(360);
    b.u32(2);
    b.i32(4).bytes(m.effects[4].toBlob());
    b.i32(1).bytes(m.effects[1].toBlob());
    b.boolean(true);
    EXPECT_EQ(m.toBlob(), b.data());
}

TEST(MediaSource, RoundTripKeepsKeysAndNonBlobFields) {
    const MediaSource src = sampleMedia();
    MediaSource dst;
    dst.kindText = QStringLiteral("keep");
    dst.previewHandle = reinterpret_cast<void*>(0x77);
    dst.serverHandles.insert(QStringLiteral("10.0.0.1"), 5);
    dst.pressed = true;
    dst.selected = true;
    ASSERT_TRUE(dst.fromBlob(src.toBlob()));
    EXPECT_EQ(dst.toBlob(), src.toBlob());
    EXPECT_EQ(dst.effects.keys(), (QList<int>{1, 4}));
    EXPECT_EQ(dst.effects[4].time, 1000);
    EXPECT_TRUE(dst.effects[4].disabled);
    EXPECT_EQ(dst.kindText, QStringLiteral("keep"));
    EXPECT_EQ(dst.previewHandle, reinterpret_cast<void*>(0x77));
    EXPECT_EQ(dst.serverHandles.value(QStringLiteral("10.0.0.1")), 5u);
    EXPECT_TRUE(dst.pressed);
    EXPECT_TRUE(dst.selected);
    // The index follows the keys read: the disabled scale key is left out.
    EXPECT_TRUE(dst.effectsByKind.contains(1));
    EXPECT_FALSE(dst.effectsByKind.contains(3));
    EXPECT_EQ(dst.nextEffectKeyId(), 5);
}

TEST(MediaSource, EffectKeyIdsNeverPassTheLimit) {
    MediaSource src = sampleMedia();
    const EffectKey key = src.effects.first();
    src.effects.insert(std::numeric_limits<int>::max(), key);
    MediaSource dst;
    EXPECT_FALSE(dst.fromBlob(src.toBlob()));  // refused when read
    EXPECT_FALSE(dst.effects.contains(std::numeric_limits<int>::max()));
    EXPECT_EQ(dst.nextEffectKeyId(), 5);
    // A list that reached the limit anyway gives a free id, never a wrapped one.
    src.effects.remove(4);
    EXPECT_EQ(src.nextEffectKeyId(), 2);
}

TEST(MediaSource, MalformedBlobsAreReadWithoutFault) {
    const QByteArray good = sampleMedia().toBlob();
    for (int cut = 0; cut < good.size(); cut += 13) {
        MediaSource m;
        EXPECT_FALSE(m.fromBlob(good.left(cut))) << cut;
    }
    // An effect count far beyond the data.
    const int mapAt = good.size() - 1 - (4 + 4 + 45) * 2 - 4;
    QByteArray bad = good.left(mapAt) + Bytes().u32(0x7FFFFFFF).data() + good.mid(mapAt + 4);
    MediaSource m;
    m.effects.insert(3, key(3, 1, 0, 1, 1));
    EXPECT_FALSE(m.fromBlob(bad));
    EXPECT_EQ(m.effects.keys(), QList<int>{3});
    EXPECT_EQ(m.fileName, QStringLiteral("a b.mp4"));
    // A thumbnail marked present whose picture is no picture.
    Bytes t;
    t.i32(1).str(QStringLiteral("p")).str(QString()).str(QString()).i32(1).raw("not a png at all").i32(5);
    MediaSource m2;
    EXPECT_FALSE(m2.fromBlob(t.data()));
    EXPECT_EQ(m2.path, QStringLiteral("p"));
    EXPECT_EQ(m2.duration, -1);
    // A key whose own blob is short: kept, but the read is not whole.
    Bytes k;
    k.u32(1).i32(2).bytes(QByteArray("\x00\x00", 2));
    QByteArray shortKey = good.left(mapAt) + k.data() + good.right(1);
    MediaSource m3;
    EXPECT_FALSE(m3.fromBlob(shortKey));
    EXPECT_EQ(m3.effects.keys(), QList<int>{2});
    EXPECT_TRUE(m3.collapsed);
}

// The thumbnail's PNG carries no length: the reader finds its end by its
// chunks, so damaged or oversized pictures are refused before decoding and
// what follows the picture is read in step.
TEST(MediaSource, ThumbnailIsBoundedByItsChunks) {
    QImage picture(6, 4, QImage::Format_ARGB32);
    picture.fill(QColor(10, 200, 30));
    MediaSource src = sampleMedia();
    src.thumbnail = picture;
    const QByteArray good = src.toBlob();
    MediaSource back;
    ASSERT_TRUE(back.fromBlob(good));
    EXPECT_EQ(back.thumbnail.size(), QSize(6, 4));
    EXPECT_EQ(back.thumbnail.pixelColor(2, 2), QColor(10, 200, 30));
    EXPECT_EQ(back.duration, src.duration);

    const QByteArray png = good.mid(good.indexOf("\x89PNG"), good.indexOf("IEND") + 8 - good.indexOf("\x89PNG"));
    const int pngAt = good.indexOf(png);
    const auto withPng = [&](const QByteArray& p) { return good.left(pngAt) + p + good.mid(pngAt + png.size()); };
    const auto be32 = [](quint32 v) {
        const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(b, 4);
    };
    QByteArray huge = png;
    huge.replace(16, 8, be32(100000) + be32(100000));  // IHDR width and height
    QByteArray longChunk = png;
    longChunk.replace(33, 4, be32(0x7FFFFFF0));  // the chunk after IHDR
    QByteArray noEnd = png.left(png.size() - 12);
    QByteArray noSignature = png;
    noSignature[1] = 'X';
    struct Case {
        const char* name;
        QByteArray blob;
    } cases[] = {
        {"header over the side bound", withPng(huge)},
        {"chunk longer than the data", withPng(longChunk)},
        {"no IEND before the next fields", withPng(noEnd)},
        {"no signature", withPng(noSignature)},
        {"cut inside the picture", good.left(pngAt + png.size() / 2)},
    };
    for (const Case& c : cases) {
        MediaSource m;
        EXPECT_FALSE(m.fromBlob(c.blob)) << c.name;
        EXPECT_TRUE(m.thumbnail.isNull()) << c.name;
        EXPECT_EQ(m.duration, -1) << c.name << ": nothing after the picture is taken";
    }
}

// A project can carry thumbnails far larger than the panels show (eight of
// 8,192 × 8,192 once cost 256 MB each while a project opened): such a
// picture is passed over undecoded and the record reads on without it.
TEST(MediaSource, ThumbnailLargerThanThePanelsShowIsPassedOver) {
    struct Case {
        int width, height;
        bool kept;
    } cases[] = {
        {45, 34, true},      // what an import makes
        {344, 256, true},    // the bound itself
        {345, 10, false},
        {10, 257, false},
        {8192, 8192, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        QImage picture(c.width, c.height, QImage::Format_RGB32);
        picture.fill(QColor(40, 90, 160));
        MediaSource src = sampleMedia();
        src.thumbnail = picture;
        MediaSource back;
        ASSERT_TRUE(back.fromBlob(src.toBlob()));
        EXPECT_EQ(back.thumbnail.isNull(), !c.kept);
        if (c.kept) EXPECT_EQ(back.thumbnail.pixelColor(c.width - 1, c.height - 1), QColor(40, 90, 160));
        EXPECT_EQ(back.duration, src.duration);
        EXPECT_EQ(back.fileName, src.fileName);
        EXPECT_EQ(back.collapsed, src.collapsed);
    }
}

// ---------------------------------------------------------------------------

class EffectIndex : public ::testing::Test {
protected:
    void SetUp() override { GConfig::instance().clearProject(); }
};

TEST_F(EffectIndex, FirstPositionKeyLaterThanZeroGetsAResting0msKey) {
    MediaSource m;
    m.effects.insert(1, key(1, 1, 2000, 30, 40));
    m.effects.insert(2, key(2, 1, 5000, 50, 60));
    m.rebuildEffectIndex(1);
    const QList<EffectKey> list = m.effectsByKind.value(1);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].time, 0);
    EXPECT_EQ(list[0].value1, 30);
    EXPECT_EQ(list[0].value2, 40);
    const QVector<ACTION_LEVEL_INFO> a = m.actions.value(1);
    ASSERT_EQ(a.size(), 3);
    EXPECT_EQ(double(a[1].time), 2.0);
    EXPECT_EQ(double(a[2].value1), 50.0);
    EXPECT_FALSE(GConfig::instance().isSaved());
}

TEST_F(EffectIndex, ConversionsOfScaleAndRotation) {
    MediaSource m;
    m.effects.insert(1, key(1, 3, 2000, 0.5, -0.25));
    m.effects.insert(2, key(2, 2, 0, 30, 2));
    m.refreshEffectIndex(3);
    m.refreshEffectIndex(2);
    const QVector<ACTION_LEVEL_INFO> s = m.actions.value(3);
    ASSERT_EQ(s.size(), 2);
    EXPECT_EQ(double(s[0].time), 0.0);
    EXPECT_EQ(double(s[0].value1), 1.0);
    EXPECT_EQ(double(s[0].value2), 1.0);
    EXPECT_EQ(double(s[1].value1), 1.5);
    EXPECT_EQ(double(s[1].value2), 0.75);
    const QVector<ACTION_LEVEL_INFO> r = m.actions.value(2);
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(double(r[0].value1), 0.0);
    EXPECT_EQ(double(r[0].value3), 750.0);
    EXPECT_EQ(GConfig::specialActionText(m.actions),
              QByteArray("2:{0.000000,0.000000/0.000000/750.000000/0.000000};"
                         "3:{0.000000,1.000000/1.000000/0.000000/0.000000}"
                         "{2.000000,1.500000/0.750000/0.000000/0.000000}"));
}

TEST_F(EffectIndex, DisabledKeysStayInTheBlobButNotInTheIndex) {
    MediaSource m;
    m.effects.insert(1, key(1, 4, 0, 0.2));
    m.effects.insert(2, key(2, 4, 3000, 0.9, 0, true));
    m.effects.insert(3, key(3, 4, 1000, 0.5));
    m.refreshEffectIndex(4);
    const QList<EffectKey> list = m.effectsByKind.value(4);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].id, 1);
    EXPECT_EQ(list[1].id, 3);  // sorted by time
    MediaSource back;
    ASSERT_TRUE(back.fromBlob(m.toBlob()));
    EXPECT_EQ(back.effects.size(), 3);
    EXPECT_EQ(back.effectsByKind.value(4).size(), 2);
}

TEST_F(EffectIndex, LastKeyGoneEmptiesTheKindWithoutFault) {
    MediaSource m;
    m.effects.insert(1, key(1, 1, 500, 1, 2));
    m.refreshEffectIndex(1);
    ASSERT_TRUE(m.actions.contains(1));
    m.effects[1].disabled = true;
    GConfig::instance().setSaved(true);
    m.rebuildEffectIndex(1);
    EXPECT_FALSE(m.actions.contains(1));
    EXPECT_FALSE(m.effectsByKind.contains(1));
    EXPECT_FALSE(GConfig::instance().isSaved());
}
