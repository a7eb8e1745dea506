#pragma once

#include "Platform/Foundation/Data.hpp"

#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace Platform {

// SHA-1 and SHA-256 (FIPS 180), incrementally or in one call. A Digest is
// move-only and confined to one thread at a time; the free functions are
// thread-safe.
class Digest {
public:
    enum class Algorithm { SHA1, SHA256 };

    explicit Digest(Algorithm algorithm);
    ~Digest();
    Digest(Digest&&) noexcept;
    Digest& operator=(Digest&&) noexcept;
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void update(std::span<const std::uint8_t> bytes);
    void update(std::string_view text);

    // The digest of everything passed to update (20 or 32 bytes). Consumes the
    // object: call it once.
    [[nodiscard]] Data finish() &&;

    // One-call forms.
    [[nodiscard]] static Data of(Algorithm algorithm, std::span<const std::uint8_t> bytes);
    [[nodiscard]] static Data of(Algorithm algorithm, std::string_view text);

    // The digest of a regular file's whole content, read in blocks so that the
    // memory used does not grow with the file. Fails with the errno of the
    // failing call (EISDIR for a folder).
    [[nodiscard]] static std::expected<Data, std::error_code> ofFile(Algorithm algorithm, const std::string& path);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

// Lower-case hexadecimal, two digits per byte.
[[nodiscard]] std::string hexString(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::string hexString(const Data& data);

// Shorthands: the digest as lower-case hexadecimal (40 or 64 digits).
[[nodiscard]] std::string sha1Hex(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::string sha1Hex(std::string_view text);
[[nodiscard]] std::string sha256Hex(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::string sha256Hex(std::string_view text);

} // namespace Platform
