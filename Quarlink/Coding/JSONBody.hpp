#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Quarlink/Coding/JSONEncoder.hpp"

#include <optional>

namespace Quarlink {

// The media type of every JSON request body.
inline constexpr const char* jsonContentType = "application/json";

// Installs the two rules every JSON request body shares, replacing whatever
// the encoder had: keys in snake case (`snakeCaseKey`) and dates as whole
// seconds since 1970. Leaves every other setting alone. This is the default
// set-up of a request with a JSON payload; a request may set up its encoder
// differently.
void prepareBodyEncoder(JSONEncoder& encoder);

// A new encoder with the body rules installed.
[[nodiscard]] JSONEncoder makeBodyEncoder();

// The body of a request with a JSON payload, or of a request that encodes
// itself: the value encoded by `encoder` (by default one with the body rules).
// Any encoding failure gives no body; the failure is not reported. Encodes
// anew on every call, so the body reflects the value at the time.
template<class T>
[[nodiscard]] std::optional<Platform::Data> jsonBody(const T& value, const JSONEncoder& encoder = makeBodyEncoder())
{
    auto body = encoder.encode(value);
    if (!body)
        return std::nullopt;
    return std::move(*body);
}

// The body of a request with JSON parameters: the dictionary serialised as it
// is (its keys, in its order, and values unconverted), compact. An empty dictionary, a value
// that is no object, or text that is not valid UTF-8 gives no body.
[[nodiscard]] std::optional<Platform::Data> jsonParametersBody(const OrderedJSON& parameters);

} // namespace Quarlink
