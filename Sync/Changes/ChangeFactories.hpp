#pragma once

#include "Sync/Changes/Change.hpp"

namespace Sync {

// The only way the engine forms changes. Each factory checks the identities
// of the file it is given, in the order listed, and answers Change::invalid()
// when the combination cannot be carried out; it never fails or logs. The
// result holds the very files passed in. None takes a null file.

// Upload: the file's id is local and its parent's id is remote.
[[nodiscard]] Change remoteCreate(FileRef file);
// Delete on the server: the file's id is remote.
[[nodiscard]] Change remoteDelete(FileRef file);
// Move or rename on the server: `to` has a remote id and a remote parent id
// (`from` is not examined).
[[nodiscard]] Change remoteMove(FileRef from, FileRef to);
// Upload the content again: the file's id and its parent's id are remote.
[[nodiscard]] Change remoteUpdate(FileRef file);
// Download: the file's id is remote.
[[nodiscard]] Change localCreate(FileRef file);
// Delete on disk: always valid.
[[nodiscard]] Change localDelete(FileRef file);
// Move or rename on disk: always valid.
[[nodiscard]] Change localMove(FileRef from, FileRef to);
// Download the content again: the file's id is remote and it is no folder.
[[nodiscard]] Change localUpdate(FileRef file);
// Update the stored metadata: the file's id is remote.
[[nodiscard]] Change localUpdateMetaData(FileRef file);

} // namespace Sync
