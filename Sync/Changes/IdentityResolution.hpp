#pragma once

#include "Platform/FileSystem/ChangeStamp.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace Sync {

// The two views of the local phase, ready for the change computation.
struct ResolvedViews {
    // The scanned items that take part, in scan order, with the identities
    // they were found to have.
    std::vector<FileRef> diskFiles;
    // Scanned items whose path equals a kept item's under canonical
    // equivalence: error events of their change, never bound.
    std::vector<FileRef> twins;
    // The stored records the disk items are compared with (see screenStoredFiles).
    std::vector<FileRef> storedFiles;
};

// The remote id the disk item at `path` is bound to (the path as scanned,
// without a trailing "/"); nothing when unbound. Asked at most once per
// path, with the item's change stamp from the scan when it is known.
using BindingLookup
    = std::function<std::optional<std::int64_t>(std::string_view path, const Platform::ChangeStamp* stamp)>;

// Gives each scanned item (fresh local ids) the identity it has: the remote
// id its binding names, else the id of the stored record at its path; and
// its parent's id: the root folder's for a top-level item, else its parent
// folder's binding, else the stored record's parent when the item took that
// record's id, else the stored folder at its parent path.
//
// One rule for paths: an item and a record are at one path when their paths
// without a trailing "/" are canonically equal; a folder is never at a
// file's path, and only a folder is a parent. A binding to an id the stored
// state does not know binds nothing. Twins (see screenDiskFiles) are left
// out before any record is matched by path, and the stored records are
// screened (see screenStoredFiles, the records bound to kept items winning
// among records of one path) before any item takes an id by path, so that
// no item takes the identity of a record the computation does not see.
//
// The items are taken over and given back in `diskFiles` and `twins`: the
// identities are written into them, never into anything else. Linear in
// the sizes of both views; `bound` is the only I/O and may be empty.
// `stamps` holds the scan's change stamp of each scanned item, in the same
// order, or nothing; taken over, and let go once the bindings are read.
[[nodiscard]] ResolvedViews resolveIdentities(std::vector<std::shared_ptr<FileWrapperItem>> scanned,
    const std::vector<FileRef>& storedFiles, std::int64_t rootFolderID, const BindingLookup& bound,
    std::vector<Platform::ChangeStamp> stamps = {});

} // namespace Sync
