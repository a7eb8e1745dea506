#pragma once

#include "Sync/References/QVExtendedAttributes.hpp"

#include <cstdint>
#include <string>

namespace Sync {

// The binding of one item as callers exchange it: the item's path relative
// to the cloud folder (as File::path) and its remote file id. Never archived.
struct QVCloudExtendedAttributes {
    std::string filePath;
    std::int64_t remoteFileId = 0;

    [[nodiscard]] static QVCloudExtendedAttributes attributesWithFilePath(std::string filePath,
        std::int64_t remoteFileId)
    {
        return { std::move(filePath), remoteFileId };
    }
    [[nodiscard]] static QVCloudExtendedAttributes attributesWithFilePath(std::string filePath,
        const QVExtendedAttributes& attributes)
    {
        return { std::move(filePath), static_cast<std::int64_t>(attributes.remoteFileID()) };
    }

    friend bool operator==(const QVCloudExtendedAttributes&, const QVCloudExtendedAttributes&) = default;
};

} // namespace Sync
