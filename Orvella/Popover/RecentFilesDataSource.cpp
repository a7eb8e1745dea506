#include "Orvella/Popover/RecentFilesDataSource.hpp"

namespace Orvella {

std::optional<RecentFileModelType> RecentFilesDataSource::entry(std::ptrdiff_t row) const
{
    const auto list = m_cellModels.value();
    if (row < 0 || static_cast<std::size_t>(row) >= list.size()) {
        return std::nullopt;
    }
    return list[static_cast<std::size_t>(row)];
}

void RecentFilesDataSource::selectionChanged(std::ptrdiff_t selectedRow) const
{
    const auto selected = entry(selectedRow);
    if (!selected) {
        return;
    }
    if (const auto* file = selected->fileModel(); file && file->select) {
        file->select();
    }
}

} // namespace Orvella
