#pragma once

#include "Platform/Database/DatabaseConfiguration.hpp"

#include <filesystem>

namespace Sync {

// The schema version of the shared cloud database, the same in the application and the extension.
inline constexpr std::int64_t cloudDatabaseSchemaVersion = 2;

// The tables of the shared cloud database ("FileWrapper", "FileStatus" and the
// index on the status), built from Sync/Store/Schema/*.sql.
Platform::DatabaseSchema cloudDatabaseSchema();

// The configuration of the shared cloud database at `file`, with the default time-outs.
Platform::DatabaseConfiguration cloudDatabaseConfiguration(std::filesystem::path file);

} // namespace Sync
