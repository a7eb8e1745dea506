#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>
#include <optional>

namespace Quarlink {

// A public link to a file or folder. A plain value.
struct PublicShare {
    // "id".
    std::int64_t shareID { 0 };
    // "file_id".
    std::int64_t fileID { 0 };
    // "url": a JSON string that must be a valid URL.
    Platform::URL url;
    // "share_valid_to": when the link expires; a missing key or null means never.
    std::optional<Platform::Date> validTo;

    [[nodiscard]] static std::expected<PublicShare, DecodingError> decode(const JSONValueReader& reader);

    friend bool operator==(const PublicShare&, const PublicShare&) = default;
};

} // namespace Quarlink
