#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"

#include <expected>

namespace Quarlink {

// Whether the service allows the two kinds of share of one file. A false flag
// is an answer, not a failure. A plain value without equality.
struct SharePermission {
    // "is_share_allowed_private".
    bool isPrivatelySharable { false };
    // "is_share_allowed_public".
    bool isPubliclySharable { false };

    // Both keys are required and must be JSON booleans.
    [[nodiscard]] static std::expected<SharePermission, DecodingError> decode(const JSONValueReader& reader);
};

} // namespace Quarlink
