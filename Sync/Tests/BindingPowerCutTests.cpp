// What the engine placed and recorded keeps its binding through a power cut:
// on the power-cut file system with extended attributes durable only once
// their item was synced, a binding written after the item's sync is gone
// after the cut while the record stays.

#include "Platform/FileSystem/TestSupport/PowerCutMount.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Sync/References/ExtendedAttributes.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <optional>

using namespace Sync;
using namespace Sync::Testing;
using Platform::Testing::PowerCutMount;
using Platform::Testing::TemporaryDirectory;

namespace {

// The remote id the attribute on the item at `path` binds it to, read as a scan reads it.
std::optional<std::int64_t> boundID(const TestCloud& cloud, const std::string& path)
{
    auto binding = QVExtendedAttributeValueAtPath(path, extendedAttributeName(),
        cloud.diskPath(std::string(withoutTrailingSlash(path))), *Platform::ExtendedAttributes::system());
    if (!binding)
        return std::nullopt;
    return binding->remoteFileId;
}

} // namespace

TEST(BindingPowerCut, WhatADownloadRunRecordedIsStillBoundAfterAPowerCut)
{
    // A first sync down (a new folder with files), a replacing download and a
    // folder that was already on disk; then the power goes. Every item the
    // store holds a record of is bound on disk to the record's id, and the
    // next run finds nothing to do.
    TemporaryDirectory base;
    auto mount = PowerCutMount::mount(base.path(), PowerCutMount::Model::strictAttributes);
    if (!mount && mount.error().unavailable)
        GTEST_SKIP() << mount.error().message;
    ASSERT_TRUE(mount) << mount.error().message;
    const auto directory = mount->durableFolder("engine").string();
    // The cloud folder, and a folder in it, were on the disk long before.
    static_cast<void>(mount->durableFolder("engine/Cloud/Schon da"));

    auto server = std::make_shared<InMemorySyncServer>();
    const auto folderID = server->addFolder("/Neu/");
    const auto firstID = server->addFile("/Neu/erste.txt", "eins");
    const auto secondID = server->addFile("/Neu/zweite.txt", "zwei");
    const auto existingID = server->addFolder("/Schon da/");
    server->addFile("/Schon da/drin.txt", "drin");
    {
        TestCloud cloud(directory, server);
        cloud.keepDirectory();
        ASSERT_TRUE(cloud.sync().completed);
        // The database file's name is the user's long-standing state too (the
        // store syncs its content, not the folder it made it in).
        static_cast<void>(mount->durableFolder("engine"));
        server->setContent("/Neu/zweite.txt", "zwei, neu");
        ASSERT_TRUE(cloud.sync().completed);
        EXPECT_EQ(cloud.readFile("/Neu/zweite.txt"), "zwei, neu");
    }
    ASSERT_TRUE(mount->cutAndRemount());

    TestCloud cloud(directory, server);
    cloud.keepDirectory();
    // The records survived the cut (the store syncs every transaction).
    EXPECT_EQ(cloud.storedPaths(), (std::vector<std::string> { "/Neu/", "/Neu/erste.txt", "/Neu/zweite.txt",
                                       "/Schon da/", "/Schon da/drin.txt" }));
    EXPECT_EQ(boundID(cloud, "/Neu/"), folderID);
    EXPECT_EQ(boundID(cloud, "/Neu/erste.txt"), firstID);
    EXPECT_EQ(boundID(cloud, "/Neu/zweite.txt"), secondID);
    EXPECT_EQ(boundID(cloud, "/Schon da/"), existingID);
    EXPECT_TRUE(boundID(cloud, "/Schon da/drin.txt"));
    EXPECT_EQ(cloud.readFile("/Neu/zweite.txt"), "zwei, neu");
    expectIdle(cloud);
    expectInStep(cloud);
}
