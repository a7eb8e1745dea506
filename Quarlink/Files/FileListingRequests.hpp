#pragma once

#include "Quarlink/Files/DeltaRequestReplacable.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

// The read-only listings of the user's files: GET, no body, a session needed
// (a rejected one is renewed and the request sent again), the answer an
// envelope whose quota is announced. Plain values, built and started on any thread.

inline constexpr RequestTraits fileListingTraits { .needsAuthentication = true, .enveloped = true, .isListing = true };

// One folder's items: "files", with "fileId" only when a folder is given.
struct FileListRequest {
    using SuccessValue = CloudMetaPackage<std::vector<File>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .isListing = true,
        .overrides = { RequestMember::queryItems } };

    std::optional<std::int64_t> folderID;

    [[nodiscard]] std::string path() const { return "files"; }
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const;
    // "FileListRequest(folderID: 7)", -1 without a folder.
    [[nodiscard]] std::string debugDescription() const;
    [[nodiscard]] std::string deltaIdentifier() const { return debugDescription(); }
};

// Every item of the storage: "files?depth=-1".
struct RecursiveFileListRequest {
    using SuccessValue = CloudMetaPackage<std::vector<File>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .isListing = true,
        .overrides = { RequestMember::queryItems } };

    [[nodiscard]] std::string path() const { return "files"; }
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const { return { { "depth", "-1" } }; }
    [[nodiscard]] std::string deltaIdentifier() const { return "RecursiveFileListRequest()"; }
};

// The category views: one fixed path each (the path the service names the
// view by, so it is no field of the value), no query.
template<class Payload>
struct FixedPathListing {
    using SuccessValue = CloudMetaPackage<Payload>;
    static constexpr RequestTraits traits = fileListingTraits;
};

struct DocumentsRequest : FixedPathListing<std::vector<File>> {
    [[nodiscard]] std::string path() const { return "files/documents"; }
    [[nodiscard]] std::string debugDescription() const { return "DocumentsRequest"; }
    [[nodiscard]] std::string deltaIdentifier() const { return debugDescription(); }
};

struct PhotosRequest : FixedPathListing<std::vector<File>> {
    [[nodiscard]] std::string path() const { return "files/photos"; }
    [[nodiscard]] std::string deltaIdentifier() const { return ValueDescription("PhotosRequest").field("path", path()).text(); }
};

// The identifiers of the photos, a package of bare integers.
struct PhotoIDsRequest : FixedPathListing<std::vector<std::int64_t>> {
    [[nodiscard]] std::string path() const { return "files/photos/ids"; }
};

struct MusicRequest : FixedPathListing<std::vector<File>> {
    [[nodiscard]] std::string path() const { return "files/music"; }
    [[nodiscard]] std::string debugDescription() const { return "MusicRequest"; }
    [[nodiscard]] std::string deltaIdentifier() const { return debugDescription(); }
};

// The items with a share flag set.
struct SharedFilesRequest : FixedPathListing<std::vector<File>> {
    [[nodiscard]] std::string path() const { return "shares/files"; }
    [[nodiscard]] std::string deltaIdentifier() const { return ValueDescription("SharedFilesRequest").field("path", path()).text(); }
};

struct RecentFilesRequest : FixedPathListing<std::vector<File>> {
    [[nodiscard]] std::string path() const { return "files/recents"; }
    [[nodiscard]] std::string deltaIdentifier() const { return "RecentFilesRequest()"; }
};

} // namespace Quarlink
