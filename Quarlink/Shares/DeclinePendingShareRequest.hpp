#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Reactive/Result.hpp"

#include <cstdint>
#include <string>

namespace Quarlink {

// Declines a pending share: PUT "shares/refuse" with "share_id". Success is
// one empty value; the answer's body is never read.
struct DeclinePendingShareRequest {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .body = BodyKind::ownJSON,
        .needsAuthentication = true,
        .overrides = { RequestMember::method },
    };

    std::int64_t shareID { 0 };

    [[nodiscard]] std::string path() const { return "shares/refuse"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::put; }
    void encode(JSONObjectWriter& writer) const;
};

} // namespace Quarlink
