#include "Shared/CloudUserDefaultsKey.hpp"

namespace Orvella {

std::string_view rawValue(CloudUserDefaultsKey key)
{
    switch (key) {
    case CloudUserDefaultsKey::initialSetupComplete:
        return "InitialSetupConplete";
    case CloudUserDefaultsKey::lastLoggedInUserName:
        return "LastLoggedInUserName";
    case CloudUserDefaultsKey::cloudFolderURL:
        return "CloudFolderURL";
    case CloudUserDefaultsKey::apiEnvironment:
        return "APIEnvironment";
    case CloudUserDefaultsKey::enableDesktopNotifications:
        return "EnableDesktopNotifications";
    case CloudUserDefaultsKey::enableUsageTracking:
        return "EnableUsageTracking";
    case CloudUserDefaultsKey::enableSync:
        return "EnableSync";
    case CloudUserDefaultsKey::enableBandwidthThrottling:
        return "EnableBandwidthThrottling";
    case CloudUserDefaultsKey::shouldMoveToTrash:
        return "ShouldMoveToTrash";
    case CloudUserDefaultsKey::appInstallTracked:
        return "AppInstallTracked";
    case CloudUserDefaultsKey::lastAppVersion:
        return "LastAppVersion";
    case CloudUserDefaultsKey::groupContainerMigrationFixDone:
        return "GroupContainerMigrationFixDone";
    }
    return {};
}

std::optional<CloudUserDefaultsKey> cloudUserDefaultsKeyFromRawValue(std::string_view text)
{
    for (auto key : allCloudUserDefaultsKeys)
        if (rawValue(key) == text)
            return key;
    return std::nullopt;
}

Platform::UserDefaults::Dictionary cloudUserDefaultsKeyDefaults()
{
    return {
        { "EnableUsageTracking", true },
        { "EnableDesktopNotifications", true },
        { "EnableSync", true },
        { "ShouldMoveToTrash", true },
        { "AppInstallTracked", false },
    };
}

} // namespace Orvella
