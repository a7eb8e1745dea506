#include "Quarlink/HTTP/HTTPURLResponse.hpp"

#include <algorithm>

namespace Quarlink {

namespace {

char asciiLower(char character)
{
    return (character >= 'A' && character <= 'Z') ? static_cast<char>(character - 'A' + 'a') : character;
}

} // namespace

bool equalsIgnoringASCIICase(std::string_view left, std::string_view right)
{
    return left.size() == right.size()
        && std::equal(left.begin(), left.end(), right.begin(),
            [](char a, char b) { return asciiLower(a) == asciiLower(b); });
}

HTTPURLResponse::HTTPURLResponse(Platform::URL url, int statusCode, HeaderFields headerFields)
    : m_url(std::move(url))
    , m_statusCode(statusCode)
    , m_headerFields(std::move(headerFields))
{
}

std::optional<std::string> HTTPURLResponse::value(std::string_view headerField) const
{
    std::optional<std::string> joined;
    for (const auto& [name, value] : m_headerFields) {
        if (!equalsIgnoringASCIICase(name, headerField))
            continue;
        if (joined)
            joined->append(", ").append(value);
        else
            joined = value;
    }
    return joined;
}

} // namespace Quarlink
