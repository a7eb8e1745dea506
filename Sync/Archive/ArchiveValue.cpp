#include "Sync/Archive/ArchiveValue.hpp"

namespace Sync {

std::optional<bool> ArchiveValue::boolean() const
{
    if (auto value = std::get_if<bool>(&m_storage))
        return *value;
    return std::nullopt;
}

std::optional<std::int64_t> ArchiveValue::integer() const
{
    if (auto value = std::get_if<std::int64_t>(&m_storage))
        return *value;
    return std::nullopt;
}

const ArchiveValue* find(const ArchiveDictionary& dictionary, std::string_view key)
{
    auto entry = dictionary.find(key);
    return entry == dictionary.end() ? nullptr : &entry->second;
}

} // namespace Sync
