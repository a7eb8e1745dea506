#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/Share.hpp"
#include "Quarlink/Shares/ShareLifetime.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace Quarlink {

// Makes a public link to a file or folder: POST "shares" with "type"
// "public", "file_id" and "valid_to" (the lifetime's number). The answer's
// list holds the shares the service made.
struct CreatePublicShareRequest {
    using SuccessValue = CloudMetaPackage<std::vector<Share>>;
    static constexpr RequestTraits traits {
        .body = BodyKind::ownJSON,
        .needsAuthentication = true,
        .enveloped = true,
        .overrides = { RequestMember::method },
    };

    std::string type = "public";
    std::int64_t fileID { 0 };
    std::int64_t validTo { 0 };

    CreatePublicShareRequest(std::int64_t fileID, ShareLifetime lifetime)
        : fileID(fileID)
        , validTo(validToValue(lifetime))
    {
    }

    [[nodiscard]] std::string path() const { return "shares"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    void encode(JSONObjectWriter& writer) const;
};

} // namespace Quarlink
