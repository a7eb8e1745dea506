#pragma once

#include "Orvella/Popover/RecentFileModelType.hpp"

#include "Reactive/MutableProperty.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace Orvella {

// Serves the popover's file table from a reactive list: row n is entry n of
// `cellModels`. Every row is 56 points high. The table (a Qt list model over
// this source) is reloaded on every replacement of the list.
// Threading: the list may be replaced from any thread (the view model does
// it on the UI scheduler); the row methods read its current value.
class RecentFilesDataSource {
public:
    static constexpr int rowHeight = 56;

    RecentFilesDataSource() = default;
    RecentFilesDataSource(const RecentFilesDataSource&) = delete;
    RecentFilesDataSource& operator=(const RecentFilesDataSource&) = delete;

    [[nodiscard]] Reactive::MutableProperty<std::vector<RecentFileModelType>>& cellModels() { return m_cellModels; }
    [[nodiscard]] const Reactive::MutableProperty<std::vector<RecentFileModelType>>& cellModels() const { return m_cellModels; }

    [[nodiscard]] std::size_t numberOfRows() const { return m_cellModels.value().size(); }
    [[nodiscard]] int heightOfRow(std::size_t) const { return rowHeight; }
    // The entry of `row`; none for a negative row or one beyond the list.
    [[nodiscard]] std::optional<RecentFileModelType> entry(std::ptrdiff_t row) const;

    // The table's selection changed to `selectedRow` (-1: cleared). A file
    // row runs its `select` once; a section row, a cleared selection and a
    // row beyond the list do nothing. The selection is left as it is.
    void selectionChanged(std::ptrdiff_t selectedRow) const;

private:
    Reactive::MutableProperty<std::vector<RecentFileModelType>> m_cellModels { {} };
};

} // namespace Orvella
