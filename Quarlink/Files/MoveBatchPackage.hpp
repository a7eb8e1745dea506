#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Files/File.hpp"

#include <cstdint>
#include <expected>
#include <vector>

namespace Quarlink {

// What the service did with a batch move: each moved file as it now is, and
// the identifiers it did not move. A partial failure is data, not an error. A
// plain value.
struct MoveBatchPackage {
    std::vector<File> movedFiles;
    std::vector<std::int64_t> failedFileIDs;

    // "success" (file objects) and "errors" (integers) are both required; one
    // bad element fails the whole package.
    [[nodiscard]] static std::expected<MoveBatchPackage, DecodingError> decode(const JSONValueReader& reader);
};

} // namespace Quarlink
