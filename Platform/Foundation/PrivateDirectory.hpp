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

} // namespace Platform
