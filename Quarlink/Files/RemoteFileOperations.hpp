#pragma once

#include "Quarlink/Files/BatchRequests.hpp"
#include "Quarlink/Files/FileListingRequests.hpp"
#include "Quarlink/Files/FileSearchRequest.hpp"
#include "Quarlink/Files/FilesDeltaRequest.hpp"
#include "Quarlink/Files/FilesGetterRequest.hpp"
#include "Quarlink/Files/FolderRequests.hpp"
#include "Quarlink/Files/SingleFileRequests.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

class APIClient;

// The operations on the user's remote files. Each builds its request when
// called and returns that request's cold `perform` producer, adding nothing:
// nothing is sent until it is started, each start sends the request anew, and
// the caller unpacks the envelope (`unpacked`). Overloads take an identifier
// or a model, of which only the identifier is read.

template<class Payload>
using PackageProducer = Reactive::SignalProducer<CloudMetaPackage<Payload>, Reactive::AnyError>;
using FilesProducer = PackageProducer<std::vector<File>>;

// Listings.
[[nodiscard]] FilesProducer files(const std::shared_ptr<APIClient>& client, std::int64_t folderID);
[[nodiscard]] FilesProducer files(const std::shared_ptr<APIClient>& client, const File& folder);
[[nodiscard]] FilesProducer recursiveFiles(const std::shared_ptr<APIClient>& client);
[[nodiscard]] FilesProducer documents(const std::shared_ptr<APIClient>& client);
[[nodiscard]] FilesProducer photos(const std::shared_ptr<APIClient>& client);
[[nodiscard]] PackageProducer<std::vector<std::int64_t>> photoIDs(const std::shared_ptr<APIClient>& client);
[[nodiscard]] FilesProducer music(const std::shared_ptr<APIClient>& client);
[[nodiscard]] FilesProducer sharedFiles(const std::shared_ptr<APIClient>& client);
[[nodiscard]] FilesProducer recentFiles(const std::shared_ptr<APIClient>& client);

// The files changed since a time; a time that is not finite or lies outside
// the 64-bit range fails with `APIClientError::invalidRequest` when started,
// and nothing is sent or reported.
[[nodiscard]] FilesProducer filesChangedSince(const std::shared_ptr<APIClient>& client, const Platform::Date& date);
[[nodiscard]] FilesProducer filesChangedSince(const std::shared_ptr<APIClient>& client, double secondsSince1970);

// The files matching `text`, in `folder` (its path; "/" without one), up to `limit` hits.
[[nodiscard]] FilesProducer filesMatching(const std::shared_ptr<APIClient>& client, const std::string& text,
    const std::optional<File>& folder = std::nullopt, std::int64_t limit = 50);

// The records of given files, in one request, or in batches of `batchSize`
// one after another (one package per batch; see `BatchFilesGetterRequest`).
[[nodiscard]] FilesProducer files(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs);
[[nodiscard]] FilesProducer filesInBatches(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs,
    std::int64_t batchSize);
// The photo identifiers, then the photo records in batches; no photos give one
// package with no files and the identifier answer's quota.
[[nodiscard]] FilesProducer photosInBatches(const std::shared_ptr<APIClient>& client, std::int64_t batchSize);

// One file or folder, whole or only its etag.
[[nodiscard]] PackageProducer<File> file(const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] PackageProducer<File> refreshed(const std::shared_ptr<APIClient>& client, const File& file);
[[nodiscard]] PackageProducer<EtagResponse> etag(const std::shared_ptr<APIClient>& client, std::int64_t fileID);

// Folders and names.
[[nodiscard]] PackageProducer<File> createFolder(const std::shared_ptr<APIClient>& client, const std::string& name,
    std::optional<std::int64_t> parentID = std::nullopt);
[[nodiscard]] PackageProducer<File> createFolder(const std::shared_ptr<APIClient>& client, const std::string& name, const File& parent);
[[nodiscard]] PackageProducer<File> rename(const std::shared_ptr<APIClient>& client, std::int64_t fileID, const std::string& newName);
[[nodiscard]] PackageProducer<File> rename(const std::shared_ptr<APIClient>& client, const File& file, const std::string& newName);

// Batch delete and move: one request for all, a partial failure in the package.
[[nodiscard]] PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, const File& file);
[[nodiscard]] PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs);
[[nodiscard]] PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, const std::vector<File>& files);
[[nodiscard]] PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, std::int64_t fileID, std::int64_t folderID);
[[nodiscard]] PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs,
    std::int64_t folderID);
[[nodiscard]] PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, const File& file, const File& folder);
[[nodiscard]] PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, const std::vector<File>& files,
    const File& folder);

} // namespace Quarlink
