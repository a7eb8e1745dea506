#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/Share.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace Quarlink {

// Every share of one file or folder, public links and private shares in the
// service's order: GET "shares/files/<fileID>". A file without shares is an
// empty list, not a failure.
struct SharesForFileRequest {
    using SuccessValue = CloudMetaPackage<std::vector<Share>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true };

    std::int64_t fileID { 0 };

    [[nodiscard]] std::string path() const { return "shares/files/" + std::to_string(fileID); }
};

} // namespace Quarlink
