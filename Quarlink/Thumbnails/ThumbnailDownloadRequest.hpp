#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Client/Operations/Operation.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Thumbnails/ThumbnailSize.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

// The service's preview of a stored file as a downloaded file: GET
// "files/<fileID>/thumbnail" with the size as "x" and "y". The result is the
// transfer's temporary file where it lies, the receiver's to remove.
struct ThumbnailDownloadRequest {
    using SuccessValue = ProgressEvent<Platform::URL>;
    static constexpr RequestTraits traits {
        .taskKind = TaskKind::download,
        .needsAuthentication = true,
        .overrides = { RequestMember::queryItems },
    };

    std::int64_t fileID { 0 };
    ThumbnailSize size = ThumbnailSize::list;
    // Kept for whoever schedules previews; every request is sent at normal priority.
    QueuePriority priority = QueuePriority::veryLow;

    explicit ThumbnailDownloadRequest(std::int64_t fileID, ThumbnailSize size = ThumbnailSize::list)
        : fileID(fileID)
        , size(size)
    {
    }

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID) + "/thumbnail"; }
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const { return size.queryItems(); }
    [[nodiscard]] std::optional<Platform::URL> destinationURL() const { return std::nullopt; }
    [[nodiscard]] bool shouldOverwrite() const { return true; }
    // "ThumbnailDataRequest(fileID: <fileID>)": the name log readers know it by.
    [[nodiscard]] std::string debugDescription() const;
};

} // namespace Quarlink
