#include "kestrane/common.h"

#include <limits>

#include <QDebug>

#include <algorithm>

#include "blobio.h"
#include "kestrane/gconfig.h"
#include "lintra/algorithm.h"

namespace kestrane {

const DOUBLE_POINT kDefaultControlPoints[9] = {
    {-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}, {0, 0},
};

const int kControlPointIndex[9][2] = {
    {0, 0}, {40, 0}, {40, 40}, {0, 40}, {20, 0}, {40, 20}, {20, 40}, {0, 20}, {20, 20},
};

void registerRecordTypes() { qRegisterMetaType<MediaSource>("MediaSource"); }

}  // namespace kestrane

using kestrane::BlobReader;
using kestrane::BlobWriter;

// ---------------------------------------------------------------------------
// DeviceRecord

DeviceRecord::DeviceRecord() {
    resetGrid();
    for (auto& curve : colorCurve) {
        for (int k = 0; k < 17; ++k) curve[k] = quint8(k == 0 ? 0x00 : (k == 16 ? 0xFF : 16 * k - 1));
        curve[17] = 0;
    }
    for (auto& triple : edgeParam) {
        triple[0] = 1.2f;
        triple[1] = 0.5f;
        triple[2] = 1.0f;
    }
}

void DeviceRecord::resetGrid() {
    // The fill itself, not the editor's entry point: a new record must not
    // depend on the mirror flags the geometry editor left behind.
    LINTRA_ALGORITHM::CalcVertexValue_9(kestrane::kDefaultControlPoints, grid);
    for (int k = 0; k < 9; ++k)
        controlPoints[k] = grid[kestrane::kControlPointIndex[k][0]][kestrane::kControlPointIndex[k][1]];
}

QByteArray DeviceRecord::toBlob() const {
    BlobWriter w;
    QDataStream& s = w.s();
    s << qint32(presetIndex) << name << serverIp << qint32(width) << qint32(height) << stageX << stageY;
    s << qint32(outputIndex) << qint32(offsetMode) << qint32(offsetX) << qint32(offsetY) << qint32(blendLeft)
      << qint32(blendTop) << qint32(blendRight) << qint32(blendBottom);
    s << rotation;
    w.points(&grid[0][0], lintra::kGridPoints);
    s << colorRatio[0] << colorRatio[1] << colorRatio[2];
    for (const auto& curve : colorCurve) w.bytes(curve, 18);
    for (const auto& triple : edgeParam) w.floats(triple, 3);
    s << qint64(groupStamp);
    s << qint32(matrixValues[1]) << qint32(matrixValues[0]) << qint32(matrixCell) << qint32(matrixValues[2])
      << qint32(matrixValues[3]) << qint32(folderId);
    s << angle << qint32(adjustMode) << qint32(adjustValue);
    w.points(controlPoints, 9);
    return w.take();
}

bool DeviceRecord::fromBlob(const QByteArray& blob) {
    BlobReader r(blob);
    r.read(presetIndex);
    r.read(name);
    r.read(serverIp);
    r.read(width);
    r.read(height);
    r.read(stageX);
    r.read(stageY);
    for (int* f : {&outputIndex, &offsetMode, &offsetX, &offsetY, &blendLeft, &blendTop, &blendRight, &blendBottom})
        r.read(*f);
    r.read(rotation);
    r.points(&grid[0][0], lintra::kGridPoints);
    for (float& f : colorRatio) r.read(f);
    for (auto& curve : colorCurve) r.bytes(curve, 18);
    for (auto& triple : edgeParam) r.floats(triple, 3);
    r.read(groupStamp);
    for (int* f : {&matrixValues[1], &matrixValues[0], &matrixCell, &matrixValues[2], &matrixValues[3], &folderId})
        r.read(*f);
    r.read(angle);
    r.read(adjustMode);
    r.read(adjustValue);
    r.points(controlPoints, 9);
    return r.ok();
}

// ---------------------------------------------------------------------------
// EffectKey

QByteArray EffectKey::toBlob() const {
    BlobWriter w;
    w.s() << qint32(id) << qint32(kind) << qint32(time) << value1 << value2 << value3 << value4 << disabled;
    return w.take();
}

