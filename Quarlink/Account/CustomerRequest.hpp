#pragma once

#include "Quarlink/Account/CustomerInfo.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <string>

namespace Quarlink {

// The logged-in account's customer data: GET "customer". The answer is the
// bare customer object: one inside an envelope fails to decode, and no quota
// is announced.
struct CustomerRequest {
    using SuccessValue = CustomerInfo;
    static constexpr RequestTraits traits { .needsAuthentication = true };

    // False for the request a login (or a session renewal) makes for the new
    // session: its rejection fails it instead of waiting for a renewal.
    bool renewsSession = true;

    [[nodiscard]] std::string path() const { return "customer"; }
};

} // namespace Quarlink
