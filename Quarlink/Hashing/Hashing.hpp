#pragma once

// Quarlink/Hashing: the SHA-1 digest texts with which files and uploads are
// fingerprinted.

#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/URL.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace Quarlink {

// The SHA-1 digest of the bytes as 40 lowercase hexadecimal characters, for
// any length including none. Thread-safe.
[[nodiscard]] std::string QVStringByApplyingSha1ToData(std::span<const std::uint8_t> bytes);

// The digest text of a text's UTF-8 bytes; absent when the text is not valid UTF-8.
[[nodiscard]] std::optional<std::string> hashed(std::string_view text);
// The digest text of the bytes.
[[nodiscard]] std::string hashed(const Platform::Data& data);
// The digest text of the contents of the file a file URL names, read in
// blocks; absent when it is no file URL or the file cannot be read.
[[nodiscard]] std::optional<std::string> hashed(const Platform::URL& fileURL);

} // namespace Quarlink
