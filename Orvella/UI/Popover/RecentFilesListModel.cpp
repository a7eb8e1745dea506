#include "Orvella/UI/Popover/RecentFilesListModel.hpp"

#include "Orvella/UI/Popover/FileThumbnail.hpp"

#include <QSize>

namespace Orvella {

RecentFilesListModel::RecentFilesListModel(std::shared_ptr<RecentFilesDataSource> dataSource, Thumbnailer thumbnailer, QObject* parent)
    : QAbstractListModel(parent)
    , m_dataSource(std::move(dataSource))
    , m_thumbnailer(thumbnailer ? std::move(thumbnailer) : Thumbnailer(fileThumbnail))
{
}

void RecentFilesListModel::reload()
{
    beginResetModel();
    m_rows.clear();
    for (auto& entry : m_dataSource->cellModels().value()) {
        QImage thumbnail;
        if (const auto* file = entry.fileModel()) {
            thumbnail = m_thumbnailer(file->filePath, thumbnailSize);
        }
        m_rows.push_back({ std::move(entry), std::move(thumbnail) });
    }
    endResetModel();
}

void RecentFilesListModel::select(int row) const
{
    // The rows shown, not the data source's list, which may have been
    // replaced since: a selection runs the action of the row the user saw.
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) {
        return;
    }
    if (const auto* file = m_rows[static_cast<std::size_t>(row)].entry.fileModel(); file && file->select) {
        file->select();
    }
}

int RecentFilesListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant RecentFilesListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_rows.size()) {
        return {};
    }
    const auto& row = m_rows[static_cast<std::size_t>(index.row())];
    const auto* file = row.entry.fileModel();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(file ? file->fileName : *row.entry.sectionTitle());
    case Qt::DecorationRole:
        return file ? QVariant(row.thumbnail) : QVariant();
    case Qt::SizeHintRole:
        return QSize(0, m_dataSource->heightOfRow(static_cast<std::size_t>(index.row())));
    case kindRole:
        return file ? QStringLiteral("DataCell") : QStringLiteral("HeaderCell");
    case dateRole:
        return file ? QVariant(QString::fromStdString(file->dateString)) : QVariant();
    case pathRole:
        return file && file->filePath ? QVariant(QString::fromStdString(*file->filePath)) : QVariant(QString());
    default:
        return {};
    }
}

} // namespace Orvella
