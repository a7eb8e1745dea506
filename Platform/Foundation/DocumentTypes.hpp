#pragma once

#include <string_view>

namespace Platform {

// Whether files of `mimeType` count as documents (office formats, PDF, RTF
// and plain text): the client's document filter and the local service's
// document listing answer alike.
[[nodiscard]] bool isDocumentMimeType(std::string_view mimeType);

} // namespace Platform
