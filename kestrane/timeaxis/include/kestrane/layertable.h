// The table of the time axis: one row per layer or layer group, four effect
// rows under every layer, and a last 1-pixel filler row. Every walk over the
// rows goes through the helpers here; none of them returns the filler.
#pragma once

#include <QList>
#include <QTableWidget>

#include <initializer_list>

class Container;
class EffectLayerPanel;
class LayerInfoPanel;
class LayerPanel;
class SpecialEffectInfoPanel;

class LayerTable : public QTableWidget {
    Q_OBJECT
public:
    // Data role of the column-0 item that tells the row's kind.
    static constexpr int KindRole = Qt::UserRole + 100;
    enum RowRole { LayerRow = 100, GroupRow = 101, EffectRow = 102 };

    explicit LayerTable(QWidget* parent = nullptr);

    int fillerRow() const { return rowCount() - 1; }
    // The row's role; 0 for the filler or a row out of range.
    int rowRole(int row) const;
    bool isEffectRow(int row) const { return rowRole(row) == EffectRow; }
    bool isLayerRow(int row) const { return rowRole(row) == LayerRow; }
    bool isGroupRow(int row) const { return rowRole(row) == GroupRow; }
    bool isHeaderRow(int row) const { return isLayerRow(row) || isGroupRow(row); }

    // Layer and group rows, in table order.
    QList<int> headerRows() const;
    QList<int> layerRows() const;
    QList<int> groupRows() const;
    // The layers of a group: the layer rows inside the group that follow it.
    QList<int> childRows(int groupRow) const;
    // The effect rows directly below a layer row.
    QList<int> effectRows(int layerRow) const;
    // The header row a row belongs to (itself for a header), -1 for none.
    int ownerRow(int row) const;

    LayerInfoPanel* header(int row) const;
    SpecialEffectInfoPanel* effectHeader(int row) const;
    Container* container(int row) const;
    LayerPanel* strip(int row) const;
    EffectLayerPanel* effectStrip(int row) const;
    // The header row whose strip this is; -1 when none.
    int rowOfStrip(const LayerPanel* strip) const;

    // Row kinds for reordering: 0 group, 1 layer, 2 a group's layer,
    // 3 effect row; the filler left out.
    QList<int> rowKinds() const;

    // Titles of the headers (groups or layers), leaving one row out.
    QStringList titles(bool groups, int skipRow = -1) const;
    QStringList allTitles(int skipRow = -1) const;

    // Unchecks every header row not in keepRows.
    void uncheckOthers(const QList<int>& keepRows);
    int anchorRow() const { return m_anchorRow; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QList<int> rowsWithRole(std::initializer_list<int> roles) const;

    int m_anchorRow = -1;
};
