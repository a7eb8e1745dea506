#pragma once

#include "Platform/Foundation/UserDefaults.hpp"

#include <array>
#include <optional>
#include <string_view>

namespace Orvella {

// The keys of the shared settings suite. Their raw values are stored in the
// settings file that both processes read: never rename them
// ("InitialSetupConplete" is spelled so on purpose).
enum class CloudUserDefaultsKey {
    initialSetupComplete,
    lastLoggedInUserName,
    cloudFolderURL,
    apiEnvironment,
    enableDesktopNotifications,
    enableUsageTracking,
    enableSync,
    enableBandwidthThrottling,
    shouldMoveToTrash,
    appInstallTracked,
    lastAppVersion,
    // Kept in the application's standard suite, not in the shared one.
    groupContainerMigrationFixDone,
};

inline constexpr std::array allCloudUserDefaultsKeys {
    CloudUserDefaultsKey::initialSetupComplete,
    CloudUserDefaultsKey::lastLoggedInUserName,
    CloudUserDefaultsKey::cloudFolderURL,
    CloudUserDefaultsKey::apiEnvironment,
    CloudUserDefaultsKey::enableDesktopNotifications,
    CloudUserDefaultsKey::enableUsageTracking,
    CloudUserDefaultsKey::enableSync,
    CloudUserDefaultsKey::enableBandwidthThrottling,
    CloudUserDefaultsKey::shouldMoveToTrash,
    CloudUserDefaultsKey::appInstallTracked,
    CloudUserDefaultsKey::lastAppVersion,
    CloudUserDefaultsKey::groupContainerMigrationFixDone,
};

// The key string stored in the settings suite.
[[nodiscard]] std::string_view rawValue(CloudUserDefaultsKey key);
// The key whose string equals `text` exactly; nothing otherwise.
[[nodiscard]] std::optional<CloudUserDefaultsKey> cloudUserDefaultsKeyFromRawValue(std::string_view text);
// A new dictionary of the five registered defaults: "EnableUsageTracking",
// "EnableDesktopNotifications", "EnableSync", "ShouldMoveToTrash" true and
// "AppInstallTracked" false.
[[nodiscard]] Platform::UserDefaults::Dictionary cloudUserDefaultsKeyDefaults();

} // namespace Orvella
