#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Downloads/FileDownloadRequest.hpp"
#include "Quarlink/Files/File.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Quarlink {

class APIClient;

// The content of a remote file as progress events ending in the placed file:
// <folder>/<fileID>/<name>, or the transport's temporary file without a
// folder. Cold: each start downloads anew.
[[nodiscard]] Reactive::SignalProducer<ProgressEvent<Platform::URL>, Reactive::AnyError> download(const std::shared_ptr<APIClient>& client,
    const File& file, std::optional<Platform::URL> folder = std::nullopt);
[[nodiscard]] Reactive::SignalProducer<ProgressEvent<Platform::URL>, Reactive::AnyError> download(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID, const std::string& fileName, std::optional<std::int64_t> numberOfBytes = std::nullopt,
    std::optional<Platform::URL> folder = std::nullopt);

} // namespace Quarlink
