#include "kestrane/layerspecialeffect.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "kestrane/effectcontainer.h"
#include "kestrane/gconfig.h"
#include "kestrane/layermedia.h"
#include "kestrane/layerpanel.h"
#include "kestrane/layertable.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/specialeffectinfopanel.h"
#include "stripshade.h"

namespace {

constexpr int kMargin = 7;
constexpr int kAnchorY = 6;
constexpr int kHalf = 5;  // an anchor's centre from its left edge

const char* const kBarStyle = ".LayerSpecialEffect {border:1px solid #c8c8c8;border-radius:2px;background:#5d4782;}";
const char* const kBarPressedStyle =
    ".LayerSpecialEffect {border:2px solid #ffff00;border-radius:2px;background:#5d4782;}";
const char* const kAnchorStyle = ".EffectAnchor {background:url(:/images/se1.png);}";
const char* const kAnchorSelectedStyle = ".EffectAnchor {background:url(:/images/se2.png);}";

// Effect rows follow their layer row in this order of kinds.
int rowOffsetOf(int kind) {
    switch (kind) {
    case kestrane::EffectPosition: return 1;
    case kestrane::EffectScale: return 2;
    case kestrane::EffectRotation: return 3;
    case kestrane::EffectOpacity: return 4;
    default: return -1;
    }
}


}  // namespace

// ---------------------------------------------------------------- strip

void EffectLayerPanel::removeEffect(LayerSpecialEffect* effect) {
    if (!m_effects.removeOne(effect))
        return;
    effect->hide();
    effect->deleteLater();
}

LayerSpecialEffect* EffectLayerPanel::addEffect(int kind, int mediaId, const QList<int>* keyIds) {
    LayerSpecialEffect* bar = nullptr;
    for (LayerSpecialEffect* e : m_effects)
        if (e->mediaId() == mediaId)
            bar = e;
    if (!bar) {
        bar = new LayerSpecialEffect(mediaId, kind, this);
        m_effects << bar;
        bar->show();
    }
    if (keyIds)
        for (int id : *keyIds)
            bar->addAnchorForKey(id);
    return bar;
}

void EffectLayerPanel::addAnchorAtCurrentTime(int kind, int effectRow, const QList<double>* values) {
    GConfig& config = GConfig::instance();
    const LayerTable* table = config.layerTable;
    if (!table)
        return;
    const int now = config.currentTime();
    int row = effectRow - 1;
    while (row >= 0 && table->isEffectRow(row))
        --row;
    if (!table->isLayerRow(row))
        return;
    const LayerPanel* strip = table->strip(row);
    if (!strip)
        return;
    for (const LayerMedia* block : strip->mediaItems()) {
        const MediaSource* rec = config.mediaSource(block->mediaId());
        if (!rec || rec->start > now || now > rec->start + rec->duration)
            continue;
        addEffect(kind, block->mediaId(), nullptr)->addAnchor(values);
        return;
    }
}

void EffectLayerPanel::relayout() {
    for (LayerSpecialEffect* e : m_effects)
        e->relayout();
}

// ---------------------------------------------------------------- bar

LayerSpecialEffect::LayerSpecialEffect(int mediaId, int kind, EffectLayerPanel* parent)
    : QWidget(parent), m_mediaId(mediaId), m_panel(parent), m_kind(kind) {
    setStyleSheet(QString::fromLatin1(kBarStyle));
    setFocusPolicy(Qt::ClickFocus);
    relayout();
}

void LayerSpecialEffect::relayout() {
    const MediaSource rec = GConfig::instance().mediaRecord(m_mediaId);
    setGeometry(RulerWidget::toPixel(rec.start) + kMargin, 0, std::max(0, RulerWidget::toPixel(rec.duration)),
                m_panel->height());
    for (EffectAnchor* a : m_anchors)
        a->placeOnAxis();
}

EffectAnchor* LayerSpecialEffect::addAnchor(const QList<double>* values) {
    GConfig& config = GConfig::instance();
    const MediaSource* rec = config.mediaSource(m_mediaId);
    if (!rec)
        return nullptr;
    const QList<double> position = values ? *values : config.effectPosAt(m_mediaId, -1);
    auto* anchor = new EffectAnchor(rec->nextEffectKeyId(), this, &position, config.currentTime() - rec->start);
    m_anchors << anchor;
    anchor->show();
    return anchor;
}

