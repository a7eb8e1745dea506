#pragma once

// Two object types as plain test structs, the schema of their tables, and the
// temporary directory every test works in.

#include "Platform/Database/DatabaseConfiguration.hpp"
#include "Platform/Database/DatabaseObject.hpp"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>

namespace Platform::DatabaseTesting {

struct StoredFile {
    std::int64_t remoteFileID = 0;
    std::string path;
    DatabaseBlob fileData;

    static constexpr std::string_view objectTypeName = "FileWrapper";
    static constexpr auto properties()
    {
        return std::tuple {DatabaseProperty {"remoteFileID", &StoredFile::remoteFileID},
            DatabaseProperty {"path", &StoredFile::path}, DatabaseProperty {"fileData", &StoredFile::fileData}};
    }
    bool operator==(const StoredFile&) const = default;
};

struct StoredStatus {
    std::string filePath;
    std::int64_t status = 0;

    static constexpr std::string_view objectTypeName = "FileStatus";
    static constexpr auto properties()
    {
        return std::tuple {DatabaseProperty {"filePath", &StoredStatus::filePath},
            DatabaseProperty {"status", &StoredStatus::status}};
    }
    bool operator==(const StoredStatus&) const = default;
};

// A fresh private directory, removed with everything in it at the end.
class TemporaryDirectory {
public:
    TemporaryDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvella-database-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TemporaryDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The version of the tests' schema; a file of another version is refused.
inline constexpr std::int64_t testSchemaVersion = 2;

// The tables of StoredFile and StoredStatus, with an index on the status as
// the queries of "what is below this path with that status" want it.
inline DatabaseSchema testSchema()
{
    return DatabaseSchema {testSchemaVersion,
        {"CREATE TABLE FileWrapper (remoteFileID INTEGER PRIMARY KEY NOT NULL DEFAULT 0, "
         "path TEXT NOT NULL DEFAULT '', fileData BLOB NOT NULL DEFAULT x'') STRICT;",
            "CREATE TABLE FileStatus (filePath TEXT PRIMARY KEY NOT NULL DEFAULT '', "
            "status INTEGER NOT NULL DEFAULT 0) STRICT, WITHOUT ROWID;"
            "CREATE INDEX FileStatusByStatus ON FileStatus (status, filePath);"}};
}

inline DatabaseConfiguration testConfiguration(std::filesystem::path file)
{
    DatabaseConfiguration configuration;
    configuration.file = std::move(file);
    configuration.schema = testSchema();
    return configuration;
}

inline DatabaseConfiguration testConfiguration(const TemporaryDirectory& directory)
{
    return testConfiguration(directory.path() / "Cloud.realm");
}

// Waits until `condition` holds or `timeout` has passed; the last answer of `condition`.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace Platform::DatabaseTesting