bool EffectKey::fromBlob(const QByteArray& blob) {
    BlobReader r(blob);
    r.read(id);
    r.read(kind);
    r.read(time);
    r.read(value1);
    r.read(value2);
    r.read(value3);
    r.read(value4);
    r.read(disabled);
    return r.ok();
}

// ---------------------------------------------------------------------------
// MediaSource

QByteArray MediaSource::toBlob() const {
    BlobWriter w;
    QDataStream& s = w.s();
    s << qint32(kind) << path << folderPath << fileName;
    s << thumbnail;
    s << qint32(duration) << qint32(start) << x << y;
    s << qint32(layer) << scale << qint32(id);
    s << hidden << qint32(nativeWidth) << qint32(nativeHeight);
    s << qint64(fileSize) << qint32(naturalLength) << focusRequest;
    s << qint64(sourceKey) << qint64(folderKey);
    s << width << height;
    // Keys from the greatest down, as a Qt map is written.
    s << quint32(effects.size());
    for (auto it = effects.constEnd(); it != effects.constBegin();) {
        --it;
        s << qint32(it.key()) << it.value().toBlob();
    }
    s << collapsed;
    return w.take();
}

bool MediaSource::fromBlob(const QByteArray& blob) {
    BlobReader r(blob);
    bool malformedKeys = false;
    r.read(kind);
    r.read(path);
    r.read(folderPath);
    r.read(fileName);
    r.image(thumbnail);
    r.read(duration);
    r.read(start);
    r.read(x);
    r.read(y);
    r.read(layer);
    r.read(scale);
    r.read(id);
    r.read(hidden);
    r.read(nativeWidth);
    r.read(nativeHeight);
    r.read(fileSize);
    r.read(naturalLength);
    r.read(focusRequest);
    r.read(sourceKey);
    r.read(folderKey);
    r.read(width);
    r.read(height);
    quint32 n = 0;
    // A pair takes at least a key and a byte-array length.
    if (r.count(n, 8)) {
        QMap<int, EffectKey> keys;
        bool whole = true;
        bool keysOk = true;
        for (quint32 k = 0; k < n && whole; ++k) {
            qint32 key = 0;
            QByteArray bytes;
            whole = r.read(key) && r.read(bytes);
            if (!whole) break;
            // The id after the largest is the next key's: an id at the
            // limit would leave none.
            if (key == std::numeric_limits<qint32>::max()) {
                keysOk = false;
                continue;
            }
            EffectKey e;
            keysOk = e.fromBlob(bytes) && keysOk;
            keys.insert(key, e);
        }
        if (whole) effects = keys;
        malformedKeys = !keysOk;
    }
    r.read(collapsed);
    for (int kind = kestrane::EffectPosition; kind <= kestrane::EffectOpacity; ++kind) refreshEffectIndex(kind);
    for (auto it = effectsByKind.begin(); it != effectsByKind.end();) {
        // Kinds outside 1..4 are not rebuilt above; drop what they left.
        if (it.key() < kestrane::EffectPosition || it.key() > kestrane::EffectOpacity) {
            actions.remove(it.key());
            it = effectsByKind.erase(it);
        } else {
            ++it;
        }
    }
    return r.ok() && !malformedKeys;
}

int kestrane::nextFreeId(QList<int> ids) {
    if (ids.isEmpty()) return 1;
    std::sort(ids.begin(), ids.end());
    if (ids.last() < std::numeric_limits<int>::max()) return std::max(ids.last(), 0) + 1;
    int id = 1;
    for (int taken : std::as_const(ids)) {
        if (taken < id) continue;
        if (taken > id) return id;
        if (id == std::numeric_limits<int>::max()) return 0;
        ++id;
    }
    return id;
}

int MediaSource::nextEffectKeyId() const {
    if (effects.isEmpty()) return 1;
    if (effects.lastKey() < std::numeric_limits<int>::max()) return effects.lastKey() + 1;
    // At the limit: the smallest free id, never a wrapped one.
    int id = 1;
    for (auto it = effects.lowerBound(1); it != effects.constEnd() && it.key() == id; ++it) ++id;
    return id;
}

