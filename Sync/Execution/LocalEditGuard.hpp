#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Reactive/AnyError.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Store/FileStore.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace Sync {

// The checks the engine makes on the disk before a change from the server
// touches it, so that nothing the user has there is lost:
// - every server path goes through the path resolver: one that is malformed
//   or would lead out of the cloud folder is refused;
// - a regular file about to be overwritten or deleted must still hold the
//   content the stored state knows (its hash); a folder about to be deleted
//   must hold only files the stored state knows, unchanged. Anything else is
//   the user's newer work, kept for the next local phase to upload.
// A stored hash that is unknown (empty, or the missing-hash marker) cannot
// tell an edit apart and lets the change go ahead.
//
// Synchronous, on the caller's thread; reads the disk and the store on every call.
class LocalEditGuard {
public:
    LocalEditGuard(const FileStore& fileStore, Platform::URL cloudFolder);

    // The disk path of `file`, or the refusal as a ChangeExecutionError.
    [[nodiscard]] std::expected<std::string, Reactive::AnyError> resolve(const File& file) const;
    // An error when overwriting the item at `file`'s path would lose a local edit.
    [[nodiscard]] std::optional<Reactive::AnyError> checkOverwrite(const File& file) const;
    // An error when deleting the item at `file`'s path would lose a local edit.
    [[nodiscard]] std::optional<Reactive::AnyError> checkDelete(const File& file) const;

private:
    [[nodiscard]] std::optional<std::string> editedFile(const std::string& diskPath, const std::string& relativePath,
        std::string_view storedHash) const;
    [[nodiscard]] std::optional<std::string> editedFileBelow(const std::string& diskFolder,
        const std::string& relativeFolder) const;

    const FileStore& m_fileStore;
    Platform::URL m_cloudFolder;
};

} // namespace Sync
