#pragma once

#include <expected>
#include <filesystem>
#include <string>

namespace LocalCloud {

// Makes the service's data folder, or takes an existing one, private to the
// user running the service: the folder and every folder in it 0700, every
// file (database, its journals, contents, partial uploads) 0600. The database
// file is made 0600 before SQLite first opens it, because SQLite gives its
// journal files the database file's mode. Symbolic links are left alone and
// not followed.
[[nodiscard]] std::expected<void, std::string> makeDataFolderPrivate(const std::filesystem::path& folder);

// Makes the data folder's entries durable: the folders in it, the folder
// itself and its entry in its parent. A new database file or content folder
// whose name is not yet on the disk would vanish with a power cut, taking
// every answered change with it.
[[nodiscard]] std::expected<void, std::string> syncDataFolder(const std::filesystem::path& folder);

} // namespace LocalCloud
