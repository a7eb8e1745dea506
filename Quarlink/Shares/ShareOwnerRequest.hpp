#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/Owner.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"

#include <string>

namespace Quarlink {

// The customer who owns a private share: GET "shares/owner/<cid>". The
// service looks owners up by customer number, so the path carries the share's
// `cid`, never its identifier. The answer is the bare owner object: an owner
// inside an envelope fails to decode.
struct ShareOwnerRequest {
    using SuccessValue = Owner;
    static constexpr RequestTraits traits { .needsAuthentication = true };

    PrivateShare share;

    [[nodiscard]] std::string path() const { return "shares/owner/" + std::to_string(share.cid); }
};

} // namespace Quarlink
