#pragma once
// Seeding: building an account's tree from a list of entries in one go, the
// test control that gives the service a known tree. What an entry says lives
// here; `FileTree::seed`, which makes the items, is defined in TreeSeeding.cpp.

#include <string>
#include <vector>

namespace LocalCloud {

// One entry of a seeded tree: a folder when `path` ends with "/".
struct SeedEntry {
    std::string path;
    std::string content {};
};

// What a seeded file is taken for, by its extension.
[[nodiscard]] std::string seedMimeType(const std::string& name);
// The names along an entry's path, without empty ones; none for the root.
[[nodiscard]] std::vector<std::string> seedPathComponents(const std::string& path);

} // namespace LocalCloud
