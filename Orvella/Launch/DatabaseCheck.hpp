#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace Orvella {

// Why the shared database at `file` cannot be used (SQLite's own words), or
// nothing when it opens and passes `PRAGMA quick_check`. The check writes
// nothing and creates no file.
[[nodiscard]] std::optional<std::string> databaseDefect(const std::filesystem::path& file);

// Deletes a lost database with its "-wal" and "-shm" files, which SQLite would
// otherwise replay into the new database made under the same name.
void removeLostDatabase(const std::filesystem::path& file);

} // namespace Orvella
