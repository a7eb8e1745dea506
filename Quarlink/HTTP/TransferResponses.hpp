#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Quarlink/HTTP/HTTPURLResponse.hpp"

#include <optional>

namespace Quarlink {

// What a data transfer delivers: the whole body and the response head.
struct DataResponse {
    Platform::Data data;
    HTTPURLResponse response;
};

// What a finished download delivers: where the body was written (absent when
// no file is left) and the response head.
struct DownloadResponse {
    std::optional<Platform::URL> tempURL;
    HTTPURLResponse response;
};

} // namespace Quarlink
