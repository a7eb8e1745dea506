#pragma once

// Quarlink/Debug: requests to the service's debugging endpoints.

#include "Platform/Foundation/URL.hpp"
#include "Platform/Network/URLRequest.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"
#include "Reactive/Result.hpp"

#include <string>

namespace Quarlink {

// Asks the service to write out its pending data: a plain GET of
// "debug/flush-cloud" at the root of the service host, beside the versioned
// API rather than inside it, without header fields or body. Success is one
// empty value; the answer's body is not read. Internal to the library.
struct FlushRequest final {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .needsAuthentication = true,
        .overrides = { RequestMember::urlRequest },
    };

    // What request filters and logs know it by; the address is `urlRequest`'s.
    [[nodiscard]] std::string path() const { return "debug/flush-cloud"; }
    // The base URL's last component (the API version, with or without a
    // trailing "/") replaced by "debug/flush-cloud".
    [[nodiscard]] Platform::URLRequest urlRequest(const Platform::URL& base) const;
};

} // namespace Quarlink
