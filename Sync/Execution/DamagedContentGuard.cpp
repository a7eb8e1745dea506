#include "Sync/Execution/DamagedContentGuard.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Status/FileSyncStatus.hpp"

#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sync {

using Reactive::AnyError;

namespace {

// The SHA-1 of no content: a record of an empty file holds nothing to lose.
constexpr std::string_view emptyContentHash = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

// Whether the regular file at `path` holds nothing but zero bytes (or
// nothing at all). Never follows a link, never blocks on a special file.
bool holdsOnlyZeros(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat status {};
    bool zeros = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    std::array<unsigned char, 64 * 1024> buffer {};
    while (zeros) {
        const auto count = ::read(descriptor, buffer.data(), buffer.size());
        if (count <= 0) {
            zeros = count == 0;
            break;
        }
        for (ssize_t index = 0; index < count && zeros; ++index)
            zeros = buffer[static_cast<std::size_t>(index)] == 0;
    }
    ::close(descriptor);
    return zeros;
}

} // namespace

FileRef damagedRecord(const SyncCollaborators& collaborators, const File& file, const Platform::URL& cloudFolder)
{
    if (isFolder(file))
        return nullptr;
    auto record = collaborators.fileStore->file(file.syncFileID());
    if (!record || isFolder(*record))
        return nullptr;
    const auto& recorded = record->fileHash();
    if (recorded.empty() || recorded == FileWrapperItem::missingFileHashKey || recorded == emptyContentHash
        || file.fileHash() == recorded)
        return nullptr;
    if (file.lastModifiedDate().nanosecondsSince1970() == record->lastModifiedDate().nanosecondsSince1970())
        return record;
    auto path = Platform::PathResolver(cloudFolder.path()).resolve(file.path());
    return path && holdsOnlyZeros(*path) ? record : nullptr;
}

SyncEventProducer restoreServerVersion(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const Change& change, const FileRef& file, const FileRef& record)
{
    const auto cloudFolder = collaborators->cloudFolder();
    auto call = collaborators->apiClient->syncDownload(record).attemptMap(
        [collaborators, file, record, cloudFolder](DownloadedFileRef&& downloaded) -> Reactive::Result<Platform::URL, AnyError> {
            auto diskPath = Platform::PathResolver(cloudFolder.path()).resolve(file->path());
            if (!diskPath)
                return std::unexpected(AnyError(diskPath.error()));
            auto digest = Platform::Digest::ofFile(Platform::Digest::Algorithm::SHA1, downloaded->path());
            if (!digest)
                return std::unexpected(AnyError(Platform::FileSystemError::fromErrno(digest.error().value(), downloaded->path())));
            if (holdsOnlyZeros(*diskPath)) {
                Platform::Log::failure(file->path() + " lost its content without an edit; the server's version replaces it");
            } else {
                auto kept = collaborators->fileSystemStore.keepCopy(*file, cloudFolder);
                if (!kept)
                    return std::unexpected(AnyError(std::move(kept.error())));
                Platform::Log::failure(file->path() + " changed without an edit (its date is the recorded one); the server's version"
                    + " replaces it and the local bytes are kept in " + *kept);
            }
            auto restored = std::make_shared<FileWrapperItem>(*record);
            restored->setPath(file->path());
            restored->setFileName(file->fileName());
            restored->setFileHash(Platform::hexString(*digest));
            auto placed = collaborators->fileSystemStore.placeDownload(std::move(*downloaded), *restored, cloudFolder,
                Platform::ReplaceExisting::Yes, collaborators->fileReferenceMapping.get());
            if (!placed)
                return std::unexpected(AnyError(std::move(placed.error())));
            auto stored = StoredChange::storing(restored);
            if (auto written = collaborators->record(stored.markUpToDate(*restored, cloudFolder)); !written)
                return std::unexpected(AnyError(std::move(written.error())));
            return Platform::URL::fileURL(*placed);
        });
    return changeEvents(change, call);
}

} // namespace Sync
