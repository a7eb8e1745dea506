#pragma once

#include "Orvella/Settings/CloudUserDefaults.hpp"
#include "Orvella/Settings/SettingsManager.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// A private home with its own XDG folders, the shared suite in a group folder
// below it, the autostart folder and the sidebar bookmarks, and both of the
// settings manager's queues in virtual time.
class SettingsFixture : public ::testing::Test {
protected:
    SettingsFixture()
    {
        if (const char* home = std::getenv("HOME"))
            m_oldHome = home;
        if (const char* config = std::getenv("XDG_CONFIG_HOME"))
            m_oldConfig = config;
        ::setenv("HOME", m_home.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_home / ".config").c_str(), 1);
        m_defaults = openSuite();
    }

    ~SettingsFixture() override
    {
        restore("HOME", m_oldHome);
        restore("XDG_CONFIG_HOME", m_oldConfig);
    }

    std::shared_ptr<Platform::UserDefaults> openSuite()
    {
        auto suite = Platform::UserDefaults::open(groupFolder());
        EXPECT_TRUE(suite.has_value());
        CloudUserDefaults::registerCloudDefaults(**suite);
        return *suite;
    }

    std::filesystem::path groupFolder() const { return std::filesystem::path(m_home.path()) / "group"; }
    std::filesystem::path autostartFolder() const { return std::filesystem::path(m_home.path()) / ".config/autostart"; }
    std::filesystem::path bookmarksFile() const { return std::filesystem::path(m_home.path()) / ".config/gtk-3.0/bookmarks"; }

    Platform::URL programURL() const
    {
        return Platform::URL::fileURL(std::filesystem::read_symlink("/proc/self/exe").string());
    }

    SettingsManagerContext context()
    {
        return SettingsManagerContext {
            .mainQueue = m_mainQueue,
            .cloudFolderQueue = m_cloudFolderQueue,
            .loginItems = LoginItemList {
                .folder = autostartFolder(),
                .applicationIdentifier = "de.orvella.test",
                .applicationName = "Orvella",
                .applicationURL = programURL(),
            },
            .sidebar = Platform::SidebarBookmarks(bookmarksFile()),
        };
    }

    std::shared_ptr<SettingsManager> makeManager() { return SettingsManager::create(m_brand, m_defaults, context()); }

    // Runs both queues until neither has work left.
    void drain()
    {
        for (int round = 0; round < 100 && (m_mainQueue->pendingCount() || m_cloudFolderQueue->pendingCount()); ++round) {
            m_cloudFolderQueue->run();
            m_mainQueue->run();
        }
    }

    // The keys the settings file holds (registered defaults are never written).
    nlohmann::json storedFile() const
    {
        std::ifstream file(groupFolder() / "defaults.json");
        if (!file)
            return nlohmann::json::object();
        return nlohmann::json::parse(file);
    }

    std::vector<std::string> storedKeys() const
    {
        std::vector<std::string> keys;
        auto file = storedFile();
        for (auto& [key, value] : file.items())
            keys.push_back(key);
        return keys;
    }

    std::vector<std::filesystem::path> autostartEntries() const
    {
        std::vector<std::filesystem::path> entries;
        std::error_code error;
        for (auto& entry : std::filesystem::directory_iterator(autostartFolder(), error))
            if (entry.path().extension() == ".desktop")
                entries.push_back(entry.path());
        return entries;
    }

    Platform::Testing::TemporaryDirectory m_home;
    BrisantoClientConfiguration m_brand;
    std::shared_ptr<Platform::UserDefaults> m_defaults;
    std::shared_ptr<Reactive::TestScheduler> m_mainQueue = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<Reactive::TestScheduler> m_cloudFolderQueue = std::make_shared<Reactive::TestScheduler>();

private:
    static void restore(const char* name, const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

    std::optional<std::string> m_oldHome;
    std::optional<std::string> m_oldConfig;
};

} // namespace Orvella
