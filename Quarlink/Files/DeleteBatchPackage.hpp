#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Errors/RemoteError.hpp"

#include <cstdint>
#include <expected>
#include <set>
#include <vector>

namespace Quarlink {

// What the service did with a batch delete: the identifiers it deleted, and
// one service error for each file it did not delete (the errors name no file:
// a file missing from `deletedFileIDs` was not deleted). A partial failure is
// data, not an error. A plain value.
struct DeleteBatchPackage {
    std::set<std::int64_t> deletedFileIDs;
    std::vector<RemoteError> errors;

    DeleteBatchPackage(const std::vector<std::int64_t>& deletedFileIDs, std::vector<RemoteError> errors)
        : deletedFileIDs(deletedFileIDs.begin(), deletedFileIDs.end())
        , errors(std::move(errors))
    {
    }

    // "success" (integers) and "errors" (error objects, read as `RemoteError`
    // reads its JSON form) are both required; one bad element fails the whole package.
    [[nodiscard]] static std::expected<DeleteBatchPackage, DecodingError> decode(const JSONValueReader& reader);
};

} // namespace Quarlink
