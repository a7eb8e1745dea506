#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <expected>
#include <string>

namespace Quarlink {

// The service's answer to "hash/create": {"urls": {"login": "<URL>"}}; other
// members are ignored.
struct LoginHashRequestResponse {
    struct URLSWrapper {
        // Required; an absolute URL given as a JSON string.
        Platform::URL login;
        [[nodiscard]] static std::expected<URLSWrapper, DecodingError> decode(const JSONValueReader& reader);
    };

    // Required.
    URLSWrapper urls;
    [[nodiscard]] static std::expected<LoginHashRequestResponse, DecodingError> decode(const JSONValueReader& reader);
};

// Asks the service for a link that logs the current user in on its web pages:
// GET "hash/create". Needs a session: a rejected session is renewed and the
// request sent again. The success value is the link.
struct CreateLoginHashRequest {
    using SuccessValue = Platform::URL;
    static constexpr RequestTraits traits {
        .needsAuthentication = true,
        .overrides = { RequestMember::parse },
    };

    [[nodiscard]] std::string path() const { return "hash/create"; }
    // `urls.login` of the body decoded as `LoginHashRequestResponse`; the
    // decoder's error when the body does not decode. The HTTP head is not read.
    [[nodiscard]] std::expected<Platform::URL, Reactive::AnyError> parse(const DataResponse& response) const;
};

} // namespace Quarlink
