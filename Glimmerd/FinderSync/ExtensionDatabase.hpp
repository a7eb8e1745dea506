#pragma once

#include "Platform/Database/Database.hpp"

#include <filesystem>

namespace Glimmerd {

// The extension's access to the application's database: it only reads. A
// missing or empty file is not created (the application creates it with its
// schema); opening fails with `cannotOpen` until the file is there.
[[nodiscard]] Platform::DatabaseFactory readOnlyDatabaseFactory(std::filesystem::path file);

// Whether `factory` opens a database now.
[[nodiscard]] bool isDatabaseReadable(const Platform::DatabaseFactory& factory);

} // namespace Glimmerd
