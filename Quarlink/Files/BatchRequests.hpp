#pragma once

#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Files/DeleteBatchPackage.hpp"
#include "Quarlink/Files/MoveBatchPackage.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace Quarlink {

// Deletes any number of files and folders in one call: POST "files/deleter"
// with {"file_ids"}. A partial failure is in the package, not an error.
struct FileDeleteRequest {
    using SuccessValue = CloudMetaPackage<DeleteBatchPackage>;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON, .needsAuthentication = true, .enveloped = true,
        .overrides = { RequestMember::method } };

    std::vector<std::int64_t> fileIDs;

    [[nodiscard]] std::string path() const { return "files/deleter"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    void encode(JSONObjectWriter& writer) const { writer.encode("fileIDs", fileIDs); }
};

// Moves any number of files and folders into one folder: POST "files/mover"
// with {"file_ids", "destination_folder_id"}. A partial failure is in the package.
struct FileMoveRequest {
    using SuccessValue = CloudMetaPackage<MoveBatchPackage>;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON, .needsAuthentication = true, .enveloped = true,
        .overrides = { RequestMember::method } };

    std::vector<std::int64_t> fileIDs;
    std::int64_t destinationFolderID { 0 };

    [[nodiscard]] std::string path() const { return "files/mover"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("fileIDs", fileIDs);
        writer.encode("destinationFolderID", destinationFolderID);
    }
};

} // namespace Quarlink
