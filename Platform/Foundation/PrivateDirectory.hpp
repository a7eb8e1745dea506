#pragma once

#include <expected>
#include <filesystem>
#include <string>

namespace Platform {

// Whether `directory` may hold what only this user should read or place:
// a real directory (no symbolic link) owned by this user that no one else
// may write to. Fails with a German text that names the folder and the reason,
// for a log line; nothing is changed.
[[nodiscard]] std::expected<void, std::string> checkOwnDirectory(const std::filesystem::path& directory);

// Creates `directory` (and missing parents) with mode 0700 when missing,
// takes write access from others on the user's own folder, then checks it as
// `checkOwnDirectory` does: a folder another user made first, or a link to
// one, is refused rather than used.
[[nodiscard]] std::expected<void, std::string> makeOwnDirectory(const std::filesystem::path& directory);

// Takes every access of the group and of others away from `path` when it is
// this user's own folder or regular file (a symbolic link is not followed):
// what was made readable to all by an earlier version or a wide umask becomes
// the user's alone. A missing entry, a link or another user's entry is left as
// it is. Fails with a German text only when the mode cannot be changed.
[[nodiscard]] std::expected<void, std::string> narrowToOwner(const std::filesystem::path& path);

} // namespace Platform
