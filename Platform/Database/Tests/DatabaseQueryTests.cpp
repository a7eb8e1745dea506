#include "Platform/Database/Database.hpp"
#include "Platform/Database/Tests/TestObjects.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Platform;
using namespace Platform::DatabaseTesting;

namespace {

class DatabaseQueryTests : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto opened = Database::open(testConfiguration(m_directory));
        ASSERT_TRUE(opened) << opened.error().description();
        m_database.emplace(std::move(*opened));
    }

    void addStatuses(const std::vector<StoredStatus>& rows)
    {
        auto written = m_database->write([&]() -> std::expected<void, DatabaseError> {
            for (const auto& row : rows) {
                if (auto added = m_database->add(row); !added)
                    return added;
            }
            return {};
        });
        ASSERT_TRUE(written) << written.error().description();
    }

    std::vector<std::string> pathsWithPrefix(const std::string& prefix, std::optional<std::int64_t> status = {})
    {
        auto query = DatabaseQuery::hasPrefix("filePath", prefix);
        if (status)
            query = query && DatabaseQuery::equal("status", *status);
        auto rows = m_database->objects<StoredStatus>(query);
        EXPECT_TRUE(rows) << rows.error().description();
        std::vector<std::string> paths;
        for (const auto& row : rows.value_or(std::vector<StoredStatus> {}))
            paths.push_back(row.filePath);
        return paths;
    }

    TemporaryDirectory m_directory;
    std::optional<Database> m_database;
};

} // namespace

TEST_F(DatabaseQueryTests, primaryKeyColumnAndUpsert)
{
    // Lookups by key and by column find exactly the matching rows; add replaces the row with the same key.
    addStatuses({{"/b", 1}, {"/a", 2}, {"/c", 1}});
    addStatuses({{"/a", 0}});

    auto a = m_database->object<StoredStatus>(std::string("/a"));
    ASSERT_TRUE(a && a->has_value());
    EXPECT_EQ((*a)->status, 0);
    EXPECT_FALSE(m_database->object<StoredStatus>(std::string("/A"))->has_value()) << "keys are case-sensitive";
    EXPECT_EQ(*m_database->count<StoredStatus>(), 3);

    auto syncing = m_database->objects<StoredStatus>(DatabaseQuery::equal("status", std::int64_t {1}));
    ASSERT_TRUE(syncing);
    EXPECT_EQ(*syncing, (std::vector<StoredStatus> {{"/b", 1}, {"/c", 1}}));
    EXPECT_EQ(m_database->objects<StoredStatus>(DatabaseQuery::all(), 2)->size(), 2u);

    auto updated = m_database->write([&]() -> std::expected<void, DatabaseError> {
        auto changed = m_database->update<StoredStatus>("status", std::int64_t {0},
            DatabaseQuery::equal("status", std::int64_t {1}));
        if (!changed)
            return std::unexpected(changed.error());
        EXPECT_EQ(*changed, 2);
        auto removed = m_database->remove<StoredStatus>(std::string("/b"));
        EXPECT_TRUE(removed && *removed);
        auto again = m_database->remove<StoredStatus>(std::string("/b"));
        EXPECT_TRUE(again && !*again);
        return {};
    });
    ASSERT_TRUE(updated);
    EXPECT_FALSE(*m_database->exists<StoredStatus>(DatabaseQuery::equal("status", std::int64_t {1})));
    EXPECT_EQ(*m_database->count<StoredStatus>(), 2);
}

