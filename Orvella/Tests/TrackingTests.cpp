#include "Orvella/InfoPlistTools/InfoPlistTools.hpp"
#include "Orvella/Tracking/HockeyTrackingManager.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>

using namespace Orvella;
using Platform::Testing::TemporaryDirectory;

namespace {

struct Tracking {
    TemporaryDirectory state;
    Reactive::MutableProperty<bool> enabled;
    std::shared_ptr<Reactive::MutableProperty<bool>> installTracked = std::make_shared<Reactive::MutableProperty<bool>>(false);
    std::shared_ptr<BITMetricsManager> metrics = std::make_shared<BITMetricsManager>(std::filesystem::path(state / "de.orvella.tests/usage.log"));
    std::shared_ptr<BITHockeyManager> hockey = std::make_shared<BITHockeyManager>(metrics);
    HockeyTrackingManager manager { enabled, installTracked, hockey };

    explicit Tracking(bool trackingOn) : enabled(trackingOn) { }

    std::vector<std::string> events() const
    {
        std::vector<std::string> names;
        std::istringstream lines(Platform::Testing::readFile(metrics->logFile()));
        for (std::string line; std::getline(lines, line);)
            names.push_back(nlohmann::json::parse(line)["event"].get<std::string>());
        return names;
    }
};

std::size_t count(const Platform::LogCapture& log, std::string_view text)
{
    std::size_t result = 0;
    for (auto& line : log.lines())
        result += line.find(text) != std::string::npos;
    return result;
}

} // namespace

TEST(TrackingTests, TheFirstStartTracksTheInstallationThenEveryStartOnlyTheStart)
{
    // Tracking on: APP_INSTALL then APP_START, the flag set; the next start sends APP_START alone; one JSON line per event in a 0600 log.
    Tracking tracking(true);
    tracking.manager.trackAppStart();
    EXPECT_TRUE(tracking.installTracked->value());
    tracking.manager.trackAppStart();
    tracking.manager.trackLogin();
    tracking.manager.trackDatabaseLost();
    EXPECT_EQ(tracking.events(), (std::vector<std::string> { "APP_INSTALL", "APP_START", "APP_START", "APP_LOGIN", "ERROR_DB_LOST" }));
    struct stat status {};
    ASSERT_EQ(::stat(tracking.metrics->logFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(TrackingTests, WithTrackingOffNothingIsSentButTheInstallationCountsAsTracked)
{
    // Tracking off: no log file, the line written twice, and the flag set, so APP_INSTALL never comes later.
    Tracking tracking(false);
    Platform::LogCapture log;
    tracking.manager.trackAppStart();
    EXPECT_EQ(count(log, "Got no metricsManager from BITHockeyManager!"), 2u);
    EXPECT_TRUE(tracking.installTracked->value());
    EXPECT_FALSE(std::filesystem::exists(tracking.metrics->logFile()));
    tracking.enabled.set(true);
    tracking.manager.trackAppStart();
    EXPECT_EQ(tracking.events(), std::vector<std::string> { "APP_START" });
    tracking.hockey->setDisableMetricsManager(true);
    tracking.manager.trackLogin();
    EXPECT_EQ(count(log, "Got no metricsManager from BITHockeyManager!"), 3u);
}

TEST(TrackingTests, TheVersionTextAndTheCrashReportingIdentifier)
{
    // 1.2 and 345 give "1.2 (345)", a missing part "Unknown Version"; a build without identifier stops with its message.
    EXPECT_EQ(InfoPlistTools::versionString("1.2", "345"), "1.2 (345)");
    EXPECT_EQ(InfoPlistTools::versionString(std::nullopt, "345"), "Unknown Version");
    EXPECT_EQ(InfoPlistTools::versionString("1.2", std::nullopt), "Unknown Version");
    EXPECT_NE(InfoPlistTools::versionString(), "Unknown Version");
    EXPECT_FALSE(InfoPlistTools::hockeyAppIdentifier().empty());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT((void)InfoPlistTools::hockeyAppIdentifier(std::nullopt), ::testing::ExitedWithCode(1), "HockeyIdentifier not found in plist!");
}
