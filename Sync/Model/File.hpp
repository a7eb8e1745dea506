#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Sync/Model/FileType.hpp"
#include "Sync/Model/SyncFileID.hpp"
#include "Sync/Sharing/PublicShareInfo.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Sync {

// What the engine needs to know about one item of the cloud folder, wherever
// it comes from: disk scan, stored state or server listing. Implementations
// answer the same values on every call while the engine holds them (the
// engine's own FileWrapperItem changes only when its owner writes to it);
// references returned stay valid until the file changes or is destroyed.
//
// Files are shared by reference (`FileRef`): the change computation writes
// identifiers and hashes into the very FileWrapperItem objects the stores
// produced. No implementation is required to be thread-safe; whoever holds a
// file confines it to one thread at a time.
class File {
public:
    virtual ~File() = default;

    // The server's file id once the server knows the item, else a local placeholder.
    [[nodiscard]] virtual const SyncFileID& syncFileID() const = 0;
    // Slash-separated path below the cloud folder's root, with a leading "/"
    // ("/Docs/a.txt"); the engine's own records end folder paths with "/".
    [[nodiscard]] virtual const std::string& path() const = 0;
    // The last path component.
    [[nodiscard]] virtual const std::string& fileName() const = 0;
    // The identity of the containing folder.
    [[nodiscard]] virtual const SyncFileID& syncParentID() const = 0;
    // Content modification time, to the nanosecond for disk items.
    [[nodiscard]] virtual Platform::Date lastModifiedDate() const = 0;
    [[nodiscard]] virtual const FileType& type() const = 0;
    // The server's entity tag; absent for items from disk.
    [[nodiscard]] virtual const std::optional<std::string>& syncEtag() const = 0;
    [[nodiscard]] virtual bool hasPublicShare() const = 0;
    [[nodiscard]] virtual bool hasPrivateShares() const = 0;
    // The public link's details where the file carries them (the engine's
    // stored records do); nullptr where they are unknown, whatever the flag says.
    [[nodiscard]] virtual const std::shared_ptr<const PublicShareInfo>& publicShareInfo() const;
    // SHA-1 of the content as 40 lower-case hex digits; empty for folders and
    // unreadable files, or FileWrapperItem::missingFileHashKey.
    [[nodiscard]] virtual std::string_view fileHash() const = 0;

    // The text of this file in operation descriptions. By default the
    // module-qualified name of the concrete type ("Sync.FileWrapperItem").
    [[nodiscard]] virtual std::string description() const;
};

using FileRef = std::shared_ptr<File>;

// `path` with its last component removed: "/Docs/a.txt" gives "/Docs", "/a.txt" gives "/".
[[nodiscard]] std::string parentPath(const File& file);

[[nodiscard]] inline bool isFolder(const File& file) { return file.type().isFolder(); }

// A path without its trailing "/": a folder's record and a scanned folder
// may or may not carry one, and nothing else tells two paths apart. "/" stays.
[[nodiscard]] inline std::string_view withoutTrailingSlash(std::string_view path)
{
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    return path;
}

// Where the file lies below `base` (the cloud folder's URL). The path must
// stay inside the base: a path with a ".." or "." component, an empty
// component (a single trailing "/" of a folder excepted) or a NUL byte gives
// no URL, and callers treat that as an error. "/" gives the base itself.
[[nodiscard]] std::optional<Platform::URL> fileURL(const File& file, const Platform::URL& base);

// Field-by-field equality in this order, stopping at the first difference:
// syncFileID, syncParentID, path, fileName, lastModifiedDate (exact to the
// nanosecond), type, syncEtag (absent differs from empty), the two share
// flags, fileHash. Texts compare by canonical equivalence. The concrete types
// play no part.
[[nodiscard]] bool operator==(const File& left, const File& right);

// True when `left` is absent, otherwise !(left == right).
[[nodiscard]] bool differs(const File* left, const File& right);

// Same count and equal at every index, in order. No element may be null.
[[nodiscard]] bool sameFiles(const std::vector<FileRef>& left, const std::vector<FileRef>& right);

} // namespace Sync
