#pragma once

#include "Platform/Database/DatabaseObject.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

namespace Sync {

// The stored sync status of one item: a row of the database table
// "FileStatus" (the object type's name in the file; never rename it).
struct FileStatus {
    // Primary key: the item's `realmIdentifierPath`, an absolute path in NFC.
    std::string filePath;
    // The FileSyncStatus raw value; numbers outside 0 to 3 read as unknown.
    std::int64_t status = 0;

    static constexpr std::string_view objectTypeName = "FileStatus";
    static constexpr auto properties()
    {
        return std::tuple { Platform::DatabaseProperty { "filePath", &FileStatus::filePath },
            Platform::DatabaseProperty { "status", &FileStatus::status } };
    }
};

} // namespace Sync
