#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/URL.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace Sync {

// Content hashes as the engine stores and compares them: SHA-1 as 40
// lower-case hexadecimal digits. Thread-safe; nothing is logged.

// The digest of all the bytes.
[[nodiscard]] std::string QVStringByApplyingSha1ToData(const Platform::Data& data);

[[nodiscard]] std::string hashed(const Platform::Data& data);

// The digest of the text's bytes; absent when the text is not valid UTF-8.
[[nodiscard]] std::optional<std::string> hashed(std::string_view text);

// The digest of the whole content of the file at a file URL, read in blocks
// (memory does not grow with the file) on the calling thread. Absent when the
// URL is no file URL or the file cannot be read (missing, a folder, no
// permission).
[[nodiscard]] std::optional<std::string> hashed(const Platform::URL& url);

} // namespace Sync
