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
        // The disk store places it durably (file synced, renamed, folder
        // synced) before the value is sent: only then may the upload replace
        // the server's version.
        return collaborators->apiClient->syncDownload(copy).attemptMap(
            [collaborators, copy, kept, cloudFolder](DownloadedFileRef&& downloaded) -> Reactive::Result<KeptServerVersion, AnyError> {
                auto placed = collaborators->fileSystemStore.placeDownload(
                    std::move(*downloaded), *copy, cloudFolder, ReplaceExisting::No);
                if (!placed)
                    return std::unexpected(AnyError(std::move(placed.error())));
                return kept;
            });
    });
}

} // namespace Sync
