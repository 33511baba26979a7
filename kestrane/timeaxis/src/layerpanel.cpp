#include "kestrane/layerpanel.h"

#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QTimer>

#include <algorithm>

#include "kestrane/axismath.h"
#include "kestrane/container.h"
#include "kestrane/effectcontainer.h"
#include "kestrane/gconfig.h"
#include "kestrane/layerio.h"
#include "kestrane/layermedia.h"
#include "kestrane/layerplaycontrol.h"
#include "kestrane/layerspecialeffect.h"
#include "kestrane/layertable.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/timeaxiswidget.h"
#include "stripshade.h"

using namespace kestrane;

LayerPanel::LayerPanel(QWidget* parent) : QWidget(parent) {
    setStyleSheet(QStringLiteral("LayerPanel {background:#343434}"));
    setAcceptDrops(true);
    // Once the row is in place: ask to become the current layer, and make
    // the drop mark at the strip's height.
    QTimer::singleShot(0, this, [this] { emit currentLayerChecked(); });
    QTimer::singleShot(0, this, [this] { createDropMark(); });
}

void LayerPanel::createDropMark() {
    if (m_dropMark)
        return;
    m_dropMark = new QLabel(this);
    m_dropMark->setStyleSheet(QStringLiteral("border:2px solid #191919;"));
    m_dropMark->setFixedHeight(std::max(1, height()));
    m_dropMark->setGeometry(0, 0, 100, std::max(1, height()));
    m_dropMark->hide();
}

void LayerPanel::hideDropMark() {
    if (m_dropMark)
        m_dropMark->hide();
}

LayerMedia* LayerPanel::placeBar(int mediaId) {
    auto* bar = new LayerMedia(mediaId, this);
    m_mediaBars << bar;
    if (mediaId > 0)
        bar->show();
    return bar;
}

void LayerPanel::addMedia(int mediaId) {
    GConfig& config = GConfig::instance();
    const MediaSource rec = config.mediaRecord(mediaId);
    if (rec.previewHandle)
        GConfig::instance().setPreviewMediaLayer(rec.previewHandle, 1, rec.start, rec.duration);
    placeBar(mediaId);
    stackBlocks();
    config.setSaved(false);
}

void LayerPanel::appendMedia(int mediaId, int /*layerIndex*/) {
    GConfig& config = GConfig::instance();
    const int now = config.currentTime();
    MediaSource rec = config.mediaRecord(mediaId);
    if (rec.duration == -1)
        rec.duration = config.defaultPicDuration();
    // After the row's last media, those still waiting for their bars too:
    // media dropped together come in one turn of the event loop.
    const TimeAxisWidget* axis = GConfig::instance().timeAxis;
    const int row = axis ? axis->rowOfLayerPanel(this) : -1;
    QList<int> onRow = mediaIds();
    if (row >= 0)
        for (int id : config.mediaIdsOnLayer(row))
            if (!onRow.contains(id))
                onRow << id;
    onRow.removeAll(mediaId);
    int start = now;
    bool any = false;
    int end = 0;
    for (int id : onRow) {
        const MediaSource* other = config.mediaSource(id);
        if (!other)
            continue;
        end = any ? std::max(end, other->start + other->duration) : other->start + other->duration;
        any = true;
    }
    if (any)
        start = end + 1;
    rec.start = start;
    rec.layer = row;
    config.setMediaRecord(rec, mediaId);
    if (rec.previewHandle)
        GConfig::instance().setPreviewMediaLayer(rec.previewHandle, 1, start, rec.duration);
    GConfig::instance().fitTimeAxisToMedia(false);
    const int duration = rec.duration;
    QTimer::singleShot(0, this, [this, mediaId, now, start, duration] {
        placeBar(mediaId);
        GConfig& c = GConfig::instance();
        if (start <= now && now <= start + duration) {
            GConfig::instance().setPreviewTime(now);
        } else {
            c.setCurrentTime(start);
            GConfig::instance().setPreviewTime(c.currentTime());
        }
    });
    stackBlocks();
}

void LayerPanel::addFolderBar() {
    placeBar(0);
    GConfig::instance().setSaved(false);
}

void LayerPanel::addLayerIO(int id) {
    auto* block = new LayerIO(id, this);
    m_ioBlocks << block;
    stackBlocks();
    block->show();
    GConfig::instance().setSaved(false);
}

