#include "Orvella/Launch/AppDelegate.hpp"

#include "Orvella/Debug/LaunchArguments.hpp"
#include "Orvella/Launch/DatabaseCheck.hpp"
#include "Platform/Foundation/UserDefaults.hpp"

#include <cstdlib>
#include <system_error>

namespace Orvella {

namespace {

constexpr const char* migrationFlag = "GroupContainerMigrationFixDone";

} // namespace

AppDelegate::AppDelegate(Services services) : m_services(std::move(services))
{
    if (!m_services.log) {
        m_services.log = [](const std::string&) {};
    }
}

std::optional<AppDelegate::LaunchError> AppDelegate::missingRequiredService() const
{
    const auto& s = m_services;
    if (s.groupContainer.empty() || !s.standardDefaults || !s.extension || !s.lastAppVersion || !s.setLastAppVersion
        || !s.tracking || !s.enableStatusItem || !s.channel || !s.fileStore || !s.navigator || !s.isLoggedIn) {
        return LaunchError { "Ein benötigter Dienst der Anwendung konnte nicht erstellt werden." };
    }
    std::error_code error;
    std::filesystem::create_directories(s.groupContainer, error);
    if (!std::filesystem::is_directory(s.groupContainer, error)) {
        return LaunchError { "Der gemeinsame Ordner \"" + s.groupContainer.string() + "\" kann nicht angelegt werden." };
    }
    return std::nullopt;
}

std::expected<void, AppDelegate::LaunchError> AppDelegate::applicationDidFinishLaunching()
{
    auto& s = m_services;
    migrateGroupContainerIfNeeded(s);
    if (!LaunchArguments::contains(s.arguments, LaunchArguments::skipLetsMoveTestArgument) && s.mover) {
        s.mover->moveToApplicationsFolderIfNecessary();
    }
    ::setenv("REALM_DISABLE_ANALYTICS", "1", 1);
    if (auto missing = missingRequiredService()) {
        s.log("❗️ " + missing->message);
        return std::unexpected(*missing);
    }
    s.extension->unregisterExtension();
    const auto lastVersion = s.lastAppVersion();
    if (!lastVersion || *lastVersion != s.versionString) {
        s.extension->killRunningExtensions();
    }
    checkDatabase();
    std::error_code ignored;
    std::filesystem::remove(s.groupContainer / "Cloud.realm.lock", ignored);
    s.enableStatusItem();
    s.channel->replyToPings();
    listenForShareRequests();
    forwardUserDefaultsChanges();
    listenForActivationRequests();
    if (s.isLoggedIn()) {
        s.extension->registerExtension();
    } else {
        s.navigator->showLoginWindow();
    }
    s.tracking->trackAppStart();
    s.setLastAppVersion(s.versionString);
    return {};
}

void AppDelegate::migrateGroupContainerIfNeeded(const Services& s)
{
    if (!s.standardDefaults || s.standardDefaults->boolForKey(migrationFlag) || s.oldExtensionContainer.empty() || s.groupContainer.empty()) {
        return;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(s.oldExtensionContainer, error) || std::filesystem::exists(s.groupContainer, error)) {
        return;
    }
    std::filesystem::rename(s.oldExtensionContainer, s.groupContainer, error);
    if (!error) {
        const auto preferences = s.groupContainer / "Library" / "Preferences";
        std::filesystem::rename(preferences / s.oldSuiteFileName, preferences / s.suiteFileName, error);
    }
    if (error) {
        if (s.log) {
            s.log("❗️ Group Container Directory could not be moved: " + error.message());
        }
        return;
    }
    s.standardDefaults->setBool(true, migrationFlag);
}

void AppDelegate::checkDatabase() const
{
    const auto database = m_services.groupContainer / "Cloud.realm";
    std::error_code error;
    if (!std::filesystem::exists(database, error)) {
        return;
    }
    if (auto defect = databaseDefect(database)) {
        m_services.log("❗️ Database was lost: " + *defect);
        m_services.tracking->trackDatabaseLost();
        removeLostDatabase(database);
    }
}

void AppDelegate::handlePublicShareRequest(const Sync::SyncFileID& fileID) const
{
    if (auto file = m_services.fileStore->file(fileID)) {
        m_services.navigator->sharePublicLink(std::move(file));
    }
}

void AppDelegate::handlePrivateShareRequest(const Sync::SyncFileID& fileID) const
{
    if (auto file = m_services.fileStore->file(fileID)) {
        m_services.navigator->sharePrivately(std::move(file));
    }
}

void AppDelegate::listenForShareRequests()
{
    // The registrations last as long as the delegate, that is the process.
    m_registrations.push_back(m_services.channel->onCreatePublicShare([this](const Sync::SyncFileID& id) { handlePublicShareRequest(id); }));
    m_registrations.push_back(m_services.channel->onCreatePrivateShare([this](const Sync::SyncFileID& id) { handlePrivateShareRequest(id); }));
}

void AppDelegate::forwardUserDefaultsChanges()
{
    if (m_services.sharedSuite == nullptr) {
        return;
    }
    // Observed with the suite as sender: a change of another suite never arrives here.
    m_registrations.push_back(Platform::NotificationCenter::defaultCenter().addObserver(
        std::string(Platform::UserDefaults::didChangeNotification), m_services.sharedSuite,
        [channel = m_services.channel, suite = m_services.sharedSuite](const Platform::Notification& notification) {
            if (notification.sender == suite) {
                channel->reloadUserDefaults();
            }
        }));
}

void AppDelegate::listenForActivationRequests()
{
    if (!m_services.onActivationRequest) {
        return;
    }
    // A person who starts the application again wants to see it: the login
    // window while nobody is logged in, else the popover.
    m_registrations.push_back(m_services.onActivationRequest([navigator = m_services.navigator, isLoggedIn = m_services.isLoggedIn] {
        if (isLoggedIn()) {
            navigator->showPopover();
        } else {
            navigator->showLoginWindow();
        }
    }));
}

void AppDelegate::applicationWillTerminate()
{
    if (m_services.postWillTerminate) {
        m_services.postWillTerminate();
    }
    if (m_services.extension) {
        m_services.extension->unregisterExtension();
    }
    if (m_services.flushSettings) {
        m_services.flushSettings();
    }
}

} // namespace Orvella
