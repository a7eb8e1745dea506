#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/SharePermission.hpp"

#include <cstdint>
#include <string>

namespace Quarlink {

// Whether one file may be shared privately and publicly, as the service
// decides now: GET "files/<fileID>/permissions".
struct SharePermissionRequest {
    using SuccessValue = CloudMetaPackage<SharePermission>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true };

    std::int64_t fileID { 0 };

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID) + "/permissions"; }
};

} // namespace Quarlink
