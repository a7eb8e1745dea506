#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Reactive/Result.hpp"

#include <string>

namespace Quarlink {

// Removes the account's profile picture: DELETE "profile/picture" (or
// whichever `method` is set), without a body. Success is one empty value; the
// answer's body is not read.
struct CustomerImageDeleteRequest {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .needsAuthentication = true,
        .overrides = { RequestMember::method },
    };

    [[nodiscard]] std::string path() const { return "profile/picture"; }
    [[nodiscard]] HTTPMethod method() const { return m_method; }
    void setMethod(HTTPMethod method) { m_method = method; }

private:
    HTTPMethod m_method = HTTPMethod::delete_;
};

} // namespace Quarlink
