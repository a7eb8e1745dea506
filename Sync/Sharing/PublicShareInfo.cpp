#include "Sync/Sharing/PublicShareInfo.hpp"

namespace Sync {

namespace {

ArchiveValue optionalInteger(std::optional<std::int64_t> value)
{
    return value ? ArchiveValue(*value) : ArchiveValue(nullptr);
}

std::optional<std::int64_t> integerOrAbsent(const ArchiveDictionary& dictionary, std::string_view key)
{
    auto value = find(dictionary, key);
    return value ? value->integer() : std::nullopt;
}

} // namespace

ArchiveDictionary dictionary(const PublicShareInfo& info)
{
    auto expiration = info.expirationDate();
    return ArchiveDictionary {
        { "type", "public" },
        { "shareID", optionalInteger(info.shareID()) },
        { "fileID", optionalInteger(info.fileID()) },
        { "url", info.publicURL() },
        { "validTo", expiration ? ArchiveValue(expiration->wholeSecondsSince1970()) : ArchiveValue(nullptr) },
    };
}

bool isValid(const PublicShareInfo& info, Platform::Date now)
{
    auto expiration = info.expirationDate();
    return !expiration || *expiration > now;
}

bool sameShareInfo(const PublicShareInfo* left, const PublicShareInfo* right)
{
    if (!left || !right)
        // A present record always has a URL, so it never matches an absent one.
        return !left && !right;
    return left->shareID() == right->shareID()
        && left->fileID() == right->fileID()
        && left->publicURL() == right->publicURL()
        && left->expirationDate() == right->expirationDate();
}

std::optional<PublicShareInfoFields> publicShareInfoFields(const ArchiveDictionary& dictionary)
{
    if (dictionary.empty())
        return std::nullopt;
    auto type = find(dictionary, "type");
    if (!type || !type->text() || *type->text() != "public")
        return std::nullopt;
    auto url = find(dictionary, "url");
    if (!url || !url->url())
        return std::nullopt;

    std::optional<Platform::Date> expiration;
    if (auto validTo = integerOrAbsent(dictionary, "validTo"))
        expiration = Platform::Date::fromWholeSecondsSince1970(*validTo);
    return PublicShareInfoFields {
        integerOrAbsent(dictionary, "shareID"),
        integerOrAbsent(dictionary, "fileID"),
        *url->url(),
        expiration,
    };
}

} // namespace Sync
