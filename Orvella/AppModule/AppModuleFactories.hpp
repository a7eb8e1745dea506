#pragma once

// The factories of the composition root that do more than construct: each
// takes the container and the environment, resolves what it needs and passes
// every resolution error on unchanged. For AppModule.cpp only.

#include "Orvella/AppModule/AppModule.hpp"
#include "Orvella/AppModule/ExtensionLoginObserver.hpp"
#include "Orvella/AppModule/SUUpdater.hpp"
#include "Orvella/Extension/ExtensionManager.hpp"
#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/SyncSetup/CloudSetupHelper.hpp"
#include "Orvella/Tracking/BITHockeyManager.hpp"
#include "Platform/Database/Database.hpp"
#include "Sync/References/FileReferenceMapping.hpp"
#include "Sync/Run/SyncManager.hpp"
#include "Sync/Status/FileSyncStatusStore.hpp"
#include "Sync/Store/FileStore.hpp"
#include "Sync/Watch/CloudFolderProvider.hpp"

#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Orvella::Factories {

template<class T>
using Made = std::expected<std::shared_ptr<T>, Reactive::AnyError>;

// A service of the desktop that cannot be opened (the channels, the shared
// settings): the launch reports it and ends in order.
class ServiceUnavailable final : public Reactive::Error {
public:
    explicit ServiceUnavailable(std::string message) : m_message(std::move(message)) {}
    [[nodiscard]] std::string description() const override { return m_message; }

private:
    std::string m_message;
};

// A dependency's resolution error as the factory's own, unchanged.
template<class T>
[[nodiscard]] std::unexpected<Reactive::AnyError> failed(const Resolution<T>& resolution)
{
    return std::unexpected(Reactive::AnyError(resolution.error()));
}

// A product built by `Resolver::construct` (its parameters resolved in
// order, the first failure returned) as the factory's own result.
template<class T>
[[nodiscard]] Made<T> made(std::expected<std::shared_ptr<T>, ResolutionError> constructed)
{
    if (!constructed)
        return std::unexpected(Reactive::AnyError(constructed.error()));
    return *constructed;
}

// The same for a constructor that may fail on its own.
template<class T>
[[nodiscard]] Made<T> made(std::expected<Made<T>, ResolutionError> constructed)
{
    if (!constructed)
        return std::unexpected(Reactive::AnyError(constructed.error()));
    return std::move(*constructed);
}

// Desktop services.
[[nodiscard]] Made<Platform::UserDefaults> userDefaults(Resolver& resolver);
[[nodiscard]] Made<BITHockeyManager> hockeyManager(Resolver& resolver, const AppModuleEnvironment& environment);
[[nodiscard]] Made<DesktopUserNotificationCenter> userNotificationCenter(Resolver& resolver);
[[nodiscard]] Made<ExtensionManager> extensionManager(Resolver& resolver, const AppModuleEnvironment& environment);
[[nodiscard]] Made<ExtensionLoginObserver> extensionLoginObserver(Resolver& resolver, const AppModuleEnvironment& environment);

// The API client.
[[nodiscard]] Made<APIClientManager> apiClientManager(Resolver& resolver, const AppModuleEnvironment& environment);

// The sync engine.
// The desktop notification after a run that moved `count` items to the Trash
// because the listing left out most of what the client knew: title and text.
[[nodiscard]] std::pair<std::string, std::string> trashedForSafetyNotification(std::size_t count);
// The desktop notification after a run that kept the server's version of
// files changed here and elsewhere beside them: title and text.
[[nodiscard]] std::pair<std::string, std::string> serverVersionsKeptNotification(
    const std::vector<Sync::KeptServerVersion>& kept);
[[nodiscard]] std::shared_ptr<Sync::CloudFolderProvider> cloudFolderAdapter(std::shared_ptr<SettingsManager> settingsManager);
[[nodiscard]] Made<Platform::Database> database(Resolver& resolver);
[[nodiscard]] Made<Sync::FileStore> fileStore(Resolver& resolver, const AppModuleEnvironment& environment);
[[nodiscard]] Made<Sync::FileSyncStatusStore> fileSyncStatusStore(Resolver& resolver, const AppModuleEnvironment& environment);
[[nodiscard]] Made<Sync::FileReferenceMapping> fileReferenceMapping(Resolver& resolver);
[[nodiscard]] Made<Sync::SyncManager> syncManager(Resolver& resolver);
[[nodiscard]] Made<CloudSetupHelper> cloudSetupHelper(Resolver& resolver);

} // namespace Orvella::Factories