void LayerPanel::addPlayControl(int id) {
    auto* block = new LayerPlayControl(id, this);
    m_playBlocks << block;
    block->show();
    GConfig::instance().setSaved(false);
}

namespace {
template <typename Block, typename IdOf>
void removeFirst(QList<Block*>& blocks, int id, IdOf idOf) {
    for (Block* block : blocks) {
        if (idOf(block) == id) {
            blocks.removeOne(block);
            block->hide();
            block->deleteLater();
            return;
        }
    }
}
}  // namespace

void LayerPanel::removeMedia(int mediaId) {
    removeFirst(m_mediaBars, mediaId, [](const LayerMedia* b) { return b->mediaId(); });
}

void LayerPanel::removeLayerIO(int id) {
    removeFirst(m_ioBlocks, id, [](const LayerIO* b) { return b->id(); });
}

void LayerPanel::removePlayControl(int id) {
    removeFirst(m_playBlocks, id, [](const LayerPlayControl* b) { return b->controlId(); });
}

void LayerPanel::updateItems() {
    for (LayerMedia* bar : m_mediaBars)
        bar->updateGeometry();
    for (LayerIO* block : m_ioBlocks)
        block->refreshGeometry();
    for (LayerPlayControl* block : m_playBlocks)
        block->updateGeometry();
}

void LayerPanel::stackBlocks() {
    for (LayerIO* io : m_ioBlocks)
        for (LayerPlayControl* play : m_playBlocks)
            io->stackUnder(play);
}

QList<int> LayerPanel::mediaIds() const {
    QList<int> ids;
    for (const LayerMedia* bar : m_mediaBars)
        if (bar->mediaId() > 0)
            ids << bar->mediaId();
    return ids;
}

int LayerPanel::scrollOffset() const {
    const QWidget* viewport = parentWidget();
    const auto* container = viewport ? qobject_cast<const StripContainer*>(viewport->parentWidget()) : nullptr;
    return container ? container->scrollOffset() : 0;
}

void LayerPanel::setMediaHidden(bool hide) {
    GConfig& config = GConfig::instance();
    for (const LayerMedia* bar : m_mediaBars) {
        // A group's placeholder stands for no media: id 0 would address
        // every media of a server.
        MediaSource* rec = bar->mediaId() > 0 ? config.mediaSource(bar->mediaId()) : nullptr;
        if (!rec)
            continue;
        rec->hidden = hide;
        config.setSaved(false);
        config.hideMedia(hide, bar->mediaId());
    }
    GConfig::instance().refreshStage();
}

std::optional<LayerPanel::DropPlace> LayerPanel::mediaDropPosition(const QMimeData* data, int x) const {
    const int id = data->property("mediaId").toInt();
    if (id == 0)
        return std::nullopt;
    const int grab = data->property("posX").toInt();
    GConfig& config = GConfig::instance();
    const int width = RulerWidget::toPixel(config.mediaRecord(id).duration);
    QList<axis::BarSpan> bars;
    for (const LayerMedia* bar : m_mediaBars) {
        const MediaSource* rec = bar->mediaId() > 0 ? config.mediaSource(bar->mediaId()) : nullptr;
        if (!rec)
            continue;
        const int a = RulerWidget::toPixel(rec->start) + m_margin;
        bars << axis::BarSpan{a, a + RulerWidget::toPixel(rec->duration)};
    }
    const std::optional<int> left = axis::mediaDropPosition(x, grab, width, bars);
    if (!left)
        return std::nullopt;
    return DropPlace{*left, width, id};
}

void LayerPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintStrip(this, painter, m_margin);
}

void LayerPanel::mousePressEvent(QMouseEvent*) { emit currentLayerChecked(); }

void LayerPanel::leaveEvent(QEvent* event) {
    hideDropMark();
    QWidget::leaveEvent(event);
}

