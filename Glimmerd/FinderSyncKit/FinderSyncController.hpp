#pragma once

// Glimmerd/FinderSyncKit: what a file-manager extension sees of the file
// manager: the folders it observes, the badges it sets, the selection it
// builds menus for. The host serves it to file managers over a socket.

#include "Platform/Foundation/URL.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace FinderSyncKit {

// A badge the extension registered: its image resource and its label.
struct BadgeImage {
    std::string identifier;
    std::string image;
    std::string label;

    friend bool operator==(const BadgeImage&, const BadgeImage&) = default;
};

// The file manager's side of an extension: the directories it observes, the
// badge images by identifier, the badge of each item, and the selection and
// target of the menu being built.
//
// Threading: main thread only; the extension, the host and the observers all
// run there. Observers are called after the state changed, and may add or
// remove observers while they run.
class FinderSyncController {
public:
    using ObserverID = std::uint64_t;
    // An item's badge was set to another identifier (empty: none).
    using BadgeObserver = std::function<void(const Platform::URL& url, const std::string& identifier)>;
    // The observed directories changed.
    using DirectoriesObserver = std::function<void(const std::set<Platform::URL>& directories)>;

    // The folders whose items the file manager asks about; the extension
    // decides. Observers hear of a change only when the set differs.
    [[nodiscard]] const std::set<Platform::URL>& directoryURLs() const { return m_directoryURLs; }
    void setDirectoryURLs(std::set<Platform::URL> urls);

    // Registers (or replaces) the badge with `identifier`.
    void setBadgeImage(std::string image, std::string label, std::string identifier);
    // The registered badges, in the order first registered.
    [[nodiscard]] std::vector<BadgeImage> badgeImages() const;

    // Sets the badge of the item at `url`; an empty identifier removes it.
    // Badge observers hear of it when the identifier differs from the item's last one.
    void setBadgeIdentifier(const std::string& identifier, const Platform::URL& url);
    // The item's badge, or nothing when none was set.
    [[nodiscard]] std::optional<std::string> badgeIdentifier(const Platform::URL& url) const;

    // The items the menu being built is for, and the folder the user is in.
    // The host sets them before it asks for a menu or runs an entry.
    [[nodiscard]] const std::vector<Platform::URL>& selectedItemURLs() const { return m_selectedItemURLs; }
    [[nodiscard]] const std::optional<Platform::URL>& targetedURL() const { return m_targetedURL; }
    void setSelection(std::vector<Platform::URL> selectedItemURLs, std::optional<Platform::URL> targetedURL);

    ObserverID observeBadges(BadgeObserver observer);
    // Hears every `setBadgeIdentifier`, changed or not.
    ObserverID observeBadgeRequests(BadgeObserver observer);
    ObserverID observeDirectories(DirectoriesObserver observer);
    void removeObserver(ObserverID id);

private:
    std::set<Platform::URL> m_directoryURLs;
    std::vector<BadgeImage> m_badgeImages;
    std::unordered_map<Platform::URL, std::string> m_badges;
    std::vector<Platform::URL> m_selectedItemURLs;
    std::optional<Platform::URL> m_targetedURL;
    ObserverID m_nextObserverID = 1;
    std::map<ObserverID, BadgeObserver> m_badgeObservers;
    std::map<ObserverID, BadgeObserver> m_badgeRequestObservers;
    std::map<ObserverID, DirectoriesObserver> m_directoriesObservers;
};

} // namespace FinderSyncKit
