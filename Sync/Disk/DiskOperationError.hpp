#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"

#include <expected>
#include <string>

namespace Sync {

// The disk operations of the disk file store.
enum class DiskOperation {
    createFolder,
    deleteItem,
    move,
    update,
    placeDownload,
};

// A disk operation that did not happen. `location` is the item's file URL
// as logged (the source for a move); `cause` is what the file system said.
struct [[nodiscard]] DiskOperationError {
    DiskOperation operation = DiskOperation::createFolder;
    std::string location;
    Platform::FileSystemError cause;

    // One line for logs and sync events: what failed, where and why.
    [[nodiscard]] std::string description() const;

    friend bool operator==(const DiskOperationError&, const DiskOperationError&) = default;
};

using DiskOperationResult = std::expected<void, DiskOperationError>;

} // namespace Sync
