#pragma once

// Quarlink/Account: what the service reports about the user's account.

#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>
#include <optional>
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

    // used / total; 1.0 when the total is 0 or less. Not clamped: more used
    // than allowed gives more than 1.0.
    [[nodiscard]] double fractionUsed() const;

    // The banner text of a nearly full (0 to 50,000,000 bytes free) or an
    // overfull (less than nothing free) storage, from the application's string
    // table; none while more is free. The free space saturates at the 64-bit
    // limits instead of overflowing.
    [[nodiscard]] std::optional<std::string> warningText() const;

    // "Quota(5 of 10)": used of total.
    [[nodiscard]] std::string debugDescription() const;

    friend bool operator==(const Quota&, const Quota&) = default;
};

} // namespace Quarlink