TEST_F(DatabaseQueryTests, prefixIsLiteralCaseSensitiveAndStopsAtTheSeparator)
{
    // "%" and "_" in a prefix match only themselves, letter case counts, and a folder prefix with "/" excludes siblings.
    addStatuses({{"/c/%", 1}, {"/c/%x", 1}, {"/c/abc", 1}, {"/c/_", 1}, {"/c/a_c", 1}, {"/c/A/x", 1},
        {"/c/a/x", 1}, {"/c/ab", 1}, {"/c/a", 0}, {"/c/ä/x", 1}, {"/d/a/x", 1}});

    EXPECT_EQ(pathsWithPrefix("/c/%"), (std::vector<std::string> {"/c/%", "/c/%x"}));
    EXPECT_EQ(pathsWithPrefix("/c/_"), (std::vector<std::string> {"/c/_"}));
    EXPECT_EQ(pathsWithPrefix("/c/a_"), (std::vector<std::string> {"/c/a_c"}));
    EXPECT_EQ(pathsWithPrefix("/c/a/"), (std::vector<std::string> {"/c/a/x"}));
    EXPECT_EQ(pathsWithPrefix("/c/A/"), (std::vector<std::string> {"/c/A/x"}));
    EXPECT_EQ(pathsWithPrefix("/c/ä/"), (std::vector<std::string> {"/c/ä/x"}));
    EXPECT_EQ(pathsWithPrefix("/c/a", 0), (std::vector<std::string> {"/c/a"}));
    EXPECT_TRUE(pathsWithPrefix("/c/x").empty());
    EXPECT_EQ(pathsWithPrefix("").size(), 11u);
}

TEST_F(DatabaseQueryTests, membershipHandlesTenThousandKeysAndAwkwardText)
{
    // One membership query with 10,000 keys (more than SQLite's bound-variable limit) finds exactly the stored ones, quotes and control characters included.
    std::vector<StoredStatus> rows;
    for (int index = 0; index < 12000; index += 2)
        rows.push_back({"/f/" + std::to_string(index), index % 4 == 0 ? 1 : 2});
    rows.push_back({"/f/\"quoted\" \\ \n\t", 1});
    addStatuses(rows);

    std::vector<DatabaseValue> keys;
    for (int index = 0; index < 10000; ++index)
        keys.emplace_back("/f/" + std::to_string(index));
    keys.emplace_back(std::string("/f/\"quoted\" \\ \n\t"));
    auto found = m_database->objects<StoredStatus>(DatabaseQuery::isIn("filePath", keys));
    ASSERT_TRUE(found) << found.error().description();
    EXPECT_EQ(found->size(), 5001u);
    EXPECT_TRUE(std::any_of(found->begin(), found->end(),
        [](const StoredStatus& row) { return row.filePath == "/f/\"quoted\" \\ \n\t"; }));

    auto syncing = m_database->count<StoredStatus>(
        DatabaseQuery::isIn("filePath", keys) && DatabaseQuery::equal("status", std::int64_t {1}));
    ASSERT_TRUE(syncing);
    EXPECT_EQ(*syncing, 2501);

    auto empty = m_database->objects<StoredStatus>(DatabaseQuery::isIn("filePath", {}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    std::vector<DatabaseValue> ids {std::int64_t {3}, std::int64_t {5}};
    auto written = m_database->write([&]() -> std::expected<void, DatabaseError> {
        for (std::int64_t id = 1; id <= 5; ++id) {
            // Appending instead of "/" + to_string keeps g++ 12's false -Wrestrict quiet.
            std::string path = "/";
            path += std::to_string(id);
            if (auto added = m_database->add(StoredFile {id, path, {}}); !added)
                return added;
        }
        return {};
    });
    ASSERT_TRUE(written);
    EXPECT_EQ(*m_database->count<StoredFile>(DatabaseQuery::isIn("remoteFileID", ids)), 2);
}

TEST_F(DatabaseQueryTests, unusableColumnsAndValuesAreRefused)
{
    // A column that is not a plain identifier, or bytes in a membership list, fail as invalidQuery instead of reaching SQL.
    auto injected = m_database->objects<StoredStatus>(DatabaseQuery::equal("status\" OR 1=1 --", std::int64_t {1}));
    ASSERT_FALSE(injected);
    EXPECT_EQ(injected.error().code(), DatabaseError::Code::invalidQuery);
    auto bytes = m_database->count<StoredStatus>(DatabaseQuery::isIn("filePath", {DatabaseBlob {1, 2}}));
    ASSERT_FALSE(bytes);
    EXPECT_EQ(bytes.error().code(), DatabaseError::Code::invalidQuery);
}
