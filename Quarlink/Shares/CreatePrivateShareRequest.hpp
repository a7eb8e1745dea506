#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/Share.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace Quarlink {

// Offers a file or folder to recipients by e-mail address, with a message:
// POST "shares" with exactly "type" ("private"), "file_id", "message" and
// "share_with". The addresses go out as the caller gives them, in order:
// checking them is the service's (it answers a bad list with its error).
struct CreatePrivateShareRequest {
    using SuccessValue = CloudMetaPackage<std::vector<Share>>;
    static constexpr RequestTraits traits {
        .body = BodyKind::parametersJSON,
        .needsAuthentication = true,
        .enveloped = true,
        .overrides = { RequestMember::method },
    };

    std::int64_t fileID { 0 };
    std::string message;
    std::vector<std::string> recipients;

    [[nodiscard]] std::string path() const { return "shares"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    [[nodiscard]] OrderedJSON jsonParameters() const;
};

} // namespace Quarlink
