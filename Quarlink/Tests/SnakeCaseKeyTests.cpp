// The key rule that turns field names into the wire's snake-case keys.

#include "Quarlink/Coding/SnakeCaseKey.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

TEST(SnakeCaseKey, fieldNamesOfTheSystem)
{
    // The request fields reach the wire under these names.
    const std::vector<std::pair<const char*, const char*>> table {
        { "fileIDs", "file_ids" }, { "destinationFolderID", "destination_folder_id" },
        { "targetParentFolderID", "target_parent_folder_id" }, { "targetFolderName", "target_folder_name" },
        { "shareID", "share_id" }, { "validTo", "valid_to" }, { "newName", "new_name" },
        { "parentFileID", "parent_file_id" }, { "createdDate", "created_date" },
        { "lastModifiedDate", "last_modified_date" }, { "contentType", "content_type" },
        { "fileURL", "file_url" }, { "isPublic", "is_public" }, { "numberOfBytes", "number_of_bytes" },
        { "lastAttemptFailed", "last_attempt_failed" }, { "mimeType", "mime_type" },
        { "type", "type" }, { "code", "code" }, { "hash", "hash" }, { "world", "world" }, { "password", "password" },
    };
    for (const auto& [field, wire] : table)
        EXPECT_EQ(snakeCaseKey(field), wire) << field;
}

TEST(SnakeCaseKey, runsOfCapitals)
{
    // A run of capitals before a lowercase letter gives its last capital to the next word; a final run stays one word.
    EXPECT_EQ(convertToSnakeCase("aBCdef"), "a_b_cdef");
    EXPECT_EQ(convertToSnakeCase("fileIDs"), "file_i_ds");
    EXPECT_EQ(convertToSnakeCase("userABC"), "user_abc");
    EXPECT_EQ(snakeCaseKey("thumbnailURL"), "thumbnail_url");
    EXPECT_EQ(snakeCaseKey("fileURLs"), "file_urls");
}

TEST(SnakeCaseKey, edgeCases)
{
    // Empty keys stay empty, keys without capitals are unchanged, and the first character never starts a word.
    EXPECT_EQ(convertToSnakeCase(""), "");
    EXPECT_EQ(convertToSnakeCase("already_snake"), "already_snake");
    EXPECT_EQ(convertToSnakeCase("Upper"), "upper");
    EXPECT_EQ(convertToSnakeCase("aB"), "a_b");
    EXPECT_EQ(convertToSnakeCase("file2Name"), "file2_name");
}

TEST(SnakeCaseKey, unicodeCapitalsStartWords)
{
    // Capitals outside ASCII start words and are lower-cased fully.
    EXPECT_EQ(convertToSnakeCase("größeÄnderung"), "größe_änderung");
    EXPECT_EQ(convertToSnakeCase("xİy"), "x_i\xCC\x87y");
}

TEST(SnakeCaseKey, askedAgainAnswersTheSame)
{
    // Keys asked for again, by the thousand and in any order, keep their own wire names.
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(snakeCaseKey("fileURL"), "file_url");
        EXPECT_EQ(snakeCaseKey("fileIDs"), "file_ids");
        EXPECT_EQ(snakeCaseKey("fileID"), "file_id");
        for (int index = 0; index < 2000; ++index) {
            const auto number = std::to_string(index);
            ASSERT_EQ(snakeCaseKey("keyNumber" + number + "ForURL"), "key_number" + number + "_for_url") << round;
        }
    }
}
