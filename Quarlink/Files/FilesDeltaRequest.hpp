#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Quarlink/Files/DeltaRequestReplacable.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quarlink {

// The files changed since a point in time: GET "files/delta?last_sync=<s>".
// The answer's metadata is stamped with the server's clock from the "Date"
// response header, the kind of time the next delta request takes.
//
// `lastTimeStamp` must be finite and within the 64-bit range: the operations
// refuse other values before any request is made (`APIClientError::invalidRequest`).
struct FilesDeltaRequest {
    using SuccessValue = CloudMetaPackage<std::vector<File>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .isListing = true,
        .overrides = { RequestMember::queryItems, RequestMember::parse } };

    // Seconds since 1970 after which changes are asked for.
    double lastTimeStamp { 0 };

    [[nodiscard]] static FilesDeltaRequest withLastDate(const Platform::Date& date) { return { date.timeIntervalSince1970() }; }

    [[nodiscard]] std::string path() const { return "files/delta"; }
    // "last_sync" = the seconds cut toward zero.
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const;
    // The envelope as every listing decodes it; when it has metadata, its
    // `deltaUpdateDate` is the "Date" header (looked up without regard to
    // case), or absent when that header is missing or no HTTP date.
    [[nodiscard]] std::expected<SuccessValue, Reactive::AnyError> parse(const DataResponse& response) const;
    [[nodiscard]] std::string deltaIdentifier() const;

    // Whether the time stamp can be sent: finite and within 64 bits once cut toward zero.
    [[nodiscard]] bool isValid() const;
};

// An HTTP date as servers send it, "Wed, 09 Dec 2026 10:29:25 GMT" (RFC 9110's
// preferred form; "GMT", "UTC" or "UT" as the zone, names in any letter case),
// read the same under every locale. None for anything else, including dates
// that do not exist.
[[nodiscard]] std::optional<Platform::Date> parseHTTPDate(std::string_view text);

} // namespace Quarlink
