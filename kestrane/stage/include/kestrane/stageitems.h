// What every stage item shares: the data keys that tag device and media
// items, the stage margin and the conversions between stage units and
// scene units.
#pragma once

#include <QPointF>

class QCursor;
class QGraphicsItem;
class QGraphicsScene;

namespace stage {

constexpr int kIdKey = 257;    // record id
constexpr int kTypeKey = 258;  // 0 media, 1 display device
constexpr int kThirdKey = 259;
constexpr int kHandleKey = 356;  // "resizeItem" or "transparentItem"
constexpr int kMediaType = 0;
constexpr int kDeviceType = 1;

// Scene units between the scene's corner and stage (0, 0).
constexpr double kMargin = 8.0;
// The stage is 100,000 x 100,000 stage units.
constexpr double kStageExtent = 100000.0;

double zoom();
inline double toScene(double stageValue) { return stageValue * zoom() + kMargin; }
inline double toStage(double sceneValue) { return (sceneValue - kMargin) / zoom(); }

// The kind tag of an item (-1 when it carries none) and its id.
int itemType(const QGraphicsItem* item);
int itemId(const QGraphicsItem* item);

// The hand tool's open-hand cursor, hot spot in the middle.
QCursor handCursor();

// The stage item of that id and kind in the scene, or null.
QGraphicsItem* findItem(QGraphicsScene* scene, int id, int type);

}  // namespace stage
