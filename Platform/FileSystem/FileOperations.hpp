#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"
#include "Platform/FileSystem/ItemStat.hpp"

#include <expected>
#include <memory>
#include <optional>
#include <string>

// The disk operations of the sync engine. Each is synchronous, runs on the
// caller's thread, never follows a final symbolic link, and reports failure as
// a value. Paths must come from the path resolver: these functions trust them.
namespace Platform {

enum class CreateIntermediates { Yes, No };

// The permission bits a file this process creates gets by default: 0666
// less the process's umask (read without changing it).
[[nodiscard]] unsigned newFileMode();

// Creates a directory (mode 0777 less the umask), with missing parents when
// asked. `alreadyExists` when a directory is already there (callers may count
// that as success); `notADirectory` when something else occupies the path.
// The modification time, when given, is set only on the directory made here.
[[nodiscard]] std::expected<void, FileSystemError> createDirectory(const std::string& path,
                                                                   CreateIntermediates intermediates,
                                                                   std::optional<FileTime> modificationTime = {});

// Removes an item, a directory with everything in it. Links are removed, not
// followed; other mounted file systems below it are not entered. `notFound`
// when the item is already gone. Items that vanish meanwhile are no failure;
// the first other failure is returned after removing what could be removed.
[[nodiscard]] std::expected<void, FileSystemError> removeItem(const std::string& path);

// Moves or renames an item; never replaces anything at `destination`
// (`alreadyExists`). Missing parents of the destination are not created.
// Uses renameat2(RENAME_NOREPLACE); where the file system lacks the flag it
// falls back to `moveItemByReservation`. A source that is gone is `notFound`.
[[nodiscard]] std::expected<void, FileSystemError> moveItem(const std::string& source, const std::string& destination);

// Moves a file onto `destination` in one step (rename(2)), replacing a file
// there: the old file stays in place until the new one is, whatever happens
// meanwhile. A directory at the destination is never replaced (`alreadyExists`
// or `notEmpty`, as the kernel answers). Missing parents are not created.
[[nodiscard]] std::expected<void, FileSystemError> replaceItem(const std::string& source, const std::string& destination);

// Whether putting a file in place may replace a file already there.
enum class ReplaceExisting { No, Yes };

// Renames `source` to `destination` on one file system: `replaceItem` when
// `replace` says so, else `moveItem`. Never copies (`crossDevice`).
[[nodiscard]] std::expected<void, FileSystemError> renameFile(const std::string& source, const std::string& destination,
                                                              ReplaceExisting replace);

// How a placement makes what it did survive a power cut: only what was
// synced does. The system's own (fsync(2)) unless a caller hands in another,
// which must forward to it; every member is safe from any thread.
class DiskSync {
public:
    virtual ~DiskSync() = default;
    // The file's content, size, times and extended attributes are on the
    // disk once this returns. Opens `path` without following a final link.
    [[nodiscard]] virtual std::expected<void, FileSystemError> syncFile(const std::string& path) const;
    // The folder's entries (names made, renamed or removed in it) are on
    // the disk once this returns.
    [[nodiscard]] virtual std::expected<void, FileSystemError> syncFolder(const std::string& path) const;

    [[nodiscard]] static const std::shared_ptr<const DiskSync>& system();
};

// Puts the finished file `source` at `destination`, where it then lies alone:
// one `renameFile` when both are on one file system; across file systems a copy
// into a hidden sibling of `destination` (named after it: a dot in front
// unless the name has one, then a unique suffix), renamed the same way, and
// `source` removed. Replaces a file at `destination` only when `replace` says
// so, in one step (the old file stays until the new one is in place);
// otherwise an item there fails the placement (`alreadyExists`). A directory
// is never replaced. Missing parents are not created. On failure `source`
// stays where it was, `destination` is as it was and no sibling is left; a
// crash during the copy can leave only the sibling.
//
// With `durable`, in this order: the file that is renamed onto `destination`
// is synced (the copy, or `source` itself), renamed, and the destination's
// folder synced; the placement succeeds only once all three have. Whatever
// the caller sets on `source` (times, mode, extended attributes) before the
// call is synced with it. Nothing is synced without `durable`. A folder that
// cannot be synced after the rename fails the placement with the file in
// place (and `source` gone or, across file systems, still there).
[[nodiscard]] std::expected<void, FileSystemError> placeFile(const std::string& source, const std::string& destination,
                                                             ReplaceExisting replace, const DiskSync* durable = nullptr);

// The fallback of `moveItem`: a hard link then unlink for a file; for a
// directory (or where hard links fail) the destination name is reserved first
// (mkdir, or an exclusive create) and rename(2) then replaces only that empty
// reservation. Callers use `moveItem`; this is public so it can be tested on
// any file system.
[[nodiscard]] std::expected<void, FileSystemError> moveItemByReservation(const std::string& source,
                                                                         const std::string& destination);

// Sets the content modification time, to the nanosecond, leaving the access time.
[[nodiscard]] std::expected<void, FileSystemError> setModificationTime(const std::string& path, FileTime time);

}  // namespace Platform
