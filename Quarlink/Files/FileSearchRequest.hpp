#pragma once

#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

// The files that match a text, in a folder given by its path, up to a number
// of hits: GET "files/search?path=...&count=...&query=...".
struct FileSearchRequest {
    using SuccessValue = CloudMetaPackage<std::vector<File>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .isListing = true,
        .overrides = { RequestMember::queryItems } };

    std::string searchString;
    // The folder searched in; "/" when absent.
    std::optional<std::string> folderPath;
    std::int64_t limit { 50 };

    [[nodiscard]] std::string path() const { return "files/search"; }
    // "path", "count", "query", always in this order.
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const
    {
        return { { "path", folderPath.value_or("/") }, { "count", std::to_string(limit) }, { "query", searchString } };
    }
};

} // namespace Quarlink
