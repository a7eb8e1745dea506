#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Sync/Archive/ArchiveValue.hpp"

#include <concepts>
#include <cstdint>
#include <optional>

namespace Sync {

// A file's public link as the service reported it. Any type may carry one by
// implementing this interface; the engine's own is PublicShareInfoItem.
class PublicShareInfo {
public:
    virtual ~PublicShareInfo() = default;

    [[nodiscard]] virtual std::optional<std::int64_t> shareID() const = 0;
    [[nodiscard]] virtual std::optional<std::int64_t> fileID() const = 0;
    [[nodiscard]] virtual const Platform::URL& publicURL() const = 0;
    // When the link stops being valid; absent means no limit.
    [[nodiscard]] virtual std::optional<Platform::Date> expirationDate() const = 0;
};

// The dictionary form, built afresh: "type" = "public", "shareID", "fileID"
// (integers or null), "url" (a URL value, never text) and "validTo" (whole
// seconds since 1970 cut toward zero, or null).
[[nodiscard]] ArchiveDictionary dictionary(const PublicShareInfo& info);

// True when there is no expiration date or it lies strictly after `now`
// (a link expiring this very instant is no longer valid).
[[nodiscard]] bool isValid(const PublicShareInfo& info, Platform::Date now = Platform::Date::now());

// Equality of two optional records (nullptr is absent): fields compared in the
// order shareID, fileID, publicURL, expirationDate (same instant); two absent
// records are equal, an absent one never equals a present one.
[[nodiscard]] bool sameShareInfo(const PublicShareInfo* left, const PublicShareInfo* right);
[[nodiscard]] inline bool operator==(const PublicShareInfo& left, const PublicShareInfo& right)
{
    return sameShareInfo(&left, &right);
}

struct PublicShareInfoFields {
    std::optional<std::int64_t> shareID;
    std::optional<std::int64_t> fileID;
    Platform::URL publicURL;
    std::optional<Platform::Date> expirationDate;
};

// Reads the public dictionary form. Nothing when the dictionary is empty,
// "type" is not exactly "public", or "url" is not a URL value (text spelling
// a URL does not count). Wrong kinds under "shareID", "fileID" and "validTo"
// only leave those fields absent.
[[nodiscard]] std::optional<PublicShareInfoFields> publicShareInfoFields(const ArchiveDictionary& dictionary);

// Rebuilds any record type constructible from the four fields in order.
template<typename Record>
    requires std::constructible_from<Record, std::optional<std::int64_t>, std::optional<std::int64_t>, Platform::URL,
        std::optional<Platform::Date>>
[[nodiscard]] std::optional<Record> makePublicShareInfo(const ArchiveDictionary& dictionary)
{
    auto fields = publicShareInfoFields(dictionary);
    if (!fields)
        return std::nullopt;
    return Record(fields->shareID, fields->fileID, std::move(fields->publicURL), fields->expirationDate);
}

} // namespace Sync
