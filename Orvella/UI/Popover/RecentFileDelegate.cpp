#include "Orvella/UI/Popover/RecentFileDelegate.hpp"

#include "Orvella/Popover/RecentFilesDataSource.hpp"
#include "Orvella/UI/Popover/RecentFilesListModel.hpp"

#include <QApplication>
#include <QPainter>

namespace Orvella {

void RecentFileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    painter->save();
    const QRect area = option.rect.adjusted(8, 0, -8, 0);
    const bool selected = option.state & QStyle::State_Selected;
    const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QFont font = option.font;
    if (index.data(RecentFilesListModel::kindRole).toString() == QStringLiteral("HeaderCell")) {
        font.setBold(true);
        painter->setFont(font);
        painter->setPen(text);
        painter->drawText(area, Qt::AlignVCenter | Qt::AlignLeft, index.data(Qt::DisplayRole).toString());
        painter->restore();
        return;
    }
    const int pictureSide = 40;
    const QRect picture(area.left(), area.top() + (area.height() - pictureSide) / 2, pictureSide, pictureSide);
    const QImage thumbnail = index.data(Qt::DecorationRole).value<QImage>();
    if (!thumbnail.isNull()) {
        const QSize fitted = thumbnail.size().scaled(picture.size(), Qt::KeepAspectRatio);
        const QRect target(picture.center() - QPoint(fitted.width() / 2, fitted.height() / 2), fitted);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, thumbnail);
    }
    const QRect lines = area.adjusted(pictureSide + 10, 8, 0, -8);
    painter->setFont(font);
    painter->setPen(text);
    const QFontMetrics metrics(font);
    const QString name = metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, lines.width());
    painter->drawText(lines, Qt::AlignTop | Qt::AlignLeft, name);
    QFont small = font;
    small.setPointSizeF(font.pointSizeF() * 0.85);
    painter->setFont(small);
    painter->setPen(selected ? text : option.palette.color(QPalette::PlaceholderText));
    painter->drawText(lines, Qt::AlignBottom | Qt::AlignLeft, index.data(RecentFilesListModel::dateRole).toString());
    painter->restore();
}

QSize RecentFileDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    // No width of its own: a row takes the list's width, and `paint` shortens the name to it.
    return QSize(0, RecentFilesDataSource::rowHeight);
}

} // namespace Orvella
