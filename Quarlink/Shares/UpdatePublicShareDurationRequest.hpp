#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/PublicShare.hpp"
#include "Quarlink/Shares/ShareLifetime.hpp"

#include <cstdint>
#include <string>

namespace Quarlink {

// Gives a public link a new lifetime: PATCH "shares/<shareID>" with
// "share_id" and "valid_to". The answer is the changed link.
struct UpdatePublicShareDurationRequest {
    using SuccessValue = CloudMetaPackage<PublicShare>;
    static constexpr RequestTraits traits {
        .body = BodyKind::ownJSON,
        .needsAuthentication = true,
        .enveloped = true,
        .overrides = { RequestMember::method },
    };

    std::int64_t shareID { 0 };
    std::int64_t validTo { 0 };

    UpdatePublicShareDurationRequest(std::int64_t shareID, ShareLifetime lifetime)
        : shareID(shareID)
        , validTo(validToValue(lifetime))
    {
    }

    [[nodiscard]] std::string path() const { return "shares/" + std::to_string(shareID); }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::patch; }
    void encode(JSONObjectWriter& writer) const;
};

} // namespace Quarlink
