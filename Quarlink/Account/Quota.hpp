#pragma once

// Quarlink/Account: what the service reports about the user's account.

#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>
#include <string>

namespace Quarlink {

// The user's storage usage as the service reports it in the metadata of many
// responses. A plain value.
struct Quota {
    // Bytes in use (JSON key "used").
    std::int64_t usedBytes { 0 };
    // Bytes available in all (JSON key "total").
    std::int64_t totalBytes { 1'000'000'000 };

    // Reads "total", then "used"; both are required whole numbers.
    [[nodiscard]] static std::expected<Quota, DecodingError> decode(const JSONValueReader& reader);

    [[nodiscard]] std::string description() const;

    friend bool operator==(const Quota&, const Quota&) = default;
};

} // namespace Quarlink
