#include "Glimmerd/FinderSyncKit/MenuKind.hpp"

#include <array>
#include <utility>

namespace FinderSyncKit {

namespace {

constexpr std::array<std::pair<MenuKind, std::string_view>, 4> wireNames { {
    { MenuKind::contextualMenuForItems, "items" },
    { MenuKind::contextualMenuForContainer, "container" },
    { MenuKind::contextualMenuForSidebar, "sidebar" },
    { MenuKind::toolbarItemMenu, "toolbar" },
} };

} // namespace

std::string wireName(MenuKind kind)
{
    for (const auto& [candidate, name] : wireNames) {
        if (candidate == kind)
            return std::string(name);
    }
    return "items";
}

std::optional<MenuKind> menuKind(std::string_view name)
{
    for (const auto& [kind, candidate] : wireNames) {
        if (candidate == name)
            return kind;
    }
    return std::nullopt;
}

} // namespace FinderSyncKit
