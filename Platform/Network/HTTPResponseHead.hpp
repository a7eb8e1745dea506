#pragma once

#include "Platform/Network/HTTPHeaders.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace Platform {

// The status line and header fields of the final response of a task: after
// redirects and interim "100 Continue" answers only the last block remains.
struct HTTPResponseHead {
    // Status code of the final response (200, 404, ...).
    long statusCode = 0;
    // URL that answered, after following redirects.
    std::string url;
    // Header fields of the final response only.
    HTTPHeaders headers;

    // The "Content-Length" field when present and valid; absent otherwise.
    [[nodiscard]] std::optional<std::int64_t> expectedContentLength() const;
};

} // namespace Platform