EffectAnchor* LayerSpecialEffect::addAnchorForKey(int keyId) {
    auto* anchor = new EffectAnchor(keyId, this, nullptr, -1);
    m_anchors << anchor;
    anchor->show();
    return anchor;
}

void LayerSpecialEffect::removeSelectedAnchors() {
    GConfig& config = GConfig::instance();
    MediaSource* rec = config.mediaSource(m_mediaId);
    bool erased = false;
    const QList<EffectAnchor*> all = m_anchors;
    for (EffectAnchor* a : all) {
        if (!a->isSelected())
            continue;
        m_anchors.removeOne(a);
        if (rec)
            erased = rec->effects.remove(a->keyId()) > 0 || erased;
        a->hide();
        a->deleteLater();
    }
    if (erased) {
        rec->rebuildEffectIndex(m_kind);
        config.refreshStage();
    }
    if (m_anchors.isEmpty())
        m_panel->removeEffect(this);
}

int LayerSpecialEffect::effectRow() const {
    const MediaSource* rec = GConfig::instance().mediaSource(m_mediaId);
    const int offset = rowOffsetOf(m_kind);
    return rec && offset > 0 ? rec->layer + offset : -1;
}

bool LayerSpecialEffect::isRowLocked() const {
    const LayerTable* table = GConfig::instance().layerTable;
    const SpecialEffectInfoPanel* header = table ? table->effectHeader(effectRow()) : nullptr;
    return header && header->isLocked();
}

void LayerSpecialEffect::paintEvent(QPaintEvent*) { kestrane::paintStyleSheet(this); }

void LayerSpecialEffect::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    for (EffectAnchor* a : m_anchors)
        a->setSelected(true);
    if (!m_anchors.isEmpty())
        m_anchors.first()->setFocus();
    setStyleSheet(QString::fromLatin1(kBarPressedStyle));
}

void LayerSpecialEffect::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    setStyleSheet(QString::fromLatin1(kBarStyle));
}

void LayerSpecialEffect::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && !isRowLocked())
        removeSelectedAnchors();
    QWidget::keyReleaseEvent(event);
}

// ---------------------------------------------------------------- anchor

EffectAnchor::EffectAnchor(int keyId, LayerSpecialEffect* bar, const QList<double>* values, int timeMs)
    : QWidget(bar), m_bar(bar), m_keyId(keyId) {
    setStyleSheet(QString::fromLatin1(kAnchorSelectedStyle));
    m_selected = true;
    setFocusPolicy(Qt::ClickFocus);
    setFocus();
    setFixedSize(11, 11);
    GConfig& config = GConfig::instance();
    const int mediaId = bar->mediaId();
    const int kind = bar->kind();
    MediaSource* rec = config.mediaSource(mediaId);
    if (values || timeMs != -1) {
        m_time = timeMs;
        // A new key takes the effect's state at the play position, so adding
        // it never changes the picture. Read before the key exists.
        double v1 = 0, v2 = 0;
        switch (kind) {
        case kestrane::EffectOpacity: v1 = config.effectOpacityAt(mediaId, -1).value(0); break;
        case kestrane::EffectPosition: {
            const QList<double> p = values && values->size() >= 2 ? *values : config.effectPosAt(mediaId, -1);
            v1 = p.value(0);
            v2 = p.value(1);
            break;
        }
        case kestrane::EffectRotation: {
            const int r = int(std::lround(config.effectRotationAt(mediaId, -1).value(0)));
            v1 = r % 360;
            v2 = r / 360;
            break;
        }
        case kestrane::EffectScale: {
            const QList<double> s = config.effectScaleAt(mediaId, -1);
            v1 = s.value(0);
            v2 = s.value(1);
            break;
        }
        default: break;
        }
        if (rec) {
            EffectKey& key = rec->effects[keyId];
            key.id = keyId;
            key.kind = kind;
            key.value1 = v1;
            key.value2 = v2;
            key.time = m_time;
        }
    } else if (rec && rec->effects.contains(keyId)) {
        m_time = rec->effects.value(keyId).time;
    }
    if (m_time > -1)
        placeOnAxis();
    // After a batch of new anchors only the last one stays selected.
    QTimer::singleShot(0, this, [this] { selectOnly(false); });
    if (rec)
        rec->rebuildEffectIndex(kind);
}

