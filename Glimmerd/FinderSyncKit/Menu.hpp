#pragma once

#include "Glimmerd/FinderSyncKit/MenuItem.hpp"

#include <string>
#include <vector>

namespace FinderSyncKit {

// A titled list of entries, as an extension hands it to the file manager.
struct Menu {
    std::string title;
    std::vector<MenuItem> items;

    void addItem(MenuItem item) { items.push_back(std::move(item)); }

    friend bool operator==(const Menu&, const Menu&) = default;
};

} // namespace FinderSyncKit
