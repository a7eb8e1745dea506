#pragma once

#include "Reactive/AnyError.hpp"

#include <expected>

namespace Sync {

// Makes the cloud folder ready before the remote trigger polls. Implemented
// by the application.
class CloudFolderPreparator {
public:
    virtual ~CloudFolderPreparator() = default;

    // Called on the scheduler's interval scheduler before every etag poll.
    // Success: the cloud folder is ready. An error: this poll yields no etag
    // (the scheduler does not log it).
    [[nodiscard]] virtual std::expected<void, Reactive::AnyError> prepareCloudFolder() = 0;
};

} // namespace Sync
