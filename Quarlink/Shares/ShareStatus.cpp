#include "Quarlink/Shares/ShareStatus.hpp"

#include <cstdint>

namespace Quarlink {

std::expected<ShareStatus, DecodingError> decodeShareStatus(const JSONValueReader& reader)
{
    const auto& value = reader.json();
    if (!value.is_number_integer())
        return std::unexpected(reader.typeMismatch("an integer"));
    // Compared without conversion, so that integers beyond 64 signed bits are simply "declined".
    if (value.is_number_unsigned()) {
        auto number = value.get<std::uint64_t>();
        return number == 2 ? ShareStatus::accepted : number == 1 ? ShareStatus::pending : ShareStatus::declined;
    }
    auto number = value.get<std::int64_t>();
    return number == 2 ? ShareStatus::accepted : number == 1 ? ShareStatus::pending : ShareStatus::declined;
}

} // namespace Quarlink
