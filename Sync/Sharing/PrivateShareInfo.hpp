#pragma once

#include "Sync/Archive/ArchiveValue.hpp"
#include "Sync/Sharing/ShareInfoStatus.hpp"

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Sync {

// A share of a file with a named person, as the service reported it. Any
// type may carry one by implementing this interface; the engine's own is
// PrivateShareInfoItem.
class PrivateShareInfo {
public:
    virtual ~PrivateShareInfo() = default;

    [[nodiscard]] virtual std::optional<std::int64_t> shareID() const = 0;
    [[nodiscard]] virtual std::optional<std::int64_t> fileID() const = 0;
    // The service's flag of that name, passed through unchanged.
    [[nodiscard]] virtual bool isMine() const = 0;
    [[nodiscard]] virtual ShareInfoStatus status() const = 0;
    [[nodiscard]] virtual const std::optional<std::string>& recipient() const = 0;
    [[nodiscard]] virtual const std::string& email() const = 0;
    // The name of the shared file or folder.
    [[nodiscard]] virtual const std::string& fileName() const = 0;
};

// The dictionary form, built afresh: "type" = "private", "shareID", "fileID"
// (integers or null), "isMine" (Boolean), "status" (raw value), "recipient"
// (text or null), "email", "fileName".
[[nodiscard]] ArchiveDictionary dictionary(const PrivateShareInfo& info);

// Equality of two optional records (nullptr is absent), fields in the order
// shareID, fileID, isMine, status, recipient, email, fileName; texts compare
// by canonical equivalence. Two absent records are equal, an absent one
// never equals a present one.
[[nodiscard]] bool sameShareInfo(const PrivateShareInfo* left, const PrivateShareInfo* right);
[[nodiscard]] inline bool operator==(const PrivateShareInfo& left, const PrivateShareInfo& right)
{
    return sameShareInfo(&left, &right);
}

// Equal lengths and equal at every position, in order. No element may be null.
[[nodiscard]] bool sameShareInfos(const std::vector<std::shared_ptr<const PrivateShareInfo>>& left,
    const std::vector<std::shared_ptr<const PrivateShareInfo>>& right);

struct PrivateShareInfoFields {
    std::optional<std::int64_t> shareID;
    std::optional<std::int64_t> fileID;
    bool isMine { false };
    ShareInfoStatus status { ShareInfoStatus::Accepted };
    std::optional<std::string> recipient;
    std::string email;
    std::string fileName;
};

// Reads the private dictionary form. Nothing when the dictionary is empty,
// "type" is not exactly "private", "isMine" is not a Boolean, "status" is not
// 0, 1 or 2, or "email" or "fileName" is not text. Wrong kinds under
// "shareID", "fileID" and "recipient" only leave those fields absent.
[[nodiscard]] std::optional<PrivateShareInfoFields> privateShareInfoFields(const ArchiveDictionary& dictionary);

// Rebuilds any record type constructible from the seven fields in order.
template<typename Record>
    requires std::constructible_from<Record, std::optional<std::int64_t>, std::optional<std::int64_t>, bool,
        ShareInfoStatus, std::optional<std::string>, std::string, std::string>
[[nodiscard]] std::optional<Record> makePrivateShareInfo(const ArchiveDictionary& dictionary)
{
    auto fields = privateShareInfoFields(dictionary);
    if (!fields)
        return std::nullopt;
    return Record(fields->shareID, fields->fileID, fields->isMine, fields->status, std::move(fields->recipient),
        std::move(fields->email), std::move(fields->fileName));
}

} // namespace Sync
