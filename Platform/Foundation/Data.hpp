#pragma once

// Platform/Foundation: value types and small services every module shares
// (bytes, dates, URLs, identifiers, digests, text normalisation, logging).

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace Platform {

// An owned, contiguous run of bytes. A plain value: copies are deep, equality
// compares the bytes. Not synchronised; share copies, not references, across
// threads.
class Data {
public:
    Data() = default;
    explicit Data(std::vector<std::uint8_t> bytes);
    Data(const void* bytes, std::size_t size);

    // The bytes of a text, unchanged (no terminator, no conversion).
    [[nodiscard]] static Data fromString(std::string_view text);

    // Reads a whole regular file. Fails with the errno of the failing call.
    // Meant for small files (settings, messages); hash large files with
    // Digest::ofFile, which streams.
    [[nodiscard]] static std::expected<Data, std::error_code> contentsOfFile(const std::string& path);

    [[nodiscard]] std::size_t size() const { return m_bytes.size(); }
    [[nodiscard]] bool empty() const { return m_bytes.empty(); }
    [[nodiscard]] const std::uint8_t* data() const { return m_bytes.data(); }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return m_bytes; }
    [[nodiscard]] const std::vector<std::uint8_t>& vector() const { return m_bytes; }
    [[nodiscard]] std::vector<std::uint8_t>& mutableVector() { return m_bytes; }

    // The bytes viewed as text; valid while this value lives and is unchanged.
    [[nodiscard]] std::string_view stringView() const;
    [[nodiscard]] std::string toString() const { return std::string(stringView()); }

    void append(std::span<const std::uint8_t> bytes);
    void append(std::string_view text);

    friend bool operator==(const Data&, const Data&) = default;

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace Platform
