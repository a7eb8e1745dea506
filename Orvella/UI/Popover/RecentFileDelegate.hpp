#pragma once

#include <QStyledItemDelegate>

namespace Orvella {

// Draws the rows of the popover's file table, 56 pixels high: a file row
// ("DataCell") with its picture, its name and its date line; a section row
// ("HeaderCell") with its title.
class RecentFileDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace Orvella
