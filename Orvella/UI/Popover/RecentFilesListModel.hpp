#pragma once

#include "Orvella/Popover/RecentFilesDataSource.hpp"

#include <QAbstractListModel>
#include <QImage>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// The popover's file table as a Qt list model over the data source. It holds
// the list it last took, with the pictures of its file rows, made once when
// the list is taken (`reload`), never while painting. A row beyond the list
// has no data. GUI thread only.
class RecentFilesListModel final : public QAbstractListModel {
public:
    enum Role {
        kindRole = Qt::UserRole + 1, // "DataCell" for file rows, "HeaderCell" for section rows
        dateRole,                    // the date line of a file row
        pathRole,                    // the local path of a file row, empty when it has none
    };
    using Thumbnailer = std::function<QImage(const std::optional<std::string>& path, int size)>;

    static constexpr int thumbnailSize = 64;

    explicit RecentFilesListModel(std::shared_ptr<RecentFilesDataSource> dataSource, Thumbnailer thumbnailer = {},
        QObject* parent = nullptr);

    // Takes the data source's current list and resets the model.
    void reload();
    // The view's selection changed to `row` (-1: none).
    void select(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        RecentFileModelType entry;
        QImage thumbnail;
    };

    std::shared_ptr<RecentFilesDataSource> m_dataSource;
    Thumbnailer m_thumbnailer;
    std::vector<Row> m_rows;
};

} // namespace Orvella
