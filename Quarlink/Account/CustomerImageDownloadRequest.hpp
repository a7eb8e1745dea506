#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <optional>
#include <string>

namespace Quarlink {

// Fetches the account's profile picture: GET "profile/picture" as a
// download. With `targetDownloadURL` (the file itself, not a folder) the
// picture is placed there, replacing an older one in one step once the new
// one is complete; without, the transfer's temporary file is the result and
// the receiver's to remove.
struct CustomerImageDownloadRequest {
    using SuccessValue = ProgressEvent<Platform::URL>;
    static constexpr RequestTraits traits {
        .taskKind = TaskKind::download,
        .needsAuthentication = true,
    };

    std::optional<Platform::URL> targetDownloadURL;

    [[nodiscard]] std::string path() const { return "profile/picture"; }
    [[nodiscard]] std::optional<Platform::URL> destinationURL() const { return targetDownloadURL; }
    [[nodiscard]] bool shouldOverwrite() const { return true; }
};

} // namespace Quarlink
