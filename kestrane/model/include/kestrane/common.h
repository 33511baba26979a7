// The records of the console's project and their blob forms.
//
// Every record is a plain value. Its blob is written through a QDataStream
// over a fresh byte array (big-endian, double precision for floats, the
// stream format of Qt 5.6) and read back by the matching reader. A reader
// fills an existing record and leaves the fields that have no place in the
// blob as they were.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <cstdint>

#include "lintra/netdef.h"

class QGraphicsItem;
class QTreeWidgetItem;

namespace kestrane {
// Every blob and the project file use this stream format.
constexpr int kBlobStreamVersion = 17;  // QDataStream::Qt_5_6
// Trailing mark of a valid media record and of the project file.
constexpr quint32 kRecordMagic = 0xCC0D8983u;
// Effect kinds.
enum EffectKind { EffectPosition = 1, EffectRotation = 2, EffectScale = 3, EffectOpacity = 4 };
}  // namespace kestrane

// One display device: one output of one display server.
struct DeviceRecord {
    DeviceRecord();

    int presetIndex = 0;          // resolution preset chosen when the device was added (2 by default there)
    QString presetText;           // not in the blob
    QString name;
    QString serverIp;             // dotted quad
    int width = 0;                // output resolution and size on the stage
    int height = 0;
    double stageX = -1.0;         // -1: not placed
    double stageY = -1.0;
    int reserved9 = 0;            // not in the blob
    bool online = false;          // not in the blob
    int folderId = 0;             // device-tree folder, 0 at the top level
    qint64 groupStamp = 0;        // devices of one group or matrix share it; 0: none
    int matrixValues[4] = {0, 0, 0, 0};  // rows, columns, horizontal and vertical overlap of a matrix placement
    int matrixCell = -1;          // -1: not placed by a matrix layout
    int syncProgress = -1;        // media-sync percent, -1 none; not in the blob
    bool syncFailed = false;      // not in the blob
    int outputIndex = 0;          // channel id on the server
    int offsetMode = 0;           // the server's world values
    int offsetX = 0;
    int offsetY = 0;
    int blendLeft = 0;            // blend widths in grid cells 0..40
    int blendTop = 0;
    int blendRight = 0;
    int blendBottom = 0;
    float rotation = 0.0f;        // output rotation
    VERTEX_GRID grid;             // grid[i][j]
    double angle = 0.0;           // warp rotation in degrees
    int adjustMode = 1;           // control-point mode of the warp editor
    int adjustValue = 0;          // mirror flags of the warp editor
    DOUBLE_POINT controlPoints[9];
    float colorRatio[3] = {1.0f, 1.0f, 1.0f};
    quint8 colorCurve[3][18];     // 17 levels; the 18th byte is carried along
    float edgeParam[3][3];        // three triples {1.2, 0.5, 1.0}
    bool highlight = false;       // not in the blob
    QGraphicsItem* stageItem = nullptr;  // not in the blob
    QTreeWidgetItem* treeItem = nullptr;  // the device tree's item; not in the blob

    // The matrix placement, by name (the blob stores columns before rows).
    int matrixRows() const { return matrixValues[0]; }
    int matrixColumns() const { return matrixValues[1]; }
    int matrixHOverlap() const { return matrixValues[2]; }
    int matrixVOverlap() const { return matrixValues[3]; }
    void setMatrix(int rows, int columns, int hOverlap, int vOverlap) {
        matrixValues[0] = rows;
        matrixValues[1] = columns;
        matrixValues[2] = hOverlap;
        matrixValues[3] = vOverlap;
    }

    // The warp grid and the control points from the nine default points
    // (-1..1 square, Bezier fill); afterwards both agree.
    void resetGrid();

    QByteArray toBlob() const;
    // Reads a blob written by toBlob. Fields the blob does not supply in full
    // (a short blob, a list of the wrong length) keep their current values;
    // the result is false then. Never reads past the data.
    bool fromBlob(const QByteArray& blob);
};

// One key frame of a special effect of a media item.
struct EffectKey {
    int id = 0;                   // the key of the media's effect map
    int kind = 0;                 // kestrane::EffectKind
    int time = -1;                // ms from the media item's start
    int reserved = 0;             // not in the blob
    double value1 = 0.0;          // position x | angle | scale x - 1 | opacity
    double value2 = 0.0;          // position y | whole turns | scale y - 1
    double value3 = 0.0;
    double value4 = 0.0;
    bool disabled = false;        // disabled keys take no part in the effect

    QByteArray toBlob() const;
    bool fromBlob(const QByteArray& blob);
};