void MediaSource::refreshEffectIndex(int k) {
    QList<EffectKey> list;
    for (const EffectKey& e : effects)
        if (e.kind == k && !e.disabled) list.append(e);
    if (list.isEmpty()) {
        effectsByKind.remove(k);
        actions.remove(k);
        return;
    }
    std::stable_sort(list.begin(), list.end(), [](const EffectKey& a, const EffectKey& b) { return a.time < b.time; });
    if (list.first().time > 0) {
        // The item rests at its first key until then.
        EffectKey lead;
        lead.kind = k;
        lead.time = 0;
        if (k == kestrane::EffectPosition) {
            lead.value1 = list.first().value1;
            lead.value2 = list.first().value2;
        }
        list.prepend(lead);
    }
    effectsByKind.insert(k, list);
    QVector<ACTION_LEVEL_INFO> points;
    points.reserve(list.size());
    for (const EffectKey& e : list) {
        ACTION_LEVEL_INFO p{e.time / 1000.0, e.value1, e.value2, e.value3, e.value4};
        if (k == kestrane::EffectRotation) {
            p.value1 = 0;
            p.value2 = 0;
            p.value3 = e.value2 * 360.0 + e.value1;
            p.value4 = 0;
        } else if (k == kestrane::EffectScale) {
            p.value1 = e.value1 + 1.0;
            p.value2 = e.value2 + 1.0;
            p.value3 = 0;
            p.value4 = 0;
        }
        points.append(p);
    }
    actions.insert(k, points);
}

void MediaSource::rebuildEffectIndex(int k) {
    refreshEffectIndex(k);
    if (actions.contains(k))
        qDebug() << __FILE__ << __LINE__ << "special action" << GConfig::specialActionText(actions);
    GConfig& config = GConfig::instance();
    config.requestRealtimeUpdate(false);
    config.setSaved(false);
}

// ---------------------------------------------------------------------------
// Show-control records

QByteArray OutControlRecord::toBlob() const {
    BlobWriter w;
    w.s() << qint32(id) << name << qint32(type) << qint32(deviceId) << qint32(com) << qint32(baud) << qint32(parity)
          << ip << qint32(port) << isTcp << qint32(kind);
    return w.take();
}

bool OutControlRecord::fromBlob(const QByteArray& blob) {
    BlobReader r(blob);
    r.read(id);
    r.read(name);
    r.read(type);
    r.read(deviceId);
    r.read(com);
    r.read(baud);
    r.read(parity);
    r.read(ip);
    r.read(port);
    r.read(isTcp);
    r.read(kind);
    return r.ok();
}

QByteArray LayerIORecord::toBlob() const {
    BlobWriter w;
    w.s() << qint32(id) << qint32(outControlId) << qint32(layerRow) << name << data << qint32(time) << qint32(length)
          << qint32(kind);
    return w.take();
}

bool LayerIORecord::fromBlob(const QByteArray& blob) {
    BlobReader r(blob);
    r.read(id);
    r.read(outControlId);
    r.read(layerRow);
    r.read(name);
    r.read(data);
    r.read(time);
    r.read(length);
    r.read(kind);
    return r.ok();
}

QByteArray PlayControlRecord::toBlob() const {
    BlobWriter w;
    w.s() << qint32(id) << qint32(layerRow) << name << qint32(time) << qint32(keyCode) << qint32(type) << command
          << qint32(jumpMode) << qint32(jumpTime) << targetName << qint32(stayPaused) << qint32(delay);
    return w.take();
}

bool PlayControlRecord::fromBlob(const QByteArray& blob) {
    BlobReader r(blob);
    r.read(id);
    r.read(layerRow);
    r.read(name);
    r.read(time);
    r.read(keyCode);
    r.read(type);
    r.read(command);
    r.read(jumpMode);
    r.read(jumpTime);
    r.read(targetName);
    r.read(stayPaused);
    r.read(delay);
    return r.ok();
}
