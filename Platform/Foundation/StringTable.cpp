#include "Platform/Foundation/StringTable.hpp"

#include <memory>
#include <mutex>

namespace Platform {

namespace {

struct InstalledTable {
    std::mutex mutex;
    std::shared_ptr<const StringTable> table;
};

InstalledTable& installed()
{
    static InstalledTable instance;
    return instance;
}

} // namespace

void installStringTable(StringTable table)
{
    auto replacement = std::make_shared<const StringTable>(std::move(table));
    auto& state = installed();
    std::lock_guard lock(state.mutex);
    state.table = std::move(replacement);
}

std::string localizedString(std::string_view key)
{
    std::shared_ptr<const StringTable> table;
    {
        auto& state = installed();
        std::lock_guard lock(state.mutex);
        table = state.table;
    }
    if (table) {
        auto found = table->find(std::string(key));
        if (found != table->end())
            return found->second;
    }
    return std::string(key);
}

} // namespace Platform