// One media item: on the timeline, or an entry of the media library.
struct MediaSource {
    int kind = -1;                // 0 video file, 1 still picture, 99 library folder
    QString kindText;             // not in the blob
    QString path;                 // media file (a folder entry keeps its name here)
    QString folderPath;
    QString fileName;             // the name shown on the timeline
    QImage thumbnail;
    int duration = -1;            // ms
    int start = -1;               // ms on the timeline
    double x = -1.0;              // stage units
    double y = -1.0;
    int layer = -1;               // layer row of the timeline
    double scale = 1.0;
    int id = -1;                  // media id
    void* previewHandle = nullptr;  // local preview's media; not in the blob
    bool hidden = false;          // hidden on the display servers
    int nativeWidth = 0;          // size of the media itself
    int nativeHeight = 0;
    double width = 0.0;           // size on the stage, stage units
    double height = 0.0;
    qint64 fileSize = 0;
    int naturalLength = -1;       // ms, -1 until known
    bool focusRequest = false;
    QMap<QString, quint32> serverHandles;  // AddMedia handle per server IP; not in the blob
    qint64 sourceKey = 0;         // media-library entry this item comes from
    bool pressed = false;         // not in the blob
    qint64 folderKey = 0;
    bool selected = false;        // not in the blob
    bool collapsed = false;
    QMap<int, EffectKey> effects;               // by key id
    QMap<int, QList<EffectKey>> effectsByKind;  // enabled keys by time; not in the blob
    QMap<int, QVector<ACTION_LEVEL_INFO>> actions;  // per kind; not in the blob
    quint32 trailer = kestrane::kRecordMagic;   // not in the blob

    // Rebuilds kind's entry of effectsByKind and actions from the effect
    // map, then asks for a real-time media update and marks the project
    // modified.
    void rebuildEffectIndex(int kind);
    // Only the rebuild, without telling anyone (after loading).
    void refreshEffectIndex(int kind);
    // The largest key id of the effect map + 1; 1 for an empty map.
    int nextEffectKeyId() const;

    QByteArray toBlob() const;
    // See DeviceRecord::fromBlob. The effect index is rebuilt from the keys
    // read, so that it never describes keys the record no longer holds.
    bool fromBlob(const QByteArray& blob);
};
Q_DECLARE_METATYPE(MediaSource)

// One string-output target.
struct OutControlRecord {
    int id = 0;
    QString name;
    int type = 0;                 // 0 serial port, otherwise network
    int deviceId = 0;
    int com = 0;                  // serial port number (COM n)
    int baud = 0;
    int parity = 0;
    QString ip;
    int port = 0;
    bool isTcp = true;            // false: UDP
    int kind = 2;

    QByteArray toBlob() const;
    bool fromBlob(const QByteArray& blob);
};

// One string-output command placed on a timeline layer.
struct LayerIORecord {
    int id = 0;
    int outControlId = 0;
    int layerRow = 0;
    QString name;
    QString data;                 // text to send
    int time = 0;                 // ms on the timeline
    int length = 0;               // ms
    int kind = 0;

    QByteArray toBlob() const;
    bool fromBlob(const QByteArray& blob);
};

// One play, pause or jump control.
struct PlayControlRecord {
    int id = 0;
    int layerRow = 0;
    QString name;
    int time = 0;                 // ms on the timeline
    int keyCode = 0;              // F1..F12 for controls named f1..f12
    int type = 0;                 // 0 pause, 1 play, 2 jump
    QString command;              // network command string that triggers it
    int jumpMode = 0;             // 0 to a time, 1 to another control
    int jumpTime = 0;             // ms
    QString targetName;
    int stayPaused = 0;
    int delay = 0;                // whole seconds after a jump before playing again

    QByteArray toBlob() const;
    bool fromBlob(const QByteArray& blob);
};

// One folder of the device tree. In the project file each is a QVariantMap
// with the keys "id", "name", "parentId" and "isExpanded".
struct DeviceFolderRecord {
    QString name;
    int id = 0;
    int parentId = 0;             // 0: top level
    bool isExpanded = false;

    bool operator==(const DeviceFolderRecord& o) const {
        return name == o.name && id == o.id && parentId == o.parentId && isExpanded == o.isExpanded;
    }
};

namespace kestrane {
// The default control points of a new grid, in control-point order.
extern const DOUBLE_POINT kDefaultControlPoints[9];
// Grid elements (i, j) that the nine control points pin, in order.
extern const int kControlPointIndex[9][2];
// Registers MediaSource with the meta-type system under its name.
void registerRecordTypes();
// The id for a new record among `ids` (any order; ids below 1 count for
// nothing): the largest + 1, and once the largest is INT_MAX the smallest
// free id from 1, never a wrapped one. 0 when no id is free.
int nextFreeId(QList<int> ids);
}  // namespace kestrane
