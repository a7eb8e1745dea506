#include "Quarlink/Requests/HTTPMethod.hpp"

#include "Quarlink/Coding/JSONValueReader.hpp"

namespace Quarlink {

std::optional<HTTPMethod> httpMethodFromRawValue(long long rawValue)
{
    if (rawValue < 0 || rawValue > 4)
        return std::nullopt;
    return static_cast<HTTPMethod>(rawValue);
}

std::string methodText(HTTPMethod method)
{
    switch (method) {
    case HTTPMethod::get:
        return "GET";
    case HTTPMethod::post:
        return "POST";
    case HTTPMethod::put:
        return "PUT";
    case HTTPMethod::delete_:
        return "DELETE";
    case HTTPMethod::patch:
        return "PATCH";
    }
    return "GET";
}

std::expected<HTTPMethod, DecodingError> decodeHTTPMethod(const JSONValueReader& reader)
{
    auto raw = reader.decode<long long>();
    if (!raw)
        return std::unexpected(raw.error());
    auto method = httpMethodFromRawValue(*raw);
    if (!method)
        return std::unexpected(reader.dataCorrupted("Cannot initialize HTTPMethod from invalid Int value " + std::to_string(*raw)));
    return *method;
}

} // namespace Quarlink
