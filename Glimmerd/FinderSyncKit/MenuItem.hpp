#pragma once

#include <string>

namespace FinderSyncKit {

// One entry of an extension's menu. `action` names what the extension runs
// when the entry is chosen (FinderSyncExtension::performAction).
struct MenuItem {
    std::string title {};
    std::string action {};
    // The key equivalent; empty for none.
    std::string keyEquivalent {};
    // The name of the entry's image resource; empty for none.
    std::string image {};
    bool enabled = true;
    // What the extension made the entry for, handed back to it with the
    // chosen entry; never shown to the file manager. Empty for nothing.
    std::string representedObject {};

    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

} // namespace FinderSyncKit
