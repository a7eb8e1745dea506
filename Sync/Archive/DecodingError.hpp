#pragma once

#include <string>

namespace Sync {

// Why a single value could not be decoded from an archive value: the kind
// that was expected, for logs. Never shown to the user.
struct [[nodiscard]] DecodingError {
    std::string expected;
    friend bool operator==(const DecodingError&, const DecodingError&) = default;
};

} // namespace Sync
