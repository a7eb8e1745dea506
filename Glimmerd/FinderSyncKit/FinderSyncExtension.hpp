#pragma once

#include "Glimmerd/FinderSyncKit/Menu.hpp"
#include "Glimmerd/FinderSyncKit/MenuKind.hpp"
#include "Platform/Foundation/URL.hpp"

#include <optional>

namespace FinderSyncKit {

// What a file-manager extension offers: it hears which folders the user
// looks at, answers badge requests by setting badges on its controller,
// builds menus for the controller's selection and runs their entries.
//
// Threading: the host calls every operation on the main thread, one at a
// time. The defaults do nothing.
class FinderSyncExtension {
public:
    virtual ~FinderSyncExtension() = default;

    // The user opened or closed a view of `url`, a folder inside an observed one.
    virtual void beginObservingDirectory(const Platform::URL& url) { (void)url; }
    virtual void endObservingDirectory(const Platform::URL& url) { (void)url; }

    // The file manager wants the badge of the item at `url`: the extension
    // answers by setting it on its controller (or not at all).
    virtual void requestBadgeIdentifier(const Platform::URL& url) { (void)url; }

    // The menu for the controller's selection and target, or nothing.
    [[nodiscard]] virtual std::optional<Menu> menu(MenuKind kind)
    {
        (void)kind;
        return std::nullopt;
    }

    // Runs the action named by a chosen entry (`MenuItem::action`), for what
    // it was made for (`MenuItem::representedObject`); unknown names are ignored.
    virtual void performAction(const MenuItem& item) { (void)item; }
};

} // namespace FinderSyncKit
