#include "Glimmerd/FinderSync/ExtensionDatabase.hpp"

#include "Platform/Database/CloudDatabaseSchema.hpp"

#include <sys/stat.h>

namespace Glimmerd {

Platform::DatabaseFactory readOnlyDatabaseFactory(std::filesystem::path file)
{
    auto open = Platform::Database::factory(Platform::cloudDatabaseConfiguration(file));
    return [open, file]() -> std::expected<Platform::Database, Platform::DatabaseError> {
        // Opening an absent or empty file would create the schema in it: a
        // write the extension must never make.
        struct stat status { };
        if (stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0)
            return std::unexpected(Platform::DatabaseError(Platform::DatabaseError::Code::cannotOpen,
                "Die Datenbank " + file.string() + " ist (noch) nicht vorhanden."));
        return open();
    };
}

bool isDatabaseReadable(const Platform::DatabaseFactory& factory)
{
    return factory().has_value();
}

} // namespace Glimmerd
