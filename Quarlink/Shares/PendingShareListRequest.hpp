#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"

#include <string>
#include <vector>

namespace Quarlink {

// The private shares offered to the account that await its answer: GET
// "shares/pending".
struct PendingShareListRequest {
    using SuccessValue = CloudMetaPackage<std::vector<PrivateShare>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .isListing = true };

    [[nodiscard]] std::string path() const { return "shares/pending"; }
};

} // namespace Quarlink
