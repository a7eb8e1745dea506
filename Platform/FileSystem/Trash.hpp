#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"

#include <expected>
#include <string>

namespace Platform {

// Where a trashed item went.
struct TrashedItem {
    std::string trashedPath;  // the item inside the trash's files/ directory
    std::string infoPath;     // its .trashinfo file inside info/
};

// Moves items to the Trash as the freedesktop.org Trash specification lays it
// out, so file managers list and restore them:
// - an item on the same file system as the home trash goes to
//   $XDG_DATA_HOME/Trash (default ~/.local/share/Trash) with an absolute Path;
// - an item on another file system goes to the trash at the top of its mount,
//   $topdir/.Trash/$uid when an administrator made a sticky, non-link .Trash,
//   else $topdir/.Trash-$uid, with a Path relative to $topdir.
// The name in files/ is made unique by reserving the .trashinfo file with an
// exclusive create first ("a.txt", then "a.2.txt", "a.3.txt", …), and the item
// is moved without ever replacing anything. Nothing is copied across file
// systems: when no trash on the item's file system can be used, the item stays
// and the error says why. The environment is read on every call.
// Synchronous; safe to call from several threads at once.
class Trash {
public:
    [[nodiscard]] static std::expected<TrashedItem, FileSystemError> moveToTrash(const std::string& path);
};

}  // namespace Platform
