// Writes to a cloud database from a separate process for the database tests.
//
//   DatabaseTestWriter <file> commit <filePath> <status>
//       commits one FileStatus row and exits.
//   DatabaseTestWriter <file> crash <rows>
//       commits <rows> FileWrapper rows, then opens a large write transaction,
//       prints "ready" once its uncommitted pages reach the WAL file, and keeps
//       inserting until it is killed.

#include "Platform/Database/Database.hpp"
#include "Platform/Database/Tests/TestObjects.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace Platform;
using namespace Platform::DatabaseTesting;

namespace {

int fail(const std::string& what)
{
    std::cerr << "❗️ DatabaseTestWriter: " << what << '\n';
    return 1;
}

int commitStatus(Database& database, const std::string& filePath, std::int64_t status)
{
    auto written = database.write([&] { return database.add(StoredStatus {filePath, status}); });
    return written ? 0 : fail(written.error().description());
}

int crashInTransaction(Database& database, std::int64_t committedRows)
{
    DatabaseBlob payload(4096, 0xAB);
    auto committed = database.write([&]() -> std::expected<void, DatabaseError> {
        for (std::int64_t id = 1; id <= committedRows; ++id) {
            if (auto added = database.add(StoredFile {id, "/committed/" + std::to_string(id), payload}); !added)
                return added;
        }
        return {};
    });
    if (!committed)
        return fail(committed.error().description());
    // A small page cache makes SQLite spill uncommitted pages into the WAL
    // file long before the commit, which is what a crash must not expose.
    if (auto small = database.execute("PRAGMA cache_size = 16"); !small)
        return fail(small.error().description());
    if (auto begun = database.beginWrite(); !begun)
        return fail(begun.error().description());
    for (std::int64_t id = committedRows + 1;; ++id) {
        if (auto added = database.add(StoredFile {id, "/uncommitted/" + std::to_string(id), payload}); !added)
            return fail(added.error().description());
        if (id == committedRows + 2000) {
            std::cout << "ready" << std::endl;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return fail("usage: DatabaseTestWriter <file> commit <filePath> <status> | crash <rows>");
    auto database = Database::open(testConfiguration(argv[1]));
    if (!database)
        return fail(database.error().description());
    std::string mode = argv[2];
    if (mode == "commit" && argc == 5)
        return commitStatus(*database, argv[3], std::strtoll(argv[4], nullptr, 10));
    if (mode == "crash")
        return crashInTransaction(*database, std::strtoll(argv[3], nullptr, 10));
    return fail("unknown mode " + mode);
}
