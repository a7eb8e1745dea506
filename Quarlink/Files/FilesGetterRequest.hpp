#pragma once

#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Files/DeltaRequestReplacable.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Quarlink {

class APIClient;

// The records of given files: POST "files/getter" with {"file_ids": [...]}.
struct FilesGetterRequest {
    using SuccessValue = CloudMetaPackage<std::vector<File>>;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON, .needsAuthentication = true, .enveloped = true, .isListing = true,
        .overrides = { RequestMember::method } };

    std::vector<std::int64_t> fileIDs;

    [[nodiscard]] std::string path() const { return "files/getter"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    void encode(JSONObjectWriter& writer) const { writer.encode("fileIDs", fileIDs); }
    [[nodiscard]] std::string deltaIdentifier() const { return ValueDescription("FilesGetterRequest").field("fileIDs", fileIDs).text(); }
};

// The same records asked for in consecutive batches of at most `batchSize`
// identifiers, one `FilesGetterRequest` after the other: one package per
// batch, in order; the next batch is sent only when the previous one has
// completed, and none after a failure, which ends the whole stream. Each batch
// renews a rejected session, announces its quota and reports its failure by
// itself. A negative size gives no batch (the stream completes at once); a
// size of 0 fails with `APIClientError::invalidRequest` before any request.
struct BatchFilesGetterRequest {
    using SuccessValue = CloudMetaPackage<std::vector<File>>;

    std::int64_t batchSize { 0 };
    std::vector<std::int64_t> fileIDs;

    [[nodiscard]] std::string deltaIdentifier() const
    {
        return ValueDescription("BatchFilesGetterRequest").field("batchSize", batchSize).field("fileIDs", fileIDs).text();
    }
};

// The batches of `BatchFilesGetterRequest`, performed one after another.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<File>>, Reactive::AnyError> perform(
    const BatchFilesGetterRequest& request, const std::shared_ptr<APIClient>& client);

// Consecutive slices of at most `size` elements; none for an empty list or a
// size below 1.
[[nodiscard]] std::vector<std::vector<std::int64_t>> split(const std::vector<std::int64_t>& identifiers, std::int64_t size);

} // namespace Quarlink