void EffectAnchor::placeOnAxis() { move(RulerWidget::toPixel(m_time) - kHalf, kAnchorY); }

void EffectAnchor::setSelected(bool selected) {
    m_selected = selected;
    setStyleSheet(QString::fromLatin1(selected ? kAnchorSelectedStyle : kAnchorStyle));
}

void EffectAnchor::selectOnly(bool additive) {
    const LayerTable* table = GConfig::instance().layerTable;
    if (!table)
        return;
    for (int row = 0; row < table->fillerRow(); ++row) {
        const EffectLayerPanel* strip = table->effectStrip(row);
        if (!strip)
            continue;
        for (LayerSpecialEffect* bar : strip->effects()) {
            if (bar == m_bar && additive)
                continue;
            for (EffectAnchor* a : bar->anchors())
                if (a != this && a->isSelected())
                    a->setSelected(false);
        }
    }
}

int EffectAnchor::moveSelectedBy(int dx) {
    QList<EffectAnchor*> order = m_bar->anchors();
    // The anchor leading in the direction of the move decides the limit.
    std::stable_sort(order.begin(), order.end(), [dx](const EffectAnchor* a, const EffectAnchor* b) {
        return dx < 1 ? a->time() < b->time() : a->time() > b->time();
    });
    const auto lead = std::find_if(order.cbegin(), order.cend(), [](const EffectAnchor* a) { return a->isSelected(); });
    if (lead == order.cend())
        return 0;
    const int x = (*lead)->x();
    const int w = m_bar->width();
    if (x + dx + kHalf < 0)
        dx = -kHalf - x;
    if (x + dx > w - kHalf)
        dx = w - kHalf - x;
    for (EffectAnchor* a : order)
        if (a->isSelected())
            a->setX(a->x() + dx);
    return dx;
}

void EffectAnchor::setX(int x) {
    move(x, kAnchorY);
    m_time = RulerWidget::toMs(x + kHalf);
    if (MediaSource* rec = GConfig::instance().mediaSource(m_bar->mediaId())) {
        auto key = rec->effects.find(m_keyId);
        if (key != rec->effects.end())
            key->time = m_time;
        rec->rebuildEffectIndex(m_bar->kind());
    }
}

void EffectAnchor::setKeyDisabled(bool disabled) {
    if (MediaSource* rec = GConfig::instance().mediaSource(m_bar->mediaId())) {
        auto key = rec->effects.find(m_keyId);
        if (key != rec->effects.end())
            key->disabled = disabled;
        rec->rebuildEffectIndex(m_bar->kind());
    }
}

void EffectAnchor::paintEvent(QPaintEvent*) { kestrane::paintStyleSheet(this); }

void EffectAnchor::mousePressEvent(QMouseEvent* event) {
    m_dragging = event->button() == Qt::LeftButton;
    m_pressX = event->pos().x();
    GConfig& config = GConfig::instance();
    config.pausePlayback();
    config.setCurrentTime(config.mediaRecord(m_bar->mediaId()).start + m_time);
    config.sendTimeToServers();
}

void EffectAnchor::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || isRowLocked()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (!m_selected) {
        setSelected(true);
        setFocus();
        selectOnly(false);
    }
    moveSelectedBy(event->pos().x() - m_pressX);
    GConfig& config = GConfig::instance();
    config.setCurrentTime(config.mediaRecord(m_bar->mediaId()).start + m_time);
}

void EffectAnchor::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    setSelected(true);
    setFocus();
    if (event->button() == Qt::RightButton) {
        QMenu menu(this);
        QAction* remove = menu.addAction(QStringLiteral("删除"));
        remove->setEnabled(!isRowLocked());
        if (menu.exec(QCursor::pos()) == remove)
            m_bar->removeSelectedAnchors();
        return;
    }
    selectOnly(event->modifiers() == Qt::ControlModifier);
    QWidget::mouseReleaseEvent(event);
}

void EffectAnchor::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && !isRowLocked()) {
        m_bar->removeSelectedAnchors();
        return;
    }
    QWidget::keyReleaseEvent(event);
}
