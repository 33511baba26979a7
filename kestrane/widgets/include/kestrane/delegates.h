// Item delegates of the console's lists, tables and combo-box views: two
// drop the focus frame of the current item, the third greys out an entry
// that is shown but not offered.
#pragma once

#include <QStyledItemDelegate>

class NoFocusDelegate : public QStyledItemDelegate {
public:
    explicit NoFocusDelegate(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The drop-down views of the console's styled combo boxes.
class DelegateForMediaListComBox : public QStyledItemDelegate {
public:
    explicit DelegateForMediaListComBox(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Set per row (QAbstractItemView::setItemDelegateForRow) on entries that
// do nothing when chosen.
class DelegateForComboBox : public QStyledItemDelegate {
public:
    explicit DelegateForComboBox(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