void LayerPanel::dragEnterEvent(QDragEnterEvent* event) {
    GConfig& config = GConfig::instance();
    const TimeAxisWidget* axis = GConfig::instance().timeAxis;
    const int row = axis ? axis->rowOfLayerPanel(this) : -1;
    // Blocks go on layers only: a group's strip holds its placeholder.
    if (row < 0 || config.layerTable->isGroupRow(row) || axis->isLayerLocked(row)) {
        event->ignore();
        return;
    }
    const QMimeData* data = event->mimeData();
    const int id = data->property("mediaId").toInt();
    if (id != 0) {
        const MediaSource* rec = config.mediaSource(id);
        if (!rec || rec->layer == row) {
            event->ignore();
            return;
        }
        if (TimeAxisWidget* a = GConfig::instance().timeAxis)
            a->hideLayerDropMarks();
        event->acceptProposedAction();
        return;
    }
    if (data->property("type").toString() == QLatin1String("outControl") ||
        data->property("mOutControlId").toInt() > 0 || data->property("mPlayControlId").toInt() > 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void LayerPanel::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->property("mediaId").toInt() != 0) {
        createDropMark();
        const std::optional<DropPlace> place = mediaDropPosition(event->mimeData(), event->pos().x());
        if (place) {
            m_dropMark->setFixedHeight(height());
            m_dropMark->setGeometry(place->x, 0, place->width, height());
            m_dropMark->show();
        } else {
            m_dropMark->hide();
        }
    }
    event->acceptProposedAction();
}

void LayerPanel::dropEvent(QDropEvent* event) {
    GConfig& config = GConfig::instance();
    TimeAxisWidget* axis = GConfig::instance().timeAxis;
    const int row = axis ? axis->rowOfLayerPanel(this) : -1;
    if (row < 0)
        return;
    const QMimeData* data = event->mimeData();
    const int x = event->pos().x();
    const int level = RulerWidget::currentScale();

    if (data->property("type").toString() == QLatin1String("outControl")) {
        LayerIORecord record;
        record.id = config.nextLayerIOId();
        record.outControlId = data->property("groupId").toInt();
        record.layerRow = row;
        record.time = axis::dropTime(level, x);
        record.length = 0;
        record.kind = 2;
        config.addLayerIO(record);
        addLayerIO(record.id);
    } else if (const int id = data->property("mOutControlId").toInt(); id > 0) {
        config.removeLayerIO(id, false);
        if (LayerIORecord* record = config.findLayerIO(id)) {
            record->time = axis::dropTime(level, x);
            record->layerRow = row;
            addLayerIO(id);
        }
    } else if (const int id = data->property("mPlayControlId").toInt(); id > 0) {
        config.removePlayControl(id, false);
        if (PlayControlRecord* record = config.findPlayControl(id)) {
            record->time = axis::dropTime(level, x);
            record->layerRow = row;
            addPlayControl(id);
        }
    } else {
        const std::optional<DropPlace> place = mediaDropPosition(data, x);
        MediaSource* rec = place ? config.mediaSource(place->mediaId) : nullptr;
        if (!rec)
            return;
        const int oldRow = rec->layer;
        rec->start = RulerWidget::toMs(place->x - m_margin);
        rec->layer = row;
        rec->hidden = axis->isLayerEyeHidden(row);
        axis->removeMediaFromLayer(place->mediaId, oldRow);
        placeBar(place->mediaId);
        stackBlocks();
        moveEffectBars(place->mediaId, oldRow, row);
        GConfig::instance().refreshStage();
        axis->updateLayerItems();
    }
    event->acceptProposedAction();
}

void LayerPanel::moveEffectBars(int mediaId, int oldRow, int newRow) {
    // The effect rows under a layer, in their table order.
    static const int kinds[] = {EffectPosition, EffectScale, EffectRotation, EffectOpacity};
    const LayerTable* table = GConfig::instance().layerTable;
    if (!table)
        return;
    bool found[4] = {false, false, false, false};
    QList<int> keyIds[4];
    for (int i = 0; i < 4; ++i) {
        EffectLayerPanel* strip = table->effectStrip(oldRow + 1 + i);
        if (!strip)
            break;
        for (LayerSpecialEffect* bar : strip->effects()) {
            if (bar->mediaId() != mediaId)
                continue;
            // Taking the bar down leaves the keys in the record; the new
            // row's bar shows the same keys.
            for (const EffectAnchor* a : bar->anchors())
                keyIds[i] << a->keyId();
            found[i] = true;
            strip->removeEffect(bar);
            break;
        }
    }
    for (int i = 0; i < 4; ++i) {
        EffectLayerPanel* strip = table->effectStrip(newRow + 1 + i);
        if (!strip)
            break;
        if (found[i])
            strip->addEffect(kinds[i], mediaId, &keyIds[i]);
    }
}
