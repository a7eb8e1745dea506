#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Shares/ShareStatus.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

namespace Quarlink {

// A file or folder offered to one recipient, named by e-mail address. A plain value.
struct PrivateShare {
    // "id".
    std::int64_t shareID { 0 };
    // "file_id".
    std::int64_t fileID { 0 };
    // "is_mine": the share is the signed-in user's own.
    bool isMine { false };
    // "status".
    ShareStatus status { ShareStatus::pending };
    // "display_name": the recipient's name; a missing key or null leaves it absent.
    std::optional<std::string> recipient;
    // "display_email": the recipient's address.
    std::string email;
    // "name": the shared item's name.
    std::string fileName;
    // "cid": the customer whose share it is, for looking up its owner.
    std::int64_t cid { 0 };

    [[nodiscard]] static std::expected<PrivateShare, DecodingError> decode(const JSONValueReader& reader);

    friend bool operator==(const PrivateShare&, const PrivateShare&) = default;
};

} // namespace Quarlink
