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

    [[nodiscard]] std::string path() const { return "customer"; }
};

} // namespace Quarlink
