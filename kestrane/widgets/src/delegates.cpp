#include "kestrane/delegates.h"

#include <QColor>
#include <QPalette>

namespace {

QStyleOptionViewItem withoutFocus(const QStyleOptionViewItem& option) {
    QStyleOptionViewItem copy(option);
    copy.state &= ~QStyle::State_HasFocus;
    return copy;
}

}  // namespace

NoFocusDelegate::NoFocusDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void NoFocusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, withoutFocus(option), index);
}

DelegateForMediaListComBox::DelegateForMediaListComBox(QObject* parent) : QStyledItemDelegate(parent) {}

void DelegateForMediaListComBox::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, withoutFocus(option), index);
}

DelegateForComboBox::DelegateForComboBox(QObject* parent) : QStyledItemDelegate(parent) {}

void DelegateForComboBox::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem grey = withoutFocus(option);
    grey.state &= ~QStyle::State_Active;
    grey.palette.setBrush(QPalette::Text, QBrush(QColor(QStringLiteral("#787878"))));
    QStyledItemDelegate::paint(painter, grey, index);
}
