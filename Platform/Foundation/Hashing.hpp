#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/URL.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace Platform {

// The SHA-1 digest texts with which files, uploads and stored records are
// fingerprinted: 40 lower-case hexadecimal digits, two per byte. Thread-safe;
// nothing is logged.

// The digest of the bytes, for any length including none.
[[nodiscard]] std::string QVStringByApplyingSha1ToData(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::string QVStringByApplyingSha1ToData(const Data& data);

// The digest of all the bytes.
[[nodiscard]] std::string hashed(const Data& data);

// The digest of a text's UTF-8 bytes; absent when the text is not valid UTF-8.
[[nodiscard]] std::optional<std::string> hashed(std::string_view text);

// The digest of the whole content of the file a file URL names, read in
// blocks (memory does not grow with the file) on the calling thread. Absent
// when the URL is no file URL or the content cannot be read (missing, a
// folder, no permission, a failing read).
[[nodiscard]] std::optional<std::string> hashed(const URL& fileURL);

} // namespace Platform
