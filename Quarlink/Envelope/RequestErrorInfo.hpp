#pragma once

#include "Platform/Network/URLRequest.hpp"
#include "Reactive/AnyError.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace Quarlink {

// The account of one failed request worth telling the service about: a
// multi-line text of the request and its failure, and the failure's code. An
// immutable value.
struct RequestErrorInfo {
    // The text; the name is spelt as the reports have always spelt it.
    std::string errorDesciption;
    // The service's error code, or -2 for a body that could not be decoded.
    std::int64_t errorCode = 0;

    // A record only for a `DecodingError` or a `RemoteError` of case
    // `requestFailed`, looked at as `error` holds it (no unwrapping); nothing
    // for every other error. The text begins with "Request: ", the method, a
    // blank, the URL ("unbekannt" without one) and a line feed, then the body
    // and a line feed when the request has a body that is valid UTF-8 (only
    // when `request` is given); then the failure: "\n" and the decoding
    // error's description ("No Error Description" when empty), or
    // "\nResponse: HTTP-<status>\n<body as UTF-8, nothing when invalid>\n\nMessage: <message>".
    [[nodiscard]] static std::optional<RequestErrorInfo> make(const std::optional<Platform::URLRequest>& request,
        const Reactive::AnyError& error);

    friend bool operator==(const RequestErrorInfo&, const RequestErrorInfo&) = default;
};

} // namespace Quarlink
