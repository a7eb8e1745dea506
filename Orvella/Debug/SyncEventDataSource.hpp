#pragma once

#include "Reactive/MutableProperty.hpp"
#include "Sync/Execution/SyncEvent.hpp"

#include <string>
#include <vector>

namespace Orvella {

// The debug pane's event log: one line per sync event, oldest first. Lines
// may be appended from any thread (under the property's own lock); the table
// reads them on the main thread.
class SyncEventDataSource {
public:
    SyncEventDataSource() : m_items(std::vector<std::string> {}) {}

    [[nodiscard]] Reactive::MutableProperty<std::vector<std::string>>& items() { return m_items; }
    [[nodiscard]] const Reactive::MutableProperty<std::vector<std::string>>& items() const { return m_items; }

    void append(std::string line)
    {
        m_items.modify([&line](std::vector<std::string>& lines) { lines.push_back(std::move(line)); });
    }

    [[nodiscard]] int numberOfRows() const { return static_cast<int>(m_items.value().size()); }
    // The line at `row`, whatever the column; empty beyond the list.
    [[nodiscard]] std::string objectValue(int row) const
    {
        const auto lines = m_items.value();
        if (row < 0 || static_cast<std::size_t>(row) >= lines.size()) {
            return {};
        }
        return lines[static_cast<std::size_t>(row)];
    }

private:
    Reactive::MutableProperty<std::vector<std::string>> m_items;
};

// "<change> started", "<change> ✅", or "<change> ❗️ <error>".
[[nodiscard]] std::string syncEventLine(const Sync::SyncEvent& event, const Sync::Change& change);

} // namespace Orvella
