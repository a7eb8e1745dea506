#include "Orvella/Preferences/AccountPreferencesViewModel.hpp"

#include "Platform/Foundation/Log.hpp"

#include <cstdlib>

namespace Orvella {

namespace {

bool isInside(const std::filesystem::path& inner, const std::filesystem::path& outer)
{
    const std::string prefix = outer == "/" ? std::string("/") : outer.string() + "/";
    return inner.string().starts_with(prefix);
}

} // namespace

std::filesystem::path normalizedFolderPath(const std::filesystem::path& path)
{
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    if (error) {
        absolute = path;
    }
    auto resolved = std::filesystem::weakly_canonical(absolute.lexically_normal(), error);
    if (error) {
        resolved = absolute.lexically_normal();
    }
    std::string text = resolved.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

AccountPreferencesViewModel::AccountPreferencesViewModel(Services services)
    : m_services(std::move(services))
    , m_appName(m_services.configuration->clientName())
    , m_cloudFolderURL(*m_services.cloudFolderURL)
    // The name follows the customer data as it arrives (right after a login
    // it comes a moment later), not only the login state.
    , m_usernameText(Reactive::combineLatest(m_services.isLoggedIn, m_services.customerEmail)
                         .map([](const std::tuple<bool, std::optional<std::string>>& inputs) -> std::string {
                             const auto& [loggedIn, email] = inputs;
                             if (!loggedIn) {
                                 return "Nicht angemeldet";
                             }
                             return email ? "Angemeldet als " + *email : std::string("Angemeldet als unbekannter Nutzer");
                         }))
    , m_loginButtonText(m_services.isLoggedIn.map([](bool loggedIn) { return std::string(loggedIn ? "Abmelden" : "Anmelden"); }))
    , m_errors(Reactive::Signal<CloudFolderCreationError, Reactive::NoError>::pipe())
    , m_currentCloudFolderURL(m_services.cloudFolderURL->value())
{
    m_loginAction = std::make_unique<Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>>(
        [isLoggedIn = m_services.isLoggedIn, logout = m_services.logout, showLogin = m_services.showLoginWindow](const std::any& sender) {
            if (sender.has_value()) {
                if (isLoggedIn.value()) {
                    if (logout) {
                        logout(sender);
                    }
                } else if (showLogin) {
                    showLogin();
                }
            }
            return Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>::empty();
        });
}

AccountPreferencesViewModel::~AccountPreferencesViewModel()
{
    m_errors.second.sendCompleted();
}

void AccountPreferencesViewModel::setCurrentCloudFolderURL(Platform::URL url)
{
    m_currentCloudFolderURL = std::move(url);
    const auto chosen = normalizedFolderPath(m_currentCloudFolderURL.path());
    const auto current = normalizedFolderPath(m_services.cloudFolderURL->value().path());
    if (chosen == current) {
        return;
    }
    if (auto refusal = validate(chosen, current)) {
        m_errors.second.send(std::move(*refusal));
        return;
    }
    m_services.cloudFolderURL->set(Platform::URL::fileURL(chosen.string(), Platform::URL::IsDirectory::Yes));
}

std::optional<CloudFolderCreationError> AccountPreferencesViewModel::validate(
    const std::filesystem::path& chosen, const std::filesystem::path& current) const
{
    using Recursion = CloudFolderCreationError::Recursion;
    // "/" and the home folder hold the cloud folder too; each is named for what it is.
    if (chosen == "/") {
        return CloudFolderCreationError::folderRecursion(Recursion::rootFolder);
    }
    if (!m_services.homeFolder.empty() && chosen == normalizedFolderPath(m_services.homeFolder)) {
        return CloudFolderCreationError::folderRecursion(Recursion::homeFolder);
    }
    if (isInside(chosen, current)) {
        return CloudFolderCreationError::folderRecursion(Recursion::insideCloudFolder);
    }
    if (isInside(current, chosen)) {
        return CloudFolderCreationError::folderRecursion(Recursion::containsCloudFolder);
    }
    auto entries = m_services.fileManager->contentsOfDirectory(chosen.string());
    if (!entries) {
        return CloudFolderCreationError::couldNotCheckFolder(entries.error());
    }
    if (!entries->empty()) {
        return CloudFolderCreationError::folderNotEmpty();
    }
    return std::nullopt;
}

void AccountPreferencesViewModel::deleteContentOfChosenFolder()
{
    auto folder = m_currentCloudFolderURL;
    const auto chosen = normalizedFolderPath(folder.path());
    const auto current = normalizedFolderPath(m_services.cloudFolderURL->value().path());
    // Only a folder that the checks refused for its content may be emptied:
    // never the cloud folder, a folder around or inside it, or the home folder.
    if (chosen == current || validate(chosen, current) != CloudFolderCreationError::folderNotEmpty()) {
        setCurrentCloudFolderURL(std::move(folder));
        return;
    }
    auto entries = m_services.fileManager->contentsOfDirectory(chosen.string());
    if (entries) {
        for (const auto& entry : *entries) {
            if (auto trashed = m_services.fileManager->trashItem(entry); !trashed) {
                Platform::Log::failure(trashed.error().description());
            }
        }
    } else {
        Platform::Log::failure(entries.error().description());
    }
    setCurrentCloudFolderURL(std::move(folder));
}

} // namespace Orvella
