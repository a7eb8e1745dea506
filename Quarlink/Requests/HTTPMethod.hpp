#pragma once

#include "Quarlink/Coding/DecodingError.hpp"

#include <expected>
#include <optional>
#include <string>

namespace Quarlink {

class JSONValueReader;

// The method of a service request. Stored as its raw value when a request is
// kept in encoded form; never renumber or reuse values.
enum class HTTPMethod {
    get = 0,
    post = 1,
    put = 2,
    delete_ = 3,
    patch = 4,
};

// The case of a raw value; absent for anything but 0 to 4.
[[nodiscard]] std::optional<HTTPMethod> httpMethodFromRawValue(long long rawValue);
[[nodiscard]] constexpr int rawValue(HTTPMethod method) { return static_cast<int>(method); }

// The text on the wire: "GET", "POST", "PUT", "DELETE" or "PATCH".
[[nodiscard]] std::string methodText(HTTPMethod method);

// Reads the bare raw integer; another integer fails as data corrupted with
// "Cannot initialize HTTPMethod from invalid Int value <n>".
[[nodiscard]] std::expected<HTTPMethod, DecodingError> decodeHTTPMethod(const JSONValueReader& reader);

} // namespace Quarlink
