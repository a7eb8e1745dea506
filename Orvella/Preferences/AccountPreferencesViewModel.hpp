#pragma once

#include "Orvella/Preferences/CloudFolderCreationError.hpp"
#include "Orvella/Preferences/CloudFolderFileManager.hpp"
#include "Shared/ClientConfiguration.hpp"

#include "Platform/Foundation/URL.hpp"
#include "Reactive/Action.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/Signal.hpp"

#include <any>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Orvella {

// The account pane without its widgets: where the cloud folder lies, who is
// logged in, the log-in-or-out command, and the checks a newly chosen cloud
// folder must pass before the setting is repointed to it.
//
// Folders are compared normalised (absolute, lexically normal, symbolic
// links resolved, no trailing "/"). A folder equal to the current one does
// nothing; one inside it, one containing it, the home folder and "/" are
// refused as `folderRecursion`, each naming which it is; a folder that cannot be listed or is not
// empty is refused too. Refusals go to `errors`; the setting keeps the old
// folder. Main thread only.
class AccountPreferencesViewModel {
public:
    struct Services {
        std::shared_ptr<const ClientConfiguration> configuration;
        // The API manager's `isLoggedIn`.
        Reactive::Property<bool> isLoggedIn;
        // The e-mail address of the API manager's `customerInfo`; none before it arrives.
        Reactive::Property<std::optional<std::string>> customerEmail;
        // The settings manager's `cloudFolderURL` itself; it outlives the view model.
        Reactive::MutableProperty<Platform::URL>* cloudFolderURL = nullptr;
        std::shared_ptr<CloudFolderFileManager> fileManager;
        // The navigator's log-out flow with the sender; none when there is no navigator.
        std::function<void(const std::any& sender)> logout;
        // Brings the login window to the front (made on demand); none when there is no navigator.
        std::function<void()> showLoginWindow;
        // The user's home folder; never offered as the cloud folder.
        std::filesystem::path homeFolder;
    };

    explicit AccountPreferencesViewModel(Services services);
    AccountPreferencesViewModel(const AccountPreferencesViewModel&) = delete;
    AccountPreferencesViewModel& operator=(const AccountPreferencesViewModel&) = delete;
    ~AccountPreferencesViewModel();

    [[nodiscard]] const Reactive::Property<Platform::URL>& cloudFolderURL() const { return m_cloudFolderURL; }
    [[nodiscard]] const Reactive::Property<std::string>& usernameText() const { return m_usernameText; }
    [[nodiscard]] const Reactive::Property<std::string>& loginButtonText() const { return m_loginButtonText; }
    // Its input is the sender; an empty input does nothing.
    [[nodiscard]] const Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>& loginAction() const { return *m_loginAction; }
    [[nodiscard]] const Reactive::Signal<CloudFolderCreationError, Reactive::NoError>& errors() const { return m_errors.first; }
    [[nodiscard]] const std::string& appName() const { return m_appName; }
    [[nodiscard]] const std::shared_ptr<CloudFolderFileManager>& fileManager() const { return m_services.fileManager; }

    // The folder the user chose last; starts as the setting's folder.
    [[nodiscard]] const Platform::URL& currentCloudFolderURL() const { return m_currentCloudFolderURL; }
    // The user chose `url`: it is checked and, when it passes, becomes the
    // cloud folder; otherwise its refusal goes to `errors`.
    void setCurrentCloudFolderURL(Platform::URL url);
    // Moves the top-level entries of the refused folder to the Trash (a
    // failure is logged, the others are still tried), then checks it again.
    void deleteContentOfChosenFolder();

private:
    [[nodiscard]] std::optional<CloudFolderCreationError> validate(const std::filesystem::path& chosen, const std::filesystem::path& current) const;

    Services m_services;
    std::string m_appName;
    Reactive::Property<Platform::URL> m_cloudFolderURL;
    Reactive::Property<std::string> m_usernameText;
    Reactive::Property<std::string> m_loginButtonText;
    std::unique_ptr<Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>> m_loginAction;
    std::pair<Reactive::Signal<CloudFolderCreationError, Reactive::NoError>, Reactive::Observer<CloudFolderCreationError, Reactive::NoError>> m_errors;
    Platform::URL m_currentCloudFolderURL;
};

// `path` absolute, lexically normal, symbolic links resolved as far as the
// path exists, without a trailing "/" (except "/" itself).
[[nodiscard]] std::filesystem::path normalizedFolderPath(const std::filesystem::path& path);

} // namespace Orvella
