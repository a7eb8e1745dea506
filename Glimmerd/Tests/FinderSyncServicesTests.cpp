#include "Glimmerd/FinderSync/ExtensionDatabase.hpp"
#include "Glimmerd/FinderSync/SharedCloudFolderSettings.hpp"
#include "Platform/Database/CloudDatabaseSchema.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Reactive/Schedulers/ImmediateScheduler.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using Platform::Testing::readFile;
using Platform::Testing::writeFile;

// "CloudFolderURL" is read afresh each time; a missing or malformed file, or
// a value that is no text, reads as nothing and is left as it is.
TEST(SharedCloudFolderSettingsTests, ReadsOnlyTheFolderAndNeverFails)
{
    Platform::Testing::TemporaryDirectory directory;
    auto file = directory / "defaults.json";
    Glimmerd::SharedCloudFolderSettings settings(file);
    EXPECT_FALSE(settings.cloudFolderURL());
    writeFile(file, "{\"CloudFolderURL\": \"/home/a/brisanto cloud\", \"EnableSync\": true}");
    EXPECT_EQ(settings.cloudFolderURL(), "/home/a/brisanto cloud");
    writeFile(file, "{\"CloudFolderURL\": 7}");
    EXPECT_FALSE(settings.cloudFolderURL());
    writeFile(file, "{not json");
    EXPECT_FALSE(settings.cloudFolderURL());
    EXPECT_EQ(readFile(file), "{not json");
    EXPECT_FALSE(std::filesystem::exists(directory / "defaults.json.corrupt"));
}

// The extension's database access never creates or changes a file: a missing
// or empty file stays as it was, a file that is no database is left intact,
// and the application's database is read once it is there.
TEST(ExtensionDatabaseTests, ReadsWithoutWriting)
{
    Platform::Testing::TemporaryDirectory directory;
    auto file = directory / "Cloud.realm";
    auto factory = Glimmerd::readOnlyDatabaseFactory(file);
    auto store = Sync::RealmFileSyncStatusStore(factory, Reactive::ImmediateScheduler::shared());
    auto url = Platform::URL::fileURL("/c/a.txt");

    EXPECT_FALSE(Glimmerd::isDatabaseReadable(factory));
    EXPECT_EQ(store.status(url), Sync::FileSyncStatus::unknown);
    EXPECT_FALSE(store.hasSyncingFiles());
    EXPECT_FALSE(std::filesystem::exists(file));

    writeFile(file, "");
    EXPECT_FALSE(Glimmerd::isDatabaseReadable(factory));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);

    writeFile(file, "no database at all");
    EXPECT_EQ(store.status(url), Sync::FileSyncStatus::unknown);
    EXPECT_EQ(readFile(file), "no database at all");

    std::filesystem::remove(file);
    auto application = Sync::RealmFileSyncStatusStore(
        Platform::Database::factory(Platform::cloudDatabaseConfiguration(file)), Reactive::ImmediateScheduler::shared());
    application.setStatus(url, Sync::FileSyncStatus::error);
    EXPECT_TRUE(Glimmerd::isDatabaseReadable(factory));
    EXPECT_EQ(store.status(url), Sync::FileSyncStatus::error);
}
