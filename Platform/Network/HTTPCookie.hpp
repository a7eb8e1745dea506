#pragma once

#include <cstdint>
#include <string>

namespace Platform {

// One cookie of a session's cookie jar, as the transport keeps it.
struct HTTPCookie {
    // Domain the cookie belongs to (without a leading dot for host-only cookies).
    std::string domain;
    // True when the cookie is sent to subdomains of `domain` too.
    bool includesSubdomains = false;
    std::string path;
    // True when the cookie is only sent over https.
    bool isSecure = false;
    // Seconds since 1970; 0 for a session cookie.
    std::int64_t expires = 0;
    std::string name;
    std::string value;

    friend bool operator==(const HTTPCookie&, const HTTPCookie&) = default;
};

} // namespace Platform
