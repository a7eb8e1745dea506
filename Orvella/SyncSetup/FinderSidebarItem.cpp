#include "Orvella/SyncSetup/FinderSidebarItem.hpp"

namespace Orvella {

namespace {

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    return path;
}

} // namespace

std::optional<FinderSidebarItem> FinderSidebarItem::adding(const Platform::URL& url, std::optional<std::string> name)
{
    Platform::SidebarBookmarks list;
    auto path = withoutTrailingSlash(url.path());
    auto label = name.value_or(std::filesystem::path(path).filename().string());
    if (!list.append(path, label))
        return std::nullopt;
    auto entries = list.entries();
    if (entries.empty())
        return std::nullopt;
    return FinderSidebarItem(std::move(list), entries.back());
}

std::optional<FinderSidebarItem> FinderSidebarItem::existing(const Platform::URL& url)
{
    auto wanted = withoutTrailingSlash(url.path());
    for (auto& item : allItems()) {
        auto resolved = item.resolvedURL();
        if (resolved && withoutTrailingSlash(resolved->path()) == wanted)
            return item;
    }
    return std::nullopt;
}

std::vector<FinderSidebarItem> FinderSidebarItem::allItems()
{
    Platform::SidebarBookmarks list;
    std::vector<FinderSidebarItem> items;
    for (auto& entry : list.entries())
        items.push_back(FinderSidebarItem(list, entry));
    return items;
}

std::optional<Platform::URL> FinderSidebarItem::resolvedURL() const
{
    auto path = m_item.path();
    if (!path)
        return std::nullopt;
    return Platform::URL::fileURL(path->string(), Platform::URL::IsDirectory::Yes);
}

bool FinderSidebarItem::remove() { return m_list.remove(m_item); }

} // namespace Orvella
