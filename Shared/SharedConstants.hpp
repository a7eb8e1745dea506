#pragma once

// Shared: what the application and its file-manager extension must
// agree on: identifiers, the group directory, settings keys and defaults, the
// brand configuration and theme, and the messages between the two.

#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Platform/Foundation/UserDefaults.hpp"

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>

namespace Orvella {

// Identifiers and locations both processes compute alike. Read-only; the
// string constants are made once, on first use; the URLs anew at each access.
struct SharedConstants {
    SharedConstants() = delete;

    // The developer team identifier (ten upper-case letters and digits).
    [[nodiscard]] static const std::string& teamPraefix();
    // The application identifier, e.g. "de.orvella.desktop".
    [[nodiscard]] static const std::string& applicationIdentifier();
    // "group." followed by the application identifier.
    [[nodiscard]] static const std::string& applicationGroup();
    // `teamPraefix` + "." + `applicationGroup`.
    [[nodiscard]] static std::string applicationGroupIdentifier();
    // The application identifier + ".Glimmerd".
    [[nodiscard]] static const std::string& glimmerdBundleIdentifier();

    // The group directory: `$ORVELLA_GROUP_CONTAINER` when set, else
    // `$XDG_DATA_HOME/<applicationGroupIdentifier>/` (`~/.local/share` when
    // unset); made 0700 when missing. When it cannot be made, the program
    // stops with "Der Gruppenordner <Pfad> kann nicht angelegt werden: <Grund>"
    // on stderr and in the log.
    [[nodiscard]] static Platform::URL groupContainerURL();
    [[nodiscard]] static std::filesystem::path groupContainerPath();
    // Where the group directory lies, without making it.
    [[nodiscard]] static std::filesystem::path groupContainerLocation();
    // The group directory, or the message above as an error, without stopping.
    [[nodiscard]] static std::expected<std::filesystem::path, std::string> makeGroupContainer();
    // `groupContainerURL` + "Cloud.realm": the shared database file.
    [[nodiscard]] static Platform::URL dataBaseURL();
    static constexpr std::uint64_t schemaVersion = 2;

    // "Orvella": the ping the extension sends and the application answers.
    [[nodiscard]] static const std::string& pingIdentifierName();
    // "CloudAppDidFinishLaunchingNotification".
    [[nodiscard]] static const std::string& didFinishLaunching();
    // "CloudAppWillTerminateNotification".
    [[nodiscard]] static const std::string& willTerminate();
    // "CloudAppActivateNotification": a second start of the application asks
    // the running one to come to the front.
    [[nodiscard]] static const std::string& activateRunningApplication();

    // The process's shared settings suite ("defaults.json" in the group
    // directory), with the registered defaults of `CloudUserDefaultsKey`
    // registered before first use. Stops the program when it cannot be opened.
    [[nodiscard]] static std::shared_ptr<Platform::UserDefaults> sharedUserDefaults();
    // The process's own settings suite (`$XDG_CONFIG_HOME/<applicationIdentifier>/`).
    [[nodiscard]] static std::shared_ptr<Platform::UserDefaults> standardUserDefaults();
    // The process's centre for notifications between the application and the
    // extension ("<group>/notifications/"). Stops the program when it cannot be opened.
    [[nodiscard]] static std::shared_ptr<Platform::DistributedNotificationCenter> distributedNotificationCenter();
};

// Logs `message` (stderr and syslog) and ends the process with status 1.
[[noreturn]] void fatalError(const std::string& message);

} // namespace Orvella
