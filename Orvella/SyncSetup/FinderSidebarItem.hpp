#pragma once

#include "Platform/Desktop/SidebarBookmarks.hpp"
#include "Platform/Foundation/URL.hpp"

#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// One entry of the file manager's sidebar favourites (the GTK bookmarks of
// the user) and the list it is in.
class FinderSidebarItem {
public:
    // Adds an entry for `url` after the last one, named `name` or else the
    // URL's last path component. Nothing when the list cannot be written.
    [[nodiscard]] static std::optional<FinderSidebarItem> adding(const Platform::URL& url, std::optional<std::string> name = std::nullopt);
    // The first entry, in list order, whose resolved URL is `url` (a
    // trailing "/" aside); nothing when none is.
    [[nodiscard]] static std::optional<FinderSidebarItem> existing(const Platform::URL& url);
    // Every entry, from a snapshot of the list taken now.
    [[nodiscard]] static std::vector<FinderSidebarItem> allItems();

    // The entry's local folder; nothing when it is no local file URI.
    [[nodiscard]] std::optional<Platform::URL> resolvedURL() const;
    [[nodiscard]] const Platform::SidebarBookmarks::Entry& item() const { return m_item; }
    // Removes the entry from the list; every other entry stays as it was.
    bool remove();

private:
    FinderSidebarItem(Platform::SidebarBookmarks list, Platform::SidebarBookmarks::Entry item)
        : m_list(std::move(list))
        , m_item(std::move(item))
    {
    }

    Platform::SidebarBookmarks m_list;
    Platform::SidebarBookmarks::Entry m_item;
};

} // namespace Orvella
