#pragma once

#include "Glimmerd/Tests/GlimmerdProcess.hpp"
#include "Glimmerd/Tests/HostTestSupport.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace GlimmerdTesting {

// A group directory, a runtime directory and a cloud folder holding a.txt,
// err.txt, new.txt and Docs/b.txt; the test application; glimmerd once started.
// `writeDatabase` records a.txt (remote 42, up to date) and Docs (remote 43,
// up to date), err.txt as an error and Docs/b.txt as syncing; new.txt stays unknown.
class GlimmerdFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        group = directory / "group";
        runtime = directory / "run";
        cloud = directory / "brisanto cloud";
        mkdir(group.c_str(), 0700);
        mkdir(runtime.c_str(), 0700);
        std::filesystem::create_directories(cloud + "/Docs");
        for (auto name : { "a.txt", "err.txt", "new.txt", "Docs/b.txt" })
            Platform::Testing::writeFile(cloud + "/" + name, "x");
        application = std::make_unique<TestApplication>(group);
    }

    void writeSettings()
    {
        auto defaults = Platform::UserDefaults::open(group);
        ASSERT_TRUE(defaults);
        ASSERT_TRUE((*defaults)->set("CloudFolderURL", cloud));
    }

    void writeDatabase()
    {
        auto parent = Sync::SyncFileID::remote(1);
        application->fileStore->add(Sync::FileWrapperItem({ .syncFileID = Sync::SyncFileID::remote(42), .path = "/a.txt",
            .fileName = "a.txt", .syncParentID = parent }));
        application->fileStore->add(Sync::FileWrapperItem({ .syncFileID = Sync::SyncFileID::remote(43), .path = "/Docs/",
            .fileName = "Docs", .syncParentID = parent, .type = Sync::FileType::folder() }));
        application->statusStore->setStatus(item("a.txt"), Sync::FileSyncStatus::upToDate);
        application->statusStore->setStatus(item("err.txt"), Sync::FileSyncStatus::error);
        application->statusStore->setStatus(item("Docs"), Sync::FileSyncStatus::upToDate);
        application->statusStore->setStatus(item("Docs/b.txt"), Sync::FileSyncStatus::syncing);
    }

    // The usual start: settings, database and a running application, then glimmerd observing the folder.
    void start()
    {
        writeSettings();
        writeDatabase();
        application->launch();
        glimmerd = std::make_unique<GlimmerdProcess>(group, runtime);
        ASSERT_TRUE(glimmerd->waitUntilServing());
        ASSERT_TRUE(waitFor([&] { return ctl({ "observed" }).output == cloud + "\n"; }, std::chrono::seconds(20)))
            << glimmerd->log();
    }

    ProgramResult ctl(std::vector<std::string> arguments) { return glimmerctl(*glimmerd, std::move(arguments)); }
    Platform::URL item(const std::string& relative) const { return Platform::URL::fileURL(cloud + "/" + relative); }

    Platform::Testing::TemporaryDirectory directory;
    std::string group, runtime, cloud;
    std::unique_ptr<TestApplication> application;
    std::unique_ptr<GlimmerdProcess> glimmerd;
};

} // namespace GlimmerdTesting
