#include "Shared/SharedConstants.hpp"

#include "Shared/BuildConfiguration.hpp"
#include "Shared/CloudUserDefaultsKey.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PrivateDirectory.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <cstdlib>
#include <sys/stat.h>

namespace Orvella {

namespace {

constexpr const char* databaseFileName = "Cloud.realm";

template<class Value>
std::shared_ptr<Value> orStop(std::expected<std::shared_ptr<Value>, std::error_code> opened, const std::string& what)
{
    if (!opened)
        fatalError(what + " kann nicht geöffnet werden: " + opened.error().message());
    return std::move(*opened);
}

} // namespace

void fatalError(const std::string& message)
{
    Platform::Log::line(message);
    std::exit(EXIT_FAILURE);
}

const std::string& SharedConstants::teamPraefix()
{
    static const std::string value = BuildConfiguration::teamPrefix;
    return value;
}

const std::string& SharedConstants::applicationIdentifier()
{
    static const std::string value = BuildConfiguration::applicationIdentifier;
    return value;
}

const std::string& SharedConstants::applicationGroup()
{
    static const std::string value = "group." + applicationIdentifier();
    return value;
}

std::string SharedConstants::applicationGroupIdentifier() { return teamPraefix() + "." + applicationGroup(); }

const std::string& SharedConstants::glimmerdBundleIdentifier()
{
    static const std::string value = applicationIdentifier() + ".Glimmerd";
    return value;
}

std::filesystem::path SharedConstants::groupContainerLocation()
{
    if (const char* override = std::getenv("ORVELLA_GROUP_CONTAINER"); override && *override)
        return override;
    return Platform::baseDirectory(Platform::BaseDirectory::data) / applicationGroupIdentifier();
}

std::expected<std::filesystem::path, std::string> SharedConstants::makeGroupContainer()
{
    const auto folder = groupContainerLocation();
    std::error_code error;
    if (std::filesystem::symlink_status(folder, error).type() == std::filesystem::file_type::not_found) {
        error.clear();
        std::filesystem::create_directories(folder, error);
        if (!error && ::chmod(folder.c_str(), 0700) != 0)
            error = std::error_code(errno, std::generic_category());
        if (error)
            return std::unexpected("Der Gruppenordner " + folder.string() + " kann nicht angelegt werden: " + error.message());
    }
    // The database, the settings, the password fallback and the message
    // channel live here: a folder another user made first is not used.
    if (auto own = Platform::makeOwnDirectory(folder); !own) {
        Platform::Log::failure("Der Gruppenordner wird nicht benutzt: " + own.error());
        return std::unexpected("Der Gruppenordner " + folder.string() + " wird nicht benutzt: " + own.error());
    }
    // An earlier version (or a wide umask) may have left the folder and the
    // database readable to everyone, and the database holds the path and hash
    // of every synced file. The folder first, so nobody can swap what is in it.
    for (const auto& entry : { folder, folder / databaseFileName, folder / (std::string(databaseFileName) + "-wal"),
             folder / (std::string(databaseFileName) + "-shm") }) {
        if (auto narrowed = Platform::narrowToOwner(entry); !narrowed)
            Platform::Log::failure(narrowed.error());
    }
    return folder;
}

std::filesystem::path SharedConstants::groupContainerPath()
{
    auto folder = makeGroupContainer();
    if (!folder)
        fatalError(folder.error());
    return *folder;
}

Platform::URL SharedConstants::groupContainerURL()
{
    return Platform::URL::fileURL(groupContainerPath().string(), Platform::URL::IsDirectory::Yes);
}

Platform::URL SharedConstants::dataBaseURL() { return groupContainerURL().appendingPathComponent(databaseFileName); }

const std::string& SharedConstants::pingIdentifierName()
{
    static const std::string value = "Orvella";
    return value;
}

const std::string& SharedConstants::didFinishLaunching()
{
    static const std::string value = "CloudAppDidFinishLaunchingNotification";
    return value;
}

const std::string& SharedConstants::willTerminate()
{
    static const std::string value = "CloudAppWillTerminateNotification";
    return value;
}

const std::string& SharedConstants::activateRunningApplication()
{
    static const std::string value = "CloudAppActivateNotification";
    return value;
}

std::shared_ptr<Platform::UserDefaults> SharedConstants::sharedUserDefaults()
{
    static const auto suite = [] {
        auto opened = orStop(Platform::UserDefaults::open(groupContainerPath()), "Die gemeinsamen Einstellungen");
        opened->registerDefaults(cloudUserDefaultsKeyDefaults());
        return opened;
    }();
    return suite;
}

std::shared_ptr<Platform::UserDefaults> SharedConstants::standardUserDefaults()
{
    static const auto suite = orStop(Platform::UserDefaults::open(Platform::UserDefaults::standardFolder(applicationIdentifier())),
        "Die Einstellungen des Programms");
    return suite;
}

std::shared_ptr<Platform::DistributedNotificationCenter> SharedConstants::distributedNotificationCenter()
{
    static const auto center = orStop(Platform::DistributedNotificationCenter::open(groupContainerPath() / "notifications"),
        "Der Mitteilungskanal zwischen den Prozessen");
    return center;
}

} // namespace Orvella
