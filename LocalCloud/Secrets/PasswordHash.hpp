#pragma once

#include <cstdint>
#include <string>

namespace LocalCloud {

// A password kept as PBKDF2-HMAC-SHA256 over a random 16-byte salt; the
// password itself is never stored.
struct PasswordHash {
    // Lower-case hex.
    std::string salt;
    std::string hash;
    std::int64_t iterations = 0;

    // Iterations for accounts added on the command line.
    static constexpr std::int64_t standardIterations = 600'000;
    // Iterations for accounts that tests add through the server object: the
    // same scheme, cheap enough for hundreds of test logins.
    static constexpr std::int64_t testIterations = 1'000;

    [[nodiscard]] static PasswordHash make(const std::string& password, std::int64_t iterations);
    // Compares in constant time.
    [[nodiscard]] static bool matches(const std::string& password, const std::string& salt, const std::string& hash,
        std::int64_t iterations);
};

} // namespace LocalCloud
