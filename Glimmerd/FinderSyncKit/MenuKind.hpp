#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace FinderSyncKit {

// Where the file manager wants a menu. Sent over the extension socket by
// name: never rename the wire names.
enum class MenuKind {
    // The context menu of one or more selected items.
    contextualMenuForItems,
    // The context menu of a folder's background.
    contextualMenuForContainer,
    // The context menu of a sidebar entry.
    contextualMenuForSidebar,
    // The extension's toolbar button.
    toolbarItemMenu,
};

// "items", "container", "sidebar", "toolbar".
[[nodiscard]] std::string wireName(MenuKind kind);
// The kind with that wire name; nothing for any other text.
[[nodiscard]] std::optional<MenuKind> menuKind(std::string_view wireName);

} // namespace FinderSyncKit
