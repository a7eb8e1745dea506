#include "Glimmerd/FinderSyncKit/FinderSyncController.hpp"

#include <algorithm>

namespace FinderSyncKit {

namespace {

// Observers may remove themselves or others while they run: call a copy, and
// skip those removed on the way.
template<class Observers, class... Arguments>
void notify(const Observers& observers, const Arguments&... arguments)
{
    auto snapshot = observers;
    for (const auto& [id, observer] : snapshot) {
        if (observers.contains(id))
            observer(arguments...);
    }
}

} // namespace

void FinderSyncController::setDirectoryURLs(std::set<Platform::URL> urls)
{
    if (urls == m_directoryURLs)
        return;
    m_directoryURLs = std::move(urls);
    notify(m_directoriesObservers, m_directoryURLs);
}

void FinderSyncController::setBadgeImage(std::string image, std::string label, std::string identifier)
{
    auto existing = std::find_if(m_badgeImages.begin(), m_badgeImages.end(),
        [&](const BadgeImage& badge) { return badge.identifier == identifier; });
    BadgeImage badge { std::move(identifier), std::move(image), std::move(label) };
    if (existing != m_badgeImages.end())
        *existing = std::move(badge);
    else
        m_badgeImages.push_back(std::move(badge));
}

std::vector<BadgeImage> FinderSyncController::badgeImages() const
{
    return m_badgeImages;
}

void FinderSyncController::setBadgeIdentifier(const std::string& identifier, const Platform::URL& url)
{
    auto existing = m_badges.find(url);
    std::string previous = existing != m_badges.end() ? existing->second : std::string();
    if (identifier.empty())
        m_badges.erase(url);
    else
        m_badges[url] = identifier;
    notify(m_badgeRequestObservers, url, identifier);
    if (previous != identifier)
        notify(m_badgeObservers, url, identifier);
}

std::optional<std::string> FinderSyncController::badgeIdentifier(const Platform::URL& url) const
{
    auto existing = m_badges.find(url);
    if (existing == m_badges.end())
        return std::nullopt;
    return existing->second;
}

void FinderSyncController::setSelection(std::vector<Platform::URL> selectedItemURLs,
    std::optional<Platform::URL> targetedURL)
{
    m_selectedItemURLs = std::move(selectedItemURLs);
    m_targetedURL = std::move(targetedURL);
}

FinderSyncController::ObserverID FinderSyncController::observeBadges(BadgeObserver observer)
{
    auto id = m_nextObserverID++;
    m_badgeObservers.emplace(id, std::move(observer));
    return id;
}

FinderSyncController::ObserverID FinderSyncController::observeBadgeRequests(BadgeObserver observer)
{
    auto id = m_nextObserverID++;
    m_badgeRequestObservers.emplace(id, std::move(observer));
    return id;
}

FinderSyncController::ObserverID FinderSyncController::observeDirectories(DirectoriesObserver observer)
{
    auto id = m_nextObserverID++;
    m_directoriesObservers.emplace(id, std::move(observer));
    return id;
}

void FinderSyncController::removeObserver(ObserverID id)
{
    m_badgeObservers.erase(id);
    m_badgeRequestObservers.erase(id);
    m_directoriesObservers.erase(id);
}

} // namespace FinderSyncKit
