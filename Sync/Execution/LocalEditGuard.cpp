#include "Sync/Execution/LocalEditGuard.hpp"

#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

namespace Sync {

using Reactive::AnyError;

namespace {

bool isKnownHash(std::string_view hash)
{
    return !hash.empty() && hash != FileWrapperItem::missingFileHashKey;
}

AnyError conflict(const std::string& path, std::string detail)
{
    return AnyError(ChangeExecutionError { ChangeExecutionError::Code::localEditConflict, path, std::move(detail) });
}

} // namespace

LocalEditGuard::LocalEditGuard(const FileStore& fileStore, Platform::URL cloudFolder)
    : m_fileStore(fileStore)
    , m_cloudFolder(std::move(cloudFolder))
{
}

std::expected<std::string, AnyError> LocalEditGuard::resolve(const File& file) const
{
    auto resolved = Platform::PathResolver(m_cloudFolder.path()).resolve(file.path());
    if (!resolved || !fileURL(file, m_cloudFolder)) {
        auto detail = resolved ? std::string() : resolved.error().description();
        return std::unexpected(
            AnyError(ChangeExecutionError { ChangeExecutionError::Code::unsafePath, file.path(), std::move(detail) }));
    }
    return std::move(*resolved);
}

std::optional<AnyError> LocalEditGuard::checkOverwrite(const File& file) const
{
    auto diskPath = resolve(file);
    if (!diskPath) {
        return diskPath.error();
    }
    auto stored = m_fileStore.file(file.syncFileID());
    if (!stored) {
        return std::nullopt;
    }
    if (auto edited = editedFile(*diskPath, file.path(), stored->fileHash())) {
        return conflict(file.path(), *edited);
    }
    return std::nullopt;
}

std::optional<AnyError> LocalEditGuard::checkDelete(const File& file) const
{
    auto diskPath = resolve(file);
    if (!diskPath) {
        return diskPath.error();
    }
    auto status = Platform::ItemStat::of(*diskPath);
    if (!status) {
        return std::nullopt; // Already gone: nothing to lose.
    }
    std::optional<std::string> edited;
    if (status->isDirectory()) {
        edited = editedFileBelow(*diskPath, file.path());
    } else {
        auto stored = m_fileStore.file(file.syncFileID());
        edited = editedFile(*diskPath, file.path(), stored ? stored->fileHash() : file.fileHash());
    }
    if (edited) {
        return conflict(file.path(), *edited);
    }
    return std::nullopt;
}

std::optional<std::string> LocalEditGuard::editedFile(const std::string& diskPath, const std::string& relativePath,
    std::string_view storedHash) const
{
    auto status = Platform::ItemStat::of(diskPath);
    if (!status || !status->isRegularFile() || !isKnownHash(storedHash)) {
        return std::nullopt;
    }
    auto digest = Platform::Digest::ofFile(Platform::Digest::Algorithm::SHA1, diskPath);
    if (!digest) {
        return relativePath + " cannot be read";
    }
    if (Platform::hexString(*digest) != storedHash) {
        return relativePath + " was changed on disk";
    }
    return std::nullopt;
}

std::optional<std::string> LocalEditGuard::editedFileBelow(const std::string& diskFolder,
    const std::string& relativeFolder) const
{
    auto enumerator = Platform::DirectoryEnumerator::open(diskFolder);
    if (!enumerator) {
        return std::nullopt;
    }
    std::string base = relativeFolder;
    while (base.ends_with('/')) {
        base.pop_back();
    }
    while (auto entry = enumerator->next()) {
        if (!entry->status.isRegularFile() || FileSystemFileStore::isIgnoredName(entry->name)) {
            continue;
        }
        const auto relativePath = Platform::precomposed(base + entry->relativePath);
        auto stored = m_fileStore.fileAtPath(relativePath);
        if (!stored) {
            return relativePath + " is not synced yet";
        }
        if (auto edited = editedFile(entry->path, relativePath, stored->fileHash())) {
            return edited;
        }
    }
    return std::nullopt;
}

} // namespace Sync
