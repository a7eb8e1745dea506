#include "Platform/Network/HTTPResponseHead.hpp"

#include <charconv>

namespace Platform {

std::optional<std::int64_t> HTTPResponseHead::expectedContentLength() const
{
    auto field = headers.value("Content-Length");
    if (!field)
        return std::nullopt;
    std::int64_t length = 0;
    auto [end, error] = std::from_chars(field->data(), field->data() + field->size(), length);
    if (error != std::errc() || end != field->data() + field->size() || length < 0)
        return std::nullopt;
    return length;
}

} // namespace Platform
