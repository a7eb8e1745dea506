#pragma once

#include "Quarlink/Client/Operations/Operation.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Image.hpp"
#include "Quarlink/Thumbnails/ThumbnailSize.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace Quarlink {

// The service's preview of a stored file as an image in memory: GET
// "files/<fileID>/thumbnail" with the size as "x" and "y". A body that is no
// image, or whose header announces an image too large to show, fails with
// `APIClientError::parsingError` carrying the body.
struct ThumbnailRequest {
    using SuccessValue = Image;
    static constexpr RequestTraits traits {
        .needsAuthentication = true,
        .overrides = { RequestMember::queryItems },
    };

    std::int64_t fileID { 0 };
    ThumbnailSize size = ThumbnailSize::list;
    // Kept for whoever schedules previews; every request is sent at normal priority.
    QueuePriority priority = QueuePriority::veryLow;

    explicit ThumbnailRequest(std::int64_t fileID, ThumbnailSize size = ThumbnailSize::list)
        : fileID(fileID)
        , size(size)
    {
    }

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID) + "/thumbnail"; }
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const { return size.queryItems(); }
    // The pixels per point the image is meant for: the screen's scale, else 1.0.
    [[nodiscard]] double scale() const;
    // "ThumbnailRequest(fileID: <fileID>)".
    [[nodiscard]] std::string debugDescription() const;
};

} // namespace Quarlink
