#include "Sync/References/QVExtendedAttributes.hpp"

namespace Sync {

namespace {

    constexpr std::string_view classKey = "$class";
    constexpr std::string_view remoteFileIDKey = "RFI";
    constexpr std::string_view fileNameHashKey = "FNH";
    constexpr std::string_view bookmarkDataKey = "BmD";

    Platform::Data bytesFor(const ArchiveDictionary& dictionary, std::string_view key)
    {
        const auto* value = find(dictionary, key);
        if (!value || !value->bytes())
            return {};
        return *value->bytes();
    }

} // namespace

std::shared_ptr<QVExtendedAttributes> QVExtendedAttributes::create(const ArchiveDictionary& dictionary)
{
    const auto* name = find(dictionary, classKey);
    if (!name || !name->text() || *name->text() != className)
        return nullptr;
    auto record = std::make_shared<QVExtendedAttributes>();
    if (const auto* identifier = find(dictionary, remoteFileIDKey); identifier && identifier->integer())
        record->m_remoteFileID = static_cast<std::uint64_t>(*identifier->integer());
    record->m_fileNameHash = bytesFor(dictionary, fileNameHashKey);
    record->m_bookmarkData = bytesFor(dictionary, bookmarkDataKey);
    return record;
}

ArchiveDictionary QVExtendedAttributes::dictionary() const
{
    ArchiveDictionary dictionary;
    dictionary.emplace(classKey, ArchiveValue(className));
    // Stored as a signed integer, as the archive keeps integers; ids above
    // 2^63 come back unchanged through the cast.
    dictionary.emplace(remoteFileIDKey, ArchiveValue(static_cast<std::int64_t>(m_remoteFileID)));
    dictionary.emplace(fileNameHashKey, ArchiveValue(m_fileNameHash));
    dictionary.emplace(bookmarkDataKey, ArchiveValue(m_bookmarkData));
    return dictionary;
}

} // namespace Sync
