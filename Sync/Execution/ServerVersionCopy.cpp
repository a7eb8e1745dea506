#include "Sync/Execution/ServerVersionCopy.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Hashing.hpp"
#include "Platform/Foundation/PathString.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Execution/ChangeEvents.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace Sync {

using Reactive::AnyError;

namespace {

using Kept = Reactive::SignalProducer<KeptServerVersion, AnyError>;

// The names in `folder`, without following links; empty when it cannot be read.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return names;
    DIR* stream = ::fdopendir(descriptor);
    if (!stream) {
        ::close(descriptor);
        return names;
    }
    while (const auto* entry = ::readdir(stream)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(stream);
    return names;
}

// The SHA-1 of a regular file's content, never through a link.
std::optional<std::string> regularFileHash(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return Platform::hashed(Platform::URL::fileURL(path));
}

// Writes `path`'s content and then its folder's entry to the device, so that
// neither a crash nor a power cut loses the copy once the upload replaced the
// server's version.
std::optional<AnyError> makeDurable(const std::string& path, const std::string& folder)
{
    for (const auto& [item, flags] : { std::pair { path, O_RDONLY | O_NOFOLLOW }, std::pair { folder, O_RDONLY | O_DIRECTORY } }) {
        const int descriptor = ::open(item.c_str(), flags | O_CLOEXEC);
        if (descriptor < 0)
            return AnyError(Platform::FileSystemError::fromErrno(errno, item));
        const bool synced = ::fsync(descriptor) == 0;
        const int error = errno;
        ::close(descriptor);
        if (!synced)
            return AnyError(Platform::FileSystemError::fromErrno(error, item));
    }
    return std::nullopt;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

} // namespace

Kept keepServerVersion(std::shared_ptr<const SyncCollaborators> collaborators, ServerEdit edit,
    std::shared_ptr<const std::unordered_set<std::string>> takenPaths, Platform::Date now)
{
    return deferredCall<KeptServerVersion>([collaborators, edit = std::move(edit), takenPaths, now]() -> Kept {
        const auto cloudFolder = collaborators->cloudFolder();
        const auto& local = *edit.update.fileOperation()->file();
        const auto folderPath = parentPath(local);
        auto folder = Platform::PathResolver(cloudFolder.path()).resolve(folderPath);
        if (!folder)
            return Kept::error(AnyError(folder.error()));
        // The disk may spell names in either form; the engine's own are precomposed.
        const auto fileName = Platform::precomposed(local.fileName());
        const auto names = namesIn(*folder);
        std::unordered_set<std::string> taken;
        for (const auto& name : names) {
            if (isConflictNameOf(Platform::precomposed(name), fileName)
                && regularFileHash(*folder + "/" + name) == edit.server->fileHash()) {
                // An earlier run kept it and ended before its upload was recorded.
                return Kept::value({ joined(folderPath, name), local.path(), true });
            }
            taken.insert(Platform::precomposed(name));
        }
        std::string name;
        for (int number = 1;; ++number) {
            name = conflictName(fileName, now, number);
            if (!taken.contains(Platform::precomposed(name)) && !takenPaths->contains(Platform::precomposed(joined(folderPath, name))))
                break;
        }
        auto copy = std::make_shared<FileWrapperItem>(*edit.server);
        copy->setPath(joined(folderPath, name));
        copy->setFileName(name);
        KeptServerVersion kept { copy->path(), local.path(), false };
        return collaborators->apiClient->syncDownload(copy, cloudFolder, ReplaceExisting::No)
            .attemptMap([kept, cloudFolder](Platform::URL&&) -> Reactive::Result<KeptServerVersion, AnyError> {
                // Where the download placed it, in whatever form the folder's names are spelled.
                const Platform::PathResolver resolver(cloudFolder.path());
                auto placed = resolver.resolve(kept.path);
                auto folder = resolver.resolve(Platform::deletingLastPathComponent(kept.path));
                if (!placed || !folder)
                    return std::unexpected(AnyError(placed ? folder.error() : placed.error()));
                if (auto failure = makeDurable(*placed, *folder))
                    return std::unexpected(std::move(*failure));
                return kept;
            });
    });
}

} // namespace Sync
