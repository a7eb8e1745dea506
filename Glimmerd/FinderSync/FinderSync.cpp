#include "Glimmerd/FinderSync/FinderSync.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PathString.hpp"
#include "Platform/Foundation/UserFolders.hpp"

#include <cstdlib>
#include <sys/stat.h>

namespace Glimmerd {

namespace {

// The names the application posts that make the extension ask again, in the order observed.
const std::vector<std::string>& observedNotificationNames()
{
    static const std::vector<std::string> names { "CloudAppDidFinishLaunchingNotification",
        "CloudAppWillTerminateNotification", "CloudUserDefaultsDidChange" };
    return names;
}

std::string expandingTilde(const std::string& path)
{
    if (path != "~" && !path.starts_with("~/"))
        return path;
    auto home = Platform::homeDirectory();
    if (home.empty())
        return path;
    return home.string() + path.substr(1);
}

bool isDirectory(const std::string& path)
{
    struct stat status { };
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// A URL's path as a person reads it: no trailing "/" except for the root.
std::string displayPath(const Platform::URL& url)
{
    auto path = url.path();
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    return path;
}

} // namespace

Platform::URL standardizedFolderURL(const std::string& setting)
{
    std::string path = setting;
    if (setting.starts_with("file://")) {
        if (auto url = Platform::URL::create(setting))
            path = url->path();
    }
    path = Platform::standardizingPath(expandingTilde(path));
    if (!Platform::isAbsolutePath(path))
        path = "/" + path;
    return Platform::URL::fileURL(path, isDirectory(path) ? Platform::URL::IsDirectory::Yes : Platform::URL::IsDirectory::No);
}

std::shared_ptr<FinderSync> FinderSync::create(FinderSyncEnvironment environment)
{
    auto extension = std::make_shared<FinderSync>(Platform::PassKey<FinderSync> {}, std::move(environment));
    extension->start();
    return extension;
}

FinderSync::FinderSync(Platform::PassKey<FinderSync>, FinderSyncEnvironment environment)
    : m_environment(std::move(environment))
{
}

FinderSync::~FinderSync()
{
    m_disposable.dispose();
    m_notificationRegistration.reset();
}

void FinderSync::start()
{
    Platform::Log::line("Orvella Finder Sync launched from " + m_environment.launchPath);
    pingApp();

    auto& controller = *m_environment.syncController;
    controller.setBadgeImage("status-uptodate", idleIdentifier, idleIdentifier);
    controller.setBadgeImage("status-sync", syncingIdentifier, syncingIdentifier);
    controller.setBadgeImage("status-error", errorIdentifier, errorIdentifier);

    std::weak_ptr<FinderSync> weakSelf = shared_from_this();
    auto scheduler = m_environment.mainScheduler;
    m_notificationRegistration = m_environment.channel->observeNotifications(observedNotificationNames(),
        [weakSelf, scheduler](const std::string&) {
            scheduler->schedule([weakSelf] {
                if (auto self = weakSelf.lock())
                    self->userDefaultsDidChange();
            });
        });

    subscribeToStatuses();
}

void FinderSync::subscribeToStatuses()
{
    std::weak_ptr<FinderSync> weakSelf = shared_from_this();
    if (!m_environment.isDatabaseReadable()) {
        // The stream would stay silent for a file that cannot be opened now;
        // start it once the application has written the database.
        // Not kept in `m_disposable`: a retry after the object has gone finds no object and ends.
        (void)m_environment.mainScheduler->schedule(
            m_environment.mainScheduler->currentDate() + m_environment.databaseRetryInterval, [weakSelf] {
                if (auto self = weakSelf.lock())
                    self->subscribeToStatuses();
            });
        return;
    }
    m_disposable.add(m_environment.fileStatusStore->statusProducer()
            .observeOn(m_environment.mainScheduler)
            .startWithValues([weakSelf](const Sync::FileSyncStatuses& statuses) {
                if (auto self = weakSelf.lock())
                    self->updateBadges(statuses);
            }));
}

void FinderSync::userDefaultsDidChange()
{
    pingApp();
}

void FinderSync::pingApp()
{
    auto number = ++m_latestPing;
    auto answered = std::make_shared<bool>(false);
    std::weak_ptr<FinderSync> weakSelf = weak_from_this();
    auto scheduler = m_environment.mainScheduler;
    // The first of the pong and the time-out counts; both are handled on the main thread.
    auto deliver = [weakSelf, number, answered](bool success) {
        if (*answered)
            return;
        *answered = true;
        if (auto self = weakSelf.lock())
            self->handlePong(number, success);
    };
    // Like the pong, the time-out holds the object weakly, so it need not be cancelled.
    (void)scheduler->schedule(scheduler->currentDate() + m_environment.pingTimeout, [deliver] { deliver(false); });
    m_environment.channel->ping([scheduler, deliver](bool success) { scheduler->schedule([deliver, success] { deliver(success); }); });
}

void FinderSync::handlePong(std::uint64_t pingNumber, bool success)
{
    // An older ping's answer, however late, never undoes what a newer one decided.
    if (pingNumber != m_latestPing)
        return;
    if (!success) {
        Platform::Log::line("no success, will do nothing");
        return watchCloudFolder(std::nullopt);
    }
    Platform::Log::line("success, trying to start up now");
    auto setting = m_environment.settings->cloudFolderURL();
    if (!setting)
        return watchCloudFolder(std::nullopt);
    watchCloudFolder(standardizedFolderURL(*setting));
}

void FinderSync::watchCloudFolder(const std::optional<Platform::URL>& folder)
{
    if (folder) {
        Platform::Log::line("started watching folder: " + displayPath(*folder));
        m_environment.syncController->setDirectoryURLs({ *folder });
        return;
    }
    auto previous = currentCloudFolderURL();
    Platform::Log::line("stopped watching folder: " + (previous ? previous->absoluteString() : std::string("nil")));
    m_environment.syncController->setDirectoryURLs({});
}

std::optional<Platform::URL> FinderSync::currentCloudFolderURL() const
{
    const auto& directories = m_environment.syncController->directoryURLs();
    if (directories.empty())
        return std::nullopt;
    return *directories.begin();
}

void FinderSync::beginObservingDirectory(const Platform::URL& url)
{
    if (url.isFileURL())
        m_visibleFolderURLs.insert(url);
}

void FinderSync::endObservingDirectory(const Platform::URL& url)
{
    if (url.isFileURL())
        m_visibleFolderURLs.erase(url);
}

} // namespace Glimmerd
