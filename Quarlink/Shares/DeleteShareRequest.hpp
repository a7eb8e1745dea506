#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Reactive/Result.hpp"

#include <cstdint>
#include <string>

namespace Quarlink {

// Ends one share, a public link or a private invitation alike: DELETE
// "shares/<shareID>". Success is one empty value whatever the answer's body
// holds; the body is never read.
struct DeleteShareRequest {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .needsAuthentication = true,
        .overrides = { RequestMember::method },
    };

    std::int64_t shareID { 0 };

    [[nodiscard]] std::string path() const { return "shares/" + std::to_string(shareID); }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::delete_; }
};

} // namespace Quarlink
