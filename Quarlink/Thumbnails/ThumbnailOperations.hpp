#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Image.hpp"
#include "Quarlink/Thumbnails/ThumbnailSize.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <memory>

namespace Quarlink {

class APIClient;

// The preview of a stored file as one image. Cold: each start sends again. A
// rejected session is renewed and the request sent again.
[[nodiscard]] Reactive::SignalProducer<Image, Reactive::AnyError> thumbnail(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID, ThumbnailSize size = ThumbnailSize::list);

// The preview as one downloaded file, the transfer's temporary file, which is
// the receiver's to remove. Progress is not passed on.
[[nodiscard]] Reactive::SignalProducer<Platform::URL, Reactive::AnyError> downloadThumbnail(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID, ThumbnailSize size = ThumbnailSize::list);

} // namespace Quarlink
