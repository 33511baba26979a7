#include "kestrane/layertable.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

#include "kestrane/container.h"
#include "kestrane/effectcontainer.h"
#include "kestrane/gconfig.h"
#include "kestrane/layerinfopanel.h"
#include "kestrane/layerpanel.h"
#include "kestrane/specialeffectinfopanel.h"
#include "kestrane/timeaxiswidget.h"

LayerTable::LayerTable(QWidget* parent) : QTableWidget(parent) {}

int LayerTable::rowRole(int row) const {
    if (row < 0 || row >= fillerRow())
        return 0;
    const QTableWidgetItem* it = item(row, 0);
    return it ? it->data(KindRole).toInt() : 0;
}

QList<int> LayerTable::rowsWithRole(std::initializer_list<int> roles) const {
    QList<int> rows;
    for (int row = 0; row < fillerRow(); ++row)
        if (std::find(roles.begin(), roles.end(), rowRole(row)) != roles.end())
            rows << row;
    return rows;
}

QList<int> LayerTable::headerRows() const { return rowsWithRole({LayerRow, GroupRow}); }
QList<int> LayerTable::layerRows() const { return rowsWithRole({LayerRow}); }
QList<int> LayerTable::groupRows() const { return rowsWithRole({GroupRow}); }

QList<int> LayerTable::childRows(int groupRow) const {
    QList<int> rows;
    if (!isGroupRow(groupRow))
        return rows;
    for (int row = groupRow + 1; row < fillerRow(); ++row) {
        if (isEffectRow(row))
            continue;
        const LayerInfoPanel* h = header(row);
        if (!isLayerRow(row) || !h || h->kind() != LayerInfoPanel::ChildLayer)
            break;
        rows << row;
    }
    return rows;
}

QList<int> LayerTable::effectRows(int layerRow) const {
    QList<int> rows;
    if (!isLayerRow(layerRow))
        return rows;
    for (int row = layerRow + 1; row < fillerRow() && isEffectRow(row); ++row)
        rows << row;
    return rows;
}

int LayerTable::ownerRow(int row) const {
    for (int r = std::min(row, fillerRow() - 1); r >= 0; --r)
        if (isHeaderRow(r))
            return r;
    return -1;
}

LayerInfoPanel* LayerTable::header(int row) const {
    return isHeaderRow(row) ? qobject_cast<LayerInfoPanel*>(cellWidget(row, 0)) : nullptr;
}

SpecialEffectInfoPanel* LayerTable::effectHeader(int row) const {
    return isEffectRow(row) ? qobject_cast<SpecialEffectInfoPanel*>(cellWidget(row, 0)) : nullptr;
}

Container* LayerTable::container(int row) const {
    return isHeaderRow(row) ? qobject_cast<Container*>(cellWidget(row, 1)) : nullptr;
}

LayerPanel* LayerTable::strip(int row) const {
    const Container* c = container(row);
    return c ? c->panel() : nullptr;
}

EffectLayerPanel* LayerTable::effectStrip(int row) const {
    const auto* c = isEffectRow(row) ? qobject_cast<EffectContainer*>(cellWidget(row, 1)) : nullptr;
    return c ? c->panel() : nullptr;
}

int LayerTable::rowOfStrip(const LayerPanel* s) const {
    if (!s)
        return -1;
    for (int row = 0; row < fillerRow(); ++row)
        if (!isEffectRow(row) && strip(row) == s)
            return row;
    return -1;
}

QList<int> LayerTable::rowKinds() const {
    QList<int> kinds;
    for (int row = 0; row < fillerRow(); ++row) {
        if (isEffectRow(row))
            kinds << 3;
        else if (const LayerInfoPanel* h = header(row))
            kinds << (isGroupRow(row) ? 0 : h->kind());
        else
            kinds << 1;
    }
    return kinds;
}

QStringList LayerTable::titles(bool groups, int skipRow) const {
    QStringList list;
    for (int row : groups ? groupRows() : layerRows())
        if (row != skipRow)
            if (const LayerInfoPanel* h = header(row))
                list << h->title();
    return list;
}

QStringList LayerTable::allTitles(int skipRow) const {
    QStringList list;
    for (int row : headerRows())
        if (row != skipRow)
            if (const LayerInfoPanel* h = header(row))
                list << h->title();
    return list;
}

void LayerTable::uncheckOthers(const QList<int>& keepRows) {
    for (int row : headerRows()) {
        LayerInfoPanel* h = header(row);
        if (h && h->isSelected() && !keepRows.contains(row))
            h->setSelected(false);
    }
}

void LayerTable::mouseReleaseEvent(QMouseEvent* event) {
    const int row = rowAt(event->pos().y());
    if (row < 0 || row >= fillerRow())
        return;
    TimeAxisWidget* axis = GConfig::instance().timeAxis;
    if (isEffectRow(row)) {
        if (axis)
            axis->selectEffectRow(row);
    } else if (axis) {
        const Qt::KeyboardModifiers mods = event->modifiers();
        if (mods == Qt::ControlModifier) {
            axis->markCurrentLayer(row, true);
            m_anchorRow = row;
        } else if (mods == Qt::ShiftModifier) {
            const QList<int> checked = axis->checkedLayers();
            if (checked.size() == 1)
                m_anchorRow = checked.first();
            // No earlier click, or an anchor that no longer exists: the range
            // starts at the first row.
            const QList<int> headers = headerRows();
            int anchor = m_anchorRow;
            if (anchor < 0 || !headers.contains(anchor))
                anchor = headers.isEmpty() ? row : (anchor < 0 ? headers.first() : std::clamp(anchor, 0, headers.last()));
            QList<int> collected;
            const int step = anchor <= row ? 1 : -1;
            for (int r = anchor;; r += step) {
                if (isHeaderRow(r)) {
                    axis->markCurrentLayer(r, true);
                    collected << r;
                }
                if (r == row)
                    break;
            }
            uncheckOthers(collected);
        } else {
            axis->markCurrentLayer(row, false);
            m_anchorRow = row;
        }
        for (int r = 0; r < fillerRow(); ++r)
            if (SpecialEffectInfoPanel* e = effectHeader(r); e && e->isSelected())
                e->setSelected(false);
    }
    QTableWidget::mouseReleaseEvent(event);
}

void LayerTable::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() == Qt::AltModifier) {
        if (TimeAxisWidget* axis = GConfig::instance().timeAxis) {
            const QPoint d = event->angleDelta();
            axis->wheelScroll(d.y() != 0 ? d.y() : d.x());
        }
    }
    QTableWidget::wheelEvent(event);
}
