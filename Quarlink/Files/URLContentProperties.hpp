#pragma once

#include "Platform/Foundation/URL.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Quarlink {

// What an upload tells the service about a local item, read from the file
// system anew at every call: nothing is cached, nothing throws, and every
// failure (a missing item, no access, a URL that names no local file) becomes
// none or false. Symbolic links are followed to the item they name.
// Thread-safe.

// What an item without a MIME type of its own is sent as.
inline constexpr std::string_view defaultContentType = "application/octet-stream";

// The MIME type that the shared-mime-info globs give the item's name; none for
// a folder, a missing item and a name that no glob matches. The content is
// never read.
[[nodiscard]] std::optional<std::string> contentType(const Platform::URL& url);
// `contentType`, or "application/octet-stream".
[[nodiscard]] std::string contentTypeOrDefault(const Platform::URL& url);
// Whether something exists at the URL and can be reached.
[[nodiscard]] bool isReachable(const Platform::URL& url);
// Whether the item is a folder.
[[nodiscard]] bool isDirectory(const Platform::URL& url);
// The size in bytes of a file; none for a folder or a missing item.
[[nodiscard]] std::optional<std::int64_t> size(const Platform::URL& url);

} // namespace Quarlink
