#pragma once

#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>

namespace Quarlink {

// The account's limits. A plain value, read and written as {"mail_total_size": n}.
struct Limits {
    // "mail_total_size", in the service's unit.
    std::int64_t maximumMailSize { 0 };

    [[nodiscard]] static std::expected<Limits, DecodingError> decode(const JSONValueReader& reader);
    void encode(JSONObjectWriter& writer) const;

    friend bool operator==(const Limits&, const Limits&) = default;
};

} // namespace Quarlink
