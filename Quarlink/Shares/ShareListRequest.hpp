#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/Share.hpp"

#include <string>
#include <vector>

namespace Quarlink {

// Every share of the account: GET "shares".
struct ShareListRequest {
    using SuccessValue = CloudMetaPackage<std::vector<Share>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .isListing = true };

    [[nodiscard]] std::string path() const { return "shares"; }
};

} // namespace Quarlink
