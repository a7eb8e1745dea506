#pragma once

#include "Platform/Network/HTTPHeaders.hpp"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace Platform {

// One HTTP request as a session task sends it. A plain value.
struct URLRequest {
    // Absolute http or https URL, already percent-encoded.
    std::string url {};
    // Request method, sent as given ("GET", "POST", "PUT", "DELETE", ...).
    std::string method = "GET";
    // Header fields. An "Accept-Encoding" field is handed to the transport's own
    // decoder, so the body always arrives decoded whatever the field asks for.
    HTTPHeaders headers {};
    // Body of a data task; ignored by upload tasks (their body is the file).
    std::string body {};
    // Longest stretch without a single byte moving before the task fails with
    // `timedOut`; absent means the session configuration's idle time-out.
    std::optional<std::chrono::seconds> idleTimeout {};
    // Most decoded bytes a data or upload task keeps of the answer in memory;
    // beyond it the task fails with `responseTooLarge`, so a small compressed
    // answer cannot inflate the process. Downloads stream to their file unbounded.
    std::size_t maximumBodySize = defaultMaximumBodySize;

    static constexpr std::size_t defaultMaximumBodySize = std::size_t { 32 } << 20;
};

} // namespace Platform
