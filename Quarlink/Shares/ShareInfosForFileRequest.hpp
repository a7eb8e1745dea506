#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/ShareInfo.hpp"

#include <cstdint>
#include <string>

namespace Quarlink {

// The owner and all shares of one file: GET "files/<fileID>/shareinfos".
struct ShareInfosForFileRequest {
    using SuccessValue = CloudMetaPackage<ShareInfo>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true };

    std::int64_t fileID { 0 };

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID) + "/shareinfos"; }
};

} // namespace Quarlink
