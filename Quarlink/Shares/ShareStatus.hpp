#pragma once

// Quarlink/Shares: public links and private shares of files, their owners, and
// whether a file may be shared.

#include "Quarlink/Coding/JSONValueReader.hpp"

#include <expected>

namespace Quarlink {

// The state of a private share on the recipient's side.
enum class ShareStatus {
    accepted,
    pending,
    declined,
};

// A JSON integer: 2 is accepted, 1 pending, every other integer declined. A
// value that is no JSON integer (a string of digits, a boolean, null) fails.
[[nodiscard]] std::expected<ShareStatus, DecodingError> decodeShareStatus(const JSONValueReader& reader);

} // namespace Quarlink
