#include "Quarlink/Account/Limits.hpp"

namespace Quarlink {

namespace {
constexpr std::string_view maximumMailSizeKey = "mail_total_size";
}

std::expected<Limits, DecodingError> Limits::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto size = object->decode<std::int64_t>(maximumMailSizeKey);
    if (!size)
        return std::unexpected(size.error());
    return Limits { *size };
}

void Limits::encode(JSONObjectWriter& writer) const
{
    writer.encode(maximumMailSizeKey, maximumMailSize);
}

} // namespace Quarlink
